// The process page drawn on an installation's pictures: the background, the
// stage pictures as the measurement reports its stages, the box
// "ИДЕТ ЗАМЕР", the markers in the canvas's corner, and the box that says a
// measurement was not made.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include "config/settings.h"
#include "measurement/sequence.h"
#include "pages/pages.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "screen/screen.h"
#include "testsupport.h"

namespace {

class ProcessPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::UseVirtualClock();
    ResetSettingsModule();
    ResetScreenModule();
    ResetMeasurementModule();
    ASSERT_TRUE(testsupport::MakeInstallation(home.path() + "/inst"));
    plat::SetHome(home.path() + "/inst");
  }
  void TearDown() override {
    ResetMeasurementModule();
    ResetScreenModule();
    ResetSettingsModule();
  }
  // Whether the canvas shows the picture at (x, y), pixel for pixel.
  static bool ShowsPicture(const QString& name, int x, int y) {
    const QImage pic = QImage(plat::MapPath("BMP\\" + name)).convertToFormat(QImage::Format_RGB32);
    if (pic.isNull()) return false;
    return Screen().copy(x, y, pic.width(), pic.height()) == pic;
  }
  static int Count(const QRect& r, QRgb colour) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x)
        if ((Screen().pixel(x, y) & 0xFFFFFF) == colour) ++n;
    return n;
  }
  static void Keep(const QString& name) { testsupport::KeepPicture(Screen(), name); }
  testsupport::ScratchHome home;
};

TEST_F(ProcessPageTest, BackgroundStagesBoxAndMarkers) {
  DrawProcessPage();
  EXPECT_EQ(Screen().pixel(3, 300) & 0xFFFFFF, kGrey);
  EXPECT_TRUE(ShowsPicture("Kalvor.bmp", 168, 150));
  for (int n = 1; n <= 4; ++n)
    EXPECT_TRUE(ShowsPicture(QString("PROC%1_1.bmp").arg(n), 20, 140 + 72 * (n - 1))) << n;
  for (int key = 1; key <= 13; ++key) EXPECT_FALSE(KeyEnabled(key)) << key;
  Keep("process-start.png");

  InstallMeasurementObserver();
  auto& o = Measurement.observer;
  o.measuringBox();
  EXPECT_GT(Count(QRect(160, 472, 120, 50), kRed), 300);  // "ИДЕТ"
  EXPECT_GT(Count(QRect(140, 530, 160, 50), kRed), 300);  // "ЗАМЕР"
  o.stage(1, StageState::Running);
  EXPECT_TRUE(ShowsPicture("PROC1_2.bmp", 20, 140));
  o.stage(1, StageState::Done);
  o.stage(2, StageState::Running);
  EXPECT_TRUE(ShowsPicture("PROC1_3.bmp", 20, 140));
  EXPECT_TRUE(ShowsPicture("PROC2_2.bmp", 20, 212));
  EXPECT_TRUE(ShowsPicture("PROC3_1.bmp", 20, 284));
  EXPECT_TRUE(ShowsPicture("PROC4_1.bmp", 20, 356));
  Keep("process-running.png");

  // The markers: two by two pixels at the very corner.
  const QRgb before = Screen().pixel(7, 3) & 0xFFFFFF;
  o.marker(MeasurementMarker::TinyDeflection);
  o.marker(MeasurementMarker::SoftSpring);
  o.marker(MeasurementMarker::NonPerpendicular);
  for (int y : {2, 3}) {
    EXPECT_EQ(Screen().pixel(0, y) & 0xFFFFFF, kDarkRed) << y;
    EXPECT_EQ(Screen().pixel(1, y) & 0xFFFFFF, kDarkRed) << y;
    EXPECT_EQ(Screen().pixel(2, y) & 0xFFFFFF, kGreen) << y;
    EXPECT_EQ(Screen().pixel(3, y) & 0xFFFFFF, kGreen) << y;
    EXPECT_EQ(Screen().pixel(4, y) & 0xFFFFFF, kBlue) << y;
    EXPECT_EQ(Screen().pixel(5, y) & 0xFFFFFF, kBlue) << y;
  }
  EXPECT_EQ(Screen().pixel(6, 3) & 0xFFFFFF, Screen().pixel(6, 5) & 0xFFFFFF);
  EXPECT_EQ(Screen().pixel(7, 3) & 0xFFFFFF, before);
}

TEST_F(ProcessPageTest, TheOffsetMovesThePageButNotTheMarkers) {
  ScreenState.offsetX = 128;
  ResetScreenModule(1280, 768);
  ScreenState.offsetX = 128;
  DrawProcessPage();
  EXPECT_TRUE(ShowsPicture("PROC1_1.bmp", 148, 140));
  InstallMeasurementObserver();
  Measurement.observer.stage(4, StageState::Done);
  EXPECT_TRUE(ShowsPicture("PROC4_3.bmp", 148, 356));
  Measurement.observer.marker(MeasurementMarker::SoftSpring);
  EXPECT_EQ(Screen().pixel(2, 2) & 0xFFFFFF, kGreen);
}

TEST_F(ProcessPageTest, AMeasurementNotMadeIsSaidInTheBox) {
  DrawProcessPage();
  DrawMeasuringBox();
  ShowMeasurementStopped("Не удалось записать файл Report\\day.bin");
  EXPECT_EQ(Count(QRect(140, 530, 160, 50), kRed), 0);  // "ЗАМЕР" is gone
  EXPECT_GT(Count(QRect(16, 470, 380, 36), kRed), 300);
  EXPECT_GT(Count(QRect(16, 510, 390, 16), kBlack), 50);
  Keep("process-stopped.png");
}

}  // namespace
