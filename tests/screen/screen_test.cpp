#include <QDir>
#include <gtest/gtest.h>

#include "config/settings.h"
#include "platform/clock.h"
#include "platform/pump.h"
#include "screen/keymap.h"
#include "screen/screen.h"
#include "testsupport.h"

namespace {

// A scratch installation with solid-colour key pictures, so the key panel's
// state can be read off single pixels.
class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsModule();
    Settings.Debug.KeyPressDelay = 100;
    plat::UseVirtualClock(QDateTime(QDate(2026, 3, 1), QTime(10, 0)));
    ResetScreenModule();
    QDir(home.path()).mkpath("BMP");
    QDir(home.path()).mkpath("Temp");
    const QString chars = "1234567890z#abcd";
    for (QChar c : chars) {
      Picture(QString("_") + c + "np.bmp", 56, 62, 0x404040);
      Picture(QString(c) + "np.bmp", 56, 62, 0x00C000);
      Picture(QString(c) + "p.bmp", 56, 62, 0xC00000);
    }
    Picture("panel1024.bmp", 1023, 150, 0x303080);
  }
  void TearDown() override {
    plat::SetPumpHook({});
    ResetSettingsModule();
  }
  void Picture(const QString& name, int w, int h, QRgb colour) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    img.save(home.file("BMP/" + name), "BMP");
  }
  static QRgb At(int x, int y) { return Screen().pixel(x, y) & 0xFFFFFF; }
  static QRgb KeyPixel(int key) { return At(ScreenOffsetX() + 74 * key, 700); }
  testsupport::ScratchHome home;
};

}  // namespace

TEST_F(ScreenTest, ClickAreasOfTheKeyPanelIncludingTheirEdges) {
  EXPECT_EQ(KeyCharAt(74 * 3 + 28, 741), QChar('3'));
  EXPECT_EQ(KeyCharAt(74 * 3 - 28, 679), QChar('3'));
  EXPECT_EQ(KeyCharAt(74 * 3 + 29, 741), QChar(0));  // the gap between keys 3 and 4
  EXPECT_EQ(KeyCharAt(74 * 3, 678), QChar(0));
  EXPECT_EQ(KeyCharAt(74 * 3, 742), QChar(0));
  EXPECT_EQ(KeyCharAt(74 * 10, 700), QChar('0'));
  EXPECT_EQ(KeyCharAt(74 * 11, 700), QChar('*'));
  EXPECT_EQ(KeyCharAt(74 * 12, 700), QChar('/'));
  EXPECT_EQ(KeyCharAt(74 * 13, 700), QChar('-'));
  EXPECT_EQ(KeyCharAt(74 * 14, 700), QChar(0));

  Settings.Visual.HD = true;
  InitScreenModule();
  EXPECT_EQ(KeyCharAt(74 * 3 + 28, 741), QChar('1'));  // key 1 now lies there
  EXPECT_EQ(KeyCharAt(168 + 74 * 3 + 28, 741), QChar('3'));
  EXPECT_EQ(KeyCharAt(168 + 74 - 29, 741), QChar(0));

  // Clicks append their characters; the close mark appends Escape.
  CanvasMouseDown(1, 168 + 74 * 5, 700);
  CanvasMouseDown(1, 168 + 1016, 7);
  CanvasMouseDown(2, 168 + 1015, 0);
  CanvasMouseDown(1, 168 + 1016, 8);
  EXPECT_EQ(ScreenState.keyBuffer, QString("5") + QChar(27));
}

TEST_F(ScreenTest, KeypadKeysAreDigitsWhateverNumLock) {
  const auto kp = Qt::KeypadModifier;
  EXPECT_EQ(KeyEventChars(Qt::Key_End, kp, ""), "1");
  EXPECT_EQ(KeyEventChars(Qt::Key_Down, kp, ""), "2");
  EXPECT_EQ(KeyEventChars(Qt::Key_PageDown, kp, ""), "3");
  EXPECT_EQ(KeyEventChars(Qt::Key_Left, kp, ""), "4");
  EXPECT_EQ(KeyEventChars(Qt::Key_Clear, kp, ""), "5");
  EXPECT_EQ(KeyEventChars(Qt::Key_Right, kp, ""), "6");
  EXPECT_EQ(KeyEventChars(Qt::Key_Home, kp, ""), "7");
  EXPECT_EQ(KeyEventChars(Qt::Key_Up, kp, ""), "8");
  EXPECT_EQ(KeyEventChars(Qt::Key_PageUp, kp, ""), "9");
  EXPECT_EQ(KeyEventChars(Qt::Key_Insert, kp, ""), "0");
  EXPECT_EQ(KeyEventChars(Qt::Key_7, kp, "7"), "7");  // Num Lock on
  EXPECT_EQ(KeyEventChars(Qt::Key_Asterisk, kp, "*"), "*");
  EXPECT_EQ(KeyEventChars(Qt::Key_Slash, kp, "/"), "/");
  EXPECT_EQ(KeyEventChars(Qt::Key_Minus, kp, "-"), "-");
  // The arrow keys of the main block are not keypad keys.
  EXPECT_EQ(KeyEventChars(Qt::Key_End, Qt::NoModifier, ""), "");
  EXPECT_EQ(KeyEventChars(Qt::Key_Escape, Qt::NoModifier, "\x1b"), QString(QChar(27)));
  EXPECT_EQ(KeyEventChars(Qt::Key_Enter, kp, "\r"), QString(QChar(13)));
}

