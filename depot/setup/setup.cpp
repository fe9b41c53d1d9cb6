#include "setup/setup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include "pg/pg.h"
#include "setup/local.h"
#include "sync/admin.h"

namespace depot {

namespace {

// The pgpass line's password, or nothing when the file is missing or holds
// no line.
QByteArray StoredPassword(const QString& file) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray line = f.readLine().trimmed();
  const int colon = line.lastIndexOf(':');
  return colon < 0 ? QByteArray() : line.mid(colon + 1);
}

// The role's password as kept in `file` (a .pgpass line for `host`), made
// and set when the file is missing.
bool EnsurePassword(Connection& db, const SetupPlan& plan, const QString& host, const QString& role,
                    const QString& file, QByteArray& password, QStringList& changes,
                    QString& error) {
  password = StoredPassword(file);
  if (!password.isEmpty()) return true;
  password = NewPassword();
  const QByteArray line =
      QStringLiteral("%1:%2:%3:%4:").arg(host).arg(plan.port).arg(plan.database, role).toUtf8() +
      password + '\n';
  if (!db.SetPassword(role.toUtf8(), password, error) || !WriteRootFile(file, line, error))
    return false;
  changes << QStringLiteral("a new password of %1 in %2").arg(role, file);
  return true;
}

bool DatabaseExists(Connection& admin, const QString& name, bool& exists, QString& error) {
  Result r;
  if (!admin.Query("SELECT 1 FROM pg_database WHERE datname = $1", {name.toUtf8()}, r, error))
    return false;
  exists = r.Rows() == 1;
  return true;
}

}  // namespace

QByteArray NewPassword() {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  QByteArray p;
  for (int i = 0; i < 32; ++i) p += kLetters[QRandomGenerator::system()->bounded(62)];
  return p;
}

QString DatabaseConninfo(const SetupPlan& plan) {
  // The last of a repeated keyword counts.
  return plan.adminConninfo + QStringLiteral(" dbname=") + plan.database;
}

LineFiles LineSyncFiles(const SetupPlan& plan, const QString& line, const QByteArray& password) {
  LineFiles f;
  f.defaults =
      QStringLiteral(
          "# The depot database of this line's sync (kalvor-depot-sync.timer), written by\n"
          "# kalvor-depot setup on %1.\n"
          "KALVOR_DEPOT_DATABASE=\"host=%1 port=%2 dbname=%3 user=%4 sslmode=verify-full "
          "sslrootcert=%5\"\n"
          "KALVOR_LINE=%6\n"
          "PGPASSFILE=%7\n")
          .arg(plan.host)
          .arg(plan.port)
          .arg(plan.database, LineRole(line), QString::fromLatin1(kLineCaFile), line,
               QString::fromLatin1(kLinePgpassFile))
          .toUtf8();
  f.pgpass = QStringLiteral("%1:%2:%3:%4:")
                 .arg(plan.host)
                 .arg(plan.port)
                 .arg(plan.database, LineRole(line))
                 .toUtf8() +
             password + '\n';
  return f;
}

QByteArray LineScript(const QString& line, const LineFiles& files, const QByteArray& caPem) {
  QByteArray s = "#!/bin/sh\n# Line " + line.toUtf8() +
                 ": run as root on the line's PC (package kalvor installed).\nset -e\n";
  s += "install -d -o kalvor -g kalvor -m 0750 " +
       QByteArray(kLineCaFile).left(QByteArray(kLineCaFile).lastIndexOf('/')) + "\n";
  s += "cat >" + QByteArray(kLineCaFile) + " <<'KALVOR_EOF'\n" + caPem + "KALVOR_EOF\n";
  s += "(umask 077; cat >" + QByteArray(kLinePgpassFile) + " <<'KALVOR_EOF'\n" + files.pgpass +
       "KALVOR_EOF\n)\n";
  s += "chown kalvor:kalvor " + QByteArray(kLineCaFile) + " " + kLinePgpassFile + "\n";
  s += "cat >/etc/default/kalvor-depot-sync <<'KALVOR_EOF'\n" + files.defaults + "KALVOR_EOF\n";
  s += "if [ -d /run/systemd/system ]; then systemctl enable --now kalvor-depot-sync.timer; fi\n";
  return s;
}

