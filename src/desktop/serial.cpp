#include "desktop/serial.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSerialPort>
#include <algorithm>

#include "platform/clock.h"
#include "platform/lineclock.h"

namespace plat {

QString SerialDevicePath(const QString& portName) {
  static const QRegularExpression com("^\\s*COM(\\d+)\\s*$", QRegularExpression::CaseInsensitiveOption);
  const auto m = com.match(portName);
  // Serial ports count from COM1; "COM0" (the setting's default) names no
  // port at all and must not open the first one.
  if (m.hasMatch() && m.captured(1).toInt() > 0)
    return QString("/dev/ttyS%1").arg(m.captured(1).toInt() - 1);
  const QString name = portName.trimmed();
  if (name.startsWith('/')) return name;
  return "/dev/" + name;
}

namespace {

class QtSerialDevice : public SerialDevice {
 public:
  bool Open(const QString& portName) override {
    Close();
    port_.setPortName(SerialDevicePath(portName));
    if (!port_.open(QIODevice::ReadWrite)) {
      error_ = port_.errorString();
      return false;
    }
    // DTR/RTS and flow-control calls fail on a pseudo-terminal; the line's
    // devices do not use them, so only the character format is required.
    const bool ok = port_.setBaudRate(57600) && port_.setDataBits(QSerialPort::Data8) &&
                    port_.setParity(QSerialPort::NoParity) &&
                    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    port_.clearError();
    if (!ok) {
      error_ = port_.errorString();
      port_.close();
      return false;
    }
    linePort_ = LineClockPort(SerialDevicePath(portName));
    received_ = LineClockWritten(linePort_);
    return true;
  }
  bool IsOpen() const override { return port_.isOpen(); }
  void Close() override {
    if (port_.isOpen()) port_.close();
    buffer_.clear();
    linePort_ = 0;
  }
  bool WriteByte(uint8_t b) override {
    if (!port_.isOpen()) return false;
    const char c = static_cast<char>(b);
    const bool ok = port_.write(&c, 1) == 1;
    port_.waitForBytesWritten(50);
    port_.clearError();
    if (ok && linePort_) LineClockSent(linePort_);
    return ok;
  }
  std::optional<uint8_t> ReadByte(int timeoutMs) override {
    if (!port_.isOpen()) return std::nullopt;
    if (linePort_) return ReadFollowingTheLine(timeoutMs);
    if (buffer_.isEmpty()) buffer_ += port_.readAll();
    if (buffer_.isEmpty()) {
      QElapsedTimer t;
      t.start();
      while (buffer_.isEmpty() && t.elapsed() < timeoutMs) {
        if (port_.waitForReadyRead(static_cast<int>(timeoutMs - t.elapsed())))
          buffer_ += port_.readAll();
        else
          port_.clearError();
      }
      if (IsVirtualClock()) AdvanceVirtualClock(static_cast<uint32_t>(t.elapsed()));
    }
    if (buffer_.isEmpty()) return std::nullopt;
    const uint8_t b = static_cast<uint8_t>(buffer_[0]);
    buffer_.remove(0, 1);
    return b;
  }
  QString LastError() const override { return error_; }

 private:
  // The simulated line follows the clock: a time-out passes on the clock, in
  // steps that end at the line's next event, and after each step the byte
  // the line has sent by then is here.
  std::optional<uint8_t> ReadFollowingTheLine(int timeoutMs) {
    TakeWhatTheLineWrote();
    for (int waited = 0; buffer_.isEmpty() && waited < timeoutMs;) {
      int step = timeoutMs - waited;
      if (const auto next = LineClockNextEvent())
        step = std::clamp(static_cast<int>(static_cast<int32_t>(*next - TickCount())), 1, step);
      AdvanceVirtualClock(static_cast<uint32_t>(step));
      waited += step;
      TakeWhatTheLineWrote();
    }
    if (buffer_.isEmpty()) return std::nullopt;
    const uint8_t b = static_cast<uint8_t>(buffer_[0]);
    buffer_.remove(0, 1);
    return b;
  }
  // Every byte the line says it has written, which the pseudo-terminal
  // passes on within moments.
  void TakeWhatTheLineWrote() {
    const uint64_t target = LineClockWritten(linePort_);
    QElapsedTimer t;
    t.start();
    while (received_ < target && t.elapsed() < 1000) {
      if (port_.bytesAvailable() > 0 || port_.waitForReadyRead(20)) {
        const QByteArray bytes = port_.readAll();
        received_ += static_cast<uint64_t>(bytes.size());
        buffer_ += bytes;
      }
      port_.clearError();
    }
  }

  QSerialPort port_;
  int linePort_ = 0;       // the port of a simulated line that follows the clock
  uint64_t received_ = 0;  // bytes read from such a port
  QByteArray buffer_;
  QString error_;
};

}  // namespace

std::unique_ptr<SerialDevice> CreateSerialDevice() { return std::make_unique<QtSerialDevice>(); }

}  // namespace plat
