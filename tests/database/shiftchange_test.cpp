// The shift change: when it moves records and when it must not, and that an
// interruption at any moment loses and duplicates nothing once the next start
// has run.

#include "dbtest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>

#include <csignal>

#include "platform/textfile.h"
#include "pages/shiftnotice.h"
#include "screen/screen.h"
#include "testpaths.h"

namespace {

class ShiftChange : public DatabaseTest {
 protected:
  // The shift file holds measurements first..last (by their first value),
  // the database those before it.
  void Fill(int baseRecords, int shiftRecords) {
    QByteArray base, day;
    for (int k = 1; k <= baseRecords; ++k) base += EncodeMeasurementRecord(Numbered(k));
    for (int k = baseRecords + 1; k <= baseRecords + shiftRecords; ++k)
      day += EncodeMeasurementRecord(Numbered(k));
    home->write("Report/base.bin", base);
    home->write("Report/day.bin", day);
  }

  void WriteShift(int day, int month) {
    ASSERT_TRUE(plat::WriteTextLines(
        "Config\\now.txt", {"7", "8", "5", "0", "3", QString::number(day), QString::number(month),
                            "A1", "B2"}));
  }

  // base.bin holds measurements 1..total in order, each once.
  void ExpectDatabaseHolds(int total) {
    ResetDatabaseModule();
    ASSERT_EQ(MeasurementCount(), total);
    EXPECT_EQ(QFileInfo(home->file("Report/base.bin")).size(), qint64(total) * 298);
    std::vector<MeasurementRecord> all;
    ASSERT_TRUE(ReadMeasurementRange(0, total, all)) << qPrintable(DatabaseError());
    for (int k = 0; k < total; ++k)
      ASSERT_EQ(all[k].Param[1].Value, static_cast<float>(k + 1)) << "position " << k;
  }

