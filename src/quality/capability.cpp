#include "quality/capability.h"

#include <algorithm>
#include <cmath>

namespace quality {

void Moments::Add(double v) {
  ++n;
  if (n == 1) {
    min = max = v;
  } else {
    min = std::min(min, v);
    max = std::max(max, v);
  }
  const double delta = v - mean;
  mean += delta / static_cast<double>(n);
  m2 += delta * (v - mean);
}

std::optional<double> Moments::Sd() const {
  if (n < 2) return std::nullopt;
  return std::sqrt(std::max(0.0, m2 / static_cast<double>(n - 1)));
}

Moments Moments::OfSummary(qint64 n, double mean, std::optional<double> sd) {
  Moments m;
  m.n = n;
  m.mean = mean;
  if (sd && n >= 2) m.m2 = *sd * *sd * static_cast<double>(n - 1);
  return m;
}

Moments Pool(const std::vector<Moments>& parts) {
  Moments out;
  double weighted = 0;
  for (const Moments& part : parts) {
    if (part.n <= 0) continue;
    if (out.n == 0) {
      out.min = part.min;
      out.max = part.max;
    } else {
      out.min = std::min(out.min, part.min);
      out.max = std::max(out.max, part.max);
    }
    out.n += part.n;
    weighted += part.mean * static_cast<double>(part.n);
  }
  if (out.n == 0) return out;
  out.mean = weighted / static_cast<double>(out.n);
  for (const Moments& part : parts) {
    if (part.n <= 0) continue;
    const double d = part.mean - out.mean;
    out.m2 += part.m2 + static_cast<double>(part.n) * d * d;
  }
  return out;
}

Indices CapabilityIndices(const Moments& m, const Limits& limits) {
  Indices out;
  const std::optional<double> sd = m.Sd();
  if (!sd || *sd <= 0) return out;
  if (limits.lower && limits.upper) out.cp = (*limits.upper - *limits.lower) / (6 * *sd);
  std::optional<double> cpk;
  if (limits.upper) cpk = (*limits.upper - m.mean) / (3 * *sd);
  if (limits.lower) {
    const double cpl = (m.mean - *limits.lower) / (3 * *sd);
    cpk = cpk ? std::min(*cpk, cpl) : cpl;
  }
  out.cpk = cpk;
  return out;
}

}  // namespace quality
