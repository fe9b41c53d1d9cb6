#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

#include "database/database.h"
#include "flowsupport.h"
#include "platform/paths.h"

namespace {

QString ToolPath(const QString& name) {
  const QString exe = KALVOR_EXE;
  return exe.left(exe.lastIndexOf('/')) + "/tools/" + name;
}

QStringList DbTool(const FlowHome& home, const QStringList& args) {
  const auto r = testsupport::Run(ToolPath("dbtool"), QStringList{"--home", home.path()} + args);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  return r.out.split('\n', Qt::SkipEmptyParts);
}

// A shift of `count` measurements taken on 1 March 2026.
QStringList FillYesterdaysShift(const FlowHome& home, int count) {
  DbTool(home, {"--now", "2026-03-01T07:00:00", "start"});
  DbTool(home, {"--now", "2026-03-01T11:00:00", "fill", QString::number(count)});
  const QStringList day = DbTool(home, {"list", "day"});
  EXPECT_EQ(day.size(), count);
  EXPECT_TRUE(DbTool(home, {"list", "base"}).isEmpty());
  return day;
}

}  // namespace

TEST(ProgramShiftChange, TheStartOnANewDayMovesTheShiftIntoTheDatabase) {
  FlowHome home;
  const QStringList shift = FillYesterdaysShift(home, 25);
  const auto r = home.Play("wait 13000\nsnap menu.png\nexit\n", {"--now", "2026-03-02T08:00:00"});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(DbTool(home, {"list", "base"}), shift);
  EXPECT_TRUE(DbTool(home, {"list", "day"}).isEmpty());
  // The shift state names the new day (lines 6 and 7: day 2 of month 3)
  // with its counters reset.
  plat::SetHome(home.path());
  ASSERT_TRUE(InitDatabaseModule().isEmpty());
  ASSERT_TRUE(LoadShiftState());
  EXPECT_EQ(Database.ShiftState.Day, 2);
  EXPECT_EQ(Database.ShiftState.Month, 3);
  EXPECT_EQ(Database.ShiftState.Reserved3, 0);
  EXPECT_EQ(Database.ShiftState.Reserved4, 1);
}

TEST(ProgramShiftChange, KillingTheProgramDuringTheMoveLosesAndDoublesNothing) {
  FlowHome home;
  const QStringList shift = FillYesterdaysShift(home, 4000);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  // Kill the program at a spread of moments around its start, where the move
  // runs; every later start must see a consistent database.
  for (int delayMs : {60, 120, 180, 240, 320, 450}) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(KALVOR_EXE, {"--home", home.path(), "-platform", "offscreen", "--now",
                         "2026-03-02T08:00:00"});
    ASSERT_TRUE(p.waitForStarted());
    QThread::msleep(delayMs);
    ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
    p.waitForFinished();
    const QStringList base = DbTool(home, {"list", "base"});
    const QStringList day = DbTool(home, {"list", "day"});
    // What the files hold between starts may be a move half done, but never
    // more than the shift once over.
    EXPECT_LE(base.size(), shift.size());
    EXPECT_EQ(base, shift.mid(0, base.size()));
  }
  const auto r = home.Play("wait 13000\nexit\n", {"--now", "2026-03-02T08:00:00"});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(DbTool(home, {"list", "base"}), shift);
  EXPECT_TRUE(DbTool(home, {"list", "day"}).isEmpty());
}

namespace {

// The shift of 1 March moved by a start on 2 March that was killed after it
// saved the new shift: the journal is still there, the move is complete.
void MoveKilledBeforeTheJournalWasRemoved(const FlowHome& home) {
  const auto killed = testsupport::Run(
      ToolPath("dbtool"),
      {"--home", home.path(), "--now", "2026-03-02T07:00:00", "--die-at", "saved", "start"});
  ASSERT_EQ(killed.exitCode, -1) << killed.err.toStdString();
  ASSERT_TRUE(QFile::exists(home.file("Report/transfer.jnl")));
}

}  // namespace

