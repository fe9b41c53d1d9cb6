#pragma once
// What the line verification form shows: the date of the last verification
// (Config\pov.dat, an 8-byte little-endian day number since 30 December
// 1899, written by the verification procedure) and the equipment code, the
// sum of the CP1251 byte values of Depo1Name + DepoName + DeviceId.

#include <QDate>
#include <QString>
#include <optional>

inline const QString kVerificationDateFile = QStringLiteral("Config\\pov.dat");

// The date of the first record of Config\pov.dat; empty, with the reason
// naming the file in *error, when the file is missing, holds less than one
// record or no date.
std::optional<QDate> ReadVerificationDate(QString* error = nullptr);

// The sum of the character codes of the text in CP1251.
qint64 EquipmentCode(const QString& text);
