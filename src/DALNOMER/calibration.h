#pragma once
// The camera calibration tables Tabl1\cal1.txt .. cal4.txt: line i (from 0)
// holds the distance in millimetres of table position i, for i = 0..2047.
// A camera position p reads line p + 65; a line index outside 0..2047 reads
// line 0.

#include <QString>
#include <optional>

constexpr int kCalibrationLines = 2048;
constexpr int kCalibrationShift = 65;

// The table line a camera position reads.
int CalibrationLineIndex(int position);

// The distance for a camera position, read afresh from the camera's table;
// nothing when the table is missing, too short or the line is not a number,
// with the reason (in the operator's language) put into *error.
std::optional<float> CalibrationLookup(int camera, int position, QString* error = nullptr);

// As CalibrationLookup; a table that can't be read gives 0 and keeps the
// reason in CalibrationError() until the next successful lookup.
float CalibrationValue(int camera, int position);
QString CalibrationError();

// The table a new installation gets for camera n (1..4) until the line is
// calibrated: 227..30 mm over the 2048 lines with the slight progression of
// a triangulating lens, the cameras differing a little as mounted cameras
// do. The distance falls as the line rises: the profile processing takes a
// coil's largest reading as its point nearest to the camera.
double InstalledCalibrationDistance(int camera, int line);
