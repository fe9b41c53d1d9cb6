// The settings menu with its pages, the bogie choice, the archive choice and
// the password box, driven key by key through the message pump on a complete
// installation (bogie types "18-100" and "18-578").
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include "config/settings.h"
#include "database/database.h"
#include "pages/pages.h"
#include "platform/clock.h"
#include "platform/pump.h"
#include "platform/textfile.h"
#include "screen/screen.h"
#include "springs/springtypes.h"
#include "keydriver.h"
#include "testsupport.h"

namespace {

int Count(const QImage& img, const QRect& r, QRgb colour) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == colour;
  return n;
}
QRgb Rgb(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }

// The caption area above key k, and its middle, which the wide captions of
// the neighbours leave free.
QRect CaptionArea(int key) { return QRect(74 * key - 36, 636, 72, 36); }
QRect CaptionMiddle(int key) { return QRect(74 * key - 20, 636, 40, 36); }
// Below the close mark that the key poll draws, over itself, in the top
// right corner.
const QRect kBelowMark(0, 56, 1024, 712);
// The text line of the prompt box.
const QRect kPromptText(40, 522, 780, 70);

struct Shown {
  QImage page;
  bool vnEnable;
};

class MenusTest : public ::testing::Test {
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
    // The calling page: the main menu's silver with its keys 2 and 12 lit.
    FillScreen(kSilver);
    DisableAllKeys();
    EnableKey(2);
    EnableKey(12);
  }
  void TearDown() override {
    plat::SetPumpHook({});
    ResetScreenModule();
    ResetDatabaseModule();
    ResetSpringTypesModule();
    ResetSettingsModule();
  }
  void Cover() {
    StatusStrip();
    covered = Screen().copy();
  }
  // Types each key once the page waits for one, and keeps the page as it
  // stood before each key.
  void TypeKeys(const QString& keys) {
    shown.clear();
    typedAt = -1;
    // Each key waits for the next turn of the page's key poll (the clock,
    // virtual, has moved on in its wait), so that the page has acted on the
    // key before.
    driver.beforeStep = [this] {
      shown.push_back({Screen().copy(), Settings.Global.VNenable});
      typedAt = plat::TickCount();
    };
    driver.Type(keys, [this] { return plat::TickCount() != typedAt; });
    driver.Start();
  }
  QStringList ModeLines() const {
    return plat::ReadTextLines(home.file("Config/tekstat.lm4")).value_or(QStringList());
  }
  bool Shows(const QImage& img, const QString& picture, int x, int y) const {
    const QImage pic = QImage(home.file("BMP/" + picture)).convertToFormat(QImage::Format_RGB32);
    return !pic.isNull() &&
           img.copy(QRect(QPoint(x, y), pic.size())).convertToFormat(QImage::Format_RGB32) == pic;
  }
  static QImage WithoutStrip(const QImage& img) {
    QImage out = img.copy(kBelowMark);
    for (int y = 576 - kBelowMark.top(); y < 616 - kBelowMark.top(); ++y)
      for (int x = 896; x < 1024; ++x) out.setPixel(x, y, 0);
    return out;
  }
  static void Keep(const QImage& img, const QString& name) { testsupport::KeepPicture(img, name); }
  // The page is back as it was with its keys. The strip is drawn again over
  // itself, which thickens the edges of its lettering: left out.
  void ExpectCoveredBack() {
    EXPECT_EQ(WithoutStrip(Screen()), WithoutStrip(covered));
    EXPECT_TRUE(KeyEnabled(2));
    EXPECT_FALSE(KeyEnabled(11));
    EXPECT_EQ(LastKey(), 0);
  }

  testsupport::ScratchHome home;
  QImage covered;
  testsupport::KeyDriver driver;
  qint64 typedAt = -1;
  std::vector<Shown> shown;
};

