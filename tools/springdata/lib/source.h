#pragma once
// The engineers' view of an installation folder: its settings and bogie file
// loaded as the program loads them, and its record files streamed in blocks
// through a filter. Nothing here writes into the folder.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>

#include "database/records.h"

namespace springdata {

// Opens DIR as the program would with --home DIR: reads setup.ini and the
// bogie file it names. False with `error` set for a folder that does not
// exist or is not an installation of the line (no setup.ini, no Report
// folder). What the bogie file's load could not take as written lands in
// `warnings`, one line each.
bool OpenInstallation(const QString& dir, QString& error, QStringList& warnings);

// The mapped paths of the record files of the open installation.
QString BasePath();
QString DayPath();
QString TelPath();

// Which measurements to take. Unset members take everything.
struct RecordFilter {
  std::optional<double> fromDay;   // first day, as a day number (whole day)
  std::optional<double> untilDay;  // last day, inclusive
  std::optional<int> bogieType;    // 1-based
  std::optional<int> springType;   // within the bogie type, 1-based
  bool Accepts(const MeasurementRecord& r) const;
  // Sets are dated by their DDMMYYYY text; a set whose date does not read is
  // left out of a date range.
  bool AcceptsSetDate(const QString& ddmmyyyy) const;
};

// Resolves the engineer's --bogie and --spring values, each a number or a
// name (bogie type: Name; spring type: Name or AltName, letter case ignored),
// against the loaded table. A value the table does not hold is an error that
// lists what it holds; nothing is guessed. A spring type named without a
// bogie type must be unambiguous.
bool ResolveTypes(const QString& bogie, const QString& spring, RecordFilter& filter,
                  QString& error);

// "YYYY-MM-DD" to a day number; empty optional when it does not read.
std::optional<double> ParseDay(const QString& text);

// Progress and findings of a streamed run, for standard error.
struct StreamReport {
  // (file name, records done, records in the file), called after every block.
  std::function<void(const QString&, qint64, qint64)> progress;
  // One line per finding: a file with a broken tail, a record of an unknown
  // bogie or spring type (counted, reported once per type).
  QStringList findings;
  qint64 read = 0;      // whole records read
  qint64 accepted = 0;  // records that passed the filter
  // Unknown types seen: (bogie, spring) -> records; spring 0 when the bogie
  // type itself is unknown.
  std::map<std::pair<int, int>, qint64> unknownTypes;
};

// Streams the measurements of one record file (mapped path) in blocks,
// calling `each` with every record that passes the filter and its 0-based
// position. A file whose size is not a whole number of records gives its
// whole records and a finding that says so. False with `error` on a read
// failure; a missing file is an error too (an installation always has it).
bool StreamMeasurements(const QString& path, const RecordFilter& filter,
                        const std::function<void(const MeasurementRecord&, qint64)>& each,
                        StreamReport& report, QString& error);
// The same without decoding the texts, chart and auxiliary values: `each`
// gets the stored bytes of the record and its values (DecodeMeasurementValues,
// one record kept across the run), both valid during the call. For writers
// that take a record's texts from its bytes.
bool StreamMeasurementBytes(
    const QString& path, const RecordFilter& filter,
    const std::function<void(const char* record, const MeasurementRecord& values, qint64)>& each,
    StreamReport& report, QString& error);
// The same for the set archive.
bool StreamSets(const QString& path, const RecordFilter& filter,
                const std::function<void(const SetRecord&, qint64)>& each, StreamReport& report,
                QString& error);

// Adds the unknown-type lines to report.findings (once, at the end of a run).
void ReportUnknownTypes(StreamReport& report);

}  // namespace springdata
