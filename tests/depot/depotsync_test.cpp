// The depot database on a private PostgreSQL cluster: the sync's rows field
// by field against the records and the line's judgement, a second run, runs
// killed at random moments, a shift change between two runs, the rights of
// a line's role and of the reader, the migrations and the command line.

#include <QCryptographicHash>
#include <algorithm>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <thread>

#include "database/recordfile.h"
#include "measurement/judgement.h"
#include "pg/migrations.h"
#include "pg/pg.h"
#include "platform/clock.h"
#include "server/queries.h"
#include "sorting/heightgroup.h"
#include "springdata/lib/source.h"
#include "springs/springtypes.h"
#include "sync/admin.h"
#include "sync/sync.h"
#include "testsupport.h"

using namespace springdata;
using depot::AddLine;
using depot::LineRole;
using depot::MigrateDatabase;
using depot::SyncInstallation;
using depot::SyncOptions;
using depot::SyncReport;

namespace {

QString Conninfo(const QString& db, const QString& user) {
  return QStringLiteral("host=%1 port=%2 dbname=%3 user=%4")
      .arg(KALVOR_PG_HOST, KALVOR_PG_PORT, db, user);
}

class Depot : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testsupport::MakeInstallation(home.path()));
    QStringList warnings;
    QString error;
    ASSERT_TRUE(OpenInstallation(home.path(), error, warnings)) << qPrintable(error);
    db = QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name()).toLower();
    depot::Connection server;
    ASSERT_TRUE(server.Open(Conninfo("postgres", "kalvor_admin"), "test", error)) << qPrintable(error);
    ASSERT_TRUE(server.Exec("DROP DATABASE IF EXISTS " + db.toUtf8() + " WITH (FORCE)", error));
    ASSERT_TRUE(server.Exec("CREATE DATABASE " + db.toUtf8(), error)) << qPrintable(error);
    QStringList applied;
    ASSERT_TRUE(MigrateDatabase(Admin(), applied, error)) << qPrintable(error);
    for (const char* line : {"l1", "l2"}) {
      QString role;
      bool existed = false;
      ASSERT_TRUE(AddLine(Admin(), line, role, existed, error)) << qPrintable(error);
    }
    ASSERT_TRUE(admin.Open(Admin(), "test", error)) << qPrintable(error);
  }

  QString Admin() const { return Conninfo(db, "kalvor_admin"); }
  QString Line(const char* name) const { return Conninfo(db, LineRole(name)); }
  static depot::RecordFiles Files() { return {BasePath(), DayPath(), TelPath()}; }

  // The first value of a query as the administrator.
  QByteArray Value(const QByteArray& sql) {
    depot::Result r;
    QString error;
    EXPECT_TRUE(admin.Query(sql, {}, r, error)) << qPrintable(error);
    return r.Value(0, 0);
  }

  SyncReport Sync(const char* line, int batch = 5000) {
    SyncReport report;
    QString error;
    SyncOptions o{Line(line), line, Files(), batch};
    EXPECT_TRUE(SyncInstallation(o, report, error)) << qPrintable(error);
    return report;
  }

  void Append(const char* file, const std::vector<MeasurementRecord>& records) {
    QByteArray bytes;
    for (const MeasurementRecord& r : records) bytes += EncodeMeasurementRecord(r);
    QString error;
    ASSERT_TRUE(recfile::Append(home.file(QStringLiteral("Report/") + file), kMeasurementRecordSize,
                                bytes, error));
  }

  // Measurement n of bogie 1, spring 1, at the nominal values of its norms
  // (within them); n of the minute of 5 March 2026 from 8:00.
  static MeasurementRecord Record(int n) {
    MeasurementRecord r;
    r.Identifier = QStringLiteral("%1-05032026").arg(n, 4, 10, QChar('0'));
    r.BogieType = 1;
    r.SpringType = 1;
    r.Date = plat::DateTimeToDays(QDateTime(QDate(2026, 3, 5), QTime(8, 0))) + n / 1440.0;
    const SpringType* t = FindSpringType(1, 1);
    for (int p = 1; p <= 6; ++p) r.Param[p].Value = static_cast<float>(t->parameters[p].Midl);
    r.WagonFrom = "5301";
    r.WagonTo = "7702";
    return r;
  }

  testsupport::ScratchHome home;
  QString db;
  depot::Connection admin;
};