  bool JournalExists() const { return QFile::exists(home->file("Report/transfer.jnl")); }

};

QString ToolPath() {
  // Tools are built side by side: build/tools/<name>.
  const QFileInfo mk(KALVOR_MKINSTALL);
  return mk.absolutePath() + "/dbtool";
}

TEST_F(ShiftChange, SameDayDoesNothing) {
  Fill(2, 3);
  WriteShift(5, 3);
  ASSERT_EQ(InitDatabaseModule(), QString());
  ASSERT_TRUE(CheckShiftChange());
  EXPECT_EQ(ShiftMeasurementCount(), 3);
  EXPECT_EQ(MeasurementCount(), 2);
  EXPECT_EQ(Database.ShiftState.CurrentIndex, 3);
}

TEST_F(ShiftChange, NewDayWithEmptyShiftFileChangesShiftWithoutTouchingTheDatabase) {
  Fill(2, 0);
  WriteShift(4, 3);
  const QByteArray before = home->read("Report/base.bin");
  ASSERT_EQ(InitDatabaseModule(), QString());
  bool moved = false;
  Database.ShiftChangeProbe = [&](ShiftChangeStep, int, int) { moved = true; };
  ASSERT_TRUE(CheckShiftChange());
  EXPECT_FALSE(moved);
  EXPECT_FALSE(JournalExists());
  EXPECT_EQ(home->read("Report/base.bin"), before);
  EXPECT_EQ(home->read("Config/now.txt"), QByteArray("7\r\n8\r\n0\r\n1\r\n1\r\n5\r\n3\r\nA1\r\nB2\r\n"));
}

TEST_F(ShiftChange, NewDayMovesTheShiftInOrderAndNumberingRestarts) {
  Fill(2, 3);
  WriteShift(4, 3);
  ASSERT_EQ(InitDatabaseModule(), QString());
  int listened = 0;
  Database.ShiftChangeListener = [&] { ++listened; };
  ASSERT_TRUE(CheckShiftChange()) << qPrintable(DatabaseError());
  EXPECT_EQ(listened, 1);
  EXPECT_EQ(ShiftMeasurementCount(), 0);
  EXPECT_FALSE(JournalExists());
  EXPECT_EQ(Database.ShiftState.Day, 5);
  EXPECT_EQ(Database.ShiftState.Reserved3, 0);
  EXPECT_EQ(Database.ShiftState.Reserved4, 1);
  EXPECT_EQ(Database.ShiftState.CurrentIndex, 1);
  // The next measurement is number 1 of the new day.
  EXPECT_EQ(MeasurementIdentifier(ShiftMeasurementCount() + 1), "0001-05032009");
  ASSERT_TRUE(CheckShiftChange());  // once per day
  ExpectDatabaseHolds(5);
}

TEST_F(ShiftChange, TheSameDayAndMonthAYearLaterKeepsTheShift) {
  Fill(0, 3);
  WriteShift(5, 3);
  SetToday(2010, 3, 5);
  ASSERT_EQ(InitDatabaseModule(), QString());
  ASSERT_TRUE(CheckShiftChange());
  EXPECT_EQ(ShiftMeasurementCount(), 3);
  EXPECT_EQ(MeasurementCount(), 0);
  EXPECT_EQ(MeasurementIdentifier(ShiftMeasurementCount() + 1), "0004-05032010");
}

TEST_F(ShiftChange, AClockBehindTheShiftMovesNothingUntilGoingOnIsConfirmed) {
  Fill(2, 3);  // measured on 5 March 2009
  WriteShift(5, 3);
  const QByteArray base = home->read("Report/base.bin"), day = home->read("Report/day.bin"),
                   now = home->read("Config/now.txt");
  const auto unchanged = [&] {
    EXPECT_EQ(home->read("Report/base.bin"), base);
    EXPECT_EQ(home->read("Report/day.bin"), day);
    EXPECT_EQ(home->read("Config/now.txt"), now);
  };
  SetToday(2009, 3, 4);
  ASSERT_EQ(InitDatabaseModule(), QString());
  // Nobody to ask (the database tool): refused, with both dates.
  EXPECT_FALSE(CheckShiftChange());
  EXPECT_TRUE(Database.ClockBehindRefused);
  EXPECT_TRUE(DatabaseError().contains("04.03.2009")) << qPrintable(DatabaseError());
  EXPECT_TRUE(DatabaseError().contains("05.03.2009"));
  unchanged();
  // The operator goes on: asked once, the names continue the stored shift.
  int asked = 0;
  Database.ConfirmClockBehind = [&](const QDate& shift, const QDate& today) {
    ++asked;
    EXPECT_EQ(shift, QDate(2009, 3, 5));
    EXPECT_EQ(today, QDate(2009, 3, 4));
    return true;
  };
  ASSERT_TRUE(CheckShiftChange());
  ASSERT_TRUE(CheckShiftChange());
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(Database.ClockBehindRefused);
  EXPECT_EQ(MeasurementIdentifier(ShiftMeasurementCount() + 1), "0004-05032009");
  unchanged();
  // The clock set right: the next day changes the shift as ever.
  SetToday(2009, 3, 6);
  ASSERT_TRUE(CheckShiftChange());
  EXPECT_EQ(MeasurementIdentifier(1), "0001-06032009");
  ExpectDatabaseHolds(5);
}

TEST_F(ShiftChange, TheShiftsYearComesFromTheRecords) {
  // The shift of 6 March began after the database's last measurement of the
  // 5th; a clock back to the 5th, or to 2000, is behind it.
  Fill(3, 0);
  WriteShift(6, 3);
  for (const QDate today : {QDate(2009, 3, 5), QDate(2000, 1, 1)}) {
    SetToday(today.year(), today.month(), today.day());
    ASSERT_EQ(InitDatabaseModule(), QString());
    EXPECT_FALSE(CheckShiftChange()) << qPrintable(today.toString());
    EXPECT_TRUE(Database.ClockBehindRefused);
  }
  // A shift of 31 December with a measurement of that day: 1 January is the
  // next year, not behind.
  SetToday(2009, 12, 31);
  Fill(0, 1);
  WriteShift(31, 12);
  SetToday(2010, 1, 1);
  ASSERT_EQ(InitDatabaseModule(), QString());
  ASSERT_TRUE(CheckShiftChange()) << qPrintable(DatabaseError());
  EXPECT_EQ(MeasurementCount(), 1);
  // Without any record nothing can be named twice: the shift changes.
  Fill(0, 0);
  WriteShift(9, 3);
  SetToday(2009, 3, 6);
  ASSERT_EQ(InitDatabaseModule(), QString());
  EXPECT_TRUE(CheckShiftChange()) << qPrintable(DatabaseError());
  EXPECT_EQ(Database.ShiftState.Day, 6);
}

TEST_F(ShiftChange, ABrokenTailOfTheDatabaseIsOverwrittenByTheMove) {
  Fill(2, 3);
  home->write("Report/base.bin", home->read("Report/base.bin") + QByteArray(77, 'z'));
  home->write("Report/day.bin", home->read("Report/day.bin") + QByteArray(149, 'y'));
  WriteShift(1, 1);
  ASSERT_EQ(InitDatabaseModule(), QString());
  ASSERT_TRUE(CheckShiftChange());
  // Both broken tails are gone, and each is logged.
  EXPECT_EQ(Database.Dropped,
            QStringList({"Report\\base.bin: отброшено 77 байт со смещения 596 (неполная запись в "
                         "конце файла)",
                         "Report\\day.bin: отброшено 149 байт со смещения 894 (неполная запись в "
                         "конце файла)"}));
  EXPECT_EQ(home->read("Report/day.bin").size(), 0);
  ExpectDatabaseHolds(5);
}

TEST_F(ShiftChange, AGarbledJournalStopsTheStart) {
  Fill(2, 3);
  WriteShift(4, 3);
  home->write("Report/transfer.jnl", "596\r\nfive\r\n3\r\n");
  const QString err = InitDatabaseModule();
  EXPECT_TRUE(err.contains("transfer.jnl")) << qPrintable(err);
  EXPECT_EQ(ShiftMeasurementCount(), 3);  // nothing was touched
  EXPECT_EQ(home->read("Report/base.bin").size(), 2 * 298);
}

TEST_F(ShiftChange, AMoveThatFailedEarlierInThisRunIsFinishedBeforeTheNextCheck) {
  Fill(2, 3);
  WriteShift(4, 3);
  // What a move that failed half-way leaves: its journal, and one and a half
  // of the shift's records already behind the old end of base.bin.
  const QByteArray day = home->read("Report/day.bin");
  home->write("Report/base.bin", home->read("Report/base.bin") + day.left(298 + 149));
  home->write("Report/transfer.jnl", "596\r\n5\r\n3\r\n");
  ASSERT_TRUE(LoadShiftState());
  ASSERT_TRUE(CheckShiftChange()) << qPrintable(DatabaseError());
  EXPECT_FALSE(JournalExists());
  EXPECT_EQ(Database.ShiftState.Day, 5);
  EXPECT_EQ(Database.Dropped, QStringList("Report\\base.bin: отброшено 447 байт со смещения 596 "
                                          "(остаток прерванного переноса смены, переносится заново)"));
  ExpectDatabaseHolds(5);
}

// The loss seen on a line: a journal left behind after a finished move (its
// removal failed and the run went on), then measurements of the new shift,
// then a restart. Nothing may move: the journal is set aside and reported.
// Both the journal this program writes and the first release's three-line
// journal.
TEST_F(ShiftChange, AJournalLeftBehindAfterAFinishedMoveMovesNothingLater) {
  for (const bool firstRelease : {false, true}) {
    SCOPED_TRACE(firstRelease ? "first release's journal" : "journal");
    ResetDatabaseModule();
    for (const QString& f : QDir(home->file("Report")).entryList({"transfer*"}, QDir::Files))
      QFile::remove(home->file("Report/" + f));
    Fill(8, 3);
    WriteShift(4, 3);
    ASSERT_EQ(InitDatabaseModule(), QString());
    QByteArray journal;
    Database.ShiftChangeProbe = [&](ShiftChangeStep step, int, int) {
      if (step == ShiftChangeStep::StateSaved) journal = home->read("Report/transfer.jnl");
    };
    ASSERT_TRUE(CheckShiftChange()) << qPrintable(DatabaseError());
    ASSERT_FALSE(journal.isEmpty());
    home->write("Report/transfer.jnl", firstRelease ? QByteArray("2384\r\n5\r\n3\r\n") : journal);
    ASSERT_TRUE(AppendShiftMeasurement(Numbered(12)));
    ASSERT_TRUE(AppendShiftMeasurement(Numbered(13)));
    const QByteArray base = home->read("Report/base.bin");
    const QByteArray day = home->read("Report/day.bin");

    ResetDatabaseModule();
    ASSERT_EQ(InitDatabaseModule(), QString());
    ASSERT_TRUE(CheckShiftChange());
    EXPECT_EQ(home->read("Report/base.bin"), base);
    EXPECT_EQ(home->read("Report/day.bin"), day);
    EXPECT_FALSE(JournalExists());
    const QStringList aside = QDir(home->file("Report")).entryList({"transfer-*.jnl"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(home->read("Report/" + aside[0]),
              firstRelease ? QByteArray("2384\r\n5\r\n3\r\n") : journal);
    EXPECT_TRUE(DatabaseStartupReport().contains(aside[0])) << qPrintable(DatabaseStartupReport());
    ExpectDatabaseHolds(11);
  }
}

// A journal whose records are not those of the shift file (files copied in
// by hand): set aside; the ordinary shift change then moves the shift file.
TEST_F(ShiftChange, AJournalOfOtherRecordsIsSetAsideAndNothingIsCutFromTheDatabase) {
  Fill(2, 3);
  WriteShift(4, 3);
  ASSERT_EQ(InitDatabaseModule(), QString());
  QByteArray journal;
  Database.ShiftChangeProbe = [&](ShiftChangeStep step, int, int) {
    if (step == ShiftChangeStep::JournalWritten) journal = home->read("Report/transfer.jnl");
  };
  ASSERT_TRUE(CheckShiftChange());
  // Back to the day before with a different shift file, and the journal of
  // the other move.
  Fill(5, 1);
  WriteShift(4, 3);
  home->write("Report/transfer.jnl", journal);
  ResetDatabaseModule();
  ASSERT_EQ(InitDatabaseModule(), QString());
  EXPECT_FALSE(DatabaseStartupReport().isEmpty());
  EXPECT_EQ(MeasurementCount(), 5);  // base.bin was not cut back to 2 records
  ASSERT_TRUE(CheckShiftChange());
  ExpectDatabaseHolds(6);
}

// A shift change stopped dead at each of its steps, as by a power cut, and
// the next start: every measurement is in base.bin exactly once, in order.
TEST_F(ShiftChange, AnInterruptionAtAnyStepIsFinishedByTheNextStart) {
  const QString tool = ToolPath();
  ASSERT_TRUE(QFileInfo::exists(tool)) << qPrintable(tool);
  for (const char* step : {"journal", "copying", "copied", "cleared", "saved"}) {
    SCOPED_TRACE(step);
    Fill(10, 1000);
    WriteShift(4, 3);
    const auto killed = testsupport::Run(
        tool, {"--home", home->path(), "--now", "2009-03-05T08:00:00", "--die-at", step, "start"});
    ASSERT_TRUE(killed.finished);
    ASSERT_EQ(killed.exitCode, -1) << qPrintable(killed.err);  // it did die
    ASSERT_TRUE(JournalExists());

    // The next start is a day later: the interrupted move finishes as the
    // change to 5 March, then 6 March starts with nothing to move.
    const auto again =
        testsupport::Run(tool, {"--home", home->path(), "--now", "2009-03-06T08:00:00", "start"});
    ASSERT_EQ(again.exitCode, 0) << qPrintable(again.err);
    EXPECT_FALSE(JournalExists());
    ExpectDatabaseHolds(1010);
    EXPECT_EQ(ShiftMeasurementCount(), 0);
    ASSERT_TRUE(LoadShiftState());
    EXPECT_EQ(Database.ShiftState.Day, 6);
    EXPECT_EQ(Database.ShiftState.WagonFrom, "A1");  // the stored wagon numbers survive
  }
}

// The same with a real kill from outside while the records are being copied.
TEST_F(ShiftChange, AProcessKilledWhileCopyingLosesNothing) {
  const QString tool = ToolPath();
  ASSERT_TRUE(QFileInfo::exists(tool)) << qPrintable(tool);
  Fill(5, 3000);
  WriteShift(4, 3);
  QProcess p;
  p.start(tool, {"--home", home->path(), "--now", "2009-03-05T08:00:00", "--slow", "30", "start"});
  ASSERT_TRUE(p.waitForStarted());
  int copied = 0;
  while (copied < 1000 && p.state() == QProcess::Running) {
    if (!p.canReadLine() && !p.waitForReadyRead(5000)) break;
    while (p.canReadLine()) {
      const QList<QByteArray> f = p.readLine().trimmed().split(' ');
      if (f.size() == 3 && f[0] == "copying") copied = f[1].toInt();
    }
  }
  ASSERT_GE(copied, 1000);
  ASSERT_LT(copied, 3000);
  ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
  ASSERT_TRUE(p.waitForFinished(5000));
  ASSERT_EQ(p.exitStatus(), QProcess::CrashExit);
  // Part of the shift is already behind the old end of base.bin.
  ASSERT_GT(QFileInfo(home->file("Report/base.bin")).size(), 5 * 298);

  const auto again =
      testsupport::Run(tool, {"--home", home->path(), "--now", "2009-03-05T09:00:00", "start"});
  ASSERT_EQ(again.exitCode, 0) << qPrintable(again.err);
  EXPECT_FALSE(JournalExists());
  ExpectDatabaseHolds(3005);
  EXPECT_EQ(ShiftMeasurementCount(), 0);
}

}  // namespace

namespace {

int BluePixels(const QImage& img, const QRect& r) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if ((img.pixel(x, y) & 0xFFFFFF) == kBlue) ++n;
  return n;
}

class ShiftChangeNotice : public ShiftChange {
 protected:
  void SetUp() override {
    ShiftChange::SetUp();
    ResetScreenModule();
    FillScreen(kWhite);
    InstallShiftChangePage();
  }
  void TearDown() override {
    ResetScreenModule();
    ShiftChange::TearDown();
  }
  const QRect noticeArea{30, 495, 560, 60};
};

TEST_F(ShiftChangeNotice, ShownOnlyWhenRecordsAreMoved) {
  Fill(1, 0);
  WriteShift(4, 3);
  ASSERT_EQ(InitDatabaseModule(), QString());
  ASSERT_TRUE(CheckShiftChange());
  EXPECT_EQ(BluePixels(Screen(), noticeArea), 0);
  // The shade is laid over the work area all the same.
  EXPECT_EQ(Screen().pixel(5, 111) & 0xFFFFFF, kSilver);

  FillScreen(kWhite);
  Fill(1, 2);
  SetToday(2009, 3, 6);
  ASSERT_TRUE(CheckShiftChange());
  EXPECT_GT(BluePixels(Screen(), noticeArea), 500);
  EXPECT_EQ(Screen().pixel(8 + 5, 438 + 5) & 0xFFFFFF, kWhite);  // inside the panel box
  testsupport::KeepPicture(Screen(), "shift-notice.png");
}

}  // namespace
