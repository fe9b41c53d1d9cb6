#pragma once
// The limits a measured value is judged against. A spring type's norms Min
// and Max are widened by its tolerance E; the line's judgement, the
// engineers' capability report and the depot's pages all take them from
// here.

#include <optional>

namespace quality {

// What the bogie file's loader gives a missing P<p>Min / P<p>Max. A norm at
// or beyond it is no limit for the capability figures and the charts, so
// that a parameter with one limit gets a one-sided index.
constexpr double kNoLowerLimit = -1000.0;
constexpr double kNoUpperLimit = 1000.0;

// True for a Min / Max that is a limit, not the loader's default.
bool IsLowerLimit(double min);
bool IsUpperLimit(double max);

// The judgement of one value against its norms: good when
// Min - E < value < Max + E, both comparisons strict. A 32-bit value is
// compared against the sums formed from the 64-bit norms. The norms are
// taken as they stand: the loader's defaults judge as the numbers they are.
inline bool WithinJudgementLimits(double value, double min, double max, double e) {
  return value > min - e && value < max + e;
}

// The judgement limits Min - E and Max + E, each empty where its norm is
// missing or the loader's default.
struct Limits {
  std::optional<double> lower, upper;
};
Limits JudgementLimits(std::optional<double> min, std::optional<double> max, double e);

}  // namespace quality
