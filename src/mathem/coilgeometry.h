#pragma once
// The coil diameter and the non-perpendicularity of a spring from the peaks
// the filter chain leaves on the cameras, and the two automatic chains that
// the measurement runs after every camera read-out. Each step of the chains
// is reported to the observer of mathobserver.h.
//
// The cameras look at the spring along two perpendicular axes u and v:
// camera 1 at v = 0 and camera 3 at v = Vb on lines of constant u, camera 2
// at u = 0 and camera 4 at u = Va on lines of constant v. Three of them (all
// but NMCam) give three points of the coil's outline; the circle through
// them gives the diameter.

#include <QPointF>
#include <QString>

struct TCoilResults {
  float MeasuredDiameter = 0;
  float MeasuredNonPerpendicularity = 0;
  // The two axis coordinates of the upper coil (set by DiameterStep) and of
  // the lower coil (set by NonPerpendicularityStep).
  float T1 = 0, T2 = 0;
  float B1 = 0, B2 = 0;
  // Why the last diameter is not a circle's (three points in a line), or a
  // calibration table could not be read; empty when all went well.
  QString geometryFault;
};

extern TCoilResults CoilResults;

// Tests: every result back to zero.
void ResetCoilResults();

// The camera left out of the computation: NMCam, or its default 1 when the
// setting names no camera.
int LeftOutCamera();

// d(n): the distance camera n measures to the peak of its chosen coil.
float CameraDistance(int camera);

// The three points (u, v) used for the circle and the two axis coordinates
// of the coil, from the distances d[1..4].
struct CoilPoints {
  QPointF p1, p2, p3;
  float a1 = 0, a2 = 0;
};
CoilPoints PointsFromDistances(const float d[5]);

// The diameter of the circle through three points (u, v); 0 when the points
// lie on a line and no circle passes through them.
double CircleDiameter(QPointF p1, QPointF p2, QPointF p3, bool* collinear = nullptr);

// "D" written with width 5 and 2 decimals, as the caption shows it.
QString DiameterText(double d);

void DiameterStep();
void NonPerpendicularityStep();
int SpringTypeByDiameter(double d);
void ComputeDiameter();
void ComputeNonPerpendicularity();
