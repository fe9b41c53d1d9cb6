#pragma once
// The depot database's administration: the schema's migrations and the
// lines that may sync into it.

#include <QString>
#include <QStringList>

namespace depot {

// Applies the missing migrations.
bool MigrateDatabase(const QString& conninfo, QStringList& applied, QString& error);
// The same, and the database's time zone, the zone its days, weeks and the
// lines' shifts are counted in: set to `timeZone` (a name of the tz
// database, as "Europe/Moscow"), or, empty, kept as set before; a database
// whose zone was never set is refused, since a guess would count the shifts
// wrong.
bool MigrateDatabase(const QString& conninfo, const QString& timeZone, QStringList& applied,
                     QString& error);

// The same, and the depot's code: `depotCode` (1..20 of a-z, 0-9 and _)
// stamps a depot not stamped yet and gives its rows the code; a depot
// stamped with another code is refused; empty keeps what is stored. A
// central database takes no code.
bool MigrateDatabase(const QString& conninfo, const QString& timeZone, const QString& depotCode,
                     QStringList& applied, QString& error);

// The railway's central database: the depot migrations, then the central
// schema (once); the time zone as for a depot. A stamped depot is refused.
bool MigrateCentral(const QString& conninfo, const QString& timeZone, QStringList& applied,
                    QString& error);

// Publishes a stamped depot for the centre: the publication kalvor_railway
// of measurements (through its partitioned root), sets and lines, and the
// replication role kalvor_replication. A role made now gets a new random
// `password` (empty when the role existed and keeps its own). `findings`
// says what of the server's settings puts the depot at risk.
bool PublishDepot(const QString& conninfo, QString& password, QStringList& findings,
                  QString& error);

// Subscribes the centre to the depot `code` at `from` (a libpq conninfo the
// centre's server connects with; its password in that server's ~/.pgpass):
// its role kalvor_depot_CODE, the subscription of that name owned by it
// (initial copy, then streaming). `recopy` drops the subscription and the
// depot's rows at the centre first and copies the depot again (a depot
// whose replication slot was lost). A subscribed depot is left as it is,
// unless its slot at the depot is lost: then false, the loss noted at the
// centre for its page, and `error` says to re-copy.
bool SubscribeDepot(const QString& conninfo, const QString& code, const QString& from, bool recopy,
                    bool& existed, QString& error);

// The role at the centre that a depot's rows are applied as; also the name
// of its subscription and of the subscription's slot at the depot.
QString DepotRole(const QString& code);

// The wal_status of the centre's slot at the depot (read over `from`):
// "reserved", "extended", "unreserved", "lost", or empty when there is none.
bool DepotSlotState(const QString& from, const QString& code, QString& state, QString& error);

// Makes the line's role kalvor_line_NAME (LOGIN, no password; member of
// kalvor_lines) and its `lines` row. NAME is 1..40 of a-z, 0-9 and _.
// Adding a line that exists changes nothing.
bool AddLine(const QString& conninfo, const QString& name, QString& role, bool& existed,
             QString& error);

// Whether NAME may name a line; `error` says why not.
bool CheckLineName(const QString& name, QString& error);

// The role of a line's name.
QString LineRole(const QString& name);

// What a line's PC needs for its sync, each said in `said` in words an
// administrator can act on: the database answers the login, the login is
// the line's role and may add its records, and the connection runs over TLS
// with the server's certificate chain verified (or over a local socket).
// False with `error` naming what is wrong.
bool CheckLineSync(const QString& conninfo, const QString& line, QStringList& said,
                   QString& error);

}  // namespace depot
