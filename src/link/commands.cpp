#include "link/commands.h"

#include "config/settings.h"
#include "link/link.h"

namespace {

// The reply now in the frame buffer, when it counts as the answer to `code`.
ControllerReply ReadControllerReply(uint8_t code) {
  const auto& L = ControllerLink;
  ControllerReply r;
  if (!ReplyIsComplete(kControllerReplyBody) || !ReplyEchoes(kControllerAddress, code)) return r;
  const int value = L.FrameBuffer[4] * 256 + L.FrameBuffer[5];
  if (!ControllerValuePossible(code, value)) return r;
  r.ok = true;
  r.R1 = L.FrameBuffer[3];
  r.R2 = L.FrameBuffer[4];
  r.R3 = L.FrameBuffer[5];
  return r;
}

}  // namespace

ControllerReply ControllerCommand(uint8_t code, uint8_t a1, uint8_t a2, uint8_t a3) {
  DrainInput(kControllerPort);
  PutRequestBody({kControllerAddress, code, a1, a2, a3});
  SendRequest(kControllerPort);
  ReceiveFrame(kControllerPort);
  return ReadControllerReply(code);
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
    const ControllerReply r = ReadControllerReply(code);
    if (r.ok) return r;
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
  r.ok = ReplyIsComplete(kTestBoardReplyBody);
  if (r.ok)
    for (int k = 1; k <= 5; ++k) r.R[k] = ControllerLink.FrameBuffer[k];
  return r;
}

ControllerReply ForceCommand(int level) {
  return ControllerLongCommand(kCmdForce, static_cast<uint8_t>(level & 0xFF),
                               static_cast<uint8_t>((level >> 8) & 0xFF), 0);
}

int DisplacementFromRaw(int raw) { return raw > 32000 ? (~raw & 0xFFFF) : raw; }

bool ControllerValuePossible(uint8_t code, int value) {
  switch (code) {
    case kCmdPosition:
      return value >= kPositionCountMin && value <= kPositionCountMax;
    case kCmdDisplacement:
      return DisplacementFromRaw(value) <= kDisplacementCountMax;
    case kCmdForce:
      return value <= kDeflectionCountMax;
    default:
      return true;
  }
}

void SwitchLineOff() {
  if (Settings.Global.Emul || !PortIsOpen(kControllerPort)) return;
  ControllerCommand(kCmdHydraulics, kHydraulicsOff);
  ControllerCommand(kCmdRelayUp, kRelayStop);
  ControllerCommand(kCmdRelayDown, kRelayStop);
}