// A journal left behind after a finished move, then measurements of the new
// shift: the start moves nothing, sets the journal aside and says so on the
// start page and on standard error.
TEST(ProgramShiftChange, ALeftOverJournalWithNewShiftRecordsIsSetAsideAndReported) {
  FlowHome home;
  const QStringList shift = FillYesterdaysShift(home, 5);
  MoveKilledBeforeTheJournalWasRemoved(home);
  QFile journal(home.file("Report/transfer.jnl"));
  ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
  const QByteArray left = journal.readAll();
  journal.close();
  DbTool(home, {"--now", "2026-03-02T07:30:00", "start"});  // removes it
  DbTool(home, {"--now", "2026-03-02T08:00:00", "fill", "2"});
  const QStringList today = DbTool(home, {"list", "day"});
  ASSERT_EQ(today.size(), 2);
  ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
  journal.write(left);  // as if its removal had failed
  journal.close();

  const auto r = home.Play("wait 500\nsnap start.png\nwait 13000\nexit\n",
                           {"--now", "2026-03-02T09:00:00"});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(DbTool(home, {"list", "base"}), shift);
  EXPECT_EQ(DbTool(home, {"list", "day"}), today);
  EXPECT_FALSE(QFile::exists(home.file("Report/transfer.jnl")));
  const QStringList aside = QDir(home.file("Report")).entryList({"transfer-*.jnl"});
  ASSERT_EQ(aside.size(), 1);
  EXPECT_TRUE(r.err.contains("не соответствует") && r.err.contains(aside[0])) << r.err.toStdString();
  // The report stands in red right of the about box.
  EXPECT_GT(CountColour(home.Snap("start.png"), QRect(440, 130, 560, 100), 0xFF0000), 200);
}

// A journal that can't be removed (the Report folder is read-only to the
// program) stops the start naming the file; once the folder is writable
// again the next start finishes.
TEST(ProgramShiftChange, AJournalThatCannotBeRemovedStopsTheStartUntilTheFolderIsWritable) {
  FlowHome home;
  const QStringList shift = FillYesterdaysShift(home, 5);
  MoveKilledBeforeTheJournalWasRemoved(home);
  ASSERT_TRUE(QFile::setPermissions(home.file("Report"), QFile::ReadOwner | QFile::ExeOwner));
  home.RunAsOrdinaryUser(true);
  const auto stopped = home.Play("wait 300\ndump box.txt\npress OK\nwait 1000\n",
                                 {"--now", "2026-03-02T09:00:00"});
  ASSERT_TRUE(QFile::setPermissions(home.file("Report"), QFile::ReadOwner | QFile::WriteOwner |
                                                             QFile::ExeOwner));
  ASSERT_TRUE(stopped.finished);
  EXPECT_EQ(stopped.exitCode, 1);
  EXPECT_TRUE(stopped.err.contains("transfer.jnl")) << stopped.err.toStdString();
  EXPECT_TRUE(home.Text("box.txt").contains("transfer.jnl"));
  EXPECT_TRUE(QFile::exists(home.file("Report/transfer.jnl")));

  home.RunAsOrdinaryUser(false);
  const auto r = home.Play("wait 13000\nexit\n", {"--now", "2026-03-02T09:30:00"});
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_FALSE(QFile::exists(home.file("Report/transfer.jnl")));
  EXPECT_EQ(DbTool(home, {"list", "base"}), shift);
  EXPECT_TRUE(DbTool(home, {"list", "day"}).isEmpty());
}

