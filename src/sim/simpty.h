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

#include "platform/lineclock.h"
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

  // Makes the clock file that a program on its virtual clock follows
  // (kalvor --line-clock FILE); false and Error() when it cannot.
  bool ShareClock(const QString& file);
  // As Pump, but once a program follows the shared clock the line's time is
  // the program's: each moment it asks for is served with the bytes it has
  // written and the replies due by then. Before that, and without a shared
  // clock, the line runs on its own clock.
  void Run(int ms, const std::atomic<bool>* stop = nullptr);

 private:
  std::shared_ptr<SimLine> sim_;
  std::array<int, 3> master_{-1, -1, -1};
  std::array<int, 3> slave_{-1, -1, -1};
  std::array<QString, 3> path_;
  std::array<uint64_t, 3> read_{};     // bytes taken from each port
  std::array<uint64_t, 3> written_{};  // bytes written to each port
  std::array<uint64_t, 3> readBase_{}; // read_ less the program's count of them
  plat::LineClockBlock* clock_ = nullptr;
  uint32_t clockSeen_ = 0;    // the last request served
  uint32_t attachSeen_ = 0;   // the program's start the line has taken on
  uint32_t programBase_ = 0;  // the program's time at that start ...
  uint32_t lineBase_ = 0;     // ... and the line's
  uint32_t lineNow_ = 0;      // the line's time when it last served

  void Write(int port, const QByteArray& out);
  void ServeClock(uint32_t seq);
  QString error_;
  std::chrono::steady_clock::time_point start_;
};
