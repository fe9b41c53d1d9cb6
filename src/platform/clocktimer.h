#pragma once
// A repeating timer on the program's clock, for a form's own timers. On the
// real clock it is a QTimer. On the virtual clock, which moves only by the
// program's waits and the playback harness, it fires once the clock has gone
// its interval past the start, looked at every real millisecond; the harness
// lets the clock jump no further than the next such moment, so a wait in
// front of the form sees every turn of the timer without lasting in real time.

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>

class QTimer;

namespace plat {

class ClockTimer;
std::optional<uint32_t> NextClockTimerDueMs();

class ClockTimer : public QObject {
 public:
  ClockTimer(int intervalMs, std::function<void()> onTimeout, QObject* parent);
  ~ClockTimer() override;
  // Starts (again) from now.
  void start();
  void stop();
  bool isActive() const;
  // While `needed` says false the timer's turns would do nothing, and the
  // harness lets the clock jump over them.
  void setNeeded(std::function<bool()> needed) { needed_ = std::move(needed); }

 private:
  friend std::optional<uint32_t> NextClockTimerDueMs();
  void Look();
  QTimer* timer_;
  int intervalMs_;
  std::function<void()> onTimeout_;
  std::function<bool()> needed_;
  uint32_t startedAt_ = 0;
};

// How many milliseconds of the program's clock until the next running and
// needed clock timer is due (0 when one is already due); none when no timer runs.
std::optional<uint32_t> NextClockTimerDueMs();

}  // namespace plat
