#include "database/recordfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace recfile {
namespace {

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

QString Errno() { return QString::fromLocal8Bit(std::strerror(errno)); }

// Closes a descriptor on every path out of a function.
struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  // Closes now and reports a failure of the close itself (a late write error).
  bool Close() {
    const int f = fd;
    fd = -1;
    return ::close(f) == 0;
  }
};

bool WriteAll(int fd, const char* data, qint64 size, off_t at) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, static_cast<size_t>(size), at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;  // took nothing: a full disk without an error number
      return false;
    }
    data += n;
    size -= n;
    at += n;
  }
  return true;
}

// After a failed write: the file is cut back to the length it had, so that
// it holds whole records only. Best effort; the first failure is the one
// reported.
void CutBack(int fd, off_t length) {
  const int saved = errno;
  if (::ftruncate(fd, length) == 0) ::fsync(fd);
  errno = saved;
}

}  // namespace

QString IoError(const QString& path, const QString& reason) {
  return QStringLiteral("Ошибка ввода-вывода: %1: %2").arg(QDir::toNativeSeparators(path), reason);
}

std::optional<qint64> FileSize(const QString& path, QString& error) {
  struct stat st {};
  if (::stat(Native(path).constData(), &st) != 0) {
    if (errno == ENOENT) return 0;
    error = IoError(path, Errno());
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) {
    error = IoError(path, QStringLiteral("не является файлом"));
    return std::nullopt;
  }
  return static_cast<qint64>(st.st_size);
}

std::optional<qint64> Count(const QString& path, int recordSize, QString& error) {
  const auto size = FileSize(path, error);
  if (!size) return std::nullopt;
  return *size / recordSize;
}

namespace {

// Opens `path` for reading and checks that records first .. first + count - 1
// lie within its whole records, whose number goes to `records`.
bool OpenRecords(const QString& path, int recordSize, qint64 first, qint64 count, Fd& f,
                 qint64& records, QString& error) {
  if (first < 0 || count < 0) {
    error = IoError(path, QStringLiteral("чтение за концом файла"));
    return false;
  }
  f.fd = ::open(Native(path).constData(), O_RDONLY | O_CLOEXEC);
  if (f.fd < 0) {
    error = IoError(path, Errno());
    return false;
  }
  struct stat st {};
  if (::fstat(f.fd, &st) != 0) {
    error = IoError(path, Errno());
    return false;
  }
  records = st.st_size / recordSize;
  if (first + count > records) {
    error = IoError(path, QStringLiteral("чтение за концом файла"));
    return false;
  }
  return true;
}

// Reads exactly `bytes` bytes from `at`.
bool ReadAt(int fd, const QString& path, char* to, qint64 bytes, qint64 at, QString& error) {
  qint64 done = 0;
  while (done < bytes) {
    const ssize_t n = ::pread(fd, to + done, static_cast<size_t>(bytes - done), at + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = IoError(path, Errno());
      return false;
    }
    if (n == 0) {  // the file shrank under us
      error = IoError(path, QStringLiteral("чтение за концом файла"));
      return false;
    }
    done += n;
  }
  return true;
}

}  // namespace

bool Read(const QString& path, int recordSize, qint64 first, qint64 count, QByteArray& out,
          QString& error) {
  Fd f(-1);
  qint64 records = 0;
  if (!OpenRecords(path, recordSize, first, count, f, records, error)) return false;
  out.resize(count * recordSize);
  return ReadAt(f.fd, path, out.data(), count * recordSize, first * recordSize, error);
}

Reader::~Reader() {
  if (fd_ >= 0) ::close(fd_);
}

bool Reader::Open(const QString& path, int recordSize, QString& error) {
  Fd f(-1);
  if (!OpenRecords(path, recordSize, 0, 0, f, records_, error)) return false;
  path_ = path;
  recordSize_ = recordSize;
  std::swap(fd_, f.fd);
  return true;
}

bool Reader::Read(qint64 first, qint64 count, QByteArray& out, QString& error) {
  if (first < 0 || count < 0 || first + count > records_) {
    error = IoError(path_, QStringLiteral("чтение за концом файла"));
    return false;
  }
  out.resize(count * recordSize_);
  return ReadAt(fd_, path_, out.data(), count * recordSize_, first * recordSize_, error);
}

