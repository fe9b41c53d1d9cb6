#include "sync/admin.h"

#include <QRegularExpression>

#include "pg/migrations.h"
#include "pg/pg.h"

namespace depot {

namespace {
constexpr const char* kProgram = "springdata";
}  // namespace

QString LineRole(const QString& name) { return QStringLiteral("kalvor_line_") + name; }

bool MigrateDatabase(const QString& conninfo, QStringList& applied, QString& error) {
  Connection db;
  if (!db.Open(conninfo, kProgram, error)) return false;
  return Migrate(db, applied, error);
}

bool MigrateDatabase(const QString& conninfo, const QString& timeZone, QStringList& applied,
                     QString& error) {
  Connection db;
  if (!db.Open(conninfo, kProgram, error)) return false;
  Result r;
  if (timeZone.isEmpty()) {
    if (!db.Query("SELECT EXISTS (SELECT FROM pg_db_role_setting s JOIN pg_database d ON d.oid = s.setdatabase, "
                  "unnest(s.setconfig) c WHERE d.datname = current_database() AND s.setrole = 0 "
                  "AND c ILIKE 'timezone=%')",
                  {}, r, error))
      return false;
    if (r.Value(0, 0) != "t") {
      error = QStringLiteral("the depot database's time zone is not set, and a guess would count the "
                             "shifts in the wrong days: give --time-zone ZONE, the zone of the lines "
                             "(as Europe/Moscow)");
      return false;
    }
  } else {
    const QByteArray zone = timeZone.toUtf8();
    if (!db.Query("SELECT current_database() FROM pg_timezone_names WHERE name = $1", {zone}, r, error))
      return false;
    if (r.Rows() == 0) {
      error = QStringLiteral("unknown time zone \"%1\": give a name of the tz database, as Europe/Moscow")
                  .arg(timeZone);
      return false;
    }
    // The name is one of the database's own zones: no quote in it.
    if (!db.Exec("ALTER DATABASE " + QuoteIdentifier(r.Value(0, 0)) + " SET timezone TO '" + zone + "'", error))
      return false;
  }
  return Migrate(db, applied, error);
}

bool CheckLineName(const QString& name, QString& error) {
  static const QRegularExpression kName(QStringLiteral("^[a-z0-9_]{1,40}$"));
  if (kName.match(name).hasMatch()) return true;
  error = QStringLiteral("a line's name is 1 to 40 of the characters a-z, 0-9 and _, not \"%1\"")
              .arg(name);
  return false;
}

bool AddLine(const QString& conninfo, const QString& name, QString& role, bool& existed,
             QString& error) {
  if (!CheckLineName(name, error)) return false;
  role = LineRole(name);
  Connection db;
  if (!db.Open(conninfo, kProgram, error) || !CheckSchema(db, error)) return false;
  const QByteArray n = name.toUtf8(), rn = role.toUtf8(), q = QuoteIdentifier(rn);
  Result r;
  if (!db.Query("SELECT 1 FROM lines WHERE name = $1", {n}, r, error)) return false;
  existed = r.Rows() == 1;
  if (!db.Query("SELECT 1 FROM pg_roles WHERE rolname = $1", {rn}, r, error)) return false;
  const bool roleExists = r.Rows() == 1;
  const bool ok = db.Exec("BEGIN", error) &&
                  (roleExists || db.Exec("CREATE ROLE " + q + " LOGIN", error)) &&
                  db.Exec("GRANT kalvor_lines TO " + q, error) &&
                  db.Query("INSERT INTO lines (name, role_name) VALUES ($1, $2) "
                           "ON CONFLICT (name) DO NOTHING",
                           {n, rn}, error) &&
                  db.Exec("COMMIT", error);
  if (!ok) {
    QString ignored;
    db.Exec("ROLLBACK", ignored);
    error = QStringLiteral("cannot add line %1: %2").arg(name, error);
  }
  return ok;
}

}  // namespace depot
