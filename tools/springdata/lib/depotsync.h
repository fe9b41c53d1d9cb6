#pragma once
// The copy of one line's record files into the depot database, and the
// database commands of springdata (migrate, add-line).
//
// The sync reads base.bin, day.bin and Tel.bin of the installation (whole
// records only, so a record the program is appending is taken at the next
// run) and never writes into the folder. Its position lives in the line's
// row of `lines`: the number of records of each file already copied and the
// md5 of the last of them. Each batch is one transaction: the records go in
// with ON CONFLICT DO NOTHING on the measurement's identity (line,
// identifier, stored date and time) and the position moves in the same
// commit. A run killed at any moment therefore leaves the database at the
// end of a batch, and the next run goes on from there; a record copied twice
// (from day.bin and, after the shift change, from base.bin) is one row.

#include <QString>
#include <QStringList>
#include <functional>

namespace springdata {

struct SyncOptions {
  QString conninfo;
  QString line;
  int batchRecords = 5000;
};

struct SyncReport {
  qint64 baseRead = 0, dayRead = 0, setsRead = 0;  // records read and sent
  qint64 measurementsAdded = 0, setsAdded = 0;     // rows new to the database
  // A file emptied or replaced since the last run, records without a
  // readable date (not copied).
  QStringList findings;
};

// Copies the open installation (OpenInstallation) into the database. False
// with `error` when the database cannot be reached, is not migrated, does
// not know the line, or a file cannot be read; what was committed before
// stays.
bool SyncInstallation(const SyncOptions& options, SyncReport& report, QString& error);

// `springdata db migrate`: applies the missing migrations.
bool MigrateDatabase(const QString& conninfo, QStringList& applied, QString& error);

// `springdata db add-line NAME`: makes the line's role kalvor_line_NAME
// (LOGIN, no password; member of kalvor_lines) and its `lines` row. NAME is
// 1..40 of a-z, 0-9 and _. Adding a line that exists changes nothing.
bool AddLine(const QString& conninfo, const QString& name, QString& role, bool& existed,
             QString& error);

// The role of a line's name.
QString LineRole(const QString& name);

// Runs `springdata sync ...` and `springdata db ...` with the arguments after
// the command word; returns the exit code.
int RunDepotCommand(const QString& command, QStringList args);

}  // namespace springdata
