#pragma once
// Refuses a second copy of the program: another running process with the
// same executable path.

#include <QList>
#include "platform/process.h"

// True when a process other than ownPid runs the executable ownPath (paths
// compared case-sensitively as whole strings).
bool OtherInstanceRunning(const QList<plat::RunningProcess>& processes, const QString& ownPath,
                          qint64 ownPid);
// Checks the running processes; on a second copy writes the refusal to
// standard error, shows it in a message box when asked to, and returns false.
bool SingleInstanceCheck(bool showBox);
