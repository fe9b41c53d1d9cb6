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
#include <QTemporaryDir>
#include <memory>

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

bench::ChildRun Sync(const QString& home, const QString& conninfo) {
  return bench::RunChild(KALVOR_SPRINGDATA,
                         {"sync", "--home", home, "--database", conninfo, "--line", "l1", "--quiet"});
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
// columns and primary key and nothing else. Its time in seconds.
double PlainCopy(const QString& database, const QString& rowsFile) {
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
  const bench::ChildRun copy = Psql(admin, QStringLiteral("\\copy plain_copy (%1) FROM '%2'").arg(columns, rowsFile));
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
  for (auto _ : state) {
    const double load = bench::LoadAverage();
    run = Sync(home.path(), conninfo);
    Report(state, run, load);
  }
  const double copy = PlainCopy(database, QDir(home.path()).filePath("rows.copy"));
  state.counters["records"] = records;
  state.counters["copy_s"] = copy;
  state.counters["x_copy"] = copy > 0 ? run.seconds / copy : 0;
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
  const QString base = QDir(home.path()).filePath("Report/base.bin");
  int next = kHeld;
  double worst = 0, syncs = 0, selects = 0;
  bench::ChildRun run;
  for (auto _ : state) {
    state.PauseTiming();
    bench::AppendRecords(base, next, 100);
    next += 100;
    const double load = bench::LoadAverage();
    selects += Psql(conninfo, "select 1").seconds;
    state.ResumeTiming();
    run = Sync(home.path(), conninfo);
    worst = std::max(worst, run.seconds);
    syncs += run.seconds;
    Report(state, run, load);
  }
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
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_cluster.reset();
  return 0;
}
