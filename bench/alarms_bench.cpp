// One pass of the alarms service over a depot database of 10 000 000
// measurements (five lines, a year, filled by depotload.h): the real
// `kalvor-depot alarms --once`, first over the untouched database (every
// status of the period raised at once, the mail server refusing) and then
// again and again with nothing new, its wall time and peak memory.
//
//   alarms_bench [MEASUREMENTS]   (10000000 unless given)

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "benchcluster.h"
#include "depotload.h"

namespace {
constexpr int kPort = KALVOR_BENCH_PG_PORT;
constexpr int kLines = 5;
constexpr int kPasses = 20;
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const long long total = argc > 1 ? QByteArray(argv[1]).toLongLong() : 10000000;
  bench::Cluster cluster(kPort);
  if (!cluster.ok() || total < kLines * 16) return 1;
  const bench::Loaded loaded = bench::PrepareDepot(cluster, "depot", kLines, total);
  if (!loaded.ok) return 1;
  std::printf("depot of %lld measurements, %d lines: loaded in %.0f s, VACUUM ANALYZE %.0f s; load average %.2f\n",
              loaded.measurements, kLines, loaded.seconds, loaded.vacuumSeconds, bench::LoadAverage());
  // Port 1 refuses at once: every pass tries the oldest unsent mail and stops.
  const QStringList args = {"alarms", "--database", cluster.Conninfo("depot", "kalvor_alarms"), "--smtp",
                            "smtp://127.0.0.1:1", "--to", "engineer@depot.example", "--once"};
  const bench::ChildRun first = bench::RunChild(KALVOR_DEPOT, args);
  std::printf("first pass (raises the period's alarms): %.3f s, CPU %.3f s, peak %ld kB, exit %d\n", first.seconds,
              first.cpuSeconds, first.peakRssKb, first.exitCode);
  std::vector<double> s;
  bool failed = first.exitCode != 0;
  for (int i = 0; i < kPasses; ++i) {
    const bench::ChildRun run = bench::RunChild(KALVOR_DEPOT, args);
    failed |= run.exitCode != 0;
    s.push_back(run.seconds);
  }
  std::sort(s.begin(), s.end());
  std::printf("passes with nothing new (%d, the whole process): median %.3f s, p95 %.3f s, max %.3f s; "
              "load average %.2f\n",
              kPasses, s[s.size() / 2], s[s.size() * 95 / 100], s.back(), bench::LoadAverage());
  return failed ? 1 : 0;
}
