// The record operations on base.bin, day.bin and Tel.bin, the record filter
// of the date-range search, and the names the records carry.

#include <QDate>
#include <QFileInfo>

#include "database/database.h"
#include "database/dbfiles.h"
#include "database/recordfile.h"
#include "platform/clock.h"

using namespace dbfiles;

// --- measurement database ----------------------------------------------------

bool AppendMeasurement(const MeasurementRecord& record) {
  return AppendOne(BasePath(), kMeasurementRecordSize, EncodeMeasurementRecord(record));
}

bool ReadMeasurement(int i, MeasurementRecord& record) {
  if (Database.RecordFilter.On) {
    // The list may point anywhere; a position that cannot be read leaves the
    // caller's record as it was.
    const std::vector<int>& list = Database.RecordFilter.List;
    Database.LastError.clear();
    if (i < 0 || i >= static_cast<int>(list.size())) return false;
    QByteArray bytes;
    QString ignored;
    if (!recfile::Read(BasePath(), kMeasurementRecordSize, list[i], 1, bytes, ignored))
      return false;
    record = DecodeMeasurementRecord(bytes.constData());
    return true;
  }
  QByteArray bytes;
  if (!ReadOne(BasePath(), kMeasurementRecordSize, i, bytes)) return false;
  record = DecodeMeasurementRecord(bytes.constData());
  return true;
}

int MeasurementCount() {
  if (Database.RecordFilter.On) {
    Database.LastError.clear();
    return static_cast<int>(Database.RecordFilter.List.size());
  }
  return CountOf(BasePath(), kMeasurementRecordSize);
}

bool ClearMeasurements() { return ClearFile(BasePath()); }

namespace {

MeasurementRecord Decode(const char* record, RecordParts parts) {
  return parts == RecordParts::Whole ? DecodeMeasurementRecord(record) : DecodeMeasurementValues(record);
}

// `count` records from position `first` of a record file, in one pass.
bool ReadRange(const QString& path, int first, int count, std::vector<MeasurementRecord>& records,
               RecordParts parts = RecordParts::Whole) {
  Database.LastError.clear();
  QByteArray bytes;
  if (!recfile::Read(path, kMeasurementRecordSize, first, count, bytes, Database.LastError))
    return false;
  records.clear();
  records.reserve(count);
  for (int k = 0; k < count; ++k)
    records.push_back(Decode(bytes.constData() + k * kMeasurementRecordSize, parts));
  return true;
}

}  // namespace

bool ReadMeasurementRange(int first, int count, std::vector<MeasurementRecord>& records) {
  return ReadRange(BasePath(), first, count, records);
}

bool ReadMeasurementBytes(int first, int count, QByteArray& bytes) {
  Database.LastError.clear();
  return recfile::Read(BasePath(), kMeasurementRecordSize, first, count, bytes, Database.LastError);
}

bool ScanMeasurements(int first, int count, const MeasurementVisitor& each) {
  Database.LastError.clear();
  return recfile::Scan(
      BasePath(), kMeasurementRecordSize, first, count,
      [&](const char* records, qint64 at, qint64 n) {
        for (qint64 k = 0; k < n; ++k)
          each(records + k * kMeasurementRecordSize, static_cast<int>(at + k));
      },
      Database.LastError);
}

bool ScanListedMeasurements(int first, int count, const MeasurementVisitor& each) {
  if (!Database.RecordFilter.On) return ScanMeasurements(first, count, each);
  Database.LastError.clear();
  const std::vector<int>& list = Database.RecordFilter.List;
  const QString path = BasePath();
  if (first < 0 || count < 0 || static_cast<qint64>(first) + count > static_cast<qint64>(list.size()))
    return Fail(recfile::IoError(path, QStringLiteral("позиция за концом списка")));
  // A date range lists positions in ascending order, mostly side by side:
  // each read covers a span of the file holding a run of listed positions,
  // and only the listed records of it are visited.
  constexpr int kSpan = recfile::kScanBytes / kMeasurementRecordSize;
  recfile::Reader file;
  if (count > 0 && !file.Open(path, kMeasurementRecordSize, Database.LastError)) return false;
  QByteArray bytes;
  const int end = first + count;
  int k = first;
  while (k < end) {
    int j = k + 1;
    while (j < end && list[j] > list[j - 1] && list[j] - list[k] < kSpan) ++j;
    const int from = list[k];
    if (!file.Read(from, list[j - 1] - from + 1, bytes, Database.LastError)) return false;
    for (int m = k; m < j; ++m) each(bytes.constData() + qsizetype(list[m] - from) * kMeasurementRecordSize, m);
    k = j;
  }
  return true;
}

