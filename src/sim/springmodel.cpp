#include "sim/springmodel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "config/settings.h"
#include "mathem/profiles.h"
#include "platform/inifile.h"
#include "platform/textfile.h"

CameraLayout LayoutFromSettings() {
  CameraLayout l;
  for (int n = 1; n <= 4; ++n) l.gx[n] = Settings.Mathem.gx[n];
  l.Va = Settings.Mathem.Va;
  l.Vb = Settings.Mathem.Vb;
  return l;
}

bool LoadInstalledCalibration(ModelCalibration* cal) {
  for (int n = 1; n <= 4; ++n) {
    const auto lines = plat::ReadTextLines(QString("Tabl1\\cal%1.txt").arg(n));
    if (!lines || lines->size() < 2048) return false;
    std::vector<double>& t = cal->tables[n];
    t.clear();
    for (int i = 0; i < 2048; ++i) {
      const auto v = plat::ParseFloat(lines->at(i));
      if (!v) return false;
      t.push_back(*v);
    }
  }
  return true;
}

double CalibrationDistance(const ModelCalibration& cal, int line, int camera) {
  const std::vector<double>& t = cal.tables[camera >= 1 && camera <= 4 ? camera : 1];
  if (!t.empty()) return t.at(std::clamp(line, 0, static_cast<int>(t.size()) - 1));
  return cal.base - cal.step * line;
}

int ReadingForDistance(const ModelCalibration& cal, double distance, int camera) {
  const std::vector<double>& t = cal.tables[camera >= 1 && camera <= 4 ? camera : 1];
  int line;
  if (t.empty()) {
    line = static_cast<int>(std::lround((cal.base - distance) / cal.step));
  } else {
    // Lines 65.. are the ones readings reach.
    line = -1;
    double best = 0.5;  // a distance further than this from every line is not seen
    for (int i = 65; i < static_cast<int>(t.size()); ++i)
      if (std::fabs(t[i] - distance) < best) best = std::fabs(t[i] - distance), line = i;
    if (line < 0) return kNoReading;
  }
  const int reading = line - 65;  // a reading reads table line reading + 65
  return (reading < 0 || reading > 2046) ? kNoReading : reading;
}

QStringList CalibrationTableLines(const ModelCalibration& cal, int camera) {
  QStringList lines;
  for (int i = 0; i < 2048; ++i)
    lines << QString::number(CalibrationDistance(cal, i, camera), 'f', 3);
  return lines;
}

bool WriteCalibrationTables(const ModelCalibration& cal) {
  for (int n = 1; n <= 4; ++n)
    if (!plat::WriteTextLines(QString("Tabl1\\cal%1.txt").arg(n), CalibrationTableLines(cal, n)))
      return false;
  return true;
}

namespace {

constexpr double kPi = std::numbers::pi;

// A camera's line of sight: origin and unit direction in (u, v).
struct Ray {
  double u, v, du, dv;
};

Ray CameraRay(const CameraLayout& l, int camera) {
  switch (camera) {
    case 1:
      return {l.gx[1], 0, 0, 1};
    case 2:
      return {0, l.gx[2], 1, 0};
    case 3:
      return {l.gx[3], l.Vb, 0, -1};
    default:
      return {l.Va, l.gx[4], -1, 0};
  }
}

// Whether the point (u, v) at a depth below the top lies inside the wire:
// its distance to the helix centre line, measured across the wire, is below
// the wire's radius.
struct Helix {
  double rm, r, pitch, height, phase, cosLead, cu, cv, shiftU, shiftV;

  bool Inside(double u, double v, double depth) const {
    const double x = u - (cu + shiftU * depth / height);
    const double y = v - (cv + shiftV * depth / height);
    const double rho = std::hypot(x, y);
    if (std::fabs(rho - rm) >= r) return false;
    double turns = (std::atan2(y, x) - phase) / (2 * kPi);
    turns -= std::floor(turns);
    // Depth of the centre line at this angle in the nearest turn.
    const double k = std::round((depth - r) / pitch - turns);
    const double centreDepth = r + pitch * (turns + k);
    if (centreDepth < r || centreDepth > height - r) return false;
    const double across = (depth - centreDepth) * cosLead;
    return (rho - rm) * (rho - rm) + across * across < r * r;
  }
};

Helix MakeHelix(const SpringModel& s) {
  Helix h;
  h.r = s.wireDiameter / 2;
  h.rm = s.coilDiameter / 2 - h.r;
  h.pitch = s.pitch;
  h.height = s.height;
  h.phase = s.phaseDeg * kPi / 180;
  const double circumference = 2 * kPi * h.rm;
  h.cosLead = circumference / std::hypot(circumference, s.pitch);
  h.cu = s.centreU;
  h.cv = s.centreV;
  h.shiftU = s.tilt * std::cos(s.tiltAzimuthDeg * kPi / 180);
  h.shiftV = s.tilt * std::sin(s.tiltAzimuthDeg * kPi / 180);
  return h;
}

// A small deterministic generator for the noise of a modelled scan.
struct Noise {
  unsigned state;
  double Next() {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) / 16777216.0;
  }
};

}  // namespace

