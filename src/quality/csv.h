#pragma once
// The measurement data as CSV for spreadsheets, the same from springdata's
// export and from the depot's page: UTF-8 with a byte-order mark, ";"
// between fields, CRLF at the end of every row, fields quoted as RFC 4180
// does (a field holding ";", a quote, CR or LF is put in quotes, its quotes
// doubled), numbers with a decimal comma unless told otherwise. A field a
// spreadsheet would run as a formula (one starting with "=", "@", a tab, a
// carriage return, or "+" or "-" when it is not a number) gets a "'" before
// it, so that it stays the text it is. The column
// sets of the measurement and set exports and the words of their fields
// stand here once.

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace quality {

// Written first, so that the spreadsheet reads UTF-8.
inline constexpr std::string_view kCsvByteOrderMark = "\xEF\xBB\xBF";

// Appends one field, quoted when it must be. The QString form narrows an
// ASCII text in place, without a UTF-8 copy.
void AppendCsvField(std::string& out, std::string_view utf8);
void AppendCsvField(std::string& out, const QString& text);
QByteArray CsvField(const QByteArray& utf8);

// One row: every field quoted when it must be, ";" between them, CRLF.
QByteArray CsvRow(const QList<QByteArray>& fields);
// The first row of a file: the byte-order mark and the row of the names.
QByteArray CsvHeader(const QList<QByteArray>& columns);

// The shortest text that reads back as the same 32-bit value, with the given
// decimal point; `buf` holds the characters of the view.
std::string_view FloatChars(float v, char decimalPoint, char (&buf)[32]);
QByteArray FloatText(float v, char decimalPoint);

// A computed number: ten significant digits, or `decimals` after the point;
// empty for no value.
QByteArray CsvNumber(std::optional<double> v, char decimalPoint = ',', int decimals = -1);

// The words of the fields.
inline constexpr std::string_view kGood = "Норма";
inline constexpr std::string_view kBad = "Брак";
inline constexpr std::string_view kNotJudged = "Не оценен";
inline constexpr std::string_view kYes = "да";
inline constexpr std::string_view kNo = "нет";
// The kind of a measurement: "ускоренный" for an accelerated one, else
// "полный" (0), "быстрый" (1) or the stored number.
void AppendKindText(std::string& out, int kind, bool accelerated);
QByteArray KindText(int kind, bool accelerated);

// The columns of the measurement export, in order: file, position,
// identifier, date and time, bogie and spring type (number, name,
// designation), kind, per parameter 1..6 name, value and verdict, the overall
// verdict, the height group, the two wagons, and "Эмуляция" and
// "Ускоренный замер" last.
QList<QByteArray> MeasurementColumns();

// The columns of the set export: position, date, the bogie, per side frame
// its markings and the groups of its outer and inner springs by place, the
// two wagons.
QList<QByteArray> SetColumns();

// The seven places of a side frame in the order the set record keeps them.
extern const char* const kSetPlaces[7];

}  // namespace quality
