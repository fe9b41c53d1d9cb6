#pragma once
// A modelled spring in front of the four line cameras: what each camera
// would read while the spring is scanned along its height, the camera files
// a read-out would write for it, and calibration tables that turn those
// readings back into distances. The simulated line, the tests and the
// benchmarks use it to produce profiles from which the profile mathematics
// recovers the modelled coil diameter and non-perpendicularity. Test
// equipment: the program itself never links it.

#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

struct SpringModel {
  double coilDiameter = 210;   // outer diameter of the coils, mm
  double wireDiameter = 30;    // mm
  double pitch = 48;           // height of one turn, mm
  double height = 280;         // free height, mm
  double tilt = 0;             // sideways shift of the bottom against the top, mm
  double tiltAzimuthDeg = 30;  // direction of that shift in the (u, v) plane
  double centreU = 180;        // axis of the top coil, mm
  double centreV = 180;
  double phaseDeg = 0;      // angle at which the wire leaves the top
  int topIndex = 50;        // reading index of the spring's top
  int readings = 1000;      // readings per camera
  double scanStep = 0.325;  // height per reading, mm
  unsigned noiseSeed = 0;   // 0: clean; otherwise sporadic dropouts and specks
};

// Where the cameras stand ([Mathem] gx1..gx4, Va, Vb of the settings).
struct CameraLayout {
  double gx[5] = {0, 80, 80, 80, 80};
  double Va = 360;
  double Vb = 360;
};
CameraLayout LayoutFromSettings();

// The calibration a modelled camera reads through. Without tables of its
// own it is linear: table line i holds base - step * i millimetres, so a
// larger reading means a nearer edge. With tables (tables[n], 2048 lines,
// e.g. the installed Tabl1\cal<n>.txt) each camera reads through its own.
struct ModelCalibration {
  double base = 160;
  double step = 0.1;
  std::vector<double> tables[5];
};

// Takes the installed tables Tabl1\cal1..4.txt; false when one can't be read.
bool LoadInstalledCalibration(ModelCalibration* cal);

double CalibrationDistance(const ModelCalibration& cal, int line, int camera = 1);
// The reading whose table line is nearest to the distance; 2047 ("no
// reading") when the distance is beyond the table.
int ReadingForDistance(const ModelCalibration& cal, double distance, int camera = 1);
// The 2048 lines of camera n's calibration table.
QStringList CalibrationTableLines(const ModelCalibration& cal, int camera = 1);
// Writes Tabl1\cal1.txt .. cal4.txt.
bool WriteCalibrationTables(const ModelCalibration& cal);

// The distance from camera n to the nearest wire edge on its line of sight
// at a depth below the spring's top, or a negative value when it sees none.
double ModelEdgeDistance(const SpringModel& spring, const CameraLayout& layout, int camera,
                         double depth);

// The readings of camera n, one per scan step (element 0 is reading 1).
std::vector<int> ModelProfile(const SpringModel& spring, const CameraLayout& layout,
                              const ModelCalibration& cal, int camera);

// The bytes of a camera's read-out as the camera file holds them: three
// header bytes for the number of readings, then four bytes per reading
// (a missing reading as four zero bytes).
QList<int> CameraFileBytes(const std::vector<int>& readings);
// Writes prefix + "cmr<n>.txt" (one byte per line).
bool WriteCameraFile(int camera, const std::vector<int>& readings,
                     const QString& prefix = QString());
// Models the four cameras and writes their files.
bool WriteModelledScan(const SpringModel& spring, const CameraLayout& layout,
                       const ModelCalibration& cal, const QString& prefix = QString());
