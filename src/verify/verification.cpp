#include "verify/verification.h"

#include <QtEndian>
#include <cmath>
#include <cstring>

#include "platform/clock.h"
#include "platform/cp1251.h"
#include "platform/paths.h"
#include "platform/textfile.h"

std::optional<QDate> ReadVerificationDate(QString* error) {
  const auto fail = [error](const QString& why) -> std::optional<QDate> {
    if (error)
      *error = QStringLiteral("%1: %2").arg(plat::MapPath(kVerificationDateFile), why);
    return std::nullopt;
  };
  const auto bytes = plat::ReadFileBytes(kVerificationDateFile);
  if (!bytes) return fail(QStringLiteral("файл отсутствует или не читается"));
  if (bytes->size() < 8) return fail(QStringLiteral("в файле нет даты (%1 байт)").arg(bytes->size()));
  const quint64 bits = qFromLittleEndian<quint64>(bytes->constData());
  double days = 0;
  std::memcpy(&days, &bits, sizeof days);
  // Beyond the years a date can be shown in, the record is no date at all.
  if (!std::isfinite(days) || days < -693593 || days > 2958465)
    return fail(QStringLiteral("в файле нет даты"));
  const QDate date = plat::DaysToDateTime(days).date();
  if (!date.isValid()) return fail(QStringLiteral("в файле нет даты"));
  return date;
}

qint64 EquipmentCode(const QString& text) {
  qint64 sum = 0;
  for (const char c : plat::ToCp1251(text)) sum += static_cast<unsigned char>(c);
  return sum;
}
