// The page over the railway, served from its central database: the depots
// at a glance, then the depot pages with the depot as a filter, and a wagon
// searched in every depot. At a depot the home page is its lines, as ever.

#include "server/handlers.h"
#include "server/railwayqueries.h"
#include "server/views.h"

namespace depot {

namespace {

constexpr int kWagonLimit = 1000;

QByteArray Lag(const DepotRow& d) {
  if (!d.lagSeconds) return "нет связи";
  const long long s = *d.lagSeconds;
  if (s < 120) return QByteArray::number(s) + " с";
  if (s < 7200) return QByteArray::number(s / 60) + " мин";
  return QByteArray::number(s / 3600) + " ч";
}

QByteArray WagonForm(const QByteArray& wagon) {
  return "<form method=\"get\" action=\"/wagon\">Вагон во всех депо: <input name=\"wagon\" value=\"" + Esc(wagon) +
         "\"> <button id=\"wagonsearch\">Найти</button></form>";
}

}  // namespace

void HomePage(const Request& r, httplib::Response& res) {
  if (IsCentral())
    DepotsPage(r, res);
  else
    LinesPage(r, res);
}

void DepotsPage(const Request& r, httplib::Response& res) {
  const Answer<DepotRow> depots = DepotRow::Fetch();
  QByteArray body = WagonForm({});
  body += "<table id=\"depots\"><tr><th>Депо</th><th>Линий</th><th>Сегодня</th><th>За неделю</th>"
          "<th>Годных за неделю</th><th>Последняя синхронизация</th><th>Отставание</th></tr>";
  for (const DepotRow& d : depots.rows)
    body += QByteArray("<tr") + (d.silent ? " class=\"stale\"" : "") + " data-depot=\"" + Esc(d.code) +
            "\"><td><a href=\"" + Esc(Url("/lines", {{"depot", d.code}})) + "\">" + Esc(d.code) +
            "</a></td><td class=\"n lines\">" + QByteArray::number(d.lines) + "</td><td class=\"n today\">" +
            QByteArray::number(d.today) + "</td><td class=\"n week\">" + QByteArray::number(d.week) +
            "</td><td class=\"n\">" + Esc(Share(d.weekGood, d.weekJudged)) + "</td><td>" +
            (d.lastSync.isEmpty() ? "никогда" : d.lastSync) + "</td><td class=\"lag\">" + Esc(Lag(d)) +
            (d.silent ? " <span class=\"flag\">нет вестей больше часа</span>" : "") + "</td></tr>";
  body += "</table><p><a href=\"/lines\">Линии всех депо</a> · <a href=\"/types\">Типы пружин всех депо</a></p>"
          "<p>Отставание — время с тех пор, как центр последний раз подтвердил депо, что получил всё "
          "отправленное. Эмулированные записи не считаются замерами.</p>";
  res.set_content(Page(QStringLiteral("Депо дороги"), &r.user, body).toStdString(), "text/html; charset=utf-8");
}

void WagonPage(const Request& r, httplib::Response& res) {
  const QByteArray wagon = r.Get("wagon");
  QByteArray body = WagonForm(wagon);
  if (!wagon.isEmpty()) {
    const Answer<WagonMeasurement> found = WagonMeasurement::Fetch(wagon, kWagonLimit);
    body += "<h2>Замеры</h2><table id=\"wagonrecords\"><tr><th>Депо</th><th>Линия</th><th>Запись</th>"
            "<th>Время</th><th>Из вагона</th><th>В вагон</th><th>Пружина</th></tr>";
    for (const WagonMeasurement& m : found.rows)
      body += "<tr data-depot=\"" + Esc(m.depot) + "\"><td>" + Esc(m.depot) + "</td><td>" + Esc(m.line) +
              "</td><td><a href=\"" + Esc(Url("/record", {{"line", m.line}, {"id", m.identifier}, {"at", m.at}})) +
              "\">" + Esc(m.identifier) + "</a></td><td>" + m.shown + "</td><td>" + Esc(m.wagonFrom) + "</td><td>" +
              Esc(m.wagonTo) + "</td><td>" + Esc(Verdict(m.good)) + "</td></tr>";
    body += "</table>";
    const Answer<WagonSet> sets = WagonSet::Fetch(wagon, kWagonLimit);
    body += "<h2>Комплекты</h2><table id=\"wagonsets\"><tr><th>Депо</th><th>Линия</th><th>Дата</th>"
            "<th>Тележка</th><th>Из вагона</th><th>В вагон</th></tr>";
    for (const WagonSet& s : sets.rows)
      body += "<tr data-depot=\"" + Esc(s.depot) + "\"><td>" + Esc(s.depot) + "</td><td>" + Esc(s.line) +
              "</td><td>" + s.date + "</td><td>" + Esc(s.bogieNumber) + "</td><td>" + Esc(s.wagonFrom) +
              "</td><td>" + Esc(s.wagonTo) + "</td></tr>";
    body += "</table>";
    if (found.rows.size() == kWagonLimit || sets.rows.size() == kWagonLimit)
      body += "<p>Показаны первые " + QByteArray::number(kWagonLimit) + " строк.</p>";
  }
  res.set_content(Page(QStringLiteral("Вагон %1").arg(QString::fromUtf8(wagon)), &r.user, body).toStdString(),
                  "text/html; charset=utf-8");
}

}  // namespace depot
