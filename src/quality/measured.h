#pragma once
// Which parameters a measurement took. A fast measurement does not measure
// the coil diameter (parameter 1), the non-perpendicularity (3) and the coil
// gap (4); a record may besides mark any parameter as not measured by the
// line (its reserved slot bytes, read by the database module). A value that
// is no measurement of the spring never rejects it, is left blank on the
// pages, in the reports and the export, and counts in no statistic of values.

namespace quality {

// The measurement kind of a fast measurement (record offset 30).
constexpr int kFastKind = 1;

// Whether a measurement of this kind takes parameter p (1..6).
inline bool KindTakes(int kind, int p) {
  return !(kind == kFastKind && (p == 1 || p == 3 || p == 4));
}

// Whether the value of parameter p is a measurement of the spring: its kind
// takes it and the record does not mark it as not measured.
inline bool ValueMeasured(int kind, int p, bool markedMeasured) {
  return KindTakes(kind, p) && markedMeasured;
}

}  // namespace quality