bool SetUpDatabase(const SetupPlan& plan, const QByteArray& caPem, QStringList& changes,
                   QList<QByteArray>& scripts, QString& error) {
  const QString conninfo = DatabaseConninfo(plan);
  Connection admin;
  bool exists = false;
  if (!OpenAsSuperuser(admin, plan.adminConninfo, error) ||
      !DatabaseExists(admin, plan.database, exists, error))
    return false;
  if (!exists) {
    if (!admin.Exec("CREATE DATABASE " + QuoteIdentifier(plan.database.toUtf8()), error))
      return false;
    changes << QStringLiteral("database %1 created").arg(plan.database);
  }
  Connection db;
  Result r;
  if (!OpenAsSuperuser(db, conninfo, error) ||
      !db.Query("SELECT current_setting('TimeZone')", {}, r, error))
    return false;
  {
    AsPostgres superuser(conninfo);
    // A zone the database has already is kept as it stands.
    bool zoneSet = exists && r.Text(0, 0) == plan.timeZone;
    QStringList applied;
    if (!MigrateDatabase(conninfo, zoneSet ? QString() : plan.timeZone, plan.depot, applied, error)) {
      // The server's zone, not the database's own: set it.
      if (!zoneSet) return false;
      zoneSet = false;
      if (!MigrateDatabase(conninfo, plan.timeZone, plan.depot, applied, error)) return false;
    }
    if (!zoneSet) changes << QStringLiteral("time zone %1").arg(plan.timeZone);
    if (!applied.isEmpty())
      changes << QStringLiteral("migrations applied: %1").arg(applied.join(", "));
    for (const QString& line : plan.lines) {
      QString role;
      bool existed = false;
      if (!AddLine(conninfo, line, role, existed, error)) return false;
      if (!existed) changes << QStringLiteral("line %1 added (role %2)").arg(line, role);
    }
  }
  // Passwords are set as the superuser and kept in files only root reads.
  QByteArray password;
  if (!EnsurePassword(db, plan, QStringLiteral("*"), QStringLiteral("kalvor_reader"),
                      plan.configDir + QStringLiteral("/pgpass"), password, changes, error))
    return false;
  for (const QString& line : plan.lines) {
    if (!EnsurePassword(
            db, plan, plan.host, LineRole(line),
            plan.configDir + QStringLiteral("/lines/") + line + QStringLiteral(".pgpass"), password,
            changes, error))
      return false;
    const QByteArray script = LineScript(line, LineSyncFiles(plan, line, password), caPem);
    const QString file = plan.configDir + QStringLiteral("/lines/") + line + QStringLiteral(".sh");
    if (ReadBytes(file) != script) {
      if (!WriteRootFile(file, script, error)) return false;
      changes << QStringLiteral("the settings of line %1 in %2").arg(line, file);
    }
    scripts << script;
  }
  return true;
}

bool AddEngineer(const QString& conninfo, const QString& name, QByteArray& password, bool& existed,
                 QString& error) {
  static const QRegularExpression kName(QStringLiteral("^[a-z][a-z0-9_]{0,39}$"));
  if (!kName.match(name).hasMatch() || name.startsWith(QStringLiteral("kalvor")) ||
      name.startsWith(QStringLiteral("pg_")) || name == QStringLiteral("postgres")) {
    error = QStringLiteral(
                "an engineer's name is 1 to 40 of a-z, 0-9 and _, starting with a letter, "
                "and not kalvor..., pg_... or postgres: not \"%1\"")
                .arg(name);
    return false;
  }
  Connection db;
  Result r;
  const QByteArray n = name.toUtf8();
  if (!OpenAsSuperuser(db, conninfo, error) ||
      !db.Query("SELECT 1 FROM pg_roles WHERE rolname = $1", {n}, r, error))
    return false;
  existed = r.Rows() == 1;
  if (existed) return true;
  password = NewPassword();
  const bool ok =
      db.Exec("BEGIN", error) && db.Exec("CREATE ROLE " + QuoteIdentifier(n) + " LOGIN", error) &&
      db.SetPassword(n, password, error) &&
      db.Exec("GRANT kalvor_reader TO " + QuoteIdentifier(n), error) && db.Exec("COMMIT", error);
  if (!ok) {
    QString ignored;
    db.Exec("ROLLBACK", ignored);
    error = QStringLiteral("cannot add engineer %1: %2").arg(name, error);
  }
  return ok;
}

}  // namespace depot
