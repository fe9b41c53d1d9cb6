#include "platform/textfile.h"

#include <QFile>
#include <QSaveFile>

#include <fcntl.h>
#include <unistd.h>

#include "platform/cp1251.h"
#include "platform/paths.h"

namespace plat {

std::optional<QByteArray> ReadMappedBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
  QByteArray data = f.readAll();
  if (f.error() != QFileDevice::NoError) return std::nullopt;
  return data;
}

bool SyncFile(const QString& mappedPath) {
  const int fd = ::open(QFile::encodeName(mappedPath).constData(), O_RDONLY);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

bool WriteMappedBytes(const QString& path, const QByteArray& bytes) {
  EnsureParentDir(path);
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return false;
  if (f.write(bytes) != bytes.size()) {
    f.cancelWriting();
    return false;
  }
  if (!f.commit()) return false;
  return SyncFile(path);
}

std::optional<QByteArray> ReadFileBytes(const QString& systemPath) {
  return ReadMappedBytes(MapPath(systemPath));
}

bool WriteFileBytes(const QString& systemPath, const QByteArray& bytes) {
  return WriteMappedBytes(MapPath(systemPath), bytes);
}

std::optional<QStringList> ReadTextLines(const QString& systemPath) {
  const auto bytes = ReadFileBytes(systemPath);
  if (!bytes) return std::nullopt;
  QStringList lines;
  const QByteArray& b = *bytes;
  int start = 0;
  for (int i = 0; i < b.size(); ++i) {
    if (b[i] == '\n') {
      int end = i;
      if (end > start && b[end - 1] == '\r') --end;
      lines << FromCp1251(b.constData() + start, end - start);
      start = i + 1;
    }
  }
  if (start < b.size()) {
    int end = b.size();
    if (b[end - 1] == '\r') --end;
    lines << FromCp1251(b.constData() + start, end - start);
  }
  return lines;
}

bool WriteTextLines(const QString& systemPath, const QStringList& lines) {
  QByteArray out;
  for (const QString& l : lines) {
    out += ToCp1251(l);
    out += "\r\n";
  }
  return WriteFileBytes(systemPath, out);
}

}  // namespace plat
