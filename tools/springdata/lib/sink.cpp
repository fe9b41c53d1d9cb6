#include "sink.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace springdata {

namespace {

// Blocks of 1 MiB: written with one call each, the block size dd is given
// beside the export in the benchmark.
constexpr qsizetype kSinkBlock = 1 << 20;

// The blocks in flight: one being filled, one being written, one waiting.
// A block is handed on once it holds kSinkBlock bytes; its room beyond that
// takes the row that crossed the mark.
constexpr int kSinkBlocks = 3;
constexpr size_t kBlockRoom = kSinkBlock + 64 * 1024;

}  // namespace

struct Sink::Pipe {
  struct Block {
    std::vector<char> bytes;
    size_t used = 0;
  };

  std::FILE* to = nullptr;
  plat::WholeFileWriter* file = nullptr;
  Block filling;  // the caller's alone
  std::mutex lock;
  std::condition_variable changed;
  std::deque<Block> full;  // in the order of the output
  std::vector<Block> spare;
  int blocks = 1;
  bool writing = false, stop = false;
  bool failed = false;
  QString reason;
  std::thread writer;

  // Writes one block where it goes: the first failure is kept, and nothing
  // is written after it.
  void Out(const Block& b) {
    bool ok = true;
    QString why;
    if (file) ok = file->Write(b.bytes.data(), static_cast<qsizetype>(b.used), &why);
    else ok = std::fwrite(b.bytes.data(), 1, b.used, to) == b.used;
    if (ok) return;
    std::lock_guard<std::mutex> hold(lock);
    if (!failed) reason = why;
    failed = true;
  }

  void WriterLoop() {
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
      changed.wait(hold, [&] { return stop || !full.empty(); });
      if (full.empty()) return;
      Block b = std::move(full.front());
      full.pop_front();
      writing = true;
      const bool skip = failed;
      hold.unlock();
      if (!skip) Out(b);
      hold.lock();
      b.used = 0;
      spare.push_back(std::move(b));
      writing = false;
      changed.notify_all();
    }
  }

  // Hands the filled block to the writer and takes an empty one.
  void HandOn() {
    std::unique_lock<std::mutex> hold(lock);
    if (!writer.joinable()) writer = std::thread([this] { WriterLoop(); });
    full.push_back(std::move(filling));
    changed.notify_all();
    changed.wait(hold, [&] { return !spare.empty() || blocks < kSinkBlocks; });
    if (!spare.empty()) {
      filling = std::move(spare.back());
      spare.pop_back();
      return;
    }
    ++blocks;
    hold.unlock();
    filling = Block{};
  }

  bool Drain() {
    if (filling.used > 0) {
      if (writer.joinable()) {
        HandOn();
      } else {
        bool skip;
        {
          std::lock_guard<std::mutex> hold(lock);
          skip = failed;
        }
        if (!skip) Out(filling);
        filling.used = 0;
      }
    }
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [&] { return full.empty() && !writing; });
    if (to && std::fflush(to) != 0) failed = true;
    return !failed;
  }

  ~Pipe() {
    {
      std::lock_guard<std::mutex> hold(lock);
      stop = true;
    }
    changed.notify_all();
    if (writer.joinable()) writer.join();
  }
};

Sink::Sink(std::FILE* to) : pipe_(std::make_unique<Pipe>()) { pipe_->to = to; }

Sink::Sink(plat::WholeFileWriter* file) : pipe_(std::make_unique<Pipe>()) { pipe_->file = file; }

Sink::Sink(Sink&&) noexcept = default;

Sink::~Sink() {
  if (pipe_) Flush();
}

char* Sink::Room(size_t n) {
  Pipe::Block* b = &pipe_->filling;
  if (b->used + n > b->bytes.size()) {
    if (b->used > 0) {
      pipe_->HandOn();
      b = &pipe_->filling;
    }
    if (b->bytes.size() < std::max(n, kBlockRoom)) b->bytes.resize(std::max(n, kBlockRoom));
  }
  return b->bytes.data() + b->used;
}

void Sink::Put(const char* end) {
  Pipe::Block& b = pipe_->filling;
  b.used = static_cast<size_t>(end - b.bytes.data());
  if (b.used >= static_cast<size_t>(kSinkBlock)) pipe_->HandOn();
}

void Sink::Write(const char* bytes, qsizetype n) {
  while (n > 0) {
    const auto part = static_cast<size_t>(std::min<qsizetype>(n, kSinkBlock));
    char* to = Room(part);
    std::memcpy(to, bytes, part);
    Put(to + part);
    bytes += part;
    n -= static_cast<qsizetype>(part);
  }
}

void Sink::Write(const QByteArray& bytes) { Write(bytes.constData(), bytes.size()); }

void Sink::Write(std::string_view bytes) {
  Write(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

bool Sink::Flush() {
  const bool ok = pipe_->Drain();
  std::lock_guard<std::mutex> hold(pipe_->lock);
  reason_ = pipe_->reason;
  return ok;
}

bool Sink::Failed() const {
  std::lock_guard<std::mutex> hold(pipe_->lock);
  return pipe_->failed;
}

}  // namespace springdata
