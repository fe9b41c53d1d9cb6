// The shift change: the move of a finished shift's records from day.bin to
// the end of base.bin, and the journal that makes the move safe against a
// power cut at any moment.
//
// The journal Report\transfer.jnl is written whole (a new file renamed over
// the old, synced) before anything moves:
//   KALVOR-TRANSFER 2
//   day of the new shift
//   month of the new shift
//   length of base.bin in bytes before the move (whole records only)
//   number of records of day.bin being moved
//   SHA-1 of those records, in hex
// Then base.bin is cut back to that length, the shift's records are copied
// behind it and synced, day.bin is emptied, the new shift state is saved and
// the journal is removed.
//
// Recovery finishes only a move that the files show to be unfinished. The
// shift state is saved after the copy and the emptying, so:
// - while it still names the old shift, the move did not finish: when day.bin
//   holds exactly the journalled records the copy is made again behind the
//   old end of base.bin; when day.bin is empty and base.bin ends with those
//   records, only the new shift state is written;
// - once it names the journal's shift, only the removal of the journal was
//   missing: with day.bin empty and base.bin ending with the journalled
//   records the journal is removed.
// Anything else means the journal belongs to other files (a journal left
// behind and then measurements of the new shift, files copied in by hand): it
// is renamed aside, reported, and no record is moved or removed because of it.
// A journal of the first release (three lines: base length, day, month) has
// no count nor checksum and is judged by the shift state and day.bin alone.

#include <QCryptographicHash>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <optional>

#include "database/database.h"
#include "database/dbfiles.h"
#include "database/recordfile.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/textfile.h"

using namespace dbfiles;

