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
#include "platform/wholefiletemp.h"

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

QString ErrorText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// Makes the rename itself durable; the file is in place whatever this gives.
void SyncFolderOf(const QByteArray& target) {
  const QByteArray dir = QFile::encodeName(QFileInfo(QFile::decodeName(target)).absolutePath());
  const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return;
  ::fsync(dfd);
  ::close(dfd);
}

}  // namespace

WholeFileWriter::WholeFileWriter(const QString& mappedPath)
    : target_(QFile::encodeName(mappedPath)) {}

WholeFileWriter::~WholeFileWriter() { Abandon(); }

bool WholeFileWriter::Fail(int err, QString* reason) {
  if (error_ == 0) error_ = err;
  Abandon();
  if (reason) *reason = ErrorText(error_);
  return false;
}

void WholeFileWriter::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.isEmpty()) ::unlink(temp_.constData());
  temp_.clear();
}

bool WholeFileWriter::Open(QString* reason) {
  if (error_ != 0 || fd_ >= 0) return Fail(error_ ? error_ : EBUSY, reason);
  EnsureParentDir(QFile::decodeName(target_));
  temp_ = target_ + kWholeFileTempMark + "XXXXXX";
  fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
  if (fd_ < 0) {
    const int err = errno;
    temp_.clear();
    return Fail(err, reason);
  }
  // mkstemp creates the file for its owner only: a replaced file keeps its
  // rights, a new one gets the usual rights of the program's files.
  struct stat st {};
  if (::stat(target_.constData(), &st) == 0 && S_ISREG(st.st_mode)) {
    ::fchmod(fd_, st.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
  }
  return true;
}

bool WholeFileWriter::Write(const char* data, qsizetype size, QString* reason) {
  if (error_ != 0 || fd_ < 0) return Fail(error_ ? error_ : EBADF, reason);
  while (size > 0) {
    const ssize_t n = ::write(fd_, data, static_cast<size_t>(size));
    if (n < 0 && errno == EINTR) continue;
    // A write that takes nothing is a full disk that gave no error number.
    if (n <= 0) return Fail(n < 0 ? errno : ENOSPC, reason);
    data += n;
    size -= n;
  }
  return true;
}

bool WholeFileWriter::Commit(QString* reason, bool durable) {
  if (error_ != 0 || fd_ < 0) return Fail(error_ ? error_ : EBADF, reason);
  if (durable && ::fsync(fd_) != 0) return Fail(errno, reason);
  const int fd = fd_;
  fd_ = -1;
  // A late write error of the file system may come only with the close.
  if (::close(fd) != 0) return Fail(errno, reason);
  if (::rename(temp_.constData(), target_.constData()) != 0) return Fail(errno, reason);
  temp_.clear();
  if (durable) SyncFolderOf(target_);
  return true;
}

bool WriteWholeFile(const QString& mappedPath, const QByteArray& bytes, QString* reason,
                    bool durable) {
  WholeFileWriter w(mappedPath);
  return w.Open(reason) && w.Write(bytes.constData(), bytes.size(), reason) &&
         w.Commit(reason, durable);
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

bool WriteTextLines(const QString& systemPath, const QStringList& lines, QString* reason,
                    bool durable) {
  QByteArray out;
  for (const QString& l : lines) {
    out += ToCp1251(l);
    out += "\r\n";
  }
  return WriteWholeFile(MapPath(systemPath), out, reason, durable);
}

}  // namespace plat
