#include "link/link.h"

#include <cstdio>

#include "config/settings.h"
#include "platform/clock.h"
#include "platform/pump.h"

TControllerLink ControllerLink;

void ResetControllerLink() {
  for (auto& p : ControllerLink.Ports) {
    if (p) p->Close();
    p.reset();
  }
  ControllerLink.FrameBuffer.fill(0);
  ControllerLink.FrameLength = 0;
  ControllerLink.FrameStatus = 0;
  ControllerLink.FrameComplete = false;
  ControllerLink.LinkOk = false;
  ControllerLink.CktPortOpen = false;
  ControllerLink.CameraNoReply = false;
  ControllerLink.LastScanLength = 0;
  ControllerLink.DeviceFactory = {};
  ControllerLink.ShowMessage = {};
  ControllerLink.TerminalCaption = {};
  ControllerLink.TerminalMemo = {};
  ControllerLink.TerminalAutoInit = {};
}

namespace {

plat::SerialDevice* Port(int port) {
  if (port < 1 || port > kPortCount) return nullptr;
  plat::SerialDevice* d = ControllerLink.Ports[port].get();
  return d && d->IsOpen() ? d : nullptr;
}

}  // namespace

bool OpenPort(int port, const QString& name) {
  if (port < 1 || port > kPortCount) return false;
  auto& slot = ControllerLink.Ports[port];
  if (slot) slot->Close();
  slot = ControllerLink.DeviceFactory ? ControllerLink.DeviceFactory() : plat::CreateSerialDevice();
  if (!slot) return false;
  // The device settles for 100 ms before and after its line settings are
  // written; the platform's device applies them as it opens.
  const bool ok = slot->Open(name);
  Delay(100);
  Delay(100);
  return ok;
}

bool PortIsOpen(int port) {
  return Port(port) != nullptr;
}

void WriteByte(int port, uint8_t b) {
  if (plat::SerialDevice* d = Port(port)) d->WriteByte(b);
  // A plain sleep: processing window messages here could let a timer of a
  // service window start its own request in the middle of this one.
  plat::SleepMs(1);
}

uint8_t ReadByte(int port) {
  ControllerLink.LinkOk = true;
  plat::SerialDevice* d = Port(port);
  const auto b = d ? d->ReadByte(kByteTimeoutMs) : std::nullopt;
  if (!b) {
    ControllerLink.LinkOk = false;
    return kNoByte;
  }
  return *b;
}

void Delay(uint32_t ms) {
  plat::WaitMs(ms);
}

void DrainInput(int port) {
  for (int i = 0; i < kDrainLimit; ++i) {
    ReadByte(port);
    if (!ControllerLink.LinkOk) return;
  }
}

void PutRequestBody(std::initializer_list<uint8_t> body) {
  ControllerLink.FrameLength = 0;
  for (uint8_t b : body) ControllerLink.FrameBuffer[++ControllerLink.FrameLength] = b;
}

void SendRequest(int port) {
  WriteByte(port, kFrameLeadIn);
  WriteByte(port, kFrameDelimiter);
  for (int32_t i = 1; i <= ControllerLink.FrameLength && i < kFrameBufferSize; ++i)
    WriteByte(port, ControllerLink.FrameBuffer[i]);
  WriteByte(port, kFrameDelimiter);
}

void ReceiveFrame(int port) {
  Delay(20);
  ControllerLink.FrameLength = 0;
  ControllerLink.FrameStatus = kFrameComplete;
  const FrameReception r = ReceiveFrameBytes(ControllerLink.FrameBuffer.data(), kFrameBufferSize,
                                             [port]() -> std::optional<uint8_t> {
                                               const uint8_t b = ReadByte(port);
                                               if (!ControllerLink.LinkOk) return std::nullopt;
                                               return b;
                                             });
  ControllerLink.FrameLength = r.length;
  ControllerLink.FrameStatus = r.status;
  ControllerLink.FrameComplete = r.complete;
}

bool ReplyIsComplete(int bodyLength) {
  const auto& L = ControllerLink;
  const int32_t body = L.FrameLength - 2;
  if (!L.FrameComplete || body < 1) return false;
  return bodyLength == 0 || body == bodyLength;
}

bool ReplyEchoes(uint8_t address, uint8_t code) {
  const auto& L = ControllerLink;
  return ReplyIsComplete() && L.FrameLength >= 4 && L.FrameBuffer[1] == address &&
         L.FrameBuffer[2] == code;
}

void TerminalLine(const QString& text) {
  if (ControllerLink.TerminalMemo) ControllerLink.TerminalMemo(text);
}

void LinkMessage(const QString& text) {
  // The program shows them as message boxes; tools and tests without a
  // window simply go without.
  if (Settings.Debug.DebugMessages && ControllerLink.ShowMessage) ControllerLink.ShowMessage(text);
}

void LinkDiskError(const QString& text) {
  std::fprintf(stderr, "kalvor: %s\n", text.toLocal8Bit().constData());
  if (ControllerLink.ShowMessage) ControllerLink.ShowMessage(text);
}
