// springdata's sync into the depot database on a private cluster: the first
// sync of a base.bin of 100 000 and of 1 000 000 measurements (its time, its
// CPU time and its peak resident memory: the sync reads and sends one batch
// at a time, so the memory stays the same for both), then syncs that each
// find 100 new measurements. Each sync is the springdata program, as the
// timer runs it, logged in as the line's role. The machine is shared: the
// counter load says how busy it was when the figure was taken, and each
// figure stands beside a plain tool's work measured in the same run, so that
// the ratio holds whatever the load: the first sync beside psql's \copy of
// the sync's own rows into a table with the same primary key (goal: 2x), a
// sync of 100 new beside `psql -c 'select 1'` (goal: 1.5x).

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <memory>
#include <unistd.h>

#include "benchcluster.h"
#include "benchinstall.h"
#include "pg/pg.h"
#include "sync/admin.h"
#include "sync/copyrows.h"

namespace {

constexpr int kPort = KALVOR_BENCH_PG_PORT;
std::unique_ptr<bench::Cluster> g_cluster;

// A database with the schema and the line `name`, made anew.
QString NewDatabase(const QString& name) {
  QString error;
  depot::Connection server;
  if (!server.Open(g_cluster->Conninfo("postgres", "kalvor_admin"), "bench", error) ||
      !server.Exec("DROP DATABASE IF EXISTS " + name.toUtf8() + " WITH (FORCE)", error) ||
      !server.Exec("CREATE DATABASE " + name.toUtf8(), error))
    std::fprintf(stderr, "%s\n", qPrintable(error));
  const QString admin = g_cluster->Conninfo(name, "kalvor_admin");
  QStringList applied;
  QString role;
  bool existed = false;
  if (!depot::MigrateDatabase(admin, applied, error) ||
      !depot::AddLine(admin, "l1", role, existed, error))
    std::fprintf(stderr, "%s\n", qPrintable(error));
  return g_cluster->Conninfo(name, depot::LineRole("l1"));
}

// The CPU time (s) of the cluster's sessions that have ended: the
// postmaster's children's times, which grow by a backend's CPU time when its
// session ends. Taken before and after a run, it gives the database's CPU
// for the run's session, which the load of a shared machine disturbs less
// than the wall time. Autovacuum's workers would count too: main() turns
// autovacuum off for the benchmark's cluster.
double EndedSessionsCpu() {
  static const QByteArray postmaster = [] {
    QString error;
    depot::Connection db;
    depot::Result r;
    if (!db.Open(g_cluster->Conninfo("postgres", "kalvor_admin"), "bench", error) ||
        !db.Query("SELECT pg_backend_pid()", {}, r, error))
      return QByteArray();
    QFile stat("/proc/" + r.Value(0, 0) + "/stat");
    if (!stat.open(QIODevice::ReadOnly)) return QByteArray();
    return stat.readAll().split(')').last().simplified().split(' ').value(1);  // the parent's pid
  }();
  QFile stat("/proc/" + postmaster + "/stat");
  if (postmaster.isEmpty() || !stat.open(QIODevice::ReadOnly)) return 0;
  // The fields after the name: state is the first, cutime and cstime the 14th and 15th.
  const QList<QByteArray> fields = stat.readAll().split(')').last().simplified().split(' ');
  return (fields.value(13).toLongLong() + fields.value(14).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// Waits until the sessions of the program `name` have ended and the postmaster has taken
// their times.
void AwaitSessionsEnded(const QByteArray& name) {
  QString error;
  depot::Connection db;
  if (!db.Open(g_cluster->Conninfo("postgres", "kalvor_admin"), "bench", error)) return;
  for (int i = 0; i < 100; ++i) {
    depot::Result r;
    if (!db.Query("SELECT count(*) FROM pg_stat_activity WHERE application_name = $1", {name}, r, error) ||
        r.Number(0, 0) == 0)
      break;
    QThread::msleep(20);
  }
  db.Close();
  QThread::msleep(100);
}

bench::ChildRun Sync(const QString& home, const QString& conninfo) {
  // KALVOR_BENCH_SPRINGDATA runs another build's springdata (an earlier
  // one, for figures before and after a change in one session).
  // KALVOR_BENCH_SYNC_ARGS adds options to the sync's command line ("--batch 20000").
  static const QString springdata = qEnvironmentVariable("KALVOR_BENCH_SPRINGDATA", KALVOR_SPRINGDATA);
  static const QStringList extra = qEnvironmentVariable("KALVOR_BENCH_SYNC_ARGS").split(' ', Qt::SkipEmptyParts);
  return bench::RunChild(springdata,
                         QStringList{"sync", "--home", home, "--database", conninfo, "--line", "l1", "--quiet"} + extra);
}

void Report(benchmark::State& state, const bench::ChildRun& run, double load) {
  if (run.exitCode != 0) state.SkipWithError("the sync failed");
  state.counters["sync_s"] = run.seconds;
  state.counters["sync_cpu_s"] = run.cpuSeconds;
  state.counters["peak_rss_mb"] = run.peakRssKb / 1024.0;
  state.counters["load"] = load;
}

bench::ChildRun Psql(const QString& conninfo, const QString& command) {
  return bench::RunChild("/usr/bin/psql", {"-X", "-q", "-d", conninfo, "-c", command});
}

// The plain COPY the first sync is measured against: the rows the sync sent,
// read back from the database, copied with psql into a table of the same
// columns and primary key and nothing else. Its time in seconds, and in
// `backendCpu` the CPU time of its session.
double PlainCopy(const QString& database, const QString& rowsFile, double& backendCpu) {
  const QString admin = g_cluster->Conninfo(database, "kalvor_admin");
  const QString columns = QString::fromLatin1(depot::MeasurementCopyColumns());
  QString error;
  depot::Connection db;
  if (!db.Open(admin, "bench", error) ||
      !db.Exec("DROP TABLE IF EXISTS plain_copy; CREATE TABLE plain_copy (LIKE measurements INCLUDING DEFAULTS, "
               "PRIMARY KEY (identifier, line, measured_at))",
               error))
    std::fprintf(stderr, "%s\n", qPrintable(error));
  Psql(admin, QStringLiteral("\\copy (SELECT %1 FROM measurements) TO '%2'").arg(columns, rowsFile));
  AwaitSessionsEnded("psql");
  const double before = EndedSessionsCpu();
  const bench::ChildRun copy = Psql(admin, QStringLiteral("\\copy plain_copy (%1) FROM '%2'").arg(columns, rowsFile));
  AwaitSessionsEnded("psql");
  backendCpu = EndedSessionsCpu() - before;
  if (copy.exitCode != 0 || !db.Exec("DROP TABLE plain_copy", error)) return 0;
  return copy.seconds;
}

void BM_FirstSync(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  QTemporaryDir home;
  bench::WriteInstallation(home.path(), records);
  const QString database = QStringLiteral("bench_first_%1").arg(records);
  const QString conninfo = NewDatabase(database);
  bench::ChildRun run;
  double syncBackend = 0;
  for (auto _ : state) {
    const double load = bench::LoadAverage();
    const double before = EndedSessionsCpu();
    run = Sync(home.path(), conninfo);
    AwaitSessionsEnded("springdata");
    syncBackend = EndedSessionsCpu() - before;
    Report(state, run, load);
  }
  double copyBackend = 0;
  const double copy = PlainCopy(database, QDir(home.path()).filePath("rows.copy"), copyBackend);
  state.counters["records"] = records;
  state.counters["copy_s"] = copy;
  state.counters["x_copy"] = copy > 0 ? run.seconds / copy : 0;
  // The database's CPU for the sync's session and for the copy's.
  state.counters["sync_db_cpu_s"] = syncBackend;
  state.counters["copy_db_cpu_s"] = copyBackend;
  state.counters["x_copy_cpu"] = copyBackend > 0 ? syncBackend / copyBackend : 0;
  state.counters["goal_x"] = 2;
}
BENCHMARK(BM_FirstSync)->Arg(100000)->Arg(1000000)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// The database holds 1 000 000 measurements of the line already; each
// iteration appends 100 to base.bin and syncs them.
void BM_SyncOfOneHundredNew(benchmark::State& state) {
  constexpr int kHeld = 1000000;
  QTemporaryDir home;
  bench::WriteInstallation(home.path(), kHeld);
  const QString conninfo = NewDatabase("bench_incremental");
  if (Sync(home.path(), conninfo).exitCode != 0) state.SkipWithError("the first sync failed");
  // The state autovacuum leaves a depot in after its first sync.
  {
    QString error;
    depot::Connection db;
    if (!db.Open(g_cluster->Conninfo("bench_incremental", "kalvor_admin"), "bench_vacuum", error) ||
        !db.Exec("VACUUM ANALYZE", error))
      std::fprintf(stderr, "%s\n", qPrintable(error));
  }
  // Its session's CPU is not the first iteration's.
  AwaitSessionsEnded("bench_vacuum");
  const QString base = QDir(home.path()).filePath("Report/base.bin");
  int next = kHeld;
  double worst = 0, syncs = 0, selects = 0;
  // CPU times of each program and its session together.
  double syncsCpu = 0, selectsCpu = 0;
  bench::ChildRun run;
  for (auto _ : state) {
    state.PauseTiming();
    bench::AppendRecords(base, next, 100);
    next += 100;
    const double load = bench::LoadAverage();
    double before = EndedSessionsCpu();
    const bench::ChildRun select = Psql(conninfo, "select 1");
    AwaitSessionsEnded("psql");
    selects += select.seconds;
    selectsCpu += select.cpuSeconds + EndedSessionsCpu() - before;
    before = EndedSessionsCpu();
    state.ResumeTiming();
    run = Sync(home.path(), conninfo);
    state.PauseTiming();
    AwaitSessionsEnded("springdata");
    syncsCpu += run.cpuSeconds + EndedSessionsCpu() - before;
    state.ResumeTiming();
    worst = std::max(worst, run.seconds);
    syncs += run.seconds;
    Report(state, run, load);
  }
  state.counters["cpu_ms"] = syncsCpu * 1000 / state.iterations();
  state.counters["psql_cpu_ms"] = selectsCpu * 1000 / state.iterations();
  state.counters["x_psql_cpu"] = selectsCpu > 0 ? syncsCpu / selectsCpu : 0;
  state.counters["worst_s"] = worst;
  state.counters["psql_s"] = selects / state.iterations();
  state.counters["x_psql"] = selects > 0 ? syncs / selects : 0;
  state.counters["goal_x"] = 1.5;
}
BENCHMARK(BM_SyncOfOneHundredNew)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  g_cluster = std::make_unique<bench::Cluster>(kPort);
  if (!g_cluster->ok()) return 1;
  {
    QString error;
    depot::Connection db;
    if (!db.Open(g_cluster->Conninfo("postgres", "kalvor_admin"), "bench", error) ||
        !db.Exec("ALTER SYSTEM SET autovacuum = off; SELECT pg_reload_conf()", error))
      std::fprintf(stderr, "%s\n", qPrintable(error));
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_cluster.reset();
  return 0;
}