namespace {

constexpr qint64 kRecord = kMeasurementRecordSize;
const QString kJournalTag = QStringLiteral("KALVOR-TRANSFER 2");

struct Journal {
  int day = 0;
  int month = 0;
  qint64 baseLength = 0;
  bool checked = false;  // the record count and the checksum are known
  qint64 count = 0;
  QByteArray hash;
};

QString JournalPath() { return plat::MapPath(kTransferJournalFile); }
QString ReportDir() { return QFileInfo(JournalPath()).absolutePath(); }

QByteArray RecordsHash(const QByteArray& records) {
  return QCryptographicHash::hash(records, QCryptographicHash::Sha1).toHex();
}

void Probe(ShiftChangeStep step, qint64 done, qint64 total) {
  if (Database.ShiftChangeProbe)
    Database.ShiftChangeProbe(step, static_cast<int>(done), static_cast<int>(total));
}

bool LengthLine(const QString& file, const QStringList& lines, int line, qint64& value) {
  if (line > lines.size()) return Fail(LineError(file, line, QStringLiteral("строка отсутствует")));
  bool ok = false;
  value = lines[line - 1].trimmed().toLongLong(&ok);
  if (!ok || value < 0)
    return Fail(LineError(file, line,
                          QStringLiteral("\"%1\" не является числом").arg(lines[line - 1])));
  return true;
}

bool WriteJournal(const Journal& j) {
  const QStringList lines = {kJournalTag,
                             QString::number(j.day),
                             QString::number(j.month),
                             QString::number(j.baseLength),
                             QString::number(j.count),
                             QString::fromLatin1(j.hash)};
  QString reason;
  if (!plat::WriteTextLines(kTransferJournalFile, lines, &reason))
    return Fail(recfile::IoError(JournalPath(), reason));
  recfile::SyncDir(ReportDir());
  Written();
  return true;
}

bool ReadJournal(Journal& j) {
  const QString& f = kTransferJournalFile;
  const auto lines = plat::ReadTextLines(f);
  if (!lines) return Fail(recfile::IoError(JournalPath(), QStringLiteral("чтение невозможно")));
  if (lines->isEmpty()) return Fail(LineError(f, 1, QStringLiteral("строка отсутствует")));
  if (lines->at(0).trimmed() != kJournalTag) {
    // The first release's journal: base length, day, month.
    return LengthLine(f, *lines, 1, j.baseLength) && IntegerLine(f, *lines, 2, j.day) &&
           IntegerLine(f, *lines, 3, j.month);
  }
  if (!IntegerLine(f, *lines, 2, j.day) || !IntegerLine(f, *lines, 3, j.month) ||
      !LengthLine(f, *lines, 4, j.baseLength) || !LengthLine(f, *lines, 5, j.count))
    return false;
  if (lines->size() < 6 || lines->at(5).trimmed().size() != 40)
    return Fail(LineError(f, 6, QStringLiteral("нет контрольной суммы")));
  j.hash = lines->at(5).trimmed().toLatin1().toLower();
  j.checked = true;
  return true;
}

bool RemoveJournal() {
  const QString path = JournalPath();
  if (QFile::exists(path) && !QFile::remove(path))
    return Fail(recfile::IoError(path, QStringLiteral("удаление невозможно")));
  recfile::SyncDir(ReportDir());
  Written();
  return true;
}

// Renames a journal that does not match the files aside and reports why.
// Nothing else is touched.
bool SetJournalAside(const QString& why) {
  const QString dir = ReportDir();
  const QString stamp = plat::CurrentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  QString name = kTransferJournalAsidePrefix + stamp + QStringLiteral(".jnl");
  for (int k = 2; QFile::exists(dir + '/' + name); ++k)
    name = kTransferJournalAsidePrefix + stamp + QStringLiteral("-%1.jnl").arg(k);
  if (!QFile::rename(JournalPath(), dir + '/' + name))
    return Fail(recfile::IoError(JournalPath(), QStringLiteral("переименование невозможно")));
  recfile::SyncDir(dir);
  Written();
  const QString text =
      QStringLiteral("Журнал переноса данных %1 не соответствует файлам базы (%2). Он сохранён "
                     "как Report\\%3; записи не перенесены и не удалены.")
          .arg(kTransferJournalFile, why, name);
  if (!Database.StartupReport.isEmpty()) Database.StartupReport += '\n';
  Database.StartupReport += text;
  std::fprintf(stderr, "kalvor: %s\n", text.toLocal8Bit().constData());
  return true;
}

// The whole records of day.bin.
bool ReadShiftFile(QByteArray& records, qint64& count) {
  const auto n = recfile::Count(DayPath(), kRecord, Database.LastError);
  if (!n) return false;
  count = *n;
  records.clear();
  return count == 0 || recfile::Read(DayPath(), kRecord, 0, count, records, Database.LastError);
}

// Whether base.bin ends, right after the journalled length, with exactly the
// journalled records. Empty on a file error.
std::optional<bool> BaseHoldsJournalledRecords(const Journal& j) {
  const auto size = recfile::FileSize(BasePath(), Database.LastError);
  if (!size) return std::nullopt;
  if (j.baseLength % kRecord != 0 || *size != j.baseLength + j.count * kRecord) return false;
  if (j.count == 0) return true;
  QByteArray tail;
  if (!recfile::Read(BasePath(), kRecord, j.baseLength / kRecord, j.count, tail,
                     Database.LastError))
    return std::nullopt;
  return RecordsHash(tail) == j.hash;
}

// Copies the `count` records of day.bin behind the first `baseLength` bytes
// of base.bin, then empties day.bin. What base.bin holds beyond baseLength
// is dropped and logged as `beyondWhy`; a broken tail of day.bin as one.
bool MoveShiftRecords(qint64 baseLength, qint64 count, const QString& beyondWhy) {
  QString& err = Database.LastError;
  const auto baseSize = recfile::FileSize(BasePath(), err);
  const auto daySize = recfile::FileSize(DayPath(), err);
  if (!baseSize || !daySize) return false;
  if (!recfile::Truncate(BasePath(), baseLength, err)) return false;
  Written();
  if (*baseSize > baseLength) LogDropped(BasePath(), baseLength, *baseSize - baseLength, beyondWhy);
  const auto progress = [count](qint64 done) {
    Probe(ShiftChangeStep::Copying, done, count);
    Written();
  };
  if (!recfile::Copy(DayPath(), BasePath(), kRecord, count, baseLength, progress, err))
    return false;
  Probe(ShiftChangeStep::Copied, count, count);
  if (!recfile::Truncate(DayPath(), 0, err)) return false;
  Written();
  if (*daySize > count * kRecord)
    LogDropped(DayPath(), count * kRecord, *daySize - count * kRecord, kBrokenTail);
  Probe(ShiftChangeStep::ShiftCleared, count, count);
  return true;
}

// Saves the new shift and only then takes it into memory.
bool CommitNewShift(int day, int month) {
  TShiftState s = Database.ShiftState;
  s.Day = day;
  s.Month = month;
  s.CurrentIndex = 1;
  s.Reserved4 = 1;
  s.Reserved3 = 0;
  if (!WriteShiftState(s)) return false;
  Database.ShiftState = s;
  if (Database.ShiftChangeListener) Database.ShiftChangeListener();
  return true;
}

// The latest day that the records show: that of any measurement of the
// shift file and that of the last measurement moved into base.bin. Invalid
// when there is no record.
bool LatestRecordDay(const QByteArray& dayRecords, qint64 dayCount, QDate& latest) {
  latest = QDate();
  const auto consider = [&latest](const char* record) {
    const double days = DecodeMeasurementRecord(record).Date;
    // A date field that is no day of the calendar (a damaged record) says nothing.
    if (!std::isfinite(days) || days < 1 || days > 2958465) return;
    const QDate d = plat::DaysToDateTime(days).date();
    if (d.isValid() && (!latest.isValid() || d > latest)) latest = d;
  };
  for (qint64 i = 0; i < dayCount; ++i) consider(dayRecords.constData() + i * kRecord);
  const auto baseCount = recfile::Count(BasePath(), kRecord, Database.LastError);
  if (!baseCount) return false;
  if (*baseCount > 0) {
    QByteArray last;
    if (!recfile::Read(BasePath(), kRecord, *baseCount - 1, 1, last, Database.LastError))
      return false;
    consider(last.constData());
  }
  return true;
}

// The stored shift's full date. The shift state keeps only its day and
// month; the year is the one that puts that day nearest to the latest record
// (the shift's own measurements, or the last one moved into base.bin before
// it began; a measurement begun before midnight may carry the next day).
// Without records nothing can be named twice, and the date stays invalid.
QDate StoredShiftDate(const QDate& latest) {
  const TShiftState& s = Database.ShiftState;
  QDate nearest;
  if (!latest.isValid()) return nearest;
  for (int year = latest.year() - 1; year <= latest.year() + 1; ++year) {
    const QDate d(year, s.Month, s.Day);
    if (d.isValid() &&
        (!nearest.isValid() || std::abs(latest.daysTo(d)) < std::abs(latest.daysTo(nearest))))
      nearest = d;
  }
  return nearest;
}

// Today is earlier than the shift: nothing moves. Measuring goes on in the
// stored shift once the operator has seen it and agreed (once per shift and
// run), else the shift change fails.
bool HoldShift(const QDate& shift, const QDate& today) {
  if (Database.HeldShiftDate == shift) return true;
  const QString text =
      QStringLiteral("Часы компьютера показывают %1, это раньше текущей смены %2")
          .arg(today.toString(QStringLiteral("dd.MM.yyyy")),
               shift.toString(QStringLiteral("dd.MM.yyyy")));
  std::fprintf(stderr, "kalvor: %s\n", text.toLocal8Bit().constData());
  if (!Database.ConfirmClockBehind || !Database.ConfirmClockBehind(shift, today)) {
    Database.ClockBehindRefused = true;
    return Fail(text + QStringLiteral(": смена не сменена. Установите верные дату и время."));
  }
  Database.HeldShiftDate = shift;
  return true;
}

}  // namespace

