// Backups of an installation folder: copies taken while the program appends
// measurements hold whole records only, each once, and verify; a damaged
// copy fails the check and is not put back; restore refuses while the
// program runs on the folder and otherwise brings the files back byte for
// byte, every file of the installation as it was; only the newest backups
// are kept, and a folder that is read-only or full leaves the earlier ones
// as they were, with no half copy among them.

#include "springdata/lib/backup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <map>

#include "database/records.h"
#include "flowsupport.h"
#include "testpaths.h"

using namespace springdata;

namespace {

const QDateTime kAt(QDate(2026, 12, 8), QTime(3, 0, 0));

QByteArray Bytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

// Every file of a folder, by its path inside it.
std::map<QString, QByteArray> Files(const QString& root) {
  std::map<QString, QByteArray> files;
  QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    files[QDir(root).relativeFilePath(path)] = Bytes(path);
  }
  return files;
}

QStringList Backups(const QString& to) {
  return QDir(to).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// The program on the folder, measuring in emulation on the virtual clock
// when a script is given, else idle in the main menu until killed.
void StartProgram(QProcess& p, const FlowHome& home, const QString& script) {
  QStringList args = {"--home", home.path(), "-platform", "offscreen"};
  if (!script.isEmpty()) {
    Write(home.file("test.play"), script.toUtf8());
    args << "--virtual-clock"
         << "--play" << home.file("test.play");
  }
  p.start(KALVOR_EXE, args);
  ASSERT_TRUE(p.waitForStarted());
}

}  // namespace

TEST(Backup, CopiesTakenWhileTheProgramMeasuresHoldWholeRecordsOnce) {
  FlowHome home;
  QString script = "wait 13000\nkey 2\n";
  for (int i = 0; i < 80; ++i) script += "wait 10000\nkey 1\n";
  QProcess program;
  StartProgram(program, home, script + "wait 10000\nexit\n");
  QTemporaryDir to;
  int taken = 0;
  while (!program.waitForFinished(1)) {
    QStringList said;
    QString error;
    ASSERT_TRUE(MakeBackup(home.path(), to.path(), 1000, kAt.addSecs(taken++), said, error))
        << error.toStdString();
  }
  ASSERT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
  const QByteArray final = Bytes(home.file("Report/day.bin"));
  ASSERT_EQ(final.size(), 81 * kMeasurementRecordSize);

  int midway = 0;
  for (const QString& b : Backups(to.path())) {
    const QString folder = QDir(to.path()).filePath(b);
    QString error;
    EXPECT_TRUE(VerifyBackup(folder, error)) << error.toStdString();
    const QByteArray day = Bytes(folder + "/Report/day.bin");
    EXPECT_EQ(day.size() % kMeasurementRecordSize, 0) << b.toStdString();
    EXPECT_TRUE(final.startsWith(day)) << b.toStdString();  // every record whole, once, in order
    if (!day.isEmpty() && day.size() < final.size()) ++midway;
    EXPECT_EQ(Bytes(folder + "/setup.ini"), Bytes(home.file("setup.ini")));
    EXPECT_TRUE(QFile::exists(folder + "/Config/now.txt") &&
                QFile::exists(folder + "/Tabl1/cal4.txt"));
  }
  EXPECT_GT(midway, 0) << "no backup was taken while the program measured (" << taken << " taken)";
}

