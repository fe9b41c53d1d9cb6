#include "backupcommand.h"

#include <QDateTime>
#include <cstdio>

#include "lib/backup.h"

namespace {

const char* const kBackupUsage =
    "usage:\n"
    "  springdata backup  --home DIR --to FOLDER [--keep N]\n"
    "      copies the record files (whole records), the state files, setup.ini,\n"
    "      the bogie file, Calibrate.txt and the calibration tables into\n"
    "      FOLDER/kalvor-YYYYMMDD-HHMMSS with a SHA-256 manifest, verifies the\n"
    "      copy and keeps the newest N backups (default 30)\n"
    "  springdata restore --from BACKUP --home DIR\n"
    "      checks the backup and puts it back into DIR while the program is not\n"
    "      running on DIR\n"
    "  springdata verify  --from BACKUP\n";

void Say(const QString& line) {
  std::fprintf(stderr, "springdata: %s\n", line.toLocal8Bit().constData());
}

int Usage(const QString& why) {
  Say(why);
  std::fputs(kBackupUsage, stderr);
  return 2;
}

}  // namespace

int RunBackupCommand(const QString& command, QStringList args) {
  QString home, to, from;
  int keep = 30;
  while (!args.isEmpty()) {
    const QString opt = args.takeFirst();
    if (opt == "--help" || opt == "-h") {
      std::fputs(kBackupUsage, stdout);
      return 0;
    }
    if (args.isEmpty()) return Usage(opt + " needs a value");
    const QString value = args.takeFirst();
    bool ok = true;
    if (opt == "--home")
      home = value;
    else if (opt == "--to" && command == "backup")
      to = value;
    else if (opt == "--keep" && command == "backup")
      keep = value.toInt(&ok);
    else if (opt == "--from" && command != "backup")
      from = value;
    else
      return Usage("unknown option " + opt + " for " + command);
    if (!ok || keep < 1) return Usage("--keep takes a number of backups from 1, not " + value);
    if (value.isEmpty()) return Usage(opt + " needs a value");
  }
  QStringList said;
  QString error;
  bool done = false;
  if (command == "backup") {
    if (home.isEmpty() || to.isEmpty()) return Usage("backup needs --home DIR and --to FOLDER");
    done = springdata::MakeBackup(home, to, keep, QDateTime::currentDateTime(), said, error);
  } else if (command == "restore") {
    if (home.isEmpty() || from.isEmpty())
      return Usage("restore needs --from BACKUP and --home DIR");
    done = springdata::RestoreBackup(from, home, said, error);
  } else {
    if (from.isEmpty()) return Usage("verify needs --from BACKUP");
    done = springdata::VerifyBackup(from, error);
    if (done) said << from + " verifies";
  }
  for (const QString& line : said) Say(line);
  if (!done) Say(error);
  return done ? 0 : 1;
}