TEST_F(ScreenTest, PollKeyTakesEnabledKeysWithThePressedPicture) {
  DisableAllKeys();
  EnableKey(5);
  DrawKeyPanel();
  EXPECT_EQ(KeyPixel(5), 0x00C000u);
  EXPECT_EQ(KeyPixel(4), 0x404040u);

  // While the key is shown pressed, sample the panel from the message pump.
  QRgb seen = 0;
  uint32_t pressedFrom = 0, pressedUntil = 0;
  plat::SetPumpHook([&] {
    if (KeyPixel(5) == 0xC00000u) {
      if (!seen) pressedFrom = plat::TickCount();
      seen = 0xC00000u;
      pressedUntil = plat::TickCount();
    }
  });
  KeyCharTyped('5');
  EXPECT_EQ(PollKey(), 5);
  EXPECT_EQ(seen, 0xC00000u);
  EXPECT_GE(pressedUntil - pressedFrom, 95u);
  EXPECT_EQ(KeyPixel(5), 0x00C000u);
  plat::SetPumpHook({});

  // Disabled keys, the plus sign, the point and Enter are taken and give 0.
  for (QChar c : QString("4+.\r")) KeyCharTyped(c);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(PollKey(), 0);
  EXPECT_TRUE(ScreenState.keyBuffer.isEmpty());
  EXPECT_EQ(KeyPixel(4), 0x404040u);
}

TEST_F(ScreenTest, TheKeyBufferHoldsTwentyCharacters) {
  EnableAllKeys();
  for (int i = 0; i < 21; ++i) KeyCharTyped(QChar('0' + (i % 10)));
  EXPECT_EQ(ScreenState.keyBuffer.size(), 20);
  QList<int> got;
  for (int i = 0; i < 21; ++i) got << PollKey();
  QList<int> want;
  for (int i = 0; i < 20; ++i) want << (i % 10 == 0 ? 10 : i % 10);
  want << 0;
  EXPECT_EQ(got, want);
}

TEST_F(ScreenTest, NestedPagesLeaveTheCoveredPageExactlyAsItWas) {
  FillScreen(kSilver);
  DrawPanelBox(100, 150, 400, 300);
  DisableAllKeys();
  EnableKey(2);
  EnableKey(12);
  DrawKeyPanel();
  const QImage pageA = Screen().copy();
  const auto maskA = ScreenState.keyMask;

  // Page B over A, then page C over B.
  SaveKeyMask("pageb");
  SavePage("pageb");
  ShadeWorkArea();
  DisableAllKeys();
  EnableKey(7);
  DrawPanelBox(200, 200, 600, 500);
  DrawKeyPanel();
  const QImage pageB = Screen().copy();
  SaveKeyMask("pagec");
  SavePage("pagec");
  FillBox(0, 0, 1024, 768, kBlue);
  EnableAllKeys();
  RestorePage("pagec");
  LoadKeyMask("pagec");
  EXPECT_EQ(Screen(), pageB);
  RestorePage("pageb");
  LoadKeyMask("pageb");
  EXPECT_EQ(Screen(), pageA);
  EXPECT_EQ(ScreenState.keyMask, maskA);

  // The mask file: sixteen lines, 1 for an enabled key.
  EXPECT_EQ(home.read("Temp/pageb.msk"),
            QByteArray("0\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n0\r\n0\r\n0\r\n0\r\n"));
  EXPECT_TRUE(QFile::exists(home.file("Temp/pageb.bmp")));
}

TEST_F(ScreenTest, MaskFilesEnableOnlyExactOnes) {
  home.write("Temp/m.msk", "1 2 1\n-1\n1\n0\n1 1 1 1 1 1 1 1 1 1\n");
  LoadKeyMask("m");
  // Values in order: 1 2 1 -1 1 0, then ten ones.
  const bool want[17] = {false, true, false, true, false, true, false, true, true,
                         true,  true, true,  true, true,  true, true,  true};
  for (int k = 1; k <= 16; ++k) EXPECT_EQ(KeyEnabled(k), want[k]) << k;
  // A damaged mask file falls back on the mask this run saved under that name.
  DisableAllKeys();
  EnableKey(3);
  SaveKeyMask("n");
  home.write("Temp/n.msk", "1\n");
  EnableAllKeys();
  LoadKeyMask("n");
  EXPECT_TRUE(KeyEnabled(3));
  EXPECT_FALSE(KeyEnabled(4));
  // The module's reset forgets the masks of the run before.
  ResetScreenModule();
  EnableAllKeys();
  LoadKeyMask("n");
  EXPECT_FALSE(KeyEnabled(3));
}

