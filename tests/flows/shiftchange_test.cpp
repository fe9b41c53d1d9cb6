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