TEST_F(MenusTest, SettingsMenuOffersOnlyItsKeysAndHidesTheWagonBox) {
  Settings.Global.VNenable = true;
  Cover();
  ASSERT_EQ(Rgb(covered, 845, 560), kWhite);  // the wagon box of the main page
  TypeKeys("57*");
  SettingsMenu();
  ASSERT_EQ(shown.size(), 3u);
  const QImage& menu = shown[0].page;
  Keep(menu, "settings-menu.png");
  // The prompt box with its text.
  EXPECT_EQ(Rgb(menu, 28, 516), kWhite);
  EXPECT_EQ(Rgb(menu, 27, 515), kBlack);
  EXPECT_GT(Count(menu, kPromptText, kBlack), 1500);
  for (int key : {1, 3, 9, 11}) EXPECT_GT(Count(menu, CaptionArea(key), kBlack), 20) << key;
  // Without RTedit and CalEnable keys 5 and 7 have no caption and do nothing.
  for (int key : {5, 7}) EXPECT_EQ(Count(menu, CaptionArea(key), kBlack), 0) << key;
  EXPECT_EQ(shown[1].page.copy(kBelowMark), menu.copy(kBelowMark));
  EXPECT_EQ(shown[2].page.copy(kBelowMark), menu.copy(kBelowMark));
  // The strip drawn by the menu left out the wagon box.
  EXPECT_FALSE(shown[0].vnEnable);
  // (the main page's box shows through the dimming on every other pixel).
  EXPECT_LT(Count(menu, QRect(843, 540, 6, 60), kWhite), 6 * 60 / 2);
  // Closed: the main page, its keys and the wagon box are back.
  EXPECT_TRUE(Settings.Global.VNenable);
  ExpectCoveredBack();
}

TEST_F(MenusTest, SubPagesOpenFromTheMenuAndTheirClosingKeyClosesItToo) {
  Settings.Global.RTedit = true;
  Settings.Debug.CalEnable = true;
  Cover();
  // Key 7 opens the calibration mode page, whose key 13 comes back to the
  // menu; key 5 the limits notice, whose key 11 closes the menu as well.
  TypeKeys("7-5*");
  SettingsMenu();
  ASSERT_EQ(shown.size(), 4u);
  const QImage& menu = shown[0].page;
  for (int key : {5, 7}) EXPECT_GT(Count(menu, CaptionArea(key), kBlack), 20) << key;
  const QImage& calibration = shown[1].page;
  for (int key : {1, 5, 13}) EXPECT_GT(Count(calibration, CaptionArea(key), kBlack), 20) << key;
  EXPECT_EQ(Count(calibration, CaptionArea(9), kBlack), 0);
  // (The calibration page redraws the status strip as it leaves.)
  const QRect besideStrip(0, 16, 850, 752);
  EXPECT_EQ(shown[2].page.copy(besideStrip), menu.copy(besideStrip));
  const QImage limits = shown[3].page;
  Keep(limits, "limits.png");
  EXPECT_EQ(Rgb(limits, 30, 122), kWhite);                          // the notice box
  EXPECT_GT(Count(limits, QRect(250, 140, 400, 60), kGrey), 1000);  // "Функция изменения"
  EXPECT_GT(Count(limits, CaptionArea(11), kBlack), 20);            // "Возврат"
  for (int key : {1, 3, 5, 9}) EXPECT_EQ(Count(limits, CaptionArea(key), kBlack), 0) << key;
  ExpectCoveredBack();

  // Keys 1 and 3: the date and time notice, the same way.
  for (const QString& keys : {QString("1*"), QString("3*")}) {
    TypeKeys(keys);
    SettingsMenu();
    ASSERT_EQ(shown.size(), 2u);
    const QImage& notice = shown[1].page;
    Keep(notice, "datetime.png");
    EXPECT_GT(Count(notice, QRect(250, 140, 400, 60), kGrey), 1000);
    EXPECT_GT(Count(notice, QRect(192, 410, 500, 60), kGrey), 1000);  // "операционной системы !"
    EXPECT_NE(notice.copy(QRect(60, 214, 600, 60)), limits.copy(QRect(60, 214, 600, 60)));
    ExpectCoveredBack();
  }
}

