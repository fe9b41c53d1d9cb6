#pragma once
// The queries of the railway's central database (depot/sql/central): the
// depots at a glance.

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
// replication lag, whether it was not heard from for an hour, and whether
// its slot at the depot was found lost (it needs a re-copy).
struct DepotRow {
  QByteArray code, lastSync;
  long long lines = 0, today = 0, week = 0, weekJudged = 0, weekGood = 0;
  std::optional<long long> lagSeconds;  // none while its replication is not running
  bool silent = true, slotLost = false;
  static Answer<DepotRow> Fetch();
};

}  // namespace depot
