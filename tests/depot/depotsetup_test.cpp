// kalvor-depot setup's database part on the private cluster: what it makes,
// the files for a line's PC, and a second run that changes nothing.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "pg/pg.h"
#include "setup/setup.h"

namespace {

QString Cluster(const QString& db) {
  return QStringLiteral("host=%1 port=%2 dbname=%3 user=kalvor_admin")
      .arg(KALVOR_PG_HOST, KALVOR_PG_PORT, db);
}

QByteArray Query(depot::Connection& c, const QByteArray& sql) {
  depot::Result r;
  QString error;
  EXPECT_TRUE(c.Query(sql, {}, r, error)) << qPrintable(error);
  return r.Rows() > 0 ? r.Value(0, 0) : QByteArray("(no row)");
}

TEST(DepotSetup, MakesTheDatabaseRolesAndLineFilesOnceAndASecondRunChangesNothing) {
  QTemporaryDir config;
  depot::SetupPlan plan;
  plan.timeZone = QStringLiteral("Asia/Yekaterinburg");
  plan.lines = QStringList{"s1", "s2"};
  plan.host = QStringLiteral("depot.example");
  plan.database = QStringLiteral("setup_check");
  plan.adminConninfo = Cluster(QStringLiteral("postgres"));
  plan.configDir = config.path();
  depot::Connection server;
  QString error;
  ASSERT_TRUE(server.Open(plan.adminConninfo, "test", error)) << qPrintable(error);
  ASSERT_TRUE(server.Exec("DROP DATABASE IF EXISTS setup_check WITH (FORCE)", error));

  QStringList changes;
  QList<QByteArray> scripts;
  ASSERT_TRUE(depot::SetUpDatabase(plan, "CA\n", changes, scripts, error)) << qPrintable(error);
  EXPECT_TRUE(changes.contains(QStringLiteral("database setup_check created")))
      << qPrintable(changes.join('\n'));
  EXPECT_TRUE(changes.contains(QStringLiteral("line s2 added (role kalvor_line_s2)")));
  ASSERT_EQ(scripts.size(), 2);

  // The line's files: its role over TLS checked against the depot's name,
  // and a password that a .pgpass line and the shell take as it stands.
  QFile f(config.filePath("lines/s1.pgpass"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray line = f.readAll();
  EXPECT_TRUE(
      QRegularExpression("^depot\\.example:5432:setup_check:kalvor_line_s1:[A-Za-z0-9]{32}\n$")
          .match(QString::fromUtf8(line))
          .hasMatch())
      << line.constData();
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(config.filePath("lines/s1.pgpass")).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const depot::LineFiles files =
      depot::LineSyncFiles(plan, "s1", line.mid(line.lastIndexOf(':') + 1).trimmed());
  EXPECT_EQ(files.pgpass, line);
  EXPECT_TRUE(files.defaults.contains(
      "KALVOR_DEPOT_DATABASE=\"host=depot.example port=5432 dbname=setup_check user=kalvor_line_s1 "
      "sslmode=verify-full sslrootcert=/var/lib/kalvor/.postgresql/root.crt\"\nKALVOR_LINE=s1\n"));
  EXPECT_TRUE(scripts[0].contains(files.defaults) && scripts[0].contains(files.pgpass) &&
              scripts[0].contains("root.crt <<'KALVOR_EOF'\nCA\nKALVOR_EOF\n"));

  depot::Connection db;
  ASSERT_TRUE(db.Open(Cluster(plan.database), "test", error)) << qPrintable(error);
  EXPECT_EQ(Query(db, "SHOW timezone"), "Asia/Yekaterinburg");
  EXPECT_TRUE(Query(db, "SELECT rolpassword FROM pg_authid WHERE rolname = 'kalvor_line_s2'")
                  .startsWith("SCRAM-SHA-256$"));
  EXPECT_EQ(Query(db, "SELECT string_agg(name, ',' ORDER BY name) FROM lines"), "s1,s2");
  const QByteArray verifier =
      Query(db, "SELECT rolpassword FROM pg_authid WHERE rolname = 'kalvor_reader'");

  QStringList again;
  QList<QByteArray> scriptsAgain;
  ASSERT_TRUE(depot::SetUpDatabase(plan, "CA\n", again, scriptsAgain, error)) << qPrintable(error);
  EXPECT_TRUE(again.isEmpty()) << qPrintable(again.join('\n'));
  EXPECT_EQ(scriptsAgain, scripts);
  EXPECT_EQ(Query(db, "SELECT rolpassword FROM pg_authid WHERE rolname = 'kalvor_reader'"),
            verifier);

  // An engineer: a member of the reader's role, made once.
  QByteArray password;
  bool existed = true;
  ASSERT_TRUE(depot::AddEngineer(Cluster(plan.database), "petrova", password, existed, error))
      << qPrintable(error);
  EXPECT_FALSE(existed);
  EXPECT_EQ(password.size(), 32);
  EXPECT_EQ(Query(db, "SELECT pg_has_role('petrova', 'kalvor_reader', 'MEMBER')"), "t");
  ASSERT_TRUE(depot::AddEngineer(Cluster(plan.database), "petrova", password, existed, error));
  EXPECT_TRUE(existed);
  EXPECT_FALSE(
      depot::AddEngineer(Cluster(plan.database), "kalvor_line_s1", password, existed, error));
  EXPECT_TRUE(error.contains("an engineer's name")) << qPrintable(error);
  db.Close();
  ASSERT_TRUE(server.Exec("DROP DATABASE setup_check WITH (FORCE)", error));
  ASSERT_TRUE(server.Exec("DROP ROLE petrova", error)) << qPrintable(error);
}

}  // namespace
