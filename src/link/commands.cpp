#include "link/commands.h"

#include "config/settings.h"
#include "link/link.h"

namespace {

ControllerReply ReadControllerReply() {
  ControllerReply r;
  r.ok = ControllerLink.FrameLength != 0;
  if (r.ok) {
    r.R1 = ControllerLink.FrameBuffer[3];
    r.R2 = ControllerLink.FrameBuffer[4];
    r.R3 = ControllerLink.FrameBuffer[5];
  }
  return r;
}

}  // namespace

ControllerReply ControllerCommand(uint8_t code, uint8_t a1, uint8_t a2, uint8_t a3) {
  DrainInput(kControllerPort);
  PutRequestBody({kControllerAddress, code, a1, a2, a3});
  SendRequest(kControllerPort);
  ReceiveFrame(kControllerPort);
  return ReadControllerReply();
}

ControllerReply ControllerLongCommand(uint8_t code, uint8_t a1, uint8_t a2, uint8_t a3) {
  DrainInput(kControllerPort);
  PutRequestBody({kControllerAddress, code, a1, a2, a3});
  SendRequest(kControllerPort);
  const int attempts = Settings.Hard.TimeoutCk;
  int silent = 0;
  // The request is never repeated: the line only gets more time to answer.
  do {
    Delay(10);
    ReceiveFrame(kControllerPort);
    if (ControllerLink.FrameLength != 0) return ReadControllerReply();
    ++silent;
    if (Settings.Debug.DebugMessages && ControllerLink.TerminalCaption)
      ControllerLink.TerminalCaption(QStringLiteral("Ожидание:") + QString::number(attempts - silent));
  } while (silent < attempts);
  LinkMessage(QStringLiteral("Ошибка долгой команды №") + QString::number(code));
  return ControllerReply{};
}

TestBoardReply TestBoardCommand(uint8_t code, uint8_t a1, uint8_t a2, uint8_t a3) {
  DrainInput(kTestBoardPort);
  PutRequestBody({kTestBoardAddress, code, a1, a2, a3});
  SendRequest(kTestBoardPort);
  ReceiveFrame(kTestBoardPort);
  TestBoardReply r;
  r.ok = ControllerLink.FrameLength != 0;
  if (r.ok)
    for (int k = 1; k <= 5; ++k) r.R[k] = ControllerLink.FrameBuffer[k];
  return r;
}

ControllerReply ForceCommand(int level) {
  return ControllerLongCommand(kCmdForce, static_cast<uint8_t>(level & 0xFF),
                               static_cast<uint8_t>((level >> 8) & 0xFF), 0);
}

int DisplacementFromRaw(int raw) { return raw > 32000 ? (~raw & 0xFFFF) : raw; }