bool dbfiles::RecoverShiftChange() {
  if (!QFile::exists(JournalPath())) return true;
  Journal j;
  if (!ReadJournal(j)) return false;
  QByteArray day;
  qint64 dayCount = 0;
  if (!ReadShiftFile(day, dayCount)) return false;
  const auto baseSize = recfile::FileSize(BasePath(), Database.LastError);
  if (!baseSize) return false;
  const TShiftState& s = Database.ShiftState;
  const bool stateSaved = s.Day == j.day && s.Month == j.month;

  if (stateSaved && dayCount > 0)
    return SetJournalAside(
        QStringLiteral("перенос был завершён, а в Report\\day.bin уже записи новой смены"));
  if (!stateSaved && dayCount > 0) {
    if (j.checked && (dayCount != j.count || RecordsHash(day) != j.hash))
      return SetJournalAside(QStringLiteral("в Report\\day.bin не те записи, что переносились"));
    if (*baseSize < j.baseLength)
      return SetJournalAside(QStringLiteral("Report\\base.bin короче, чем перед переносом"));
    if (j.checked && *baseSize > j.baseLength + j.count * kRecord)
      return SetJournalAside(QStringLiteral("Report\\base.bin длиннее, чем после переноса"));
    // Whatever an interrupted copy left behind the old end goes first.
    if (!MoveShiftRecords(j.baseLength, dayCount,
                          QStringLiteral("остаток прерванного переноса смены, переносится заново")))
      return false;
  } else if (j.checked) {
    // day.bin is empty: the copy must be complete.
    const auto holds = BaseHoldsJournalledRecords(j);
    if (!holds) return false;
    if (!*holds)
      return SetJournalAside(
          QStringLiteral("Report\\day.bin пуст, но в Report\\base.bin нет перенесённых записей"));
  }
  if (!stateSaved && !CommitNewShift(j.day, j.month)) return false;
  return RemoveJournal();
}

