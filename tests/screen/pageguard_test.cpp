#include "screen/pageguard.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <stdexcept>

#include "config/settings.h"
#include "screen/screen.h"
#include "testsupport.h"

namespace {

// A calling page: silver with a panel box, keys 2 and 12 live.
class PageGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsModule();
    ResetScreenModule();
    QDir(home.path()).mkpath("Temp");
    FillScreen(kSilver);
    DrawPanelBox(100, 150, 400, 300);
    DisableAllKeys();
    EnableKey(2);
    EnableKey(12);
    page = Screen().copy();
    mask = ScreenState.keyMask;
  }
  void TearDown() override {
    ResetScreenModule();
    ResetSettingsModule();
  }
  // What a covering page does to the canvas and the panel.
  static void Cover() {
    FillBox(0, 0, 1024, 768, kBlue);
    DisableAllKeys();
    EnableKey(7);
  }
  testsupport::ScratchHome home;
  QImage page;
  std::array<bool, kKeyCount + 1> mask{};
};

TEST_F(PageGuardTest, SavesOnEntryAndRestoresBothOnReturn) {
  {
    const PageGuard guard("mpass");
    EXPECT_TRUE(QFile::exists(home.file("Temp/mpass.bmp")));
    EXPECT_TRUE(QFile::exists(home.file("Temp/mpass.msk")));
    Cover();
    EXPECT_NE(Screen(), page);
    EXPECT_FALSE(KeyEnabled(2));
  }
  EXPECT_EQ(Screen(), page);
  EXPECT_EQ(ScreenState.keyMask, mask);
}

TEST_F(PageGuardTest, RestoresWhenAnExceptionLeavesThePage) {
  try {
    const PageGuard guard("thrown");
    Cover();
    throw std::runtime_error("the page gave up");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(Screen(), page);
  EXPECT_EQ(ScreenState.keyMask, mask);
  EXPECT_TRUE(KeyEnabled(12));
  EXPECT_FALSE(KeyEnabled(7));
}

TEST_F(PageGuardTest, MaskUnderANameOfItsOwn) {
  {
    const PageGuard guard("preerror", "error");
    Cover();
  }
  EXPECT_TRUE(QFile::exists(home.file("Temp/preerror.bmp")));
  EXPECT_TRUE(QFile::exists(home.file("Temp/error.msk")));
  EXPECT_FALSE(QFile::exists(home.file("Temp/error.bmp")));
  EXPECT_FALSE(QFile::exists(home.file("Temp/preerror.msk")));
  EXPECT_EQ(Screen(), page);
  EXPECT_EQ(ScreenState.keyMask, mask);
}

TEST_F(PageGuardTest, NestedPagesComeBackInTurn) {
  QImage middle;
  std::array<bool, kKeyCount + 1> middleMask{};
  {
    const PageGuard outer("outer");
    ShadeWorkArea();
    DisableAllKeys();
    EnableKey(5);
    middle = Screen().copy();
    middleMask = ScreenState.keyMask;
    {
      const PageGuard inner("inner");
      Cover();
    }
    EXPECT_EQ(Screen(), middle);
    EXPECT_EQ(ScreenState.keyMask, middleMask);
  }
  EXPECT_EQ(Screen(), page);
  EXPECT_EQ(ScreenState.keyMask, mask);
}

}  // namespace
