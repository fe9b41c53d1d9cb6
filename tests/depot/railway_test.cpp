// A railway of two depots replicated into a central database, on three
// private clusters with logical WAL: depot a on the tests' cluster, depot b
// and the centre on clusters of their own (the next two ports). Lines of
// both depots sync; the centre holds every row exactly once, also after it
// was away while the depots went on; a depot's role at the centre cannot
// write another depot's rows; the central page in Chromium.

#include <QDate>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>
#include <future>
#include <map>
#include <gtest/gtest.h>


#include "browser.h"
#include "database/recordfile.h"
#include "database/records.h"
#include "pg/pg.h"
#include "platform/clock.h"
#include "testsupport.h"

namespace {

const QString kCluster = KALVOR_SOURCE_DIR + "/tests/support/pg-cluster.sh";

struct Site {
  QString host;
  int port;
  QString Conninfo(const QString& user, const QString& db = "railway") const {
    return QStringLiteral("host=%1 port=%2 dbname=%3 user=%4").arg(host).arg(port).arg(db, user);
  }
};

bool ClusterCommand(const QStringList& args) {
  const auto r = testsupport::Run("sh", QStringList{kCluster} + args, 120000);
  return r.exitCode == 0;
}

// A spring of the given line measured today, `n` minutes after midnight.
MeasurementRecord Spring(const QString& id, int n, const QString& wagon) {
  MeasurementRecord r;
  r.Identifier = id;
  r.BogieType = 1;
  r.SpringType = 1;
  r.Date = plat::DateTimeToDays(QDateTime(QDate::currentDate(), QTime(0, 0).addSecs(60 * n)));
  for (int p = 1; p <= 6; ++p) r.Param[p].Value = 10.0f + p + n % 7;
  r.WagonFrom = wagon;
  return r;
}

// Runs chains of springdata commands side by side, the commands of a chain
// one after another; the reasons of the chains that failed, one a line.
QString Together(const std::vector<std::vector<QStringList>>& chains) {
  std::vector<std::future<QString>> done;
  for (const auto& chain : chains)
    done.push_back(std::async(std::launch::async, [chain] {
      for (const QStringList& args : chain) {
        const auto r = testsupport::Run(KALVOR_SPRINGDATA, args);
        if (r.exitCode != 0) return args.join(' ') + ": " + r.err;
      }
      return QString();
    }));
  QStringList failed;
  for (auto& d : done)
    if (const QString why = d.get(); !why.isEmpty()) failed << why;
  return failed.join('\n');
}

class Railway : public ::testing::Test {
 protected:
  // Beside the tests' cluster, whose folder is open to its owner. The
  // cluster fixture starts the two others with it and keeps them for the
  // run (the centre halted by a test that failed midway starts again here);
  // they and the browser come up side by side.
  void SetUp() override {
    b = {KALVOR_PG_HOST + "-b", KALVOR_PG_PORT.toInt() + 1};
    centre = {KALVOR_PG_HOST + "-c", KALVOR_PG_PORT.toInt() + 2};
    std::vector<std::unique_ptr<QProcess>> starts;
    for (const Site* s : {&b, &centre}) {
      starts.push_back(std::make_unique<QProcess>());
      starts.back()->start("sh", {kCluster, "up", s->host, QString::number(s->port)});
    }
    // The browser's page is made while the databases are: the test's
    // thread leaves the browser alone until it takes `attached`.
    ASSERT_TRUE(browser.Launch(KALVOR_PG_HOST + "/browser"));
    attached = std::async(std::launch::async, [this] { return browser.Attach(); });
    for (auto& p : starts)
      ASSERT_TRUE(p->waitForFinished(120000) && p->exitCode() == 0) << p->readAllStandardError().constData();
  }
  // The centre's subscriptions end with the test: their senders would
  // otherwise read every later test's WAL on depot a's cluster.
  void TearDown() override {
    QString error;
    EXPECT_TRUE(DropSubscriptions(centre, error)) << qPrintable(error);
  }
  // Each subscription of the centre's railway database with its slot at the
  // depot; a slot the depot lost, or a depot not reached, leaves the slot
  // (an inactive one, which the next renewal drops).
  static bool DropSubscriptions(const Site& s, QString& error) {
    depot::Connection c;
    depot::Result r;
    if (!c.Open(s.Conninfo("kalvor_admin", "postgres"), "test", error) ||
        !c.Query("SELECT 1 FROM pg_database WHERE datname = 'railway'", {}, r, error))
      return false;
    if (r.Rows() == 0) return true;
    if (!c.Open(s.Conninfo("kalvor_admin"), "test", error) ||
        !c.Query("SELECT subname FROM pg_subscription WHERE subdbid = (SELECT oid FROM pg_database WHERE "
                 "datname = current_database())", {}, r, error))
      return false;
    for (int i = 0; i < r.Rows(); ++i) {
      const QByteArray name = "\"" + r.Value(i, 0) + "\"";
      QString ignored;
      if (!c.Exec("ALTER SUBSCRIPTION " + name + " DISABLE", error)) return false;
      if (!c.Exec("DROP SUBSCRIPTION " + name, ignored) &&
          !(c.Exec("ALTER SUBSCRIPTION " + name + " SET (slot_name = NONE)", error) &&
            c.Exec("DROP SUBSCRIPTION " + name, error)))
        return false;
    }
    return true;
  }

