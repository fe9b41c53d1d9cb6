#pragma once
// In-memory serial devices for the link's tests. Time is the program's
// (virtual) clock: a read that waits for a byte moves the clock to the
// byte's arrival, a read that times out moves it by the whole time-out.

#include <QByteArray>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "desktop/serial.h"
#include "link/link.h"
#include "platform/clock.h"
#include "sim/simline.h"

namespace linktest {

// The shared side of a fake port: what the program wrote and what it will read.
struct FakeLine {
  struct Byte {
    uint32_t at;
    uint8_t value;
  };
  QByteArray written;              // every byte written, in order
  std::vector<QByteArray> writes;  // the bytes written between two reads (one request each)
  QByteArray pending;              // written since the last read
  std::deque<Byte> input;
  bool openOk = true;
  QString openedName;
  int reads = 0;
  // Answers a request (the bytes written since the last read): the reply
  // bytes and after how many milliseconds they start to arrive.
  struct Reply {
    QByteArray bytes;
    uint32_t delayMs = 0;
  };
  std::function<Reply(const QByteArray& request)> responder;

  void Queue(const QByteArray& bytes, uint32_t at) {
    for (char c : bytes) input.push_back({at, static_cast<uint8_t>(c)});
  }
};

class FakeSerialDevice : public plat::SerialDevice {
 public:
  explicit FakeSerialDevice(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}
  bool Open(const QString& name) override {
    line_->openedName = name;
    open_ = line_->openOk;
    return open_;
  }
  bool IsOpen() const override { return open_; }
  void Close() override { open_ = false; }
  bool WriteByte(uint8_t b) override {
    line_->written.append(static_cast<char>(b));
    line_->pending.append(static_cast<char>(b));
    return true;
  }
  std::optional<uint8_t> ReadByte(int timeoutMs) override {
    ++line_->reads;
    if (!line_->pending.isEmpty()) {
      line_->writes.push_back(line_->pending);
      if (line_->responder) {
        const FakeLine::Reply r = line_->responder(line_->pending);
        line_->Queue(r.bytes, plat::TickCount() + r.delayMs);
      }
      line_->pending.clear();
    }
    const uint32_t now = plat::TickCount();
    if (!line_->input.empty()) {
      const uint32_t at = line_->input.front().at;
      const int32_t wait = static_cast<int32_t>(at - now);
      if (wait <= timeoutMs) {
        if (wait > 0) plat::AdvanceVirtualClock(static_cast<uint32_t>(wait));
        const uint8_t b = line_->input.front().value;
        line_->input.pop_front();
        return b;
      }
    }
    plat::AdvanceVirtualClock(static_cast<uint32_t>(timeoutMs));
    return std::nullopt;
  }
  QString LastError() const override { return {}; }

 private:
  std::shared_ptr<FakeLine> line_;
  bool open_ = false;
};

// A port of the simulated line.
class SimSerialDevice : public plat::SerialDevice {
 public:
  SimSerialDevice(std::shared_ptr<SimLine> sim, int port) : sim_(std::move(sim)), port_(port) {}
  bool Open(const QString&) override {
    open_ = true;
    return true;
  }
  bool IsOpen() const override { return open_; }
  void Close() override { open_ = false; }
  bool WriteByte(uint8_t b) override {
    sim_->Receive(port_, b, plat::TickCount());
    return true;
  }
  std::optional<uint8_t> ReadByte(int timeoutMs) override {
    if (buffer_.isEmpty()) {
      const uint32_t now = plat::TickCount();
      const auto next = sim_->NextOutputTime(port_);
      if (!next || static_cast<int32_t>(*next - now) > timeoutMs) {
        plat::AdvanceVirtualClock(static_cast<uint32_t>(timeoutMs));
        return std::nullopt;
      }
      if (static_cast<int32_t>(*next - now) > 0) plat::AdvanceVirtualClock(*next - now);
      buffer_ = sim_->TakeOutput(port_, plat::TickCount());
    }
    const uint8_t b = static_cast<uint8_t>(buffer_[0]);
    buffer_.remove(0, 1);
    return b;
  }
  QString LastError() const override { return {}; }

 private:
  std::shared_ptr<SimLine> sim_;
  int port_;
  bool open_ = false;
  QByteArray buffer_;
};

// Opens port 1 (and port 2) of the link on fake devices.
inline std::shared_ptr<FakeLine> OpenFakePort(int port = kControllerPort) {
  auto line = std::make_shared<FakeLine>();
  ControllerLink.DeviceFactory = [line] { return std::make_unique<FakeSerialDevice>(line); };
  OpenPort(port, "fake");
  ControllerLink.DeviceFactory = {};
  return line;
}

inline void OpenSimPorts(const std::shared_ptr<SimLine>& sim) {
  int next = kControllerPort;
  ControllerLink.DeviceFactory = [sim, &next] {
    return std::make_unique<SimSerialDevice>(sim, next);
  };
  OpenPort(kControllerPort, "sim1");
  next = kTestBoardPort;
  OpenPort(kTestBoardPort, "sim2");
  ControllerLink.DeviceFactory = {};
}

inline QByteArray Bytes(std::initializer_list<int> v) {
  QByteArray b;
  for (int x : v) b.append(static_cast<char>(x & 0xFF));
  return b;
}

}  // namespace linktest
