// faultfs: a preloaded library that makes file operations fail as on a full
// disk or a failing one, for chosen paths only, so that tests can drive the
// program (or any tool) into the failure without mounting anything:
//
//   LD_PRELOAD=build/tests/libkalvor_faultfs.so KALVOR_FAULT_PATH='*/Config/now.txt*' kalvor ...
//
// Variables (read once, at the first intercepted call):
//   KALVOR_FAULT_PATH   fnmatch(3) pattern of the absolute path, or several separated by ':';
//                       required, without it nothing fails. The path of a descriptor is what
//                       /proc/self/fd shows, so a temporary file beside the target
//                       ("now.txt.Ab12Cd") matches "*/now.txt*".
//   KALVOR_FAULT_OPS    comma list of the operations that fail (default "write"):
//                       open   open, open64, openat, openat64, creat, mkstemp, mkostemp
//                       write  write, pwrite, pwrite64, writev, pwritev
//                       fsync  fsync, fdatasync
//                       close  close (the descriptor is closed all the same, as the system does)
//                       rename rename, renameat, renameat2 (the old or the new path matches)
//   KALVOR_FAULT_ERRNO  ENOSPC (default), EIO, EDQUOT or EROFS, or a number.
//   KALVOR_FAULT_NTH    the matching call (of the chosen operations, counted together, from 1)
//                       from which on the calls fail; default 1.
//   KALVOR_FAULT_AFTER  writes: how many bytes of the armed writes still go through; the
//                       write that crosses the limit is cut short there, as on a disk that
//                       fills up, and the next one fails. Default 0.
//   KALVOR_FAULT_KILL   1: the armed call kills the process (SIGKILL) instead of failing, as
//                       a crash or a power cut at that moment: nothing of the call reaches
//                       the disk (but the part of a write that AFTER lets through).
//   KALVOR_FAULT_LOG    a file to which one line is appended per failure made:
//                       "<operation> <path> <errno>".
//
// The library only fails calls; it never changes what reaches the disk
// otherwise. Calls that glibc makes internally (stdio's own writes) are not
// seen.

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <climits>

namespace {

enum Op { kOpen = 1, kWrite = 2, kFsync = 4, kClose = 8, kRename = 16 };

struct Config {
  bool ready = false;
  const char* pattern = nullptr;
  int ops = kWrite;
  int err = ENOSPC;
  long nth = 1;
  long long after = 0;
  bool kill = false;
  const char* log = nullptr;
};

Config config;
std::atomic<long> calls{0};
std::atomic<long long> written{0};
thread_local int busy = 0;  // inside the library's own calls

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

int ErrnoByName(const char* s) {
  if (!s || !*s || strcmp(s, "ENOSPC") == 0) return ENOSPC;
  if (strcmp(s, "EIO") == 0) return EIO;
  if (strcmp(s, "EDQUOT") == 0) return EDQUOT;
  if (strcmp(s, "EROFS") == 0) return EROFS;
  const int n = atoi(s);
  return n > 0 ? n : ENOSPC;
}

int OpsByName(const char* s) {
  if (!s || !*s) return kWrite;
  int ops = 0;
  const struct {
    const char* name;
    int op;
  } names[] = {{"open", kOpen}, {"write", kWrite}, {"fsync", kFsync}, {"close", kClose},
               {"rename", kRename}};
  for (const auto& n : names) {
    const char* at = strstr(s, n.name);
    if (at && (at == s || at[-1] == ',')) ops |= n.op;
  }
  return ops;
}

const Config& Get() {
  if (!config.ready) {
    config.pattern = getenv("KALVOR_FAULT_PATH");
    config.ops = OpsByName(getenv("KALVOR_FAULT_OPS"));
    config.err = ErrnoByName(getenv("KALVOR_FAULT_ERRNO"));
    if (const char* n = getenv("KALVOR_FAULT_NTH")) config.nth = atol(n) > 0 ? atol(n) : 1;
    if (const char* a = getenv("KALVOR_FAULT_AFTER")) config.after = atoll(a);
    config.log = getenv("KALVOR_FAULT_LOG");
    if (const char* k = getenv("KALVOR_FAULT_KILL")) config.kill = atoi(k) == 1;
    config.ready = true;
  }
  return config;
}

// Whether an absolute path matches one of the ':'-separated patterns.
bool MatchesAny(const char* patterns, const char* path) {
  char one[PATH_MAX];
  for (const char* p = patterns; *p;) {
    const char* end = strchr(p, ':');
    const size_t n = end ? static_cast<size_t>(end - p) : strlen(p);
    if (n > 0 && n < sizeof one) {
      memcpy(one, p, n);
      one[n] = 0;
      if (fnmatch(one, path, 0) == 0) return true;
    }
    p += end ? n + 1 : n;
  }
  return false;
}

bool Matches(const char* path) {
  const Config& c = Get();
  if (!c.pattern || !path) return false;
  if (path[0] == '/') return MatchesAny(c.pattern, path);
  char full[PATH_MAX * 2];
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) return false;
  snprintf(full, sizeof full, "%s/%s", cwd, path);
  return MatchesAny(c.pattern, full);
}

