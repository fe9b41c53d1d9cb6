#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>

#include "flowsupport.h"
#include "screen/screen.h"

namespace {

// The start-up runs its check of the line for about twelve seconds of the
// virtual clock; then the main menu waits for keys.
const QString kToMenu = "wait 13000\n";

// Lines 8 and 9 of the shift state: the two wagon numbers.
QStringList WagonLines(const FlowHome& home) {
  const QStringList lines = TextLines(home.Text("Config/now.txt"));
  if (lines.size() < 9) return {};
  return {lines[7], lines[8]};
}

// A wagon number as the status strip draws it (Arial 12, black on white).
QImage StripNumber(const QString& number) {
  ResetScreenModule();
  FillBox(590, 552, 830, 570, kWhite);
  SetFontBold(false);
  SetTextStyle("Arial", 12, kBlack);
  PutText(590, 552, number);
  const QImage part = Screen().copy(QRect(590, 552, 240, 18));
  ResetScreenModule();
  return part;
}

TEST(WagonNumbers, TypedNumberAndEmptyEntryAreStoredAndShown) {
  FlowHome home("[Global]\nVNenable=1\n");
  const auto r = home.Play(kToMenu +
                           "snap menu-before.png\n"
                           "key 8\nwait 500\nsnap vselect.png\n"
                           "key 1\nwait 300\nsnap vpass.png\n"
                           "key 1\nkey 2\nkey 3\nwait 300\nsnap vpass-123.png\n"
                           "key 13\nwait 300\n"
                           "key 7\nwait 300\nkey 13\nwait 300\nsnap vselect-after.png\n"
                           "key 13\nwait 500\nsnap menu.png\n"
                           "exit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(WagonLines(home), QStringList({"123", "НЕ ЗАДАН"}));

  // The page: its title panel, the shaded work area, the source/receiver box
  // and the wagon box of the status strip beside it.
  const QImage page = home.Snap("vselect.png");
  EXPECT_GT(CountColour(page, QRect(21, 19, 500, 50), kBlue), 500);
  EXPECT_EQ(Rgb(page, 20, 532), kBlack);
  EXPECT_EQ(Rgb(page, 21, 533), kWhite);
  EXPECT_GT(CountColour(page, QRect(40, 552, 150, 18), kBlack), 50);  // "ИСТОЧНИКОМ"
  EXPECT_EQ(Rgb(page, 485, 532), kBlack);
  // Captions over keys 1, 7 and 13 only.
  for (int key : {1, 7, 13})
    EXPECT_GT(CountColour(page, QRect(74 * key - 36, 636, 72, 36), kBlack), 20) << key;
  for (int key : {2, 4, 10, 12})
    EXPECT_EQ(CountColour(page, QRect(74 * key - 20, 636, 40, 36), kBlack), 0) << key;

  // The entry box: the digits appear after the prompt.
  const QImage empty = home.Snap("vpass.png");
  const QImage typed = home.Snap("vpass-123.png");
  EXPECT_EQ(Rgb(empty, 12, 450), kWhite);
  int promptEnd = 0;
  for (int y = 480; y < 560; ++y)
    for (int x = 20; x < 840; ++x)
      if (Rgb(empty, x, y) == kBlack) promptEnd = std::max(promptEnd, x);
  EXPECT_GT(promptEnd, 300);
  const QRect digits(promptEnd + 4, 480, 300, 70);
  EXPECT_EQ(CountColour(empty, digits, kBlack), 0);
  EXPECT_GT(CountColour(typed, digits, kBlack), 200);

  // Both numbers in the strip of the page and of the main menu.
  for (const QString& snap : {QString("vselect-after.png"), QString("menu.png")}) {
    const QImage img = home.Snap(snap);
    EXPECT_TRUE(img.copy(QRect(590, 552, 240, 18)) == StripNumber("123")) << snap.toStdString();
    EXPECT_TRUE(img.copy(QRect(590, 552, 240, 18)).copy(0, 0, 240, 18) != StripNumber("?"));
  }
  const QImage menu = home.Snap("menu.png");
  const QImage to = menu.copy(QRect(590, 588, 240, 18));
  EXPECT_GT(CountColour(to, to.rect(), kBlack), 50);  // "НЕ ЗАДАН"
  // The main menu is back as it was, but for the numbers in the strip.
  const QImage before = home.Snap("menu-before.png");
  EXPECT_TRUE(menu.copy(QRect(0, 618, 1024, 150)) == before.copy(QRect(0, 618, 1024, 150)));
  EXPECT_TRUE(menu.copy(QRect(8, 438, 420, 170)) == before.copy(QRect(8, 438, 420, 170)));
}

TEST(WagonNumbers, EraseStartsAgainAndANinthDigitIsIgnored) {
  FlowHome home("[Global]\nVNenable=1\n");
  const auto r = home.Play(kToMenu +
                           "key 8\nwait 300\n"
                           "key 1\nwait 300\nsnap fresh.png\n"
                           "key 5\nkey 5\nwait 300\nkey 11\nwait 300\nsnap erased.png\n"
                           "type 123456789\nwait 1000\nkey 13\nwait 300\n"
                           "key 7\nwait 300\nkey 9\nkey 10\nkey 13\nwait 300\n"
                           "key 13\nwait 500\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(WagonLines(home), QStringList({"12345678", "90"}));
  // "Стереть" draws a fresh box with the bare prompt.
  const QRect box(0, 430, 860, 180);
  EXPECT_TRUE(home.Snap("fresh.png").copy(box) == home.Snap("erased.png").copy(box));
}

TEST(WagonNumbers, KeyEightDoesNothingWithoutVNenable) {
  FlowHome home;
  const auto r = home.Play(kToMenu + "snap a.png\nkey 8\nwait 500\nsnap b.png\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(home.Snap("a.png").copy(0, 110, 1024, 658) ==
              home.Snap("b.png").copy(0, 110, 1024, 658));
  EXPECT_EQ(WagonLines(home), QStringList({"?", "?"}));
}

}  // namespace
