#include "sorting/heightgroup.h"

namespace {
// The two bounds that are not whole numbers, as decimals: a 32-bit height is
// compared with them in double precision, so that the 32-bit real nearest
// 245.9 (just below it) and the one nearest 255.1 (just above it) both lie
// outside every group.
constexpr double kFirstLower = 245.9;
constexpr double kLastUpper = 255.1;
}  // namespace

float HeightGroupLower(int group) {
  return group == 1 ? static_cast<float>(kFirstLower) : 245.0f + static_cast<float>(group);
}

float HeightGroupUpper(int group) {
  return group == 9 ? static_cast<float>(kLastUpper) : 246.0f + static_cast<float>(group);
}

int HeightGroup(float height) {
  const double h = height;
  if (!(h >= kFirstLower && h < kLastUpper)) return 0;
  // The inner bounds 247 .. 254 are whole numbers, exact in either precision.
  for (int g = 1; g < 9; ++g)
    if (h < 246.0 + g) return g;
  return 9;
}

int BogieHeightGroup(float height, int bogieType) {
  if (bogieType == 1) return HeightGroup(height);
  if (bogieType == 2) return HeightGroup(height - 10.0f);
  return -1;
}
