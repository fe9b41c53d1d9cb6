#include "DALNOMER/calibration.h"

#include "platform/inifile.h"
#include "platform/textfile.h"

namespace {
struct TCalibrationState {
  QString lastError;
};
TCalibrationState CalibrationState;
}  // namespace

int CalibrationLineIndex(int position) {
  const int index = position + kCalibrationShift;
  return (index < 0 || index >= kCalibrationLines) ? 0 : index;
}

std::optional<float> CalibrationLookup(int camera, int position, QString* error) {
  const QString file = QString("Tabl1\\cal%1.txt").arg(camera);
  const int index = CalibrationLineIndex(position);
  const auto lines = plat::ReadTextLines(file);
  if (!lines) {
    if (error) *error = QString("Нет таблицы калибровки камеры %1 (%2)").arg(camera).arg(file);
    return std::nullopt;
  }
  if (index >= lines->size()) {
    if (error)
      *error = QString("В таблице калибровки %1 нет строки %2 (строк: %3)")
                   .arg(file)
                   .arg(index + 1)
                   .arg(lines->size());
    return std::nullopt;
  }
  const auto value = plat::ParseFloat(lines->at(index));
  if (!value) {
    if (error)
      *error = QString("Строка %1 таблицы калибровки %2 не является числом: \"%3\"")
                   .arg(index + 1)
                   .arg(file)
                   .arg(lines->at(index));
    return std::nullopt;
  }
  return static_cast<float>(*value);
}

float CalibrationValue(int camera, int position) {
  QString error;
  const auto v = CalibrationLookup(camera, position, &error);
  if (!v) {
    CalibrationState.lastError = error;
    return 0.0f;
  }
  CalibrationState.lastError.clear();
  return *v;
}

QString CalibrationError() { return CalibrationState.lastError; }

double InstalledCalibrationDistance(int camera, int line) {
  static const double kBase[5] = {0, 30.0, 30.4, 29.7, 30.2};
  static const double kSlope[5] = {0, 0.0800, 0.0798, 0.0803, 0.0801};
  constexpr double kCurve = 0.000008;
  const int c = (camera >= 1 && camera <= 4) ? camera : 1;
  const int fromEnd = 2047 - line;
  return kBase[c] + kSlope[c] * fromEnd + kCurve * fromEnd * fromEnd;
}
