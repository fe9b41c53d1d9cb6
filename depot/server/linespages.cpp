#include <algorithm>
#include <cmath>
#include <map>

#include "server/alarms.h"
#include "server/attention.h"
#include "server/charts.h"
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

namespace {

// The period and baseline of the matrix, as the type pages take them, and at
// the railway's centre its depot (none: every depot's).
AttentionQuery MatrixPeriod(const Request& r) {
  AttentionQuery q;
  q.depot = r.Get("depot");
  q.to = r.Date("to");
  if (!q.to.isValid()) q.to = QDate::currentDate();
  q.from = r.Date("from");
  if (!q.from.isValid()) q.from = q.to.addDays(-29);
  CheckPeriod(q.from, q.to);
  q.baseFrom = r.Date("bfrom");
  q.baseTo = r.Date("bto");
  CheckPeriod(q.baseFrom, q.baseTo);
  if (!q.baseFrom.isValid() || !q.baseTo.isValid()) q.baseFrom = q.baseTo = QDate();
  return q;
}

QByteArray CellLink(const AttentionQuery& q, const Cell& c) {
  // At the centre the cell is that depot's line, never the same-named lines
  // of every depot pooled.
  return TypeLink({IsCentral() ? c.depot : QByteArray(), c.line, c.bogie, c.spring, q.from, q.to, q.baseFrom, q.baseTo, {}, 0});
}

QByteArray TypeName(const Cell& c) {
  return QByteArray::number(c.bogie) + " " + Esc(c.bogieName) + " / " + QByteArray::number(c.spring) + " " +
         Esc(c.springName);
}

QByteArray ReasonsText(const Cell& c) {
  if (c.reasons.empty()) return "в норме";
  QByteArray out;
  for (const Reason& reason : c.reasons)
    out += (out.isEmpty() ? "" : "; ") + Esc(reason.text);
  return out;
}

// A matrix row's line; at the centre over every depot, with its depot.
QByteArray LineName(const Cell& c, bool depotNamed) {
  return (depotNamed ? Esc(c.depot) + " · " : QByteArray()) + Esc(c.line);
}

// "Требует внимания" (the red and amber cells, worst first), then the matrix
// of lines × types: a row a line of one depot.
QByteArray AttentionMatrix(const AttentionQuery& q, bool central) {
  const std::vector<Cell> cells = Attention(q);
  const bool depotNamed = central && q.depot.isEmpty();
  QByteArray out = "<form class=\"filter\" method=\"get\" action=\"/lines\"><label>Период с <input type=\"date\" "
                   "name=\"from\" value=\"" + IsoDate(q.from) + "\"></label><label>по <input type=\"date\" name=\"to\" "
                   "value=\"" + IsoDate(q.to) + "\"></label><label>Базовый период с <input type=\"date\" name=\"bfrom\" "
                   "value=\"" + IsoDate(q.baseFrom) + "\"></label><label>по <input type=\"date\" name=\"bto\" value=\"" +
                   IsoDate(q.baseTo) + "\"></label>" +
                   (q.depot.isEmpty() ? QByteArray() : "<input type=\"hidden\" name=\"depot\" value=\"" + Esc(q.depot) + "\">") +
                   "<button>Показать</button></form>";
  out += "<h2>Требует внимания</h2>";
  QByteArray list;
  for (const Cell& c : cells)
    if (c.status != Status::Green)
      list += QByteArray("<li class=\"") + StatusClass(c.status) + "\" data-line=\"" + Esc(c.line) + "\" data-type=\"" +
              QByteArray::number(c.bogie) + "/" + QByteArray::number(c.spring) + "\"" +
              (central ? " data-depot=\"" + Esc(c.depot) + "\"" : QByteArray()) + "><a href=\"" + Esc(CellLink(q, c)) +
              "\">" + (depotNamed ? "депо " + Esc(c.depot) + ", " : QByteArray()) + "линия " + Esc(c.line) + ", " +
              TypeName(c) + "</a>: " + ReasonsText(c) + "</li>";
  out += list.isEmpty() ? QByteArray("<p id=\"attention\">Всё в норме.</p>")
                        : "<ul id=\"attention\">" + list + "</ul>";
  // Rows by line, then depot.
  std::map<std::pair<QByteArray, QByteArray>, const Cell*> lines;
  std::map<std::pair<int, int>, QByteArray> typeNames;
  for (const Cell& c : cells) {
    lines.emplace(std::pair(c.line, c.depot), &c);
    typeNames.emplace(std::pair(c.bogie, c.spring), TypeName(c));
  }
  out += "<h2>Линии и типы пружин за период</h2><table id=\"matrix\"><tr><th>Линия</th>";
  for (const auto& [type, name] : typeNames) out += "<th>" + name + "</th>";
  out += "</tr>";
  for (const auto& [key, first] : lines) {
    const auto& [line, depotCode] = key;
    out += "<tr" + (central ? " data-depot=\"" + Esc(depotCode) + "\"" : QByteArray()) + "><th>" +
           LineName(*first, depotNamed) + "</th>";
    for (const auto& [type, name] : typeNames) {
      const auto c = std::find_if(cells.begin(), cells.end(), [&](const Cell& x) {
        return x.line == line && x.depot == depotCode && x.bogie == type.first && x.spring == type.second;
      });
      if (c == cells.end()) {
        out += "<td class=\"none\">не измерялся</td>";
        continue;
      }
      out += QByteArray("<td class=\"") + StatusClass(c->status) + "\" data-line=\"" + Esc(line) + "\" data-type=\"" +
             QByteArray::number(type.first) + "/" + QByteArray::number(type.second) + "\"><a href=\"" +
             Esc(CellLink(q, *c)) + "\">" + ReasonsText(*c) + "</a></td>";
    }
    out += "</tr>";
  }
  return out + "</table><p class=\"legend\"><span class=\"red\">красный</span> — правило 1 Western Electric в последних "
               "5 сменах, Cpk за месяц ниже 1,0 или брак вдвое выше базового; <span class=\"amber\">жёлтый</span> — "
               "правила 2–4, Cpk ниже 1,33, брак в 1,5 раза выше базового или нет замеров 2 дня; "
               "<span class=\"green\">зелёный</span> — в норме.</p>";
}

// The 12 weeks up to the period's end.
QDate TwelveWeeksBefore(const QDate& to) { return to.addDays(1 - to.dayOfWeek()).addDays(-7 * 11); }

// The share rejected per week and line over the 12 weeks up to the period's end.
QByteArray RejectedByWeek(const QDate& to, const Answer<RejectedWeek>& rows) {
  const QDate from = TwelveWeeksBefore(to);
  std::vector<QString> weeks;
  for (QDate w = from; w <= to; w = w.addDays(7)) weeks.push_back(w.toString(QStringLiteral("dd.MM")));
  std::map<QByteArray, std::vector<const RejectedWeek*>> byLine;
  for (const RejectedWeek& w : rows.rows) byLine[w.line].push_back(&w);
  std::vector<Series> series;
  QByteArray table = "<table id=\"rejected\"><tr><th>Линия</th>";
  for (const QString& w : weeks) table += "<th>" + Esc(w) + "</th>";
  table += "</tr>";
  for (const auto& [line, list] : byLine) {
    Series one{QString::fromUtf8(line), SeriesColour(series.size()), std::vector<std::optional<double>>(weeks.size())};
    table += "<tr data-line=\"" + Esc(line) + "\"><th>" + Esc(line) + "</th>";
    for (size_t i = 0; i < weeks.size(); ++i) {
      const QByteArray monday = IsoDate(from.addDays(7 * static_cast<int>(i)));
      const auto w = std::find_if(list.begin(), list.end(), [&](const RejectedWeek* x) { return x->week == monday; });
      if (w != list.end() && (*w)->judged > 0) one.values[i] = 100.0 * (*w)->rejected / (*w)->judged;
      table += "<td class=\"n\">" + (w == list.end() ? QByteArray() : Esc(Share((*w)->rejected, (*w)->judged))) + "</td>";
    }
    table += "</tr>";
    series.push_back(std::move(one));
  }
  return "<h2>Доля брака по неделям, %</h2>" +
         SeriesSvg(QStringLiteral("Доля брака по неделям, % (недели с понедельника)"), weeks, series, {}, 1) + table +
         "</table>";
}

}  // namespace

