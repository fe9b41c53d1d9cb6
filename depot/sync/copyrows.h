#pragma once
// The rows the sync sends to the depot database with COPY: for each table
// one list of its columns, each column's name beside the code that writes
// its value, so that the COPY's column list and the row cannot disagree.

#include <QByteArray>
#include <cstdint>
#include <limits>

#include "database/records.h"

namespace depot {

// The record files of a line's installation, as the `lines` row names them
// (base_records, day_check, ...) and as a measurement's `source` says where
// it was read.
enum class FileKind { Base, Day, Sets };
const char* FileKindName(FileKind kind);

// The stored day number as the moment it names: the line's local time (the
// time zone of this machine, which is the line's), in UTC for the database.
// Empty for a date that names no moment (a damaged record).
//
// A zone's offset changes only at its transitions, which fall on whole
// quarter hours of local time; so the conversion through the zone, the
// costly part of a row, is made once per quarter hour and its shift reused
// for the records of the same quarter (a local time that a transition skips
// is moved as the zone moves it, the same for the whole quarter).
class MeasuredAt {
 public:
  QByteArray operator()(double days);

 private:
  qint64 quarter_ = std::numeric_limits<qint64>::min();
  qint64 shift_ = 0;
  bool valid_ = false;
};

// The column lists of the COPY into `measurements` and `sets`.
const QByteArray& MeasurementCopyColumns();
const QByteArray& SetCopyColumns();

// One COPY row of a measurement read from `source` (base or day), judged as
// the line judges it with the loaded spring types; false (nothing appended)
// when its date reads as no moment.
bool AppendMeasurementRow(QByteArray& row, const QByteArray& line, const MeasurementRecord& r,
                          FileKind source, MeasuredAt& measuredAt);
// One COPY row of a set at `position` of the line's sets.
void AppendSetRow(QByteArray& row, const QByteArray& line, const SetRecord& r, qint64 position);

}  // namespace depot
