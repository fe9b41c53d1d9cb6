#include "measurement/statistics.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "database/database.h"
#include "database/recordfile.h"
#include "measurement/judgement.h"
#include "platform/paths.h"
#include "platform/textfile.h"

namespace {

QByteArray CountsText(int n, const std::array<int, 7>& inNorm, bool withN) {
  QByteArray out;
  if (withN) out += QByteArray::number(n) + "\r\n";
  for (int p = 1; p <= 6; ++p) out += QByteArray::number(inNorm[p]) + "\r\n";
  return out;
}

// Writes a whole file over the old one (the platform's whole-file writer).
// Synced, the new file is on the disk when it returns; unsynced (the
// rewrites of the shift's counts between its records), a power cut may still
// leave the old file, never a part of either.
bool WriteWhole(const QString& file, const QByteArray& bytes, bool sync, QString& error) {
  const QString path = plat::MapPath(file);
  QString reason;
  if (plat::WriteWholeFile(path, bytes, &reason, sync)) return true;
  error = recfile::IoError(path, reason);
  return false;
}

void CountRecord(const MeasurementRecord& record, StatisticsCounts& counts) {
  JudgeMeasurement(record);
  if (Judgement.SpringGood) ++counts.Good;
  for (int p = 1; p <= 6; ++p)
    if (Judgement.Verdicts[p]) ++counts.InNorm[p];
}

}  // namespace

bool WriteCountsFile(const QString& file, int n, const std::array<int, 7>& inNorm, QString& error) {
  return WriteWhole(file, CountsText(n, inNorm, true), true, error);
}

bool ReadCountsFile(const QString& file, int& n, std::array<int, 7>& inNorm, QString& error) {
  const auto lines = plat::ReadTextLines(file);
  if (!lines) {
    error = recfile::IoError(plat::MapPath(file), QStringLiteral("файл не прочитан"));
    return false;
  }
  std::array<int, 8> v{};
  for (int line = 0; line < 7; ++line) {
    bool ok = false;
    if (line < lines->size()) v[line] = lines->at(line).trimmed().toInt(&ok);
    if (!ok) {
      error = QStringLiteral("Ошибка в файле %1, строка %2: нет числа").arg(file).arg(line + 1);
      return false;
    }
  }
  n = v[0];
  inNorm = {};
  for (int p = 1; p <= 6; ++p) inNorm[p] = v[p];
  return true;
}

bool WriteStatText(const StatisticsCounts& counts, QString& error) {
  return WriteWhole(kStatTextFile, CountsText(counts.N, counts.InNorm, false), true, error);
}

bool CountShiftStatistics(StatisticsCounts& counts, const StatisticsProgress& progress,
                          QString& error) {
  counts = StatisticsCounts{};
  const int n = ShiftMeasurementCount();
  if (!DatabaseError().isEmpty()) {
    error = DatabaseError();
    return false;
  }
  std::vector<MeasurementRecord> records;
  if (n > 0 && !ReadShiftMeasurementRange(0, n, records)) {
    error = DatabaseError();
    return false;
  }
  counts.N = n;
  // An empty shift still writes its zeros: the printed report reads this
  // file, and must not print the counts of an earlier shift under today's
  // date while the page shows zeros.
  if (n == 0) return WriteCountsFile(kShiftCountsFile, 0, counts.InNorm, error);

  // The counts file is rewritten after every record, so it follows the count
  // as it goes. Should a write fail on the way, the file it held before the
  // run is put back rather than leaving the counts of part of the shift.
  const std::optional<QByteArray> before = plat::ReadFileBytes(kShiftCountsFile);
  for (int i = 0; i < n; ++i) {
    if (progress && i % 10 == 0) progress(i, n);
    CountRecord(records[i], counts);
    if (!WriteWhole(kShiftCountsFile, CountsText(n, counts.InNorm, true), i == n - 1, error)) {
      QString ignored;
      if (before)
        WriteWhole(kShiftCountsFile, *before, true, ignored);
      else
        QFile::remove(plat::MapPath(kShiftCountsFile));
      return false;
    }
  }
  counts.HaveLast = true;
  counts.Last = records.back();
  return true;
}

bool CountPeriodStatistics(int count, StatisticsCounts& counts,
                           const StatisticsProgress& progress, QString& error) {
  counts = StatisticsCounts{};
  count = std::max(count, 0);
  counts.N = count;
  // The counts need each record's values only, decoded into one record kept
  // across the walk; the last one, which the page shows, is read whole.
  MeasurementRecord values;
  const bool ok = ScanListedMeasurements(0, count, [&](const char* record, int i) {
    if (progress && i % 10 == 0) progress(i, count);
    DecodeMeasurementValues(record, values);
    CountRecord(values, counts);
  });
  if (!ok) {
    error = DatabaseError();
    return false;
  }
  std::vector<MeasurementRecord> block;
  if (count > 0) {
    if (!ReadListedMeasurements(count - 1, 1, block)) {
      error = DatabaseError();
      return false;
    }
    counts.HaveLast = true;
    counts.Last = block.front();
  }
  return WriteCountsFile(kPeriodCountsFile, count, counts.InNorm, error);
}
