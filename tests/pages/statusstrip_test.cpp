#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include "config/settings.h"
#include "database/database.h"
#include "pages/pages.h"
#include "platform/clock.h"
#include "platform/cp1251.h"
#include "platform/pump.h"
#include "screen/screen.h"
#include "springs/springtypes.h"
#include "keydriver.h"
#include "testsupport.h"

namespace {

QRgb Rgb(const QImage& img, int x, int y) {
  return img.pixel(x, y) & 0xFFFFFF;
}

int Count(const QImage& img, const QRect& r, QRgb colour) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == colour;
  return n;
}

// The status strip and the entry boxes on a complete installation (its
// pictures, its bogie file with bogie types "18-100" and "18-578").
class StripTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testsupport::MakeInstallation(home.path()));
    plat::UseVirtualClock();
    ResetSettingsModule();
    ResetSpringTypesModule();
    ResetDatabaseModule();
    ResetScreenModule();
    Settings.Debug.KeyPressDelay = 0;
    Settings.Params.ChassieIniFilename = "Chassie.ini";
    LoadSpringTypes();
    ASSERT_TRUE(LoadShiftState());
    ASSERT_TRUE(LoadModeState());
    FillScreen(kGrey);
  }
  void TearDown() override {
    plat::SetPumpHook({});
    ResetScreenModule();
    ResetDatabaseModule();
    ResetSpringTypesModule();
    ResetSettingsModule();
  }
  QImage Picture(const QString& name) const {
    return QImage(home.file("BMP/" + name)).convertToFormat(QImage::Format_RGB32);
  }
  bool Shows(const QString& picture, int x, int y) const {
    const QImage pic = Picture(picture);
    return !pic.isNull() &&
           Screen().copy(QRect(QPoint(x, y), pic.size())).convertToFormat(QImage::Format_RGB32) ==
               pic;
  }
  // A text drawn alone on a white field, as the strip draws it.
  static QImage Text(const QRect& r, const QString& font, QRgb colour, const QString& text) {
    const QImage saved = Screen().copy();
    FillBox(r.left(), r.top(), r.right() + 1, r.bottom() + 1, kWhite);
    SetFontBold(false);
    SetTextStyle(font, 12, colour);
    PutText(r.left(), r.top(), text);
    const QImage part = Screen().copy(r);
    Screen() = saved;
    return part;
  }
  // Types the keys one per turn of the message pump once the page waits.
  void TypeWhenShown(const QString& keys) {
    driver.Type(keys);
    driver.Start();
  }

  testsupport::ScratchHome home;
  testsupport::KeyDriver driver;
};

TEST_F(StripTest, PicturesFollowTheModeAndThePrinterSetting) {
  StatusStrip();
  EXPECT_TRUE(Shows("nomimim.bmp", 860, 576));
  EXPECT_TRUE(Shows("printik.bmp", 860, 532));
  EXPECT_TRUE(Shows("spring.bmp", 975, 532));                       // no count on an empty shift
  EXPECT_GT(Count(Screen(), QRect(900, 576, 70, 30), kBlue), 100);  // "Kalvor-М"
  // Neither the wagon box nor the bogie box without their settings.
  EXPECT_EQ(Rgb(Screen(), 485, 532), kGrey);
  EXPECT_EQ(Rgb(Screen(), 600, 560), kGrey);
  EXPECT_EQ(Rgb(Screen(), 906, 532), kGrey);

  // The strip reads the mode from its file, not from memory.
  Database.ModeState.FastMode = true;
  ASSERT_TRUE(SaveModeState());
  Database.ModeState.FastMode = false;
  Settings.Global.Print_in_file = true;
  StatusStrip();
  EXPECT_TRUE(Database.ModeState.FastMode);
  EXPECT_TRUE(Shows("mimim.bmp", 860, 576));
  EXPECT_TRUE(Shows("printikf.bmp", 860, 532));

  Database.ModeState.FastMode = false;
  Database.ModeState.AcceleratedMode = true;
  ASSERT_TRUE(SaveModeState());
  StatusStrip();
  EXPECT_TRUE(Shows("fast.bmp", 860, 576));
}

