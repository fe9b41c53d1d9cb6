#pragma once
// The queries of the railway's central database (depot/sql/central): the
// depots at a glance and a wagon in every depot.

#include <QByteArray>
#include <optional>

#include "server/dbquery.h"

namespace depot {

// True when the server reads the railway's centre rather than one depot
// (asked once, then kept).
bool IsCentral();

// Per subscribed depot: its lines, today's and this week's counts (emulated
// records apart, as at the depot), the share good of the week's judged
// records, the last sync of any of its lines that reached the centre, the
// replication lag, and whether it was not heard from for an hour.
struct DepotRow {
  QByteArray code, lastSync;
  long long lines = 0, today = 0, week = 0, weekJudged = 0, weekGood = 0;
  std::optional<long long> lagSeconds;  // none while its replication is not running
  bool silent = true;
  static Answer<DepotRow> Fetch();
};

// The measurements taken from or fitted to a wagon, in every depot, oldest
// first; at most `limit`.
struct WagonMeasurement {
  QByteArray depot, line, identifier, at, shown, wagonFrom, wagonTo;
  std::optional<bool> good;
  static Answer<WagonMeasurement> Fetch(const QByteArray& wagon, int limit);
};

// The sets a wagon gave springs to or took them from, in every depot.
struct WagonSet {
  QByteArray depot, line, date, bogieNumber, wagonFrom, wagonTo;
  static Answer<WagonSet> Fetch(const QByteArray& wagon, int limit);
};

}  // namespace depot
