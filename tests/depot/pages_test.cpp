// The depot pages called in this process against databases of the private
// cluster: each in a few round trips to the database, and at the railway's
// centre two depots' lines of one name kept apart. (The server keeps
// whether it reads a centre per process, so each test runs in its own.)

#include <QDate>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <httplib.h>

#include "pg/pg.h"
#include "server/dbquery.h"
#include "server/handlers.h"
#include "server/railwayqueries.h"
#include "testsupport.h"

namespace {

QString Conninfo(const QString& db, const QString& user) {
  return QStringLiteral("host=%1 port=%2 dbname=%3 user=%4").arg(KALVOR_PG_HOST, KALVOR_PG_PORT, db, user);
}

// `perDay` springs of type 1/1 a shift on the last 30 shifts, of `line` (of
// `depot`, at the centre), free height and diameter around `centre`, one in
// ten rejected.
QByteArray Springs(const QString& depot, const QString& line, int perDay, double centre) {
  return QStringLiteral(
             "INSERT INTO measurements (%1line, identifier, measured_at, bogie_type, spring_type, kind, emulated,"
             " judged, spring_good, p1_value, p1_measured, p1_min, p1_max, p1_tolerance, p2_value, p2_measured,"
             " p2_min, p2_max, p2_tolerance, wagon_from, source)"
             " SELECT %2'%3', format('%3-%s-%s', d, k), current_date - d + interval '8 hours' + k * interval '1 minute',"
             " 1, 1, 0, false, true, k % 10 <> 0, %4 / 5 + k % 3 * 0.1, true, 45, 55, 0.5, %4 + (k % 5 - 2) * 0.4, true,"
             " 245, 255, 0.5, '5301', 'base' FROM generate_series(0, 29) d, generate_series(0, %5 - 1) k")
      .arg(depot.isEmpty() ? QString() : QStringLiteral("depot, "),
           depot.isEmpty() ? QString() : "'" + depot + "', ", line)
      .arg(centre)
      .arg(perDay)
      .toUtf8();
}

// A fresh database `name` migrated with `extra`, and its admin's connection.
void Fresh(const QString& name, const QStringList& extra, depot::Connection& db) {
  QString error;
  depot::Connection server;
  ASSERT_TRUE(server.Open(Conninfo("postgres", "kalvor_admin"), "test", error)) << qPrintable(error);
  ASSERT_TRUE(server.Exec("DROP DATABASE IF EXISTS " + name.toUtf8() + " WITH (FORCE)", error));
  ASSERT_TRUE(server.Exec("CREATE DATABASE " + name.toUtf8(), error)) << qPrintable(error);
  const QString admin = Conninfo(name, "kalvor_admin");
  ASSERT_EQ(testsupport::Run(KALVOR_SPRINGDATA, QStringList{"db", "migrate", "--database", admin, "--time-zone",
                                                            QString::fromUtf8(QTimeZone::systemTimeZoneId())} +
                                                    extra)
                .exitCode,
            0);
  ASSERT_TRUE(db.Open(admin, "test", error)) << qPrintable(error);
}

// A page as the route table calls it, and the round trips it made.
struct Answered {
  std::string body;
  long long trips = 0;
};
Answered Call(depot::Handler page, const std::multimap<std::string, std::string>& params) {
  httplib::Request req;
  req.params = params;
  httplib::Response res;
  const long long before = depot::RoundTrips();
  page(depot::Request{req, "engineer"}, res);
  return {res.body, depot::RoundTrips() - before};
}

long long Count(depot::Connection& db, const QByteArray& sql) {
  depot::Result r;
  QString error;
  EXPECT_TRUE(db.Query(sql, {}, r, error)) << qPrintable(error);
  return r.Number(0, 0);
}

// The histogram of parameter p of type 1/1 over the last 60 days (of
// `depot`, at the centre), as type.csv gives it: every bar holds SQL's count
// of the values within its edges, and the bars all of them.
void BarsAreSqlCounts(depot::Connection& db, int p, const std::string& depot = {}) {
  const Answered csv = Call(depot::TypeCsv, {{"depot", depot}, {"p", std::to_string(p)}, {"what", "hist"}});
  const QByteArray v = "p" + QByteArray::number(p) + "_value";
  const QByteArray rows = "FROM measurements WHERE NOT emulated AND bogie_type = 1 AND spring_type = 1 AND " + v +
                          " IS NOT NULL AND measured_at >= current_date - 59" +
                          (depot.empty() ? QByteArray() : " AND depot = '" + QByteArray::fromStdString(depot) + "'");
  long long bars = 0, counted = 0;
  for (const QByteArray& line : QByteArray::fromStdString(csv.body).split('\n').mid(1)) {
    const QList<QByteArray> cells = line.trimmed().split(';');
    if (cells.size() != 3) continue;
    const QByteArray from = QByteArray(cells[0]).replace(',', '.'), to = QByteArray(cells[1]).replace(',', '.');
    EXPECT_EQ(cells[2].toLongLong(), Count(db, "SELECT count(*) " + rows + " AND " + v + " >= " + from + " AND " + v +
                                                   " < " + to)) << p << ": " << line.constData();
    ++bars;
    counted += cells[2].toLongLong();
  }
  EXPECT_GE(bars, 20) << csv.body;
  EXPECT_LE(bars, 40);
  EXPECT_EQ(counted, Count(db, "SELECT count(*) " + rows));
}

}  // namespace