TEST(Backup, RestoreChecksTheCopyAndWaitsForTheProgramToEnd) {
  FlowHome home;
  QTemporaryDir to;
  QStringList said;
  QString error;
  // Three records and the start of a fourth that is being written.
  Write(home.file("Report/day.bin"), QByteArray(3 * kMeasurementRecordSize + 100, '\x5a'));
  ASSERT_TRUE(MakeBackup(home.path(), to.path(), 30, kAt, said, error)) << error.toStdString();
  EXPECT_TRUE(said.contains("Report\\day.bin: 100 bytes of a record being written left out"));
  const QString backup = QDir(to.path()).filePath(Backups(to.path()).value(0));
  const QByteArray setup = Bytes(home.file("setup.ini"));

  // The site goes on; the backup puts the day it was taken back.
  Write(home.file("Report/day.bin"), QByteArray(kMeasurementRecordSize, '\x01'));
  Write(home.file("setup.ini"), "[Global]\r\nEmul=1\r\n");
  {
    QProcess program;
    StartProgram(program, home, QString());
    QString running;
    for (int i = 0; i < 100 && running.isEmpty(); ++i) {
      QThread::msleep(100);
      running = ProgramRunningOn(home.path());
    }
    EXPECT_FALSE(running.isEmpty());
    EXPECT_FALSE(RestoreBackup(backup, home.path(), said, error));
    EXPECT_TRUE(error.contains("the program runs on")) << error.toStdString();
    EXPECT_EQ(Bytes(home.file("setup.ini")), "[Global]\r\nEmul=1\r\n");
    program.kill();
    program.waitForFinished();
  }
  ASSERT_TRUE(RestoreBackup(backup, home.path(), said, error)) << error.toStdString();
  EXPECT_EQ(Bytes(home.file("setup.ini")), setup);
  EXPECT_EQ(Bytes(home.file("Report/day.bin")), QByteArray(3 * kMeasurementRecordSize, '\x5a'));

  // One byte changed in the copy: it no longer verifies and is not put back.
  QByteArray day = Bytes(backup + "/Report/day.bin");
  day[kMeasurementRecordSize + 7] ^= 0x10;
  Write(backup + "/Report/day.bin", day);
  Write(home.file("Report/day.bin"), QByteArray());
  EXPECT_FALSE(VerifyBackup(backup, error));
  EXPECT_TRUE(error.contains("Report/day.bin damaged")) << error.toStdString();
  EXPECT_FALSE(RestoreBackup(backup, home.path(), said, error));
  EXPECT_EQ(Bytes(home.file("Report/day.bin")), QByteArray());
}

TEST(Backup, KeepsTheNewestAndLeavesThemWhenTheFolderCannotBeWritten) {
  FlowHome home;
  QTemporaryDir to;
  QStringList said;
  QString error;
  for (int i = 0; i < 5; ++i)
    ASSERT_TRUE(MakeBackup(home.path(), to.path(), 3, kAt.addDays(i), said, error))
        << error.toStdString();
  const QStringList kept = {"kalvor-20261210-030000", "kalvor-20261211-030000",
                            "kalvor-20261212-030000"};
  EXPECT_EQ(Backups(to.path()), kept);
  ASSERT_TRUE(said.join("\n").contains("removed the old backup kalvor-20261209-030000"));

  // A read-only target (root's right to ignore it dropped).
  ASSERT_EQ(::chmod(QFile::encodeName(to.path()).constData(), 0555), 0);
  QStringList args = {"backup", "--home", home.path(), "--to", to.path(), "--keep", "1"};
  const auto run =
      ::geteuid() == 0
          ? testsupport::Run("setpriv", QStringList{"--bounding-set=-dac_override,-dac_read_search",
                                                    KALVOR_SPRINGDATA} +
                                            args)
          : testsupport::Run(KALVOR_SPRINGDATA, args);
  ::chmod(QFile::encodeName(to.path()).constData(), 0755);
  EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
  EXPECT_TRUE(run.err.contains("cannot write into the backup folder")) << run.err.toStdString();
  EXPECT_EQ(Backups(to.path()), kept);
  for (const QString& b : kept) EXPECT_TRUE(VerifyBackup(QDir(to.path()).filePath(b), error));
}

