#pragma once
// The spring the simulated line measures. The line simulator asks it what
// the press and the cameras would see; a model that follows the profile
// mathematics more closely can replace the simple one by implementing the
// same interface.

#include <cstdint>
#include <vector>

// Force per millimetre of compression of the modelled springs, ADC units.
// The installed outer spring of bogie type 1 (working load 14000 units,
// deflection under it judged within 44..54 mm) deflects 46.7 mm at this
// rate and stays short of solid at its pre-load of 26000 units.
constexpr double kDefaultStiffness = 300.0;

class SimSpringModel {
 public:
  virtual ~SimSpringModel() = default;
  // Height of the unloaded spring, mm.
  virtual double FreeHeight() const = 0;
  // Compression under a press force in ADC units, mm.
  virtual double Deflection(int force) const = 0;
  // The raw point values camera n (1..4) delivers for one scan: each is a
  // position along the camera line in 1/32 units with the camera's offset
  // of 2048 added; 0 means the camera saw no wire at that step.
  virtual std::vector<uint32_t> ScanPoints(int camera) const = 0;
};

// A helical spring seen by four cameras standing 90 degrees apart: every
// coil passes each camera's line of sight once per turn and shows as an arc
// of readings, the arcs separated by gaps. A tilt of the spring's axis moves
// the arcs linearly with height, towards two cameras and away from the other
// two.
struct SimpleSpring {
  double freeHeight = 249.0;             // mm
  double coilDiameter = 190.0;           // outer diameter, mm
  double wireDiameter = 30.0;            // mm
  double pitch = 48.0;                   // mm per turn
  double tiltDegrees = 0.5;              // axis against the vertical
  double stiffness = kDefaultStiffness;  // ADC units per mm of compression
  int scanPoints = 1000;                 // readings per scan
};

class SimpleSpringModel : public SimSpringModel {
 public:
  explicit SimpleSpringModel(const SimpleSpring& s = {}) : s_(s) {}
  double FreeHeight() const override { return s_.freeHeight; }
  double Deflection(int force) const override;
  std::vector<uint32_t> ScanPoints(int camera) const override;
  const SimpleSpring& Spring() const { return s_; }

 private:
  SimpleSpring s_;
};
