#include "source.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <cmath>

#include "config/settings.h"
#include "database/recordfile.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "springs/springtypes.h"

namespace springdata {

bool OpenInstallation(const QString& dir, QString& error, QStringList& warnings) {
  const QFileInfo info(dir);
  if (!info.exists()) {
    error = QStringLiteral("folder %1 does not exist").arg(dir);
    return false;
  }
  if (!info.isDir()) {
    error = QStringLiteral("%1 is not a folder").arg(dir);
    return false;
  }
  plat::SetHome(info.absoluteFilePath());
  const bool hasSetup = QFileInfo(plat::MapProgramPath("setup.ini")).isFile();
  const bool hasReport = QFileInfo(plat::MapPath("Report")).isDir();
  if (!hasSetup || !hasReport) {
    error = QStringLiteral("%1 is not an installation of the line: %2 missing")
                .arg(dir, !hasSetup ? QStringLiteral("setup.ini is") : QStringLiteral("the Report folder is"));
    return false;
  }
  ResetSettingsModule();
  LoadSettings();
  ResetSpringTypesModule();
  const QString bogieFile = plat::MapProgramPath(Settings.Params.ChassieIniFilename);
  if (!QFileInfo(bogieFile).isFile())
    warnings << QStringLiteral("the bogie file %1 named by setup.ini does not exist: "
                               "no bogie or spring type is known")
                    .arg(Settings.Params.ChassieIniFilename);
  LoadSpringTypesFrom(bogieFile);
  const QString report = SpringTypesLoadReport();
  if (!report.isEmpty())
    for (const QString& line : report.split('\n', Qt::SkipEmptyParts)) warnings << line;
  return true;
}

QString BasePath() { return plat::MapPath("Report\\base.bin"); }
QString DayPath() { return plat::MapPath("Report\\day.bin"); }
QString TelPath() { return plat::MapPath("Report\\Tel.bin"); }

bool RecordFilter::Accepts(const MeasurementRecord& r) const {
  if (bogieType && r.BogieType != *bogieType) return false;
  if (springType && r.SpringType != *springType) return false;
  if (fromDay || untilDay) {
    // A damaged date (NaN) is outside every range.
    if (!std::isfinite(r.Date)) return false;
    const double day = std::floor(r.Date);
    if (fromDay && day < *fromDay) return false;
    if (untilDay && day > *untilDay) return false;
  }
  return true;
}

bool RecordFilter::AcceptsSetDate(const QString& ddmmyyyy) const {
  if (!fromDay && !untilDay) return true;
  const QDate d = QDate::fromString(ddmmyyyy, QStringLiteral("ddMMyyyy"));
  if (!d.isValid()) return false;
  const double day = std::floor(plat::DateTimeToDays(QDateTime(d, QTime(0, 0))));
  if (fromDay && day < *fromDay) return false;
  if (untilDay && day > *untilDay) return false;
  return true;
}

std::optional<double> ParseDay(const QString& text) {
  const QDate d = QDate::fromString(text, Qt::ISODate);
  if (!d.isValid()) return std::nullopt;
  return std::floor(plat::DateTimeToDays(QDateTime(d, QTime(0, 0))));
}

namespace {

QString Known(const QStringList& items) {
  return items.isEmpty() ? QStringLiteral("none") : items.join(", ");
}

}  // namespace

bool ResolveTypes(const QString& bogie, const QString& spring, RecordFilter& filter,
                  QString& error) {
  const TSpringTypeTable& table = SpringTypeTable();
  if (!bogie.isEmpty()) {
    QStringList known;
    bool isNumber = false;
    const int number = bogie.toInt(&isNumber);
    for (int b = 1; b <= table.MaxChNum && b <= kMaxBogieTypes; ++b) {
      known << QStringLiteral("%1 \"%2\"").arg(b).arg(table[b].Name);
      if ((isNumber && number == b) ||
          (!isNumber && table[b].Name.compare(bogie, Qt::CaseInsensitive) == 0)) {
        if (!filter.bogieType) filter.bogieType = b;
      }
    }
    if (!filter.bogieType) {
      error = QStringLiteral("unknown bogie type \"%1\"; the bogie file holds %2")
                  .arg(bogie, Known(known));
      return false;
    }
  }
  if (spring.isEmpty()) return true;
  bool isNumber = false;
  const int number = spring.toInt(&isNumber);
  QStringList known;
  std::optional<std::pair<int, int>> found;
  bool ambiguous = false;
  for (int b = 1; b <= table.MaxChNum && b <= kMaxBogieTypes; ++b) {
    if (filter.bogieType && b != *filter.bogieType) continue;
    for (int s = 1; s <= table[b].MaxSprings && s <= kMaxSpringTypes; ++s) {
      const SpringType& t = table[b].springTypes[s];
      known << QStringLiteral("%1/%2 \"%3\"").arg(b).arg(s).arg(t.AltName);
      const bool match = isNumber ? number == s
                                  : t.AltName.compare(spring, Qt::CaseInsensitive) == 0 ||
                                        t.Name.compare(spring, Qt::CaseInsensitive) == 0;
      if (!match) continue;
      if (found && found->first != b) ambiguous = true;
      if (!found) found = std::make_pair(b, s);
    }
  }
  if (!found) {
    error = QStringLiteral("unknown spring type \"%1\"; the bogie file holds (bogie/spring) %2")
                .arg(spring, Known(known));
    return false;
  }
  if (ambiguous) {
    error = QStringLiteral("spring type \"%1\" exists under more than one bogie type; "
                           "name the bogie type with --bogie")
                .arg(spring);
    return false;
  }
  filter.bogieType = found->first;
  filter.springType = found->second;
  return true;
}

namespace {

// The common block loop of both record kinds.
bool StreamBlocks(const QString& path, int recordSize, StreamReport& report, QString& error,
                  const std::function<void(const char*, qint64)>& each) {
  if (!QFileInfo(path).isFile()) {
    error = QStringLiteral("%1 does not exist").arg(QDir::toNativeSeparators(path));
    return false;
  }
  const std::optional<qint64> size = recfile::FileSize(path, error);
  if (!size) return false;
  const qint64 count = *size / recordSize;
  const qint64 rest = *size % recordSize;
  const QString name = QFileInfo(path).fileName();
  if (rest != 0)
    report.findings << QStringLiteral("%1: %2 bytes are not a whole number of %3-byte records; "
                                      "its %4 whole records are read, the last %5 bytes are left out")
                           .arg(QDir::toNativeSeparators(path))
                           .arg(*size)
                           .arg(recordSize)
                           .arg(count)
                           .arg(rest);
  const bool ok = recfile::Scan(path, recordSize, 0, count, [&](const char* block, qint64 first, qint64 n) {
    for (qint64 k = 0; k < n; ++k) each(block + k * recordSize, first + k);
    report.read += n;
    if (report.progress) report.progress(name, first + n, count);
  }, error);
  if (ok && count == 0 && report.progress) report.progress(name, 0, 0);
  return ok;
}

}  // namespace

bool StreamMeasurementBytes(
    const QString& path, const RecordFilter& filter,
    const std::function<void(const char* record, const MeasurementRecord& values, qint64)>& each,
    StreamReport& report, QString& error) {
  MeasurementRecord r;
  return StreamBlocks(path, kMeasurementRecordSize, report, error,
                      [&](const char* bytes, qint64 position) {
                        DecodeMeasurementValues(bytes, r);
                        if (!filter.Accepts(r)) return;
                        ++report.accepted;
                        if (!RecordSpringType(r)) {
                          const int spring = RecordBogieType(r) ? r.SpringType : 0;
                          ++report.unknownTypes[{r.BogieType, spring}];
                        }
                        each(bytes, r, position);
                      });
}

bool StreamMeasurements(const QString& path, const RecordFilter& filter,
                        const std::function<void(const MeasurementRecord&, qint64)>& each,
                        StreamReport& report, QString& error) {
  return StreamMeasurementBytes(
      path, filter,
      [&](const char* bytes, const MeasurementRecord&, qint64 position) {
        each(DecodeMeasurementRecord(bytes), position);
      },
      report, error);
}

bool StreamSets(const QString& path, const RecordFilter& filter,
                const std::function<void(const SetRecord&, qint64)>& each, StreamReport& report,
                QString& error) {
  return StreamBlocks(path, kSetRecordSize, report, error, [&](const char* bytes, qint64 position) {
    const SetRecord r = DecodeSetRecord(bytes);
    if (!filter.AcceptsSetDate(r.Date)) return;
    ++report.accepted;
    each(r, position);
  });
}

void ReportUnknownTypes(StreamReport& report) {
  for (const auto& [types, n] : report.unknownTypes) {
    if (types.second == 0)
      report.findings << QStringLiteral("%1 records name bogie type %2, which the bogie file "
                                        "does not hold: exported without names and not judged")
                             .arg(n)
                             .arg(types.first);
    else
      report.findings << QStringLiteral("%1 records name spring type %2 of bogie type %3, which "
                                        "the bogie file does not hold: exported without names "
                                        "and not judged")
                             .arg(n)
                             .arg(types.second)
                             .arg(types.first);
  }
}

}  // namespace springdata