TEST(Backup, RestoreBringsBackEveryFileOfTheInstallation) {
  FlowHome home;
  Write(home.file("Report/day.bin"), QByteArray(2 * kMeasurementRecordSize, '\x33'));
  QTemporaryDir to;
  QStringList said;
  QString error;
  ASSERT_TRUE(MakeBackup(home.path(), to.path(), 30, kAt, said, error)) << error.toStdString();
  const QString backup = QDir(to.path()).filePath(Backups(to.path()).value(0));
  const auto before = Files(home.path());

  // Every file the backup holds changed, and one of them lost.
  QStringList held = QString::fromUtf8(Bytes(backup + "/SHA256SUMS")).split('\n', Qt::SkipEmptyParts);
  held.removeIf([](const QString& line) { return line.startsWith('#'); });  // the time taken
  ASSERT_GT(held.size(), 10);
  for (const QString& line : held) {
    const QString path = home.file(line.mid(66));
    Write(path, Bytes(path) + "changed");
  }
  ASSERT_TRUE(QFile::remove(home.file("Config/now.txt")));
  ASSERT_NE(Files(home.path()), before);

  ASSERT_TRUE(RestoreBackup(backup, home.path(), said, error)) << error.toStdString();
  const auto after = Files(home.path());
  EXPECT_EQ(after.size(), before.size());
  for (const auto& [rel, bytes] : before) {
    const auto found = after.find(rel);
    EXPECT_TRUE(found != after.end() && found->second == bytes) << rel.toStdString();
  }
}

TEST(Backup, AFullFolderEndsTheBackupAndLeavesTheEarlierOnes) {
  FlowHome home;
  Write(home.file("Report/base.bin"), QByteArray(40 * kMeasurementRecordSize, '\x44'));
  QTemporaryDir to;
  QStringList said;
  QString error;
  for (int i = 0; i < 2; ++i)
    ASSERT_TRUE(MakeBackup(home.path(), to.path(), 2, kAt.addDays(i), said, error))
        << error.toStdString();
  const QStringList kept = Backups(to.path());

  // The disk fills up a few kilobytes into the copy.
  const auto run = testsupport::Run(
      KALVOR_SPRINGDATA, {"backup", "--home", home.path(), "--to", to.path(), "--keep", "2"},
      120000,
      testsupport::FaultEnvironment({"KALVOR_FAULT_PATH=" + to.path() + "/*",
                                     "KALVOR_FAULT_AFTER=6000"}));
  EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
  EXPECT_TRUE(run.err.contains("No space left on device") &&
              run.err.contains("the earlier backups in " + to.path() + " are as they were"))
      << run.err.toStdString();
  EXPECT_EQ(Backups(to.path()), kept);  // nothing half-written left, none pruned
  for (const QString& b : kept)
    EXPECT_TRUE(VerifyBackup(QDir(to.path()).filePath(b), error)) << error.toStdString();
}

// With the clock set back after three backups, the backup made now is kept
// and the others are ordered by the time in their manifests, not by their
// names: the one renamed to look oldest is still the newest of them.
TEST(Backup, AClockBehindNeverRemovesTheNewBackup) {
  FlowHome home;
  QTemporaryDir to;
  QStringList said;
  QString error;
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(MakeBackup(home.path(), to.path(), 3, kAt.addYears(1).addDays(i), said, error));
  ASSERT_TRUE(QDir(to.path()).rename("kalvor-20271210-030000", "kalvor-20200101-000000"));
  said.clear();
  ASSERT_TRUE(MakeBackup(home.path(), to.path(), 3, kAt, said, error)) << error.toStdString();
  EXPECT_EQ(Backups(to.path()), QStringList({"kalvor-20200101-000000", "kalvor-20261208-030000",
                                             "kalvor-20271209-030000"}));
  EXPECT_EQ(said.filter("later than the clock's time now").size(), 3) << said.join('\n').toStdString();
  EXPECT_TRUE(said.contains("removed the old backup kalvor-20271208-030000"));
  EXPECT_TRUE(Bytes(QDir(to.path()).filePath("kalvor-20261208-030000/SHA256SUMS"))
                  .startsWith("# taken 2026-12-08T03:00:00"));
}

