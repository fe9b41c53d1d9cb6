#include "platform/clock.h"

#include <QElapsedTimer>
#include <QThread>
#include <cmath>

namespace plat {
namespace {

struct ClockState {
  bool virtualMode = false;
  qint64 virtualMs = 0;          // virtual milliseconds since the clock started
  QDateTime virtualStart;        // local date and time at virtualMs = 0
  qint64 offsetMs = 0;           // shift applied to the real date and time
  QElapsedTimer realTimer;
  void (*hook)(uint32_t now) = nullptr;
};

ClockState& State() {
  static ClockState s = [] {
    ClockState c;
    c.realTimer.start();
    return c;
  }();
  return s;
}

const QDate kDayZero(1899, 12, 30);

}  // namespace

uint32_t TickCount() {
  ClockState& s = State();
  if (s.virtualMode) return static_cast<uint32_t>(s.virtualMs);
  return static_cast<uint32_t>(s.realTimer.elapsed());
}

void SleepMs(uint32_t ms) {
  ClockState& s = State();
  if (s.virtualMode) {
    AdvanceVirtualClock(ms);
    return;
  }
  if (ms > 0) QThread::msleep(ms);
}

QDateTime CurrentDateTime() {
  ClockState& s = State();
  if (s.virtualMode) return s.virtualStart.addMSecs(s.virtualMs);
  return QDateTime::currentDateTime().addMSecs(s.offsetMs);
}

double DateTimeToDays(const QDateTime& dt) {
  const qint64 days = kDayZero.daysTo(dt.date());
  const double fraction = dt.time().msecsSinceStartOfDay() / 86400000.0;
  return static_cast<double>(days) + fraction;
}

QDateTime DaysToDateTime(double days) {
  // The integer part counts days (negative days before 1899 are not used by
  // the program); the fraction is the time of day.
  double whole = 0;
  double fraction = std::modf(days, &whole);
  if (fraction < 0) fraction = -fraction;
  qint64 ms = static_cast<qint64>(fraction * 86400000.0 + 0.5);
  if (ms >= 86400000) ms = 86399999;
  return QDateTime(kDayZero.addDays(static_cast<qint64>(whole)),
                   QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

double Now() { return DateTimeToDays(CurrentDateTime()); }

void UseVirtualClock(const QDateTime& start) {
  ClockState& s = State();
  s.virtualMode = true;
  s.virtualMs = 0;
  s.virtualStart = start.isValid() ? start : QDateTime::currentDateTime().addMSecs(s.offsetMs);
}

bool IsVirtualClock() { return State().virtualMode; }

void AdvanceVirtualClock(uint32_t ms) {
  ClockState& s = State();
  if (!s.virtualMode) return;
  s.virtualMs += ms;
  if (s.hook && ms > 0) s.hook(static_cast<uint32_t>(s.virtualMs));
}

void SetVirtualClockHook(void (*hook)(uint32_t now)) { State().hook = hook; }

void SetClockOffsetMs(qint64 offsetMs) { State().offsetMs = offsetMs; }

QString LongTimeString(const QDateTime& dt) { return dt.time().toString("H:mm:ss"); }

QString ShortDateString(const QDate& d) { return d.toString("dd.MM.yyyy"); }

}  // namespace plat