TEST(Pages, EachInAtMostSixRoundTrips) {
  depot::Connection db;
  Fresh("pages", {}, db);
  QString error;
  for (const char* line : {"l1", "l2"})
    ASSERT_EQ(testsupport::Run(KALVOR_SPRINGDATA, {"db", "add-line", line, "--database", Conninfo("pages", "kalvor_admin")})
                  .exitCode,
              0);
  ASSERT_TRUE(db.Exec(Springs({}, "l1", 6, 250) + "; " + Springs({}, "l2", 4, 251), error)) << qPrintable(error);
  depot::SetDatabase(Conninfo("pages", "kalvor_reader").toStdString());
  depot::IsCentral();  // asked once a process

  const std::string type = "1", today = QDate::currentDate().toString(Qt::ISODate).toStdString();
  const std::pair<const char*, std::pair<depot::Handler, std::multimap<std::string, std::string>>> pages[] = {
      {"lines", {depot::LinesPage, {}}},
      {"types", {depot::TypesPage, {}}},
      {"types, line", {depot::TypesPage, {{"line", "l1"}}}},
      {"type, all lines", {depot::TypePage, {{"bogie", type}, {"spring", type}}}},
      {"type, line", {depot::TypePage, {{"line", "l1"}, {"bogie", type}, {"spring", type}}}},
      {"type.csv chart", {depot::TypeCsv, {{"line", "l2"}, {"p", "2"}, {"what", "chart"}}}},
      {"type.csv hist", {depot::TypeCsv, {{"p", "1"}, {"what", "hist"}}}},
      {"type.csv lines", {depot::TypeCsv, {{"p", "2"}, {"what", "lines"}}}},
      {"search", {depot::SearchPage, {{"line", "l1"}, {"from", today}, {"to", today}}}},
      {"sets", {depot::SetsPage, {{"wagon", "5301"}}}},
  };
  for (const auto& [name, call] : pages) {
    const Answered a = Call(call.first, call.second);
    EXPECT_GE(a.trips, 1) << name;
    EXPECT_LE(a.trips, 6) << name;
    std::printf("%-16s %lld round trips\n", name, a.trips);
  }
  // The pooled type page has its two lines' charts side by side, both of
  // them filled.
  const Answered pooled = Call(depot::TypePage, {{"bogie", type}, {"spring", type}});
  EXPECT_NE(pooled.body.find("data-line=\"l1\""), std::string::npos);
  EXPECT_NE(pooled.body.find("data-line=\"l2\""), std::string::npos);
  // Parameter 5, not kept by day, counted from the rows on its grid.
  ASSERT_TRUE(db.Exec("UPDATE measurements SET p5_value = length(identifier) * 0.07, p5_min = 0, p5_max = 1,"
                      " p5_tolerance = 0", error)) << qPrintable(error);
  for (int p : {1, 2, 5}) BarsAreSqlCounts(db, p);
  // Pages asked one after another by other workers run on the one kept
  // connection, whose session has planned them before.
  std::set<QByteArray> sessions;
  for (int i = 0; i < 3; ++i)
    std::thread([&] { sessions.insert(depot::Query("SELECT pg_backend_pid()").rows.at(0).at(0).value_or("")); }).join();
  EXPECT_EQ(sessions.size(), 1u);
}

