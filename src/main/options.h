#pragma once
// The program's command line.

#include <QDateTime>
#include <QString>
#include <QStringList>

struct TProgramOptions {
  QString home;          // --home DIR: program and working folder
  QString playFile;      // --play FILE: playback script
  bool virtualClock = false;  // --virtual-clock
  QString lineClock;     // --line-clock FILE: the simulated line keeps the virtual clock
  QDateTime now;         // --now YYYY-MM-DDTHH:MM:SS: the clock starts here
  bool help = false;
  QString error;         // a message when the command line is wrong
};

// Parses the program's own options; Qt's options (-platform ...) are left to Qt.
TProgramOptions ParseProgramOptions(const QStringList& args);
QString ProgramUsage();
