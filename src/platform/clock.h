#pragma once
// The one clock of the program. Every wait, tick and date goes through here so
// that tests and playback can run the whole operator flow on a virtual clock,
// where sleeps advance time at once instead of passing it.

#include <QDateTime>
#include <cstdint>

namespace plat {

// Milliseconds since an arbitrary start; wraps like a 32-bit tick counter.
uint32_t TickCount();

// Sleeps ms milliseconds (virtual clock: advances the clock at once).
void SleepMs(uint32_t ms);

// The current local date and time.
QDateTime CurrentDateTime();

// The current moment as days since 30 December 1899 with the time of day as fraction.
double Now();

// Day numbers since 30 December 1899 <-> local date and time.
double DateTimeToDays(const QDateTime& dt);
QDateTime DaysToDateTime(double days);

// Switches the virtual clock on. The clock starts at `start` (local time);
// an invalid `start` means the real current time.
void UseVirtualClock(const QDateTime& start = QDateTime());
bool IsVirtualClock();

// Moves the virtual clock forward (no effect on the real clock).
void AdvanceVirtualClock(uint32_t ms);
// Called with the new time after every move of the virtual clock (the
// simulated line following it); nullptr for none.
void SetVirtualClockHook(void (*hook)(uint32_t now));

// Fixes the date and time of day that the real clock reports, shifting it by
// the given offset; used by --now without --virtual-clock.
void SetClockOffsetMs(qint64 offsetMs);

// The time in the long time format of the operator's locale ("9:05:07").
QString LongTimeString(const QDateTime& dt);
// The date in the short date format of the operator's locale ("07.12.2026").
QString ShortDateString(const QDate& d);

}  // namespace plat
