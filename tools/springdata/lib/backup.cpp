#include "backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "config/settings.h"
#include "database/backupflag.h"
#include "database/database.h"
#include "database/records.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/textfile.h"
#include "platform/wholefiletemp.h"
#include "source.h"

namespace springdata {

namespace {

struct Copy {
  QString rel;  // path inside the installation, '/' between folders
  QByteArray bytes;
};

struct Snapshot {
  std::vector<Copy> files;
  QStringList notes;
};

QString Sha256(const QByteArray& bytes) {
  return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString SystemError() {
  return QString::fromLocal8Bit(std::strerror(errno));
}

void SyncFolder(const QString& dir) {
  const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// The whole records of a file the program may be appending to: its size is
// taken once and only that many whole records are read, so a record being
// written is left out rather than copied in part.
bool ReadWholeRecords(const QString& path, int recordSize, QByteArray& out, qint64& leftOut,
                      QString& error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("cannot read %1: %2").arg(path, f.errorString());
    return false;
  }
  const qint64 size = f.size();
  const qint64 whole = size - size % recordSize;
  out = f.read(whole);
  if (out.size() != whole) {
    error = QStringLiteral("cannot read %1: %2").arg(path, f.errorString());
    return false;
  }
  leftOut = size - whole;
  return true;
}

// One reading of every file to copy. The record files go first and the state
// files after them, so the shift's counters are never behind its records.
bool TakeSnapshot(const QString& home, Snapshot& snap, QString& error) {
  const QDir root(home);
  auto add = [&](const QString& mapped, QByteArray bytes) {
    snap.files.push_back({root.relativeFilePath(mapped), std::move(bytes)});
  };
  const struct {
    const QString& file;
    int size;
    const char* unit;
  } records[] = {{kBaseFile, kMeasurementRecordSize, "records"},
                 {kDayFile, kMeasurementRecordSize, "records"},
                 {kTelFile, kSetRecordSize, "sets"}};
  for (const auto& r : records) {
    const QString mapped = plat::MapPath(r.file);
    if (!QFileInfo::exists(mapped)) {
      snap.notes << QStringLiteral("%1 does not exist and is not in the backup").arg(r.file);
      continue;
    }
    QByteArray bytes;
    qint64 leftOut = 0;
    if (!ReadWholeRecords(mapped, r.size, bytes, leftOut, error)) return false;
    snap.notes << QStringLiteral("%1: %2 %3").arg(r.file).arg(bytes.size() / r.size).arg(r.unit);
    if (leftOut)
      snap.notes << QStringLiteral("%1: %2 bytes of a record being written left out")
                        .arg(r.file)
                        .arg(leftOut);
    add(mapped, bytes);
  }
  QStringList others = {plat::MapProgramPath("setup.ini"),
                        plat::MapProgramPath(Settings.Params.ChassieIniFilename),
                        plat::MapPath("Calibrate.txt")};
  for (const char* folder : {"Config", "Tabl1"}) {
    const QDir dir(plat::MapPath(folder));
    // The program replaces these files whole through a temporary beside
    // each; a temporary is renamed or removed in a moment and never copied.
    for (const QFileInfo& fi : dir.entryInfoList(QDir::Files, QDir::Name))
      if (!plat::IsWholeFileTemporary(fi.fileName())) others << fi.absoluteFilePath();
  }
  for (const QString& mapped : others) {
    if (!QFileInfo(mapped).isFile()) {
      snap.notes << QStringLiteral("%1 does not exist and is not in the backup")
                        .arg(root.relativeFilePath(mapped));
      continue;
    }
    QFile f(mapped);
    if (!f.open(QIODevice::ReadOnly)) {
      error = QStringLiteral("cannot read %1: %2").arg(mapped, f.errorString());
      return false;
    }
    add(mapped, f.readAll());
  }
  return true;
}

// A snapshot that no shift change crossed: the move of the shift's records
// into the database writes its journal first and empties day.bin last, so a
// copy taken without a journal before and after, and with day.bin not
// shorter at the end, holds every record once.
bool ConsistentSnapshot(const QString& home, Snapshot& snap, QString& error) {
  const QString journal = plat::MapPath(kTransferJournalFile);
  const QString day = plat::MapPath(kDayFile);
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (attempt) QThread::msleep(500);
    if (QFileInfo::exists(journal)) continue;
    const qint64 dayBefore = QFileInfo(day).size();
    snap = Snapshot();
    if (!TakeSnapshot(home, snap, error)) return false;
    if (QFileInfo::exists(journal) || QFileInfo(day).size() < dayBefore) continue;
    return true;
  }
  error = QStringLiteral("a shift change is under way in %1 (%2): try again later")
              .arg(home, kTransferJournalFile);
  return false;
}

// The manifest's first line: when the backup was taken, with the clock's
// offset from UTC. sha256sum -c passes over lines that start with '#'.
const QString kTakenPrefix = QStringLiteral("# taken ");

struct ManifestLine {
  QString hash;
  QString rel;
};

bool ReadManifest(const QString& folder, std::vector<ManifestLine>& lines, QString& error,
                  QDateTime* taken = nullptr) {
  QFile f(QDir(folder).filePath(kManifestName));
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("%1 is not a backup: cannot read %2").arg(folder, f.fileName());
    return false;
  }
  static const QRegularExpression line("^([0-9a-f]{64})  (.+)$");
  for (const QByteArray& raw : f.readAll().split('\n')) {
    if (raw.isEmpty()) continue;
    if (raw.startsWith('#')) {
      const QString text = QString::fromUtf8(raw);
      if (taken && text.startsWith(kTakenPrefix))
        *taken = QDateTime::fromString(text.mid(kTakenPrefix.size()), Qt::ISODate);
      continue;
    }
    const auto m = line.match(QFile::decodeName(raw));
    const QString rel = m.captured(2);
    if (!m.hasMatch() || QDir::isAbsolutePath(rel) || rel.split('/').contains("..")) {
      error = QStringLiteral("%1 holds a line that is no checksum of a file in the backup: %2")
                  .arg(f.fileName(), QString::fromUtf8(raw));
      return false;
    }
    lines.push_back({m.captured(1), rel});
  }
  if (lines.empty()) {
    error = QStringLiteral("%1 lists no file").arg(f.fileName());
    return false;
  }
  return true;
}

struct Held {
  QDateTime taken;
  QString name;
};

// The backup folders under `to` but `made`, oldest first: by the time in
// each manifest, which a clock set back later does not reorder, or, for a
// backup without one, by the time in its name.
std::vector<Held> HeldBackups(const QDir& to, const QString& made) {
  static const QRegularExpression name("^kalvor-(\\d{8}-\\d{6})(?:-(\\d+))?$");
  std::vector<Held> held;
  for (const QString& d : to.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    const auto m = name.match(d);
    if (!m.hasMatch() || d == made) continue;
    std::vector<ManifestLine> lines;
    QString ignored;
    QDateTime taken;
    if (!ReadManifest(to.filePath(d), lines, ignored, &taken) || !taken.isValid())
      taken = QDateTime::fromString(m.captured(1), "yyyyMMdd-HHmmss");
    held.push_back({taken, d});
  }
  std::sort(held.begin(), held.end(), [](const Held& a, const Held& b) {
    if (a.taken != b.taken) return a.taken < b.taken;
    // Within one second "-2" comes after the plain name, "-10" after "-9".
    return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
  });
  return held;
}

}  // namespace