// A shift change that fails at start-up (base.bin can't be written) stops the
// program with the message and exit code 1 before any measurement; the
// shift file is untouched and the next start moves it.
TEST(ProgramShiftChange, AFailedShiftChangeAtStartUpStopsTheProgram) {
  FlowHome home;
  const QStringList shift = FillYesterdaysShift(home, 5);
  ASSERT_TRUE(QFile::setPermissions(home.file("Report/base.bin"), QFile::ReadOwner));
  home.RunAsOrdinaryUser(true);
  const auto stopped = home.Play("wait 3000\ndump box.txt\npress OK\nwait 1000\n",
                                 {"--now", "2026-03-02T08:00:00"});
  ASSERT_TRUE(QFile::setPermissions(home.file("Report/base.bin"),
                                    QFile::ReadOwner | QFile::WriteOwner));
  ASSERT_TRUE(stopped.finished);
  EXPECT_EQ(stopped.exitCode, 1) << stopped.err.toStdString();
  EXPECT_TRUE(stopped.err.contains("base.bin")) << stopped.err.toStdString();
  const QString box = home.Text("box.txt");
  EXPECT_TRUE(box.contains("base.bin") && box.contains("Работа программы будет завершена"))
      << box.toStdString();
  // Nothing moved yet (read the files as they are: the database tool's own
  // start would finish the move).
  EXPECT_EQ(QFileInfo(home.file("Report/day.bin")).size(), 5 * 298);
  EXPECT_EQ(QFileInfo(home.file("Report/base.bin")).size(), 0);

  home.RunAsOrdinaryUser(false);
  const auto r = home.Play("wait 13000\nexit\n", {"--now", "2026-03-02T08:30:00"});
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(DbTool(home, {"list", "base"}), shift);
  EXPECT_TRUE(DbTool(home, {"list", "day"}).isEmpty());
}

// The shift change on a full disk (the fault-injection library): the journal
// that cannot be written, or base.bin that fills up in the middle of the
// copy. The start stops naming the file; day.bin is byte-identical, base.bin
// holds whole records only (here: none), and the next start moves the shift.
TEST(ProgramShiftChange, OnAFullDiskTheMoveLeavesWholeFilesAndTheNextStartMovesTheShift) {
  for (const QStringList& fault :
       {QStringList{"KALVOR_FAULT_PATH=*/Report/transfer.jnl.*"},
        QStringList{"KALVOR_FAULT_PATH=*/Report/base.bin", "KALVOR_FAULT_AFTER=700",
                    "KALVOR_FAULT_ERRNO=EIO"}}) {
    SCOPED_TRACE(fault.join(' ').toStdString());
    FlowHome home;
    const QStringList shift = FillYesterdaysShift(home, 5);
    QFile dayFile(home.file("Report/day.bin"));
    ASSERT_TRUE(dayFile.open(QIODevice::ReadOnly));
    const QByteArray dayBytes = dayFile.readAll();
    dayFile.close();
    home.InjectFaults(fault);
    const auto stopped = home.Play("wait 3000\ndump box.txt\npress OK\nwait 1000\n",
                                   {"--now", "2026-03-02T08:00:00"});
    home.InjectFaults({});
    const QString file = fault[0].contains("base.bin") ? "base.bin" : "transfer.jnl";
    EXPECT_EQ(stopped.exitCode, 1) << stopped.err.toStdString();
    EXPECT_TRUE(stopped.err.contains(file)) << stopped.err.toStdString();
    EXPECT_TRUE(home.Text("box.txt").contains(file)) << home.Text("box.txt").toStdString();
    ASSERT_TRUE(dayFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(dayFile.readAll(), dayBytes);
    dayFile.close();
    EXPECT_EQ(QFileInfo(home.file("Report/base.bin")).size(), 0);
    EXPECT_EQ(QFile::exists(home.file("Report/transfer.jnl")), file == "base.bin");

    const auto r = home.Play("wait 13000\nexit\n", {"--now", "2026-03-02T08:30:00"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(DbTool(home, {"list", "base"}), shift);
    EXPECT_TRUE(DbTool(home, {"list", "day"}).isEmpty());
  }
}
