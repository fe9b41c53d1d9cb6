// The calibration pages in process: in emulation, and on the line over the
// simulated line on pseudo-terminals, where the reference measurement
// stores its correction in Calibrate.txt and the check measurement shows the
// corrected height. The pages are driven key by key through the message
// pump; what they show is read from the canvas.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <set>

#include "DALNOMER/calibrate.h"
#include "config/settings.h"
#include "database/database.h"
#include "flowsupport.h"
#include "keydriver.h"
#include "link/link.h"
#include "pages/pages.h"
#include "platform/clock.h"
#include "platform/lineclock.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "screen/screen.h"

namespace {

const QRect kOutcomeArea(410, 242, 490, 258);  // where the check writes "H= "

void Keep(const QImage& page, const QString& name) {
  testsupport::KeepPicture(page, name + ".png");
}

// The page above the status strip, which the pages redraw on their return.
QImage Work(const QImage& page) {
  return page.copy(0, 0, 1024, 530);
}

class CalibrationPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::UseVirtualClock();
    plat::SetHome(home.path());
    ResetSettingsModule();
    LoadSettings();
    Settings.Debug.KeyPressDelay = 0;
    Settings.Global.VNenable = true;
    ResetDatabaseModule();
    ResetControllerLink();
    ResetScreenModule();
    // The calling page: the settings menu's grey with its keys 7 and 13.
    FillScreen(kSilver);
    DisableAllKeys();
    EnableKey(7);
    EnableKey(13);
    covered = Screen().copy();
  }
  void TearDown() override {
    plat::SetPumpHook({});
    ResetControllerLink();
    ResetScreenModule();
    ResetDatabaseModule();
    ResetSettingsModule();
  }

  // Types each key once the page waits with exactly the keys given lit,
  // keeping the page as it stood before the key; notes the most pixels of
  // the "measuring" colour seen where "Идет замер !" stands.
  struct Step {
    QChar key;
    std::set<int> lit;
  };
  void Drive(std::vector<Step> steps, QRgb measuringColour) {
    driver.everyTurn = [this, measuringColour] {
      measuringPixels = std::max(measuringPixels,
                                 CountColour(Screen(), QRect(480, 362, 300, 60), measuringColour));
    };
    driver.beforeStep = [this] { pages.push_back(Screen().copy()); };
    for (const Step& s : steps)
      driver.Type(s.key, [lit = s.lit] {
        for (int k = 1; k <= 13; ++k)
          if (KeyEnabled(k) != (lit.count(k) > 0)) return false;
        return true;
      });
    driver.Start();
  }
  // The check's outcome as the page draws it, over a page as it stood.
  static QImage Outcome(const QImage& page, const QString& text) {
    const QImage keep = Screen();
    Screen() = page.copy();
    FillBox(410, 242, 900, 500, kWhite);
    SetFontBold(false);
    SetTextStyle("Impact", 42, kBlue);
    PutShadowText(520, 362, text, 2, 2, kSilver);
    const QImage out = Screen().copy(kOutcomeArea);
    Screen() = keep;
    return out;
  }
  // A fault as the page draws it: red lines under one another where the
  // instructions stood.
  static QImage Fault(const QImage& page, const QString& text) {
    const QImage keep = Screen();
    Screen() = page.copy();
    FillBox(410, 242, 900, 500, kWhite);
    SetFontBold(false);
    SetTextStyle("Times New Roman", 21, kRed);
    const QStringList lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) PutText(410, 362 + 26 * i, lines[i]);
    const QImage out = Screen().copy(kOutcomeArea);
    Screen() = keep;
    return out;
  }
  QByteArray Calibrate() const {
    QFile f(home.file("Calibrate.txt"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  FlowHome home;
  QImage covered;
  testsupport::KeyDriver driver;
  std::vector<QImage> pages;
  int measuringPixels = 0;
};

const std::set<int> kModeKeys{1, 5, 13};
const std::set<int> kMeasureKeys{2, 13};
const std::set<int> kReturnKey{10};

TEST_F(CalibrationPagesTest, ModePageDrawsItsBoxAndPictureAndReturnsOnKey13) {
  Drive({{'-', kModeKeys}}, kRed);
  CalibrationModePage();
  ASSERT_EQ(pages.size(), 1u);
  const QImage& page = pages[0];
  // The white box with its blue frame, the picture of the two procedures.
  for (const QPoint p : {QPoint(34, 117), QPoint(994, 300), QPoint(500, 505), QPoint(34, 505)})
    EXPECT_EQ(Rgb(page, p.x(), p.y()), kBlue) << p.x() << "," << p.y();
  EXPECT_EQ(Rgb(page, 36, 119), kWhite);
  EXPECT_EQ(Rgb(page, 992, 503), kWhite);
  EXPECT_LT(CountColour(page, QRect(40, 122, 950, 380), kWhite), 950 * 380 * 9 / 10);
  // The calling page and its keys come back; VNenable as it was.
  EXPECT_EQ(Work(Screen()), Work(covered));
  EXPECT_TRUE(KeyEnabled(7));
  EXPECT_FALSE(KeyEnabled(1));
  EXPECT_TRUE(Settings.Global.VNenable);
  EXPECT_EQ(LastKey(), 0);
}

TEST_F(CalibrationPagesTest, InEmulationTheReferenceWaitsAndWritesNothing) {
  const QByteArray before = Calibrate();
  ASSERT_FALSE(before.isEmpty());
  Drive({{'1', kModeKeys}, {'2', kMeasureKeys}}, kRed);
  const uint32_t t0 = plat::TickCount();
  CalibrationModePage();
  EXPECT_GE(plat::TickCount() - t0, 2000u);
  ASSERT_EQ(pages.size(), 2u);
  // The reference page: the cylinder's picture, the title and instructions.
  const QImage& page = pages[1];
  EXPECT_LT(CountColour(page, QRect(40, 142, 350, 350), kWhite), 350 * 350 * 9 / 10);
  EXPECT_GT(CountColour(page, QRect(440, 142, 400, 60), kBlack), 200);
  EXPECT_GT(CountColour(page, QRect(410, 242, 480, 55), kBlack), 500);
  EXPECT_GT(measuringPixels, 200);  // "Идет замер !" in red
  Keep(pages[0], "calibration-mode");
  Keep(pages[1], "calibration-reference");
  EXPECT_EQ(Calibrate(), before);
  EXPECT_EQ(Work(Screen()), Work(covered));
  EXPECT_TRUE(KeyEnabled(7));
}

TEST_F(CalibrationPagesTest, InEmulationTheCheckShowsAHeightFrom247_5To248_3) {
  const QByteArray before = Calibrate();
  for (int run = 0; run < 3; ++run) {
    pages.clear();
    Drive({{'5', kModeKeys}, {'2', kMeasureKeys}, {'0', kReturnKey}}, kRed);
    CalibrationModePage();
    ASSERT_EQ(pages.size(), 3u);
    const QImage shown = pages[2].copy(kOutcomeArea);
    int matches = 0;
    for (int r = 0; r <= 8; ++r)
      if (Outcome(pages[2], "H= " + CheckHeightText(247.5f + r / 10.0f)) == shown) ++matches;
    EXPECT_EQ(matches, 1);
    EXPECT_NE(Outcome(pages[2], "H= 248.4"), shown);
  }
  EXPECT_EQ(Calibrate(), before);
  EXPECT_EQ(Work(Screen()), Work(covered));
}

TEST_F(CalibrationPagesTest, Key13OnAMeasurementPageReturnsWithoutMeasuring) {
  Settings.Global.Emul = false;  // no port: a measurement would fail at once
  Drive({{'1', kModeKeys}, {'-', kMeasureKeys}}, kBlue);
  CalibrationModePage();
  EXPECT_EQ(pages.size(), 2u);
  EXPECT_EQ(measuringPixels, 0);
  EXPECT_EQ(Work(Screen()), Work(covered));
}

// On the line: the simulated press stands at the cylinder's height after the
// press is raised, so the position reading gives the cylinder back.
class CalibrationOnTheLineTest : public CalibrationPagesTest {
 protected:
  void Connect(const SimulatedLine& line) {
    ASSERT_FALSE(line.port().isEmpty());
    Settings.Global.Emul = false;
    Settings.Global.Turbo = 10;
    ASSERT_EQ(plat::FollowLineClock(SimulatedLine::Clock()), QString());
    ASSERT_TRUE(OpenPort(1, line.port()));
  }
};

TEST_F(CalibrationOnTheLineTest, ReferenceStoresTheCorrectionAndTheCheckShowsTheKnownHeight) {
  const QString log = home.file("linesim.log");
  SimulatedLine line({"--height", "249.5", "--log", log});
  Connect(line);
  Drive({{'1', kModeKeys}, {'2', kMeasureKeys}, {'0', kReturnKey}}, kBlue);
  CalibrationModePage();
  EXPECT_GT(measuringPixels, 200);  // "Идет замер !" in blue on the line
  EXPECT_EQ(Work(Screen()), Work(covered));
  // The page shows the correction the file now holds.
  ASSERT_EQ(pages.size(), 3u);
  Keep(pages[2], "calibration-stored");
  const QImage stored = pages[2].copy(QRect(440, 362, 460, 60));
  const auto correction = [&](const QString& text) {
    const QImage keep = Screen();
    Screen() = pages[2].copy();
    FillBox(440, 362, 900, 422, kWhite);
    SetTextStyle("Impact", 42, kBlue);
    PutShadowText(440, 362, text, 2, 2, kSilver);
    const QImage out = Screen().copy(QRect(440, 362, 460, 60));
    Screen() = keep;
    return out;
  };
  EXPECT_EQ(correction("Поправка= 0.51"), stored);
  EXPECT_NE(correction("Поправка= 0.50"), stored);

  // 249.5 mm lies between two counts of the scale: the line reads
  // 249.4897 mm (raw 56559), so the correction is 250 − 249.4897.
  const QStringList lines = TextLines(QString::fromLatin1(Calibrate()));
  ASSERT_GE(lines.size(), 2);
  EXPECT_EQ(lines[0], " 2.50000000000000E+0002");
  EXPECT_TRUE(QRegularExpression(R"(^ 5\.10\d{12}E-0001$)").match(lines[1]).hasMatch())
      << lines[1].toStdString();
  EXPECT_NEAR(lines[1].toDouble(), 0.5103, 1e-3);

  // The requests of the controller: initialisation, scan, press up,
  // position, initialisation.
  QFile f(log);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QStringList codes;
  for (const QString& l : QString::fromLatin1(f.readAll()).split('\n')) {
    const QStringList w = l.split(' ', Qt::SkipEmptyParts);
    if (w.size() >= 4 && w[1] == "1" && w[2] == "F0") codes << w[3].toLower();
  }
  EXPECT_EQ(codes, QStringList({"0b", "0c", "02", "11", "0b"}));

  pages.clear();
  Drive({{'5', kModeKeys}, {'2', kMeasureKeys}, {'0', kReturnKey}}, kBlue);
  CalibrationModePage();
  ASSERT_EQ(pages.size(), 3u);
  const QImage shown = pages[2].copy(kOutcomeArea);
  EXPECT_EQ(Outcome(pages[2], "H= 250.0"), shown);
  Keep(pages[2], "calibration-check");
  EXPECT_NE(Outcome(pages[2], "H= 249.5"), shown);
  EXPECT_EQ(Work(Screen()), Work(covered));
}

// A position the controller did not send, and one too far from the known
// height to be the cylinder's: the page says why, the file keeps every byte.
TEST_F(CalibrationOnTheLineTest, AFailedOrImplausibleReadingStoresNothingAndSaysWhy) {
  const struct {
    QStringList linesim;
    QString fault;
  } cases[] = {
      {{"--height", "249.5", "--fail", "controller", "0x11"},
       "Привязка не выполнена:\nнет ответа контроллера на команду\n0x11 (положение пресса).\n"
       "Файл Calibrate.txt не изменен."},
      // 229 mm is read as raw 56802 - 756.
      {{"--height", "229.0"},
       "Привязка не выполнена:\nИзмерено H= " +
           QString::asprintf("%.2f", static_cast<double>(CalibrationHeight(56802 - 756))) +
           " мм при цилиндре\n250.00 мм: разница больше 20 мм,\nэто не замер цилиндра.\n"
           "Файл Calibrate.txt не изменен."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.linesim.join(' ').toStdString());
    SimulatedLine line(c.linesim);
    Connect(line);
    const QByteArray before = Calibrate();
    pages.clear();
    Drive({{'1', kModeKeys}, {'2', kMeasureKeys}, {'0', kReturnKey}}, kBlue);
    CalibrationModePage();
    ASSERT_EQ(pages.size(), 3u);
    Keep(pages[2], "calibration-refused");
    EXPECT_EQ(Fault(pages[2], c.fault), pages[2].copy(kOutcomeArea));
    EXPECT_EQ(Calibrate(), before);
    EXPECT_EQ(Work(Screen()), Work(covered));
    ResetControllerLink();
  }
}

TEST_F(CalibrationOnTheLineTest, ReferenceWithAMalformedFileNamesItAndLeavesItAlone) {
  SimulatedLine line({"--height", "249.5"});
  Connect(line);
  const QByteArray bad = "250\r\n";
  QFile f(home.file("Calibrate.txt"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bad);
  f.close();
  Drive({{'1', kModeKeys}, {'2', kMeasureKeys}, {'0', kReturnKey}}, kBlue);
  CalibrationModePage();
  ASSERT_EQ(pages.size(), 3u);
  // The message in red where the instructions stood, the file untouched.
  EXPECT_GT(CountColour(pages[2], QRect(410, 362, 490, 40), kRed), 100);
  EXPECT_EQ(Calibrate(), bad);
  Keep(pages[2], "calibration-fault");
  EXPECT_EQ(Work(Screen()), Work(covered));
}

TEST_F(CalibrationOnTheLineTest, CheckWithoutTheFileNamesItInsteadOfAHeight) {
  SimulatedLine line({"--height", "249.5"});
  Connect(line);
  ASSERT_TRUE(QFile::remove(home.file("Calibrate.txt")));
  Drive({{'5', kModeKeys}, {'2', kMeasureKeys}, {'0', kReturnKey}}, kBlue);
  CalibrationModePage();
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_GT(CountColour(pages[2], QRect(410, 362, 490, 40), kRed), 100);
  EXPECT_EQ(CountColour(pages[2], kOutcomeArea, kBlue), 0);
  EXPECT_FALSE(QFile::exists(home.file("Calibrate.txt")));
}

}  // namespace