bool VerifyBackup(const QString& folder, QString& error) {
  std::vector<ManifestLine> lines;
  if (!ReadManifest(folder, lines, error)) return false;
  QStringList bad;
  for (const ManifestLine& l : lines) {
    QFile f(QDir(folder).filePath(l.rel));
    if (!f.open(QIODevice::ReadOnly))
      bad << QStringLiteral("%1 missing").arg(l.rel);
    else if (Sha256(f.readAll()) != l.hash)
      bad << QStringLiteral("%1 damaged (checksum differs)").arg(l.rel);
  }
  if (bad.isEmpty()) return true;
  error = QStringLiteral("backup %1 does not verify: %2").arg(folder, bad.join(", "));
  return false;
}

bool MakeBackup(const QString& home, const QString& to, int keep, const QDateTime& now,
                QStringList& said, QString& error) {
  QStringList warnings;
  if (!OpenInstallation(home, error, warnings)) return false;
  const QString source = plat::WorkDir();
  Snapshot snap;
  if (!ConsistentSnapshot(source, snap, error)) return false;

  if (!QDir().mkpath(to)) {
    error = QStringLiteral("cannot create the backup folder %1").arg(to);
    return false;
  }
  const QDir target(QFileInfo(to).absoluteFilePath());
  const QString stamp = "kalvor-" + now.toString("yyyyMMdd-HHmmss");
  QString name = stamp;
  for (int n = 2; target.exists(name) || target.exists("." + name + ".partial"); ++n)
    name = QStringLiteral("%1-%2").arg(stamp).arg(n);
  const QString partial = target.filePath("." + name + ".partial");
  const QString final = target.filePath(name);
  if (::mkdir(QFile::encodeName(partial).constData(), 0755) != 0) {
    error = QStringLiteral("cannot write into the backup folder %1: %2")
                .arg(target.path(), SystemError());
    return false;
  }
  auto abandon = [&](const QString& why) {
    QDir(partial).removeRecursively();
    error = why + QStringLiteral("; the earlier backups in %1 are as they were").arg(target.path());
    return false;
  };

  QByteArray manifest =
      (kTakenPrefix + now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate) + "\n")
          .toUtf8();
  qint64 total = 0;
  for (const Copy& c : snap.files) {
    QString reason;
    if (!plat::WriteWholeFile(QDir(partial).filePath(c.rel), c.bytes, &reason))
      return abandon(QStringLiteral("cannot write %1 into %2: %3").arg(c.rel, partial, reason));
    manifest += Sha256(c.bytes).toLatin1() + "  " + QFile::encodeName(c.rel) + "\n";
    total += c.bytes.size();
  }
  QString reason;
  if (!plat::WriteWholeFile(QDir(partial).filePath(kManifestName), manifest, &reason))
    return abandon(
        QStringLiteral("cannot write %1 into %2: %3").arg(kManifestName, partial, reason));
  QString verifyError;
  if (!VerifyBackup(partial, verifyError)) return abandon(verifyError);
  if (::rename(QFile::encodeName(partial).constData(), QFile::encodeName(final).constData()) != 0)
    return abandon(QStringLiteral("cannot rename %1 to %2: %3").arg(partial, final, SystemError()));
  SyncFolder(target.path());

  for (const QString& w : warnings) said << w;
  said << snap.notes;
  said << QStringLiteral("backup of %1 written to %2: %3 files, %4 bytes, verified against %5")
              .arg(source, final)
              .arg(snap.files.size())
              .arg(total)
              .arg(kManifestName);
  // The backup just made is always kept, whatever the clock said when the
  // others were taken; of those, the newest keep - 1 stay.
  const std::vector<Held> others = HeldBackups(target, name);
  for (const Held& h : others)
    if (h.taken > now)
      said << QStringLiteral("warning: the backup %1 was taken at %2, later than the clock's "
                             "time now (%3): the PC's clock is behind (or was ahead then); "
                             "check the date and time")
                  .arg(h.name, h.taken.toString(Qt::ISODate), now.toString(Qt::ISODate));
  int count = 1;
  for (size_t i = 0; i < others.size(); ++i) {
    if (others.size() - i < static_cast<size_t>(keep)) {
      ++count;
    } else if (QDir(target.filePath(others[i].name)).removeRecursively()) {
      said << QStringLiteral("removed the old backup %1").arg(others[i].name);
    } else {
      ++count;
      said << QStringLiteral("could not remove the old backup %1").arg(others[i].name);
    }
  }
  said << QStringLiteral("%1 backups in %2").arg(count).arg(target.path());
  return true;
}

