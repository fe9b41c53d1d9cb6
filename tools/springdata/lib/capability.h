#pragma once
// Process capability of the measured springs, per bogie type, spring type and
// parameter, computed in one pass over the records with memory that does not
// grow with their number: running moments (Welford's update), the share
// within the norm, a histogram of fixed bin count whose bins widen by
// doubling as values arrive outside them, and the height-group counts of the
// good springs.
//
// Which values count: judge mode 0 (a measured number), a finite value, and
// one the line measured (ValueMeasured: not parameters 1, 3 and 4 of a fast
// measurement nor a parameter the record marks as not measured). Records
// made in emulation measure nothing and are left out whole. Records whose
// bogie or spring type the bogie file does not hold have no norms and are
// left out (the stream reports them).

#include <QString>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>

#include "database/records.h"
#include "quality/capability.h"

struct SpringType;

namespace springdata {

// Moments, limits and indices are the quality rules', shared with the line
// program and the depot's pages.
using quality::CapabilityIndices;
using quality::Indices;
using quality::Limits;
using quality::Moments;

// A histogram of kBins bins of equal width starting at `origin`. A value
// outside the bins doubles the width, merging neighbouring bins, until it
// fits; the counts stay exact.
struct Histogram {
  static constexpr int kBins = 48;
  double origin = 0;
  double width = 0;  // 0 until the first value
  std::array<qint64, kBins> counts{};
  // The first value places the bins: with both limits known the limits span
  // the middle half, otherwise the bins are centred on the value.
  void Add(double v, std::optional<double> lower, std::optional<double> upper);
  qint64 Total() const;
};

// The judgement limits of parameter p of a spring type.
Limits JudgementLimits(const SpringType& type, int p);

struct ParameterStats {
  Moments moments;
  qint64 withinNorm = 0;  // values the judgement found good
  Histogram histogram;
};

struct SpringStats {
  int bogie = 0, spring = 0;
  qint64 records = 0;  // measurements of this type taken
  qint64 fast = 0;     // of them fast measurements
  qint64 good = 0;     // judged good as a whole
  std::array<ParameterStats, 7> param{};  // [1..6]
  // Good springs per height group [0..9]; group 0 holds those outside every
  // group. Only bogie types 1 and 2 are sorted into groups.
  std::array<qint64, 10> groups{};
};

class Capability {
 public:
  // Takes one record; false (and nothing counted) for an unknown type.
  bool Add(const MeasurementRecord& r);
  const std::map<std::pair<int, int>, SpringStats>& Types() const { return types_; }
  // Records of known types left out because they were made in emulation.
  qint64 Emulated() const { return emulated_; }

 private:
  std::map<std::pair<int, int>, SpringStats> types_;
  qint64 emulated_ = 0;
};

}  // namespace springdata