// A share declared mounted but absent: no backup, the flag for the start
// page written; the next backup that succeeds removes it. The writer's
// temporaries beside the state files are never copied.
TEST(Backup, AnUnmountedShareIsRefusedAndFlagged) {
  FlowHome home;
  QTemporaryDir share;
  const QStringList args = {"backup", "--home", home.path(), "--to", share.path(), "--mount", "yes"};
  auto run = testsupport::Run(KALVOR_SPRINGDATA, args);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.err.contains("is declared a mounted disk or share") &&
              run.err.contains("nothing is mounted there")) << run.err.toStdString();
  EXPECT_TRUE(Backups(share.path()).isEmpty());
  EXPECT_TRUE(Bytes(home.file("backup-failed.txt")).contains("nothing is mounted there"));
  EXPECT_EQ(testsupport::Run(KALVOR_SPRINGDATA, args.mid(0, 4) + QStringList{"/no/such/share", "--mount", "yes"}).exitCode, 1);

  Write(home.file("Config/now.txt.tmp-Ab12Cd"), "half a state file");
  run = testsupport::Run(KALVOR_SPRINGDATA, args.mid(0, 5) + QStringList{"--mount", "no"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_FALSE(QFile::exists(home.file("backup-failed.txt")));
  const QString made = QDir(share.path()).filePath(Backups(share.path()).value(0));
  EXPECT_TRUE(QFile::exists(made + "/Config/now.txt"));
  EXPECT_FALSE(QFile::exists(made + "/Config/now.txt.tmp-Ab12Cd"));
}

// Run by root on an installation of another user (nobody), backup, restore
// and mkinstall refuse and name the owner and the option; with --as-owner
// the backup becomes that user and its files are the owner's.
TEST(Backup, AnotherUserIsRefusedUnlessItBecomesTheOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the folder to another user";
  FlowHome home;
  QTemporaryDir to;
  const QString chown = QStringLiteral("chown -R nobody: '%1' '%2'").arg(home.path(), to.path());
  ASSERT_EQ(testsupport::Run("sh", {"-c", chown}).exitCode, 0);
  const QStringList backup = {"backup", "--home", home.path(), "--to", to.path()};
  for (const auto& [program, args] :
       std::vector<std::pair<QString, QStringList>>{{KALVOR_SPRINGDATA, backup},
                                                    {KALVOR_SPRINGDATA, {"restore", "--from", to.path(), "--home", home.path()}},
                                                    {KALVOR_MKINSTALL, {"--force", home.path()}}}) {
    const auto run = testsupport::Run(program, args);
    EXPECT_EQ(run.exitCode, 1) << program.toStdString();
    EXPECT_TRUE(run.err.contains("belongs to the user nobody") && run.err.contains("--as-owner"))
        << run.err.toStdString();
  }
  EXPECT_TRUE(Backups(to.path()).isEmpty());
  const auto run = testsupport::Run(KALVOR_SPRINGDATA, backup + QStringList{"--as-owner"});
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  QFileInfo made(QDir(to.path()).filePath(Backups(to.path()).value(0)) + "/setup.ini");
  EXPECT_EQ(made.ownerId(), QFileInfo(home.file("setup.ini")).ownerId());
  EXPECT_NE(made.ownerId(), 0u);
}

// The flag of a failed backup is read out on the start page, in red beside
// the about box, until a backup succeeds.
TEST(Backup, AFailedBackupIsShownOnTheStartPage) {
  FlowHome home;
  const QRect report(440, 125, 580, 60);
  home.Play("wait 100\nsnap before.png\nexit\n");
  Write(home.file("backup-failed.txt"), "09.12.2026 12:30\r\nno space left\r\n");
  home.Play("wait 100\nsnap after.png\nexit\n");
  EXPECT_EQ(CountColour(home.Snap("before.png"), report, 0xFF0000), 0);
  EXPECT_GT(CountColour(home.Snap("after.png"), report, 0xFF0000), 100);
}