QByteArray FileMd5(const QString& path) {
  QFile f(path);
  f.open(QIODevice::ReadOnly);
  return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Md5);
}

TEST_F(Depot, SyncCopiesEveryRecordAsJudgedAndASecondRunAddsNothing) {
  ASSERT_NE(FindSpringType(1, 1), nullptr);
  std::vector<MeasurementRecord> base = {Record(1), Record(2), Record(3), Record(4)};
  base[1].Param[2].Value = 999;  // out of its norm
  base[2].Kind = 1;              // fast: parameters 1, 3 and 4 are left out
  SetRecordEmulated(base[2], true);
  SetRecordAccelerated(base[2], true);
  SetParameterMeasured(base[2], 5, false);
  base[3].BogieType = 9;  // a type the bogie file does not hold
  std::vector<MeasurementRecord> day = {Record(5)};
  Append("base.bin", base);
  Append("day.bin", day);
  SetRecord set;
  set.BogieNumber = "Т-17";
  set.Date = "05032026";
  set.Left.Outer = {0, 1, 2, 3, 4, 5, 6, 7};
  QString error;
  ASSERT_TRUE(recfile::Append(TelPath(), kSetRecordSize, EncodeSetRecord(set), error));
  const QByteArray before = FileMd5(BasePath()) + FileMd5(DayPath()) + FileMd5(TelPath());

  SyncReport first = Sync("l1");
  EXPECT_EQ(first.measurementsAdded, 5);
  EXPECT_EQ(first.setsAdded, 1);

  std::vector<MeasurementRecord> all = base;
  all.push_back(day[0]);
  for (size_t k = 0; k < all.size(); ++k) {
    const MeasurementRecord& r = all[k];
    depot::Result row;
    ASSERT_TRUE(admin.Query("SELECT (extract(epoch FROM measured_at) * 1000)::bigint, source, kind, "
                            "emulated, accelerated, judged, spring_good, height_group, free_height, "
                            "p1_value, p1_good, p1_measured, p5_measured, p2_good, p2_min, p2_max, "
                            "p2_tolerance, bogie_name, wagon_to, p5_value IS NULL, p5_good IS NULL "
                            "FROM measurements "
                            "WHERE line = 'l1' AND identifier = $1",
                            {r.Identifier.toUtf8()}, row, error))
        << qPrintable(error);
    ASSERT_EQ(row.Rows(), 1) << qPrintable(r.Identifier);
    JudgeMeasurement(r);
    const SpringType* t = FindSpringType(r.BogieType, r.SpringType);
    const bool fast = r.Kind == 1;
    EXPECT_EQ(row.Number(0, 0), plat::DaysToDateTime(r.Date).toMSecsSinceEpoch());
    EXPECT_EQ(row.Value(0, 1), k < base.size() ? "base" : "day");
    EXPECT_EQ(row.Number(0, 2), r.Kind);
    EXPECT_EQ(row.Value(0, 3), RecordEmulated(r) ? "t" : "f");
    EXPECT_EQ(row.Value(0, 4), RecordAccelerated(r) ? "t" : "f");
    EXPECT_EQ(row.Value(0, 5), Judgement.Judged ? "t" : "f");
    EXPECT_EQ(row.Value(0, 6), !Judgement.Judged ? "" : Judgement.SpringGood ? "t" : "f");
    const int group = Judgement.SpringGood ? BogieHeightGroup(r.Param[2].Value, r.BogieType) : -1;
    EXPECT_EQ(row.Value(0, 7), group >= 0 ? QByteArray::number(group) : QByteArray());
    EXPECT_EQ(row.Value(0, 8).toFloat(), r.Param[2].Value);
    EXPECT_EQ(row.IsNull(0, 9), fast);
    if (!fast) {
      EXPECT_EQ(row.Value(0, 9).toFloat(), r.Param[1].Value);
    }
    EXPECT_EQ(row.IsNull(0, 10), fast || !Judgement.Judged);
    EXPECT_EQ(row.Value(0, 11), fast ? "f" : "t");
    EXPECT_EQ(row.Value(0, 12), ParameterMeasured(r, 5) ? "t" : "f");
    EXPECT_EQ(row.Value(0, 13), !Judgement.Judged ? "" : Judgement.Verdicts[2] ? "t" : "f");
    EXPECT_EQ(row.IsNull(0, 14), t == nullptr);
    if (t) {
      EXPECT_EQ(row.Value(0, 14).toFloat(), static_cast<float>(t->parameters[2].Min));
      EXPECT_EQ(row.Value(0, 15).toFloat(), static_cast<float>(t->parameters[2].Max));
      EXPECT_EQ(row.Value(0, 16).toFloat(), static_cast<float>(t->E));
      EXPECT_EQ(row.Text(0, 17), FindBogieType(1)->Name);
    }
    EXPECT_EQ(row.Text(0, 18), r.WagonTo);
    // A value the line marks as not measured has no value and no verdict.
    EXPECT_EQ(row.Value(0, 19), ValueMeasured(r, 5) ? "f" : "t");
    EXPECT_EQ(row.Value(0, 20), ValueMeasured(r, 5) && Judgement.Judged ? "f" : "t");
  }
  EXPECT_EQ(Value("SELECT bogie_number || ' ' || set_date || ' ' || left_outer::text || ' ' || "
                  "position FROM sets WHERE line = 'l1'"),
            QStringLiteral("Т-17 2026-03-05 {1,2,3,4,5,6,7} 0").toUtf8());

  SyncReport second = Sync("l1");
  EXPECT_EQ(second.measurementsAdded + second.setsAdded, 0);
  EXPECT_EQ(second.baseRead + second.dayRead + second.setsRead, 0) << "the position was kept";
  EXPECT_EQ(Value("SELECT count(*) FROM measurements"), "5");
  EXPECT_EQ(Value("SELECT base_records || ' ' || day_records || ' ' || sets_records || ' ' || "
                  "(last_sync_at IS NOT NULL) FROM lines WHERE name = 'l1'"),
            "4 1 1 true");
  EXPECT_EQ(FileMd5(BasePath()) + FileMd5(DayPath()) + FileMd5(TelPath()), before);
}

