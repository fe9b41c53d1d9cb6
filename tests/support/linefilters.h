#pragma once
// The profile filter constants of a commissioned line ([k1]..[k4] of
// setup.ini). A new installation ships the neutral 100500, under which the
// band filter leaves no reading; these let the modelled spring's coils come
// through the chain whole: every real reading but "no reading", the whole
// scan, specks of up to two readings dropped, dropouts of up to three
// readings bridged. k11 and k12 keep their defaults.

#include <QString>
#include <utility>

#include "config/settings.h"

namespace testsupport {

inline constexpr std::pair<int, int> kCommissionedFilters[] = {
    {1, 0}, {2, 2046}, {3, 0}, {4, 0}, {5, 1}, {6, 1801}, {7, 3}, {8, 3}, {9, 3}, {10, 3}};

inline void CommissionFilters() {
  for (int n = 1; n <= 4; ++n)
    for (const auto& [i, value] : kCommissionedFilters) Settings.K[n][i] = value;
}

// The same as setup.ini sections.
inline QString CommissionedFiltersIni() {
  QString ini;
  for (int n = 1; n <= 4; ++n) {
    ini += QString("[k%1]\n").arg(n);
    for (const auto& [i, value] : kCommissionedFilters)
      ini += QString("k%1=%2\n").arg(i).arg(value);
  }
  return ini;
}

}  // namespace testsupport
