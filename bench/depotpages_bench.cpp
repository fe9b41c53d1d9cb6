// The engineers' web page over a depot database of 10 000 000 measurements
// (five lines, a year): the real kalvor-depot serving a private cluster
// filled by depotload.h, each page asked for 100 times one after another,
// its answer time at the 50th and 95th percentile, then the server's peak
// resident memory (VmHWM), which must not grow with the rows: the pages
// aggregate in the database and cut their lists. The lines page carries the
// attention matrix of every line × type over the last 30 days, which must
// answer within 300 ms at the 95th percentile.
//
//   depotpages_bench [MEASUREMENTS [--hold]]   (10000000 unless given)
//   The private cluster listens on the build's KALVOR_TEST_PG_PORT.
//   KALVOR_BENCH_DATA=DIR keeps the filled cluster in DIR for the next run.

#include <httplib.h>
#include <signal.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "benchcluster.h"
#include "depotload.h"

namespace {

constexpr int kPort = KALVOR_BENCH_PG_PORT;
constexpr int kLines = 5;
constexpr int kRequests = 100;

long VmHwmKb(qint64 pid) {
  QFile f(QStringLiteral("/proc/%1/status").arg(pid));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  return -1;
}

QByteArray One(const QString& admin, const char* sql) {
  QString error;
  depot::Connection db;
  depot::Result r;
  if (!db.Open(admin, "bench", error) || !db.Query(sql, {}, r, error) || r.Rows() == 0) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return {};
  }
  return r.Value(0, 0);
}

