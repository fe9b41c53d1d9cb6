#pragma once
// Puts the simulated line on pseudo-terminals: port 1 (controller and
// cameras) and port 2 (test board) each get a pty pair whose slave device
// the program opens like a serial port, while the master side feeds the
// simulated devices and carries their replies back.

#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <memory>

#include "sim/simline.h"

class SimPty {
 public:
  explicit SimPty(std::shared_ptr<SimLine> sim);
  ~SimPty();
  SimPty(const SimPty&) = delete;
  SimPty& operator=(const SimPty&) = delete;

  // Creates the pty pair of port 1 or 2.
  bool Open(int port);
  // The device to name in setup.ini ([Hard] Com for 1, [Ckt] Port for 2).
  QString DevicePath(int port) const;
  QString Error() const { return error_; }

  // Moves bytes both ways for ms milliseconds, or until stop is set.
  void Pump(int ms, const std::atomic<bool>* stop = nullptr);
  // Milliseconds since the bridge was made: the simulated line's time.
  uint32_t Now() const;

 private:
  std::shared_ptr<SimLine> sim_;
  std::array<int, 3> master_{-1, -1, -1};
  std::array<int, 3> slave_{-1, -1, -1};
  std::array<QString, 3> path_;
  QString error_;
  std::chrono::steady_clock::time_point start_;
};
