// The page over the railway, served from its central database: the depots
// at a glance, then the depot pages with the depot as a filter. A wagon is
// searched in every depot by the search page, at a depot and at the centre
// alike. At a depot the home page is its lines, as ever.

#include "server/handlers.h"
#include "server/railwayqueries.h"
#include "server/views.h"

namespace depot {

namespace {

QByteArray Lag(const DepotRow& d) {
  if (!d.lagSeconds) return "нет связи";
  const long long s = *d.lagSeconds;
  if (s < 120) return QByteArray::number(s) + " с";
  if (s < 7200) return QByteArray::number(s / 60) + " мин";
  return QByteArray::number(s / 3600) + " ч";
}

QByteArray WagonForm() {
  return "<form method=\"get\" action=\"/search\">Вагон во всех депо: <input name=\"wagon\"> "
         "<button id=\"wagonsearch\">Найти</button></form>";
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
  QByteArray body = WagonForm();
  body += "<table id=\"depots\"><tr><th>Депо</th><th>Линий</th><th>Сегодня</th><th>За неделю</th>"
          "<th>Годных за неделю</th><th>Последняя синхронизация</th><th>Отставание</th></tr>";
  for (const DepotRow& d : depots.rows)
    body += QByteArray("<tr") + (d.silent ? " class=\"stale\"" : "") + " data-depot=\"" + Esc(d.code) +
            "\"><td><a href=\"" + Esc(Url("/lines", {{"depot", d.code}})) + "\">" + Esc(d.code) +
            "</a></td><td class=\"n lines\">" + QByteArray::number(d.lines) + "</td><td class=\"n today\">" +
            QByteArray::number(d.today) + "</td><td class=\"n week\">" + QByteArray::number(d.week) +
            "</td><td class=\"n\">" + Esc(Share(d.weekGood, d.weekJudged)) + "</td><td>" +
            (d.lastSync.isEmpty() ? "никогда" : d.lastSync) + "</td><td class=\"lag\">" + Esc(Lag(d)) +
            (d.silent ? " <span class=\"flag\">нет вестей больше часа</span>" : "") +
            (d.slotLost ? " <span class=\"flag slotlost\">слот репликации в депо потерян: нужна новая копия "
                          "(springdata db subscribe --depot " + Esc(d.code) + " --from … --recopy)</span>"
                        : QByteArray()) +
            "</td></tr>";
  body += "</table><p><a href=\"/lines\">Линии всех депо</a> · <a href=\"/types\">Типы пружин всех депо</a></p>"
          "<p>Отставание — время с тех пор, как центр последний раз подтвердил депо, что получил всё "
          "отправленное. Эмулированные записи не считаются замерами.</p>";
  res.set_content(Page(QStringLiteral("Депо дороги"), &r.user, body).toStdString(), "text/html; charset=utf-8");
}

// The wagon page of earlier links: the search by wagon.
void WagonPage(const Request& r, httplib::Response& res) {
  res.set_redirect(Url("/search", {{"wagon", r.Get("wagon")}, {"depot", r.Get("depot")}}).toStdString(), 303);
}

}  // namespace depot
