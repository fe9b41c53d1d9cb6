#include "mathem/coilgeometry.h"

#include <cmath>

#include "DALNOMER/calibration.h"
#include "config/settings.h"
#include "mathem/mathobserver.h"
#include "mathem/profiles.h"
#include "platform/pump.h"
#include "springs/springtypes.h"

TCoilResults CoilResults;

void ResetCoilResults() {
  CoilResults = TCoilResults();
}

int LeftOutCamera() {
  const int n = Settings.Mathem.NMCam;
  return (n >= 1 && n <= 4) ? n : 1;
}

float CameraDistance(int camera) {
  const int position = static_cast<int>(std::trunc(ProfileStore.window[camera].peak));
  return CalibrationValue(camera, position) + static_cast<float>(Settings.Mathem.dmm[camera]);
}

CoilPoints PointsFromDistances(const float d[5]) {
  const auto& m = Settings.Mathem;
  const int left = LeftOutCamera();
  const float va = static_cast<float>(m.Va), vb = static_cast<float>(m.Vb);
  float gx[5];
  for (int n = 1; n <= 4; ++n) gx[n] = static_cast<float>(m.gx[n]);
  const float u4 = (Settings.Global.Volhov && left == 2) ? d[4] : va - d[4];
  const QPointF c1(gx[1], d[1]), c2(d[2], gx[2]), c3(gx[3], vb - d[3]), c4(u4, gx[4]);
  CoilPoints p;
  switch (left) {
    case 1:
      p = {c2, c4, c3, vb - d[3], u4};
      break;
    case 2:
      p = {c1, c4, c3, d[1], u4};
      break;
    case 3:
      p = {c1, c4, c2, d[1], u4};
      break;
    default:
      p = {c1, c2, c3, d[1], d[2]};
      break;
  }
  return p;
}

double CircleDiameter(QPointF a, QPointF b, QPointF c, bool* collinear) {
  const double x1 = a.x(), y1 = a.y(), x2 = b.x(), y2 = b.y(), x3 = c.x(), y3 = c.y();
  // The 0.0001 keeps a vertical chord from dividing by zero.
  const double g = (y2 - y1) / (x2 - x1 + 0.0001);
  const double h = (y3 - y2) / (x3 - x2 + 0.0001);
  const double mx12 = (x1 + x2) / 2, my12 = (y1 + y2) / 2;
  const double mx23 = (x2 + x3) / 2, my23 = (y2 + y3) / 2;
  if (collinear) *collinear = false;
  if (g == h) {
    // Equal slopes: the points lie on one line and no circle passes
    // through them.
    if (collinear) *collinear = true;
    return 0;
  }
  const double X = (g * mx23 - h * mx12 + g * h * (my23 - my12)) / (g - h);
  // A level chord P1P2 has a vertical bisector: take the centre's height
  // from the bisector of P2P3 instead.
  const double Y = g != 0 ? my12 - (X - mx12) / g : my23 - (X - mx23) / h;
  const double r = std::sqrt((X - x1) * (X - x1) + (Y - y1) * (Y - y1));
  if (!std::isfinite(r)) {
    if (collinear) *collinear = true;
    return 0;
  }
  return 2 * r;
}

QString DiameterText(double d) {
  return QString("%1").arg(d, 5, 'f', 2);
}

namespace {

// The distances of every camera that takes part, and the fault of a
// calibration table that could not be read.
void Distances(float d[5], QString* fault) {
  const int left = LeftOutCamera();
  for (int n = 1; n <= 4; ++n) {
    d[n] = 0;
    if (n == left) continue;
    d[n] = CameraDistance(n);
    if (!CalibrationError().isEmpty() && fault->isEmpty()) *fault = CalibrationError();
  }
}

// The cleaning steps, each reported before the next one runs.
void FilterChain() {
  for (auto step : kCleaningSteps) RunStepAndReport(step);
}

void LoadAndShow() {
  LoadProfiles(0);
  ReportMathemStep(MathemStep::ProfilesChanged);
  plat::ProcessMessages();
}

}  // namespace

void DiameterStep() {
  float d[5];
  QString fault;
  Distances(d, &fault);
  const CoilPoints p = PointsFromDistances(d);
  CoilResults.T1 = p.a1;
  CoilResults.T2 = p.a2;
  bool collinear = false;
  const double D = CircleDiameter(p.p1, p.p2, p.p3, &collinear);
  if (collinear && fault.isEmpty())
    fault = QString("Точки витка лежат на одной прямой: диаметр не определен");
  CoilResults.geometryFault = fault;
  CoilResults.MeasuredDiameter = static_cast<float>(D);
  ReportMathemStep(MathemStep::DiameterFound);
}

void NonPerpendicularityStep() {
  float d[5];
  QString fault;
  Distances(d, &fault);
  const CoilPoints p = PointsFromDistances(d);
  CoilResults.B1 = p.a1;
  CoilResults.B2 = p.a2;
  const double dx = std::fabs(CoilResults.B1 - CoilResults.T1);
  const double dy = std::fabs(CoilResults.B2 - CoilResults.T2);
  const double result = 1.3 * std::sqrt(dx * dx + dy * dy);
  // Distances that are no numbers give no result to store.
  if (!std::isfinite(result) && fault.isEmpty())
    fault = QString("Неперпендикулярность не определена");
  CoilResults.MeasuredNonPerpendicularity =
      std::isfinite(result) ? static_cast<float>(result) : 0.0f;
  if (!fault.isEmpty()) CoilResults.geometryFault = fault;
  ReportMathemStep(MathemStep::NonPerpendicularityFound);
}

int SpringTypeByDiameter(double d) {
  const auto& k = Settings.Mathem.k;
  switch (CurrentBogieType()) {
    case 1: {
      int s = 1;
      if (k[13] < d && d <= k[14]) s = 2;
      if (d > k[15]) s = 3;
      return s;
    }
    case 2:
      return d > k[16] ? 2 : 1;
    default:
      return 1;
  }
}

void ComputeDiameter() {
  if (ProfileStore.faultCamera != 0) return;  // no profile to work on
  FilterChain();
  RunStepAndReport(SelectSecondCoil);
  RunStepAndReport(CutTail);
  RunStepAndReport(FindPeak);
  DiameterStep();
  ReportMathemStep(MathemStep::SpringSearched);
}

void ComputeNonPerpendicularity() {
  LoadProfiles(0);
  if (ProfileStore.faultCamera != 0) return;
  ComputeDiameter();
  ReportMathemStep(MathemStep::ProfilesChanged);
  plat::ProcessMessages();
  LoadAndShow();
  if (ProfileStore.faultCamera != 0) return;
  FilterChain();
  RunStepAndReport(SelectLowerCoil);
  RunStepAndReport(CutTail);
  RunStepAndReport(FindPeak);
  NonPerpendicularityStep();
}
