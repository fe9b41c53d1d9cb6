// springdata's sync into the depot database on a private cluster: the first
// sync of a base.bin of 100 000 and of 1 000 000 measurements (its time, its
// CPU time and its peak resident memory: the sync reads and sends one batch
// at a time, so the memory stays the same for both), then syncs that each
// find 100 new measurements. Each sync is the springdata program, as the
// timer runs it, logged in as the line's role. The machine is shared: the
// counter load says how busy it was when the figure was taken.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <memory>

#include "benchcluster.h"
#include "benchinstall.h"
#include "pg/pg.h"
#include "sync/admin.h"

namespace {

constexpr int kPort = 55433;
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

void BM_FirstSync(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  QTemporaryDir home;
  bench::WriteInstallation(home.path(), records);
  const QString conninfo = NewDatabase(QStringLiteral("bench_first_%1").arg(records));
  for (auto _ : state) {
    const double load = bench::LoadAverage();
    Report(state, Sync(home.path(), conninfo), load);
  }
  state.counters["records"] = records;
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
  double worst = 0;
  bench::ChildRun run;
  for (auto _ : state) {
    state.PauseTiming();
    bench::AppendRecords(base, next, 100);
    next += 100;
    const double load = bench::LoadAverage();
    state.ResumeTiming();
    run = Sync(home.path(), conninfo);
    worst = std::max(worst, run.seconds);
    Report(state, run, load);
  }
  state.counters["worst_s"] = worst;
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
