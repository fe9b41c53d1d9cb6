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

bool AddLine(const QString& conninfo, const QString& name, QString& role, bool& existed,
             QString& error) {
  static const QRegularExpression kName(QStringLiteral("^[a-z0-9_]{1,40}$"));
  if (!kName.match(name).hasMatch()) {
    error = QStringLiteral("a line's name is 1 to 40 of the characters a-z, 0-9 and _, not \"%1\"")
                .arg(name);
    return false;
  }
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

namespace depot {

namespace {

// What to do about a connection that failed, from libpq's reason.
QString ConnectHint(const QString& reason) {
  const struct {
    const char* says;
    const char* hint;
  } hints[] = {
      {"certificate verify failed",
       "the server's certificate does not verify against the CA file in sslrootcert: put the CA "
       "certificate that the depot's setup printed into that file"},
      {"root certificate file",
       "the CA file named by sslrootcert is missing: copy the depot's CA certificate there"},
      {"does not match host name",
       "the host in the connection string is not the name the server's certificate was made "
       "for: use that name (or have the certificate made for this one)"},
      {"password authentication failed",
       "the password is wrong: check the line for this host, port, database and user in the "
       "file PGPASSFILE names"},
      {"no password supplied",
       "no password was found: PGPASSFILE must name a file of mode 0600 owned by the user "
       "that runs the sync, with a line for this host, port, database and user"},
      {"no pg_hba.conf entry",
       "the server does not let this user in from this PC: the depot's pg_hba.conf needs a "
       "hostssl line for the line's role"},
      {"does not exist",
       "the database or the user in the connection string is not at the depot: check dbname "
       "and user against what the depot's setup printed"},
      {"could not translate host name",
       "the host name does not resolve: check host= and the PC's DNS or /etc/hosts"},
  };
  for (const auto& h : hints)
    if (reason.contains(QLatin1String(h.says))) return QString::fromLatin1(h.hint);
  return QStringLiteral("check host, port and the network: the server does not answer");
}

}  // namespace

bool CheckLineSync(const QString& conninfo, const QString& line, QStringList& said,
                   QString& error) {
  Connection db;
  QString reason;
  if (!db.Open(conninfo, kProgram, reason)) {
    said << QStringLiteral("database: no answer (%1); %2").arg(reason, ConnectHint(reason));
    error = QStringLiteral("the line cannot sync: the database does not answer");
    return false;
  }
  const QString host = QString::fromUtf8(db.Setting("host"));
  said << QStringLiteral("database: %1 answers on %2 as %3")
              .arg(QString::fromUtf8(db.Setting("dbname")), host,
                   QString::fromUtf8(db.Setting("user")));
  QStringList failed;

  Result r;
  const QString role = LineRole(line);
  if (!db.Query("SELECT current_user, EXISTS (SELECT FROM lines WHERE name = $1), "
                "has_table_privilege('measurements', 'INSERT')",
                {line.toUtf8()}, r, reason)) {
    said << QStringLiteral("line's role: the database holds no depot schema (%1); the depot's "
                           "administrator migrates it first")
                .arg(reason);
    failed << "the line's role";
  } else if (r.Text(0, 0) != role) {
    said << QStringLiteral("line's role: logged in as %1, not as the role of line %2: put "
                           "user=%3 into the connection string and its password into PGPASSFILE")
                .arg(r.Text(0, 0), line, role);
    failed << "the line's role";
  } else if (r.Text(0, 1) != "t" || r.Text(0, 2) != "t") {
    said << QStringLiteral("line's role: %1 logs in, but the depot does not know line %2 or "
                           "lets it add no measurements: the depot's administrator adds the line "
                           "(kalvor-depot setup --line %2)")
                .arg(role, line);
    failed << "the line's role";
  } else {
    said << QStringLiteral("line's role: %1 may add the measurements and sets of line %2")
                .arg(role, line);
  }

  const QString mode = QString::fromUtf8(db.Setting("sslmode"));
  if (host.startsWith('/')) {
    said << QStringLiteral("TLS: not needed, the database is on this machine (socket in %1)")
                .arg(host);
  } else if (!db.TlsInUse()) {
    said << QStringLiteral("TLS: the connection is not encrypted (sslmode=%1): add sslmode=verify-full "
                           "and sslrootcert=FILE with the depot's CA certificate")
                .arg(mode);
    failed << "TLS";
  } else if (mode != "verify-full") {
    said << QStringLiteral("TLS: encrypted, but the server's certificate is not checked "
                           "(sslmode=%1): set sslmode=verify-full and sslrootcert=FILE with the "
                           "depot's CA certificate")
                .arg(mode);
    failed << "TLS";
  } else {
    said << QStringLiteral("TLS: the server's certificate chain verifies against %1 and names %2")
                .arg(QString::fromUtf8(db.Setting("sslrootcert")), host);
  }
  if (failed.isEmpty()) return true;
  error = QStringLiteral("the line cannot sync until this is put right: %1").arg(failed.join(", "));
  return false;
}

}  // namespace depot
