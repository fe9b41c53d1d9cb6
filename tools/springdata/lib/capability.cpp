#include "capability.h"

#include <cmath>

#include "measurement/judgement.h"
#include "sorting/heightgroup.h"
#include "springs/springtypes.h"

namespace springdata {

namespace {
// What the bogie file's loader gives a missing P<p>Min / P<p>Max.
constexpr double kNoLowerLimit = -1000.0;
constexpr double kNoUpperLimit = 1000.0;
}  // namespace

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

void Histogram::Add(double v, std::optional<double> lower, std::optional<double> upper) {
  if (width == 0) {
    if (lower && upper && *upper > *lower) {
      width = (*upper - *lower) / (kBins / 2);
      origin = *lower - width * (kBins / 4);
    } else {
      width = std::max(std::fabs(v) * 1e-3, 1e-3);
      origin = v - width * (kBins / 2);
    }
  }
  // Widen until v fits: the old bins become one half of the new ones.
  while (v < origin || v >= origin + width * kBins) {
    std::array<qint64, kBins> merged{};
    const bool growDown = v < origin;
    const int shift = growDown ? kBins / 2 : 0;
    for (int k = 0; k < kBins; ++k) merged[shift + k / 2] += counts[k];
    if (growDown) origin -= width * kBins;
    width *= 2;
    counts = merged;
  }
  int bin = static_cast<int>(std::floor((v - origin) / width));
  bin = std::clamp(bin, 0, kBins - 1);
  ++counts[bin];
}

qint64 Histogram::Total() const {
  qint64 t = 0;
  for (qint64 c : counts) t += c;
  return t;
}

Limits JudgementLimits(const SpringType& type, int p) {
  const SpringParameter& norm = type.parameters[p];
  Limits l;
  if (norm.Min > kNoLowerLimit) l.lower = norm.Min - type.E;
  if (norm.Max < kNoUpperLimit) l.upper = norm.Max + type.E;
  return l;
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

bool Capability::Add(const MeasurementRecord& r) {
  const SpringType* type = RecordSpringType(r);
  if (!type) return false;
  // A record made in emulation holds no measured value at all.
  if (RecordEmulated(r)) {
    ++emulated_;
    return true;
  }
  JudgeMeasurement(r);
  SpringStats& s = types_[{r.BogieType, r.SpringType}];
  s.bogie = r.BogieType;
  s.spring = r.SpringType;
  ++s.records;
  const bool fast = r.Kind == 1;
  if (fast) ++s.fast;
  for (int p = 1; p <= 6; ++p) {
    if (!ValueMeasured(r, p)) continue;
    const ParameterSlot& slot = r.Param[p];
    if (slot.JudgeMode != 0 || !std::isfinite(slot.Value)) continue;
    ParameterStats& ps = s.param[p];
    const double v = slot.Value;
    ps.moments.Add(v);
    if (Judgement.Verdicts[p]) ++ps.withinNorm;
    const Limits l = JudgementLimits(*type, p);
    ps.histogram.Add(v, l.lower, l.upper);
  }
  if (Judgement.SpringGood) {
    ++s.good;
    const int g = BogieHeightGroup(r.Param[2].Value, r.BogieType);
    if (g >= 0) ++s.groups[g];
  }
  return true;
}

}  // namespace springdata
