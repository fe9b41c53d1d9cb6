// The statuses of line × spring type against planted shifts in a database of
// the private cluster: each reason at its threshold, through the server's
// own function over the summaries the insert trigger keeps.

#include <QDate>
#include <QTimeZone>
#include <gtest/gtest.h>

#include "pg/migrations.h"
#include "pg/pg.h"
#include "server/attention.h"
#include "server/dbquery.h"
#include "testsupport.h"

namespace {

QString Conninfo(const QString& db, const QString& user) {
  return QStringLiteral("host=%1 port=%2 dbname=%3 user=%4").arg(KALVOR_PG_HOST, KALVOR_PG_PORT, db, user);
}

// Springs of line a, type 1/`spring`, on `days` shifts ending `last` days
// ago, ten a shift at values centre + the shift's offset + ±(0.3, 0.6, 0.9,
// 1.2, 1.5)·spread; `rejected` of each shift judged not good. Norms 245..255.
QByteArray Shifts(int spring, int days, int last, const QByteArray& offset, double spread, int rejected) {
  return QStringLiteral(
             "INSERT INTO measurements (line, identifier, measured_at, bogie_type, spring_type, kind, emulated, judged,"
             " spring_good, p2_value, p2_measured, p2_min, p2_max, p2_tolerance, source)"
             " SELECT 'a', format('%1-%s-%s', d, k), current_date - d + interval '8 hours' + k * interval '1 minute',"
             " 1, %1, 0, false, true, k >= %6, 250 + (%4) + %5 * (0.3 * (1 + k / 2)) * (CASE WHEN k % 2 = 0 THEN 1 ELSE -1 END),"
             " true, 245, 255, 0, 'base' FROM generate_series(%3, %3 + %2 - 1) d, generate_series(0, 9) k")
      .arg(spring)
      .arg(days)
      .arg(last)
      .arg(QString::fromUtf8(offset))
      .arg(spread)
      .arg(rejected)
      .toUtf8();
}

TEST(Attention, EachReasonAtItsThreshold) {
  QString error;
  depot::Connection server;
  ASSERT_TRUE(server.Open(Conninfo("postgres", "kalvor_admin"), "test", error)) << qPrintable(error);
  ASSERT_TRUE(server.Exec("DROP DATABASE IF EXISTS attention WITH (FORCE)", error));
  ASSERT_TRUE(server.Exec("CREATE DATABASE attention", error)) << qPrintable(error);
  const QString admin = Conninfo("attention", "kalvor_admin");
  ASSERT_EQ(testsupport::Run(KALVOR_SPRINGDATA, {"db", "migrate", "--database", admin, "--time-zone",
                                                  QString::fromUtf8(QTimeZone::systemTimeZoneId())}).exitCode, 0);
  ASSERT_EQ(testsupport::Run(KALVOR_SPRINGDATA, {"db", "add-line", "a", "--database", admin}).exitCode, 0);
  depot::Connection db;
  ASSERT_TRUE(db.Open(admin, "test", error)) << qPrintable(error);
  for (const QByteArray& sql : {
           // 1: steady, s ≈ 1,0 (Cpk ≈ 1,6): green.
           Shifts(1, 30, 0, "0", 1, 0),
           // 2: the last two shifts 0,85 high, 2,5 σ/√n (σ ≈ 1,08): rule 2 alone, amber.
           Shifts(2, 28, 2, "0.05 * (d % 2 * 2 - 1)", 1, 0) + "; " +
               Shifts(2, 2, 0, "0.85", 1, 0),
           // 3: steady but wide, s ≈ 1,4 (Cpk ≈ 1,17): amber by the month's Cpk.
           Shifts(3, 30, 0, "0", 1.4, 0),
           // 4: nothing for the last 3 days: amber, silent.
           Shifts(4, 20, 3, "0", 1, 0),
           // 5: one rejected in ten in the baseline, two in ten lately: red.
           Shifts(5, 25, 5, "0", 1, 1) + "; " + Shifts(5, 5, 0, "0", 1, 2),
       })
    ASSERT_TRUE(db.Exec(sql, error)) << qPrintable(error);

  depot::SetDatabase(Conninfo("attention", "kalvor_reader").toStdString());
  const QDate today = QDate::currentDate();
  const std::vector<depot::Cell> cells = depot::Attention({today.addDays(-29), today, {}, {}});
  ASSERT_EQ(cells.size(), 5u);
  std::map<int, const depot::Cell*> by;
  for (const depot::Cell& c : cells) by[c.spring] = &c;
  auto reasons = [&](int spring) {
    QStringList out;
    for (const depot::Reason& r : by[spring]->reasons) out << r.text;
    return out.join("; ");
  };
  EXPECT_EQ(by[1]->status, depot::Status::Green) << qPrintable(reasons(1));
  EXPECT_EQ(by[1]->baseFrom, today.addDays(-29));
  EXPECT_EQ(by[1]->baseTo, today.addDays(-10));
  EXPECT_EQ(by[2]->status, depot::Status::Amber);
  EXPECT_EQ(reasons(2), "X̄ высоты: правило 2 (последнее " + today.toString("dd.MM") + ")");
  EXPECT_EQ(by[3]->status, depot::Status::Amber);
  ASSERT_EQ(by[3]->reasons.size(), 1u) << qPrintable(reasons(3));
  EXPECT_EQ(by[3]->reasons[0].kind, depot::Reason::Capability);
  EXPECT_GT(by[3]->reasons[0].value, depot::kCpkRed);
  EXPECT_EQ(by[4]->status, depot::Status::Amber);
  EXPECT_EQ(reasons(4), "нет замеров 2 дня, последний " + today.addDays(-3).toString("dd.MM.yyyy"));
  EXPECT_EQ(by[5]->status, depot::Status::Red);
  EXPECT_EQ(reasons(5), "брак 20,0 % за 5 смен при 10,0 % в базовом периоде");
  // Worst first: the red, then the three amber by type, the green last.
  EXPECT_EQ(cells.front().spring, 5);
  EXPECT_EQ(cells.back().spring, 1);

  // A baseline picked that holds type 2's high shifts: its centre lies above
  // the shifts before them, eight of which in a row break rule 4 instead.
  const std::vector<depot::Cell> picked = depot::Attention({today.addDays(-29), today, today.addDays(-5), today});
  for (const depot::Cell& c : picked) {
    if (c.spring != 2) continue;
    EXPECT_EQ(c.baseFrom, today.addDays(-5));
    ASSERT_EQ(c.reasons.size(), 1u);
    EXPECT_EQ(c.reasons[0].text, "X̄ высоты: правило 4 (последнее " + today.addDays(-2).toString("dd.MM") + ")");
  }
}

// The daily summaries of rows inserted before they existed (the migration's
// back-fill), after (the insert trigger) and some deleted or changed
// (counted anew) equal a direct count over the rows, by day of the
// database's zone; so do the values' cells.
TEST(Attention, DaysEqualTheRows) {
  QString error;
  depot::Connection server;
  ASSERT_TRUE(server.Open(Conninfo("postgres", "kalvor_admin"), "test", error)) << qPrintable(error);
  ASSERT_TRUE(server.Exec("DROP DATABASE IF EXISTS days WITH (FORCE)", error));
  ASSERT_TRUE(server.Exec("CREATE DATABASE days", error) && server.Exec(
      "ALTER DATABASE days SET timezone TO 'Asia/Vladivostok'", error)) << qPrintable(error);
  depot::Connection db;
  ASSERT_TRUE(db.Open(Conninfo("days", "kalvor_admin"), "test", error)) << qPrintable(error);
  ASSERT_TRUE(db.Exec("CREATE TABLE schema_migrations (version integer PRIMARY KEY, applied_at timestamptz NOT NULL"
                      " DEFAULT now())", error));
  for (const depot::MigrationFile& f : depot::MigrationFiles())
    if (depot::MigrationVersion(f) < 9) {
      ASSERT_TRUE(db.Exec(f.sql, error) && db.Exec("INSERT INTO schema_migrations VALUES (" +
                                                   QByteArray::number(depot::MigrationVersion(f)) + ")", error))
          << f.name << ": " << qPrintable(error);
    }
  // Every 37 minutes over 4 days, two lines, two types, two norms of free
  // height, some emulated, quick (no free height) or not judged.
  auto rows = [](int from, int to) {
    return QStringLiteral(
               "INSERT INTO measurements (line, identifier, measured_at, bogie_type, spring_type, bogie_name,"
               " spring_name, kind, emulated, judged, spring_good, p1_value, p1_measured, p2_value, p2_measured,"
               " p2_min, p2_max, p2_tolerance, p5_value, source) SELECT l, l || i, timestamptz '2026-03-01 00:00+00'"
               " + i * interval '37 minutes', 1, 1 + i % 2, 'b' || i % 3, 's' || i % 5, i % 7 / 6, i % 11 = 0,"
               " i % 3 > 0, i % 4 > 0, 80 + (i * 7919 % 100) / 50.0, i % 13 > 0, 250 + (i * 104729 % 97) / 31.0,"
               " true, 245 + i / 100, 255, 0, i % 17, 'base' FROM generate_series(%1, %2) i,"
               " (VALUES ('a'), ('b')) v(l)").arg(from).arg(to).toUtf8();
  };
  ASSERT_TRUE(db.Exec(rows(0, 99), error)) << qPrintable(error);
  QStringList applied;
  ASSERT_TRUE(depot::Migrate(db, applied, error)) << qPrintable(error);
  ASSERT_TRUE(db.Exec(rows(100, 159), error) && db.Exec(rows(80, 99).replace("l || i", "l || i || 'x'"), error) &&
              db.Exec("DELETE FROM measurements WHERE identifier IN ('a7', 'b120')", error) &&
              db.Exec("UPDATE measurements SET p2_value = p2_value + 1.5, measured_at = measured_at + interval '1 day'"
                      " WHERE identifier IN ('a130', 'b10')", error)) << qPrintable(error);

  depot::Result r;
  ASSERT_TRUE(db.Query(
      "SELECT (SELECT count(*) FROM measurement_days), (SELECT count(*) FROM measurement_param_days),"
      " (SELECT count(*) FROM (SELECT depot, line, date(measured_at), bogie_type, spring_type,"
      "   count(*) FILTER (WHERE NOT emulated), count(*) FILTER (WHERE NOT emulated AND judged),"
      "   count(*) FILTER (WHERE NOT emulated AND spring_good), count(*) FILTER (WHERE emulated),"
      "   max(bogie_name) FILTER (WHERE NOT emulated), max(spring_name) FILTER (WHERE NOT emulated), max(bogie_name),"
      "   max(spring_name), max(measured_at) FILTER (WHERE NOT emulated) FROM measurements GROUP BY 1, 2, 3, 4, 5"
      "   EXCEPT SELECT depot, line, day, bogie_type, spring_type, records, judged, good, emulated, bogie_name,"
      "   spring_name, any_bogie_name, any_spring_name, last_measured FROM measurement_days) x),"
      " (SELECT count(*) FILTER (WHERE s.n IS NULL OR (d.n, d.lowest, d.highest, d.last_judged) IS DISTINCT FROM"
      "   (s.n, s.lowest, s.highest, s.last_judged) OR abs(d.mean - s.mean) > 1e-9 OR abs(d.m2 - s.m2) > 1e-9 * (1 + d.m2))"
      "   + abs(count(*) - (SELECT count(*) FROM measurement_param_days))"
      "   FROM (SELECT depot, line, date(measured_at) AS day, bogie_type, spring_type, param, lo, hi, tol,"
      "   count(*) AS n, avg(v) AS mean, coalesce(var_samp(v) * (count(*) - 1), 0) AS m2, min(v) AS lowest,"
      "   max(v) AS highest, max(measured_at) FILTER (WHERE judged) AS last_judged FROM measurements,"
      "   LATERAL (VALUES (1, p1_value, p1_measured, p1_min, p1_max, p1_tolerance), (2, p2_value, p2_measured, p2_min,"
      "   p2_max, p2_tolerance), (5, p5_value, p5_measured, p5_min, p5_max, p5_tolerance)) p(param, v, m, lo, hi, tol)"
      "   WHERE NOT emulated AND m IS NOT FALSE AND v IS NOT NULL AND (param <> 1 OR kind <> 1)"
      "   GROUP BY 1, 2, 3, 4, 5, 6, 7, 8, 9) d LEFT JOIN measurement_param_days s"
      "   ON (d.depot, d.line, d.day, d.bogie_type, d.spring_type, d.param, d.lo, d.hi, d.tol) IS NOT DISTINCT FROM"
      "   (s.depot, s.line, s.day, s.bogie_type, s.spring_type, s.param, s.p_min, s.p_max, s.p_tolerance))",
      {}, r, error)) << qPrintable(error);
  EXPECT_GE(r.Number(0, 0), 20);
  EXPECT_GT(r.Number(0, 1), 20);
  EXPECT_EQ(r.Value(0, 2), "0");
  EXPECT_EQ(r.Value(0, 3), "0");

  // Each value of the charted parameters in the cell its own grid puts it
  // in, once: the cell's edges compared with the stored value.
  ASSERT_TRUE(db.Query(
      "WITH v AS (SELECT depot, line, date(measured_at) AS day, bogie_type, spring_type, param, value FROM measurements,"
      "   LATERAL (VALUES (1::smallint, p1_value, p1_measured), (2::smallint, p2_value, p2_measured)) p(param, value, m)"
      "   WHERE NOT emulated AND m IS NOT FALSE AND value IS NOT NULL AND (param <> 1 OR kind <> 1)),"
      " rows AS (SELECT v.depot, v.line, v.day, v.bogie_type, v.spring_type, v.param, c.cell, count(*) AS n"
      "   FROM v JOIN (SELECT DISTINCT depot, line, day, bogie_type, spring_type, param, cell FROM measurement_value_days) c"
      "   USING (depot, line, day, param) WHERE (c.bogie_type, c.spring_type) IS NOT DISTINCT FROM (v.bogie_type,"
      "   v.spring_type) AND v.value >= c.cell / kalvor_value_scale(v.param)"
      "   AND v.value < (c.cell + 1) / kalvor_value_scale(v.param) GROUP BY 1, 2, 3, 4, 5, 6, 7),"
      " cells AS (SELECT depot, line, day, bogie_type, spring_type, param, cell, n FROM measurement_value_days)"
      " SELECT (SELECT count(*) FROM cells), (SELECT count(*) FROM ((TABLE rows EXCEPT TABLE cells)"
      "   UNION ALL (TABLE cells EXCEPT TABLE rows)) x), (SELECT sum(n) FROM cells) = (SELECT count(*) FROM v)",
      {}, r, error)) << qPrintable(error);
  EXPECT_GT(r.Number(0, 0), 100);
  EXPECT_EQ(r.Value(0, 1), "0");
  EXPECT_EQ(r.Value(0, 2), "t");
}

}  // namespace
