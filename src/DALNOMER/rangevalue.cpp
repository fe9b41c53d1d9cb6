#include "DALNOMER/rangevalue.h"

#include <algorithm>

#include "DALNOMER/calibration.h"
#include "config/settings.h"

int RangePointValue(uint8_t b6, uint8_t b7, uint8_t b8, uint8_t b9) {
  // The weights overlap (256 and 4096); they are added as the camera sends them.
  const uint32_t point = b6 + 256u * b7 + 4096u * b8 + 65536u * b9;
  return static_cast<int>(std::min<uint32_t>(point >> 5, kMaxCameraUnits));
}

std::optional<int> RangeValueFromReply(const uint8_t* frame, int frameLength, bool complete,
                                       int camera) {
  // A complete frame ends with its delimiter; one cut short by silence ends
  // with the last byte that came.
  const int lastByte = frameLength <= 0 ? 0 : (complete ? frameLength - 2 : frameLength - 1);
  if (lastByte < 9 || frame[1] != static_cast<uint8_t>(camera)) return std::nullopt;
  return RangePointValue(frame[6], frame[7], frame[8], frame[9]);
}

std::optional<double> RangeDistance(int camera, int value, QString* error) {
  // The lookup adds 65 to the position, so the line read is the value's own.
  const auto line = CalibrationLookup(camera, value - kCalibrationShift, error);
  if (!line) return std::nullopt;
  const double offset = camera >= 1 && camera <= 4 ? Settings.Mathem.dmm[camera] : 0.0;
  return *line + offset;
}

QString RangeMillimetreText(double distance) {
  return QString::asprintf("%5.2f", distance);
}
