#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include "config/settings.h"
#include "pages/pages.h"
#include "platform/clock.h"
#include "platform/cp1251.h"
#include "platform/pump.h"
#include "screen/screen.h"
#include "springs/springtypes.h"
#include "keydriver.h"
#include "testsupport.h"

namespace {

// Bogie type 1: three spring types, the second and third on one key.
const char* kFile =
    "[Global]\r\nMaxChNum=2\r\n"
    "[Chassie1]\r\nName=А\r\nMaxSprings=3\r\nSpring1=1\r\nSpring2=2\r\nSpring3=3\r\n"
    "[Chassie2]\r\nName=Б\r\nMaxSprings=1\r\nSpring1=4\r\n"
    "[Spring1]\r\nAltName=ПН-100\r\nKeyMini=1\r\n"
    "[Spring2]\r\nAltName=ПВ-100\r\nKeyMini=3\r\n"
    "[Spring3]\r\nAltName=ПД-100\r\nKeyMini=3\r\n"
    "[Spring4]\r\nAltName=вне панели\r\nKeyMini=20\r\n";

class SpringChoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::UseVirtualClock();
    ResetSettingsModule();
    ResetSpringTypesModule();
    ResetScreenModule();
    Settings.Debug.KeyPressDelay = 0;
    home.write("chassie.ini", plat::ToCp1251(kFile));
    Settings.Params.ChassieIniFilename = "chassie.ini";
    LoadSpringTypes();
    // The calling page: a grey page whose key 5 is live.
    FillScreen(kGrey);
    DisableAllKeys();
    EnableKey(5);
    covered = Screen().copy();
  }
  void TearDown() override {
    plat::SetPumpHook({});
    ResetScreenModule();
    ResetSpringTypesModule();
    ResetSettingsModule();
  }
  // Types the keys one per turn of the message pump once the page waits,
  // keeping a picture of the page as it first stood.
  void TypeWhenShown(const QString& keys) {
    driver.everyTurn = [this] {
      if (shown.isNull()) shown = Screen().copy();
    };
    driver.Type(keys);
    driver.Start();
  }
  void ExpectCallerPageBack() {
    EXPECT_TRUE(Screen() == covered);
    EXPECT_TRUE(KeyEnabled(5));
    EXPECT_FALSE(KeyEnabled(1));
    EXPECT_FALSE(KeyEnabled(3));
  }

  testsupport::ScratchHome home;
  QImage covered;
  QImage shown;
  testsupport::KeyDriver driver;
};

TEST_F(SpringChoiceTest, DrawsThePageAndTakesTheLowerTypeOfAKey) {
  TypeWhenShown("3");
  EXPECT_EQ(ChooseSpringType(1), 2);
  ExpectCallerPageBack();

  ASSERT_FALSE(shown.isNull());
  testsupport::KeepPicture(shown, "mpass.png");
  // The dimming mesh over the work area, the white panel, the title and the
  // captions above keys 1 and 3.
  EXPECT_EQ(shown.pixel(20, 111) & 0xFFFFFF, kSilver);
  EXPECT_EQ(shown.pixel(20, 112) & 0xFFFFFF, kGrey);
  EXPECT_EQ(shown.pixel(20, 450) & 0xFFFFFF, kWhite);
  auto inked = [&](int x1, int y1, int x2, int y2, QRgb colour) {
    int n = 0;
    for (int y = y1; y < y2; ++y)
      for (int x = x1; x < x2; ++x) n += (shown.pixel(x, y) & 0xFFFFFF) == colour;
    return n;
  };
  EXPECT_GT(inked(130, 485, 800, 560, kBlue), 200);
  EXPECT_GT(inked(130, 485, 800, 560, kSilver), 200);
  EXPECT_GT(inked(74 - 36, 630, 74 + 36, 675, kBlack), 20);
  EXPECT_GT(inked(222 - 36, 630, 222 + 36, 675, kBlack), 20);
  EXPECT_EQ(inked(148 - 30, 630, 148 + 30, 675, kBlack), 0);  // key 2 belongs to no type
}

TEST_F(SpringChoiceTest, CallersKeyEndsThePageWithNoType) {
  TypeWhenShown("5");
  EXPECT_EQ(ChooseSpringType(1), 0);
  ExpectCallerPageBack();
}

TEST_F(SpringChoiceTest, CallerNeedingATypeGetsOnlyTheTypesKeys) {
  // Key 5 of the calling page and key 2 of no type are refused; key 1 picks.
  TypeWhenShown("521");
  EXPECT_EQ(ChooseSpringType(1, true), 1);
  ExpectCallerPageBack();
  EXPECT_TRUE(driver.Done());
}

TEST_F(SpringChoiceTest, NoPickableTypeReturnsAtOnceWhenATypeIsNeeded) {
  TypeWhenShown("");
  EXPECT_EQ(ChooseSpringType(2, true), 0);
  EXPECT_TRUE(shown.isNull());  // the page never waited
  EXPECT_EQ(ChooseSpringType(17, true), 0);
  EXPECT_EQ(ChooseSpringType(0), 0);
  ExpectCallerPageBack();
}

}  // namespace
