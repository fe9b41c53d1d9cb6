#pragma once
// springdata's front end over the depot's sync and database commands
// (depot/sync): reads the command line, opens the installation, says what
// was done.
//
//   springdata sync --home DIR --database CONNINFO --line NAME [--batch N] [--quiet]
//   springdata db migrate --database CONNINFO [--time-zone ZONE]
//   springdata db add-line NAME --database CONNINFO

#include <QString>
#include <QStringList>

namespace springdata {

// Runs `springdata sync ...` and `springdata db ...` with the arguments after
// the command word; returns the exit code.
int RunDepotCommand(const QString& command, QStringList args);

}  // namespace springdata
