// The viewing entry of the measurement page, driven key by key through the
// message pump: the last measurement of the shift first, the moving keys,
// and a shift without measurements.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include "config/settings.h"
#include "database/database.h"
#include "measurement/sequence.h"
#include "pages/pages.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "screen/screen.h"
#include "springs/springtypes.h"
#include "keydriver.h"
#include "programhome.h"
#include "testsupport.h"

namespace {

const QRect kResultArea(437, 121, 567, 482);

int Count(const QImage& img, const QRect& r, QRgb colour) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == colour;
  return n;
}

class ViewMeasurementsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::UseVirtualClock();
    ASSERT_TRUE(testsupport::OpenProgramHome(home.path() + "/inst"));
    // The calling page: the main menu's grey with its keys 2 and 12 lit.
    FillScreen(kSilver);
    DisableAllKeys();
    EnableKey(2);
    EnableKey(12);
    covered = Screen().copy();
  }
  void TearDown() override { testsupport::ResetProgramModules(); }
  // Types each key once the page waits for one, and keeps the page as it
  // stood before each key.
  void TypeKeys(const QString& keys) {
    driver.beforeStep = [this] { pages.push_back(Screen().copy()); };
    driver.Type(keys, inLoop);
    driver.Start();
  }
  // The page waits in its key loop once its keys are lit.
  static bool inLoop() { return KeyEnabled(13); }

  MeasurementRecord Stored(int number) {
    MeasurementRecord r = BuildSimulatedRecord(MeasurementIdentifier(number), 1 + number % 3);
    EXPECT_TRUE(AppendShiftMeasurement(r));
    return r;
  }
  QImage ResultOf(const MeasurementRecord& r) {
    const QImage keep = Screen().copy();
    ShowResultPage(r);
    const QImage area = Screen().copy(kResultArea);
    Screen() = keep;
    return area;
  }

  testsupport::ScratchHome home;
  QImage covered;
  testsupport::KeyDriver driver;
  std::vector<QImage> pages;
};

TEST_F(ViewMeasurementsTest, OpensOnTheLastAndMovesThroughTheShift) {
  const MeasurementRecord first = Stored(1), second = Stored(2);
  const QImage firstArea = ResultOf(first), secondArea = ResultOf(second);
  ASSERT_NE(firstArea, secondArea);
  TypeKeys(
      "4"
      "3"
      "3"
      "1"
      "4"
      "-");
  ViewMeasurementsPage();
  ASSERT_EQ(pages.size(), 6u);
  EXPECT_EQ(pages[0].copy(kResultArea), secondArea);
  EXPECT_EQ(pages[1].copy(kResultArea), secondArea);  // "==>" at the last does nothing
  EXPECT_EQ(pages[2].copy(kResultArea), firstArea);
  EXPECT_EQ(pages[3].copy(kResultArea), firstArea);  // "<==" at the first does nothing
  EXPECT_EQ(pages[4].copy(kResultArea), firstArea);  // key 1 is not lit here
  EXPECT_EQ(pages[5].copy(kResultArea), secondArea);
  EXPECT_EQ(ShiftMeasurementCount(), 2);  // nothing measured
  // Key 13: the calling page and its keys back.
  EXPECT_EQ(Screen(), covered);
  EXPECT_TRUE(KeyEnabled(2));
  EXPECT_FALSE(KeyEnabled(13));
  EXPECT_EQ(LastKey(), 0);
}

TEST_F(ViewMeasurementsTest, AShiftWithoutMeasurementsShowsNone) {
  TypeKeys(
      "3"
      "4"
      "5"
      "-");
  ViewMeasurementsPage();
  ASSERT_EQ(pages.size(), 4u);
  const QImage& page = pages[0];
  testsupport::KeepPicture(page, "view-empty.png");
  // The empty result area with its line, no result page.
  int black = 0, green = 0;
  for (int y = kResultArea.top(); y <= kResultArea.bottom(); ++y)
    for (int x = kResultArea.left(); x <= kResultArea.right(); ++x) {
      const QRgb c = page.pixel(x, y) & 0xFFFFFF;
      black += c == kBlack;
      green += c == kGreen;
    }
  EXPECT_GT(black, 300);
  EXPECT_EQ(green, 0);
  EXPECT_EQ(page.pixel(500, 130) & 0xFFFFFF, kWhite);  // no blue title bar
  // The moving keys and the number entry do nothing (below the close mark
  // in the corner, which the key poll draws as it goes).
  const QRect below(0, 16, 1024, 752);
  EXPECT_EQ(pages[1].copy(below), page.copy(below));
  EXPECT_EQ(pages[2].copy(below), page.copy(below));
  EXPECT_EQ(pages[3].copy(below), page.copy(below));
  EXPECT_GE(Database.ShiftState.CurrentIndex, 0);
  EXPECT_EQ(Screen(), covered);
}

// The result page of the shift's first measurement counts the record just
// stored: "Всего замеров за смену:1", as the shift counter writes it.
TEST_F(ViewMeasurementsTest, TheFirstMeasurementOfTheShiftCountsOne) {
  TypeKeys("-");
  MeasurementPage();
  ASSERT_EQ(ShiftMeasurementCount(), 1);
  ASSERT_EQ(pages.size(), 1u);
  const QRect count(8, 555, 412, 49);
  Screen() = pages[0].copy();
  ShowShiftCounter();
  EXPECT_EQ(pages[0].copy(count), Screen().copy(count));
  EXPECT_GT(Count(pages[0], count, kGreen), 300);
}

}  // namespace