double ModelEdgeDistance(const SpringModel& spring, const CameraLayout& layout, int camera,
                         double depth) {
  if (depth < 0 || depth > spring.height) return -1;
  const Helix h = MakeHelix(spring);
  const Ray ray = CameraRay(layout, camera);
  // The ray can meet the wire only inside the outer cylinder at this depth.
  const double cu = h.cu + h.shiftU * depth / h.height, cv = h.cv + h.shiftV * depth / h.height;
  const double ox = ray.u - cu, oy = ray.v - cv;
  const double b = ox * ray.du + oy * ray.dv;
  const double c = ox * ox + oy * oy - (h.rm + h.r) * (h.rm + h.r);
  const double disc = b * b - c;
  if (disc <= 0) return -1;
  const double tIn = -b - std::sqrt(disc), tOut = -b + std::sqrt(disc);
  // Coarse steps find the wire, halving pins its edge down.
  constexpr double kStep = 0.25;
  double prev = std::max(tIn, 0.0);
  for (double t = prev; t <= tOut; t += kStep) {
    if (h.Inside(ray.u + t * ray.du, ray.v + t * ray.dv, depth)) {
      double lo = prev, hi = t;
      if (t == prev) return t;
      for (int i = 0; i < 12; ++i) {
        const double mid = (lo + hi) / 2;
        (h.Inside(ray.u + mid * ray.du, ray.v + mid * ray.dv, depth) ? hi : lo) = mid;
      }
      return hi;
    }
    prev = t;
    // Past the front of the wire the camera looks into the spring, where
    // the model sees nothing.
    const double x = ray.u + t * ray.du - cu, y = ray.v + t * ray.dv - cv;
    if (std::hypot(x, y) < h.rm - h.r) return -1;
  }
  return -1;
}

std::vector<int> ModelProfile(const SpringModel& spring, const CameraLayout& layout,
                              const ModelCalibration& cal, int camera) {
  std::vector<int> out(std::max(spring.readings, 0), kNoReading);
  for (int j = 1; j <= spring.readings; ++j) {
    const double d =
        ModelEdgeDistance(spring, layout, camera, (j - spring.topIndex) * spring.scanStep);
    if (d >= 0) out[j - 1] = ReadingForDistance(cal, d, camera);
  }
  if (spring.noiseSeed != 0) {
    Noise noise{spring.noiseSeed * 7919u + static_cast<unsigned>(camera)};
    for (size_t i = 1; i + 2 < out.size(); ++i) {
      const double x = noise.Next();
      if (out[i] != kNoReading && out[i - 1] != kNoReading && x < 0.02) {
        out[i] = kNoReading;  // a dropout inside a coil
      } else if (out[i] == kNoReading && out[i - 1] == kNoReading && out[i + 1] == kNoReading &&
                 out[i + 2] == kNoReading && x > 0.995) {
        out[i] = 300 + static_cast<int>(noise.Next() * 1000);  // a speck in a gap
      }
    }
  }
  return out;
}

QList<int> CameraFileBytes(const std::vector<int>& readings) {
  QList<int> bytes;
  const int header = 4 * static_cast<int>(readings.size()) + 2048;
  bytes << (header & 0xFF) << ((header >> 8) & 0xFF) << ((header >> 16) & 0xFF) * 16;
  for (int r : readings) {
    if (r < 0 || r > 2046) {
      bytes << 0 << 0 << 0 << 0;  // decodes below zero: no reading
      continue;
    }
    const int raw = r * 32 + 2048;
    bytes << (raw & 0xFF) << ((raw >> 8) & 0xFF) << 0 << ((raw >> 16) & 0xFF);
  }
  return bytes;
}

bool WriteCameraFile(int camera, const std::vector<int>& readings, const QString& prefix) {
  QStringList lines;
  for (int b : CameraFileBytes(readings)) lines << QString::number(b);
  return plat::WriteTextLines(QString("%1cmr%2.txt").arg(prefix).arg(camera), lines);
}

bool WriteModelledScan(const SpringModel& spring, const CameraLayout& layout,
                       const ModelCalibration& cal, const QString& prefix) {
  for (int n = 1; n <= 4; ++n)
    if (!WriteCameraFile(n, ModelProfile(spring, layout, cal, n), prefix)) return false;
  return true;
}