TEST_F(Depot, AShiftChangeBetweenTwoSyncsDuplicatesNothing) {
  auto dbtool = [&](const QString& now, const QStringList& command) {
    const auto run = testsupport::Run(KALVOR_DBTOOL,
                                      QStringList{"--home", home.path(), "--now", now} + command);
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);
  };
  dbtool("2026-03-05T08:00:00", {"start"});
  dbtool("2026-03-05T09:00:00", {"fill", "5"});
  EXPECT_EQ(Sync("l1").measurementsAdded, 5);
  // The next day's start moves the shift into base.bin and empties day.bin.
  dbtool("2026-03-06T08:00:00", {"start"});
  dbtool("2026-03-06T09:00:00", {"fill", "3"});
  const SyncReport report = Sync("l1");
  EXPECT_EQ(report.baseRead, 5);
  EXPECT_EQ(report.dayRead, 3);
  EXPECT_EQ(report.measurementsAdded, 3);
  EXPECT_EQ(Value("SELECT count(*) || ' ' || count(*) FILTER (WHERE source = 'day') FROM measurements"),
            "8 8");
  EXPECT_EQ(Value("SELECT base_records || ' ' || day_records FROM lines WHERE name = 'l1'"), "5 3");
}

TEST_F(Depot, ARestoredOlderTelBinAddsNoSetAgain) {
  auto set = [](const char* bogie, const char* date) {
    SetRecord r;
    r.BogieNumber = bogie;
    r.Date = date;
    r.Left.Outer = {0, 1, 2, 3, 4, 5, 6, 7};
    return r;
  };
  auto write = [&](const std::vector<SetRecord>& sets) {
    QByteArray bytes;
    for (const SetRecord& r : sets) bytes += EncodeSetRecord(r);
    QFile f(TelPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  };
  const SetRecord a = set("Т-1", "05032026"), b = set("Т-2", "05032026"), c = set("Т-3", "06032026");
  SetRecord undated = set("Т-4", "");
  write({a, b, undated});
  EXPECT_EQ(Sync("l1").setsAdded, 3);
  write({a});  // yesterday's backup
  EXPECT_EQ(Sync("l1").setsAdded, 0);
  write({a, c, undated, c});  // the line goes on; a set stored twice is one set
  EXPECT_EQ(Sync("l1").setsAdded, 1);
  EXPECT_EQ(Value("SELECT string_agg(bogie_number || ':' || position, ' ' ORDER BY position) FROM sets"),
            QStringLiteral("Т-1:0 Т-2:1 Т-4:2 Т-3:4").toUtf8());
  EXPECT_EQ(Sync("l2").setsAdded, 3) << "another line's sets are its own";
}

TEST_F(Depot, ASyncKilledAtRandomMomentsLeavesEveryRecordOnce) {
  std::vector<MeasurementRecord> base, day;
  for (int n = 1; n <= 3000; ++n) base.push_back(Record(n));
  for (int n = 3001; n <= 3400; ++n) day.push_back(Record(n));
  Append("base.bin", base);
  Append("day.bin", day);
  const QStringList args = {"sync", "--home", home.path(), "--database", Line("l1"),
                            "--line", "l1", "--batch", "100", "--quiet"};
  QString error;
  auto startAgain = [&] {
    ASSERT_TRUE(admin.Exec("BEGIN; TRUNCATE measurements; UPDATE lines SET base_records = 0, "
                           "day_records = 0; COMMIT",
                           error))
        << qPrintable(error);
  };
  // How long a whole first sync takes on this machine, so that the kills
  // land inside a run however fast or loaded the machine is.
  QElapsedTimer whole;
  whole.start();
  ASSERT_EQ(testsupport::Run(KALVOR_SPRINGDATA, args).exitCode, 0);
  const int wholeMs = std::max<int>(40, static_cast<int>(whole.elapsed()));
  startAgain();
  int killedMidway = 0;
  for (int round = 0; round < 20; ++round) {
    QProcess p;
    p.start(KALVOR_SPRINGDATA, args);
    ASSERT_TRUE(p.waitForStarted());
    p.waitForFinished(QRandomGenerator::global()->bounded(10, wholeMs));
    if (p.state() != QProcess::NotRunning) {
      p.kill();  // SIGKILL
      p.waitForFinished();
      ++killedMidway;
    } else {
      // A run that got to the end leaves nothing to cut: the next rounds
      // start over, while killed runs build on what the one before left.
      startAgain();
    }
  }
  EXPECT_GT(killedMidway, 5);
  // A killed run's session may outlive it for a moment (its backend ends
  // what it was doing): the last run waits for the line to be free.
  auto last = testsupport::Run(KALVOR_SPRINGDATA, args);
  for (int i = 0; i < 600 && last.exitCode == 3; ++i) {
    QThread::msleep(50);
    last = testsupport::Run(KALVOR_SPRINGDATA, args);
  }
  ASSERT_EQ(last.exitCode, 0) << qPrintable(last.err);
  EXPECT_EQ(Value("SELECT count(*) FROM measurements WHERE line = 'l1'"), "3400");
  EXPECT_EQ(Value("SELECT count(DISTINCT identifier) FROM measurements"), "3400");
  EXPECT_EQ(Value("SELECT base_records || ' ' || day_records FROM lines WHERE name = 'l1'"), "3000 400");
}

// A sync frozen in mid-run (SIGSTOP: its connection neither talks nor
// closes, as after a power cut of the line's PC) holds its line only until
// the database ends its silent session; meanwhile the next sync says the
// line is held and exits 3, after it the next sync brings every record once.
TEST_F(Depot, ASyncFrozenMidRunFreesItsLineWithinTheSilenceTime) {
  std::vector<MeasurementRecord> base;
  for (int n = 1; n <= 3000; ++n) base.push_back(Record(n));
  Append("base.bin", base);
  // Small batches, so that the sync is caught in mid-run; those after it
  // copy in large ones.
  const QStringList args = {"sync", "--home", home.path(), "--database", Line("l1"), "--line", "l1", "--silence", "1", "--batch"};
  QProcess frozen;
  frozen.start(KALVOR_SPRINGDATA, args + QStringList{"20"});
  ASSERT_TRUE(frozen.waitForStarted());
  while (frozen.state() == QProcess::Running && Value("SELECT count(*) FROM measurements").toInt() < 100)
    QThread::msleep(5);
  ASSERT_EQ(frozen.state(), QProcess::Running) << "the sync ended before it could be frozen";
  kill(static_cast<pid_t>(frozen.processId()), SIGSTOP);
  QElapsedTimer waited;
  waited.start();
  const QStringList nextArgs = args + QStringList{"1000"};
  auto next = testsupport::Run(KALVOR_SPRINGDATA, nextArgs);
  EXPECT_EQ(next.exitCode, 3) << qPrintable(next.err);
  EXPECT_TRUE(next.err.contains("another sync of line l1 is running")) << qPrintable(next.err);
  while (next.exitCode == 3 && waited.elapsed() < 90000) {
    QThread::msleep(100);
    next = testsupport::Run(KALVOR_SPRINGDATA, nextArgs);
  }
  std::fprintf(stderr, "the frozen sync held its line %.1f s\n", waited.elapsed() / 1000.0);
  EXPECT_EQ(next.exitCode, 0) << qPrintable(next.err);
  EXPECT_LT(waited.elapsed(), 90000);
  kill(static_cast<pid_t>(frozen.processId()), SIGKILL);
  frozen.waitForFinished();
  EXPECT_EQ(Value("SELECT count(*) || ' ' || count(DISTINCT identifier) FROM measurements"), "3000 3000");
  EXPECT_EQ(Value("SELECT base_records FROM lines WHERE name = 'l1'"), "3000");
}

// Month partitions only from 2000 to the month after this one; a month's
// rows that waited in the default partition move into it when it is made.
TEST_F(Depot, PartitionsOnlyForMonthsNearThePresent) {
  depot::Connection l1;
  QString error;
  ASSERT_TRUE(l1.Open(Line("l1"), "test", error)) << qPrintable(error);
  ASSERT_TRUE(admin.Exec("INSERT INTO measurements (line, identifier, measured_at) VALUES "
                         "('l1', 'early', '2010-05-10 12:00+00')", error)) << qPrintable(error);
  for (const char* at : {"2031-01-01", "1999-12-31 12:00+00", "2010-05-10", "now()"})
    EXPECT_TRUE(l1.Exec(QByteArray("SELECT kalvor_ensure_month(") + (at[0] == 'n' ? QByteArray(at) : "'" + QByteArray(at) + "'") + ")",
                        error)) << at << qPrintable(error);
  EXPECT_EQ(Value("SELECT string_agg(relname::text, ' ' ORDER BY relname) FROM pg_class WHERE relname ~ '^measurements_[0-9]' "
                  "AND relkind = 'r'"),
            "measurements_2010_05 " + QDate::currentDate().toString("'measurements_'yyyy_MM").toUtf8());
  EXPECT_EQ(Value("SELECT (SELECT count(*) FROM measurements_2010_05) || ' ' || "
                  "(SELECT count(*) FROM measurements_default) || ' ' || (SELECT count(*) FROM measurement_hours)"),
            "1 0 1");
}

TEST_F(Depot, ALineRoleAddsOnlyItsOwnRowsAndTheReaderOnlyReads) {
  Append("base.bin", {Record(1), Record(2)});
  Sync("l1");
  Sync("l2");
  depot::Connection l1;
  QString error;
  ASSERT_TRUE(l1.Open(Line("l1"), "test", error)) << qPrintable(error);
  const char* const kRefused = "42501";  // insufficient privilege / policy
  auto expectRefused = [&](depot::Connection& c, const QByteArray& sql) {
    depot::Result r;
    QString e;
    EXPECT_FALSE(c.Query(sql, {}, r, e)) << sql.constData();
    EXPECT_EQ(r.State(), kRefused) << sql.constData() << ": " << qPrintable(e);
  };
  expectRefused(l1, "INSERT INTO measurements (line, identifier, measured_at) "
                    "VALUES ('l2', 'x', '2026-03-05 10:00+00')");
  expectRefused(l1, "INSERT INTO sets (line, position) VALUES ('l2', 100)");
  // Its own line under another depot's code (the code is checked once per statement).
  expectRefused(l1, "INSERT INTO measurements (depot, line, identifier, measured_at) "
                    "VALUES ('other', 'l1', 'x', '2026-03-05 10:00+00')");
  expectRefused(l1, "INSERT INTO sets (depot, line, position) VALUES ('other', 'l1', 100)");
  expectRefused(l1, "UPDATE measurements SET wagon_to = 'x' WHERE line = 'l1'");
  expectRefused(l1, "DELETE FROM measurements WHERE line = 'l1'");
  expectRefused(l1, "DELETE FROM lines");
  expectRefused(l1, "UPDATE lines SET role_name = 'x'");
  expectRefused(l1, "SELECT count(*) FROM measurements_2026_03");  // around the policies
  expectRefused(l1, "SELECT count(*) FROM measurement_param_hours");  // every line's figures
  depot::Result r;
  ASSERT_TRUE(l1.Query("SELECT count(*), count(*) FILTER (WHERE line = 'l2') FROM measurements", {}, r,
                       error));
  EXPECT_EQ(r.Value(0, 0) + ' ' + r.Value(0, 1), "2 0");
  ASSERT_TRUE(l1.Query("SELECT string_agg(name, ',') FROM lines", {}, r, error));
  EXPECT_EQ(r.Value(0, 0), "l1");
  ASSERT_TRUE(l1.Query("UPDATE lines SET base_records = 0 WHERE name = 'l2'", {}, r, error));
  EXPECT_EQ(r.CommandRows(), 0);
  // Syncing another line's name with this login is refused as unknown.
  SyncReport report;
  EXPECT_FALSE(SyncInstallation({Line("l1"), "l2", Files(), 100}, report, error));
  EXPECT_TRUE(error.contains("line l2 is not in the depot database")) << qPrintable(error);

  depot::Connection reader;
  ASSERT_TRUE(reader.Open(Conninfo(db, "kalvor_reader"), "test", error)) << qPrintable(error);
  ASSERT_TRUE(reader.Query("SELECT count(*) FROM measurements", {}, r, error));
  EXPECT_EQ(r.Value(0, 0), "4");
  expectRefused(reader, "INSERT INTO sets (line, position) VALUES ('l1', 100)");
  expectRefused(reader, "DELETE FROM measurements");
}

TEST_F(Depot, MigrationsAreIdempotentAndTheCommandLineSaysWhatIsWrong) {
  QStringList applied;
  QString error;
  ASSERT_TRUE(MigrateDatabase(Admin(), applied, error)) << qPrintable(error);
  EXPECT_TRUE(applied.isEmpty());
  int version = 0;
  ASSERT_TRUE(depot::SchemaVersion(admin, version, error));
  EXPECT_EQ(version, depot::LatestSchemaVersion());
  EXPECT_EQ(Value("SELECT count(*) FROM schema_migrations"),
            QByteArray::number(qsizetype(depot::MigrationFiles().size())));
  QString role;
  bool existed = false;
  ASSERT_TRUE(AddLine(Admin(), "l1", role, existed, error));
  EXPECT_TRUE(existed);
  EXPECT_FALSE(AddLine(Admin(), "Line 1", role, existed, error));
  EXPECT_EQ(Value("SELECT count(*) FROM lines"), "2");

  const auto withPassword = testsupport::Run(
      KALVOR_SPRINGDATA, {"db", "migrate", "--database", Admin() + " password=secret"});
  EXPECT_EQ(withPassword.exitCode, 2);
  EXPECT_TRUE(withPassword.err.contains("~/.pgpass")) << qPrintable(withPassword.err);
  // No server on that port: a clear message, nothing else happens.
  const auto down = testsupport::Run(
      KALVOR_SPRINGDATA, {"sync", "--home", home.path(), "--line", "l1", "--database",
                          QStringLiteral("host=%1 port=1 dbname=x user=y").arg(KALVOR_PG_HOST)});
  EXPECT_EQ(down.exitCode, 1);
  EXPECT_TRUE(down.err.contains("cannot connect to the depot database")) << qPrintable(down.err);
  // The time zone: never guessed, set by name, the sync refused in another one.
  auto migrate = [&](const QStringList& more) {
    return testsupport::Run(KALVOR_SPRINGDATA, QStringList{"db", "migrate", "--database", Admin()} + more);
  };
  const auto unset = migrate({});
  EXPECT_EQ(unset.exitCode, 1);
  EXPECT_TRUE(unset.err.contains("--time-zone ZONE")) << qPrintable(unset.err);
  EXPECT_EQ(migrate({"--time-zone", "Nowhere/Land"}).exitCode, 1);
  const QString zone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
  EXPECT_EQ(migrate({"--time-zone", zone}).exitCode, 0);
  const auto fresh = migrate({});
  EXPECT_EQ(fresh.exitCode, 0);
  EXPECT_TRUE(fresh.out.contains("up to date")) << qPrintable(fresh.out);
  QProcess away;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("TZ", zone.contains("Vladivostok") ? "Europe/Moscow" : "Asia/Vladivostok");
  away.setProcessEnvironment(env);
  away.start(KALVOR_SPRINGDATA, {"sync", "--home", home.path(), "--database", Line("l1"), "--line", "l1"});
  away.waitForFinished(60000);
  const QString said = QString::fromLocal8Bit(away.readAllStandardError());
  EXPECT_EQ(away.exitCode(), 1);
  EXPECT_TRUE(said.contains(env.value("TZ")) && said.contains(zone)) << qPrintable(said);
  // A database a migration behind, and one without the schema: the sync says which.
  const QByteArray latest = QByteArray::number(depot::LatestSchemaVersion());
  ASSERT_TRUE(admin.Exec("DELETE FROM schema_migrations WHERE version = " + latest, error));
  SyncReport report;
  EXPECT_FALSE(SyncInstallation({Line("l1"), "l1", Files(), 100}, report, error));
  EXPECT_TRUE(error.contains("schema version " + QString::number(latest.toInt() - 1) + ", this program needs " +
                             latest + ": run springdata db migrate"))
      << qPrintable(error);
  ASSERT_TRUE(admin.Exec("DROP TABLE schema_migrations", error));
  EXPECT_FALSE(SyncInstallation({Line("l1"), "l1", Files(), 100}, report, error));
  EXPECT_TRUE(error.contains("schema version 0")) << qPrintable(error);
}

// The page's figures come from the hourly summaries: synced in batches of
// two (so hours are merged across batches) and pooled again per shift by the
// page's query, free heights of 10, 11, 12 (8 h) and 14, 16 (9 h, the last a
// fast measurement, which takes the free height) give n 5, mean 12,6 and
// s = √(23,2 / 4); the emulated 100 counts nowhere. The diameters, all at
// the nominal and none of the fast one, give s exactly 0.
TEST_F(Depot, TheSummariesAgreeWithTheRows) {
  std::vector<MeasurementRecord> base;
  for (const auto& [n, height] : std::vector<std::pair<int, float>>{{1, 10}, {2, 11}, {3, 12}, {4, 100}, {61, 14}, {62, 16}}) {
    MeasurementRecord r = Record(n);
    r.Param[2].Value = height;
    base.push_back(r);
  }
  SetRecordEmulated(base[3], true);
  base[5].Kind = 1;
  Append("base.bin", base);
  Sync("l1", 2);
  Sync("l2", 2);
  // The page's query on a thread of its own, so that it opens its own connection.
  auto shifts = [&](const char* line, int p) {
    depot::Answer<depot::Subgroup> a;
    bool answered = false;
    std::thread([&] {
      depot::SetDatabase(Admin().toStdString());
      try {
        a = depot::FetchShifts({line, 1, 1, QDate(2026, 3, 5), QDate(2026, 3, 5)}, p);
        answered = true;
      } catch (const depot::Refusal&) {
      }
    }).join();
    EXPECT_TRUE(answered);
    EXPECT_EQ(a.rows.size(), 1u);
    return a.rows.empty() ? depot::Subgroup{} : a.rows[0];
  };
  depot::Subgroup l1 = shifts("l1", 2), all = shifts("", 2), diameter = shifts("l1", 1);
  EXPECT_EQ(l1.label, "2026-03-05");
  EXPECT_EQ(l1.n, 5);
  EXPECT_NEAR(l1.mean, 12.6, 1e-9);
  EXPECT_NEAR(l1.sd.value_or(-1), std::sqrt(23.2 / 4), 1e-9);
  EXPECT_EQ(all.n, 10);  // both lines: 46,4 over 9
  EXPECT_NEAR(all.sd.value_or(-1), std::sqrt(46.4 / 9), 1e-9);
  EXPECT_EQ(diameter.n, 4);
  EXPECT_EQ(diameter.sd, 0.0);
  EXPECT_EQ(Value("SELECT sum(records) || ' ' || sum(emulated) || ' ' || sum(judged) FROM measurement_hours "
                  "WHERE line = 'l1'"),
            "5 1 5");
  // Deleting a row counts its hour anew: 10, 11, 12, 14.
  QString error;
  ASSERT_TRUE(admin.Exec("DELETE FROM measurements WHERE line = 'l1' AND identifier = '0062-05032026'", error))
      << qPrintable(error);
  l1 = shifts("l1", 2);
  EXPECT_EQ(l1.n, 4);
  EXPECT_NEAR(l1.mean, 11.75, 1e-9);
  EXPECT_NEAR(l1.sd.value_or(-1), std::sqrt(8.75 / 3), 1e-9);
  ASSERT_TRUE(admin.Exec("TRUNCATE measurements", error)) << qPrintable(error);
  EXPECT_EQ(Value("SELECT (SELECT count(*) FROM measurement_hours) + (SELECT count(*) FROM measurement_param_hours)"), "0");
}

}  // namespace

