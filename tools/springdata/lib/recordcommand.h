#pragma once
// The command line of springdata's commands that read records (export, sets,
// capability): the installation, the filter, the format and the output, read
// once here for springdata and for its capability program, which runs apart
// because it alone draws.

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

#include "source.h"

namespace springdata {

// springdata's usage text.
const char* UsageText();

// Messages on standard error, each headed "springdata: ".
void Note(const QString& message);
// Prints `why` (when given) and the usage; returns the exit code 2.
int Usage(const QString& why);
// Prints `message`; returns the exit code 1.
int Fail(const QString& message);

// Progress once a second at most, so that a long run shows it is alive.
struct Progress {
  bool quiet = false;
  QElapsedTimer clock;
  qint64 lastMs = 0;
  bool shown = false;
  void operator()(const QString& file, qint64 done, qint64 total);
};

struct RecordCommand {
  QString command;  // export, sets or capability
  QString home, files, format, out;
  QString bogie, spring;  // as given; resolved into the filter on opening
  char decimalPoint = ',';
  bool quiet = false;
  RecordFilter filter;
  QStringList range;  // the filter in words
  // The record files read, in order: mapped path and name (base, day).
  std::vector<std::pair<QString, const char*>> sources;
  QStringList sourceNames;
};

// Reads the arguments after the command word. False with `error` for a
// wrong command line (exit code 2).
bool ReadRecordCommand(const QString& command, const QStringList& args, RecordCommand& c, QString& error);

// Opens the installation (its warnings go to standard error), resolves the
// types and lists the sources. False with `error` (exit code 1).
bool OpenRecordCommand(RecordCommand& c, QString& error);

}  // namespace springdata
