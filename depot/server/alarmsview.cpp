// The lines page's list of the alarms of the last 7 days, with whether each
// one's mail went out.

#include "server/alarms.h"
#include "server/dbquery.h"
#include "server/views.h"

namespace depot {

namespace {

struct AlarmRow {
  QByteArray raised, line, type, shift, cause, chart, sentAt;
  long long attempts = 0;
  static Answer<AlarmRow> Fetch() {
    using R = AlarmRow;
    static const Columns<R> columns = {
        {"to_char(raised_at, 'DD.MM.YYYY HH24:MI')", [](R& r, const Field& f) { r.raised = f.Text(); }},
        {"line", [](R& r, const Field& f) { r.line = f.Text(); }},
        {"concat_ws('/', bogie_type, spring_type)", [](R& r, const Field& f) { r.type = f.Text(); }},
        {"to_char(shift, 'DD.MM.YYYY')", [](R& r, const Field& f) { r.shift = f.Text(); }},
        {"cause", [](R& r, const Field& f) { r.cause = f.Text(); }},
        {"chart", [](R& r, const Field& f) { r.chart = f.Text(); }},
        {"to_char(mail_sent_at, 'DD.MM.YYYY HH24:MI')", [](R& r, const Field& f) { r.sentAt = f.Text(); }},
        {"mail_attempts", [](R& r, const Field& f) { r.attempts = f.Integer(); }},
    };
    return columns.Fetch(" FROM alarms WHERE raised_at >= now() - interval '7 days' ORDER BY raised_at DESC, id DESC"
                         " LIMIT 200");
  }
};

}  // namespace

QByteArray RecentAlarmsHtml() {
  const Answer<AlarmRow> alarms = AlarmRow::Fetch();
  QByteArray out = "<h2>Сигналы за 7 дней</h2>";
  if (alarms.rows.empty()) return out + "<p id=\"alarms\">Сигналов нет.</p>";
  out += "<table id=\"alarms\"><tr><th>Замечен</th><th>Линия</th><th>Тип</th><th>Смена</th><th>Причина</th>"
         "<th>Письмо</th></tr>";
  for (const AlarmRow& a : alarms.rows) {
    const QByteArray mail = !a.sentAt.isEmpty() ? "отправлено " + a.sentAt
                            : a.attempts == 0   ? QByteArray("ещё не отправлено")
                                                : "не отправлено, почта не отвечает (попыток: " +
                                                    QByteArray::number(a.attempts) + ")";
    out += QByteArray("<tr") + (a.sentAt.isEmpty() ? " class=\"unsent\"" : "") + "><td>" + a.raised + "</td><td>" +
           Esc(a.line) + "</td><td>" + (a.type.isEmpty() ? "—" : Esc(a.type)) + "</td><td>" + (a.shift.isEmpty() ? "—" : a.shift) +
           "</td><td><a href=\"" + Esc(a.chart) + "\">" + Esc(a.cause) + "</a></td><td>" + mail + "</td></tr>";
  }
  return out + "</table>";
}

}  // namespace depot