TEST(Pages, CentreKeepsSameNamedLinesOfTwoDepotsApart) {
  depot::Connection db;
  Fresh("pagescentre", {"--central"}, db);
  QString error;
  ASSERT_TRUE(db.Exec("INSERT INTO lines (depot, name, role_name) VALUES ('a', 'l1', 'x_a'), ('b', 'l1', 'x_b'); " +
                          Springs("a", "l1", 6, 250) + "; " + Springs("b", "l1", 4, 252),
                      error))
      << qPrintable(error);
  depot::SetDatabase(Conninfo("pagescentre", "kalvor_reader").toStdString());
  ASSERT_TRUE(depot::IsCentral());
  const long long a = Count(db, "SELECT count(*) FROM measurements WHERE depot = 'a' AND p2_value IS NOT NULL");
  const long long b = Count(db, "SELECT count(*) FROM measurements WHERE depot = 'b' AND p2_value IS NOT NULL");
  auto row = [](const char* line, long long n) {
    return "<tr><td>" + std::string(line) + "</td><td class=\"n\">" + std::to_string(n) + "</td>";
  };

  // Every depot: the two lines apart, in the charts and in the table by line.
  const Answered all = Call(depot::TypePage, {{"bogie", "1"}, {"spring", "1"}});
  EXPECT_NE(all.body.find("data-line=\"a/l1\""), std::string::npos);
  EXPECT_NE(all.body.find("data-line=\"b/l1\""), std::string::npos);
  EXPECT_NE(all.body.find(row("a/l1", a)), std::string::npos);
  EXPECT_NE(all.body.find(row("b/l1", b)), std::string::npos);
  EXPECT_LE(all.trips, 6);

  // Depot b's line: its records only, the depot named and kept in the links.
  const Answered one = Call(depot::TypePage, {{"depot", "b"}, {"line", "l1"}, {"bogie", "1"}, {"spring", "1"}});
  EXPECT_NE(one.body.find("депо b"), std::string::npos);
  EXPECT_NE(one.body.find(row("b/l1", b)), std::string::npos);
  EXPECT_EQ(one.body.find("a/l1"), std::string::npos);
  EXPECT_NE(one.body.find("/type.csv?depot=b&amp;line=b%2Fl1"), std::string::npos);

  // The types page lists both lines under their depots.
  const Answered types = Call(depot::TypesPage, {});
  EXPECT_NE(types.body.find("<td class=\"lines\">a/l1,b/l1</td>"), std::string::npos) << types.body;
  BarsAreSqlCounts(db, 2);
  BarsAreSqlCounts(db, 2, "b");
  // A row added and another deleted of one day in one transaction: the day
  // counted anew, the added row once.
  ASSERT_TRUE(db.Exec("INSERT INTO measurements (depot, line, identifier, measured_at, bogie_type, spring_type, kind,"
                      " emulated, p2_value, source) VALUES ('b', 'l1', 'added', current_date - 3 + interval '14 hours',"
                      " 1, 1, 0, false, 251.3, 'base'); DELETE FROM measurements WHERE depot = 'b' AND identifier = 'l1-3-0'",
                      error)) << qPrintable(error);
  BarsAreSqlCounts(db, 2, "b");
}