  testsupport::RunResult Springdata(const QStringList& args) {
    auto r = testsupport::Run(KALVOR_SPRINGDATA, args);
    EXPECT_EQ(r.exitCode, 0) << qPrintable(args.join(' ')) << ": " << qPrintable(r.err);
    return r;
  }

  // The first value of a query as the site's administrator, on a session
  // kept for the test (the polls below would otherwise start a backend
  // for each), opened again after its cluster was away.
  QByteArray Value(const Site& s, const QByteArray& sql) {
    depot::Connection& c = sessions[&s];
    depot::Result r;
    QString error;
    bool ok = c.Healthy() && c.Query(sql, {}, r, error);
    if (!ok && !c.Healthy())
      ok = c.Open(s.Conninfo("kalvor_admin"), "test", error) && c.Query(sql, {}, r, error);
    EXPECT_TRUE(ok) << qPrintable(error);
    return r.Value(0, 0);
  }

  void Append(const QString& home, const char* file, const std::vector<MeasurementRecord>& rs) {
    QByteArray bytes;
    for (const auto& r : rs) bytes += EncodeMeasurementRecord(r);
    QString error;
    ASSERT_TRUE(recfile::Append(home + "/Report/" + file, kMeasurementRecordSize, bytes, error)) << qPrintable(error);
  }

  // Both depots' line l1 syncs, side by side.
  void SyncBoth(const std::map<QString, QString>& homes) {
    std::vector<std::vector<QStringList>> chains;
    for (auto [site, code] : {std::pair{&a, "a"}, std::pair{&b, "b"}})
      chains.push_back({{"sync", "--home", homes.at(code), "--database", site->Conninfo("kalvor_line_l1"), "--line",
                         "l1", "--quiet"}});
    const QString failed = Together(chains);
    EXPECT_TRUE(failed.isEmpty()) << qPrintable(failed);
  }

  // The rows of one depot, counted and summed up as text, at that depot or
  // at the centre.
  QByteArray Fingerprint(const Site& s, const QString& code) {
    return Value(s, "SELECT (SELECT count(*) || ' ' || coalesce(md5(string_agg(m::text, '|' ORDER BY identifier, "
                    "measured_at)), '') FROM measurements m WHERE depot = '" + code.toUtf8() + "') || ' / ' ||"
                    " (SELECT count(*) || ' ' || coalesce(md5(string_agg(t::text, '|' ORDER BY position)), '')"
                    " FROM sets t WHERE depot = '" + code.toUtf8() + "')");
  }

  // Polls until the centre holds what the depots hold; the time it took.
  qint64 CatchUp(int timeoutMs, bool withB = true) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
      if (Fingerprint(centre, "a") == Fingerprint(a, "a") && (!withB || Fingerprint(centre, "b") == Fingerprint(b, "b")))
        return t.elapsed();
      QThread::msleep(50);
    }
    return -1;
  }

  static inline QTemporaryDir* scratch = new QTemporaryDir;
  static inline Site a{KALVOR_PG_HOST, KALVOR_PG_PORT.toInt()}, b, centre;
  testsupport::Browser browser;
  std::future<bool> attached;
  std::map<const Site*, depot::Connection> sessions;
};