bool PathOf(int fd, char* out, size_t size) {
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, out, size - 1);
  if (n <= 0) return false;
  out[n] = 0;
  return true;
}

void Log(const char* op, const char* path) {
  const Config& c = Get();
  if (!c.log) return;
  ++busy;
  static auto realOpen = Next<int (*)(const char*, int, ...)>("open");
  static auto realWrite = Next<ssize_t (*)(int, const void*, size_t)>("write");
  static auto realClose = Next<int (*)(int)>("close");
  const int fd = realOpen(c.log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd >= 0) {
    char line[PATH_MAX + 64];
    const int n = snprintf(line, sizeof line, "%s %s %d\n", op, path, c.err);
    if (n > 0) realWrite(fd, line, static_cast<size_t>(n));
    realClose(fd);
  }
  --busy;
}

// Whether this call of `op` on `path` (for a rename, either of its paths)
// is to fail; counts it when it matches.
bool Armed(int op, const char* path, const char* other = nullptr) {
  const Config& c = Get();
  if (busy || !(c.ops & op) || !(Matches(path) || Matches(other))) return false;
  return ++calls >= c.nth;
}

bool ArmedFd(int op, int fd, char* path, size_t size) {
  const Config& c = Get();
  if (busy || !c.pattern || !(c.ops & op)) return false;
  if (!PathOf(fd, path, size)) return false;
  return Armed(op, path);
}

// For a write of `count` bytes that is armed: how many may still go
// through (the rest of the AFTER allowance), or -1 for none.
ssize_t Allowance(size_t count) {
  const long long before = written.fetch_add(static_cast<long long>(count));
  const long long room = Get().after - before;
  if (room <= 0) return -1;
  return static_cast<ssize_t>(room < static_cast<long long>(count) ? room : count);
}

int Fail(const char* op, const char* path) {
  Log(op, path);
  if (Get().kill) raise(SIGKILL);
  errno = Get().err;
  return -1;
}

// An open of `path`, or a rename of `path` to `other`: fails when armed,
// naming the path it makes, and otherwise goes on to the system's own call.
template <typename F, typename... Args>
int Checked(F real, int op, const char* path, const char* other, Args... args) {
  if (Armed(op, path, other)) return Fail(op == kRename ? "rename" : "open", other ? other : path);
  return real(args...);
}

// A write of `count` bytes to `fd`: once armed it goes through as far as the
// allowance reaches and then fails; `real(n)` makes the call with n bytes.
template <typename W>
ssize_t CheckedWrite(int fd, size_t count, W real) {
  char path[PATH_MAX];
  if (count > 0 && ArmedFd(kWrite, fd, path, sizeof path)) {
    const ssize_t n = Allowance(count);
    if (n < 0) return Fail("write", path);
    return real(static_cast<size_t>(n));
  }
  return real(count);
}

// Vectored writes fail whole once armed and out of allowance; within the
// allowance they go through as they are.
template <typename Call>
ssize_t CheckedVectorWrite(int fd, const struct iovec* iov, int n, Call call) {
  char path[PATH_MAX];
  size_t count = 0;
  for (int i = 0; i < n; ++i) count += iov[i].iov_len;
  if (count > 0 && ArmedFd(kWrite, fd, path, sizeof path) &&
      Allowance(count) != static_cast<ssize_t>(count))
    return Fail("write", path);
  return call();
}

}  // namespace

