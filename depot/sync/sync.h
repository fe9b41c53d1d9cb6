#pragma once
// The copy of one line's record files into the depot database.
//
// The sync reads base.bin, day.bin and Tel.bin of an installation (whole
// records only, so a record the program is appending is taken at the next
// run) and never writes into the folder. The caller has opened the
// installation: the spring types the records are judged by are loaded, and
// the options name the three files. The sync's position lives in the line's
// row of `lines`: the number of records of each file already copied and the
// md5 of the last of them. Each batch is one transaction: the records go in
// with a plain INSERT, or, when one of them is there already, the batch is
// undone to a savepoint and goes in again with ON CONFLICT DO NOTHING on the
// measurement's identity (line, identifier, stored date and time); the
// position moves in the same commit. A run killed at any moment therefore leaves the database at the
// end of a batch, and the next run goes on from there; a record copied twice
// (from day.bin and, after the shift change, from base.bin) is one row.

#include <QString>
#include <QStringList>

namespace depot {

// The mapped paths of the installation's record files.
struct RecordFiles {
  QString base, day, sets;
};

struct SyncOptions {
  QString conninfo;
  QString line;
  RecordFiles files;
  // Records per transaction; 0 takes 5000, and 25 000 while more than
  // twice that are still to go (a first sync), which spares the database
  // the work each batch costs once (the summaries' statement, the commit).
  int batchRecords = 0;
  // A session of the sync silent this long is ended by the database, and
  // with it the line's lock (the sync between two batches is idle for
  // milliseconds).
  int silenceSeconds = 20;
};

struct SyncReport {
  qint64 baseRead = 0, dayRead = 0, setsRead = 0;  // records read and sent
  qint64 measurementsAdded = 0, setsAdded = 0;     // rows new to the database
  // A file emptied or replaced since the last run, records without a
  // readable date (not copied), another sync of the line at work.
  QStringList findings;
  // Another sync of the line held it: this run did nothing.
  bool held = false;
};

// Copies the line's record files into the database. False with `error` when
// the database cannot be reached, is not migrated, does not know the line,
// or a file cannot be read; what was committed before stays.
bool SyncInstallation(const SyncOptions& options, SyncReport& report, QString& error);

}  // namespace depot
