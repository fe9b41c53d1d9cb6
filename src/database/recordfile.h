#pragma once
// Files of fixed-size records addressed by 0-based position. Every call opens
// the file, does its work and closes it again; nothing stays open between
// calls. Paths are file-system paths (already mapped). A missing file holds no
// records. A file whose length is not a whole number of records holds its
// whole records; an append lands right after the last whole one. Everything
// written reaches the disk before the call returns, because the line is
// switched off at the mains.

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace recfile {

// Length of the file in bytes; 0 when it does not exist. Empty optional and
// `error` set when it exists but cannot be examined.
std::optional<qint64> FileSize(const QString& path, QString& error);

// Number of whole records.
std::optional<qint64> Count(const QString& path, int recordSize, QString& error);

// Reads `count` records from position `first` into `out` (count * recordSize
// bytes). Reading past the last whole record is an error.
bool Read(const QString& path, int recordSize, qint64 first, qint64 count, QByteArray& out,
          QString& error);

// Reads records first .. first + count - 1 in blocks of about kScanBytes
// through one buffer and one opening of the file, calling `each` with every
// block in order (its first record's position and its number of records).
// A block that fits the processor's cache is judged while it is still
// there: a walk over the whole database costs little more than the copy of
// its bytes. Reading past the last whole record is an error.
constexpr qint64 kScanBytes = 128 * 1024;
bool Scan(const QString& path, int recordSize, qint64 first, qint64 count,
          const std::function<void(const char* records, qint64 first, qint64 n)>& each,
          QString& error);

// One record file open for reading during a single operation that reads it
// at many places (a list of positions); closed when it goes.
class Reader {
 public:
  Reader() = default;
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;
  // False with `error` when the file does not open.
  bool Open(const QString& path, int recordSize, QString& error);
  // As Read, without opening the file again.
  bool Read(qint64 first, qint64 count, QByteArray& out, QString& error);

 private:
  QString path_;
  int recordSize_ = 1;
  int fd_ = -1;
  qint64 records_ = 0;
};

// Writes `records` (a whole number of records) after the last whole record,
// creating the file when missing, and syncs it. When a write or the sync
// fails (a full disk, an I/O error) the file is cut back to its whole records
// as before and `error` names the file and the reason.
bool Append(const QString& path, int recordSize, const QByteArray& records, QString& error);

// Cuts (or creates) the file to `length` bytes and syncs it. Only ever used to
// shorten a file or to empty it.
bool Truncate(const QString& path, qint64 length, QString& error);

// Copies the first `count` whole records of `from` into `to` starting at
// byte `at` of `to` (created when missing), in blocks, calling `progress`
// after each block with the number of records written; then syncs `to`. On
// a failed write `to` is cut back to `at` bytes.
bool Copy(const QString& from, const QString& to, int recordSize, qint64 count, qint64 at,
          const std::function<void(qint64 done)>& progress, QString& error);

// Makes a rename or a removal inside `dir` durable.
bool SyncDir(const QString& dir);

// The message of a failed file operation, naming the file.
QString IoError(const QString& path, const QString& reason);

}  // namespace recfile
