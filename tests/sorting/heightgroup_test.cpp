#include "sorting/heightgroup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(HeightGroup, HeightsAsStoredFallIntoTheirGroups) {
  // The 32-bit reals nearest 245.9 and 255.1 lie just outside the groups:
  // the bounds are compared as the decimals they are.
  EXPECT_EQ(HeightGroup(245.9f), 0);
  EXPECT_EQ(HeightGroup(std::nextafter(245.9f, 1000.0f)), 1);
  EXPECT_EQ(HeightGroup(std::nextafter(255.1f, 0.0f)), 9);
  EXPECT_EQ(HeightGroup(246.99f), 1);
  EXPECT_EQ(HeightGroup(247.0f), 2);
  EXPECT_EQ(HeightGroup(247.5f), 2);
  EXPECT_EQ(HeightGroup(253.99f), 8);
  EXPECT_EQ(HeightGroup(254.0f), 9);
  EXPECT_EQ(HeightGroup(255.0f), 9);
  EXPECT_EQ(HeightGroup(255.09f), 9);
  EXPECT_EQ(HeightGroup(255.1f), 0);
  EXPECT_EQ(HeightGroup(245.89f), 0);
  EXPECT_EQ(HeightGroup(0.0f), 0);
  EXPECT_EQ(HeightGroup(-250.0f), 0);
  EXPECT_EQ(HeightGroup(300.0f), 0);
  EXPECT_EQ(HeightGroup(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(HeightGroup(std::numeric_limits<float>::infinity()), 0);
  // Bogie type 2 is grouped ten millimetres lower.
  EXPECT_EQ(HeightGroup(257.5f - 10.0f), 2);
  EXPECT_EQ(HeightGroup(256.0f - 10.0f), 1);
  EXPECT_EQ(HeightGroup(255.9f - 10.0f), 0);  // the 32-bit real nearest 245.9
}

TEST(HeightGroup, EveryBoundBelongsToTheGroupAboveIt) {
  for (int g = 1; g <= 9; ++g) {
    const float lower = HeightGroupLower(g);
    const float upper = HeightGroupUpper(g);
    // Group 1 starts at the first 32-bit real above 245.9.
    const float first = g == 1 ? std::nextafter(lower, 1000.0f) : lower;
    EXPECT_EQ(HeightGroup(first), g) << g;
    EXPECT_EQ(HeightGroup(std::nextafter(first, 0.0f)), g - 1) << g;
    EXPECT_EQ(HeightGroup(std::nextafter(upper, 0.0f)), g) << g;
    EXPECT_EQ(HeightGroup(upper), g == 9 ? 0 : g + 1) << g;
  }
  EXPECT_EQ(HeightGroupLower(2), 247.0f);
  EXPECT_EQ(HeightGroupUpper(8), 254.0f);
}

TEST(HeightGroup, EveryHeightBetweenTheOuterBoundsHasOneGroupInOrder) {
  // Walks every 32-bit real from below group 1 to above group 9: groups
  // never go down, none is skipped, and there is no gap between them.
  int last = 0;
  int changes = 0;
  for (float h = 245.8f; h < 255.2f; h = std::nextafter(h, 1000.0f)) {
    const int g = HeightGroup(h);
    if (static_cast<double>(h) >= 245.9 && static_cast<double>(h) < 255.1) {
      ASSERT_GE(g, 1) << h;
    }
    if (g != last) {
      ++changes;
      ASSERT_EQ(g, last == 9 ? 0 : last + 1) << h;
      last = g;
    }
  }
  EXPECT_EQ(changes, 10);  // 0 -> 1 -> ... -> 9 -> 0
}

}  // namespace