bool CheckBackupMount(const QString& home, const QString& to, QString& error) {
  struct stat target {}, root {}, installation {};
  const bool exists = ::stat(QFile::encodeName(to).constData(), &target) == 0;
  ::stat("/", &root);
  const bool homeKnown = ::stat(QFile::encodeName(home).constData(), &installation) == 0;
  QString on;
  if (!exists)
    on = QStringLiteral("it does not exist");
  else if (target.st_dev == root.st_dev)
    on = QStringLiteral("it lies on the file system of /");
  else if (homeKnown && target.st_dev == installation.st_dev)
    on = QStringLiteral("it lies on the file system of %1").arg(home);
  if (on.isEmpty()) return true;
  error = QStringLiteral("the backup folder %1 is declared a mounted disk or share "
                         "(KALVOR_BACKUP_MOUNT=yes in /etc/default/kalvor) but nothing is "
                         "mounted there: %2; mount it (or set KALVOR_BACKUP_MOUNT=no) and run "
                         "the backup again; no backup was made")
              .arg(to, on);
  return false;
}

void NoteBackupFailed(const QString& home, const QDateTime& when, const QString& reason) {
  plat::SetHome(QFileInfo(home).absoluteFilePath());
  plat::WriteTextLines(plat::MapPath(kBackupFailedFile),
                       {when.toString("dd.MM.yyyy HH:mm"), reason});
}

