// Measurements in emulation through the program's own keys, on the virtual
// clock: the process page with its stage pictures at their moments, the
// result page, the record appended to the shift file, the measurement
// page's keys and the confirmation, and measurements cut off by a kill.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <cmath>

#include "config/settings.h"
#include "database/database.h"
#include "database/records.h"
#include "flowsupport.h"
#include "pages/pages.h"
#include "platform/paths.h"
#include "screen/screen.h"
#include "springs/springtypes.h"

namespace {

constexpr int kStartupMs = 13000;
const QString kNow = "2026-12-06T10:00:00";
// The result area of the result page (inside its panel box).
const QRect kResultArea(437, 121, 567, 482);
// The clock box, which the key poll redraws with the time.
const QRect kClockBox(800, 0, 224, 110);

// The shift of 6 December with two wagon numbers, so that the start-up
// makes no shift change.
void WriteShiftState(const FlowHome& home, int currentIndex = 1) {
  QFile f(home.file("Config/now.txt"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(QString("0\r\n0\r\n0\r\n1\r\n%1\r\n6\r\n12\r\n5512\r\n77001234\r\n")
              .arg(currentIndex)
              .toLatin1());
}

// Whether the snapshot shows the installation's picture at (x, y).
bool ShowsPicture(const FlowHome& home, const QImage& snap, const QString& name, int x, int y) {
  const QImage pic = QImage(home.file("BMP/" + name)).convertToFormat(QImage::Format_RGB32);
  if (pic.isNull() || snap.isNull()) return false;
  return snap.copy(x, y, pic.width(), pic.height()).convertToFormat(QImage::Format_RGB32) == pic;
}

// The states 1..3 of the four stage pictures in a snapshot ("1231"), "?"
// where none of the three is shown.
QString Stages(const FlowHome& home, const QImage& snap) {
  QString out;
  for (int n = 1; n <= 4; ++n) {
    QChar c = '?';
    for (int s = 1; s <= 3; ++s)
      if (ShowsPicture(home, snap, QString("PROC%1_%2.bmp").arg(n).arg(s), 20, 140 + 72 * (n - 1)))
        c = QChar('0' + s);
    out += c;
  }
  return out;
}

// The page the program draws for a record, drawn here with the
// installation's settings, spring types and shift file.
class PageRenderer {
 public:
  explicit PageRenderer(const FlowHome& home) {
    ResetSettingsModule();
    plat::SetHome(home.path());
    LoadSettings();
    ResetSpringTypesModule();
    LoadSpringTypes();
    ResetDatabaseModule();
    LoadModeState();
    ResetScreenModule();
    InitScreenModule();
  }
  ~PageRenderer() {
    ResetScreenModule();
    ResetDatabaseModule();
    ResetSpringTypesModule();
    ResetSettingsModule();
  }
  QImage Result(const MeasurementRecord& r) {
    FillScreen(kGrey);
    ShowResultPage(r);
    return Screen().copy(kResultArea);
  }
  QImage Counter() {
    FillScreen(kGrey);
    ShowShiftCounter();
    return Screen().copy(QRect(8, 555, 412, 49));
  }
};

QImage Area(const QImage& snap, const QRect& r) {
  return snap.copy(r).convertToFormat(QImage::Format_RGB32);
}

// The snapshot without the clock box.
QImage WithoutClock(const QImage& snap) {
  QImage img = snap.convertToFormat(QImage::Format_RGB32);
  for (int y = kClockBox.top(); y <= kClockBox.bottom(); ++y)
    for (int x = kClockBox.left(); x <= kClockBox.right(); ++x) img.setPixel(x, y, 0);
  return img;
}

TEST(MeasurementFlow, StagesAdvanceAndTheRecordIsWhatThePageShowed) {
  for (int turbo : {1, 2}) {
    SCOPED_TRACE(turbo);
    FlowHome home;
    home.Set("Global", "Turbo", QString::number(turbo));
    WriteShiftState(home);
    // Moments after key 2 in milliseconds at Turbo 1; the stages change
    // every second from the first.
    QString script = QString("wait %1\nkey 2\n").arg(kStartupMs);
    int at = 0;
    for (int moment : {500, 1500, 2500, 3500, 5500, 7500}) {
      script += QString("wait %1\nsnap t%2.png\n").arg((moment - at) / turbo).arg(moment);
      at = moment;
    }
    script += QString("wait %1\nsnap result.png\nkey 13\nwait 300\nsnap menu.png\nexit\n")
                  .arg((9500 - at) / turbo);
    const auto run = home.Play(script, {"--now", kNow});
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    EXPECT_EQ(Stages(home, home.Snap("t500.png")), "1111");
    EXPECT_EQ(Stages(home, home.Snap("t1500.png")), "2111");
    EXPECT_EQ(Stages(home, home.Snap("t2500.png")), "3111");
    EXPECT_EQ(Stages(home, home.Snap("t3500.png")), "3211");
    EXPECT_EQ(Stages(home, home.Snap("t5500.png")), "3321");
    EXPECT_EQ(Stages(home, home.Snap("t7500.png")), "3332");
    const QImage running = home.Snap("t1500.png");
    EXPECT_GT(CountColour(running, QRect(160, 472, 120, 50), 0xFF0000), 300);  // "ИДЕТ"
    EXPECT_GT(CountColour(running, QRect(140, 530, 160, 50), 0xFF0000), 300);  // "ЗАМЕР"
    const QImage result = home.Snap("result.png");
    EXPECT_EQ(Stages(home, result), "3333");

    const auto records = ShiftRecords(home);
    ASSERT_EQ(records.size(), 1u);
    const MeasurementRecord& r = records[0];
    EXPECT_EQ(r.Identifier, "0001-06122026");
    EXPECT_GE(r.SpringType, 1);
    EXPECT_LE(r.SpringType, 3);  // the installed bogie type 1 has three
    EXPECT_EQ(r.BogieType, 1);
    EXPECT_EQ(r.Kind, 0);
    EXPECT_EQ(QDateTime::fromString(kNow, Qt::ISODate).date(),
              QDate(1899, 12, 30).addDays(static_cast<qint64>(std::floor(r.Date))));
    for (int p = 1; p <= 6; ++p) {
      EXPECT_EQ(r.Param[p].JudgeMode, 0) << p;
      EXPECT_EQ(r.Param[p].Verdict, 1) << p;
    }
    EXPECT_EQ(r.Param[5].Value, 0.0f);
    const int A = std::clamp(static_cast<int>(std::trunc(r.Param[6].Value)), 15, 70);
    EXPECT_EQ(r.Chart[3], static_cast<int>(std::trunc(A * 1.8)));
    EXPECT_GE(r.Chart[1], static_cast<int>(A * 1.8 / 3));
    EXPECT_NE(r.Aux[1], 0);
    EXPECT_EQ(r.WagonFrom, "5512");
    EXPECT_EQ(r.WagonTo, "77001234");
    // The shift state names the new measurement's position.
    EXPECT_EQ(TextLines(home.Text("Config/now.txt")).value(4), "0");

    // The page showed exactly this record.
    PageRenderer page(home);
    EXPECT_EQ(Area(result, kResultArea), page.Result(r));
    // The measurement page's keys: 1, 3, 4, 5, 7, 9, 11, 13 are lit.
    for (int key : {1, 3, 4, 5, 7, 9, 11, 13})
      EXPECT_GT(CountColour(result, QRect(74 * key - 36, 636, 72, 36), 0x000000), 10) << key;
    // Key 13: the main menu as it was.
    const QImage menu = home.Snap("menu.png");
    EXPECT_GT(CountColour(menu, QRect(56, 450, 350, 140), 0x0000FF), 500);  // "Линия готова"
  }
}

TEST(MeasurementFlow, KeysStepThroughTheShiftAndPickByNumber) {
  FlowHome home;
  WriteShiftState(home);
  const QString measure = "wait 10000\n";
  const auto run = home.Play(QString("wait %1\nkey 2\n").arg(kStartupMs) + measure + "key 1\n" +
                                 measure + "key 1\n" + measure +
                                 "snap m3.png\n"
                                 "key 4\nwait 300\nsnap k4.png\n"
                                 "key 3\nwait 300\nsnap k3.png\n"
                                 "key 3\nwait 300\nsnap k33.png\n"
                                 "key 3\nwait 300\nsnap k333.png\n"
                                 "key 4\nwait 300\nsnap k3334.png\n"
                                 "key 5\nwait 300\nsnap entry.png\nkey 10\nkey 13\nwait 300\n"
                                 "snap n0.png\n"
                                 "key 5\nwait 300\nkey 3\nkey 13\nwait 300\nsnap n3.png\n"
                                 "key 5\nwait 300\nkey 1\nkey 13\nwait 300\nsnap n1.png\n"
                                 "key 5\nwait 300\nkey 4\nkey 13\nwait 300\nsnap n4.png\n"
                                 "exit\n",
                             {"--now", kNow});
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  const auto records = ShiftRecords(home);
  ASSERT_EQ(records.size(), 3u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(records[i].Identifier, QString("%1-06122026").arg(i + 1, 4, 10, QChar('0')));

  PageRenderer page(home);
  const QImage first = page.Result(records[0]), second = page.Result(records[1]),
               third = page.Result(records[2]);
  ASSERT_NE(first, second);
  ASSERT_NE(second, third);
  EXPECT_EQ(Area(home.Snap("m3.png"), kResultArea), third);
  EXPECT_EQ(Area(home.Snap("k4.png"), kResultArea), third);  // the last: "==>" does nothing
  EXPECT_EQ(Area(home.Snap("k3.png"), kResultArea), second);
  EXPECT_EQ(Area(home.Snap("k33.png"), kResultArea), first);
  EXPECT_EQ(Area(home.Snap("k333.png"), kResultArea), first);  // the first: "<==" does nothing
  EXPECT_EQ(Area(home.Snap("k3334.png"), kResultArea), second);
  // A stored measurement shown gets the shift's count, not the result
  // page's count + 1.
  const QImage counter = page.Counter();
  EXPECT_EQ(Area(home.Snap("k3.png"), QRect(8, 555, 412, 49)), counter);
  // Number 0 leaves the shown measurement and shows it again; n picks it;
  // n + 1 leaves it.
  EXPECT_GT(CountColour(home.Snap("entry.png"), QRect(30, 495, 300, 40), 0x000000), 100);
  EXPECT_EQ(Area(home.Snap("n0.png"), kResultArea), second);
  EXPECT_EQ(Area(home.Snap("n3.png"), kResultArea), third);
  EXPECT_EQ(Area(home.Snap("n1.png"), kResultArea), first);
  EXPECT_EQ(Area(home.Snap("n4.png"), kResultArea), first);
}

TEST(MeasurementFlow, ConfirmationCancelledRestoresThePageAndMeasuresNothing) {
  FlowHome home("[Depo]\nConfirmation=1\n");
  WriteShiftState(home);
  const auto run = home.Play(QString("wait %1\nkey 2\nwait 10000\nsnap before.png\n"
                                     "key 1\nwait 500\nsnap confirm.png\n"
                                     "key 1\nkey 4\nwait 500\nsnap still.png\n"
                                     "key 5\nwait 500\nsnap after.png\n"
                                     "key 1\nwait 500\nkey 3\nwait 500\nsnap measuring.png\n"
                                     "wait 10000\nsnap second.png\nexit\n")
                                 .arg(kStartupMs),
                             {"--now", kNow});
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  const QImage confirm = home.Snap("confirm.png");
  EXPECT_EQ(Stages(home, confirm), "1111");  // the process page's background
  EXPECT_GT(CountColour(confirm, QRect(70, 472, 280, 50), 0x000000), 300);  // "Подтвердите"
  EXPECT_GT(CountColour(confirm, QRect(140, 530, 160, 50), 0x000000), 300);  // "ЗАМЕР"
  EXPECT_EQ(CountColour(confirm, QRect(140, 530, 160, 50), 0xFF0000), 0);
  // Keys other than 3 and 5 do nothing while it asks.
  EXPECT_EQ(WithoutClock(home.Snap("still.png")), WithoutClock(confirm));
  // Key 5: the page back pixel for pixel.
  EXPECT_EQ(WithoutClock(home.Snap("after.png")), WithoutClock(home.Snap("before.png")));
  // Key 3 measures.
  EXPECT_EQ(Stages(home, home.Snap("measuring.png")), "1111");
  EXPECT_GT(CountColour(home.Snap("measuring.png"), QRect(160, 472, 120, 50), 0xFF0000), 300);
  const auto records = ShiftRecords(home);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].Identifier, "0002-06122026");
  PageRenderer page(home);
  EXPECT_EQ(Area(home.Snap("second.png"), kResultArea), page.Result(records[1]));
}

TEST(MeasurementFlow, WithoutConfirmationKeyOneMeasuresAtOnce) {
  FlowHome home;
  WriteShiftState(home);
  const auto run = home.Play(QString("wait %1\nkey 2\nwait 10000\nkey 1\nwait 1500\n"
                                     "snap measuring.png\nwait 9000\nexit\n")
                                 .arg(kStartupMs),
                             {"--now", kNow});
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_EQ(Stages(home, home.Snap("measuring.png")), "2111");
  EXPECT_EQ(ShiftRecords(home).size(), 2u);
}

// The shift changes between the start and the measurement (midnight) and
// the move of the shift's records fails: the measurement is abandoned with
// a message naming the file, and nothing goes into the shift file.
TEST(MeasurementFlow, AFailedShiftChangeAbandonsTheMeasurement) {
  FlowHome home;
  WriteShiftState(home);
  auto run =
      home.Play(QString("wait %1\nkey 2\nwait 10000\nexit\n").arg(kStartupMs), {"--now", kNow});
  ASSERT_TRUE(run.finished);
  QByteArray before;
  ASSERT_EQ(ShiftRecords(home, &before).size(), 1u);

  ASSERT_TRUE(QFile::setPermissions(home.file("Report/base.bin"),
                                    QFileDevice::ReadOwner | QFileDevice::ReadGroup));
  home.RunAsOrdinaryUser(true);
  run = home.Play(
      QString("wait %1\nkey 2\nwait 3000\nsnap failed.png\nkey 13\nexit\n").arg(kStartupMs),
      {"--now", "2026-12-06T23:59:50"});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(run.err.contains("base.bin")) << run.err.toStdString();
  QByteArray after;
  ShiftRecords(home, &after);
  EXPECT_EQ(after, before);
  const QImage failed = home.Snap("failed.png");
  EXPECT_GT(CountColour(failed, QRect(16, 470, 380, 36), 0xFF0000), 300);  // "Замер не выполнен"
  EXPECT_GT(CountColour(failed, QRect(16, 510, 390, 60), 0x000000), 50);  // the file's name
  EXPECT_EQ(Stages(home, failed), "1111");                                // no stage started
}

// A series of emulated measurements killed (SIGKILL) and started again,
// round after round: each round kills the program at one chosen write of its
// record and state files (every write, sync and rename under Report and
// Config counts; a measurement makes five: the state's temporary file
// written, synced, renamed, the record written, synced). The moments are
// each of the first ten, so every step of the first measurement and of one
// over a shift that holds records, then a seeded sample of later ones, each
// round starting from what the kill before left. After each kill the
// shift file holds whole records only, each measurement once and numbered in
// its order, and the shift state names the last measurement or the one that
// was under way.
TEST(MeasurementFlow, AKillAtAnyMomentLeavesWholeRecordsEachOnce) {
  FlowHome home("[Global]\nTurbo=20\n");
  WriteShiftState(home);
  QString script = QString("wait %1\nkey 2\n").arg(kStartupMs);
  for (int i = 0; i < 3; ++i) script += "wait 500\nkey 1\n";
  script += "wait 500\nexit\n";

  std::vector<int> moments;
  for (int n = 1; n <= 10; ++n) moments.push_back(n);
  QRandomGenerator rng(20261206);
  for (int k = 0; k < 3; ++k) moments.push_back(rng.bounded(11, 21));
  size_t last = 0;
  int grown = 0;
  for (int moment : moments) {
    SCOPED_TRACE(moment);
    home.InjectFaults({"KALVOR_FAULT_PATH=" + home.path() + "/Report/*:" + home.path() +
                           "/Config/*",
                       "KALVOR_FAULT_OPS=write,fsync,rename", "KALVOR_FAULT_KILL=1",
                       QString("KALVOR_FAULT_NTH=%1").arg(moment)});
    const auto run = home.Play(script, {"--now", kNow});
    ASSERT_TRUE(run.finished);
    // Four measurements make twenty writes: every moment comes.
    EXPECT_EQ(run.exitCode, -1) << run.err.toStdString();

    QByteArray raw;
    const auto records = ShiftRecords(home, &raw);
    EXPECT_EQ(raw.size() % kMeasurementRecordSize, 0) << raw.size();
    ASSERT_GE(records.size(), last);
    if (records.size() > last) ++grown;
    last = records.size();
    for (size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(records[i].Identifier, QString("%1-06122026").arg(i + 1, 4, 10, QChar('0'))) << i;
      EXPECT_EQ(records[i].WagonTo, "77001234") << i;
    }
    const QStringList state = TextLines(home.Text("Config/now.txt"));
    ASSERT_GE(state.size(), 9);
    EXPECT_EQ(state[5], "6");
    EXPECT_EQ(state[6], "12");
    if (!records.empty()) {
      const int index = state[4].toInt();
      const int n = static_cast<int>(records.size());
      EXPECT_TRUE(index == n - 1 || index == n) << index << " with " << n << " records";
    }
  }
  home.InjectFaults({});
  // The kills came during the measurements, not only before them.
  EXPECT_GE(grown, 3);
  // A run to its end goes on with the next number.
  const auto end =
      home.Play(QString("wait %1\nkey 2\nwait 1000\nexit\n").arg(kStartupMs), {"--now", kNow});
  ASSERT_TRUE(end.finished);
  const auto records = ShiftRecords(home);
  ASSERT_EQ(records.size(), last + 1);
  EXPECT_EQ(records.back().Identifier, QString("%1-06122026").arg(last + 1, 4, 10, QChar('0')));
}

}  // namespace

// A full disk under a measurement, made by the fault-injection library: the
// shift state that cannot be written, then the shift file that fills up in
// the middle of the record. Each time the box says "Замер не выполнен" and
// names the file with the reason, the result side shows nothing, key 7 has
// nothing to print, the files are as they were; the next start measures on.
TEST(MeasurementFlow, OnAFullDiskNothingIsStoredHalfAndTheNextStartMeasures) {
  FlowHome home;
  WriteShiftState(home);
  const QString script =
      QString("wait %1\nkey 2\nwait 10000\nsnap failed.png\nkey 7\nwait 300\nkey 13\nexit\n")
          .arg(kStartupMs);
  struct Fault {
    QString file, pattern;
    QStringList more;
  };
  int stored = 0;
  for (const Fault& f : {Fault{"now.txt", "*/Config/now.txt.*", {}},
                         Fault{"day.bin", "*/Report/day.bin", {"KALVOR_FAULT_AFTER=100"}}}) {
    SCOPED_TRACE(f.file.toStdString());
    QByteArray day, state = home.Text("Config/now.txt").toLatin1();
    ShiftRecords(home, &day);
    home.InjectFaults(QStringList{"KALVOR_FAULT_PATH=" + f.pattern} + f.more);
    const auto run = home.Play(script, {"--now", kNow});
    home.InjectFaults({});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(f.file) && run.err.contains("No space left on device"))
        << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("чтение за концом файла")) << run.err.toStdString();
    QByteArray after;
    ShiftRecords(home, &after);
    EXPECT_EQ(after, day);  // whole records only: the cut record is gone
    if (f.file == "now.txt") {
      EXPECT_EQ(home.Text("Config/now.txt").toLatin1(), state);
    }
    const QImage failed = home.Snap("failed.png");
    EXPECT_GT(CountColour(failed, QRect(16, 470, 380, 36), 0xFF0000), 300);  // "Замер не выполнен"
    EXPECT_EQ(CountColour(failed, kResultArea, Rgb(failed, kResultArea.left(), kResultArea.top())),
              kResultArea.width() * kResultArea.height());  // no result drawn
    // The next start, with room on the disk, measures and numbers on.
    const auto next = home.Play(QString("wait %1\nkey 2\nwait 10000\nexit\n").arg(kStartupMs),
                                {"--now", kNow});
    EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
    const auto records = ShiftRecords(home);
    ASSERT_EQ(records.size(), static_cast<size_t>(++stored));
    EXPECT_EQ(records.back().Identifier, QString("%1-06122026").arg(stored, 4, 10, QChar('0')));
  }
}
