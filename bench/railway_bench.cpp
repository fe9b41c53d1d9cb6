// A railway on three private clusters: depots a and b filled by
// depotload.h, published, and subscribed to by a central database. Measured:
// the initial copy of depot a into the centre; the lag from a depot's sync
// commit (100 measurements in one transaction, as a sync's batch) to the
// rows being visible at the centre, p50 and p95 over 100 syncs; the central
// pages over all depots, each asked 100 times, p50 and p95.
//
//   railway_bench [DEPOT_A [DEPOT_B]]   (measurements; 1000000 and 9000000
//                                        unless given: 10 000 000 at the centre)
//   railway_bench --pages CONNINFO      the central pages alone, served from
//                                        the centre at CONNINFO (a reader)

#include <httplib.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "benchcluster.h"
#include "depotload.h"

namespace {

// The checkout's test port is the tests' depot a; the bench takes the next.
constexpr int kFirstPort = KALVOR_BENCH_PG_PORT + 1;
constexpr int kRequests = 100;
constexpr int kSyncs = 100;
constexpr int kSyncRecords = 100;

long long Count(depot::Connection& db, const QByteArray& sql) {
  depot::Result r;
  QString error;
  if (!db.Query(sql, {}, r, error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return -1;
  }
  return r.Number(0, 0);
}

void Report(const char* name, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%-30s %9.1f %9.1f\n", name, ms[ms.size() / 2], ms[ms.size() * 95 / 100]);
}

bool Springdata(const QStringList& args) {
  const bench::ChildRun run = bench::RunChild(KALVOR_SPRINGDATA, args);
  return run.exitCode == 0;
}

// The central pages, each asked kRequests times by bench_engineer, served
// by kalvor-depot from the centre at `reader`; false when one failed.
bool MeasurePages(const QString& reader, const QByteArray& wagon) {
  QProcess server;
  server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  const int httpPort = 18500 + getpid() % 200;
  server.start(KALVOR_DEPOT, {"serve", "--database", reader, "--listen", QStringLiteral("127.0.0.1:%1").arg(httpPort)});
  if (!server.waitForStarted()) return false;
  httplib::Client client("127.0.0.1", httpPort);
  client.set_read_timeout(60, 0);
  for (int i = 0; i < 100 && !client.Get("/login"); ++i) QThread::msleep(100);
  auto signedIn = client.Post("/login", "user=bench_engineer&password=bench&next=%2F",
                              "application/x-www-form-urlencoded");
  if (!signedIn || signedIn->status != 303) return false;
  const std::string cookie = signedIn->get_header_value("Set-Cookie").substr(0, signedIn->get_header_value("Set-Cookie").find(';'));
  std::printf("%-30s %9s %9s\n", "", "p50 ms", "p95 ms");
  bool failed = false;
  QElapsedTimer t;
  for (auto [name, path] : {std::pair{"depots", "/"}, std::pair{"lines, all depots", "/lines"},
                            std::pair{"lines, depot a", "/lines?depot=a"}, std::pair{"types, all depots", "/types"},
                            std::pair{"type, all depots", "/type?bogie=1&spring=1"},
                            std::pair{"wagon, all depots", ""}}) {
    const std::string target = *path ? std::string(path) : "/search?wagon=" + wagon.toStdString();
    std::vector<double> ms;
    for (int i = 0; i < kRequests && !failed; ++i) {
      t.start();
      auto res = client.Get(target, {{"Cookie", cookie}});
      ms.push_back(t.nsecsElapsed() / 1e6);
      failed = !res || res->status != 200;
    }
    if (failed) {
      std::fprintf(stderr, "%s failed\n", target.c_str());
      break;
    }
    Report(name, ms);
    std::fflush(stdout);
  }
  server.terminate();
  server.waitForFinished();
  return !failed;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc > 2 && QByteArray(argv[1]) == "--pages") {
    const double before = bench::LoadAverage();
    const bool ok = MeasurePages(QString::fromLocal8Bit(argv[2]), QByteArray::number(50000000 + 1000));
    std::printf("load average %.2f before, %.2f at the end\n", before, bench::LoadAverage());
    return ok ? 0 : 1;
  }
  const long long rowsA = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
  const long long rowsB = argc > 2 ? QByteArray(argv[2]).toLongLong() : 9000000;
  bench::Cluster a(kFirstPort, "a"), b(kFirstPort + 1, "b"), centre(kFirstPort + 2, "c");
  if (!a.ok() || !b.ok() || !centre.ok()) return 1;
  QString error;
  for (const bench::Cluster* c : {&a, &b, &centre}) {
    depot::Connection server;
    if (!server.Open(c->Conninfo("postgres", "kalvor_admin"), "bench", error) ||
        !server.Exec("CREATE DATABASE railway", error)) {
      std::fprintf(stderr, "%s\n", qPrintable(error));
      return 1;
    }
  }
  // Depot b first, copied while depot a is filled; depot a's copy is timed.
  QElapsedTimer t;
  for (auto [depot, code, rows] : {std::tuple{&b, "b", rowsB}, std::tuple{&a, "a", rowsA}}) {
    const QString admin = depot->Conninfo("railway", "kalvor_admin");
    QStringList applied;
    if (!depot::MigrateDatabase(admin, "UTC", code, applied, error)) {
      std::fprintf(stderr, "%s\n", qPrintable(error));
      return 1;
    }
    t.start();
    const bench::Loaded loaded = bench::LoadDepot(admin, 3, rows);
    if (!loaded.ok || !Springdata({"db", "publish", "--database", admin})) return 1;
    std::printf("depot %s: %lld measurements, %lld sets loaded in %.0f s\n", code, loaded.measurements, loaded.sets,
                t.nsecsElapsed() / 1e9);
    std::fflush(stdout);
    if (code == QByteArray("b") &&
        !Springdata({"db", "migrate", "--database", centre.Conninfo("railway", "kalvor_admin"), "--time-zone", "UTC",
                     "--central"}))
      return 1;
    t.start();
    if (!Springdata({"db", "subscribe", "--database", centre.Conninfo("railway", "kalvor_admin"), "--depot", code,
                     "--from", depot->Conninfo("railway", "kalvor_replication")}))
      return 1;
    if (code == QByteArray("a")) {
      depot::Connection c;
      if (!c.Open(centre.Conninfo("railway", "kalvor_admin"), "bench", error)) return 1;
      while (Count(c, "SELECT count(*) FROM measurements WHERE depot = 'a'") < loaded.measurements) QThread::msleep(200);
      std::printf("initial copy of depot a (%lld measurements, summaries by the centre's triggers): %.1f s\n",
                  loaded.measurements, t.nsecsElapsed() / 1e9);
    }
  }
  depot::Connection depotA, central;
  if (!depotA.Open(a.Conninfo("railway", "kalvor_admin"), "bench", error) ||
      !central.Open(centre.Conninfo("railway", "kalvor_admin"), "bench", error))
    return 1;
  // Depot b's copy to its end, so that the lag is that of streaming alone.
  while (Count(central, "SELECT count(*) FROM pg_subscription_rel WHERE srsubstate <> 'r'") != 0) QThread::msleep(500);
  const double load = bench::LoadAverage();

  std::vector<double> lag;
  depot::Result r;
  if (!depotA.Query("SELECT (now() - interval '1 hour')::text", {}, r, error)) return 1;
  const QByteArray start = r.Value(0, 0);
  long long expected = Count(central, "SELECT count(*) FROM measurements WHERE depot = 'a'");
  for (int i = 0; i < kSyncs; ++i) {
    const long long from = rowsA + static_cast<long long>(i) * kSyncRecords;
    if (!depotA.Exec("BEGIN", error) ||
        !depotA.Query(bench::kLoadMeasurements,
                      {"l1", "1", QByteArray::number(from), QByteArray::number(from + kSyncRecords - 1), start, "0.3"},
                      r, error) ||
        !depotA.Exec("COMMIT", error)) {
      std::fprintf(stderr, "%s\n", qPrintable(error));
      return 1;
    }
    t.start();
    expected += kSyncRecords;
    while (Count(central, "SELECT count(*) FROM measurements WHERE depot = 'a'") < expected) QThread::usleep(2000);
    lag.push_back(t.nsecsElapsed() / 1e6);
  }
  std::printf("%-30s %9s %9s\n", "", "p50 ms", "p95 ms");
  Report("lag, sync commit to centre", lag);

  if (!central.Exec("VACUUM ANALYZE", error) ||
      !central.Exec("DO $$ BEGIN CREATE ROLE bench_engineer LOGIN IN ROLE kalvor_reader; "
                    "EXCEPTION WHEN duplicate_object THEN NULL; END $$", error))
    return 1;
  const long long total = Count(central, "SELECT count(*) FROM measurements");
  const QByteArray wagon = QByteArray::number(50000000 + 2 * 1000000 + 1000);
  std::printf("central pages over %lld measurements of two depots:\n", total);
  const bool ok = MeasurePages(centre.Conninfo("railway", "kalvor_reader"), wagon);
  std::printf("load average %.2f before the lag, %.2f at the end\n", load, bench::LoadAverage());
  return ok ? 0 : 1;
}