TEST_F(Railway, DepotsReplicateIntoTheCentreExactlyOnceAndTheCentralPageShowsThem) {
  const QString zone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
  std::map<QString, QString> homes;
  std::vector<std::vector<QStringList>> setups;
  std::vector<std::future<bool>> installs;
  // Each cluster's database made anew, the three side by side.
  std::vector<std::future<QString>> renewed;
  for (const Site* site : {&a, &b, &centre})
    renewed.push_back(std::async(std::launch::async, [site] {
      depot::Connection server;
      QString error;
      // The centre's subscriptions of a run that ended midway go first: a
      // database with subscriptions is not dropped.
      if ((site == &centre && !DropSubscriptions(centre, error)) ||
          !server.Open(site->Conninfo("kalvor_admin", "postgres"), "test", error))
        return error;
      // A subscription of an earlier run holds its slot at a depot's cluster.
      server.Exec("SELECT pg_drop_replication_slot(slot_name) FROM pg_replication_slots WHERE NOT active", error);
      if (!server.Exec("DROP DATABASE IF EXISTS railway WITH (FORCE)", error) ||
          !server.Exec("DROP ROLE IF EXISTS railway_engineer", error) ||
          !server.Exec("CREATE DATABASE railway", error))
        return error;
      // Depot b's small WAL keep of an earlier run is undone.
      if (site == &b && (!server.Exec("ALTER SYSTEM RESET max_slot_wal_keep_size", error) ||
                         !server.Exec("SELECT pg_reload_conf()", error)))
        return error;
      // The centre retries a failed worker at once, not after 5 s.
      if (site == &centre && (!server.Exec("ALTER SYSTEM SET wal_retrieve_retry_interval = '50ms'", error) ||
                              !server.Exec("SELECT pg_reload_conf()", error)))
        return error;
      return QString();
    }));
  for (auto& done : renewed)
    if (const QString error = done.get(); !error.isEmpty()) FAIL() << qPrintable(error);
  for (auto [site, code] : {std::pair{&a, "a"}, std::pair{&b, "b"}, std::pair{&centre, "c"}}) {
    if (site == &centre) {
      setups.push_back({{"db", "migrate", "--database", centre.Conninfo("kalvor_admin"), "--time-zone", zone,
                         "--central"}});
      continue;
    }
    homes[code] = scratch->filePath(QStringLiteral("home_") + code);
    installs.push_back(std::async(std::launch::async, testsupport::MakeInstallation, homes[code]));
    // Both depots have a line l1; the centre keeps them apart.
    setups.push_back({{"db", "migrate", "--database", site->Conninfo("kalvor_admin"), "--time-zone", zone, "--depot", code},
                      {"db", "add-line", "l1", "--database", site->Conninfo("kalvor_admin")},
                      {"db", "publish", "--database", site->Conninfo("kalvor_admin")}});
  }
  const QString setupFailed = Together(setups);
  ASSERT_TRUE(setupFailed.isEmpty()) << qPrintable(setupFailed);
  for (auto& made : installs) ASSERT_TRUE(made.get());
  // The code is given once; a line's role cannot name another depot.
  EXPECT_NE(testsupport::Run(KALVOR_SPRINGDATA, {"db", "migrate", "--database", a.Conninfo("kalvor_admin"),
                                                 "--depot", "z"}).exitCode, 0);
  {
    depot::Connection line;
    QString error;
    ASSERT_TRUE(line.Open(a.Conninfo("kalvor_line_l1"), "test", error));
    EXPECT_FALSE(line.Exec("INSERT INTO measurements (depot, line, identifier, measured_at) "
                           "VALUES ('b', 'l1', 'x', now())", error));
  }
  std::vector<MeasurementRecord> recordsA, recordsB;
  for (int n = 0; n < 40; ++n) recordsA.push_back(Spring(QStringLiteral("A-%1").arg(n), n, "11112222"));
  for (int n = 0; n < 25; ++n) recordsB.push_back(Spring(QStringLiteral("B-%1").arg(n), n, n < 3 ? "99887766" : "3"));
  Append(homes["a"], "base.bin", recordsA);
  Append(homes["b"], "base.bin", recordsB);
  SetRecord set;
  set.BogieNumber = "Т-5";
  set.Date = QDate::currentDate().toString("ddMMyyyy");
  set.WagonTo = "99887766";
  QString error;
  ASSERT_TRUE(recfile::Append(homes["b"] + "/Report/Tel.bin", kSetRecordSize, EncodeSetRecord(set), error));
  SyncBoth(homes);

  // The centre subscribes to both depots side by side.
  std::vector<std::vector<QStringList>> subscribes;
  for (auto [site, code] : {std::pair{&a, "a"}, std::pair{&b, "b"}})
    subscribes.push_back({{"db", "subscribe", "--database", centre.Conninfo("kalvor_admin"), "--depot", code,
                           "--from", site->Conninfo("kalvor_replication")}});
  const QString subscribeFailed = Together(subscribes);
  ASSERT_TRUE(subscribeFailed.isEmpty()) << qPrintable(subscribeFailed);
  ASSERT_GE(CatchUp(60000), 0) << Fingerprint(centre, "a").constData() << " " << Fingerprint(centre, "b").constData();
  EXPECT_TRUE(Fingerprint(centre, "b").startsWith("25 ")) << Fingerprint(centre, "b").constData();

  // The centre is away: both depots sync more and change shift (day.bin
  // emptied into base.bin: the same rows, not new ones). Depot b keeps
  // little WAL for a slot, so its slot is lost while the centre is away.
  ASSERT_TRUE(ClusterCommand({"halt", centre.host}));
  Value(b, "ALTER SYSTEM SET max_slot_wal_keep_size = '1MB'");
  Value(b, "SELECT pg_reload_conf()");
  std::vector<MeasurementRecord> dayA, dayB;
  for (int n = 40; n < 60; ++n) dayA.push_back(Spring(QStringLiteral("A-%1").arg(n), n, "11112222"));
  for (int n = 25; n < 35; ++n) dayB.push_back(Spring(QStringLiteral("B-%1").arg(n), n, "3"));
  Append(homes["a"], "day.bin", dayA);
  Append(homes["b"], "day.bin", dayB);
  SyncBoth(homes);
  Append(homes["a"], "base.bin", dayA);
  Append(homes["b"], "base.bin", dayB);
  ASSERT_TRUE(QFile::resize(homes["a"] + "/Report/day.bin", 0) && QFile::resize(homes["b"] + "/Report/day.bin", 0));
  SyncBoth(homes);
  for (int i = 0; i < 3; ++i) Value(b, "SELECT pg_logical_emit_message(false, 'x', 'y'), pg_switch_wal()");
  Value(b, "CHECKPOINT");
  EXPECT_EQ(Value(b, "SELECT wal_status FROM pg_replication_slots WHERE slot_name = 'kalvor_depot_b'"), "lost");
  ASSERT_TRUE(ClusterCommand({"resume", centre.host, QString::number(centre.port)}));
  const qint64 caughtUp = CatchUp(60000, false);
  ASSERT_GE(caughtUp, 0) << Fingerprint(centre, "a").constData() << " vs " << Fingerprint(a, "a").constData();
  std::fprintf(stderr, "the centre caught up with depot a in %lld ms\n", static_cast<long long>(caughtUp));
  EXPECT_TRUE(Fingerprint(centre, "a").startsWith("60 ")) << Fingerprint(centre, "a").constData();
  // The centre is told, and copies depot b anew: exactly once all the same.
  const QStringList subscribeB = {"db", "subscribe", "--database", centre.Conninfo("kalvor_admin"), "--depot", "b",
                                  "--from", b.Conninfo("kalvor_replication")};
  const auto told = testsupport::Run(KALVOR_SPRINGDATA, subscribeB);
  EXPECT_EQ(told.exitCode, 1);
  EXPECT_TRUE(told.err.contains("slot is lost") && told.err.contains("--recopy")) << qPrintable(told.err);
  EXPECT_EQ(Value(centre, "SELECT slot_lost_at IS NOT NULL FROM railway_depots WHERE code = 'b'"), "t");
  Springdata(subscribeB + QStringList{"--recopy"});
  ASSERT_GE(CatchUp(60000), 0) << Fingerprint(centre, "b").constData() << " vs " << Fingerprint(b, "b").constData();
  EXPECT_TRUE(Fingerprint(centre, "b").startsWith("35 ")) << Fingerprint(centre, "b").constData();
  // The summaries of the centre count every row once.
  EXPECT_EQ(Value(centre, "SELECT sum(records) FROM measurement_hours"), "95");

  // Depot a's role at the centre (the one its rows are applied as) cannot
  // write rows of depot b.
  {
    depot::Connection c;
    depot::Result r;
    ASSERT_TRUE(c.Open(centre.Conninfo("kalvor_admin"), "test", error) && c.Exec("SET ROLE kalvor_depot_a", error));
    EXPECT_FALSE(c.Query("INSERT INTO measurements (depot, line, identifier, measured_at) VALUES ('b', 'l1', 'x', now())",
                         {}, r, error));
    EXPECT_EQ(r.State(), "42501") << qPrintable(error);
  }

  // The page over the railway, read by an engineer of the centre.
  Value(centre, "CREATE ROLE railway_engineer LOGIN IN ROLE kalvor_reader");
  const int port = 19000 + getpid() % 1000;
  QProcess server;
  server.start(KALVOR_DEPOT, {"serve", "--database", centre.Conninfo("kalvor_reader"), "--listen",
                              QStringLiteral("127.0.0.1:%1").arg(port)});
  ASSERT_TRUE(server.waitForStarted());
  const QString site = QStringLiteral("http://127.0.0.1:%1").arg(port);
  ASSERT_TRUE(testsupport::WaitForLoopbackPort(port));
  ASSERT_TRUE(attached.get());
  ASSERT_TRUE(browser.Go(site + "/"));
  ASSERT_TRUE(browser.Load([&] {
    browser.Eval("document.querySelector('[name=user]').value = 'railway_engineer';"
                 "document.querySelector('[name=password]').value = 'x';"
                 "document.querySelector('#signin').click()");
  }));
  const QJsonArray rows = browser.Eval(
      "[...document.querySelectorAll('#depots tr[data-depot]')].map(tr => [tr.dataset.depot,"
      " tr.querySelector('.lines').textContent, tr.querySelector('.today').textContent,"
      " tr.querySelector('.week').textContent, tr.className])").toArray();
  ASSERT_EQ(rows.size(), 2) << qPrintable(browser.Eval("document.body.innerText").toString());
  for (const QJsonValue& row : rows) {
    const QByteArray code = row[0].toString().toUtf8();
    const QByteArray counts = Value(centre, "SELECT (SELECT count(*) FROM lines WHERE depot = '" + code + "') || ' ' ||"
                                            " count(*) FILTER (WHERE measured_at >= current_date) || ' ' ||"
                                            " count(*) FILTER (WHERE measured_at >= date_trunc('week', current_date))"
                                            " FROM measurements WHERE depot = '" + code + "' AND NOT emulated");
    EXPECT_EQ(QStringList({row[1].toString(), row[2].toString(), row[3].toString()}).join(' '), QString(counts));
    EXPECT_EQ(row[4].toString(), "") << "a depot heard from just now is not flagged";
  }
  browser.Screenshot(scratch->filePath("railway-depots.png"), 400);
  if (qEnvironmentVariableIsSet("KALVOR_UPDATE_SCREENS"))
    browser.Screenshot(KALVOR_SOURCE_DIR + "/docs/screens/depot-railway.png", 400);

  // Both depots' line l1 in one search at the centre, kept apart by depot,
  // and one depot alone; each record's link names its depot.
  const QString day = QDate::currentDate().toString(Qt::ISODate);
  const auto searched = [&](const QString& depot) {
    EXPECT_TRUE(browser.Go(site + "/search?line=l1&from=" + day + "&to=" + day + "&depot=" + depot));
    return browser.Eval("[...document.querySelectorAll('#results tr[data-depot]')].map(tr => tr.dataset.depot + ' ' +"
                        " tr.querySelector('.depot').textContent + ' ' + new URLSearchParams("
                        "tr.querySelector('a').search).get('depot')).sort().join()").toString();
  };
  QStringList both;
  for (const char* code : {"a", "b"})
    for (int n = Value(centre, "SELECT count(*) FROM measurements WHERE line = 'l1' AND depot = '" + QByteArray(code) +
                                   "' AND measured_at >= current_date").toInt(); n > 0; --n)
      both << QStringLiteral("%1 %1 %1").arg(code);
  EXPECT_EQ(searched(""), both.join(','));
  EXPECT_EQ(searched("b"), both.filter("b").join(','));
  // A wagon measured in depot b is found from the centre through the one
  // search (the old wagon link leads there), its set through its link.
  ASSERT_TRUE(browser.Go(site + "/wagon?wagon=99887766"));
  EXPECT_EQ(browser.Eval("[...document.querySelectorAll('#results tr[data-depot]')].map(tr => tr.dataset.depot).join()")
                .toString(), "b,b,b");  // three springs taken from it
  ASSERT_TRUE(browser.Go(site + "/sets?wagon=99887766"));
  EXPECT_EQ(browser.Eval("[...document.querySelectorAll('#sets tr[data-depot]')].map(tr => tr.dataset.depot).join()")
                .toString(), "b");  // one set fitted to it

  // The attention matrix keeps line l1 of each depot apart; ?depot= shows one.
  for (const QString query : {"/lines", "/lines?depot=b"}) {
    ASSERT_TRUE(browser.Go(site + query));
    EXPECT_EQ(browser.Eval("[...document.querySelectorAll('#matrix tr[data-depot]')]"
                           ".map(tr => tr.dataset.depot + ':' + tr.querySelector('th').textContent).join(' ')").toString(),
              query == "/lines" ? "a:a · l1 b:b · l1" : "b:l1");
    // Each cell leads to the type page of its own depot's line.
    EXPECT_EQ(browser.Eval("[...document.querySelectorAll('#matrix tr[data-depot] a')].every(a =>"
                           " new URLSearchParams(a.search).get('depot') === a.closest('tr').dataset.depot)").toBool(),
              true);
  }
  server.kill();
  server.waitForFinished();
}

