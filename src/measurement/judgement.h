#pragma once
// The judgement of a measured spring: every parameter against the norms of
// its spring type, and the spring as a whole. This is the one judgement of
// the system; the result page, the browser, the statistics and the printed
// reports all call it, so a record is judged the same way wherever it is
// shown.

#include <QString>
#include <array>
#include <vector>

#include "database/records.h"

struct SpringType;

// Results of the last JudgeMeasurement, read by its callers right after the
// call.
struct TJudgement {
  // Verdicts[p] for parameters p = 1..6 (true = within the norm); [0] unused.
  std::array<bool, 7> Verdicts{};
  bool SpringGood = false;  // all six verdicts good
  // False when the record names a bogie type or spring type that the loaded
  // table does not hold, or one the bogie file gives no norms for: nothing was judged, every verdict and SpringGood are
  // false, and the pages show the record as not judged.
  bool Judged = false;
};

extern TJudgement Judgement;

// Judges the record against the spring-type table and the settings Zam19
// and CalEnable1; changes nothing but Judgement.
//
// A parameter of judge mode 0 is good when Min - E < value < Max + E, the
// 32-bit value compared against the sums formed from the 64-bit limits; any
// other judge mode takes the record's preset verdict (non-zero = good). With
// Zam19 a parameter that is not analysed is good. A parameter the line did
// not measure (ValueMeasured false) is good: a value that is no measurement
// of the spring never rejects it. With CalEnable1 parameter 5 of bogie type
// 1 is good.
//
// The bogie type must lie within 1..MaxChNum of the table and the spring type
// within 1..MaxSprings of that bogie type (each within the table's room),
// and the file must give that spring type its norms (MissingNorms empty),
// otherwise the record is not judged.
void JudgeMeasurement(const MeasurementRecord& record);

// The parameters (1..6) that the pages and reports list for a record, in
// order: all six, but parameter 5 of bogie type 1 with CalEnable1 (that set is
// neither measured nor listed); with Zam19 those whose Show flag the record's
// spring type sets. A record of no known spring type lists all six.
std::vector<int> ListedParameters(const MeasurementRecord& record);

// False for a value that is no measurement of the spring: parameters 1, 3
// and 4 of a fast measurement (kind 1) and every parameter the record marks
// as not measured. The pages, the reports and the export leave such a value
// and its verdict blank, and the statistics of values leave it out.
bool ValueMeasured(const MeasurementRecord& record, int p);

// How a record differs from a full measurement on the line, in words for
// the pages and the report: "Ускоренный замер", "Режим эмуляции", both
// joined by ", ", or empty.
QString RecordKindNote(const MeasurementRecord& record);

// Tests: no judgement made yet.
void ResetJudgement();
