#pragma once
// The statistics of stored measurements: over the measurements of the shift
// (Report\day.bin) or over the measurements the database browser lists
// (Report\base.bin, through the record filter while a date range is on), how
// many springs were within the norm as a whole and, for each of the six
// parameters, how many had that parameter within the norm. Every verdict is
// JudgeMeasurement's, so a record counts here as the result page, the browser
// and the printed report judge it; a record that cannot be judged (its bogie
// type or spring type is not in the table) counts as not good in every
// column.
//
// The counts go to the counts file of the variant (Temp\norms.txt for the
// shift, Temp\Ynorms.txt for a period), which the printed statistics report
// reads back, and to Texts\stat.txt. Every file is written whole through a
// temporary file renamed over the old one, so a power cut leaves the old
// file or the new one. Nothing here draws: the page follows the progress
// through a callback.

#include <QString>
#include <array>
#include <functional>

#include "database/records.h"

enum class StatisticsVariant { Shift, Period };

struct StatisticsCounts {
  int N = 0;                    // records counted: line 1 of the counts file
  int Good = 0;                 // records whose spring is good as a whole
  std::array<int, 7> InNorm{};  // [1..6] records with parameter p good; [0] unused
  // The last record counted: its bogie type and spring type name the
  // parameters on the page. HaveLast is false when nothing was counted.
  bool HaveLast = false;
  MeasurementRecord Last;
};

inline const QString kShiftCountsFile = QStringLiteral("Temp\\norms.txt");
inline const QString kPeriodCountsFile = QStringLiteral("Temp\\Ynorms.txt");
inline const QString kStatTextFile = QStringLiteral("Texts\\stat.txt");

// Called before record i is counted when i is a multiple of 10 (i = 0, 10,
// 20, ... below n).
using StatisticsProgress = std::function<void(int i, int n)>;

// The shift: every record of Report\day.bin. The shift file is read whole
// before anything is counted, so a read failure writes nothing. After every
// record the counts file Temp\norms.txt holds n and the counts so far (each
// rewrite a whole file; only the last one is synced to the disk); an empty
// shift writes n = 0 and six zeros. False with the reason in `error` when a file
// could not be read or written.
bool CountShiftStatistics(StatisticsCounts& counts, const StatisticsProgress& progress,
                          QString& error);

// A period: the browser's list positions 0 .. count - 1. Temp\Ynorms.txt is
// written once all of them are counted (line 1 = count); a read failure on
// the way leaves it as it was.
bool CountPeriodStatistics(int count, StatisticsCounts& counts,
                           const StatisticsProgress& progress, QString& error);

// Texts\stat.txt: the six counts, one a line.
bool WriteStatText(const StatisticsCounts& counts, QString& error);

// A counts file: n, then the six counts, one a line. Reading gives false with
// the reason when the file is missing or a line is not a number.
bool WriteCountsFile(const QString& file, int n, const std::array<int, 7>& inNorm, QString& error);
bool ReadCountsFile(const QString& file, int& n, std::array<int, 7>& inNorm, QString& error);
