#pragma once
// Whole-file reads and writes of the system's CP1251 text files. Each call
// opens, reads or writes and closes the file; nothing stays open.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>


namespace plat {

// Reads a file (system path) as CP1251 lines; line ends CR LF or LF. A final
// line end does not add an empty line. Empty optional when it can't be read.
std::optional<QStringList> ReadTextLines(const QString& systemPath);

// The one writer of files that are replaced whole. The bytes go to a new
// temporary file beside the target; every write, the fsync and the close are
// checked, and only when all succeeded is the temporary renamed over the
// target and the folder synced. On any failure the old file is left
// byte-identical, the temporary is removed, and `reason` (when given) gets
// the system's text of the error. The folder is created when missing. A
// transient file (a page picture, a trace, counts rewritten between records)
// skips the two syncs: a reader still finds the old or the new file whole,
// only a power cut may leave the old one.
bool WriteWholeFile(const QString& mappedPath, const QByteArray& bytes, QString* reason = nullptr,
                    bool durable = true);

// The same writer for output too large to hold in memory (the engineers'
// exports): Open, any number of Write, then Commit. Until Commit succeeds the
// target is untouched; a writer destroyed without a successful Commit
// removes its temporary file.
class WholeFileWriter {
 public:
  explicit WholeFileWriter(const QString& mappedPath);
  ~WholeFileWriter();
  WholeFileWriter(const WholeFileWriter&) = delete;
  WholeFileWriter& operator=(const WholeFileWriter&) = delete;

  bool Open(QString* reason = nullptr);
  // Writes everything or fails; after a failure every later call fails with
  // the first reason.
  bool Write(const char* data, qsizetype size, QString* reason = nullptr);
  bool Commit(QString* reason = nullptr, bool durable = true);

 private:
  bool Fail(int err, QString* reason);
  void Abandon();
  QByteArray target_;
  QByteArray temp_;
  int fd_ = -1;
  int error_ = 0;
};

// Writes lines as CP1251, each ended by CR LF, through WriteWholeFile.
bool WriteTextLines(const QString& systemPath, const QStringList& lines, QString* reason = nullptr,
                    bool durable = true);

// Raw bytes of a file (system path).
std::optional<QByteArray> ReadFileBytes(const QString& systemPath);
// Writes raw bytes through WriteWholeFile.
bool WriteFileBytes(const QString& systemPath, const QByteArray& bytes, QString* reason = nullptr);

// The same on file-system paths that are already mapped.
std::optional<QByteArray> ReadMappedBytes(const QString& path);
bool WriteMappedBytes(const QString& path, const QByteArray& bytes, QString* reason = nullptr);

// Forces a written file's data to the disk.
bool SyncFile(const QString& mappedPath);

}  // namespace plat
