#include "quality/limits.h"

namespace quality {

bool IsLowerLimit(double min) {
  return min > kNoLowerLimit;
}

bool IsUpperLimit(double max) {
  return max < kNoUpperLimit;
}

Limits JudgementLimits(std::optional<double> min, std::optional<double> max, double e) {
  Limits l;
  if (min && IsLowerLimit(*min)) l.lower = *min - e;
  if (max && IsUpperLimit(*max)) l.upper = *max + e;
  return l;
}

}  // namespace quality
