#pragma once
// Statistical process control of the depot's measurements: X̄ and s charts
// over subgroups (one subgroup per shift), their centre lines and limits from
// a baseline the engineer picks, the Western Electric rules and the
// capability indices of a period. Pure computation: no database, no page.
//
// The process σ is estimated from the baseline as the mean of s_i / c4(n_i)
// over its subgroups of two or more values, the centre as the mean of the
// subgroup means weighted by their sizes. With subgroups of unequal size
// every point gets its own limits: X̄ at centre ± 3σ/√n_i, s at c4(n_i)σ ±
// 3σ·√(1 − c4(n_i)²) (the lower one not below 0).

#include <QString>
#include <optional>
#include <vector>

#include "quality/capability.h"
#include "quality/limits.h"

namespace depot {

// One subgroup: the values of one shift.
struct Subgroup {
  QString label;  // the shift, e.g. "2026-12-08"
  long long n = 0;
  double mean = 0;
  std::optional<double> sd;  // sample deviation, empty below two values
};

// c4(n) = √(2/(n−1)) Γ(n/2) / Γ((n−1)/2): E[s] = c4 σ for normal data.
double C4(long long n);

struct Baseline {
  bool valid = false;  // at least one subgroup with a deviation above 0
  double centre = 0;   // x̿
  double sigma = 0;    // σ̂
  int subgroups = 0;
};
Baseline EstimateBaseline(const std::vector<Subgroup>& baseline);

// The four Western Electric rules, numbered as the chart marks them.
//  1: one point beyond 3σ
//  2: two of three points in a row beyond 2σ on the same side
//  3: four of five points in a row beyond 1σ on the same side
//  4: eight points in a row on the same side of the centre
// A violation is marked on the point that completes it; that point itself
// lies in the zone the rule names. Empty entries (no value) are skipped.
std::vector<std::vector<int>> WesternElectric(const std::vector<std::optional<double>>& z);

struct ChartPoint {
  std::optional<double> value;  // empty: the subgroup has no statistic
  double centre = 0, lower = 0, upper = 0;
  std::vector<int> rules;  // broken rules, ascending
};
// The X̄ chart and the s chart of the subgroups against the baseline.
std::vector<ChartPoint> MeanChart(const std::vector<Subgroup>& groups, const Baseline& b);
std::vector<ChartPoint> SdChart(const std::vector<Subgroup>& groups, const Baseline& b);

// The judgement limits of stored norms and Cp/Cpk of n values with mean and
// sample deviation, by the quality rules (springdata's capability report
// computes them alike).
quality::Limits NormLimits(std::optional<double> min, std::optional<double> max,
                           std::optional<double> tolerance);
quality::Indices Capability(long long n, double mean, std::optional<double> sd,
                            const quality::Limits& limits);

}  // namespace depot

