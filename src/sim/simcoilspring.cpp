#include "sim/simcoilspring.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "DALNOMER/calibration.h"
#include "mathem/profiles.h"

double CoilSpringSimModel::Deflection(int force) const {
  if (force <= 0 || stiffness_ <= 0) return 0.0;
  // The spring goes solid when its coils touch.
  const double solid =
      spring_.height * spring_.wireDiameter / std::max(spring_.pitch, spring_.wireDiameter);
  return std::min(force / stiffness_, spring_.height - solid);
}

std::vector<uint32_t> CoilSpringSimModel::ScanPoints(int camera) const {
  if (camera < 1 || camera > 4) return {};
  std::optional<std::vector<uint32_t>>& kept = points_[camera];
  if (!kept) {
    std::vector<uint32_t> points;
    for (int r : ModelProfile(spring_, layout_, cal_, camera))
      points.push_back(r == kNoReading ? 0u : static_cast<uint32_t>(r * 32 + 2048));
    kept = std::move(points);
  }
  return *kept;
}

ModelCalibration InstalledCalibration() {
  ModelCalibration cal;
  for (int n = 1; n <= 4; ++n) {
    cal.tables[n].reserve(kCalibrationLines);
    for (int i = 0; i < kCalibrationLines; ++i)
      cal.tables[n].push_back(InstalledCalibrationDistance(n, i));
  }
  return cal;
}

SpringModel LineSpringModel(const SimpleSpring& s, const CameraLayout& layout) {
  SpringModel m;
  m.coilDiameter = s.coilDiameter;
  m.wireDiameter = s.wireDiameter;
  m.pitch = s.pitch;
  m.height = s.freeHeight;
  m.tilt = s.freeHeight * std::tan(s.tiltDegrees * std::numbers::pi / 180.0);
  m.tiltAzimuthDeg = 30;
  m.centreU = layout.gx[1] + s.coilDiameter / 4;
  m.centreV = layout.gx[2] + s.coilDiameter / 4;
  m.readings = std::max(0, s.scanPoints);
  m.topIndex = m.readings / 20;
  m.scanStep = m.readings > 0 ? s.freeHeight * 1.3 / m.readings : 0.0;
  return m;
}

std::shared_ptr<CoilSpringSimModel> MakeLineSpring(const SimpleSpring& s,
                                                   const CameraLayout& layout) {
  return std::make_shared<CoilSpringSimModel>(LineSpringModel(s, layout), layout,
                                              InstalledCalibration(), s.stiffness);
}