TEST_F(MenusTest, MeasurementTypeIsSavedAtOnceAndShownByTheStrip) {
  Cover();
  // Without ukz_enable key 7 does nothing.
  TypeKeys("947*");
  SettingsMenu();
  ASSERT_EQ(shown.size(), 4u);
  const QImage& page = shown[1].page;
  Keep(page, "measurement-type.png");
  EXPECT_GT(Count(page, kPromptText, kBlack), 1500);
  for (int key : {1, 4, 11}) EXPECT_GT(Count(page, CaptionArea(key), kBlack), 20) << key;
  EXPECT_EQ(Count(page, CaptionArea(7), kBlack), 0);
  EXPECT_TRUE(Shows(page, "nomimim.bmp", 860, 576));
  EXPECT_TRUE(Shows(shown[2].page, "mimim.bmp", 860, 576));  // key 4 at once
  EXPECT_EQ(shown[3].page.copy(kBelowMark), shown[2].page.copy(kBelowMark));
  ASSERT_EQ(ModeLines().size(), 5);
  EXPECT_EQ(ModeLines()[0], "-1");
  EXPECT_EQ(ModeLines()[4], "0");
  // Back on the main page, the strip reads the fast mode from the file.
  EXPECT_TRUE(Shows(Screen(), "mimim.bmp", 860, 576));
  EXPECT_EQ(LastKey(), 0);

  // With ukz_enable: the accelerated mode, then the full one.
  Settings.Global.ukz_enable = true;
  TypeKeys("971*");
  SettingsMenu();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_GT(Count(shown[1].page, CaptionArea(7), kBlack), 20);
  EXPECT_TRUE(Shows(shown[2].page, "fast.bmp", 860, 576));
  EXPECT_EQ(ModeLines()[0], "0");
  EXPECT_EQ(ModeLines()[4], "0");
  EXPECT_FALSE(Database.ModeState.FastMode);
  EXPECT_FALSE(Database.ModeState.AcceleratedMode);
  EXPECT_TRUE(Shows(Screen(), "nomimim.bmp", 860, 576));
}

TEST_F(MenusTest, BogieChoiceTakesOnlyTheKeysOfTheBogieTypes) {
  Settings.Depo.ProgressChassieEnabled = true;
  Settings.Global.VNenable = true;
  // A third bogie type, as a bogie file with three would give.
  SpringTypeTable().MaxChNum = 3;
  SpringTypeTable()[3] = SpringTypeTable()[2];
  SpringTypeTable()[3].Name = "18-194";
  Cover();
  TypeKeys("4567890"
           "3*");
  BogieChoicePage();
  ASSERT_EQ(shown.size(), 9u);
  const QImage& page = shown[0].page;
  Keep(page, "bogie-choice.png");
  EXPECT_GT(Count(page, QRect(40, 522, 700, 70), kBlack), 1500);
  for (int key : {1, 2, 3, 11}) EXPECT_GT(Count(page, CaptionArea(key), kBlack), 20) << key;
  for (int key : {4, 5, 6, 7, 8, 9, 10}) {
    EXPECT_EQ(Count(page, CaptionMiddle(key), kBlack), 0) << key;
    EXPECT_EQ(shown[key - 3].page.copy(kBelowMark), page.copy(kBelowMark)) << key;
  }
  EXPECT_FALSE(shown[0].vnEnable);
  // Key 3: bogie type 3 in the file and in the strip's bogie box.
  ASSERT_EQ(ModeLines().size(), 5);
  EXPECT_EQ(ModeLines()[3], "3");
  EXPECT_NE(shown[8].page.copy(QRect(907, 554, 62, 22)), page.copy(QRect(907, 554, 62, 22)));
  EXPECT_TRUE(Settings.Global.VNenable);
  EXPECT_EQ(Rgb(Screen(), 845, 560), kWhite);  // the wagon box is back
  EXPECT_EQ(LastKey(), 0);
  // The strip of the main page shows what it read from the file.
  Database.ModeState.BogieType = 1;
  StatusStrip();
  EXPECT_EQ(CurrentBogieType(), 3);
  EXPECT_EQ(Screen().copy(QRect(907, 554, 62, 22)), shown[8].page.copy(QRect(907, 554, 62, 22)));
}

