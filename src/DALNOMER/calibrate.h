#pragma once
// The height scale of the line, tied to a reference cylinder of known height.
// Calibrate.txt (working folder) holds two reals, one a line: the known
// height of the cylinder and the correction (known height − measured
// height) that the reference measurement stores and the check measurement
// adds to what it measures. Heights are millimetres in single precision.

#include <QString>
#include <cstdint>
#include <optional>

constexpr const char* kCalibrateFile = "Calibrate.txt";

// The largest correction a reference measurement may store, in mm. The
// press reads the cylinder to a few tenths of a millimetre once the scale
// is set up; a reading further than this from the known height is no
// reading of the cylinder (a failed position reply, the wrong cylinder, the
// press not on it), and storing it would shift every later height by as
// much.
constexpr float kMaxCalibrationCorrection = 20.0f;

struct CalibrateValues {
  float knownHeight = 0;
  float correction = 0;
};

// The height of the press from the raw 0x11 position reading (0..65535).
float CalibrationHeight(int raw);

// A real as Calibrate.txt holds it: 23 characters, a sign place (blank or
// "-"), 15 significant digits and a signed four-digit exponent, e.g.
// " 2.50000000000000E+0002".
QString FormatCalibrateReal(double value);

// The two values of Calibrate.txt; nothing when the file is missing or its
// first two lines are not numbers, with the reason, naming the file, in
// *error.
std::optional<CalibrateValues> ReadCalibrateFile(QString* error = nullptr);

// Writes both values. The new file replaces the old one only once it is
// whole on the disk, so a power cut leaves the old file or the new one.
bool WriteCalibrateFile(const CalibrateValues& values, QString* error = nullptr);

// The reference measurement's result: keeps the known height and stores
// known − measured as the correction. A file that can't be read is left as
// it is: no known height is ever made up. A correction larger than
// kMaxCalibrationCorrection either way is not stored; *error then gives the
// two heights and the bound, one clause a line.
bool StoreReferenceCorrection(float measured, QString* error = nullptr);

// Why a calibration measurement has no height when the controller did not
// answer one of its commands (0x0C scan, 0x02 press up, 0x11 position), in
// two lines for the page.
QString CalibrationExchangeFault(uint8_t command);

// The check measurement's result: the measured height plus the stored
// correction; nothing when the file can't be read.
std::optional<float> CorrectedHeight(float measured, QString* error = nullptr);
