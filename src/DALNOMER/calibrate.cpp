#include "DALNOMER/calibrate.h"

#include <cmath>

#include "platform/inifile.h"
#include "platform/textfile.h"

float CalibrationHeight(int raw) {
  // The press's zero count and its millimetres per count, with the offset
  // of the measuring table; all in single precision as the line's scale.
  return 258.5f - static_cast<float>(56802 - raw) * 0.03996f + 0.7f;
}

QString FormatCalibrateReal(double value) {
  if (!std::isfinite(value)) value = 0.0;
  int exponent = 0;
  double mantissa = std::fabs(value);
  if (mantissa != 0.0) {
    exponent = static_cast<int>(std::floor(std::log10(mantissa)));
    mantissa /= std::pow(10.0, exponent);
    // log10 may land a step off near a power of ten.
    if (mantissa < 1.0) {
      mantissa *= 10.0;
      --exponent;
    } else if (mantissa >= 10.0) {
      mantissa /= 10.0;
      ++exponent;
    }
    // Rounding to 15 digits may carry into the next power of ten.
    if (std::round(mantissa * 1e14) >= 1e15) {
      mantissa = 1.0;
      ++exponent;
    }
  }
  const QString digits = QString::number(mantissa, 'f', 14);
  const QString exp = QString("%1%2")
                          .arg(exponent < 0 ? '-' : '+')
                          .arg(std::abs(exponent), 4, 10, QChar('0'));
  return QString(value < 0 ? "-" : " ") + digits + "E" + exp;
}

std::optional<CalibrateValues> ReadCalibrateFile(QString* error) {
  const QString file = kCalibrateFile;
  const auto lines = plat::ReadTextLines(file);
  if (!lines) {
    if (error) *error = QString("Нет файла %1").arg(file);
    return std::nullopt;
  }
  std::optional<double> v[2];
  for (int i = 0; i < 2; ++i)
    if (i < lines->size()) v[i] = plat::ParseFloat(lines->at(i));
  if (!v[0] || !v[1]) {
    if (error) *error = QString("В файле %1 нет двух чисел").arg(file);
    return std::nullopt;
  }
  return CalibrateValues{static_cast<float>(*v[0]), static_cast<float>(*v[1])};
}

bool WriteCalibrateFile(const CalibrateValues& values, QString* error) {
  // Written whole: on a failure the old correction stays as it was.
  QString reason;
  const bool ok = plat::WriteTextLines(
      kCalibrateFile, {FormatCalibrateReal(values.knownHeight), FormatCalibrateReal(values.correction)},
      &reason);
  if (!ok && error)
    *error = QString("Не удалось записать файл %1: %2").arg(kCalibrateFile, reason);
  return ok;
}

bool StoreReferenceCorrection(float measured, QString* error) {
  const auto old = ReadCalibrateFile(error);
  if (!old) return false;
  const float correction = old->knownHeight - measured;
  // Not finite (a height from garbage) counts as beyond the bound.
  if (!(std::fabs(correction) <= kMaxCalibrationCorrection)) {
    if (error)
      *error = QString("Измерено H= %1 мм при цилиндре\n%2 мм: разница больше %3 мм,\nэто не замер цилиндра.\nФайл %4 не изменен.")
                   .arg(QString::asprintf("%.2f", static_cast<double>(measured)),
                        QString::asprintf("%.2f", static_cast<double>(old->knownHeight)))
                   .arg(static_cast<double>(kMaxCalibrationCorrection))
                   .arg(kCalibrateFile);
    return false;
  }
  return WriteCalibrateFile({old->knownHeight, old->knownHeight - measured}, error);
}

std::optional<float> CorrectedHeight(float measured, QString* error) {
  const auto values = ReadCalibrateFile(error);
  if (!values) return std::nullopt;
  return measured + values->correction;
}

QString CalibrationExchangeFault(uint8_t command) {
  const char* what = command == 0x0C   ? "сканирование"
                     : command == 0x02 ? "подъем пресса"
                     : command == 0x11 ? "положение пресса"
                                       : "команда";
  return QString("нет ответа контроллера на команду\n0x%1 (%2)")
      .arg(QString::number(command, 16).toUpper().rightJustified(2, '0'), what);
}
