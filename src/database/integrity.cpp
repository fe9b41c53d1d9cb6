// What the start check asks of the installation folder and the record
// files: that the program can write where it writes, that the disk has room,
// and that every record file holds whole, readable records.

#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "database/database.h"
#include "database/dbfiles.h"
#include "database/recordfile.h"
#include "platform/paths.h"

namespace {

// Makes and removes a file of its own in the folder; false with the reason.
bool FolderTakesAFile(const QString& folder, QString& error) {
  const QString probe = QDir(folder).filePath(QStringLiteral(".kalvor-write-check"));
  const QByteArray native = QFile::encodeName(probe);
  const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || ::close(fd) != 0 || ::unlink(native.constData()) != 0) {
    error = QStringLiteral("Нельзя записать в папку %1: %2")
                .arg(QDir::toNativeSeparators(folder), QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  return true;
}

struct RecordFile {
  const QString& name;
  QString path;
  int recordSize;
  bool (*readable)(const char*, QString&);
};

// One damaged file's line, empty when the file is whole.
QString Damage(const RecordFile& f) {
  QString error;
  const auto size = recfile::FileSize(f.path, error);
  if (!size) return QStringLiteral("%1 не читается: %2").arg(f.name, error);
  QStringList found;
  const qint64 whole = *size / f.recordSize;
  if (const qint64 tail = *size % f.recordSize; tail > 0)
    found << QStringLiteral("в конце %1 байт неполной записи (со смещения %2), они будут отброшены "
                            "при следующей записи в файл")
                 .arg(tail)
                 .arg(whole * f.recordSize);
  QByteArray last;
  if (whole > 0) {
    if (!recfile::Read(f.path, f.recordSize, whole - 1, 1, last, error))
      found << error;
    else if (!f.readable(last.constData(), error))
      found << QStringLiteral("последняя запись (№%1, со смещения %2) не читается: %3; файл "
                              "остаётся как есть, новые записи пишутся за ней")
                   .arg(whole)
                   .arg((whole - 1) * f.recordSize)
                   .arg(error);
  }
  return found.isEmpty() ? QString() : f.name + ": " + found.join("; ");
}

}  // namespace

bool InstallationFolderWritable(QString& error) {
  for (const QString& folder : {QString(), QStringLiteral("Report"), QStringLiteral("Config"),
                                QStringLiteral("Temp"), QStringLiteral("STORAGE"),
                                QStringLiteral("texts")})
    if (!FolderTakesAFile(folder.isEmpty() ? plat::WorkDir() : plat::MapPath(folder), error))
      return false;
  return true;
}

bool InstallationHasFreeSpace(qint64 minimum, QString& error) {
  const QStorageInfo disk(plat::WorkDir());
  const qint64 free = disk.bytesAvailable();
  if (free >= minimum) return true;
  constexpr qint64 kMB = 1024 * 1024;
  error = QStringLiteral("На диске папки %1 свободно %2 МБ, нужно не меньше %3 МБ")
              .arg(QDir::toNativeSeparators(plat::WorkDir()))
              .arg(std::max<qint64>(free, 0) / kMB)
              .arg(minimum / kMB);
  return false;
}

bool RecordFilesWhole(QString& error) {
  const RecordFile files[] = {
      {kBaseFile, dbfiles::BasePath(), kMeasurementRecordSize, MeasurementBytesReadable},
      {kDayFile, dbfiles::DayPath(), kMeasurementRecordSize, MeasurementBytesReadable},
      {kTelFile, dbfiles::TelPath(), kSetRecordSize, SetBytesReadable}};
  QStringList damaged;
  for (const RecordFile& f : files)
    if (const QString line = Damage(f); !line.isEmpty()) damaged << line;
  error = damaged.join('\n');
  return damaged.isEmpty();
}
