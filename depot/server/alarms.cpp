#include "server/alarms.h"

#include <QThread>
#include <cstdio>
#include <vector>

#include "pg/migrations.h"
#include "pg/pg.h"
#include "platform/optionreader.h"
#include "server/attention.h"
#include "server/dbquery.h"
#include "server/views.h"

namespace depot {

namespace {

// The period the lines page judges its matrix over by default: the alarms
// say what its cells say.
constexpr int kPeriodDays = 30;

// An alarm as a rule finds it; raised when the table does not hold it yet.
struct Candidate {
  QByteArray line;
  int bogie = 0, spring = 0, param = 0;
  QByteArray rule;
  QDate shift;
  QString cause;
  QByteArray chart;  // path and query of the page that shows it
};

// The type page of the cell's chart over the period, its baseline given and
// the shift marked.
QByteArray ChartLink(const Cell& c, const AttentionQuery& q, const QDate& shift, int p) {
  return TypeLink({{}, c.line, c.bogie, c.spring, q.from, q.to, c.baseFrom, c.baseTo, shift, p});
}

// The alarms of the lines page's statuses: every rule a cell breaks in its
// last shifts (once per shift), a month's Cpk below 1,33 (once per month) and
// a share rejected at twice the baseline's (red; once per last shift).
void StatusCandidates(const QDate& today, std::vector<Candidate>& out) {
  const AttentionQuery q{today.addDays(1 - kPeriodDays), today, {}, {}};
  for (const Cell& c : Attention(q))
    for (const Reason& r : c.reasons) {
      Candidate a{c.line, c.bogie, c.spring, r.param, {}, r.shift, r.text, {}};
      if (r.kind == Reason::Rules) {
        a.rule = "rules";
      } else if (r.kind == Reason::Capability) {
        a.rule = "cpk";
        a.shift = QDate(today.year(), today.month(), 1);
      } else if (r.kind == Reason::Rejected && r.status == Status::Red) {
        a.rule = "rejected";
      } else {
        continue;
      }
      a.chart = ChartLink(c, q, a.rule == "cpk" ? today : a.shift, r.param);
      out.push_back(std::move(a));
    }
}

QByteArray NowParam(const AlarmOptions& o) {
  return o.now.isValid() ? o.now.toUTC().toString(Qt::ISODate).toUtf8() : QByteArray("now");
}

bool Raise(Connection& db, const AlarmOptions& o, const std::vector<Candidate>& found, int& raised, QString& error) {
  for (const Candidate& c : found) {
    Result r;
    if (!db.Query("INSERT INTO alarms (line, bogie_type, spring_type, param, rule, shift, cause, chart, raised_at)"
                  " VALUES ($1, $2::smallint, $3::smallint, nullif($4, '0')::smallint, $5, $6::date, $7, $8,"
                  " $9::timestamptz) ON CONFLICT DO NOTHING",
                  {c.line, QByteArray::number(c.bogie), QByteArray::number(c.spring), QByteArray::number(c.param),
                   c.rule, IsoDate(c.shift), c.cause.toUtf8(), c.chart, NowParam(o)},
                  r, error))
      return false;
    raised += static_cast<int>(r.CommandRows());
  }
  // A line not synced for an hour, counted from its last sync (or, never
  // synced, from when it was added): once per sync it waits after.
  Result r;
  if (!db.Query("INSERT INTO alarms (line, rule, since, cause, chart, raised_at)"
                " SELECT name, 'stale', coalesce(last_sync_at, created_at),"
                "  CASE WHEN last_sync_at IS NULL THEN 'нет ни одной синхронизации'"
                "  ELSE 'нет синхронизации больше часа, последняя ' || to_char(last_sync_at, 'DD.MM.YYYY HH24:MI') END,"
                "  '/', $1::timestamptz FROM lines"
                " WHERE coalesce(last_sync_at, created_at) < $1::timestamptz - $2::int * interval '1 minute'"
                " ON CONFLICT DO NOTHING",
                {NowParam(o), QByteArray::number(kStaleMinutes)}, r, error))
    return false;
  raised += static_cast<int>(r.CommandRows());
  return true;
}

QString RuleTitle(const QByteArray& rule) {
  if (rule == "rules") return QStringLiteral("нарушение правил Western Electric");
  if (rule == "cpk") return QStringLiteral("Cpk за месяц ниже 1,33");
  if (rule == "rejected") return QStringLiteral("доля брака смены вдвое выше базовой");
  return QStringLiteral("нет синхронизации");
}

// The mails of the alarms not yet sent, oldest first; the first that fails
// ends the sending of this pass (the server is likely down for the rest).
bool SendPending(Connection& db, const AlarmOptions& o, PassResult& result, QString& error) {
  Result r;
  if (!db.Query("SELECT a.id, a.line, a.bogie_type, a.spring_type, a.rule, to_char(a.shift, 'DD.MM.YYYY'), a.cause,"
                " a.chart, to_char(a.raised_at, 'DD.MM.YYYY HH24:MI'),"
                " n.names FROM alarms a LEFT JOIN (SELECT line, bogie_type, spring_type,"
                "   max(any_bogie_name) || ' / ' || max(any_spring_name) AS names FROM measurement_days"
                "   GROUP BY line, bogie_type, spring_type) n"
                "   ON n.line = a.line AND n.bogie_type = a.bogie_type AND n.spring_type = a.spring_type"
                " WHERE a.mail_sent_at IS NULL ORDER BY a.id",
                {}, r, error))
    return false;
  for (int i = 0; i < r.Rows(); ++i) {
    const QString line = r.Text(i, 1), rule = RuleTitle(r.Value(i, 4));
    const bool typed = !r.IsNull(i, 2);
    const QString type = QStringLiteral("тележка %1, пружина %2").arg(r.Text(i, 2), r.Text(i, 3)) +
                         (r.IsNull(i, 9) ? QString() : " (" + r.Text(i, 9) + ")");
    Mail m;
    m.subject = QStringLiteral("Kalvor, линия %1: %2").arg(line, rule) +
                (typed ? QStringLiteral(", тип %1/%2").arg(r.Text(i, 2), r.Text(i, 3)) : QString()) +
                (r.IsNull(i, 5) ? QString() : QStringLiteral(", смена %1").arg(r.Text(i, 5)));
    m.text = QStringLiteral("Сигнал депо: %1.\n\nЛиния: %2\n").arg(rule, line);
    if (typed) m.text += QStringLiteral("Тип: %1\n").arg(type);
    if (!r.IsNull(i, 5)) m.text += QStringLiteral("Смена: %1\n").arg(r.Text(i, 5));
    m.text += QStringLiteral("Правило: %1\nЗамечено: %2\n").arg(r.Text(i, 6), r.Text(i, 8));
    m.text += (typed ? QStringLiteral("Карта: ") : QStringLiteral("Страница линий: ")) +
              QString::fromUtf8(o.pageUrl + r.Value(i, 7)) + "\n";
    QString why;
    const bool sent = SendMail(o.mail, m, why);
    if (!db.Query(sent ? QByteArray("UPDATE alarms SET mail_sent_at = now(), mail_attempts = mail_attempts + 1,"
                                    " mail_error = NULL WHERE id = $1::bigint")
                       : QByteArray("UPDATE alarms SET mail_attempts = mail_attempts + 1, mail_error = $2"
                                    " WHERE id = $1::bigint"),
                  sent ? std::vector<QByteArray>{r.Value(i, 0)} : std::vector<QByteArray>{r.Value(i, 0), why.toUtf8()},
                  error))
      return false;
    if (!sent) {
      std::fprintf(stderr, "kalvor-depot alarms: mail of alarm %s not sent: %s\n", r.Value(i, 0).constData(),
                   qPrintable(why));
      result.unsent = r.Rows() - i;
      return true;
    }
    ++result.sent;
  }
  return true;
}

}  // namespace

bool AlarmPass(Connection& db, const AlarmOptions& o, PassResult& result, QString& error) {
  const QDate today = o.now.isValid() ? o.now.toLocalTime().date() : QDate::currentDate();
  std::vector<Candidate> found;
  try {
    StatusCandidates(today, found);
  } catch (const Refusal&) {
    error = QStringLiteral("the database did not answer the rules' queries");
    return false;
  }
  return Raise(db, o, found, result.raised, error) && SendPending(db, o, result, error);
}

int RunAlarms(const AlarmOptions& o) {
  SetDatabase(o.database);
  Connection db;
  while (true) {
    QString error;
    PassResult result;
    // A database of another schema version says so at every pass.
    const bool ok = (db.Healthy() || (db.Open(QString::fromStdString(o.database), "kalvor-depot alarms", error) &&
                                      CheckSchema(db, error))) &&
                    AlarmPass(db, o, result, error);
    if (ok)
      std::fprintf(stderr, "kalvor-depot alarms: %d raised, %d mailed, %d waiting for the mail server\n",
                   result.raised, result.sent, result.unsent);
    else {
      std::fprintf(stderr, "kalvor-depot alarms: pass failed: %s\n", qPrintable(error));
      db.Close();
    }
    if (o.once) return ok ? 0 : 1;
    QThread::sleep(o.intervalSeconds);
  }
}

}  // namespace depot

