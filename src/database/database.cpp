#include "database/database.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "config/settings.h"
#include "database/recordfile.h"
#include "database/shiftnotice.h"
#include "platform/clock.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "platform/textfile.h"

TDatabase Database;

namespace {

// Until the start-up binds the files, each operation maps the path anew, so
// that a change of the working folder (tests, tools) is followed.
QString BasePath() {
  return Database.BasePath.isEmpty() ? plat::MapPath(kBaseFile) : Database.BasePath;
}
QString DayPath() {
  return Database.DayPath.isEmpty() ? plat::MapPath(kDayFile) : Database.DayPath;
}
QString TelPath() {
  return Database.TelPath.isEmpty() ? plat::MapPath(kTelFile) : Database.TelPath;
}

bool Fail(const QString& message) {
  Database.LastError = message;
  return false;
}

// Remembers the first failure of the start-up and hands back the message.
QString StartupStep(bool ok) {
  if (ok) return QString();
  if (Database.StartupError.isEmpty()) Database.StartupError = Database.LastError;
  return Database.LastError;
}

// --- record files ----------------------------------------------------------

int CountOf(const QString& path, int size) {
  Database.LastError.clear();
  const auto n = recfile::Count(path, size, Database.LastError);
  return n ? static_cast<int>(*n) : 0;
}

bool ReadOne(const QString& path, int size, int i, QByteArray& bytes) {
  Database.LastError.clear();
  return recfile::Read(path, size, i, 1, bytes, Database.LastError);
}

bool AppendOne(const QString& path, int size, const QByteArray& bytes) {
  Database.LastError.clear();
  return recfile::Append(path, size, bytes, Database.LastError);
}

bool ClearFile(const QString& path) {
  Database.LastError.clear();
  return recfile::Truncate(path, 0, Database.LastError);
}

// --- state files -------------------------------------------------------------

QString LineError(const QString& file, int line, const QString& what) {
  return QStringLiteral("Ошибка в файле %1, строка %2: %3").arg(file).arg(line).arg(what);
}

// Reads integer line `line` (1-based); fails with a message naming the file
// and the line.
bool IntegerLine(const QString& file, const QStringList& lines, int line, int& value) {
  if (line > lines.size()) return Fail(LineError(file, line, QStringLiteral("строка отсутствует")));
  const QString text = lines[line - 1].trimmed();
  const auto v = plat::ParseInteger(text);
  if (!v) return Fail(LineError(file, line, QStringLiteral("\"%1\" не является числом").arg(text)));
  value = *v;
  return true;
}

// A flag line: any integer (non-zero is on) or the words True and False.
bool BooleanLine(const QString& file, const QStringList& lines, int line, bool& value) {
  if (line <= lines.size()) {
    const QString text = lines[line - 1].trimmed();
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
      value = true;
      return true;
    }
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
      value = false;
      return true;
    }
  }
  int v = 0;
  if (!IntegerLine(file, lines, line, v)) return false;
  value = v != 0;
  return true;
}

QString WagonNumber(const QString& text) { return text.left(measurement_offset::WagonChars); }

QString BoolLine(bool v) { return v ? QStringLiteral("-1") : QStringLiteral("0"); }

// --- the transfer journal ----------------------------------------------------
//
// A shift change first writes the journal (the length of base.bin before the
// move and the new shift's day and month), then cuts base.bin back to that
// length, copies the shift's records behind it and syncs, empties day.bin,
// saves the new shift state and finally removes the journal. Whatever the
// moment of an interruption, the journal tells the next start how to finish:
// while day.bin still holds records, base.bin is cut back to its old length
// and the copy is made again; once day.bin is empty the copy is known to be
// complete and only the shift state remains to be written.

struct Journal {
  qint64 baseLength = 0;
  int day = 0;
  int month = 0;
};

QString JournalPath() { return plat::MapPath(kTransferJournalFile); }

