#include "sync/admin.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <functional>

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

namespace {

const QRegularExpression& DepotCodePattern() {
  static const QRegularExpression kCode(QStringLiteral("^[a-z0-9_]{1,20}$"));
  return kCode;
}

bool CheckDepotCode(const QString& code, QString& error) {
  if (DepotCodePattern().match(code).hasMatch()) return true;
  error = QStringLiteral("a depot's code is 1 to 20 of the characters a-z, 0-9 and _, not \"%1\"").arg(code);
  return false;
}

// Sets the database's zone, or checks that one was set before.
bool ApplyTimeZone(Connection& db, const QString& timeZone, QString& error) {
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
    return true;
  }
  const QByteArray zone = timeZone.toUtf8();
  if (!db.Query("SELECT current_database() FROM pg_timezone_names WHERE name = $1", {zone}, r, error))
    return false;
  if (r.Rows() == 0) {
    error = QStringLiteral("unknown time zone \"%1\": give a name of the tz database, as Europe/Moscow")
                .arg(timeZone);
    return false;
  }
  // The name is one of the database's own zones: no quote in it.
  return db.Exec("ALTER DATABASE " + QuoteIdentifier(r.Value(0, 0)) + " SET timezone TO '" + zone + "'", error);
}

// The stamp of a database migrated at least to the depot's code: its code
// (empty when not given yet) and whether it is the centre.
bool ReadStamp(Connection& db, QString& code, bool& central, QString& error) {
  Result r;
  code.clear();
  central = false;
  if (!db.Query("SELECT to_regclass('depot_stamp') IS NOT NULL", {}, r, error)) return false;
  if (r.Value(0, 0) != "t") return true;
  if (!db.Query("SELECT coalesce(code, ''), central FROM depot_stamp", {}, r, error)) return false;
  code = r.Text(0, 0);
  central = r.Value(0, 1) == "t";
  return true;
}

QByteArray QuoteLiteral(const QByteArray& text) {
  QByteArray quoted = text;
  quoted.replace('\'', "''");
  return '\'' + quoted + '\'';
}

bool InTransaction(Connection& db, const std::function<bool(QString&)>& work, QString& error) {
  if (!db.Exec("BEGIN", error)) return false;
  if (work(error) && db.Exec("COMMIT", error)) return true;
  QString ignored;
  db.Exec("ROLLBACK", ignored);
  return false;
}

}  // namespace

bool MigrateDatabase(const QString& conninfo, const QString& timeZone, QStringList& applied,
                     QString& error) {
  return MigrateDatabase(conninfo, timeZone, QString(), applied, error);
}

bool MigrateDatabase(const QString& conninfo, const QString& timeZone, const QString& depotCode,
                     QStringList& applied, QString& error) {
  if (!depotCode.isEmpty() && !CheckDepotCode(depotCode, error)) return false;
  Connection db;
  if (!db.Open(conninfo, kProgram, error)) return false;
  QString stored;
  bool central = false;
  if (!ReadStamp(db, stored, central, error)) return false;
  if (central && !depotCode.isEmpty()) {
    error = QStringLiteral("this is the railway's central database, no depot: it takes no --depot");
    return false;
  }
  if (!stored.isEmpty() && !depotCode.isEmpty() && stored != depotCode) {
    error = QStringLiteral("this depot is %1; its code is given once and not changed").arg(stored);
    return false;
  }
  // Read by the migration that adds the depot's code to the rows.
  if (!ApplyTimeZone(db, timeZone, error) ||
      !db.Query("SELECT set_config('kalvor.depot', $1, false)", {depotCode.toUtf8()}, error) ||
      !Migrate(db, applied, error))
    return false;
  if (depotCode.isEmpty() || stored == depotCode) return true;
  return InTransaction(
      db,
      [&](QString& e) {
        return db.Query("UPDATE depot_stamp SET code = $1, stamped_at = now() WHERE code IS NULL",
                        {depotCode.toUtf8()}, e) &&
               db.Exec("SELECT kalvor_stamp_rows()", e);
      },
      error);
}