// A depot stamped with its code only after it has rows gives them the code.
// On the tests' own cluster: a database of one depot, no railway around it.
TEST(DepotCode, AStampGivenLateGoesToTheRowsAlreadyThere) {
  const Site site{KALVOR_PG_HOST, KALVOR_PG_PORT.toInt()};
  const QString admin = site.Conninfo("kalvor_admin", "unstamped");
  depot::Connection server, c;
  depot::Result r;
  QString error;
  ASSERT_TRUE(server.Open(site.Conninfo("kalvor_admin", "postgres"), "test", error)) << qPrintable(error);
  ASSERT_TRUE(server.Exec("DROP DATABASE IF EXISTS unstamped WITH (FORCE)", error) &&
              server.Exec("CREATE DATABASE unstamped", error)) << qPrintable(error);
  const auto migrate = [&](const QStringList& extra) {
    const auto run = testsupport::Run(KALVOR_SPRINGDATA, QStringList{"db", "migrate", "--database", admin} + extra);
    EXPECT_EQ(run.exitCode, 0) << qPrintable(run.err);
  };
  migrate({"--time-zone", QString::fromUtf8(QTimeZone::systemTimeZoneId())});
  ASSERT_TRUE(c.Open(admin, "test", error) && c.Exec("INSERT INTO lines (name, role_name) VALUES ('x', 'x')", error))
      << qPrintable(error);
  migrate({"--depot", "late"});
  ASSERT_TRUE(c.Query("SELECT string_agg(depot, ',') FROM lines", {}, r, error)) << qPrintable(error);
  EXPECT_EQ(r.Value(0, 0), "late");
  EXPECT_TRUE(server.Exec("DROP DATABASE unstamped WITH (FORCE)", error)) << qPrintable(error);
}

}  // namespace
