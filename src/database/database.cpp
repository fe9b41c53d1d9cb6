// The database module's state, its start-up steps and the helpers that the
// record operations, the state files and the shift change share.

#include "database/database.h"

#include <QDir>
#include <QFile>
#include <cstdio>

#include "config/settings.h"
#include "database/dbfiles.h"
#include "database/recordfile.h"
#include "platform/clock.h"
#include "platform/cp1251.h"
#include "platform/inifile.h"
#include "platform/paths.h"

TDatabase Database;

namespace dbfiles {

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

void Written() {
  if (Database.WriteProbe) Database.WriteProbe();
}

int CountOf(const QString& path, int recordSize) {
  Database.LastError.clear();
  const auto n = recfile::Count(path, recordSize, Database.LastError);
  return n ? static_cast<int>(*n) : 0;
}

bool ReadOne(const QString& path, int recordSize, int i, QByteArray& bytes) {
  Database.LastError.clear();
  return recfile::Read(path, recordSize, i, 1, bytes, Database.LastError);
}

bool AppendOne(const QString& path, int recordSize, const QByteArray& bytes) {
  Database.LastError.clear();
  QString unused;
  const qint64 before = recfile::FileSize(path, unused).value_or(0);
  const bool appended = recfile::Append(path, recordSize, bytes, Database.LastError);
  // The append writes over a broken tail, and a failed one cuts the file
  // back to its whole records: either way the tail is gone once the file
  // ends on a whole record.
  if (const qint64 tail = before % recordSize; tail > 0) {
    const auto after = recfile::FileSize(path, unused);
    if (after && *after % recordSize == 0) LogDropped(path, before - tail, tail, kBrokenTail);
  }
  if (!appended) return false;
  Written();
  return true;
}

void LogDropped(const QString& path, qint64 offset, qint64 count, const QString& why) {
  QString name = QDir::toNativeSeparators(path);
  if (path == BasePath()) name = kBaseFile;
  if (path == DayPath()) name = kDayFile;
  if (path == TelPath()) name = kTelFile;
  const QString line =
      QStringLiteral("%1: отброшено %2 байт со смещения %3 (%4)").arg(name).arg(count).arg(offset).arg(why);
  Database.Dropped << line;
  std::fprintf(stderr, "kalvor: %s\n", line.toLocal8Bit().constData());
  QFile log(plat::MapPath(kDroppedLogFile));
  const QByteArray text = plat::ToCp1251(
      plat::CurrentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + line + "\r\n");
  if (!log.open(QIODevice::WriteOnly | QIODevice::Append) || log.write(text) != text.size() ||
      !log.flush())
    std::fprintf(stderr, "kalvor: %s\n",
                 recfile::IoError(log.fileName(), log.errorString()).toLocal8Bit().constData());
}

bool ClearFile(const QString& path) {
  Database.LastError.clear();
  if (!recfile::Truncate(path, 0, Database.LastError)) return false;
  Written();
  return true;
}

QString LineError(const QString& file, int line, const QString& what) {
  return QStringLiteral("Ошибка в файле %1, строка %2: %3").arg(file).arg(line).arg(what);
}

bool IntegerLine(const QString& file, const QStringList& lines, int line, int& value) {
  if (line > lines.size()) return Fail(LineError(file, line, QStringLiteral("строка отсутствует")));
  const QString text = lines[line - 1].trimmed();
  const auto v = plat::ParseInteger(text);
  if (!v) return Fail(LineError(file, line, QStringLiteral("\"%1\" не является числом").arg(text)));
  value = *v;
  return true;
}

}  // namespace dbfiles

namespace {

// Remembers the first failure of the start-up and hands back the message.
QString StartupStep(bool ok) {
  if (ok) return QString();
  if (Database.StartupError.isEmpty()) Database.StartupError = Database.LastError;
  return Database.LastError;
}

}  // namespace

QString DatabaseError() { return Database.LastError; }

QString InitDatabaseModule() {
  Database.BasePath = plat::MapPath(kBaseFile);
  Database.DayPath = plat::MapPath(kDayFile);
  Database.TelPath = plat::MapPath(kTelFile);
  Database.RecordFilter = TRecordFilter();
  const bool ok = LoadShiftState() && dbfiles::RecoverShiftChange();
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

QString DatabaseStartupReport() { return Database.StartupReport; }

void ResetDatabaseModule() { Database = TDatabase(); }