std::string Encoded(const QByteArray& v) { return httplib::detail::encode_query_param(v.toStdString()); }

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const long long total = argc > 1 ? QByteArray(argv[1]).toLongLong() : 10000000;
  // --hold keeps the cluster until stdin ends, to look at its plans.
  const bool hold = argc > 2 && QByteArray(argv[2]) == "--hold";
  bench::Cluster cluster(kPort);
  if (!cluster.ok() || total < kLines * 16) return 1;
  QString error;
  {
    depot::Connection server;
    if (!server.Open(cluster.Conninfo("postgres", "kalvor_admin"), "bench", error) ||
        !server.Exec("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'bench_engineer') "
                     "THEN CREATE ROLE bench_engineer LOGIN; END IF; END $$",
                     error)) {
      std::fprintf(stderr, "%s\n", qPrintable(error));
      return 1;
    }
  }
  const QString admin = cluster.Conninfo("depot", "kalvor_admin");
  const bench::Loaded loaded = bench::PrepareDepot(cluster, "depot", kLines, total);
  if (!loaded.ok) return 1;
  One(admin, "GRANT kalvor_reader TO bench_engineer");
  const QByteArray size = One(admin, "SELECT pg_size_pretty(pg_database_size(current_database()))");

  // The pages' subjects: a record in the middle of line l3, its wagon, a day
  // a month ago, the most measured type.
  const QByteArray id = "l3-" + QByteArray::number(total / kLines / 2);
  const QByteArray at = One(admin, ("SELECT measured_at::text FROM measurements WHERE identifier = '" + id + "'").constData());
  const QByteArray wagon = One(admin, ("SELECT wagon_from FROM measurements WHERE identifier = '" + id + "'").constData());
  const QByteArray day = One(admin, "SELECT (current_date - 30)::text");
  const std::string baseline = "bfrom=" + One(admin, "SELECT (current_date - 90)::text").toStdString() + "&bto=" +
                               One(admin, "SELECT (current_date - 31)::text").toStdString();
  const std::string type = "bogie=1&spring=1";

  QProcess server;
  server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  const int httpPort = 18700 + getpid() % 200;
  server.start(KALVOR_DEPOT, {"serve", "--database", cluster.Conninfo("depot", "kalvor_reader"), "--listen",
                              QStringLiteral("127.0.0.1:%1").arg(httpPort)});
  if (!server.waitForStarted()) return 1;
  httplib::Client client("127.0.0.1", httpPort);
  client.set_read_timeout(60, 0);
  for (int i = 0; i < 100 && !client.Get("/login"); ++i) QThread::msleep(100);

  std::string cookie;
  auto signIn = [&] {
    auto res = client.Post("/login", "user=bench_engineer&password=bench&next=%2F",
                           "application/x-www-form-urlencoded");
    if (!res || res->status != 303) return false;
    const std::string c = res->get_header_value("Set-Cookie");
    cookie = c.substr(0, c.find(';'));
    return true;
  };
  struct PageRun {
    std::string name, path;
  };
  const std::string w = Encoded(wagon);
  const std::vector<PageRun> pages = {
      {"lines", "/"},
      {"lines, baseline picked", "/?" + baseline},
      {"lines.csv", "/lines.csv"},
      {"types, line", "/types?line=l1"},
      {"types, all lines", "/types"},
      {"type, line", "/type?line=l1&" + type},
      {"type, all lines", "/type?" + type},
      {"type.csv chart", "/type.csv?line=l1&" + type + "&p=2&what=chart"},
      {"type.csv hist", "/type.csv?" + type + "&p=2&what=hist"},
      {"type.csv weeks", "/type.csv?" + type + "&p=2&what=weeks"},
      {"type.csv lines", "/type.csv?" + type + "&p=2&what=lines"},
      {"search, wagon", "/search?wagon=" + w},
      {"search, identifier", "/search?id=" + Encoded(id)},
      {"search, day of a line", "/search?line=l2&from=" + day.toStdString() + "&to=" + day.toStdString()},
      {"search.csv, day of a line", "/search.csv?line=l2&from=" + day.toStdString() + "&to=" + day.toStdString()},
      {"record", "/record?line=l3&id=" + Encoded(id) + "&at=" + Encoded(at)},
      {"sets, wagon", "/sets?wagon=" + w},
      {"sets.csv, wagon", "/sets.csv?wagon=" + w},
  };
  const double load = bench::LoadAverage();
  std::printf("depot of %lld measurements and %lld sets (%s), %d lines: loaded in %.0f s, VACUUM ANALYZE %.0f s\n",
              loaded.measurements, loaded.sets, size.constData(), kLines, loaded.seconds, loaded.vacuumSeconds);
  std::printf("%-28s %9s %9s %10s\n", "page", "p50 ms", "p95 ms", "bytes");
  auto report = [](const std::string& name, std::vector<double> ms, size_t bytes) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s %9.1f %9.1f %10zu\n", name.c_str(), ms[ms.size() / 2], ms[ms.size() * 95 / 100], bytes);
  };
  bool failed = false;
  {
    std::vector<double> ms;
    for (int i = 0; i < kRequests; ++i) {
      QElapsedTimer t;
      t.start();
      failed |= !signIn();
      ms.push_back(t.nsecsElapsed() / 1e6);
    }
    report("sign-in", ms, 0);
  }
  for (const PageRun& p : pages) {
    std::vector<double> ms;
    size_t bytes = 0;
    for (int i = 0; i < kRequests; ++i) {
      QElapsedTimer t;
      t.start();
      auto res = client.Get(p.path, {{"Cookie", cookie}});
      ms.push_back(t.nsecsElapsed() / 1e6);
      // A page that answers with an error or without its subject is no figure.
      if (!res || res->status != 200 || res->body.find("Ошибка базы данных") != std::string::npos) {
        std::fprintf(stderr, "%s: %s\n", p.path.c_str(), res ? res->body.substr(0, 300).c_str() : "no answer");
        failed = true;
        break;
      }
      bytes = res->body.size();
    }
    report(p.name, ms, bytes);
    if (p.path == "/") {
      std::sort(ms.begin(), ms.end());
      const double p95 = ms[ms.size() * 95 / 100];
      std::printf("lines page with the attention matrix: p95 %.1f ms, %s 300 ms\n", p95, p95 < 300 ? "under" : "NOT under");
      failed |= p95 >= 300;
    }
  }
  std::printf("server peak resident memory (VmHWM): %.1f MB; load average %.2f before the pages, %.2f after\n",
              VmHwmKb(server.processId()) / 1024.0, load, bench::LoadAverage());
  if (hold) {
    std::printf("holding the database %s until stdin ends\n", qPrintable(admin));
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
  }
  server.terminate();
  server.waitForFinished();
  return failed ? 1 : 0;
}