bool Scan(const QString& path, int recordSize, qint64 first, qint64 count,
          const std::function<void(const char* records, qint64 first, qint64 n)>& each,
          QString& error) {
  Fd f(-1);
  qint64 records = 0;
  if (!OpenRecords(path, recordSize, first, count, f, records, error)) return false;
  const qint64 blockRecords = std::max<qint64>(1, kScanBytes / recordSize);
  std::vector<char> block(static_cast<size_t>(std::min(count, blockRecords) * recordSize));
  for (qint64 at = first; at < first + count; at += blockRecords) {
    const qint64 n = std::min(blockRecords, first + count - at);
    if (!ReadAt(f.fd, path, block.data(), n * recordSize, at * recordSize, error)) return false;
    each(block.data(), at, n);
  }
  return true;
}

bool Append(const QString& path, int recordSize, const QByteArray& records, QString& error) {
  if (records.size() % recordSize != 0) {
    error = IoError(path, QStringLiteral("неполная запись"));
    return false;
  }
  Fd f(::open(Native(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (f.fd < 0) {
    error = IoError(path, Errno());
    return false;
  }
  struct stat st {};
  if (::fstat(f.fd, &st) != 0) {
    error = IoError(path, Errno());
    return false;
  }
  // A broken tail (shorter than one record) is overwritten by the new record.
  const off_t at = (st.st_size / recordSize) * recordSize;
  // A write that fails part-way (a full disk, a short write, an I/O error)
  // must not leave a part of a record behind: the file is cut back to its
  // whole records and the reason of the first failure is given.
  if (!WriteAll(f.fd, records.constData(), records.size(), at) || ::fsync(f.fd) != 0) {
    error = IoError(path, Errno());
    CutBack(f.fd, at);
    return false;
  }
  if (!f.Close()) {
    error = IoError(path, Errno());
    Fd again(::open(Native(path).constData(), O_RDWR | O_CLOEXEC));
    if (again.fd >= 0) CutBack(again.fd, at);
    return false;
  }
  if (st.st_size == 0) SyncDir(QFileInfo(path).absolutePath());  // a new directory entry
  return true;
}

bool Truncate(const QString& path, qint64 length, QString& error) {
  Fd f(::open(Native(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (f.fd < 0) {
    error = IoError(path, Errno());
    return false;
  }
  if (::ftruncate(f.fd, length) != 0 || ::fsync(f.fd) != 0 || !f.Close()) {
    error = IoError(path, Errno());
    return false;
  }
  SyncDir(QFileInfo(path).absolutePath());
  return true;
}

bool Copy(const QString& from, const QString& to, int recordSize, qint64 count, qint64 at,
          const std::function<void(qint64 done)>& progress, QString& error) {
  Fd in(::open(Native(from).constData(), O_RDONLY | O_CLOEXEC));
  if (in.fd < 0) {
    error = IoError(from, Errno());
    return false;
  }
  Fd out(::open(Native(to).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (out.fd < 0) {
    error = IoError(to, Errno());
    return false;
  }
  constexpr qint64 kBlockRecords = 256;
  QByteArray block;
  qint64 done = 0;
  while (done < count) {
    const qint64 n = std::min(kBlockRecords, count - done);
    const qint64 bytes = n * recordSize;
    block.resize(bytes);
    qint64 got = 0;
    while (got < bytes) {
      const ssize_t r = ::pread(in.fd, block.data() + got, static_cast<size_t>(bytes - got),
                                done * recordSize + got);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        error = IoError(from, r < 0 ? Errno() : QStringLiteral("чтение за концом файла"));
        return false;
      }
      got += r;
    }
    if (!WriteAll(out.fd, block.constData(), bytes, at + done * recordSize)) {
      error = IoError(to, Errno());
      CutBack(out.fd, at);
      return false;
    }
    done += n;
    if (progress) progress(done);
  }
  if (::fsync(out.fd) != 0) {
    error = IoError(to, Errno());
    CutBack(out.fd, at);
    return false;
  }
  if (!out.Close()) {
    error = IoError(to, Errno());
    Fd again(::open(Native(to).constData(), O_RDWR | O_CLOEXEC));
    if (again.fd >= 0) CutBack(again.fd, at);
    return false;
  }
  return true;
}

bool SyncDir(const QString& dir) {
  Fd f(::open(Native(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (f.fd < 0) return false;
  return ::fsync(f.fd) == 0;
}

}  // namespace recfile
