// What the sorting mode's pages leave of the main page below them, and the
// height group on the result page, at their named places.
#include <gtest/gtest.h>

#include "flowsupport.h"

namespace {

constexpr QRgb kSilver = 0xC0C0C0;

TEST(Screens, SortingPagesLeaveNothingOfTheMainPageAndTheGroupStandsLarge) {
  FlowHome home;
  const auto r = home.Play(
      "wait 13000\nkey 2\nwait 20000\nsnap result.png\nkey 13\nwait 500\n"
      "key 13\nwait 500\ntype 1234*\nwait 1000\nsnap second.png\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QImage second = home.Snap("second.png");
  ASSERT_FALSE(second.isNull());
  // The white rim of the main page's boxes at x 6 and the last row of the
  // strip's mode picture at y 615 are covered by the page's ground.
  for (int y = 110; y < 618; y += 7) EXPECT_EQ(Rgb(second, 6, y), kSilver) << y;
  for (int x = 860; x < 900; ++x) EXPECT_EQ(Rgb(second, x, 615), kSilver) << x;
  // Above the second question's box (10 px lower than the first) no piece
  // of the first box's prompt shows.
  EXPECT_EQ(CountColour(second, QRect(12, 108, 450, 20), 0x000000), 0);
  EXPECT_GT(CountColour(second, QRect(45, 131, 300, 20), 0x000000), 50);

  // A good spring's group, large in the chart box's free left part.
  const QImage result = home.Snap("result.png");
  EXPECT_GT(CountColour(result, QRect(480, 462, 260, 80), 0x008000), 1500);
}

}  // namespace
