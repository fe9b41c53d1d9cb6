#include <algorithm>
#include <cmath>

#include "server/alarms.h"
#include "server/handlers.h"
#include "server/queries.h"
#include "server/railwayqueries.h"
#include "server/views.h"

namespace depot {

namespace {

const char* const kLinesHeader =
    "Линия;Замеров сегодня;Годных сегодня;Доля годных сегодня, %;Замеров за неделю;"
    "Годных за неделю;Доля годных за неделю, %;Эмулированных за неделю;Последний замер;"
    "Последняя синхронизация;Нет синхронизации больше часа";

std::optional<double> SharePercent(long long part, long long whole) {
  if (whole <= 0) return std::nullopt;
  return std::round(1000.0 * part / whole) / 10;
}

}  // namespace

void LinesCsv(const Request&, httplib::Response& res) {
  const Answer<LineRow> lines = LineRow::Fetch();
  std::vector<QList<QByteArray>> out;
  for (const LineRow& l : lines.rows)
    out.push_back({l.name, QByteArray::number(l.today), QByteArray::number(l.todayGood),
                   CsvNum(SharePercent(l.todayGood, l.todayJudged), 1), QByteArray::number(l.week),
                   QByteArray::number(l.weekGood), CsvNum(SharePercent(l.weekGood, l.weekJudged), 1),
                   QByteArray::number(l.weekEmulated), l.lastMeasurement, l.lastSync, YesNo(l.stale)});
  res.set_content(Csv(kLinesHeader, out).toStdString(), "text/csv; charset=utf-8");
}

void LinesPage(const Request& r, httplib::Response& res) {
  const QByteArray depotCode = r.Get("depot");
  const Answer<LineRow> lines = LineRow::Fetch(depotCode);
  // At the centre lines of several depots may share a name.
  const bool central = IsCentral();
  QByteArray body;
  body += "<table id=\"lines\"><tr><th>Линия</th><th>Сегодня</th><th>Годных сегодня</th><th>За неделю</th>"
          "<th>Годных за неделю</th><th>Эмуляция за неделю</th><th>Последний замер</th>"
          "<th>Последняя синхронизация</th></tr>";
  for (const LineRow& l : lines.rows) {
    body += QByteArray("<tr") + (l.stale ? " class=\"stale\"" : "") + " data-line=\"" + Esc(l.name) +
            "\"" + (central ? " data-depot=\"" + Esc(l.depot) + "\"" : QByteArray()) + "><td><a href=\"" +
            Esc(Url("/types", {{"line", l.name}})) + "\">" + (central ? Esc(l.depot) + " · " : QByteArray()) +
            Esc(l.name) + "</a></td><td class=\"n today\">" + QByteArray::number(l.today) + "</td><td class=\"n\">" +
            Esc(Share(l.todayGood, l.todayJudged)) + "</td><td class=\"n week\">" +
            QByteArray::number(l.week) + "</td><td class=\"n\">" + Esc(Share(l.weekGood, l.weekJudged)) +
            "</td><td class=\"n\">" + QByteArray::number(l.weekEmulated) + "</td><td>" +
            (l.lastMeasurement.isEmpty() ? "—" : l.lastMeasurement) + "</td><td>" +
            (l.lastSync.isEmpty() ? "никогда" : l.lastSync) +
            (l.stale ? " <span class=\"flag\">нет синхронизации больше часа</span>" : "") + "</td></tr>";
  }
  body += "</table><p class=\"csv\"><a href=\"/lines.csv\">Скачать CSV</a> · "
          "<a href=\"/types\">Типы пружин на всех линиях</a></p>"
          "<p>Эмулированные записи не считаются замерами. Доля годных — среди оценённых записей.</p>";
  body += RecentAlarmsHtml();
  const Answer<DatabaseZone> zone = DatabaseZone::Fetch();
  body += "<p>Дни, недели и смены — по часовому поясу базы данных: <b id=\"zone\">" +
          Esc(zone.rows.empty() ? QByteArray() : zone.rows[0].name) + "</b>.</p>";
  const QString title = depotCode.isEmpty() ? QStringLiteral("Линии")
                                            : QStringLiteral("Линии депо ") + QString::fromUtf8(depotCode);
  res.set_content(Page(title, &r.user, body).toStdString(), "text/html; charset=utf-8");
}

void TypesPage(const Request& r, httplib::Response& res) {
  const QByteArray line = r.Get("line");
  const Answer<TypeRow> types = TypeRow::Fetch(line);
  QByteArray body;
  body += QByteArray("<table><tr><th>Тип тележки</th><th>Тип пружины</th><th>Замеров за 90 дней</th>") +
          (line.isEmpty() ? "<th>Линии</th>" : "") + "</tr>";
  for (const TypeRow& t : types.rows) {
    // A type number the lines name differently leads to its lines only.
    const bool apart = std::count_if(types.rows.begin(), types.rows.end(), [&](const TypeRow& o) {
                         return o.bogie == t.bogie && o.spring == t.spring;
                       }) > 1;
    const QByteArray link =
        Url("/type", {{"line", line.isEmpty() && apart ? t.lines : line}, {"bogie", t.bogie}, {"spring", t.spring}});
    body += "<tr><td>" + t.bogie + " " + Esc(t.bogieName) + "</td><td><a href=\"" + Esc(link) + "\">" + t.spring +
            " " + Esc(t.springName) + "</a></td><td class=\"n\">" + t.records + "</td>" +
            (line.isEmpty() ? "<td class=\"lines\">" + Esc(t.lines) + "</td>" : QByteArray()) + "</tr>";
  }
  body += "</table>";
  const QString title = line.isEmpty() ? QStringLiteral("Типы пружин: все линии")
                                       : QStringLiteral("Типы пружин: линия ") + QString::fromUtf8(line);
  res.set_content(Page(title, &r.user, body).toStdString(), "text/html; charset=utf-8");
}

}  // namespace depot
