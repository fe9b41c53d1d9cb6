#pragma once
// The modelled spring of the profile mathematics behind the simulated line's
// spring interface: the cameras see the spring through the line's camera
// geometry and calibration tables, so that the program's chains recover the
// modelled coil diameter and non-perpendicularity from a simulated scan.

#include <array>
#include <memory>
#include <optional>

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
  // Modelled once per camera and kept: the spring does not change.
  std::vector<uint32_t> ScanPoints(int camera) const override;
  const SpringModel& Spring() const { return spring_; }

 private:
  SpringModel spring_;
  CameraLayout layout_;
  ModelCalibration cal_;
  double stiffness_;
  mutable std::array<std::optional<std::vector<uint32_t>>, 5> points_;
};

// The calibration tables a new installation holds (the ones mkinstall
// writes), so that the program reads the simulated cameras' readings back
// into the modelled distances.
ModelCalibration InstalledCalibration();

// The coil spring the simulated line measures, from linesim's spring
// options. The cameras stand where a new installation's setup.ini says
// (gx1..gx4 = 80, Va = Vb = 360 mm). The spring's axis stands a quarter of
// its outer diameter beyond the cameras' lines of sight (u = gx1 for
// cameras 1 and 3, v = gx2 for 2 and 4), so that every camera meets the
// coils well off their front and the three points of the outline lie apart.
// A tilt of the axis shifts the bottom against the top by
// height × tan(tilt), at 30 degrees between the u and v axes. The scan
// covers 1.3 times the free height from 5 % above the top, one reading
// per step, `scanPoints` readings.
SpringModel LineSpringModel(const SimpleSpring& s, const CameraLayout& layout = {});

// The simulated line's spring: LineSpringModel seen through the installed
// calibration, with the stiffness of the options.
std::shared_ptr<CoilSpringSimModel> MakeLineSpring(const SimpleSpring& s,
                                                   const CameraLayout& layout = {});
