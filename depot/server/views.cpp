#include "server/views.h"

#include <QUrl>

#include "quality/csv.h"

namespace depot {

QByteArray Esc(const QString& s) { return s.toHtmlEscaped().toUtf8(); }

QString Num(double v, int decimals) { return QString::number(v, 'f', decimals).replace('.', ','); }

QString Opt(std::optional<double> v, int decimals) { return v ? Num(*v, decimals) : QStringLiteral("—"); }

QString Share(long long part, long long whole) {
  return whole > 0 ? Num(100.0 * part / whole, 1) + " %" : QStringLiteral("—");
}

bool WagonGiven(const QByteArray& number) { return !number.isEmpty() && number != "?"; }

QByteArray Wagon(const QByteArray& number) { return WagonGiven(number) ? Esc(number) : QByteArray("не задан"); }

QByteArray IsoDate(const QDate& d) { return d.toString(Qt::ISODate).toUtf8(); }

QByteArray Url(const QByteArray& path, const Link& query) {
  QByteArray out = path;
  char sep = '?';
  for (const auto& [k, v] : query) {
    if (v.isEmpty()) continue;
    out += sep + QUrl::toPercentEncoding(QString::fromUtf8(k)) + '=' + QUrl::toPercentEncoding(QString::fromUtf8(v));
    sep = '&';
  }
  return out;
}

Link TypeParams(const TypeTarget& t) {
  Link q = {{"depot", t.depot}, {"line", t.line}, {"bogie", QByteArray::number(t.bogie)},
            {"spring", QByteArray::number(t.spring)}, {"from", IsoDate(t.from)}, {"to", IsoDate(t.to)}};
  if (t.baseFrom.isValid() && t.baseTo.isValid()) {
    q.push_back({"bfrom", IsoDate(t.baseFrom)});
    q.push_back({"bto", IsoDate(t.baseTo)});
  }
  q.push_back({"shift", IsoDate(t.shift)});
  return q;
}

QByteArray TypeLink(const TypeTarget& t) {
  return Url("/type", TypeParams(t)) + (t.param ? "#p" + QByteArray::number(t.param) : QByteArray());
}

QByteArray Page(const QString& title, const QByteArray* user, const QByteArray& body) {
  QByteArray out =
      "<!DOCTYPE html><html lang=\"ru\"><head><meta charset=\"utf-8\"><meta name=\"viewport\" content=\"width=device-width\"><title>" + Esc(title) +
      " — депо</title><style>"
      "body{font-family:sans-serif;margin:0;color:#222;background:#f6f7f9}"
      "header{background:#234;color:#fff;padding:8px 16px;display:flex;flex-wrap:wrap;gap:18px;align-items:center}"
      "header a{color:#fff;text-decoration:none}header .who{margin-left:auto}"
      "header form{display:inline}header button{background:none;border:1px solid #fff;color:#fff;cursor:pointer}"
      "main{padding:12px 16px}table{border-collapse:collapse;background:#fff;margin:8px 0;"
      "display:block;overflow-x:auto;max-width:fit-content}"
      "td,th{border:1px solid #ccc;padding:3px 8px;text-align:left}td.n{text-align:right}"
      "tr.stale td{background:#fdd}.flag{color:#b00;font-weight:bold}.chart{display:block;margin:8px 0;border:1px solid #ccc;"
      "max-width:100%;height:auto;box-sizing:border-box}"
      "form.filter{background:#fff;border:1px solid #ccc;padding:8px;margin:8px 0}form.filter label{margin-right:12px}"
      ".err{color:#b00}.csv{font-size:90%}"
      // The attention matrix: the colour and the reason written in each cell.
      "td.red,li.red,span.red{background:#f8c8c8}td.amber,li.amber,span.amber{background:#fbe6a6}"
      "td.green,span.green{background:#cfeccf}td.none{color:#888}#matrix td{max-width:22em;font-size:90%}"
      "#matrix td a{color:#222}#attention li{margin:3px 0;padding:2px 6px}"
      ".pair{display:flex;flex-wrap:wrap;gap:8px}.pair>svg{flex:1 1 420px;min-width:0}"
      "table.small td{font-size:90%}table.places{margin:2px 0}table.places td,table.places th{padding:0 5px;font-size:85%}svg a circle{cursor:pointer}"
      // Printed on A4: no navigation nor forms, charts whole, each on its own.
      "@media print{@page{size:A4;margin:12mm}body{background:#fff}header,form.filter,.csv,.noprint{display:none}"
      "main{padding:0}table{display:table;max-width:100%}.chart{break-inside:avoid;page-break-inside:avoid;width:100%}"
      "section{break-before:page;page-break-before:always}h2,h3,p{break-after:avoid;page-break-after:avoid}"
      ".pair{display:block}a{color:inherit;text-decoration:none}"
      "td.red,li.red,span.red,td.amber,li.amber,span.amber,td.green,span.green{print-color-adjust:exact;"
      "-webkit-print-color-adjust:exact}}"
      "</style></head><body><header><b>Пружины: депо</b>";
  if (user) {
    out += "<a href=\"/\">Линии</a><a href=\"/search\">Поиск</a><span class=\"who\">" + Esc(*user) +
           "</span><form method=\"post\" action=\"/logout\"><button>Выйти</button></form>";
  }
  return out + "</header><main><h1>" + Esc(title) + "</h1>" + body + "</main></body></html>";
}

QByteArray Csv(const QList<QByteArray>& columns, const std::vector<QList<QByteArray>>& rows) {
  QByteArray out = QByteArray(quality::kCsvByteOrderMark.data(), quality::kCsvByteOrderMark.size()) +
                   quality::CsvRow(columns);
  for (const auto& row : rows) out += quality::CsvRow(row);
  return out;
}

QByteArray Csv(const QByteArray& header, const std::vector<QList<QByteArray>>& rows) {
  return Csv(header.split(';'), rows);
}

QByteArray CsvNum(std::optional<double> v, int decimals) { return quality::CsvNumber(v, ',', decimals); }

QByteArray CsvValue(const std::optional<QByteArray>& text) {
  if (!text) return {};
  return quality::FloatText(text->toFloat(), ',');
}

QByteArray Word(std::string_view word) { return QByteArray(word.data(), static_cast<qsizetype>(word.size())); }

QByteArray Verdict(std::optional<bool> good) {
  if (!good) return {};
  return Word(*good ? quality::kGood : quality::kBad);
}

QByteArray YesNo(bool yes) { return Word(yes ? quality::kYes : quality::kNo); }

}  // namespace depot