bool MigrateCentral(const QString& conninfo, const QString& timeZone, QStringList& applied,
                    QString& error) {
  Connection db;
  if (!db.Open(conninfo, kProgram, error)) return false;
  QString code;
  bool central = false;
  if (!ReadStamp(db, code, central, error)) return false;
  if (!code.isEmpty()) {
    error = QStringLiteral("this is depot %1's database, not a central one").arg(code);
    return false;
  }
  if (!ApplyTimeZone(db, timeZone, error) || !Migrate(db, applied, error)) return false;
  if (!central) {
    if (!InTransaction(db, [&](QString& e) { return db.Exec(CentralSchemaSql(), e); }, error)) {
      error = QStringLiteral("the central schema failed, nothing of it applied: %1").arg(error);
      return false;
    }
    applied << QStringLiteral("central");
  }
  // Added to the central schema after centres were made with it: when
  // `db subscribe` found a depot's slot lost (the centre away past the
  // depot's max_slot_wal_keep_size); cleared by the re-copy.
  if (!db.Exec("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_attribute WHERE attrelid = 'railway_depots'::regclass "
               "AND attname = 'slot_lost_at') THEN ALTER TABLE railway_depots ADD COLUMN slot_lost_at timestamptz; "
               "END IF; END $$",
               error))
    return false;
  // This month's and the next one's partitions; the depots' older months
  // come with their subscriptions.
  return db.Exec("SELECT kalvor_ensure_month(now()), kalvor_ensure_month(now() + interval '1 month')", error);
}

bool PublishDepot(const QString& conninfo, QString& password, QStringList& findings, QString& error) {
  Connection db;
  if (!db.Open(conninfo, kProgram, error) || !CheckSchema(db, error)) return false;
  QString code;
  bool central = false;
  if (!ReadStamp(db, code, central, error)) return false;
  if (central || code.isEmpty()) {
    error = central ? QStringLiteral("the central database publishes nothing")
                    : QStringLiteral("the depot has no code yet: springdata db migrate --depot CODE first");
    return false;
  }
  Result r;
  if (!db.Query("SELECT current_setting('wal_level'), current_setting('max_slot_wal_keep_size')", {}, r, error))
    return false;
  if (r.Value(0, 0) != "logical")
    findings << QStringLiteral("wal_level is %1: the centre cannot subscribe until postgresql.conf sets "
                               "wal_level = logical and the server is restarted")
                    .arg(r.Text(0, 0));
  if (r.Value(0, 1) == "-1")
    findings << QStringLiteral("max_slot_wal_keep_size is unlimited: a centre away for weeks keeps the "
                               "depot's WAL until the disk is full; set it (as 20GB)");
  if (!db.Query("SELECT 1 FROM pg_roles WHERE rolname = 'kalvor_replication'", {}, r, error)) return false;
  const bool roleExists = r.Rows() == 1;
  password.clear();
  if (!roleExists) {
    static const char kAlphabet[] = "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    for (int i = 0; i < 24; ++i)
      password += QLatin1Char(kAlphabet[QRandomGenerator::system()->bounded(int(sizeof kAlphabet) - 1)]);
  }
  if (!db.Query("SELECT 1 FROM pg_publication WHERE pubname = 'kalvor_railway'", {}, r, error)) return false;
  const bool published = r.Rows() == 1;
  return InTransaction(
      db,
      [&](QString& e) {
        bool ok = roleExists ||
                  db.Exec("CREATE ROLE kalvor_replication LOGIN REPLICATION PASSWORD " +
                              QuoteLiteral(password.toUtf8()),
                          e);
        ok = ok && db.Exec("GRANT SELECT ON lines, measurements, sets TO kalvor_replication", e);
        for (const char* table : {"lines", "measurements", "sets"}) {
          const QByteArray t(table);
          ok = ok && db.Exec("DROP POLICY IF EXISTS " + t + "_railway ON " + t + "; CREATE POLICY " + t +
                                 "_railway ON " + t + " FOR SELECT TO kalvor_replication USING (true)",
                             e);
        }
        return ok && (published ||
                      db.Exec("CREATE PUBLICATION kalvor_railway FOR TABLE measurements, sets, lines "
                              "WITH (publish = 'insert, update, delete', publish_via_partition_root = true)",
                              e));
      },
      error);
}

QString DepotRole(const QString& code) { return QStringLiteral("kalvor_depot_") + code; }

bool DepotSlotState(const QString& from, const QString& code, QString& state, QString& error) {
  Connection depotDb;
  Result r;
  if (!depotDb.Open(from, kProgram, error) ||
      !depotDb.Query("SELECT coalesce(wal_status, '') FROM pg_replication_slots WHERE slot_name = $1",
                     {DepotRole(code).toUtf8()}, r, error)) {
    error = QStringLiteral("depot %1 does not answer: %2").arg(code, error);
    return false;
  }
  state = r.Rows() == 1 ? r.Text(0, 0) : QString();
  return true;
}

