#pragma once
// The text files of a fresh installation: the configuration, the bogie and
// spring-type norms, the camera calibration tables, the calibration cylinder,
// the operator's error texts, the printed parameter names and the date of
// the last verification.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// The name setup.ini gives the bogie and spring-type file of the installation.
inline const QString kChassieFileName = QStringLiteral("Chassie.ini");

// setup.ini: every key with its default and comment, emulation on, and the
// bogie and spring-type file named.
QString SetupIniText();

// The bogie and spring-type file: bogie type 1 with spring types in
// [Spring1]..[Spring3], bogie type 2 with [Spring4] and [Spring5], the way
// the parameter editor expects them.
QStringList ChassieIniLines();

// Tabl1\cal<camera>.txt: 2048 distances in millimetres, one per camera
// position, rising with the position.
QStringList CalibrationTableLines(int camera);

// Calibrate.txt: the height of the reference cylinder and a zero correction.
QStringList CalibrateLines();

// The error page texts, one file per code.
struct TErrorText {
  int code;
  QStringList lines;
};
const std::vector<TErrorText>& ErrorTexts();

// texts\pparam.txt: a heading line, then the printed names of parameters 1..6.
QStringList ParameterNameLines();

// Config\pov.dat: one little-endian IEEE double, the verification date.
QByteArray VerificationDateRecord(double days);
