#pragma once
// Processes: the running executables for the single-instance check, starting
// an outside program (poweroff.exe), ending the process.

#include <QList>
#include <QString>
#include <QStringList>

namespace plat {

struct RunningProcess {
  qint64 pid = 0;
  QString executable;  // full path of the process's executable
};

// Every process whose executable can be read; others are skipped.
QList<RunningProcess> RunningExecutables();
QString OwnExecutablePath();
qint64 OwnProcessId();

// Starts a program detached with a normal window; false when it can't start.
// A Windows-style name ending in ".exe" that does not exist is also tried
// without the ending, so an installation can provide "poweroff" as a script.
bool StartProgram(const QString& mappedPath, const QStringList& args = {});

// Ends the process at once with the exit code, after flushing output.
[[noreturn]] void EndProcess(int code);

}  // namespace plat