TEST_F(StripTest, ShiftCountIsDrawnOverTheSpringAndKept) {
  MeasurementRecord r;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(AppendShiftMeasurement(r));
  StatusStrip();
  EXPECT_EQ(Database.ModeState.ShiftCount, 3);
  EXPECT_FALSE(Shows("spring.bmp", 975, 532));
  EXPECT_GT(Count(Screen(), QRect(985, 546, 20, 18), kBlue), 10);
  EXPECT_EQ(Count(Screen(), QRect(975, 532, 40, 12), kBlue), 0);
}

TEST_F(StripTest, WagonBoxShowsTheNumbersOfTheShiftFile) {
  Settings.Global.VNenable = true;
  // Numbers written by another run: the strip shows what the file holds.
  TShiftState saved = Database.ShiftState;
  Database.ShiftState.WagonFrom = "12345678";
  Database.ShiftState.WagonTo = "НЕ ЗАДАН";
  ASSERT_TRUE(SaveShiftState());
  Database.ShiftState = saved;
  StatusStrip();
  EXPECT_EQ(Database.ShiftState.WagonFrom, "12345678");

  const QImage& img = Screen();
  EXPECT_EQ(Rgb(img, 485, 532), kBlack);
  EXPECT_EQ(Rgb(img, 849, 612), kBlack);
  EXPECT_EQ(Rgb(img, 486, 533), kWhite);
  EXPECT_EQ(Rgb(img, 848, 611), kWhite);
  EXPECT_EQ(Rgb(img, 850, 613), kGrey);
  EXPECT_TRUE(Shows("miniVNE.bmp", 495, 542));
  const QRect from(590, 552, 240, 18), to(590, 588, 240, 18);
  EXPECT_TRUE(img.copy(from) == Text(from, "Arial", kBlack, "12345678"));
  EXPECT_TRUE(img.copy(to) == Text(to, "Arial", kBlack, "НЕ ЗАДАН"));
  const QRect head(590, 534, 250, 18);
  EXPECT_TRUE(img.copy(head) ==
              Text(head, "Times New Roman", kBlue, "Пружины снимаются с вагона:"));
}

TEST_F(StripTest, BogieBoxNamesTheBogieTypeInUse) {
  Settings.Depo.ProgressChassieEnabled = true;
  StatusStrip();
  EXPECT_EQ(Rgb(Screen(), 906, 532), kBlack);
  EXPECT_EQ(Rgb(Screen(), 969, 577), kBlack);
  EXPECT_EQ(Rgb(Screen(), 907, 533), kSilver);
  EXPECT_GT(Count(Screen(), QRect(912, 536, 56, 16), kBlue), 30);  // "Тележка"
  const QImage first = Screen().copy(QRect(912, 554, 56, 20));
  EXPECT_GT(Count(first, first.rect(), kBlue), 30);

  Database.ModeState.BogieType = 2;
  ASSERT_TRUE(SaveModeState());
  StatusStrip();
  EXPECT_FALSE(Screen().copy(QRect(912, 554, 56, 20)) == first);  // "18-578", not "18-100"
}

TEST_F(StripTest, MeasurementNumberBoxTakesAtMostEightDigits) {
  DisableAllKeys();
  EnableKey(5);
  const QImage covered = Screen().copy();
  const struct {
    QString keys;
    int result;
  } cases[] = {{"120-", 120}, {"-", -1}, {"123456789-", 12345678}, {"1*/2-", 12}};
  for (const auto& c : cases) {
    TypeWhenShown(c.keys);
    EXPECT_EQ(MeasurementNumberPage(), c.result) << c.keys.toStdString();
    EXPECT_TRUE(driver.Done());
    EXPECT_TRUE(Screen() == covered);
    EXPECT_TRUE(KeyEnabled(5));
    EXPECT_FALSE(KeyEnabled(13));
    EXPECT_EQ(LastKey(), 0);
  }
}

}  // namespace
