#pragma once
// One measurement of a spring, from the first stage picture to a filled
// MeasurementRecord: in emulation a simulated record, on the line the
// initialisation, the camera scan, the profile mathematics, the recognition
// of the spring type, the force steps, the free height and the type's
// corrections. What the operator sees of it (the stage pictures, the box
// "ИДЕТ ЗАМЕР", the markers, the spring-type page, the error pages, the
// visualiser) goes through the observer that the measurement page installs;
// without one the measurement runs unseen.

#include <QString>
#include <functional>

#include "database/records.h"

// The states of a stage picture PROC<n>_<state>.bmp.
enum class StageState { Waiting = 1, Running = 2, Done = 3 };

// The small squares in the canvas's top-left corner that tell the service
// engineer a value was substituted.
enum class MeasurementMarker {
  TinyDeflection,   // blue: p6 below 20 replaced ([Debug] notiny)
  SoftSpring,       // green: p6 below its minimum replaced ([Debug] nohard)
  NonPerpendicular  // dark red: p3 replaced ([Debug] nocurve)
};

struct TMeasurementObserver {
  std::function<void()> measuringBox;                // "ИДЕТ" / "ЗАМЕР"
  std::function<void(int stage, StageState)> stage;  // stages 1..4
  std::function<void(MeasurementMarker)> marker;
  // The operator names the spring type of the bogie type; the page returns
  // a type of the bogie type, or 0 when no key can pick one.
  std::function<int(int bogie)> chooseSpringType;
  // A fault of the line: the error page of the code (in the program it ends
  // the program; when it returns the measurement stops).
  std::function<void(int code)> errorPage;
  // The measurement stopped for a reason that is no fault of the line (a
  // camera file that could not be written); text names the file.
  std::function<void(const QString& text)> stopped;
  // After a measurement on the line with [Mathem] MathVisEnable: the
  // mathematics visualiser, modally.
  std::function<void()> showVisualiser;
};

struct TMeasurementState {
  TMeasurementObserver observer;
};

extern TMeasurementState Measurement;

// Tests: no observer.
void ResetMeasurementModule();

// Error pages of the sequence.
constexpr int kLineInitError = 9;
constexpr int kFirstForceError = 11;
constexpr int kSecondForceError = 12;
// A reading of the press that did not come: the LIR reset (0x09), the
// displacement (0x0F), the raising of the press (0x02), its position (0x11).
// Nothing is stored from such a measurement; the press is raised first
// where it can be.
constexpr int kLirResetError = 17;
constexpr int kDisplacementError = 18;
constexpr int kPressUpError = 19;
constexpr int kPositionError = 20;
// The error page of camera n is kCameraErrorBase + n.
constexpr int kCameraErrorBase = 12;
// The controller did not carry out the camera scan (long 0x0C): no camera
// is to blame, and nothing is stored.
constexpr int kScanRefusedError = 21;

// --- The readings of the controller's replies -------------------------------
// p5 from the 0x0F reading: a raw value above 32000 is a negative count.
double DisplacementMm(int raw);
// p6 from the reply of the second force level.
double DeflectionMm(int raw);
// p2 from the 0x11 reading after the press was raised.
double FreeHeightMm(int raw);
// p5 is kept only when greater than the spring type's Odf.
double ThresholdDisplacement(double p5, double odf);

// The spring type a diameter d shows on the bogie type in use when it is 1
// or 2, and the diameter the record keeps (d - 60 for type 3 on bogie type
// 1, d - 56 for type 2 on bogie type 2). Other bogie types keep
// workingType and d.
struct RecognisedType {
  int springType = 0;
  double diameter = 0;
};
RecognisedType RecogniseSpringType(double d, int workingType);

// --- Records ----------------------------------------------------------------
// A whole record for the bogie type in use and the spring type: simulated
// values around the type's nominal ones, a simulated defect with
// [Params] BrakGenerate, chart points, auxiliary values, the wagon numbers
// of the shift state.
MeasurementRecord BuildSimulatedRecord(const QString& identifier, int springType);
// The chart points and auxiliary values from the record's spring type and
// p6 (every other point and value 0).
void FillChartAndAux(MeasurementRecord& record);
// The corrections and substitutions of the working spring type on the line,
// in their order (diameter, height and deflection corrected; tiny and soft
// deflections; the diameters of the inner springs; the non-perpendicularity).
void ApplyCorrections(MeasurementRecord& record, int workingType);

// One measurement, named with MeasurementIdentifier(number). True when the
// record is complete; false when it stopped (an error page that returned,
// a file that could not be written), with the reason in error.
bool MeasureSpring(MeasurementRecord& record, int number, QString& error);
// The same where the reason is not wanted (the observer has shown it).
bool MeasureSpring(MeasurementRecord& record, int number);
