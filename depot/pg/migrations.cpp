#include "pg/migrations.h"

#include "pg/pg.h"

namespace depot {

namespace {

// Any constant shared by all migrators of one database.
constexpr const char* kLockKey = "7294150021";

}  // namespace

int MigrationVersion(const MigrationFile& file) {
  return QString::fromLatin1(file.name).section(QLatin1Char('_'), 0, 0).toInt();
}

int LatestSchemaVersion() {
  const auto& files = MigrationFiles();
  return files.empty() ? 0 : MigrationVersion(files.back());
}

bool SchemaVersion(Connection& db, int& version, QString& error) {
  Result r;
  if (!db.Query("SELECT to_regclass('schema_migrations') IS NOT NULL", {}, r, error)) return false;
  version = 0;
  if (r.Value(0, 0) != "t") return true;
  if (!db.Query("SELECT coalesce(max(version), 0) FROM schema_migrations", {}, r, error)) return false;
  version = static_cast<int>(r.Number(0, 0));
  return true;
}

bool CheckSchema(Connection& db, QString& error) {
  int version = 0;
  if (!SchemaVersion(db, version, error)) return false;
  const int latest = LatestSchemaVersion();
  if (version == latest) return true;
  error = version < latest
              ? QStringLiteral("the depot database is at schema version %1, this program needs %2: "
                               "run springdata db migrate")
                    .arg(version)
                    .arg(latest)
              : QStringLiteral("the depot database is at schema version %1, newer than this "
                               "program's %2: update the program")
                    .arg(version)
                    .arg(latest);
  return false;
}

bool Migrate(Connection& db, QStringList& applied, QString& error) {
  if (!db.Query(QByteArray("SELECT pg_advisory_lock(") + kLockKey + ")", {}, error)) return false;
  auto unlock = [&] {
    QString ignored;
    db.Query(QByteArray("SELECT pg_advisory_unlock(") + kLockKey + ")", {}, ignored);
  };
  if (!db.Exec("CREATE TABLE IF NOT EXISTS schema_migrations ("
               " version integer PRIMARY KEY,"
               " applied_at timestamptz NOT NULL DEFAULT now())",
               error)) {
    unlock();
    return false;
  }
  int version = 0;
  if (!SchemaVersion(db, version, error)) {
    unlock();
    return false;
  }
  for (const MigrationFile& file : MigrationFiles()) {
    const int v = MigrationVersion(file);
    if (v <= version) continue;
    QString failure;
    const bool ok = db.Exec("BEGIN", failure) && db.Exec(file.sql, failure) &&
                    db.Query("INSERT INTO schema_migrations (version) VALUES ($1)",
                             {QByteArray::number(v)}, failure) &&
                    db.Exec("COMMIT", failure);
    if (!ok) {
      QString ignored;
      db.Exec("ROLLBACK", ignored);
      unlock();
      error = QStringLiteral("migration %1 failed, nothing of it applied: %2")
                  .arg(QString::fromLatin1(file.name), failure);
      return false;
    }
    applied << QString::fromLatin1(file.name);
  }
  unlock();
  return true;
}

}  // namespace depot