TEST_F(MenusTest, ArchiveChoiceOffersTheShiftOnlyWhenItHoldsMeasurements) {
  Cover();
  ASSERT_EQ(Database.ModeState.ShiftCount, 0);
  TypeKeys("1-");
  EXPECT_EQ(ArchiveChoicePage(), 0);
  ASSERT_EQ(shown.size(), 2u);
  const QImage& page = shown[0].page;
  for (int key : {4, 7, 13}) EXPECT_GT(Count(page, CaptionArea(key), kBlack), 20) << key;
  EXPECT_EQ(Count(page, CaptionArea(1), kBlack), 0);
  EXPECT_EQ(shown[1].page.copy(kBelowMark), page.copy(kBelowMark));  // key 1 ignored
  ExpectCoveredBack();

  MeasurementRecord r;
  ASSERT_TRUE(AppendShiftMeasurement(r));
  Cover();
  ASSERT_EQ(Database.ModeState.ShiftCount, 1);
  const std::pair<QString, int> choices[] = {{"1", 3}, {"4", 1}, {"7", 2}, {"-", 0}};
  for (const auto& [key, result] : choices) {
    TypeKeys(key);
    EXPECT_EQ(ArchiveChoicePage(), result) << key.toStdString();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_GT(Count(shown[0].page, CaptionArea(1), kBlack), 20);
    Keep(shown[0].page, "archive-choice.png");
    ExpectCoveredBack();
  }
}

TEST_F(MenusTest, PasswordShowsHashesAndKeepsEightDigits) {
  Cover();
  TypeKeys("-");
  EXPECT_EQ(PasswordPage(), -1);
  ExpectCoveredBack();

  TypeKeys("0"
           "-");
  EXPECT_EQ(PasswordPage(), 0);
  ASSERT_EQ(shown.size(), 2u);
  Keep(shown[1].page, "password.png");
  // Where the prompt ends, the marks begin.
  int promptEnd = 0;
  for (int y = 480; y < 560; ++y)
    for (int x = 30; x < 800; ++x)
      if (Rgb(shown[0].page, x, y) == kBlack) promptEnd = std::max(promptEnd, x);
  EXPECT_GT(promptEnd, 300);
  const QRect afterPrompt(promptEnd + 1, 480, 800 - promptEnd, 70);
  EXPECT_EQ(Count(shown[0].page, afterPrompt, kBlack), 0);
  const int oneHash = Count(shown[1].page, afterPrompt, kBlack);
  EXPECT_GT(oneHash, 50);
  EXPECT_FALSE(shown[0].page.copy(kBelowMark) == covered.copy(kBelowMark));
  EXPECT_FALSE(KeyEnabled(11));

  TypeKeys("123456789-");
  EXPECT_EQ(PasswordPage(), 12345678);
  ASSERT_EQ(shown.size(), 10u);
  EXPECT_EQ(shown[9].page.copy(kBelowMark), shown[8].page.copy(kBelowMark));  // a ninth digit is ignored
  EXPECT_GT(Count(shown[8].page, afterPrompt, kBlack), 6 * oneHash);
  ExpectCoveredBack();
}

TEST_F(MenusTest, WithVredTheLimitsKeyOpensTheParameterEditorInsteadOfTheNotice) {
  Settings.Global.RTedit = true;
  Settings.Debug.Vred = true;
  int editorShown = 0;
  ScreenState.showParameterEditor = [&editorShown] { ++editorShown; };
  Cover();
  TypeKeys("5*");
  SettingsMenu();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(editorShown, 1);
  // No notice box behind the editor, and "Возврат" on key 11.
  EXPECT_EQ(Count(shown[1].page, QRect(250, 140, 400, 60), kGrey), 0);
  EXPECT_GT(Count(shown[1].page, CaptionArea(11), kBlack), 20);
  ExpectCoveredBack();
}

}  // namespace
