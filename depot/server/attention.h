#pragma once
// What needs the quality engineer's attention: the status of every line ×
// spring type measured in a period, green, amber or red, with its reasons.
// Each reason is one of
//
//  * Rules: a Western Electric rule broken by the X̄ chart of free height
//    (parameter 2) or diameter (parameter 1) in the cell's last 5 shifts,
//    against the cell's baseline (red for rule 1, amber for rules 2..4);
//  * Capability: the Cpk of the month of the period's end below 1,33
//    (amber) or 1,0 (red), by the norms most of the month's values were
//    judged with;
//  * Rejected: the share rejected of the last 5 shifts against the share of
//    the cell's baseline shifts (not below 1 %): 1,5 times it amber, twice it
//    red, counted only from 2 rejected records on;
//  * Silent: no measurement for 2 days before the period's end (or now,
//    where that is earlier): amber.
//
// A shift is a day of the database's time zone, as on the type page; the
// baseline is the period given or, without one, the cell's first 20 shifts
// of the period with a counted free height (else diameter), as the type page
// picks it. The statuses come from two statements over the daily
// summaries (measurement_days, measurement_param_days), whatever the number
// of cells; a cell is a line of one depot, so that at the railway's centre
// same-named lines of two depots stay apart.

#include <QByteArray>
#include <QDate>
#include <QString>
#include <vector>

namespace depot {

enum class Status { Green = 0, Amber = 1, Red = 2 };

// Thresholds of the statuses.
constexpr int kRecentShifts = 5;
constexpr double kCpkAmber = 1.33, kCpkRed = 1.0;
constexpr double kRejectedAmber = 1.5, kRejectedRed = 2.0, kRejectedFloor = 0.01;
constexpr long long kRejectedAtLeast = 2;
constexpr int kSilentDays = 2;

struct Reason {
  enum Kind { Rules, Capability, Rejected, Silent } kind = Rules;
  Status status = Status::Amber;
  int param = 0;           // Rules, Capability: 1 or 2
  QDate shift;             // Rules: the last shift breaking one; Rejected: the last shift
  std::vector<int> rules;  // Rules: every rule broken in the last shifts, ascending
  double value = 0;        // Capability: the Cpk; Rejected: the recent share (0..1)
  double reference = 0;    // Capability: the threshold; Rejected: the baseline share
  QString text;            // as the pages write it
};

struct Cell {
  QByteArray depot;  // the depot's code ('' at a depot not stamped yet)
  QByteArray line;
  int bogie = 0, spring = 0;
  QByteArray bogieName, springName;
  Status status = Status::Green;
  std::vector<Reason> reasons;  // worst first
  QDate baseFrom, baseTo;       // the baseline the cell was judged by
  QDate lastMeasured;
};

// The period's days (both given) and an optional baseline (both or neither).
struct AttentionQuery {
  QDate from, to;
  QDate baseFrom, baseTo;
  QByteArray depot = {};  // at the railway's centre, one depot's cells; empty: every depot's
};

// Every line × type with a measurement in the period, the worst first: red
// before amber before green, then by the number of red and of amber reasons,
// then by line and type. A failed statement throws the server's Refusal.
std::vector<Cell> Attention(const AttentionQuery& q);

// "green", "amber", "red": the cells' CSS classes.
const char* StatusClass(Status s);

}  // namespace depot
