#include <gtest/gtest.h>

#include <QImage>

#include "flowsupport.h"

namespace {

// The start-up runs its check of the line for about twelve seconds of the
// virtual clock; then the main menu waits for keys.
const QString kToMenu = "wait 13000\n";

// The page between the title bar with its clock and the status strip.
const QRect kWork(0, 112, 1024, 400);
// The text line of the menus' prompt box.
const QRect kPromptText(40, 522, 780, 70);

QRect CaptionArea(int key) {
  return QRect(74 * key - 36, 636, 72, 36);
}

QStringList ModeLines(const FlowHome& home) {
  return TextLines(home.Text("Config/tekstat.lm4")).mid(0, 5);
}

// The same page: the work area and the key panel alike. (The status strip
// is drawn again over itself on the way back, which thickens the edges of
// its lettering.)
bool SamePage(const QImage& a, const QImage& b) {
  const QRect panel(0, 618, 1024, 150);
  return a.copy(kWork) == b.copy(kWork) && a.copy(panel) == b.copy(panel);
}

// Every main-menu key leads to its page and back, the settings menu behind
// the password; the mode state keeps what the pages chose.
TEST(MainMenuKeys, EveryKeyReachesItsPageAndComesBack) {
  FlowHome home("[Depo]\nPasswordEnable=1\nProgressChassieEnabled=1\n");
  const auto r = home.Play(kToMenu +
                           "snap menu.png\n"
                           // A wrong password, then none at all.
                           "key 4\nwait 300\nsnap pass.png\nkey 5\nkey 13\nwait 300\n"
                           "snap wrong.png\n"
                           "key 4\nwait 300\nkey 13\nwait 300\nsnap empty.png\n"
                           // The right one: the settings menu, the fast mode.
                           "key 4\nwait 300\nkey 7\nkey 13\nwait 300\nsnap setup.png\n"
                           "key 9\nwait 300\nsnap zsetup.png\nkey 4\nwait 300\nkey 11\nwait 300\n"
                           "snap after-setup.png\n"
                           // Bogie type 2.
                           "key 6\nwait 300\nsnap bogie.png\nkey 2\nwait 300\nkey 11\nwait 300\n"
                           "snap after-bogie.png\n"
                           // The archive choice and the pages it leads to.
                           "key 10\nwait 300\nsnap bselect.png\nkey 4\nwait 500\n"
                           "snap browser.png\nkey 13\nwait 500\nsnap after-browser.png\n"
                           "key 10\nwait 300\nkey 7\nwait 500\nsnap archive.png\nkey 13\nwait 500\n"
                           "snap after-archive.png\n"
                           "key 10\nwait 300\nkey 1\nwait 300\nsnap bselect-key1.png\n"
                           "key 13\nwait 300\nsnap after-choice.png\n"
                           "exit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();

  const QImage menu = home.Snap("menu.png");
  ASSERT_FALSE(menu.isNull());
  // The password box, and the main page untouched after a wrong or an empty
  // password.
  const QImage pass = home.Snap("pass.png");
  EXPECT_EQ(Rgb(pass, 8, 438), 0xFFFFFFu);
  EXPECT_GT(CountColour(pass, QRect(30, 480, 300, 70), 0x000000), 1000);
  for (const char* snap : {"wrong.png", "empty.png"}) {
    const QImage img = home.Snap(snap);
    EXPECT_EQ(img.copy(kWork), menu.copy(kWork)) << snap;
    EXPECT_EQ(img.copy(QRect(0, 516, 850, 100)), menu.copy(QRect(0, 516, 850, 100))) << snap;
  }

  // The settings menu and its measurement-type page, each with its prompt.
  for (const char* snap : {"setup.png", "zsetup.png", "bogie.png"}) {
    const QImage img = home.Snap(snap);
    EXPECT_EQ(Rgb(img, 28, 516), 0xFFFFFFu) << snap;
    EXPECT_GT(CountColour(img, kPromptText, 0x000000), 1500) << snap;
    EXPECT_GT(CountColour(img, CaptionArea(11), 0x000000), 20) << snap;
  }
  EXPECT_NE(home.Snap("setup.png").copy(kPromptText), home.Snap("zsetup.png").copy(kPromptText));
  const QStringList mode = ModeLines(home);
  ASSERT_EQ(mode.size(), 5);
  EXPECT_EQ(mode[0], "-1");  // fast
  EXPECT_EQ(mode[3], "2");  // bogie type 2
  // The mode picture of the main page's strip changed with the fast mode.
  EXPECT_NE(home.Snap("after-setup.png").copy(QRect(860, 576, 36, 36)),
            menu.copy(QRect(860, 576, 36, 36)));
  EXPECT_NE(home.Snap("after-bogie.png").copy(QRect(907, 554, 62, 22)),
            menu.copy(QRect(907, 554, 62, 22)));

  // The archive choice: years, sets and back; no shift key on an empty shift.
  const QImage choice = home.Snap("bselect.png");
  for (int key : {4, 7, 13}) EXPECT_GT(CountColour(choice, CaptionArea(key), 0), 20) << key;
  EXPECT_EQ(CountColour(choice, CaptionArea(1), 0), 0);
  EXPECT_EQ(home.Snap("bselect-key1.png").copy(kWork), choice.copy(kWork));
  // The browser and the set archive are full pages of their own.
  for (const char* snap : {"browser.png", "archive.png"})
    EXPECT_NE(home.Snap(snap).copy(kWork), choice.copy(kWork)) << snap;
  EXPECT_NE(home.Snap("browser.png").copy(kWork), home.Snap("archive.png").copy(kWork));
  // Each way back ends on the main page as it was.
  for (const char* snap : {"after-setup.png", "after-bogie.png", "after-browser.png",
                           "after-archive.png", "after-choice.png"})
    EXPECT_TRUE(SamePage(home.Snap(snap), menu)) << snap;
}

// After measurements the archive choice offers the shift's measurements at
// once, and key 1 shows them.
TEST(MainMenuKeys, TheShiftsMeasurementsAreOfferedAfterMeasuring) {
  FlowHome home;
  const auto r = home.Play(kToMenu +
                           "key 2\nwait 20000\nkey 13\nwait 500\nsnap menu.png\n"
                           "key 10\nwait 300\nsnap bselect.png\nkey 1\nwait 500\nsnap shift.png\n"
                           "key 13\nwait 500\nsnap back.png\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  ASSERT_EQ(ShiftRecords(home).size(), 1u);
  // The strip's count over the spring picture of the main page.
  EXPECT_GT(CountColour(home.Snap("menu.png"), QRect(980, 546, 28, 18), 0x0000FF), 10);
  const QImage choice = home.Snap("bselect.png");
  EXPECT_GT(CountColour(choice, CaptionArea(1), 0), 20);
  // The shift's measurement on the measurement page, then the main page.
  EXPECT_NE(home.Snap("shift.png").copy(kWork), choice.copy(kWork));
  EXPECT_TRUE(SamePage(home.Snap("back.png"), home.Snap("menu.png")));
}

// Without the settings that offer them, keys 6 of the main menu, 5 and 7 of
// the settings menu do nothing; without the password the menu opens at once.
TEST(MainMenuKeys, KeysNotOfferedDoNothing) {
  FlowHome home;
  const auto r = home.Play(kToMenu +
                           "snap menu.png\nkey 6\nwait 300\nsnap key6.png\n"
                           "key 4\nwait 300\nsnap setup.png\nkey 5\nwait 300\nsnap key5.png\n"
                           "key 7\nwait 300\nsnap key7.png\nkey 11\nwait 300\nsnap back.png\n"
                           "exit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QImage menu = home.Snap("menu.png");
  EXPECT_TRUE(SamePage(home.Snap("key6.png"), menu));
  const QImage setup = home.Snap("setup.png");
  EXPECT_GT(CountColour(setup, kPromptText, 0x000000), 1500);
  for (const char* snap : {"key5.png", "key7.png"})
    EXPECT_TRUE(SamePage(home.Snap(snap), setup)) << snap;
  EXPECT_TRUE(SamePage(home.Snap("back.png"), menu));
}

}  // namespace
