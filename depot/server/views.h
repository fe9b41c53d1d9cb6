#pragma once
// What every page and CSV of the server is made of: the page frame with its
// style, escaping, numbers as the pages write them, links, CSV files.

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace depot {

// Text for HTML and SVG: &, <, >, " escaped.
QByteArray Esc(const QString& s);
inline QByteArray Esc(const QByteArray& utf8) { return Esc(QString::fromUtf8(utf8)); }
// A number with a decimal comma and `decimals` places.
QString Num(double v, int decimals);
// A number or "—".
QString Opt(std::optional<double> v, int decimals);
// The share part/whole in per cent with one decimal, or "—".
QString Share(long long part, long long whole);

// A link with its query; every key and value percent-encoded whole, so that
// a path given as a value ("next") stays one value. Empty values are left out.
using Link = std::vector<std::pair<const char*, QByteArray>>;
QByteArray Url(const QByteArray& path, const Link& query);
// A day as links, forms and statements take it: YYYY-MM-DD, empty for none.
QByteArray IsoDate(const QDate& d);

// One spring type's page: the lines (empty: every line) of a depot (empty:
// every depot) over a period, with its baseline (both days or neither) and
// the shift to mark; `param` (1..6, 0 for none) the section to open at.
struct TypeTarget {
  QByteArray depot, line;
  int bogie = 1, spring = 1;
  QDate from, to, baseFrom, baseTo, shift;
  int param = 0;
};
// Its query, as the page's links and its CSV links carry it.
Link TypeParams(const TypeTarget& t);
// Its path and query ("/type?…#p2").
QByteArray TypeLink(const TypeTarget& t);

// The page: header bar (with the signed-in `user` and the sign-out button
// when there is one), the title and the body.
QByteArray Page(const QString& title, const QByteArray* user, const QByteArray& body);

// A CSV file for spreadsheets as the quality rules write it (springdata's
// export alike): UTF-8 with its mark, ";" between fields, CRLF line ends.
QByteArray Csv(const QList<QByteArray>& columns, const std::vector<QList<QByteArray>>& rows);
// The same with the columns written as one header text, ";" between them.
QByteArray Csv(const QByteArray& header, const std::vector<QList<QByteArray>>& rows);
// A number with a decimal comma (`decimals` places, or 10 significant digits).
QByteArray CsvNum(std::optional<double> v, int decimals = -1);
// A stored 32-bit value as springdata writes it: the shortest exact text.
QByteArray CsvValue(const std::optional<QByteArray>& text);

// A word of the quality rules' field text.
QByteArray Word(std::string_view word);
// A verdict: "Норма", "Брак", or nothing for none.
QByteArray Verdict(std::optional<bool> good);
// A wagon number as the pages show it: "не задан" where the line had none
// (empty, or the line's "?").
QByteArray Wagon(const QByteArray& number);
bool WagonGiven(const QByteArray& number);
// "да" or "нет".
QByteArray YesNo(bool yes);

}  // namespace depot