bool CheckShiftChange() {
  Database.LastError.clear();
  // A move that failed earlier is finished first, so that its half-copied
  // records are not counted as part of base.bin.
  if (!RecoverShiftChange()) return false;
  Database.ClockBehindRefused = false;
  const QDate today = plat::CurrentDateTime().date();
  const TShiftState& s = Database.ShiftState;
  if (today.day() == s.Day && today.month() == s.Month) {
    Database.HeldShiftDate = QDate();
    return true;
  }

  QByteArray records;
  qint64 n = 0;
  if (!ReadShiftFile(records, n)) return false;
  QDate latest;
  if (!LatestRecordDay(records, n, latest)) return false;
  // Behind the shift, or behind a stored measurement: a new shift of today
  // could repeat names that are stored already.
  if (const QDate shift = StoredShiftDate(latest);
      shift.isValid() && today < std::max(shift, latest))
    return HoldShift(shift, today);
  Database.HeldShiftDate = QDate();

  if (Database.ShadeForShiftChange) Database.ShadeForShiftChange();
  if (n > 0) {
    if (Database.ShowTransferNotice) Database.ShowTransferNotice();
    const auto baseSize = recfile::FileSize(BasePath(), Database.LastError);
    if (!baseSize) return false;
    Journal j;
    j.day = today.day();
    j.month = today.month();
    // A broken tail of base.bin is not a record; the move starts behind the
    // last whole one.
    j.baseLength = (*baseSize / kRecord) * kRecord;
    j.checked = true;
    j.count = n;
    j.hash = RecordsHash(records);
    if (!WriteJournal(j)) return false;
    Probe(ShiftChangeStep::JournalWritten, 0, n);
    if (!MoveShiftRecords(j.baseLength, n, kBrokenTail)) return false;
  }
  if (!CommitNewShift(today.day(), today.month())) return false;
  if (n == 0) return true;
  Probe(ShiftChangeStep::StateSaved, n, n);
  return RemoveJournal();
}