void LinesPage(const Request& r, httplib::Response& res) {
  const QByteArray depotCode = r.Get("depot");
  const AttentionQuery period = MatrixPeriod(r);
  // At the centre lines of several depots may share a name.
  const bool central = IsCentral();
  Batch batch;
  const Later<LineRow> lineRows = LineRow::Fetch(batch, depotCode);
  const Later<DatabaseZone> zoneRow = DatabaseZone::Fetch(batch);
  TypeFilter rejectedFilter{{}, 0, 0, TwelveWeeksBefore(period.to), period.to, depotCode};
  const Later<RejectedWeek> rejected = RejectedWeek::Fetch(batch, rejectedFilter);
  batch.Run();
  const Answer<LineRow> lines = lineRows.Get();
  QByteArray body;
  body += "<table id=\"lines\"><tr><th>Линия</th><th>Сегодня</th><th>Годных сегодня</th><th>За неделю</th>"
          "<th>Годных за неделю</th><th>Эмуляция за неделю</th><th>Последний замер</th>"
          "<th>Последняя синхронизация</th></tr>";
  for (const LineRow& l : lines.rows) {
    body += QByteArray("<tr") + (l.stale ? " class=\"stale\"" : "") + " data-line=\"" + Esc(l.name) +
            "\"" + (central ? " data-depot=\"" + Esc(l.depot) + "\"" : QByteArray()) + "><td><a href=\"" +
            Esc(Url("/types", {{"depot", central ? l.depot : QByteArray()}, {"line", l.name}})) + "\">" + (central ? Esc(l.depot) + " · " : QByteArray()) +
            Esc(l.name) + "</a></td><td class=\"n today\">" + QByteArray::number(l.today) + "</td><td class=\"n\">" +
            Esc(Share(l.todayGood, l.todayJudged)) + "</td><td class=\"n week\">" +
            QByteArray::number(l.week) + "</td><td class=\"n\">" + Esc(Share(l.weekGood, l.weekJudged)) +
            "</td><td class=\"n\">" + QByteArray::number(l.weekEmulated) + "</td><td>" +
            (l.lastMeasurement.isEmpty() ? "—" : l.lastMeasurement) + "</td><td>" +
            (l.lastSync.isEmpty() ? "никогда" : l.lastSync) +
            (l.stale ? " <span class=\"flag\">нет синхронизации больше часа</span>" : "") + "</td></tr>";
  }
  body += "</table>" + AttentionMatrix(period, central);
  body += RecentAlarmsHtml();
  body += RejectedByWeek(period.to, rejected.Get());
  body += "<p class=\"csv\"><a href=\"/lines.csv\">Скачать CSV</a> · <a href=\"" +
          Esc(Url("/types", {{"depot", depotCode}})) + "\">Типы пружин на всех линиях</a></p>"
          "<p>Эмулированные записи не считаются замерами. Доля годных — среди оценённых записей.</p>";
  const Answer<DatabaseZone> zone = zoneRow.Get();
  body += "<p>Дни, недели и смены — по часовому поясу базы данных: <b id=\"zone\">" +
          Esc(zone.rows.empty() ? QByteArray() : zone.rows[0].name) + "</b>.</p>";
  const QString title = depotCode.isEmpty() ? QStringLiteral("Линии")
                                            : QStringLiteral("Линии депо ") + QString::fromUtf8(depotCode);
  res.set_content(Page(title, &r.user, body).toStdString(), "text/html; charset=utf-8");
}

