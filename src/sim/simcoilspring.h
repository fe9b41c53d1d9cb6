#pragma once
// The modelled spring of the profile mathematics behind the simulated line's
// spring interface: the cameras see the spring through the line's camera
// geometry and calibration tables, so that the program's chains recover the
// modelled coil diameter and non-perpendicularity from a simulated scan.

#include "sim/simspring.h"
#include "sim/springmodel.h"

class CoilSpringSimModel : public SimSpringModel {
 public:
  // stiffness: ADC units of force per millimetre of compression.
  CoilSpringSimModel(const SpringModel& spring, const CameraLayout& layout,
                     const ModelCalibration& cal, double stiffness = 40.0)
      : spring_(spring), layout_(layout), cal_(cal), stiffness_(stiffness) {}
  double FreeHeight() const override { return spring_.height; }
  double Deflection(int force) const override;
  std::vector<uint32_t> ScanPoints(int camera) const override;

 private:
  SpringModel spring_;
  CameraLayout layout_;
  ModelCalibration cal_;
  double stiffness_;
};
