#pragma once
// The output of springdata's exports: standard output or a file written
// whole.

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <memory>
#include <string_view>

#include "platform/textfile.h"

namespace springdata {

// Buffered output to a stdio stream (standard output) or to a file written
// whole (the caller commits it after the last Flush). Bytes are gathered in
// blocks; once the first block is full a writer thread of the sink's own
// writes the blocks in order while the caller fills the next, so that the
// formatting and the kernel's copy into the page cache run side by side.
// Output that fits one block is written by the caller's thread at Flush.
class Sink {
 public:
  explicit Sink(std::FILE* to);
  explicit Sink(plat::WholeFileWriter* file);
  Sink(Sink&&) noexcept;
  ~Sink();
  void Write(const QByteArray& bytes);
  void Write(std::string_view bytes);
  void Write(const char* bytes, qsizetype n);
  // Room for `n` bytes at the end of the output, for a row put together in
  // place; Put(end) keeps the bytes up to `end` (at most `n` of them).
  char* Room(size_t n);
  void Put(const char* end);
  // Waits until every byte so far is written. False once any write failed,
  // the writer thread's too: nothing is written after the first failure,
  // and the caller leaves the file uncommitted.
  bool Flush();
  bool Failed() const;
  // The system's text of the first failed write to a whole file (after Flush).
  const QString& Reason() const { return reason_; }

 private:
  struct Pipe;
  std::unique_ptr<Pipe> pipe_;
  QString reason_;
};

}  // namespace springdata