void ClearBackupFailed(const QString& home) {
  plat::SetHome(QFileInfo(home).absoluteFilePath());
  QFile::remove(plat::MapPath(kBackupFailedFile));
}

QString ProgramRunningOn(const QString& home) {
  const QString wanted = QFileInfo(home).canonicalFilePath();
  if (wanted.isEmpty()) return QString();  // nothing works on a folder that does not exist
  for (const plat::RunningProcess& p : plat::RunningExecutables()) {
    if (p.pid == plat::OwnProcessId()) continue;
    QString exe = p.executable;
    if (exe.endsWith(" (deleted)")) exe.chop(10);  // replaced by an upgrade while it runs
    if (QFileInfo(exe).fileName() != "kalvor") continue;
    QFile cmd(QStringLiteral("/proc/%1/cmdline").arg(p.pid));
    if (!cmd.open(QIODevice::ReadOnly)) continue;  // gone
    const QList<QByteArray> args = cmd.readAll().split('\0');
    const QString cwd = QFileInfo(QStringLiteral("/proc/%1/cwd").arg(p.pid)).symLinkTarget();
    // Without --home the program folder is the executable's and the data are
    // in the working folder.
    QStringList folders;
    bool unknown = false;
    const int at = args.indexOf("--home");
    if (at >= 0 && at + 1 < args.size()) {
      const QString dir = QFile::decodeName(args[at + 1]);
      if (QDir::isAbsolutePath(dir))
        folders << dir;
      else if (cwd.isEmpty())
        unknown = true;
      else
        folders << QDir(cwd).absoluteFilePath(dir);
    } else {
      folders << QFileInfo(exe).absolutePath();
      if (cwd.isEmpty())
        unknown = true;
      else
        folders << cwd;
    }
    bool match = unknown;
    for (const QString& f : folders) match = match || QFileInfo(f).canonicalFilePath() == wanted;
    if (match) return QStringLiteral("%1 %2").arg(p.pid).arg(exe);
  }
  return QString();
}

bool RestoreBackup(const QString& from, const QString& home, QStringList& said, QString& error) {
  if (!VerifyBackup(from, error)) return false;
  std::vector<ManifestLine> lines;
  if (!ReadManifest(from, lines, error)) return false;
  const QString running = ProgramRunningOn(home);
  if (!running.isEmpty()) {
    error = QStringLiteral(
                "the program runs on %1 (process %2): end it first "
                "(on the line's PC: systemctl stop kalvor-kiosk); nothing was restored")
                .arg(home, running);
    return false;
  }
  if (!QDir().mkpath(home)) {
    error = QStringLiteral("cannot create %1").arg(home);
    return false;
  }
  plat::SetHome(QFileInfo(home).absoluteFilePath());
  QStringList restored;
  for (const ManifestLine& l : lines) {
    QFile f(QDir(from).filePath(l.rel));
    const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    QString reason = QStringLiteral("it changed after the check");
    if (Sha256(bytes) != l.hash ||
        !plat::WriteWholeFile(plat::MapPath(QString(l.rel).replace('/', '\\')), bytes, &reason)) {
      error = QStringLiteral("cannot restore %1: %2; restored before it: %3")
                  .arg(l.rel, reason, restored.isEmpty() ? "nothing" : restored.join(", "));
      return false;
    }
    restored << l.rel;
  }
  said << QStringLiteral("%1 files of %2 restored into %3").arg(restored.size()).arg(from, home);
  if (!QFileInfo(plat::MapPath("BMP")).isDir())
    said << QStringLiteral("%1 has no pictures yet: mkinstall --force %1 adds them and the texts")
                .arg(home);
  return true;
}

}  // namespace springdata