// At the railway's centre the lines of a type are named DEPOT/LINE, and
// `depot=` keeps to one depot.
void TypesPage(const Request& r, httplib::Response& res) {
  const QByteArray depotCode = r.Get("depot");
  const QByteArray line = r.Get("line");
  const bool central = IsCentral();
  // At the centre a line of the depot asked is keyed DEPOT/LINE.
  const QByteArray key = central && !depotCode.isEmpty() && !line.isEmpty() && !line.contains('/')
                             ? depotCode + '/' + line
                             : line;
  const Answer<TypeRow> types = Alone<TypeRow>([&](Batch& b) { return TypeRow::Fetch(b, key, depotCode); });
  QByteArray body;
  body += QByteArray("<table><tr><th>Тип тележки</th><th>Тип пружины</th><th>Замеров за 90 дней</th>") +
          (line.isEmpty() ? "<th>Линии</th>" : "") + "</tr>";
  for (const TypeRow& t : types.rows) {
    // A type number the lines name differently leads to its lines only.
    const bool apart = std::count_if(types.rows.begin(), types.rows.end(), [&](const TypeRow& o) {
                         return o.bogie == t.bogie && o.spring == t.spring;
                       }) > 1;
    const QByteArray link = TypeLink({depotCode, line.isEmpty() && apart ? t.lines : key, t.bogie.toInt(),
                                      t.spring.toInt(), {}, {}, {}, {}, {}, 0});
    body += "<tr><td>" + t.bogie + " " + Esc(t.bogieName) + "</td><td><a href=\"" + Esc(link) + "\">" + t.spring +
            " " + Esc(t.springName) + "</a></td><td class=\"n\">" + t.records + "</td>" +
            (line.isEmpty() ? "<td class=\"lines\">" + Esc(t.lines) + "</td>" : QByteArray()) +
            "</tr>";
  }
  body += "</table>";
  const QString depotTitle = !depotCode.isEmpty() ? QStringLiteral(", депо ") + QString::fromUtf8(depotCode)
                             : central            ? QStringLiteral(", все депо")
                                                  : QString();
  const QString title = (line.isEmpty() ? QStringLiteral("Типы пружин: все линии")
                                        : QStringLiteral("Типы пружин: линия ") + QString::fromUtf8(line)) +
                        depotTitle;
  res.set_content(Page(title, &r.user, body).toStdString(), "text/html; charset=utf-8");
}

}  // namespace depot
