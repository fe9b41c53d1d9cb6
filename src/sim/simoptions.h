#pragma once
// The command line of linesim: every option with its help line, parsed into
// the faults, the spring and the run of the simulated line. Kept beside the
// line so that the tests check the parsing without a process.

#include <QString>
#include <QStringList>

#include "sim/simline.h"
#include "sim/simspring.h"

struct LinesimOptions {
  SimFaults faults;
  SimpleSpring spring;
  SimTiming timing;          // --quick shortens the line's own delays
  bool board = true;         // the test board gets its pseudo-terminal
  double runForSeconds = 0;  // 0: until interrupted
  QString logFile;           // every request appended here, when set
  QString clockFile;         // --clock: the clock shared with the program
  bool help = false;
};

struct LinesimParse {
  bool ok = false;
  QString error;  // what was wrong, naming the option
  LinesimOptions options;
};

LinesimParse ParseLinesimOptions(const QStringList& args);
// The usage line and one line per option.
QString LinesimHelpText();
// One line per fault in force, for linesim to print at start.
QStringList LinesimFaultLines(const SimFaults& faults);
