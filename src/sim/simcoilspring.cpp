#include "sim/simcoilspring.h"

#include <algorithm>

#include "mathem/profiles.h"

double CoilSpringSimModel::Deflection(int force) const {
  if (force <= 0 || stiffness_ <= 0) return 0.0;
  // The spring goes solid when its coils touch.
  const double solid =
      spring_.height * spring_.wireDiameter / std::max(spring_.pitch, spring_.wireDiameter);
  return std::min(force / stiffness_, spring_.height - solid);
}

std::vector<uint32_t> CoilSpringSimModel::ScanPoints(int camera) const {
  std::vector<uint32_t> points;
  for (int r : ModelProfile(spring_, layout_, cal_, camera))
    points.push_back(r == kNoReading ? 0u : static_cast<uint32_t>(r * 32 + 2048));
  return points;
}
