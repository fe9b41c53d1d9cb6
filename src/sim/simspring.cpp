#include "sim/simspring.h"

#include <algorithm>
#include <cmath>

namespace {
// Camera units per millimetre of distance and the position of a spring of
// nominal size on the camera line.
constexpr double kUnitsPerMm = 8.0;
constexpr double kNominalPosition = 1024.0;
constexpr double kPi = 3.14159265358979323846;
}  // namespace

double SimpleSpringModel::Deflection(int force) const {
  if (force <= 0 || s_.stiffness <= 0) return 0.0;
  // The spring goes solid when its coils touch.
  const double solid = s_.freeHeight * s_.wireDiameter / std::max(s_.pitch, s_.wireDiameter);
  return std::min(force / s_.stiffness, s_.freeHeight - solid);
}

std::vector<uint32_t> SimpleSpringModel::ScanPoints(int camera) const {
  std::vector<uint32_t> points;
  const int count = std::max(0, s_.scanPoints);
  points.reserve(count);
  const double r = s_.wireDiameter / 2.0;
  // Cameras stand a quarter turn apart, so the coil passes each a quarter
  // pitch later than the one before.
  const double phase = (camera - 1) * s_.pitch / 4.0;
  // Cameras 1 and 3 look along the tilt, 2 and 4 across it.
  const double tiltSign = camera == 1 ? 1.0 : camera == 3 ? -1.0 : 0.0;
  const double tilt = std::tan(s_.tiltDegrees * kPi / 180.0) * tiltSign;
  for (int j = 0; j < count; ++j) {
    const double z = s_.freeHeight * j / std::max(1, count - 1);
    // Nearest crossing of the wire's centre line with this camera's sight.
    const double k = std::round((z - phase - r) / s_.pitch);
    const double dz = z - (phase + r + k * s_.pitch);
    if (std::fabs(dz) >= r) {
      points.push_back(0);
      continue;
    }
    // The near edge of the round wire, plus the shift of the tilted axis.
    const double depth = r - std::sqrt(r * r - dz * dz);
    const double distance = depth + z * tilt + (190.0 - s_.coilDiameter) / 2.0;
    const double pos = std::clamp(kNominalPosition + distance * kUnitsPerMm, 0.0, 2046.0);
    points.push_back(static_cast<uint32_t>(std::lround(pos * 32.0)) + 2048u);
  }
  return points;
}
