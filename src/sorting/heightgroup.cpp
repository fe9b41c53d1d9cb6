#include "sorting/heightgroup.h"

namespace {
constexpr float kFirstLower = 245.9f;
constexpr float kLastUpper = 255.1f;
}  // namespace

float HeightGroupLower(int group) {
  return group == 1 ? kFirstLower : 245.0f + static_cast<float>(group);
}

float HeightGroupUpper(int group) {
  return group == 9 ? kLastUpper : 246.0f + static_cast<float>(group);
}

int HeightGroup(float height) {
  for (int g = 1; g <= 9; ++g)
    if (height >= HeightGroupLower(g) && height < HeightGroupUpper(g)) return g;
  return 0;
}

int BogieHeightGroup(float height, int bogieType) {
  if (bogieType == 1) return HeightGroup(height);
  if (bogieType == 2) return HeightGroup(height - 10.0f);
  return -1;
}
