#include "platform/textfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

namespace {

bool Fail(QString* reason, int err) {
  if (reason) *reason = QString::fromLocal8Bit(std::strerror(err));
  return false;
}

}  // namespace

bool WriteWholeFile(const QString& mappedPath, const QByteArray& bytes, QString* reason) {
  EnsureParentDir(mappedPath);
  const QByteArray target = QFile::encodeName(mappedPath);
  QByteArray temp = target + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return Fail(reason, errno);
  auto abandon = [&](int err) {
    ::close(fd);
    ::unlink(temp.constData());
    return Fail(reason, err);
  };
  // mkstemp creates the file for its owner only; a replaced file keeps the
  // usual rights of the program's files.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  const char* p = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return abandon(n < 0 ? errno : ENOSPC);
    p += n;
    left -= n;
  }
  if (::fsync(fd) != 0) return abandon(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.constData());
    return Fail(reason, err);
  }
  if (::rename(temp.constData(), target.constData()) != 0) {
    const int err = errno;
    ::unlink(temp.constData());
    return Fail(reason, err);
  }
  // The rename itself reaches the disk only with the folder.
  const QByteArray dir = QFile::encodeName(QFileInfo(mappedPath).absolutePath());
  const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

bool WriteMappedBytes(const QString& path, const QByteArray& bytes, QString* reason) {
  return WriteWholeFile(path, bytes, reason);
}

std::optional<QByteArray> ReadFileBytes(const QString& systemPath) {
  return ReadMappedBytes(MapPath(systemPath));
}

bool WriteFileBytes(const QString& systemPath, const QByteArray& bytes, QString* reason) {
  return WriteWholeFile(MapPath(systemPath), bytes, reason);
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

bool WriteTextLines(const QString& systemPath, const QStringList& lines, QString* reason) {
  QByteArray out;
  for (const QString& l : lines) {
    out += ToCp1251(l);
    out += "\r\n";
  }
  return WriteFileBytes(systemPath, out, reason);
}

}  // namespace plat