bool SubscribeDepot(const QString& conninfo, const QString& code, const QString& from, bool recopy,
                    bool& existed, QString& error) {
  if (!CheckDepotCode(code, error)) return false;
  QByteArray source;
  if (!CheckConninfo(from, source, error)) return false;
  Connection db;
  if (!db.Open(conninfo, kProgram, error) || !CheckSchema(db, error)) return false;
  QString stamp;
  bool central = false;
  if (!ReadStamp(db, stamp, central, error)) return false;
  if (!central) {
    error = QStringLiteral("not a central database: springdata db migrate --central first");
    return false;
  }
  const QByteArray c = code.toUtf8(), role = DepotRole(code).toUtf8(), q = QuoteIdentifier(role);
  Result r;
  if (!db.Query("SELECT 1 FROM pg_subscription WHERE subname = $1", {role}, r, error)) return false;
  existed = r.Rows() == 1;
  if (existed && !recopy) {
    // A subscription whose slot the depot gave up gets nothing more: say so
    // here and on the centre's page, since the centre itself only sees its
    // worker failing to start.
    QString slot;
    if (!DepotSlotState(from, code, slot, error)) return false;
    if (slot != "lost") return true;
    QString ignored;
    db.Query("UPDATE railway_depots SET slot_lost_at = coalesce(slot_lost_at, now()) WHERE code = $1", {c}, ignored);
    error = QStringLiteral("depot %1's replication slot is lost: the centre was away longer than the depot's "
                           "max_slot_wal_keep_size allows and the depot removed WAL the centre had not received, "
                           "so no more of its rows come; copy the depot anew with "
                           "springdata db subscribe --depot %1 --from CONNINFO --recopy")
                .arg(code);
    return false;
  }
  if (existed) {
    // Its slot at the depot, kept or lost with its WAL, goes with it.
    if (!db.Exec("ALTER SUBSCRIPTION " + q + " DISABLE", error) || !db.Exec("DROP SUBSCRIPTION " + q, error))
      return false;
  }
  // The months the depot holds get their partitions before its rows come.
  {
    Connection depotDb;
    if (!depotDb.Open(from, kProgram, error)) return false;
    if (!depotDb.Query("SELECT min(measured_at) FROM measurements WHERE measured_at >= '2000-01-01'", {}, r,
                       error))
      return false;
  }
  const QByteArray first = r.IsNull(0, 0) ? QByteArray("now()") : QuoteLiteral(r.Value(0, 0)) + "::timestamptz";
  if (!InTransaction(
          db,
          [&](QString& e) {
            if (!db.Query("SELECT 1 FROM pg_roles WHERE rolname = $1", {role}, r, e)) return false;
            // Only a superuser owns a subscription on this server version;
            // the role has no password and logs in nowhere.
            return (r.Rows() == 1 || db.Exec("CREATE ROLE " + q + " LOGIN SUPERUSER", e)) &&
                   db.Query("INSERT INTO railway_depots (code, role_name) VALUES ($1, $2) "
                            "ON CONFLICT (code) DO UPDATE SET subscribed_at = now(), slot_lost_at = NULL",
                            {c, role}, e) &&
                   db.Query("DELETE FROM measurements WHERE depot = $1", {c}, e) &&
                   db.Query("DELETE FROM sets WHERE depot = $1", {c}, e) &&
                   db.Query("DELETE FROM lines WHERE depot = $1", {c}, e) &&
                   db.Exec("SELECT kalvor_ensure_month(m) FROM generate_series(date_trunc('month', " + first +
                               "), now() + interval '1 month', interval '1 month') m",
                           e);
          },
          error))
    return false;
  // Made disabled so that not even the initial copy runs as another role
  // than the depot's own.
  return db.Exec("CREATE SUBSCRIPTION " + q + " CONNECTION " + QuoteLiteral(source) +
                     " PUBLICATION kalvor_railway WITH (enabled = false)",
                 error) &&
         db.Exec("ALTER SUBSCRIPTION " + q + " OWNER TO " + q, error) &&
         db.Exec("ALTER SUBSCRIPTION " + q + " ENABLE", error);
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
  QString code;
  bool central = false;
  if (!ReadStamp(db, code, central, error)) return false;
  if (central) {
    error = QStringLiteral("the railway's central database has no lines: they sync into their depots");
    return false;
  }
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
