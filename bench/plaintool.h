#pragma once
// The plain tools a benchmark's figure stands beside, run in the same run so
// that the load of the shared machine weighs on both: `cat` of a record file
// from the page cache, `dd` of the bytes an export writes. Each is the best
// of three runs, as the benchmark's own figure is taken warm.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace bench {

// One run of a plain tool: its wall time and its CPU time (user and system,
// from the kernel's accounting of that one child); zeros when it failed.
struct ToolRun {
  double seconds = 0, cpuSeconds = 0;
};

// Runs `program` (found on the PATH) with its output thrown away.
inline ToolRun RunTool(const QString& program, const QStringList& args) {
  std::vector<QByteArray> bytes{program.toLocal8Bit()};
  for (const QString& a : args) bytes.push_back(a.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& b : bytes) argv.push_back(b.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
  ToolRun run;
  QElapsedTimer t;
  t.start();
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  if (spawned != 0) return run;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return run;
  run.seconds = t.nsecsElapsed() / 1e9;
  run.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                   (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return run;
}

inline ToolRun BestOfThree(const QString& program, const QStringList& args) {
  ToolRun best;
  for (int k = 0; k < 3; ++k) {
    const ToolRun run = RunTool(program, args);
    if (run.seconds > 0 && (best.seconds == 0 || run.seconds < best.seconds)) best.seconds = run.seconds;
    if (run.cpuSeconds > 0 && (best.cpuSeconds == 0 || run.cpuSeconds < best.cpuSeconds))
      best.cpuSeconds = run.cpuSeconds;
  }
  return best;
}

// `cat FILE` into /dev/null.
inline ToolRun Cat(const QString& file) { return BestOfThree("cat", {file}); }

// `dd` copying FILE to a file beside it, 1 MiB at a time: the same bytes
// read and written.
inline ToolRun Dd(const QString& file) {
  const QString copy = file + ".dd";
  const ToolRun run = BestOfThree("dd", {"if=" + file, "of=" + copy, "bs=1M"});
  QFile::remove(copy);
  return run;
}

// The CPU time (user and system) of this process so far.
inline double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The wall and CPU time of the iterations of a benchmark, started where it
// is made.
// Stop() right after the loop leaves out what runs later (the plain tool
// itself, whose run is an argument of PlainToolCounters).
class Timing {
 public:
  Timing() : cpu_(ProcessCpuSeconds()) { wall_.start(); }
  void Stop() {
    stoppedWall_ = wall_.nsecsElapsed() / 1e9;
    stoppedCpu_ = ProcessCpuSeconds() - cpu_;
  }
  double Seconds(const benchmark::State& state) const {
    return (stoppedWall_ >= 0 ? stoppedWall_ : wall_.nsecsElapsed() / 1e9) / state.iterations();
  }
  double CpuSeconds(const benchmark::State& state) const {
    return (stoppedCpu_ >= 0 ? stoppedCpu_ : ProcessCpuSeconds() - cpu_) / state.iterations();
  }

 private:
  QElapsedTimer wall_;
  double cpu_;
  double stoppedWall_ = -1, stoppedCpu_ = -1;
};

// Puts the plain tool's times and the ratios of the benchmark's times per
// iteration to them beside the goal: x_<tool> of the wall times, the figure
// the goal is about, and x_<tool>_cpu of the CPU times, which the load of a
// shared machine disturbs less.
inline void PlainToolCounters(benchmark::State& state, const char* tool, const ToolRun& plain,
                              const Timing& timing, double goal) {
  const std::string name(tool);
  state.counters[name + "_ms"] = plain.seconds * 1000;
  state.counters[name + "_cpu_ms"] = plain.cpuSeconds * 1000;
  state.counters["x_" + name] = plain.seconds > 0 ? timing.Seconds(state) / plain.seconds : 0;
  state.counters["x_" + name + "_cpu"] = plain.cpuSeconds > 0 ? timing.CpuSeconds(state) / plain.cpuSeconds : 0;
  state.counters["goal_x"] = goal;
}

}  // namespace bench