TEST_F(ScreenTest, PanelBoxShadowTextAndMesh) {
  FillScreen(kSilver);
  DrawPanelBox(100, 100, 200, 150);
  EXPECT_EQ(At(100, 100), kWhite);
  EXPECT_EQ(At(99, 99), kBlack);
  EXPECT_EQ(At(200, 150), kBlack);
  EXPECT_EQ(At(98, 98), kWhite);
  EXPECT_EQ(At(201, 151), kWhite);
  EXPECT_EQ(At(205, 155), kLightGreen);
  EXPECT_EQ(At(209, 159), kLightGreen);
  EXPECT_EQ(At(210, 160), kWhite);
  EXPECT_EQ(At(211, 161), kSilver);

  // A shadow copy of the text lies 2 pixels right and down of the text.
  FillScreen(kWhite);
  SetTextStyle("Impact", 20, kBlue);
  PutText(302, 302, "Проба");
  const QImage alone = Screen().copy();
  FillScreen(kWhite);
  PutShadowText(300, 300, "Проба", 2, 2, kSilver);
  int shadowPixels = 0;
  for (int y = 300; y < 340; ++y)
    for (int x = 300; x < 400; ++x)
      if ((alone.pixel(x, y) & 0xFFFFFF) == kBlue) {
        const QRgb c = At(x, y);
        EXPECT_NE(c, kWhite) << x << "," << y;  // the shadow, or the text over it
        shadowPixels += c == kSilver;
      }
  EXPECT_GT(shadowPixels, 20);
  EXPECT_EQ(ScreenState.fontColour, kBlue);

  FillScreen(kBlack);
  ShadeWorkArea();
  EXPECT_EQ(At(5, 110), kSilver);   // odd x: a vertical line
  EXPECT_EQ(At(6, 111), kSilver);   // odd i: a horizontal line
  EXPECT_EQ(At(6, 112), kBlack);
  EXPECT_EQ(At(1019, 112), kBlack);  // the vertical lines stop at 1018
  EXPECT_EQ(At(1022, 111), kSilver);
  EXPECT_EQ(At(1023, 111), kBlack);  // end point excluded
  EXPECT_EQ(At(5, 618), kBlack);
}

TEST_F(ScreenTest, HdShiftsPagesButNotTheMeshOrFillScreen) {
  Settings.Visual.HD = true;
  InitScreenModule();
  SetupMainWindow(3);
  ASSERT_EQ(Screen().size(), QSize(1360, 768));
  FillScreen(kBlack);
  EXPECT_EQ(At(1359, 767), kBlack);
  FillScreen(kSilver);
  TitleBar("Проба", 21, kBlue);
  EXPECT_EQ(At(10 + 168, 8), kWhite);
  EXPECT_EQ(At(10 + 168 - 1, 7), kBlack);
  EXPECT_EQ(At(12, 20), kSilver);
  FillScreen(kBlack);
  ShadeWorkArea();
  EXPECT_EQ(At(0, 111), kSilver);
  EXPECT_EQ(At(1359, 111), kSilver);
  EXPECT_EQ(At(1359, 112), kSilver);  // odd x up to 1368
}

TEST_F(ScreenTest, WindowLayoutsAndCaption) {
  SetupMainWindow(0);
  EXPECT_EQ(Screen().size(), QSize(800, 600));
  SetupMainWindow(2);
  EXPECT_EQ(Screen().size(), QSize(1280, 1024));
  Settings.Visual.CaptionEnable = true;
  SetupMainWindow(1);
  EXPECT_EQ(Screen().size(), QSize(1030, 775));
  SetupMainWindow(9);  // any other layout keeps the size
  EXPECT_EQ(Screen().size(), QSize(1036, 782));
}

TEST_F(ScreenTest, ScaledPauseDividesByTurbo) {
  Settings.Global.Turbo = 2;
  uint32_t t0 = plat::TickCount();
  ScaledPause(1000);
  EXPECT_EQ(plat::TickCount() - t0, 500u);
  Settings.Global.Turbo = 3;
  t0 = plat::TickCount();
  ScaledPause(1000);
  EXPECT_EQ(plat::TickCount() - t0, 333u);
}

TEST_F(ScreenTest, KeyCaptionsAreCentredOverTheirKey) {
  FillScreen(kSilver);
  Settings.Visual.KeyFont = 2;
  DrawKeyCaption("Замер", "", 4);
  int left = 1024, right = 0;
  for (int y = 630; y < 660; ++y)
    for (int x = 200; x < 400; ++x)
      if (At(x, y) == kBlack) {
        left = std::min(left, x);
        right = std::max(right, x);
      }
  ASSERT_LT(left, right);
  EXPECT_NEAR((left + right) / 2.0, 74 * 4, 3.0);
  SetTextStyle("Impact", 13, kBlack);
  EXPECT_NEAR(right - left, TextWidth("Замер"), 4);
  // KeyFont 7 keeps the font that was current.
  Settings.Visual.KeyFont = 7;
  SetTextStyle("Arial", 30, kBlack);
  DrawKeyCaption("W", "", 2);
  EXPECT_EQ(ScreenState.fontName, "Arial");
  EXPECT_EQ(ScreenState.fontSize, 30);
}
