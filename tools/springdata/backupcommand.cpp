#include "backupcommand.h"

#include <QDateTime>
#include <QFileInfo>
#include <cstdio>

#include "lib/backup.h"
#include "lib/recordcommand.h"
#include "platform/optionreader.h"
#include "platform/owner.h"

using springdata::Note;

namespace {

const char* const kBackupUsage =
    "usage:\n"
    "  springdata backup  --home DIR --to FOLDER [--keep N] [--mount yes|no] [--as-owner]\n"
    "      copies the record files (whole records), the state files, setup.ini,\n"
    "      the bogie file, Calibrate.txt and the calibration tables into\n"
    "      FOLDER/kalvor-YYYYMMDD-HHMMSS with a SHA-256 manifest, verifies the\n"
    "      copy and keeps the newest N backups (default 30) by the time each was\n"
    "      taken, never the one just made; --mount yes refuses a FOLDER on which\n"
    "      nothing is mounted. A failed backup leaves DIR/backup-failed.txt, which\n"
    "      the start page shows until a backup succeeds\n"
    "  springdata restore --from BACKUP --home DIR [--as-owner]\n"
    "      checks the backup and puts it back into DIR while the program is not\n"
    "      running on DIR\n"
    "  springdata verify  --from BACKUP\n"
    "backup and restore run as the owner of DIR; --as-owner lets root become it.\n";

int Usage(const QString& why) {
  Note(why);
  std::fputs(kBackupUsage, stderr);
  return 2;
}

}  // namespace

int RunBackupCommand(const QString& command, QStringList args) {
  plat::OptionReader reader;
  reader.Flag("--help").Flag("-h").Flag(plat::kAsOwnerOption);
  const QStringList valued = command == "backup" ? QStringList{"--home", "--to", "--keep", "--mount"}
                                                 : QStringList{"--home", "--from"};
  for (const QString& name : valued) reader.Value(name);
  if (QString wrong; !reader.Read(args, wrong)) return Usage(wrong + " for " + command);
  if (reader.Has("--help") || reader.Has("-h")) {
    std::fputs(kBackupUsage, stdout);
    return 0;
  }
  for (const QString& name : valued)
    if (reader.Has(name) && reader.Get(name).isEmpty()) return Usage(name + " needs a value");
  const QString home = reader.Get("--home"), to = reader.Get("--to"), from = reader.Get("--from");
  bool ok = true;
  const int keep = reader.Has("--keep") ? reader.Get("--keep").toInt(&ok) : 30;
  if (!ok || keep < 1)
    return Usage("--keep takes a number of backups from 1, not " + reader.Get("--keep"));
  const QString mount = reader.Get("--mount", "no");
  if (mount != "yes" && mount != "no") return Usage("--mount takes yes or no, not " + mount);
  QStringList said;
  QString error;
  bool done = false;
  if (command != "verify" && !home.isEmpty() &&
      !plat::RunAsInstallationOwner(home, reader.Has(plat::kAsOwnerOption),
                                    "kalvor-springdata " + command, error)) {
    Note(error);
    return 1;
  }
  if (command == "backup") {
    if (home.isEmpty() || to.isEmpty()) return Usage("backup needs --home DIR and --to FOLDER");
    const QDateTime now = QDateTime::currentDateTime();
    done = (mount == "no" || springdata::CheckBackupMount(home, to, error)) &&
           springdata::MakeBackup(home, to, keep, now, said, error);
    if (done)
      springdata::ClearBackupFailed(home);
    else if (QFileInfo(home).isDir())
      springdata::NoteBackupFailed(home, now, error);
  } else if (command == "restore") {
    if (home.isEmpty() || from.isEmpty())
      return Usage("restore needs --from BACKUP and --home DIR");
    done = springdata::RestoreBackup(from, home, said, error);
  } else {
    if (from.isEmpty()) return Usage("verify needs --from BACKUP");
    done = springdata::VerifyBackup(from, error);
    if (done) said << from + " verifies";
  }
  for (const QString& line : said) Note(line);
  if (!done) Note(error);
  return done ? 0 : 1;
}
