#pragma once
// The backup and restore commands of springdata.

#include <QStringList>

// Runs `springdata backup|restore` with the arguments after the command;
// returns the exit code (0 done, 1 not done, 2 a wrong command line).
int RunBackupCommand(const QString& command, QStringList args);
