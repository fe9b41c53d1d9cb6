#pragma once
// Process capability of measured values: running moments taken value by
// value, moments pooled from parts (the depot's hourly summaries are pooled
// into shifts, weeks and lines the same way), and Cp / Cpk against the
// judgement limits.

#include <QtGlobal>
#include <optional>
#include <vector>

#include "quality/limits.h"

namespace quality {

// Count, mean, sum of squared deviations from the mean (m2), minimum and
// maximum of a set of values.
struct Moments {
  qint64 n = 0;
  double mean = 0;
  double m2 = 0;
  double min = 0;
  double max = 0;
  // Takes one value (Welford's update).
  void Add(double v);
  // Sample standard deviation (n - 1); empty below two values.
  std::optional<double> Sd() const;
  // The moments of n values known by their mean and sample deviation, as a
  // summary keeps them; minimum and maximum are not known and stay 0.
  static Moments OfSummary(qint64 n, double mean, std::optional<double> sd);
};

// The moments of the union of parts: n = Σ nᵢ, mean = Σ nᵢ·meanᵢ / n,
// m2 = Σ m2ᵢ + Σ nᵢ·(meanᵢ − mean)², minimum and maximum over the parts.
// Empty parts count for nothing; no part gives empty moments.
Moments Pool(const std::vector<Moments>& parts);

// Cp = (U − L) / 6σ, only with both limits; Cpk = min(U − μ, μ − L) / 3σ
// over the limits there are. Both empty without a standard deviation above 0
// (fewer than two values, or all equal).
struct Indices {
  std::optional<double> cp, cpk;
};
Indices CapabilityIndices(const Moments& m, const Limits& limits);

}  // namespace quality
