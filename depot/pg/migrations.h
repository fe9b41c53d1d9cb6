#pragma once
// The schema of the depot database: the migrations of depot/sql, compiled
// in, applied in the order of their numbers and recorded in
// schema_migrations(version, applied_at). A file NNN_name.sql is version NNN.

#include <QString>
#include <QStringList>
#include <vector>

namespace depot {

class Connection;

struct MigrationFile {
  const char* name;  // "001_initial.sql"
  const char* sql;
};

// Every migration, in order of version.
const std::vector<MigrationFile>& MigrationFiles();
int MigrationVersion(const MigrationFile& file);
// The railway centre's schema over the depot's (depot/sql/central).
const char* CentralSchemaSql();
// The version the programs of this build expect.
int LatestSchemaVersion();

// Applies the migrations the database does not have yet, each in its own
// transaction together with its schema_migrations row; one migrator at a
// time (an advisory lock). `applied` gets the names of those applied; none
// when the database is current. Needs the owner of the database, with the
// right to create roles.
bool Migrate(Connection& db, QStringList& applied, QString& error);

// The highest version applied, 0 for a database without the schema.
bool SchemaVersion(Connection& db, int& version, QString& error);

// True when the database is at the version of this build; otherwise `error`
// says what to do.
bool CheckSchema(Connection& db, QString& error);

}  // namespace depot
