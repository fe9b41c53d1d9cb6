#include "server/alarms.h"

#include <QThread>
#include <cstdio>
#include <vector>

#include "pg/pg.h"
#include "platform/optionreader.h"
#include "server/handlers.h"
#include "server/queries.h"
#include "server/views.h"

namespace depot {

namespace {

// The period the type page charts by default, ending on the pass's day.
constexpr int kPeriodDays = 60;

// An alarm as a rule finds it; raised when the table does not hold it yet.
struct Candidate {
  QByteArray line;
  int bogie = 0, spring = 0, param = 0;
  QByteArray rule;
  QDate shift;
  QString cause;
  QByteArray chart;  // path and query of the page that shows it
};

// A line's spring type measured in the period.
struct WatchedType {
  QByteArray line;
  int bogie = 0, spring = 0;
  static Answer<WatchedType> Fetch(const QDate& from) {
    using R = WatchedType;
    static const Columns<R> columns = {
        {"line", [](R& r, const Field& f) { r.line = f.Text(); }},
        {"bogie_type", [](R& r, const Field& f) { r.bogie = static_cast<int>(f.Integer()); }},
        {"spring_type", [](R& r, const Field& f) { r.spring = static_cast<int>(f.Integer()); }},
    };
    return columns.Fetch(" FROM measurement_hours WHERE hour >= $1::date AND bogie_type IS NOT NULL"
                         " AND spring_type IS NOT NULL GROUP BY 1, 2, 3 HAVING sum(records) > 0 ORDER BY 1, 2, 3",
                         {from.toString(Qt::ISODate).toUtf8()});
  }
};

// The judged and good springs of a line's type per shift.
struct ShiftJudged {
  QDate shift;
  long long judged = 0, good = 0;
  static Answer<ShiftJudged> Fetch(const TypeFilter& f) {
    using R = ShiftJudged;
    static const Columns<R> columns = {
        {"date(hour)", [](R& r, const Field& v) { r.shift = QDate::fromString(QString::fromUtf8(v.Text()), Qt::ISODate); }},
        {"sum(judged)", [](R& r, const Field& v) { r.judged = v.Integer(); }},
        {"sum(good)", [](R& r, const Field& v) { r.good = v.Integer(); }},
    };
    return columns.Fetch(" FROM measurement_hours WHERE line = $1 AND bogie_type = $2::smallint"
                         " AND spring_type = $3::smallint AND hour >= $4::date AND hour < $5::date + 1"
                         " GROUP BY 1 HAVING sum(judged) > 0 ORDER BY 1",
                         f.Values());
  }
};

QString ParamName(int p) { return p == 2 ? QStringLiteral("свободной высоте") : QStringLiteral("наружному диаметру"); }
QByteArray Iso(const QDate& d) { return d.toString(Qt::ISODate).toUtf8(); }

// The type page of the chart, the baseline given, the shift marked.
QByteArray ChartLink(const TypeFilter& f, const QDate& bfrom, const QDate& bto, const QDate& shift, int p) {
  Link q = {{"line", f.line}, {"bogie", QByteArray::number(f.bogie)}, {"spring", QByteArray::number(f.spring)},
            {"from", Iso(f.from)}, {"to", Iso(f.to)}};
  if (bfrom.isValid() && bto.isValid()) {
    q.push_back({"bfrom", Iso(bfrom)});
    q.push_back({"bto", Iso(bto)});
  }
  q.push_back({"shift", Iso(shift)});
  return Url("/type", q) + (p ? "#p" + QByteArray::number(p) : QByteArray());
}

QString RuleList(const std::vector<int>& rules) {
  QStringList s;
  for (int r : rules) s << QString::number(r);
  return s.join(", ");
}

// The three rules of one line's type over the period `f`, with the type
// page's baseline: the first 20 shifts of the free height (else diameter).
void TypeCandidates(const TypeFilter& f, std::vector<Candidate>& out) {
  QDate bfrom, bto;
  for (int p : {2, 1}) {
    const Answer<FirstShifts> first = FirstShifts::Fetch(f, p);
    if (first.rows.empty() || !first.rows[0].first.isValid()) continue;
    bfrom = first.rows[0].first;
    bto = first.rows[0].last;
    break;
  }
  for (int p : {2, 1}) {
    const std::vector<Subgroup> groups = FetchShifts(f, p).rows;
    std::vector<Subgroup> base;
    for (const Subgroup& g : groups) {
      const QDate d = QDate::fromString(g.label, Qt::ISODate);
      if (d >= bfrom && d <= bto) base.push_back(g);
    }
    const std::vector<ChartPoint> chart = MeanChart(groups, EstimateBaseline(base));
    for (size_t i = groups.size() > kRecentShifts ? groups.size() - kRecentShifts : 0; i < groups.size(); ++i) {
      if (chart[i].rules.empty()) continue;
      const QDate shift = QDate::fromString(groups[i].label, Qt::ISODate);
      out.push_back({f.line, f.bogie, f.spring, p, "rules", shift,
                     QStringLiteral("%1 %2 по %3: среднее смены %4 при центре %5")
                         .arg(chart[i].rules.size() > 1 ? QStringLiteral("нарушены правила") : QStringLiteral("нарушено правило"),
                              RuleList(chart[i].rules), ParamName(p), Num(groups[i].mean, 3), Num(chart[i].centre, 3)),
                     ChartLink(f, bfrom, bto, shift, p)});
    }
    // This month's capability, pooled as the type page pools a week.
    TypeFilter month = f;
    month.from = QDate(f.to.year(), f.to.month(), 1);
    const Answer<PooledRow> pooled = PooledRow::Fetch(month, p, "'month'");
    if (!pooled.rows.empty() && pooled.rows[0].n >= kCpkMinimum) {
      const PooledRow& r = pooled.rows[0];
      const quality::Indices ix = Capability(r.n, r.mean, r.sd, NormLimits(r.norms.min, r.norms.max, r.norms.tolerance));
      if (ix.cpk && *ix.cpk < kCpkAlarm)
        out.push_back({f.line, f.bogie, f.spring, p, "cpk", month.from,
                       QStringLiteral("Cpk за месяц %1 ниже 1,33 по %2 (n = %3)")
                           .arg(Num(*ix.cpk, 2), ParamName(p))
                           .arg(r.n),
                       ChartLink(f, bfrom, bto, f.to, p)});
    }
  }
  // The share rejected of the recent shifts against the baseline's.
  const std::vector<ShiftJudged> shifts = ShiftJudged::Fetch(f).rows;
  long long baseJudged = 0, baseGood = 0;
  for (const ShiftJudged& s : shifts)
    if (s.shift >= bfrom && s.shift <= bto) {
      baseJudged += s.judged;
      baseGood += s.good;
    }
  if (baseJudged == 0) return;
  const double baseShare = double(baseJudged - baseGood) / baseJudged;
  for (size_t i = shifts.size() > kRecentShifts ? shifts.size() - kRecentShifts : 0; i < shifts.size(); ++i) {
    const ShiftJudged& s = shifts[i];
    const long long rejected = s.judged - s.good;
    const double share = double(rejected) / s.judged;
    if (rejected < kRejectedMinimum || share <= kRejectedFactor * baseShare) continue;
    out.push_back({f.line, f.bogie, f.spring, 0, "rejected", s.shift,
                   QStringLiteral("брак смены %1 % (%2 из %3), вдвое выше базового %4 %")
                       .arg(Num(100 * share, 1))
                       .arg(rejected)
                       .arg(s.judged)
                       .arg(Num(100 * baseShare, 1)),
                   ChartLink(f, bfrom, bto, s.shift, 0)});
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
                   c.rule, Iso(c.shift), c.cause.toUtf8(), c.chart, NowParam(o)},
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
                " (SELECT max(h.any_bogie_name) || ' / ' || max(h.any_spring_name) FROM measurement_hours h"
                "   WHERE h.line = a.line AND h.bogie_type = a.bogie_type AND h.spring_type = a.spring_type)"
                " FROM alarms a WHERE a.mail_sent_at IS NULL ORDER BY a.id",
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
    for (const WatchedType& t : WatchedType::Fetch(today.addDays(1 - kPeriodDays)).rows) {
      TypeFilter f;
      f.line = t.line;
      f.bogie = t.bogie;
      f.spring = t.spring;
      f.from = today.addDays(1 - kPeriodDays);
      f.to = today;
      TypeCandidates(f, found);
    }
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
    const bool ok = (db.Healthy() || db.Open(QString::fromStdString(o.database), "kalvor-depot alarms", error)) &&
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
                         "[--from ADDRESS] [--starttls] [--password-file FILE] [--page-url URL] [--interval SECONDS] "
                         "[--once] [--now YYYY-MM-DDTHH:MM:SS]\n",
                 qPrintable(why));
    return 2;
  };
  plat::OptionReader reader;
  reader.Value("--database").Value("--smtp").Value("--to").Value("--from").Flag("--starttls")
      .Value("--password-file").Value("--page-url").Value("--interval").Flag("--once").Value("--now");
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
