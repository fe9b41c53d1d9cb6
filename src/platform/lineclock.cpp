#include "platform/lineclock.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "platform/clock.h"

namespace plat {
namespace {

static_assert(std::atomic<uint32_t>::is_always_lock_free && std::atomic<uint64_t>::is_always_lock_free,
              "the block is shared between processes");

// The line serves a request in well under a millisecond; this long without
// an answer means it has ended, and the program goes on without it.
constexpr int kLineGoneMs = 5000;

uint32_t* Word(std::atomic<uint32_t>& a) { return reinterpret_cast<uint32_t*>(&a); }

void FutexWait(std::atomic<uint32_t>& a, uint32_t expected, int timeoutMs) {
  timespec ts{timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
  ::syscall(SYS_futex, Word(a), FUTEX_WAIT, expected, &ts, nullptr, 0);
}

void FutexWake(std::atomic<uint32_t>& a) {
  ::syscall(SYS_futex, Word(a), FUTEX_WAKE, 1, nullptr, nullptr, 0);
}

LineClockBlock* Map(const QString& file, bool create, QString* error) {
  const QByteArray name = file.toLocal8Bit();
  const int fd = ::open(name.constData(), create ? O_RDWR | O_CREAT | O_TRUNC : O_RDWR, 0600);
  if (fd < 0) {
    *error = QString("%1: %2").arg(file, QString::fromLocal8Bit(std::strerror(errno)));
    return nullptr;
  }
  if (create && ::ftruncate(fd, sizeof(LineClockBlock)) != 0) {
    *error = QString("%1: %2").arg(file, QString::fromLocal8Bit(std::strerror(errno)));
    ::close(fd);
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(sizeof(LineClockBlock))) {
    *error = QString("%1: not a clock of the simulated line").arg(file);
    ::close(fd);
    return nullptr;
  }
  void* p = ::mmap(nullptr, sizeof(LineClockBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ::close(fd);
  if (p == MAP_FAILED) {
    *error = QString("%1: %2").arg(file, QString::fromLocal8Bit(std::strerror(errno)));
    return nullptr;
  }
  return static_cast<LineClockBlock*>(p);
}

struct Follower {
  LineClockBlock* block = nullptr;
  bool wrote = false;  // bytes written since the line last served the clock
  uint32_t seq = 0;
};

Follower& F() {
  static Follower f;
  return f;
}

void Serve(uint32_t now) {
  Follower& f = F();
  LineClockBlock* b = f.block;
  b->requestMs.store(now, std::memory_order_relaxed);
  b->requestSeq.store(++f.seq, std::memory_order_release);
  FutexWake(b->requestSeq);
  QElapsedTimer t;
  t.start();
  for (;;) {
    const uint32_t done = b->doneSeq.load(std::memory_order_acquire);
    if (done == f.seq) break;
    if (t.elapsed() > kLineGoneMs) {
      std::fprintf(stderr, "kalvor: the simulated line no longer follows the clock\n");
      f.block = nullptr;
      return;
    }
    FutexWait(b->doneSeq, done, 100);
  }
  f.wrote = false;
}

void OnClock(uint32_t now) {
  Follower& f = F();
  if (!f.block) return;
  if (f.wrote) return Serve(now);
  if (const auto next = LineClockNextEvent(); next && static_cast<int32_t>(now - *next) >= 0)
    Serve(now);
}

}  // namespace

QString FollowLineClock(const QString& file) {
  if (!IsVirtualClock()) return QStringLiteral("--line-clock needs --virtual-clock");
  QString error;
  LineClockBlock* b = Map(file, false, &error);
  if (!b) return error;
  if (b->magic != LineClockBlock::kMagic) {
    ::munmap(b, sizeof(LineClockBlock));
    return QString("%1: not a clock of the simulated line").arg(file);
  }
  Follower& f = F();
  if (f.block) ::munmap(f.block, sizeof(LineClockBlock));
  f.block = b;
  f.wrote = false;
  f.seq = b->requestSeq.load();
  // A new start: the line takes this moment as the one it has reached.
  b->attach.fetch_add(1);
  SetVirtualClockHook(&OnClock);
  Serve(TickCount());
  return {};
}

int LineClockPort(const QString& devicePath) {
  const LineClockBlock* b = F().block;
  if (!b || devicePath.isEmpty()) return 0;
  for (int p = 1; p < LineClockBlock::kPorts; ++p)
    if (devicePath == QString::fromLocal8Bit(b->path[p])) return p;
  return 0;
}

void LineClockSent(int port) {
  Follower& f = F();
  if (!f.block || port < 1 || port >= LineClockBlock::kPorts) return;
  f.block->sent[port].fetch_add(1, std::memory_order_release);
  f.wrote = true;
}

uint64_t LineClockWritten(int port) {
  const LineClockBlock* b = F().block;
  if (!b || port < 1 || port >= LineClockBlock::kPorts) return 0;
  return b->written[port].load(std::memory_order_acquire);
}

std::optional<uint32_t> LineClockNextEvent() {
  const LineClockBlock* b = F().block;
  if (!b || !b->hasNext.load(std::memory_order_acquire)) return std::nullopt;
  return b->nextMs.load(std::memory_order_relaxed);
}

LineClockBlock* CreateLineClock(const QString& file, const QString paths[LineClockBlock::kPorts],
                                QString* error) {
  LineClockBlock* b = Map(file, true, error);
  if (!b) return nullptr;
  new (b) LineClockBlock{};
  for (int p = 0; p < LineClockBlock::kPorts; ++p)
    std::strncpy(b->path[p], paths[p].toLocal8Bit().constData(), sizeof b->path[p] - 1);
  b->magic = LineClockBlock::kMagic;
  return b;
}

std::optional<uint32_t> WaitLineClockRequest(LineClockBlock* b, uint32_t seen, int timeoutMs) {
  uint32_t seq = b->requestSeq.load(std::memory_order_acquire);
  if (seq == seen) {
    FutexWait(b->requestSeq, seen, timeoutMs);
    seq = b->requestSeq.load(std::memory_order_acquire);
  }
  if (seq == seen) return std::nullopt;
  return seq;
}

void ServeLineClockRequest(LineClockBlock* b, uint32_t seq) {
  b->doneSeq.store(seq, std::memory_order_release);
  FutexWake(b->doneSeq);
}

}  // namespace plat
