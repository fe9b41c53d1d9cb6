#pragma once
// springdata's front end over the depot's sync and database commands
// (depot/sync): reads the command line, opens the installation, says what
// was done.
//
//   springdata sync --home DIR --database CONNINFO --line NAME [--batch N] [--quiet]
//   springdata db migrate --database CONNINFO [--time-zone ZONE] [--depot CODE | --central]
//   springdata db add-line NAME --database CONNINFO
//   springdata db publish --database ADMIN
//   springdata db subscribe --database CENTRE --depot CODE --from CONNINFO [--recopy]

#include <QString>
#include <QStringList>

namespace springdata {

// Runs `springdata sync ...` and `springdata db ...` with the arguments after
// the command word; returns the exit code.
int RunDepotCommand(const QString& command, QStringList args);

}  // namespace springdata