bool WriteJournal(const Journal& j) {
  const QStringList lines = {QString::number(j.baseLength), QString::number(j.day),
                             QString::number(j.month)};
  if (!plat::WriteTextLines(kTransferJournalFile, lines))
    return Fail(recfile::IoError(JournalPath(), QStringLiteral("запись невозможна")));
  recfile::SyncDir(QFileInfo(JournalPath()).absolutePath());
  return true;
}

bool ReadJournal(Journal& j) {
  const auto lines = plat::ReadTextLines(kTransferJournalFile);
  if (!lines) return Fail(recfile::IoError(JournalPath(), QStringLiteral("чтение невозможно")));
  // The length of base.bin may pass 2 GB: a 64-bit line.
  if (lines->isEmpty())
    return Fail(LineError(kTransferJournalFile, 1, QStringLiteral("строка отсутствует")));
  bool ok = false;
  j.baseLength = lines->at(0).trimmed().toLongLong(&ok);
  if (!ok || j.baseLength < 0)
    return Fail(LineError(kTransferJournalFile, 1,
                          QStringLiteral("\"%1\" не является числом").arg(lines->at(0))));
  return IntegerLine(kTransferJournalFile, *lines, 2, j.day) &&
         IntegerLine(kTransferJournalFile, *lines, 3, j.month);
}

bool RemoveJournal() {
  const QString path = JournalPath();
  if (QFile::exists(path) && !QFile::remove(path))
    return Fail(recfile::IoError(path, QStringLiteral("удаление невозможно")));
  recfile::SyncDir(QFileInfo(path).absolutePath());
  return true;
}

void Probe(ShiftChangeStep step, int done, int total) {
  if (Database.ShiftChangeProbe) Database.ShiftChangeProbe(step, done, total);
}

// Moves the records of day.bin behind the first `baseLength` bytes of
// base.bin and empties day.bin.
bool MoveShiftRecords(qint64 baseLength) {
  QString& err = Database.LastError;
  const auto baseSize = recfile::FileSize(BasePath(), err);
  if (!baseSize) return false;
  if (*baseSize < baseLength)
    return Fail(recfile::IoError(
        BasePath(), QStringLiteral("файл короче, чем перед переносом данных (%1 < %2 байт)")
                        .arg(*baseSize)
                        .arg(baseLength)));
  const auto n = recfile::Count(DayPath(), kMeasurementRecordSize, err);
  if (!n) return false;
  if (*n > 0) {
    // Whatever an interrupted copy left behind the old end goes first.
    if (!recfile::Truncate(BasePath(), baseLength, err)) return false;
    const int total = static_cast<int>(*n);
    const auto progress = [total](qint64 done) {
      Probe(ShiftChangeStep::Copying, static_cast<int>(done), total);
    };
    if (!recfile::Copy(DayPath(), BasePath(), kMeasurementRecordSize, *n, baseLength, progress,
                       err))
      return false;
    Probe(ShiftChangeStep::Copied, total, total);
    if (!recfile::Truncate(DayPath(), 0, err)) return false;
    Probe(ShiftChangeStep::ShiftCleared, total, total);
  }
  return true;
}

void StartNewShift(int day, int month) {
  TShiftState& s = Database.ShiftState;
  s.Day = day;
  s.Month = month;
  s.CurrentIndex = 1;
  s.Reserved4 = 1;
  s.Reserved3 = 0;
  if (Database.ShiftChangeListener) Database.ShiftChangeListener();
}

// Finishes a shift change that an earlier run did not complete.
bool RecoverShiftChange() {
  if (!QFile::exists(JournalPath())) return true;
  Journal j;
  if (!ReadJournal(j)) return false;
  if (!MoveShiftRecords(j.baseLength)) return false;
  StartNewShift(j.day, j.month);
  if (!SaveShiftState()) return false;
  return RemoveJournal();
}

}  // namespace

QString DatabaseError() { return Database.LastError; }

