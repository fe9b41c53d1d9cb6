#pragma once
// Backups of an installation folder's own data: the record files (whole
// records only, also while the program appends), the state files, setup.ini,
// the bogie file, Calibrate.txt and the calibration tables, copied into a
// dated folder with a SHA-256 manifest that `sha256sum -c` also reads.
// Pictures and texts are not copied: mkinstall --force writes them anew.

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace springdata {

// The manifest of a backup folder, "<sha-256 hex>  <relative path>" a line.
inline const QString kManifestName = QStringLiteral("SHA256SUMS");

// Copies the installation `home` into a new folder kalvor-YYYYMMDD-HHMMSS
// (a "-2", "-3", ... added within one second) under `to`, created when
// missing; the copy is written under a hidden name, read back against its
// manifest and renamed only when it verifies. Then only the newest `keep`
// backups under `to` are kept. `said` gets one line per thing done; false
// with `error` when no verified backup was made (earlier backups are then
// left as they were).
bool MakeBackup(const QString& home, const QString& to, int keep, const QDateTime& now,
                QStringList& said, QString& error);

// For a backup folder declared a mounted disk or share: false with `error`
// when nothing is mounted there, that is when `to` does not exist or lies on
// the file system of "/" or of `home`, so that the backups never go quietly
// onto the PC's own disk while the share is away.
bool CheckBackupMount(const QString& home, const QString& to, QString& error);

// The installation's flag of a failed backup (kBackupFailedFile): written
// with the time and the reason, removed after a backup that succeeded.
void NoteBackupFailed(const QString& home, const QDateTime& when, const QString& reason);
void ClearBackupFailed(const QString& home);

// Reads every file of the manifest and compares its checksum. False with
// `error` naming each file that is missing or differs.
bool VerifyBackup(const QString& folder, QString& error);

// A running copy of the program that works on `home` ("PID EXECUTABLE"), or
// empty. A copy whose folder cannot be told counts as working on it.
QString ProgramRunningOn(const QString& home);

// Puts a verified backup back into `home`, each file whole, when no copy of
// the program works on it. False with `error` and `home` unchanged when the
// backup does not verify or the program runs.
bool RestoreBackup(const QString& from, const QString& home, QStringList& said, QString& error);

}  // namespace springdata