namespace depot {

int AlarmsCommand(const QStringList& words) {
  auto usage = [](const QString& why) {
    std::fprintf(stderr, "kalvor-depot: %s\nusage: kalvor-depot alarms --database CONNINFO --smtp URL --to ADDRESSES "
                         "[--from ADDRESS] [--starttls] [--password-file FILE] [--ca-file FILE] [--page-url URL] "
                         "[--interval SECONDS] "
                         "[--once] [--now YYYY-MM-DDTHH:MM:SS]\n",
                 qPrintable(why));
    return 2;
  };
  plat::OptionReader reader;
  reader.Value("--database").Value("--smtp").Value("--to").Value("--from").Flag("--starttls")
      .Value("--password-file").Value("--ca-file").Value("--page-url").Value("--interval").Flag("--once").Value("--now");
  QString error;
  if (!reader.Read(words, error)) return usage(error);
  AlarmOptions o;
  o.database = reader.Get("--database").toStdString();
  if (o.database.empty()) return usage(QStringLiteral("--database CONNINFO is needed"));
  o.mail.url = reader.Get("--smtp").toUtf8();
  if (!o.mail.url.startsWith("smtp://") && !o.mail.url.startsWith("smtps://"))
    return usage(QStringLiteral("--smtp takes smtp://HOST[:PORT] or smtps://HOST[:PORT]"));
  o.mail.starttls = reader.Has("--starttls");
  if (o.mail.starttls && o.mail.url.startsWith("smtps://"))
    return usage(QStringLiteral("--starttls is for smtp://; smtps:// is TLS from the start"));
  o.mail.to = reader.Get("--to").split(',', Qt::SkipEmptyParts);
  for (QString& a : o.mail.to) a = a.trimmed();
  if (o.mail.to.isEmpty()) return usage(QStringLiteral("--to needs at least one address"));
  o.mail.from = reader.Get("--from", QStringLiteral("kalvor-depot@localhost")).toUtf8();
  o.mail.passwordFile = reader.Get("--password-file");
  o.mail.caFile = reader.Get("--ca-file");
  o.pageUrl = reader.Get("--page-url", QStringLiteral("http://127.0.0.1:8080")).toUtf8();
  while (o.pageUrl.endsWith('/')) o.pageUrl.chop(1);
  if (reader.Has("--interval")) {
    bool ok = false;
    o.intervalSeconds = reader.Get("--interval").toInt(&ok);
    if (!ok || o.intervalSeconds < 1 || o.intervalSeconds > 3600)
      return usage(QStringLiteral("--interval takes 1..3600 seconds"));
  }
  o.once = reader.Has("--once");
  if (reader.Has("--now")) {
    o.now = QDateTime::fromString(reader.Get("--now"), Qt::ISODate);
    if (!o.now.isValid()) return usage(QStringLiteral("--now takes YYYY-MM-DDTHH:MM:SS"));
  }
  return RunAlarms(o);
}

}  // namespace depot
