#pragma once
// Measurements and sets written out for the engineer: CSV for spreadsheets
// and JSON Lines for programs.
//
// CSV: the columns and field text of the quality rules (quality/csv.h):
// UTF-8 with a byte-order mark, ";" between fields, CRLF, RFC 4180 quoting.
// Numbers carry a decimal comma unless told otherwise, dates read
// "dd.MM.yyyy HH:mm:ss": a spreadsheet in a Russian locale takes both as
// numbers and dates. The first row names the columns.
//
// JSON Lines: one UTF-8 object per line, "." in numbers, ISO dates.

#include <QByteArray>
#include <QString>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "database/records.h"
#include "quality/csv.h"
#include "sink.h"

namespace springdata {

enum class Format { Csv, Jsonl };

// The CSV field text is the quality rules', shared with the depot's pages.
using quality::CsvField;
using quality::FloatText;
using quality::kSetPlaces;

// Writes measurements one by one. The names of bogie and spring types and of
// the parameters come from the loaded bogie file; every record is judged by
// JudgeMeasurement. A value the line did not measure (ValueMeasured: the
// parameters 1, 3 and 4 of a fast measurement, every parameter the record
// marks as not measured) is left empty with its verdict in the CSV and is
// null in JSON, as the pages leave it blank; so are the names, verdicts and
// height group of a record whose bogie or spring type the file does not
// hold. The last two CSV columns ("да"/"нет") and JSON fields (true/false)
// say whether the record was made in emulation and whether it is an
// accelerated measurement, whose kind reads "ускоренный".
class MeasurementWriter {
 public:
  MeasurementWriter(Sink& sink, Format format, char decimalPoint = ',');
  void Header();
  // `file` names the record file ("base" or "day").
  void Write(const MeasurementRecord& r, const char* file, qint64 position);
  // The same from the record's stored bytes and its decoded values
  // (StreamMeasurementBytes): the CSV takes the texts straight from the
  // bytes, without a QString each.
  void Write(const char* record, const MeasurementRecord& values, const char* file, qint64 position);

 private:
  // The names of one known (bogie, spring) type pair in UTF-8, and for CSV
  // the same as finished fields: the run "bogie no;bogie;spring no;spring;
  // designation;" and each parameter name with its ";".
  struct TypeTexts {
    bool known = false;
    QByteArray bogie, spring, designation;
    QByteArray param[7];
    std::string csvTypes;
    std::string csvParam[7];
  };
  const TypeTexts* Texts(int bogie, int spring);
  // Judges the record and finds its names and height group.
  const TypeTexts* Judge(const MeasurementRecord& r, int& group);
  // `record` is null when the texts come from `r`.
  void WriteCsv(const MeasurementRecord& r, const char* record, const char* file, qint64 position,
                const TypeTexts* texts, int group);
  // The CSV field of a text of the record: from its stored bytes at `offset`
  // when there are any (as they stand when they need nothing done), else
  // from `text`; made in `field` when it is not the bytes themselves.
  std::string_view TextField(const char* record, int offset, int chars, const QString& text,
                             std::string& field);
  void WriteJson(const MeasurementRecord& r, const char* file, qint64 position,
                 const TypeTexts* texts, int group);

  Sink& sink_;
  Format format_;
  char point_;
  std::map<std::pair<int, int>, TypeTexts> texts_;
  std::vector<const TypeTexts*> byTypes_;  // by bogie type * 256 + spring type
  // The text of the day of the row before ("dd.MM.yyyy ").
  qint64 day_ = 0;
  std::string dayText_;
  std::string text_;
  std::string fields_[6];
};

// Writes the assembled spring sets of Tel.bin.
class SetWriter {
 public:
  SetWriter(Sink& sink, Format format);
  void Header();
  void Write(const SetRecord& r, qint64 position);

 private:
  Sink& sink_;
  Format format_;
};

}  // namespace springdata