extern "C" {

#define FAULTFS_OPEN_MODE(flags, mode)        \
  mode_t mode = 0;                            \
  if ((flags) & (O_CREAT | O_TMPFILE)) {      \
    va_list ap;                               \
    va_start(ap, flags);                      \
    mode = static_cast<mode_t>(va_arg(ap, int)); \
    va_end(ap);                               \
  }

int open(const char* path, int flags, ...) {
  FAULTFS_OPEN_MODE(flags, mode);
  static auto real = Next<int (*)(const char*, int, ...)>("open");
  return Checked(real, kOpen, path, nullptr, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  FAULTFS_OPEN_MODE(flags, mode);
  static auto real = Next<int (*)(const char*, int, ...)>("open64");
  return Checked(real, kOpen, path, nullptr, path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  FAULTFS_OPEN_MODE(flags, mode);
  static auto real = Next<int (*)(int, const char*, int, ...)>("openat");
  return Checked(real, kOpen, path, nullptr, dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
  FAULTFS_OPEN_MODE(flags, mode);
  static auto real = Next<int (*)(int, const char*, int, ...)>("openat64");
  return Checked(real, kOpen, path, nullptr, dir, path, flags, mode);
}

int creat(const char* path, mode_t mode) {
  static auto real = Next<int (*)(const char*, mode_t)>("creat");
  return Checked(real, kOpen, path, nullptr, path, mode);
}

int mkostemp(char* tmpl, int flags) {
  static auto real = Next<int (*)(char*, int)>("mkostemp");
  return Checked(real, kOpen, tmpl, nullptr, tmpl, flags);
}

int mkstemp(char* tmpl) {
  static auto real = Next<int (*)(char*)>("mkstemp");
  return Checked(real, kOpen, tmpl, nullptr, tmpl);
}

ssize_t write(int fd, const void* buf, size_t count) {
  static auto real = Next<ssize_t (*)(int, const void*, size_t)>("write");
  return CheckedWrite(fd, count, [&](size_t n) { return real(fd, buf, n); });
}

ssize_t pwrite(int fd, const void* buf, size_t count, off_t at) {
  static auto real = Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
  return CheckedWrite(fd, count, [&](size_t n) { return real(fd, buf, n, at); });
}

ssize_t pwrite64(int fd, const void* buf, size_t count, off64_t at) {
  static auto real = Next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
  return CheckedWrite(fd, count, [&](size_t n) { return real(fd, buf, n, at); });
}

ssize_t writev(int fd, const struct iovec* iov, int n) {
  static auto real = Next<ssize_t (*)(int, const struct iovec*, int)>("writev");
  return CheckedVectorWrite(fd, iov, n, [&] { return real(fd, iov, n); });
}

ssize_t pwritev(int fd, const struct iovec* iov, int n, off_t at) {
  static auto real = Next<ssize_t (*)(int, const struct iovec*, int, off_t)>("pwritev");
  return CheckedVectorWrite(fd, iov, n, [&] { return real(fd, iov, n, at); });
}

int fsync(int fd) {
  static auto real = Next<int (*)(int)>("fsync");
  char path[PATH_MAX];
  if (ArmedFd(kFsync, fd, path, sizeof path)) return Fail("fsync", path);
  return real(fd);
}

int fdatasync(int fd) {
  static auto real = Next<int (*)(int)>("fdatasync");
  char path[PATH_MAX];
  if (ArmedFd(kFsync, fd, path, sizeof path)) return Fail("fsync", path);
  return real(fd);
}

int close(int fd) {
  static auto real = Next<int (*)(int)>("close");
  char path[PATH_MAX];
  if (ArmedFd(kClose, fd, path, sizeof path)) {
    real(fd);
    return Fail("close", path);
  }
  return real(fd);
}

int rename(const char* from, const char* to) {
  static auto real = Next<int (*)(const char*, const char*)>("rename");
  return Checked(real, kRename, from, to, from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
  static auto real = Next<int (*)(int, const char*, int, const char*)>("renameat");
  return Checked(real, kRename, from, to, fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
  static auto real = Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
  return Checked(real, kRename, from, to, fromDir, from, toDir, to, flags);
}

}  // extern "C"