// --- start-up --------------------------------------------------------------

QString InitDatabaseModule() {
  Database.BasePath = plat::MapPath(kBaseFile);
  Database.DayPath = plat::MapPath(kDayFile);
  Database.TelPath = plat::MapPath(kTelFile);
  Database.RecordFilter = TRecordFilter();
  const bool ok = LoadShiftState() && RecoverShiftChange();
  return StartupStep(ok);
}

QString ApplyDatabaseSettings() {
  bool ok = true;
  if (Settings.Global.DestroyDbNow) ok = ClearMeasurements();
  if (ok && Settings.Global.DestroyDayDbNow) ok = ClearShiftMeasurements();
  Database.ShiftState.WagonFrom = QStringLiteral("?");
  Database.ShiftState.WagonTo = QStringLiteral("?");
  return StartupStep(ok);
}

QString InitModeState() {
  Database.ModeState = TModeState();
  bool ok = LoadModeState();
  if (ok && Settings.Global.DestroyTelDbNow) ok = ClearSets();
  return StartupStep(ok);
}

QString DatabaseStartupError() { return Database.StartupError; }

void ResetDatabaseModule() { Database = TDatabase(); }

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

bool ReadMeasurementRange(int first, int count, std::vector<MeasurementRecord>& records) {
  Database.LastError.clear();
  QByteArray bytes;
  if (!recfile::Read(BasePath(), kMeasurementRecordSize, first, count, bytes, Database.LastError))
    return false;
  records.clear();
  records.reserve(count);
  for (int k = 0; k < count; ++k)
    records.push_back(DecodeMeasurementRecord(bytes.constData() + k * kMeasurementRecordSize));
  return true;
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

bool ClearSets() { return ClearFile(TelPath()); }

void SetRecordFilter(std::vector<int> positions) {
  Database.RecordFilter.List = std::move(positions);
  Database.RecordFilter.On = true;
}

void RecordFilterOff() { Database.RecordFilter.On = false; }

// --- state files -----------------------------------------------------------------

bool SaveShiftState() {
  Database.LastError.clear();
  const TShiftState& s = Database.ShiftState;
  const QStringList lines = {QString::number(s.Reserved1),    QString::number(s.Reserved2),
                             QString::number(s.Reserved3),    QString::number(s.Reserved4),
                             QString::number(s.CurrentIndex), QString::number(s.Day),
                             QString::number(s.Month),        WagonNumber(s.WagonFrom),
                             WagonNumber(s.WagonTo)};
  if (!plat::WriteTextLines(kShiftStateFile, lines))
    return Fail(recfile::IoError(plat::MapPath(kShiftStateFile), QStringLiteral("запись невозможна")));
  return true;
}

bool LoadShiftState() {
  Database.LastError.clear();
  if (!QFile::exists(plat::MapPath(kShiftStateFile))) return SaveShiftState();
  const auto lines = plat::ReadTextLines(kShiftStateFile);
  if (!lines)
    return Fail(recfile::IoError(plat::MapPath(kShiftStateFile), QStringLiteral("чтение невозможно")));
  // Read into a copy so that a broken file changes nothing in memory.
  TShiftState s = Database.ShiftState;
  const QString& f = kShiftStateFile;
  if (!IntegerLine(f, *lines, 1, s.Reserved1) || !IntegerLine(f, *lines, 2, s.Reserved2) ||
      !IntegerLine(f, *lines, 3, s.Reserved3) || !IntegerLine(f, *lines, 4, s.Reserved4) ||
      !IntegerLine(f, *lines, 5, s.CurrentIndex) || !IntegerLine(f, *lines, 6, s.Day) ||
      !IntegerLine(f, *lines, 7, s.Month))
    return false;
  // Wagon numbers may be empty; a file cut short after line 7 reads them so.
  s.WagonFrom = lines->size() >= 8 ? WagonNumber(lines->at(7)) : QString();
  s.WagonTo = lines->size() >= 9 ? WagonNumber(lines->at(8)) : QString();
  Database.ShiftState = s;
  return true;
}

bool SaveModeState() {
  Database.LastError.clear();
  const TModeState& m = Database.ModeState;
  const QStringList lines = {BoolLine(m.FastMode), QString::number(m.Reserved),
                             QString::number(m.ShiftCount), QString::number(m.BogieType),
                             BoolLine(m.AcceleratedMode)};
  if (!plat::WriteTextLines(kModeStateFile, lines))
    return Fail(recfile::IoError(plat::MapPath(kModeStateFile), QStringLiteral("запись невозможна")));
  return true;
}

bool LoadModeState() {
  Database.LastError.clear();
  if (!QFile::exists(plat::MapPath(kModeStateFile))) return SaveModeState();
  const auto lines = plat::ReadTextLines(kModeStateFile);
  if (!lines)
    return Fail(recfile::IoError(plat::MapPath(kModeStateFile), QStringLiteral("чтение невозможно")));
  TModeState m = Database.ModeState;
  const QString& f = kModeStateFile;
  if (!BooleanLine(f, *lines, 1, m.FastMode) || !IntegerLine(f, *lines, 2, m.Reserved) ||
      !IntegerLine(f, *lines, 3, m.ShiftCount) || !IntegerLine(f, *lines, 4, m.BogieType) ||
      !BooleanLine(f, *lines, 5, m.AcceleratedMode))
    return false;
  Database.ModeState = m;
  return true;
}

// --- shift change ------------------------------------------------------------------

bool CheckShiftChange() {
  Database.LastError.clear();
  const QDate today = plat::CurrentDateTime().date();
  TShiftState& s = Database.ShiftState;
  // A move that failed earlier in this run is finished first, so that its
  // half-copied records are not counted as part of base.bin.
  if (!RecoverShiftChange()) return false;
  if (today.day() == s.Day && today.month() == s.Month) return true;

  ShadeShiftChangePage();
  QString& err = Database.LastError;
  const auto n = recfile::Count(DayPath(), kMeasurementRecordSize, err);
  if (!n) return false;
  bool journal = false;
  if (*n > 0) {
    DrawTransferNotice();
    const auto baseSize = recfile::FileSize(BasePath(), err);
    if (!baseSize) return false;
    // A broken tail of base.bin is not a record; the move starts behind the
    // last whole one.
    Journal j;
    j.baseLength = (*baseSize / kMeasurementRecordSize) * kMeasurementRecordSize;
    j.day = today.day();
    j.month = today.month();
    if (!WriteJournal(j)) return false;
    journal = true;
    Probe(ShiftChangeStep::JournalWritten, 0, static_cast<int>(*n));
    if (!MoveShiftRecords(j.baseLength)) return false;
  }
  StartNewShift(today.day(), today.month());
  if (!SaveShiftState()) return false;
  if (journal) {
    Probe(ShiftChangeStep::StateSaved, static_cast<int>(*n), static_cast<int>(*n));
    return RemoveJournal();
  }
  return true;
}

// --- names -------------------------------------------------------------------------

namespace {
QString TwoDigits(int v) { return (v < 10 ? QStringLiteral("0") : QString()) + QString::number(v); }
}  // namespace

QString MeasurementIdentifier(int number) {
  QString name = QString::number(number);
  if (number < 10) name.prepend('0');
  if (number < 100) name.prepend('0');
  if (number < 1000) name.prepend('0');
  const QDate today = plat::CurrentDateTime().date();
  name += '-' + TwoDigits(today.day()) + TwoDigits(today.month()) + QString::number(today.year());
  return name.left(measurement_offset::IdentifierChars);
}

QString MakeSetDate() {
  const QDate today = plat::CurrentDateTime().date();
  return TwoDigits(today.day()) + TwoDigits(today.month()) + QString::number(today.year());
}
