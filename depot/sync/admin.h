#pragma once
// The depot database's administration: the schema's migrations and the
// lines that may sync into it.

#include <QString>
#include <QStringList>

namespace depot {

// Applies the missing migrations.
bool MigrateDatabase(const QString& conninfo, QStringList& applied, QString& error);

// Makes the line's role kalvor_line_NAME (LOGIN, no password; member of
// kalvor_lines) and its `lines` row. NAME is 1..40 of a-z, 0-9 and _.
// Adding a line that exists changes nothing.
bool AddLine(const QString& conninfo, const QString& name, QString& role, bool& existed,
             QString& error);

// The role of a line's name.
QString LineRole(const QString& name);

}  // namespace depot