bool ReadListedMeasurements(int first, int count, std::vector<MeasurementRecord>& records,
                            RecordParts parts) {
  records.clear();
  records.reserve(std::max(count, 0));
  return ScanListedMeasurements(first, count, [&](const char* record, int) {
    records.push_back(Decode(record, parts));
  });
}

// --- shift file ----------------------------------------------------------------

bool AppendShiftMeasurement(const MeasurementRecord& record) {
  return AppendOne(DayPath(), kMeasurementRecordSize, EncodeMeasurementRecord(record));
}

bool ReadShiftMeasurement(int i, MeasurementRecord& record) {
  QByteArray bytes;
  if (!ReadOne(DayPath(), kMeasurementRecordSize, i, bytes)) return false;
  record = DecodeMeasurementRecord(bytes.constData());
  return true;
}

int ShiftMeasurementCount() { return CountOf(DayPath(), kMeasurementRecordSize); }

bool ReadShiftMeasurementRange(int first, int count, std::vector<MeasurementRecord>& records) {
  return ReadRange(DayPath(), first, count, records);
}

bool ClearShiftMeasurements() { return ClearFile(DayPath()); }

// --- set archive -----------------------------------------------------------------

bool AppendSet(const SetRecord& record) {
  return AppendOne(TelPath(), kSetRecordSize, EncodeSetRecord(record));
}

bool ReadSet(int i, SetRecord& record) {
  QByteArray bytes;
  if (!ReadOne(TelPath(), kSetRecordSize, i, bytes)) return false;
  record = DecodeSetRecord(bytes.constData());
  return true;
}

int SetCount() {
  if (Database.RecordFilter.On) {
    Database.LastError.clear();
    return static_cast<int>(Database.RecordFilter.List.size());
  }
  return CountOf(TelPath(), kSetRecordSize);
}

bool SetArchiveReadable() {
  Database.LastError.clear();
  const QString path = TelPath();
  if (!recfile::FileSize(path, Database.LastError)) return false;
  if (!QFileInfo::exists(path)) return true;
  QByteArray none;
  return recfile::Read(path, kSetRecordSize, 0, 0, none, Database.LastError);
}

bool ClearSets() { return ClearFile(TelPath()); }

void SetRecordFilter(std::vector<int> positions) {
  Database.RecordFilter.List = std::move(positions);
  Database.RecordFilter.On = true;
}

void RecordFilterOff() { Database.RecordFilter.On = false; }

// --- names -------------------------------------------------------------------------

namespace {
QString TwoDigits(int v) { return (v < 10 ? QStringLiteral("0") : QString()) + QString::number(v); }
}  // namespace

QString MeasurementIdentifier(int number) {
  return MeasurementIdentifier(number, Database.HeldShiftDate.isValid()
                                           ? Database.HeldShiftDate
                                           : plat::CurrentDateTime().date());
}

QString MeasurementIdentifier(int number, const QDate& day) {
  QString name = QString::number(number);
  if (number < 10) name.prepend('0');
  if (number < 100) name.prepend('0');
  if (number < 1000) name.prepend('0');
  name += '-' + TwoDigits(day.day()) + TwoDigits(day.month()) + QString::number(day.year());
  return name.left(measurement_offset::IdentifierChars);
}

QString MakeSetDate() {
  const QDate today = plat::CurrentDateTime().date();
  return TwoDigits(today.day()) + TwoDigits(today.month()) + QString::number(today.year());
}
