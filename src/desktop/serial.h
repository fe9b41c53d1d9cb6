#pragma once
// The serial device under the device link: a named port opened exclusively at
// 57600 baud, 8 data bits, no parity, one stop bit, written byte by byte and
// read one byte at a time with a time-out.
//
// Port names: "COMn" (any letter case, n from 1) is the n-th serial device of Linux,
// /dev/ttyS<n-1>; any other name is a device path ("/dev/ttyUSB0", or
// "ttyUSB0" taken from /dev), so a pseudo-terminal of the simulated line is
// named by its path.

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

namespace plat {

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;
  // Opens and configures the port; false when it can't be opened or set up.
  virtual bool Open(const QString& portName) = 0;
  virtual bool IsOpen() const = 0;
  virtual void Close() = 0;
  // Writes one byte; false when it could not be written.
  virtual bool WriteByte(uint8_t b) = 0;
  // One byte, or nothing when none came within timeoutMs.
  virtual std::optional<uint8_t> ReadByte(int timeoutMs) = 0;
  // A short text of the last failure, for the link's debug messages.
  virtual QString LastError() const = 0;
};

// The device path a port name stands for.
QString SerialDevicePath(const QString& portName);

// The real serial device (QSerialPort).
std::unique_ptr<SerialDevice> CreateSerialDevice();

}  // namespace plat
