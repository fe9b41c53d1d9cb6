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

// Makes the line's role kalvor_line_NAME (LOGIN, no password; member of
// kalvor_lines) and its `lines` row. NAME is 1..40 of a-z, 0-9 and _.
// Adding a line that exists changes nothing.
bool AddLine(const QString& conninfo, const QString& name, QString& role, bool& existed,
             QString& error);

// Whether NAME may name a line; `error` says why not.
bool CheckLineName(const QString& name, QString& error);

// The role of a line's name.
QString LineRole(const QString& name);

}  // namespace depot