// The line's PC checks its settings before enabling the timer: each of the
// database, the role and TLS is said right or what to do about it.
TEST_F(Depot, TheSyncCheckSaysWhatToPutRight) {
  auto check = [&](const QString& conninfo) {
    return testsupport::Run(KALVOR_SPRINGDATA,
                            {"sync", "--check", "--database", conninfo, "--line", "l1"});
  };
  const auto good = check(Line("l1"));
  EXPECT_EQ(good.exitCode, 0) << qPrintable(good.err);
  EXPECT_TRUE(good.out.contains("database: " + db + " answers") &&
              good.out.contains("kalvor_line_l1 may add the measurements and sets of line l1") &&
              good.out.contains("TLS: not needed, the database is on this machine"))
      << qPrintable(good.out);
  const auto other = check(Line("l2"));
  EXPECT_EQ(other.exitCode, 1);
  EXPECT_TRUE(other.out.contains("logged in as kalvor_line_l2, not as the role of line l1: put "
                                 "user=kalvor_line_l1"))
      << qPrintable(other.out);
  const auto down = check(QStringLiteral("host=%1 port=1 dbname=x user=y").arg(KALVOR_PG_HOST));
  EXPECT_EQ(down.exitCode, 1);
  EXPECT_TRUE(down.out.contains("database: no answer") &&
              down.err.contains("the database does not answer"))
      << qPrintable(down.out + down.err);
}
