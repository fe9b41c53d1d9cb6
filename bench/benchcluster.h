#pragma once
// The depot benchmarks' private PostgreSQL cluster, started and stopped by
// the tests' script, and the figures that go with a measurement on a shared
// machine: the load average and a child process's peak resident memory.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <vector>

namespace bench {

class Cluster {
 public:
  // `name` tells apart several clusters of one benchmark. With
  // KALVOR_BENCH_DATA=DIR the cluster lives in DIR (plus `name`) and is kept
  // there, halted, when the benchmark ends; a later run resumes it instead of
  // loading again (a 10 000 000-row depot takes a quarter of an hour to fill).
  explicit Cluster(int port, const QString& name = {}) : port_(port) {
    const QByteArray kept = qgetenv("KALVOR_BENCH_DATA");
    kept_ = !kept.isEmpty();
    dir_ = kept_ ? QString::fromLocal8Bit(kept) + name
                 : QStringLiteral("/tmp/kalvor-bench-pg-%1%2").arg(getpid()).arg(name);
    resumed_ = kept_ && QFile::exists(dir_ + "/data/PG_VERSION");
    ok_ = Script({resumed_ ? "resume" : "start", dir_, QString::number(port_)});
    if (resumed_) std::fprintf(stderr, "cluster: resumed the one kept in %s\n", qPrintable(dir_));
  }
  ~Cluster() { Script({kept_ ? "halt" : "stop", dir_}); }
  bool ok() const { return ok_; }
  // True when the cluster was kept from an earlier run: its databases exist.
  bool resumed() const { return resumed_; }
  QString Conninfo(const QString& db, const QString& user) const {
    return QStringLiteral("host=%1 port=%2 dbname=%3 user=%4").arg(dir_).arg(port_).arg(db, user);
  }

 private:
  static bool Script(const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start("sh", QStringList{KALVOR_SOURCE_DIR "/tests/support/pg-cluster.sh"} + args);
    return p.waitForFinished(120000) && p.exitCode() == 0;
  }
  QString dir_;
  int port_;
  bool kept_ = false, resumed_ = false, ok_ = false;
};

// The 1-minute load average of the machine.
inline double LoadAverage() {
  QFile f("/proc/loadavg");
  return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').value(0).toDouble() : 0;
}

struct ChildRun {
  int exitCode = -1;
  double seconds = 0, cpuSeconds = 0;
  long peakRssKb = 0;
};

// Runs a program to its end and measures it (wall time, its CPU time and its
// peak resident memory from the kernel's accounting of that one child).
inline ChildRun RunChild(const QString& program, const QStringList& args) {
  std::vector<QByteArray> bytes{program.toLocal8Bit()};
  for (const QString& a : args) bytes.push_back(a.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& b : bytes) argv.push_back(b.data());
  argv.push_back(nullptr);
  ChildRun run;
  QElapsedTimer t;
  t.start();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return run;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.seconds = t.nsecsElapsed() / 1e9;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                   (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.peakRssKb = usage.ru_maxrss;
  return run;
}

}  // namespace bench
