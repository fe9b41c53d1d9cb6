#pragma once
// The installation's flag of a failed backup: written by the daily backup
// when it fails (its time, then the reason) and removed by the next one that
// succeeds; the start page shows it until then.

#include <QString>

inline const QString kBackupFailedFile = QStringLiteral("backup-failed.txt");
