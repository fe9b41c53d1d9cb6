#pragma once
// The plain tools a benchmark's figure stands beside, run in the same run so
// that the load of the shared machine weighs on both: `cat` of a record file
// from the page cache, `dd` of the bytes an export writes. Each is the best
// of three runs, as the benchmark's own figure is taken warm.

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>

namespace bench {

// The wall time of one run of `program`, its output thrown away; 0 when it
// fails.
inline double PlainToolSeconds(const QString& program, const QStringList& args) {
  QProcess p;
  p.setStandardOutputFile(QProcess::nullDevice());
  p.setStandardErrorFile(QProcess::nullDevice());
  QElapsedTimer t;
  t.start();
  p.start(program, args);
  if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return 0;
  return t.nsecsElapsed() / 1e9;
}

inline double BestOfThree(const QString& program, const QStringList& args) {
  double best = 0;
  for (int run = 0; run < 3; ++run) {
    const double s = PlainToolSeconds(program, args);
    if (s > 0 && (best == 0 || s < best)) best = s;
  }
  return best;
}

// `cat FILE` into /dev/null.
inline double CatSeconds(const QString& file) { return BestOfThree("cat", {file}); }

// `dd` copying FILE to a file beside it, 1 MiB at a time: the same bytes
// read and written.
inline double DdSeconds(const QString& file) {
  const QString copy = file + ".dd";
  const double s = BestOfThree("dd", {"if=" + file, "of=" + copy, "bs=1M"});
  QFile::remove(copy);
  return s;
}

// Puts the plain tool's time and the ratio of `seconds` (the benchmark's time
// per iteration) to it beside the goal.
inline void PlainToolCounters(benchmark::State& state, const char* tool, double toolSeconds,
                              double seconds, double goal) {
  state.counters[std::string(tool) + "_ms"] = toolSeconds * 1000;
  state.counters[std::string("x_") + tool] = toolSeconds > 0 ? seconds / toolSeconds : 0;
  state.counters["goal_x"] = goal;
}

}  // namespace bench
