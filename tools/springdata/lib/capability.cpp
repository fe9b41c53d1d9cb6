#include "capability.h"

#include <cmath>

#include "measurement/judgement.h"
#include "quality/measured.h"
#include "sorting/heightgroup.h"
#include "springs/springtypes.h"

namespace springdata {

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
  return quality::JudgementLimits(norm.Min, norm.Max, type.E);
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
  const bool fast = r.Kind == quality::kFastKind;
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
