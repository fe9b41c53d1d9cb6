#pragma once
// The line's hardware tests through the program's link (the service
// terminal's tests of the link module), for running them against the
// simulated line on whichever clock the test uses.

#include <utility>

#include "link/boardtests.h"
#include "link/link.h"

namespace simtest {

// The synchronisation test; returns the scan length of camera 1's read-out.
inline int SynchronisationScanLength() {
  SyncTest("0");
  return ControllerLink.LastScanLength;
}

// The LIR test: the counts after 10 bursts forward and 9 back, from its
// lines "LIR>>N" and "LIR<<N".
inline std::pair<int, int> LirCounts() {
  const QStringList lines = LirTest().lines;
  return {lines.value(0).mid(5).toInt(), lines.value(1).mid(5).toInt()};
}

}  // namespace simtest
