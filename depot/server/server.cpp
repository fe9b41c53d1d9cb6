#include "server.h"

#include <httplib.h>

#include <QDate>
#include <QString>
#include <QUrl>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <thread>

#include "charts.h"
#include "dbquery.h"
#include "sessions.h"
#include "sorting/heightgroup.h"
#include "springdata/lib/exportwriter.h"
#include "stats.h"

namespace depot {

namespace {

using Params = std::vector<std::optional<QByteArray>>;

// The names of parameters 1..6 in the order the measurement fills them.
const char* const kParamNames[7] = {"",
                                    "Наружный диаметр, мм",
                                    "Высота свободная, мм",
                                    "Неперпендикулярность, мм",
                                    "Зазор между витками, мм",
                                    "Остаточная деформация, мм",
                                    "Прогиб под нагрузкой, мм"};
const QByteArray kCookie = "kalvor_session";

// ---------------------------------------------------------------- requests

struct Request {
  const httplib::Request& http;
  QByteArray user;
  QByteArray Get(const char* key) const {
    return http.has_param(key) ? QByteArray::fromStdString(http.get_param_value(key)).trimmed()
                               : QByteArray();
  }
  QDate Date(const char* key) const {
    return QDate::fromString(QString::fromUtf8(Get(key)), Qt::ISODate);
  }
  int Int(const char* key, int fallback) const {
    bool ok = false;
    const int v = Get(key).toInt(&ok);
    return ok ? v : fallback;
  }
};

// A link with its query; every key and value percent-encoded whole, so that
// a path given as a value ("next") stays one value.
QByteArray Url(const QByteArray& path, const std::vector<std::pair<const char*, QByteArray>>& q) {
  QByteArray out = path;
  char sep = '?';
  for (const auto& [k, v] : q) {
    if (v.isEmpty()) continue;
    out += sep + QUrl::toPercentEncoding(QString::fromUtf8(k)) + '=' + QUrl::toPercentEncoding(QString::fromUtf8(v));
    sep = '&';
  }
  return out;
}

// ---------------------------------------------------------------- page frame

QByteArray Page(const QString& title, const Request* r, const QByteArray& body) {
  QByteArray out =
      "<!DOCTYPE html><html lang=\"ru\"><head><meta charset=\"utf-8\"><title>" + Esc(title) +
      " — депо</title><style>"
      "body{font-family:sans-serif;margin:0;color:#222;background:#f6f7f9}"
      "header{background:#234;color:#fff;padding:8px 16px;display:flex;gap:18px;align-items:center}"
      "header a{color:#fff;text-decoration:none}header .who{margin-left:auto}"
      "header form{display:inline}header button{background:none;border:1px solid #fff;color:#fff;cursor:pointer}"
      "main{padding:12px 16px}table{border-collapse:collapse;background:#fff;margin:8px 0}"
      "td,th{border:1px solid #ccc;padding:3px 8px;text-align:left}td.n{text-align:right}"
      "tr.stale td{background:#fdd}.flag{color:#b00;font-weight:bold}.chart{display:block;margin:8px 0;border:1px solid #ccc}"
      "form.filter{background:#fff;border:1px solid #ccc;padding:8px;margin:8px 0}form.filter label{margin-right:12px}"
      ".err{color:#b00}.csv{font-size:90%}</style></head><body><header><b>Пружины: депо</b>";
  if (r) {
    out += "<a href=\"/\">Линии</a><a href=\"/search\">Поиск</a><span class=\"who\">" + Esc(QString::fromUtf8(r->user)) +
           "</span><form method=\"post\" action=\"/logout\"><button>Выйти</button></form>";
  }
  return out + "</header><main><h1>" + Esc(title) + "</h1>" + body + "</main></body></html>";
}

QByteArray Csv(const QByteArray& header, const std::vector<QList<QByteArray>>& rows) {
  QByteArray out = "\xEF\xBB\xBF" + header + "\r\n";
  for (const auto& row : rows) {
    QList<QByteArray> fields;
    for (const QByteArray& f : row) fields << springdata::CsvField(f);
    out += fields.join(';') + "\r\n";
  }
  return out;
}

QByteArray CsvNum(std::optional<double> v, int decimals = -1) {
  if (!v) return {};
  QByteArray t = decimals < 0 ? QByteArray::number(*v, 'g', 10) : QByteArray::number(*v, 'f', decimals);
  return t.replace('.', ',');
}

// A stored 32-bit value as springdata writes it: the shortest exact text.
QByteArray CsvValue(const std::optional<QByteArray>& text) {
  if (!text) return {};
  return springdata::FloatText(text->toFloat(), ',');
}

QString Share(long long part, long long whole) {
  return whole > 0 ? Num(100.0 * part / whole, 1) + " %" : QStringLiteral("—");
}

QByteArray Error(const Rows& rows) {
  return "<p class=\"err\">Ошибка базы данных: " + Esc(rows.error) + "</p>";
}

// ---------------------------------------------------------------- lines

struct LineRow {
  QByteArray name, lastMeasurement, lastSync;
  bool stale = true;
  long long today = 0, todayJudged = 0, todayGood = 0;
  long long week = 0, weekJudged = 0, weekGood = 0, weekEmulated = 0;
};

// Counts of today and of this week (from Monday) per line; emulated records
// are counted apart and never as measured. The share good is that of the
// judged records.
Rows LinesQuery(std::vector<LineRow>& out) {
  Rows rows = Query(
      "SELECT l.name, to_char(l.last_sync_at, 'DD.MM.YYYY HH24:MI:SS'),"
      " coalesce(now() - l.last_sync_at > interval '1 hour', true),"
      " coalesce(sum(h.records) FILTER (WHERE h.hour >= current_date), 0),"
      " coalesce(sum(h.judged) FILTER (WHERE h.hour >= current_date), 0),"
      " coalesce(sum(h.good) FILTER (WHERE h.hour >= current_date), 0),"
      " coalesce(sum(h.records), 0), coalesce(sum(h.judged), 0), coalesce(sum(h.good), 0),"
      " coalesce(sum(h.emulated), 0),"
      " (SELECT to_char(x.last_measured, 'DD.MM.YYYY HH24:MI:SS') FROM measurement_hours x"
      "   WHERE x.line = l.name AND x.last_measured IS NOT NULL ORDER BY x.hour DESC, x.last_measured DESC LIMIT 1)"
      " FROM lines l LEFT JOIN measurement_hours h ON h.line = l.name"
      "  AND h.hour >= date_trunc('week', current_date) AND h.hour < current_date + 1"
      " GROUP BY l.name, l.last_sync_at ORDER BY l.name");
  for (size_t i = 0; rows.ok && i < rows.rows.size(); ++i) {
    LineRow l;
    l.name = rows.Text(i, 0);
    l.lastSync = rows.Text(i, 1);
    l.stale = rows.Bool(i, 2);
    l.today = rows.Integer(i, 3);
    l.todayJudged = rows.Integer(i, 4);
    l.todayGood = rows.Integer(i, 5);
    l.week = rows.Integer(i, 6);
    l.weekJudged = rows.Integer(i, 7);
    l.weekGood = rows.Integer(i, 8);
    l.weekEmulated = rows.Integer(i, 9);
    l.lastMeasurement = rows.Text(i, 10);
    out.push_back(l);
  }
  return rows;
}

const char* const kLinesHeader =
    "Линия;Замеров сегодня;Годных сегодня;Доля годных сегодня, %;Замеров за неделю;"
    "Годных за неделю;Доля годных за неделю, %;Эмулированных за неделю;Последний замер;"
    "Последняя синхронизация;Нет синхронизации больше часа";

std::optional<double> SharePercent(long long part, long long whole) {
  if (whole <= 0) return std::nullopt;
  return std::round(1000.0 * part / whole) / 10;
}

void LinesPage(const Request& r, httplib::Response& res, bool csv) {
  std::vector<LineRow> lines;
  const Rows rows = LinesQuery(lines);
  if (csv) {
    std::vector<QList<QByteArray>> out;
    for (const LineRow& l : lines)
      out.push_back({l.name, QByteArray::number(l.today), QByteArray::number(l.todayGood),
                     CsvNum(SharePercent(l.todayGood, l.todayJudged), 1), QByteArray::number(l.week),
                     QByteArray::number(l.weekGood), CsvNum(SharePercent(l.weekGood, l.weekJudged), 1),
                     QByteArray::number(l.weekEmulated), l.lastMeasurement, l.lastSync,
                     l.stale ? "да" : "нет"});
    res.set_content(Csv(kLinesHeader, out).toStdString(), "text/csv; charset=utf-8");
    return;
  }
  QByteArray body;
  if (!rows.ok) body += Error(rows);
  body += "<table id=\"lines\"><tr><th>Линия</th><th>Сегодня</th><th>Годных сегодня</th><th>За неделю</th>"
          "<th>Годных за неделю</th><th>Эмуляция за неделю</th><th>Последний замер</th>"
          "<th>Последняя синхронизация</th></tr>";
  for (const LineRow& l : lines) {
    body += QByteArray("<tr") + (l.stale ? " class=\"stale\"" : "") + " data-line=\"" +
            Esc(QString::fromUtf8(l.name)) + "\"><td><a href=\"" +
            Esc(QString::fromUtf8(Url("/types", {{"line", l.name}}))) + "\">" + Esc(QString::fromUtf8(l.name)) +
            "</a></td><td class=\"n today\">" + QByteArray::number(l.today) + "</td><td class=\"n\">" +
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
  res.set_content(Page(QStringLiteral("Линии"), &r, body).toStdString(), "text/html; charset=utf-8");
}

// The spring types a line (or every line) measured in the last 90 days.
void TypesPage(const Request& r, httplib::Response& res) {
  const QByteArray line = r.Get("line");
  const Rows rows = Query(
      "SELECT bogie_type, spring_type, max(bogie_name), max(spring_name), sum(records) FROM measurement_hours"
      " WHERE ($1 = '' OR line = $1) AND hour >= current_date - 90"
      " GROUP BY 1, 2 HAVING sum(records) > 0 ORDER BY 1, 2",
      {line});
  QByteArray body;
  if (!rows.ok) body += Error(rows);
  body += "<table><tr><th>Тип тележки</th><th>Тип пружины</th><th>Замеров за 90 дней</th></tr>";
  for (size_t i = 0; rows.ok && i < rows.rows.size(); ++i) {
    const QByteArray link = Url("/type", {{"line", line}, {"bogie", rows.Text(i, 0)}, {"spring", rows.Text(i, 1)}});
    body += "<tr><td>" + rows.Text(i, 0) + " " + Esc(QString::fromUtf8(rows.Text(i, 2))) + "</td><td><a href=\"" +
            Esc(QString::fromUtf8(link)) + "\">" + rows.Text(i, 1) + " " +
            Esc(QString::fromUtf8(rows.Text(i, 3))) + "</a></td><td class=\"n\">" + rows.Text(i, 4) + "</td></tr>";
  }
  body += "</table>";
  const QString title = line.isEmpty() ? QStringLiteral("Типы пружин: все линии")
                                       : QStringLiteral("Типы пружин: линия ") + QString::fromUtf8(line);
  res.set_content(Page(title, &r, body).toStdString(), "text/html; charset=utf-8");
}

// ---------------------------------------------------------------- one spring type

struct TypeQuery {
  QByteArray line;  // empty: every line
  int bogie = 1, spring = 1;
  QDate from, to, baseFrom, baseTo;
  bool baseGiven = false;

  explicit TypeQuery(const Request& r) {
    line = r.Get("line");
    bogie = r.Int("bogie", 1);
    spring = r.Int("spring", 1);
    to = r.Date("to");
    if (!to.isValid()) to = QDate::currentDate();
    from = r.Date("from");
    if (!from.isValid() || from > to) from = to.addDays(-59);
    baseFrom = r.Date("bfrom");
    baseTo = r.Date("bto");
    baseGiven = baseFrom.isValid() && baseTo.isValid() && baseFrom <= baseTo;
  }
  std::vector<std::pair<const char*, QByteArray>> Link() const {
    std::vector<std::pair<const char*, QByteArray>> q = {
        {"line", line}, {"bogie", QByteArray::number(bogie)}, {"spring", QByteArray::number(spring)},
        {"from", from.toString(Qt::ISODate).toUtf8()}, {"to", to.toString(Qt::ISODate).toUtf8()}};
    if (baseGiven) {
      q.push_back({"bfrom", baseFrom.toString(Qt::ISODate).toUtf8()});
      q.push_back({"bto", baseTo.toString(Qt::ISODate).toUtf8()});
    }
    return q;
  }
  Params Values() const {
    return {line, QByteArray::number(bogie), QByteArray::number(spring),
            from.toString(Qt::ISODate).toUtf8(), to.toString(Qt::ISODate).toUtf8()};
  }
};

// The rows of parameter p that count: measured on the line, not emulated, of
// the type and period asked ($1 line or '', $2 bogie, $3 spring, $4..$5 days).
QByteArray Where(int p) {
  const QByteArray v = "p" + QByteArray::number(p);
  QByteArray w = " WHERE ($1 = '' OR line = $1) AND bogie_type = $2::smallint AND spring_type = $3::smallint"
                 " AND measured_at >= $4::date AND measured_at < $5::date + 1 AND NOT emulated"
                 " AND " + v + "_measured IS NOT FALSE AND " + v + "_value IS NOT NULL";
  if (p == 1 || p == 3 || p == 4) w += " AND kind <> 1";
  return w;
}

// The same rows in the hourly summary of parameter p.
QByteArray SummaryWhere(int p) {
  return " FROM measurement_param_hours WHERE ($1 = '' OR line = $1) AND bogie_type = $2::smallint"
         " AND spring_type = $3::smallint AND param = " + QByteArray::number(p) +
         " AND hour >= $4::date AND hour < $5::date + 1";
}

// Count, mean and sample deviation of the summary rows of parameter p
// grouped by `by` (and `extra`, columns of the summary), pooled from the
// hours; columns: by, extra..., n, mean, deviation (null for one value).
QByteArray Pooled(int p, const QByteArray& by, const QByteArray& extra = {}) {
  const QByteArray more = extra.isEmpty() ? QByteArray() : ", " + extra;
  return "SELECT g" + more + ", sum(n), sum(n * mean) / sum(n),"
         " CASE WHEN sum(n) > 1 THEN sqrt((sum(m2) + sum(n * (mean - pooled) ^ 2)) / (sum(n) - 1)) END"
         " FROM (SELECT " + by + " AS g" + more + ", n, mean, m2, sum(n * mean) OVER w / sum(n) OVER w AS pooled" +
         SummaryWhere(p) + " WINDOW w AS (PARTITION BY " + by + more + ")) hours GROUP BY g" + more;
}

// Without a baseline picked: the first 20 shifts of the period with a
// counted free height (or, for a type without one, a counted diameter), one
// period for both parameters, so that the page's fields and links name the
// period its limits come from and a reload with them shows the same.
void ResolveBaseline(TypeQuery& q) {
  if (q.baseGiven) return;
  for (int p : {2, 1}) {
    const Rows rows = Query(("SELECT min(d), max(d) FROM (SELECT DISTINCT date(hour) AS d" +
                             SummaryWhere(p) + " ORDER BY 1 LIMIT 20) first")
                                .constData(),
                            q.Values());
    if (!rows.ok || rows.rows.empty() || rows.Null(0, 0)) continue;
    q.baseFrom = QDate::fromString(QString::fromUtf8(rows.Text(0, 0)), Qt::ISODate);
    q.baseTo = QDate::fromString(QString::fromUtf8(rows.Text(0, 1)), Qt::ISODate);
    q.baseGiven = q.baseFrom.isValid() && q.baseTo.isValid();
    return;
  }
}

struct ChartData {
  std::vector<Subgroup> groups;
  std::vector<bool> inBase;
  Baseline base;
  std::vector<ChartPoint> mean, sd;
  QDate baseFrom, baseTo;
};

Rows Chart(const TypeQuery& q, int p, ChartData& c) {
  const Rows rows = Query((Pooled(p, "date(hour)") + " ORDER BY 1").constData(),
                          q.Values());
  if (!rows.ok) return rows;
  for (size_t i = 0; i < rows.rows.size(); ++i)
    c.groups.push_back({QString::fromUtf8(rows.Text(i, 0)), rows.Integer(i, 1), *rows.Number(i, 2), rows.Number(i, 3)});
  // Without a chosen baseline: the first 20 shifts shown.
  c.baseFrom = q.baseFrom;
  c.baseTo = q.baseTo;
  std::vector<Subgroup> base;
  for (const Subgroup& g : c.groups) {
    const QDate d = QDate::fromString(g.label, Qt::ISODate);
    const bool in = d >= c.baseFrom && d <= c.baseTo;
    c.inBase.push_back(in);
    if (in) base.push_back(g);
  }
  c.base = EstimateBaseline(base);
  c.mean = MeanChart(c.groups, c.base);
  c.sd = SdChart(c.groups, c.base);
  return rows;
}

QByteArray Rules(const std::vector<int>& rules) {
  QByteArray out;
  for (int r : rules) out += (out.isEmpty() ? "" : ",") + QByteArray::number(r);
  return out;
}

const char* const kChartHeader =
    "Смена;n;Среднее;СКО;ЦЛ среднего;НКГ среднего;ВКГ среднего;Правила среднего;ЦЛ СКО;НКГ СКО;"
    "ВКГ СКО;Правила СКО;В базовом периоде";

std::vector<QList<QByteArray>> ChartCsv(const ChartData& c) {
  std::vector<QList<QByteArray>> out;
  for (size_t i = 0; i < c.groups.size(); ++i) {
    const Subgroup& g = c.groups[i];
    const ChartPoint &m = c.mean[i], &s = c.sd[i];
    const bool ml = c.base.valid, sl = c.base.valid && s.value;
    out.push_back({g.label.toUtf8(), QByteArray::number(g.n), CsvNum(g.mean), CsvNum(g.sd),
                   ml ? CsvNum(m.centre) : "", ml ? CsvNum(m.lower) : "", ml ? CsvNum(m.upper) : "",
                   Rules(m.rules), sl ? CsvNum(s.centre) : "", sl ? CsvNum(s.lower) : "",
                   sl ? CsvNum(s.upper) : "", Rules(s.rules), c.inBase[i] ? "да" : "нет"});
  }
  return out;
}

struct Norms {
  std::optional<double> min, max, tolerance;
  springdata::Limits limits;
};

// The norms of the latest record of the period: those the charts show.
Norms LatestNorms(const TypeQuery& q, int p) {
  const Rows rows = Query(("SELECT p_min, p_max, p_tolerance" + SummaryWhere(p) +
                           " AND last_judged IS NOT NULL ORDER BY last_judged DESC LIMIT 1")
                              .constData(),
                          q.Values());
  Norms n;
  if (rows.ok && !rows.rows.empty()) {
    n.min = rows.Number(0, 0);
    n.max = rows.Number(0, 1);
    n.tolerance = rows.Number(0, 2);
  }
  n.limits = NormLimits(n.min, n.max, n.tolerance);
  return n;
}

struct HistData {
  double lower = 0, upper = 0;
  std::vector<long long> counts;
  Norms norms;
};
constexpr int kBins = 40;

Rows Histogram(const TypeQuery& q, int p, HistData& h) {
  const QByteArray v = "p" + QByteArray::number(p) + "_value";
  h.norms = LatestNorms(q, p);
  Rows range = Query(("SELECT min(lowest), max(highest)" + SummaryWhere(p)).constData(), q.Values());
  if (!range.ok || range.rows.empty() || range.Null(0, 0)) return range;
  h.lower = *range.Number(0, 0);
  h.upper = *range.Number(0, 1);
  // The bins cover the values and the limits.
  if (h.norms.limits.lower) h.lower = std::min(h.lower, *h.norms.limits.lower);
  if (h.norms.limits.upper) h.upper = std::max(h.upper, *h.norms.limits.upper);
  const double pad = std::max((h.upper - h.lower) * 0.05, 0.01);
  h.lower -= pad;
  h.upper += pad;
  Params values = q.Values();
  values.push_back(QByteArray::number(h.lower, 'g', 17));
  values.push_back(QByteArray::number(h.upper, 'g', 17));
  const Rows rows = Query(("SELECT width_bucket(" + v + ", $6::float8, $7::float8, " + QByteArray::number(kBins) +
                           "), count(*) FROM measurements" + Where(p) + " GROUP BY 1")
                              .constData(),
                          values);
  if (!rows.ok) return rows;
  h.counts.assign(kBins, 0);
  for (size_t i = 0; i < rows.rows.size(); ++i) {
    const int b = std::clamp(static_cast<int>(rows.Integer(i, 0)), 1, kBins);
    h.counts[b - 1] += rows.Integer(i, 1);
  }
  return rows;
}

std::vector<Marker> HistMarkers(const HistData& h, int p, int bogie) {
  std::vector<Marker> m;
  if (h.norms.min && *h.norms.min > -1000) m.push_back({*h.norms.min, "Min", Marker::Norm});
  if (h.norms.max && *h.norms.max < 1000) m.push_back({*h.norms.max, "Max", Marker::Norm});
  if (h.norms.limits.lower) m.push_back({*h.norms.limits.lower, "Min−E", Marker::Tolerance});
  if (h.norms.limits.upper) m.push_back({*h.norms.limits.upper, "Max+E", Marker::Tolerance});
  if (p == 2 && (bogie == 1 || bogie == 2)) {
    const double shift = bogie == 2 ? 10 : 0;
    for (int g = 1; g <= 9; ++g) {
      m.push_back({HeightGroupLower(g) + shift, QStringLiteral("гр. %1").arg(g), Marker::Group});
      if (g == 9) m.push_back({HeightGroupUpper(g) + shift, QString(), Marker::Group});
    }
  }
  return m;
}

struct CapRow {
  QByteArray key;  // the week or the line
  long long n = 0;
  double mean = 0;
  std::optional<double> sd;
  Norms norms;
  springdata::Indices ix;
};

// Cp/Cpk grouped by `by` (a week or a line). Where a group's records were
// judged with different norms, the norms of most of its records count.
Rows CapabilityBy(const TypeQuery& q, int p, const QByteArray& by, std::vector<CapRow>& out) {
  const Rows rows = Query((Pooled(p, by, "p_min, p_max, p_tolerance") + " ORDER BY 1, 5 DESC")
                              .constData(),
                          q.Values());
  for (size_t i = 0; rows.ok && i < rows.rows.size(); ++i) {
    if (!out.empty() && out.back().key == rows.Text(i, 0)) continue;
    CapRow c;
    c.key = rows.Text(i, 0);
    c.norms.min = rows.Number(i, 1);
    c.norms.max = rows.Number(i, 2);
    c.norms.tolerance = rows.Number(i, 3);
    c.norms.limits = NormLimits(c.norms.min, c.norms.max, c.norms.tolerance);
    c.n = rows.Integer(i, 4);
    c.mean = *rows.Number(i, 5);
    c.sd = rows.Number(i, 6);
    c.ix = Capability(c.n, c.mean, c.sd, c.norms.limits);
    out.push_back(c);
  }
  return rows;
}

QByteArray CapabilityHeader(const char* first) {
  return QByteArray(first) + ";Тип тележки №;Тип пружины №;Параметр №;Параметр;n;Среднее;СКО;Min;Max;E;"
                             "НГ (Min-E);ВГ (Max+E);Cp;Cpk";
}

std::vector<QList<QByteArray>> CapabilityCsv(const TypeQuery& q, int p, const std::vector<CapRow>& rows) {
  std::vector<QList<QByteArray>> out;
  for (const CapRow& c : rows)
    out.push_back({c.key, QByteArray::number(q.bogie), QByteArray::number(q.spring), QByteArray::number(p),
                   kParamNames[p], QByteArray::number(c.n), CsvNum(c.mean), CsvNum(c.sd), CsvNum(c.norms.min),
                   CsvNum(c.norms.max), CsvNum(c.norms.tolerance), CsvNum(c.norms.limits.lower),
                   CsvNum(c.norms.limits.upper), CsvNum(c.ix.cp), CsvNum(c.ix.cpk)});
  return out;
}

QString Opt(std::optional<double> v, int decimals) { return v ? Num(*v, decimals) : QStringLiteral("—"); }

QByteArray CapabilityTable(const char* first, const std::vector<CapRow>& rows) {
  QByteArray t = QByteArray("<table><tr><th>") + first +
                 "</th><th>n</th><th>Среднее</th><th>СКО</th><th>Cp</th><th>Cpk</th></tr>";
  for (const CapRow& c : rows)
    t += "<tr><td>" + Esc(QString::fromUtf8(c.key)) + "</td><td class=\"n\">" + QByteArray::number(c.n) +
         "</td><td class=\"n\">" + Esc(Num(c.mean, 3)) + "</td><td class=\"n\">" + Esc(Opt(c.sd, 3)) +
         "</td><td class=\"n\">" + Esc(Opt(c.ix.cp, 2)) + "</td><td class=\"n\">" + Esc(Opt(c.ix.cpk, 2)) +
         "</td></tr>";
  return t + "</table>";
}

const char* const kWeek = "to_char(date_trunc('week', hour), 'YYYY-MM-DD')";

void TypeCsv(const Request& r, httplib::Response& res) {
  TypeQuery q(r);
  ResolveBaseline(q);
  const int p = std::clamp(r.Int("p", 2), 1, 6);
  const QByteArray what = r.Get("what");
  QByteArray out;
  Rows rows;
  if (what == "hist") {
    HistData h;
    rows = Histogram(q, p, h);
    std::vector<QList<QByteArray>> lines;
    const double w = (h.upper - h.lower) / kBins;
    for (size_t i = 0; i < h.counts.size(); ++i)
      lines.push_back({CsvNum(h.lower + w * i, 4), CsvNum(h.lower + w * (i + 1), 4), QByteArray::number(h.counts[i])});
    out = Csv("От;До;Число", lines);
  } else if (what == "weeks" || what == "lines") {
    std::vector<CapRow> caps;
    rows = CapabilityBy(q, p, what == "weeks" ? kWeek : "line", caps);
    out = Csv(CapabilityHeader(what == "weeks" ? "Неделя" : "Линия"), CapabilityCsv(q, p, caps));
  } else {
    ChartData c;
    rows = Chart(q, p, c);
    out = Csv(kChartHeader, ChartCsv(c));
  }
  if (!rows.ok) {
    res.status = 500;
    res.set_content(rows.error.toStdString(), "text/plain; charset=utf-8");
    return;
  }
  res.set_header("Content-Disposition", "attachment; filename=\"" + what.toStdString() + "-p" + std::to_string(p) + ".csv\"");
  res.set_content(out.toStdString(), "text/csv; charset=utf-8");
}

void TypePage(const Request& r, httplib::Response& res) {
  TypeQuery q(r);
  ResolveBaseline(q);
  const Rows names = Query(
      "SELECT max(any_bogie_name), max(any_spring_name) FROM measurement_hours WHERE bogie_type = $1::smallint"
      " AND spring_type = $2::smallint AND ($3 = '' OR line = $3)",
      {QByteArray::number(q.bogie), QByteArray::number(q.spring), q.line});
  const QString typeName = QStringLiteral("%1 %2 / %3 %4")
                               .arg(q.bogie)
                               .arg(names.ok && !names.rows.empty() ? QString::fromUtf8(names.Text(0, 0)) : "")
                               .arg(q.spring)
                               .arg(names.ok && !names.rows.empty() ? QString::fromUtf8(names.Text(0, 1)) : "");
  const QString title = QStringLiteral("Тип пружины ") + typeName +
                        (q.line.isEmpty() ? QStringLiteral(" — все линии") : QStringLiteral(" — линия ") + QString::fromUtf8(q.line));
  auto date = [](const QDate& d) { return d.isValid() ? d.toString(Qt::ISODate).toUtf8() : QByteArray(); };
  QByteArray body =
      "<form class=\"filter\" method=\"get\" action=\"/type\"><input type=\"hidden\" name=\"line\" value=\"" +
      Esc(QString::fromUtf8(q.line)) + "\"><input type=\"hidden\" name=\"bogie\" value=\"" + QByteArray::number(q.bogie) +
      "\"><input type=\"hidden\" name=\"spring\" value=\"" + QByteArray::number(q.spring) +
      "\"><label>Период с <input type=\"date\" name=\"from\" value=\"" + date(q.from) +
      "\"></label><label>по <input type=\"date\" name=\"to\" value=\"" + date(q.to) +
      "\"></label><label>Базовый период с <input type=\"date\" name=\"bfrom\" value=\"" + date(q.baseFrom) +
      "\"></label><label>по <input type=\"date\" name=\"bto\" value=\"" + date(q.baseTo) +
      "\"></label><button>Показать</button></form>";
  body += "<p><a href=\"" + Esc(QString::fromUtf8(Url("/type", {{"bogie", QByteArray::number(q.bogie)}, {"spring", QByteArray::number(q.spring)}}))) +
          "\">Этот тип на всех линиях</a></p>";
  body += "<p>Правила Western Electric: 1 — точка за 3σ; 2 — две из трёх подряд за 2σ по одну сторону; "
          "3 — четыре из пяти подряд за 1σ по одну сторону; 4 — восемь подряд по одну сторону от центра.</p>";
  for (int p : {2, 1}) {
    auto csv = [&](const char* what) {
      auto link = q.Link();
      link.push_back({"p", QByteArray::number(p)});
      link.push_back({"what", what});
      return "<a class=\"csv\" href=\"" + Esc(QString::fromUtf8(Url("/type.csv", link))) + "\">CSV</a>";
    };
    const QString pname = QString::fromUtf8(kParamNames[p]);
    body += "<section id=\"p" + QByteArray::number(p) + "\"><h2>" + Esc(pname) + "</h2>";
    ChartData c;
    const Rows rows = Chart(q, p, c);
    if (!rows.ok) {
      body += Error(rows) + "</section>";
      continue;
    }
    std::vector<QString> labels;
    for (const Subgroup& g : c.groups) labels.push_back(g.label.mid(5));
    body += "<p>Базовый период " + date(c.baseFrom) + " — " + date(c.baseTo) + ": ";
    body += c.base.valid ? Esc(QStringLiteral("центр %1, σ %2 по %3 сменам")
                                   .arg(Num(c.base.centre, 3), Num(c.base.sigma, 3))
                                   .arg(c.base.subgroups))
                         : QByteArray("мало данных для границ");
    body += "</p>";
    body += ControlChartSvg(QStringLiteral("Среднее по сменам, X̄"), labels, c.mean, c.inBase);
    body += ControlChartSvg(QStringLiteral("СКО по сменам, s"), labels, c.sd, c.inBase);
    QByteArray violations;
    for (size_t i = 0; i < c.groups.size(); ++i)
      for (const auto& [chart, pts] : {std::pair{"X̄", &c.mean}, std::pair{"s", &c.sd}})
        if (!(*pts)[i].rules.empty())
          violations += "<li data-shift=\"" + c.groups[i].label.toUtf8() + "\">" + c.groups[i].label.toUtf8() + ", " +
                        chart + ": правило " + Rules((*pts)[i].rules) + "</li>";
    body += violations.isEmpty() ? QByteArray("<p>Нарушений правил нет.</p>")
                                 : "<p>Нарушения:</p><ul class=\"violations\">" + violations + "</ul>";
    body += "<p>" + csv("chart") + " контрольных карт</p>";

    HistData h;
    Histogram(q, p, h);
    body += HistogramSvg(QStringLiteral("Гистограмма за период"), h.lower, h.upper, h.counts, HistMarkers(h, p, q.bogie));
    body += "<p>" + csv("hist") + " гистограммы</p>";

    std::vector<CapRow> weeks;
    CapabilityBy(q, p, kWeek, weeks);
    std::vector<QString> wl;
    std::vector<std::optional<double>> cp, cpk;
    for (const CapRow& w : weeks) {
      wl.push_back(QString::fromUtf8(w.key).mid(5));
      cp.push_back(w.ix.cp);
      cpk.push_back(w.ix.cpk);
    }
    body += TrendSvg(QStringLiteral("Cp и Cpk по неделям"), wl, cp, cpk);
    body += "<h3>По неделям</h3>" + CapabilityTable("Неделя (с понедельника)", weeks) + "<p>" + csv("weeks") + "</p>";
    std::vector<CapRow> lines;
    CapabilityBy(q, p, "line", lines);
    body += "<h3>По линиям за период</h3>" + CapabilityTable("Линия", lines) + "<p>" + csv("lines") + "</p></section>";
  }
  res.set_content(Page(title, &r, body).toStdString(), "text/html; charset=utf-8");
}

// ---------------------------------------------------------------- search and sheet

const char* const kRecordColumns =
    "line, identifier, measured_at::text, to_char(measured_at, 'DD.MM.YYYY HH24:MI:SS'), bogie_type, bogie_name,"
    " spring_type, spring_name, kind, emulated, judged, spring_good, height_group, wagon_from, wagon_to, source";
constexpr int kParamColumn = 16;  // then per parameter: value, good, measured, min, max, tolerance

QByteArray ParamColumns() {
  QByteArray out;
  for (int p = 1; p <= 6; ++p) {
    const QByteArray v = ", p" + QByteArray::number(p);
    out += v + "_value" + v + "_good" + v + "_measured" + v + "_min" + v + "_max" + v + "_tolerance";
  }
  return out;
}

QByteArray Verdict(const Rows& rows, size_t i, size_t c) {
  if (rows.Null(i, c)) return {};
  return rows.Bool(i, c) ? "Норма" : "Брак";
}

struct SearchQuery {
  QByteArray id, wagon, line;
  QDate from, to;
  explicit SearchQuery(const Request& r)
      : id(r.Get("id")), wagon(r.Get("wagon")), line(r.Get("line")), from(r.Date("from")), to(r.Date("to")) {}
  bool Any() const { return !id.isEmpty() || !wagon.isEmpty() || from.isValid() || to.isValid(); }
};
constexpr int kSearchLimit = 5000;

Rows Search(const SearchQuery& s) {
  const QByteArray sql = QByteArray("SELECT ") + kRecordColumns + ParamColumns() +
                         " FROM measurements WHERE ($1 = '' OR identifier = $1)"
                         " AND ($2 = '' OR wagon_from = $2 OR wagon_to = $2)"
                         " AND ($3 = '' OR measured_at >= $3::date) AND ($4 = '' OR measured_at < $4::date + 1)"
                         " AND ($5 = '' OR line = $5) ORDER BY measured_at, line, identifier LIMIT " +
                         QByteArray::number(kSearchLimit + 1);
  return Query(sql.constData(), {s.id, s.wagon, s.from.isValid() ? s.from.toString(Qt::ISODate).toUtf8() : "",
                                 s.to.isValid() ? s.to.toString(Qt::ISODate).toUtf8() : "", s.line});
}

// The measurement columns of springdata's export, then the line.
QByteArray MeasurementCsvHeader() {
  QByteArray h = "Файл;Позиция;Идентификатор;Дата и время;Тип тележки №;Тип тележки;Тип пружины №;"
                 "Тип пружины;Обозначение;Вид замера";
  for (int p = 1; p <= 6; ++p) h += QStringLiteral(";Параметр %1;Значение %1;Оценка %1").arg(p).toUtf8();
  return h + ";Оценка замера;Группа по высоте;Снята с вагона №;Установлена на вагон №;Линия";
}

QList<QByteArray> MeasurementCsvRow(const Rows& rows, size_t i) {
  const bool judged = rows.Bool(i, 10);
  const int kind = static_cast<int>(rows.Integer(i, 8));
  QList<QByteArray> f = {rows.Text(i, 15), "", rows.Text(i, 1), rows.Text(i, 3), rows.Text(i, 4),
                         judged ? rows.Text(i, 5) : "", rows.Text(i, 6), judged ? rows.Text(i, 7) : "", "",
                         kind == 0 ? "полный" : kind == 1 ? "быстрый" : QByteArray::number(kind)};
  for (int p = 1; p <= 6; ++p) {
    const size_t c = kParamColumn + 6 * (p - 1);
    const bool taken = !(kind == 1 && (p == 1 || p == 3 || p == 4));
    f << (judged ? QByteArray(kParamNames[p]) : QByteArray()) << (taken ? CsvValue(rows.rows[i][c]) : QByteArray())
      << (judged && taken ? Verdict(rows, i, c + 1) : QByteArray());
  }
  f << (judged ? Verdict(rows, i, 11) : QByteArray("Не оценен")) << rows.Text(i, 12) << rows.Text(i, 13)
    << rows.Text(i, 14) << rows.Text(i, 0);
  return f;
}

QByteArray RecordLink(const Rows& rows, size_t i) {
  return Url("/record", {{"line", rows.Text(i, 0)}, {"id", rows.Text(i, 1)}, {"at", rows.Text(i, 2)}});
}

void SearchPage(const Request& r, httplib::Response& res, bool csv) {
  const SearchQuery s(r);
  Rows rows;
  if (s.Any()) rows = Search(s);
  const bool cut = rows.ok && rows.rows.size() > static_cast<size_t>(kSearchLimit);
  if (cut) rows.rows.resize(kSearchLimit);
  if (csv) {
    std::vector<QList<QByteArray>> out;
    for (size_t i = 0; rows.ok && i < rows.rows.size(); ++i) out.push_back(MeasurementCsvRow(rows, i));
    res.set_header("Content-Disposition", "attachment; filename=\"measurements.csv\"");
    res.set_content(Csv(MeasurementCsvHeader(), out).toStdString(), "text/csv; charset=utf-8");
    return;
  }
  auto d = [](const QDate& x) { return x.isValid() ? x.toString(Qt::ISODate).toUtf8() : QByteArray(); };
  QByteArray body = "<form class=\"filter\" method=\"get\" action=\"/search\"><label>Идентификатор <input name=\"id\" value=\"" +
                    Esc(QString::fromUtf8(s.id)) + "\"></label><label>Вагон № <input name=\"wagon\" value=\"" +
                    Esc(QString::fromUtf8(s.wagon)) + "\"></label><label>с <input type=\"date\" name=\"from\" value=\"" +
                    d(s.from) + "\"></label><label>по <input type=\"date\" name=\"to\" value=\"" + d(s.to) +
                    "\"></label><label>Линия <input name=\"line\" size=\"8\" value=\"" + Esc(QString::fromUtf8(s.line)) +
                    "\"></label><button>Найти</button></form>";
  if (!s.Any()) {
    body += "<p>Задайте идентификатор, номер вагона или период.</p>";
  } else if (!rows.ok) {
    body += Error(rows);
  } else {
    body += "<p>Найдено записей: <b id=\"found\">" + QByteArray::number(rows.rows.size()) + "</b>" +
            (cut ? " (показаны первые " + QByteArray::number(kSearchLimit) + ", уточните поиск)" : "") +
            " · <a class=\"csv\" href=\"" +
            Esc(QString::fromUtf8(Url("/search.csv", {{"id", s.id}, {"wagon", s.wagon}, {"from", d(s.from)}, {"to", d(s.to)}, {"line", s.line}}))) +
            "\">Скачать CSV</a>";
    if (!s.wagon.isEmpty())
      body += " · <a href=\"" + Esc(QString::fromUtf8(Url("/sets", {{"wagon", s.wagon}}))) + "\">Комплекты вагона " +
              Esc(QString::fromUtf8(s.wagon)) + "</a>";
    body += "</p><table id=\"results\"><tr><th>Линия</th><th>Идентификатор</th><th>Дата и время</th><th>Тележка</th>"
            "<th>Пружина</th><th>Высота</th><th>Оценка</th><th>Снята с вагона</th><th>Установлена на вагон</th></tr>";
    for (size_t i = 0; i < rows.rows.size(); ++i) {
      const QByteArray verdict = rows.Bool(i, 9) ? "эмуляция" : !rows.Bool(i, 10) ? "не оценен" : Verdict(rows, i, 11);
      body += "<tr><td>" + Esc(QString::fromUtf8(rows.Text(i, 0))) + "</td><td><a href=\"" +
              Esc(QString::fromUtf8(RecordLink(rows, i))) + "\">" + Esc(QString::fromUtf8(rows.Text(i, 1))) +
              "</a></td><td>" + rows.Text(i, 3) + "</td><td>" + rows.Text(i, 4) + " " + Esc(QString::fromUtf8(rows.Text(i, 5))) +
              "</td><td>" + rows.Text(i, 6) + " " + Esc(QString::fromUtf8(rows.Text(i, 7))) + "</td><td class=\"n\">" +
              CsvValue(rows.rows[i][kParamColumn + 6]) + "</td><td>" + verdict + "</td><td>" +
              Esc(QString::fromUtf8(rows.Text(i, 13))) + "</td><td>" + Esc(QString::fromUtf8(rows.Text(i, 14))) + "</td></tr>";
    }
    body += "</table>";
  }
  res.set_content(Page(QStringLiteral("Поиск замеров"), &r, body).toStdString(), "text/html; charset=utf-8");
}

void RecordPage(const Request& r, httplib::Response& res) {
  const QByteArray sql = QByteArray("SELECT ") + kRecordColumns + ParamColumns() +
                         " FROM measurements WHERE line = $1 AND identifier = $2 AND measured_at = $3::timestamptz";
  const QByteArray at = r.Get("at");
  Rows rows = at.isEmpty() ? Rows{} : Query(sql.constData(), {r.Get("line"), r.Get("id"), at});
  QByteArray body;
  if (!rows.ok && !at.isEmpty()) {
    body += Error(rows);
  } else if (rows.rows.empty()) {
    res.status = 404;
    body += "<p>Запись не найдена.</p>";
  } else {
    const bool judged = rows.Bool(0, 10);
    body += "<table class=\"sheet\"><tr><th>Линия</th><td>" + Esc(QString::fromUtf8(rows.Text(0, 0))) +
            "</td></tr><tr><th>Идентификатор</th><td>" + Esc(QString::fromUtf8(rows.Text(0, 1))) +
            "</td></tr><tr><th>Дата и время</th><td>" + rows.Text(0, 3) + "</td></tr><tr><th>Тип тележки</th><td>" +
            rows.Text(0, 4) + " " + Esc(QString::fromUtf8(rows.Text(0, 5))) + "</td></tr><tr><th>Тип пружины</th><td>" +
            rows.Text(0, 6) + " " + Esc(QString::fromUtf8(rows.Text(0, 7))) + "</td></tr><tr><th>Вид замера</th><td>" +
            (rows.Integer(0, 8) == 1 ? "быстрый" : "полный") + (rows.Bool(0, 9) ? ", эмуляция (не замер линии)" : "") +
            "</td></tr><tr><th>Оценка замера</th><td>" + (judged ? Verdict(rows, 0, 11) : QByteArray("Не оценен")) +
            "</td></tr><tr><th>Группа по высоте</th><td>" + rows.Text(0, 12) + "</td></tr><tr><th>Снята с вагона №</th><td>" +
            Esc(QString::fromUtf8(rows.Text(0, 13))) + "</td></tr><tr><th>Установлена на вагон №</th><td>" +
            Esc(QString::fromUtf8(rows.Text(0, 14))) + "</td></tr><tr><th>Файл линии</th><td>" + rows.Text(0, 15) +
            "</td></tr></table>";
    body += "<h2>Параметры</h2><table id=\"params\"><tr><th>№</th><th>Параметр</th><th>Значение</th><th>Измерен линией</th>"
            "<th>Оценка</th><th>Min</th><th>Max</th><th>E</th></tr>";
    for (int p = 1; p <= 6; ++p) {
      const size_t c = kParamColumn + 6 * (p - 1);
      body += "<tr><td>" + QByteArray::number(p) + "</td><td>" + kParamNames[p] + "</td><td class=\"n\">" +
              CsvValue(rows.rows[0][c]) + "</td><td>" + (rows.Null(0, c + 2) ? "" : rows.Bool(0, c + 2) ? "да" : "нет") +
              "</td><td>" + Verdict(rows, 0, c + 1) + "</td><td class=\"n\">" + CsvValue(rows.rows[0][c + 3]) +
              "</td><td class=\"n\">" + CsvValue(rows.rows[0][c + 4]) + "</td><td class=\"n\">" +
              CsvValue(rows.rows[0][c + 5]) + "</td></tr>";
    }
    body += "</table><p>Нормы — те, по которым запись оценена на линии.</p>";
    for (const QByteArray& wagon : {rows.Text(0, 13), rows.Text(0, 14)})
      if (!wagon.isEmpty())
        body += "<p><a href=\"" + Esc(QString::fromUtf8(Url("/sets", {{"wagon", wagon}}))) +
                "\">Комплекты с пружинами вагона " + Esc(QString::fromUtf8(wagon)) + "</a> · <a href=\"" +
                Esc(QString::fromUtf8(Url("/search", {{"wagon", wagon}}))) + "\">Замеры вагона</a></p>";
  }
  res.set_content(Page(QStringLiteral("Карточка замера"), &r, body).toStdString(), "text/html; charset=utf-8");
}

QList<QByteArray> Places(const QByteArray& array) {
  QByteArray inner = array;
  inner.replace('{', "").replace('}', "");
  QList<QByteArray> out = inner.split(',');
  while (out.size() < 7) out << "";
  return out.mid(0, 7);
}

void SetsPage(const Request& r, httplib::Response& res, bool csv) {
  const QByteArray wagon = r.Get("wagon");
  const Rows rows = Query(
      "SELECT line, position, to_char(set_date, 'DD.MM.YYYY'), bogie_number, bogie_works, bogie_year,"
      " left_number, left_works, left_year, left_outer::text, left_inner::text,"
      " right_number, right_works, right_year, right_outer::text, right_inner::text, wagon_from, wagon_to"
      " FROM sets WHERE $1 <> '' AND (wagon_from = $1 OR wagon_to = $1) ORDER BY set_date, line, position",
      {wagon});
  std::vector<QList<QByteArray>> lines;
  for (size_t i = 0; rows.ok && i < rows.rows.size(); ++i) {
    QList<QByteArray> f = {QByteArray::number(rows.Integer(i, 1) + 1), rows.Text(i, 2), rows.Text(i, 3), rows.Text(i, 4),
                           rows.Text(i, 5)};
    for (int side : {6, 11}) {
      f << rows.Text(i, side) << rows.Text(i, side + 1) << rows.Text(i, side + 2);
      f << Places(rows.Text(i, side + 3)) << Places(rows.Text(i, side + 4));
    }
    f << rows.Text(i, 16) << rows.Text(i, 17) << rows.Text(i, 0);
    lines.push_back(f);
  }
  QByteArray header = "Позиция;Дата комплекта;Тележка №;Тележка, завод;Тележка, год";
  for (const char* side : {"Левая", "Правая"}) {
    header += QStringLiteral(";%1 рама №;%1 рама, завод;%1 рама, год").arg(QString::fromUtf8(side)).toUtf8();
    for (const char* ring : {"наружная", "внутренняя"})
      for (const char* place : springdata::kSetPlaces)
        header += QStringLiteral(";%1 %2 %3").arg(QString::fromUtf8(side), QString::fromUtf8(ring), QString::fromUtf8(place)).toUtf8();
  }
  header += ";Снята с вагона №;Установлена на вагон №;Линия";
  if (csv) {
    res.set_header("Content-Disposition", "attachment; filename=\"sets.csv\"");
    res.set_content(Csv(header, lines).toStdString(), "text/csv; charset=utf-8");
    return;
  }
  QByteArray body = "<form class=\"filter\" method=\"get\" action=\"/sets\"><label>Вагон № <input name=\"wagon\" value=\"" +
                    Esc(QString::fromUtf8(wagon)) + "\"></label><button>Найти</button></form>";
  if (!rows.ok) body += Error(rows);
  body += "<p>Комплектов: <b id=\"found\">" + QByteArray::number(lines.size()) + "</b> · <a class=\"csv\" href=\"" +
          Esc(QString::fromUtf8(Url("/sets.csv", {{"wagon", wagon}}))) +
          "\">Скачать CSV</a></p><table id=\"sets\"><tr><th>Линия</th><th>Позиция</th><th>Дата</th><th>Тележка</th>"
          "<th>Левая рама: группы наружных / внутренних</th><th>Правая рама: группы наружных / внутренних</th>"
          "<th>Снята с вагона</th><th>Установлена на вагон</th></tr>";
  for (const auto& f : lines) {
    auto groups = [&](int at) {
      return f.mid(at, 7).join(' ') + " / " + f.mid(at + 7, 7).join(' ');
    };
    body += "<tr><td>" + Esc(QString::fromUtf8(f[41])) + "</td><td class=\"n\">" + f[0] + "</td><td>" + f[1] +
            "</td><td>" + Esc(QString::fromUtf8(f[2] + " " + f[3] + " " + f[4])) + "</td><td>" +
            Esc(QString::fromUtf8(f[5] + " " + groups(8))) + "</td><td>" + Esc(QString::fromUtf8(f[22] + " " + groups(25))) +
            "</td><td>" + Esc(QString::fromUtf8(f[39])) + "</td><td>" + Esc(QString::fromUtf8(f[40])) + "</td></tr>";
  }
  body += "</table>";
  res.set_content(Page(QStringLiteral("Комплекты вагона ") + QString::fromUtf8(wagon), &r, body).toStdString(),
                  "text/html; charset=utf-8");
}

// ---------------------------------------------------------------- sign-in

QByteArray LoginForm(const QByteArray& next, const QString& error) {
  return "<form class=\"filter\" method=\"post\" action=\"/login\"><input type=\"hidden\" name=\"next\" value=\"" +
         Esc(QString::fromUtf8(next)) + "\"><p><label>Пользователь базы данных <input name=\"user\" autocomplete=\"username\" autofocus></label></p>"
         "<p><label>Пароль <input type=\"password\" name=\"password\" autocomplete=\"current-password\"></label></p>"
         "<p><button id=\"signin\">Войти</button></p>" +
         (error.isEmpty() ? QByteArray() : "<p class=\"err\">" + Esc(error) + "</p>") +
         "</form><p>Вход по учётной записи инженера в базе данных депо.</p>";
}

// Only a path of this server is a place to return to after the sign-in.
QByteArray SafeNext(const QByteArray& next) {
  return next.startsWith('/') && !next.startsWith("//") && !next.contains('\\') ? next : QByteArray("/");
}

}  // namespace

bool Serve(const ServeOptions& o) {
  SetDatabase(o.database);
  Sessions sessions;
  httplib::Server http;
  auto secure = [&](const httplib::Request& req) {
    return o.secureCookies || req.get_header_value("X-Forwarded-Proto") == "https";
  };
  auto cookie = [&](const httplib::Request& req, const QByteArray& value, bool clear) {
    std::string c = kCookie.toStdString() + "=" + value.toStdString() + "; Path=/; HttpOnly; SameSite=Strict";
    if (clear) c += "; Max-Age=0";
    if (secure(req)) c += "; Secure";
    return c;
  };
  auto session = [&](const httplib::Request& req) {
    return sessions.User(CookieValue(QByteArray::fromStdString(req.get_header_value("Cookie")), kCookie));
  };
  // Every page but the sign-in: without a live session, to the sign-in page.
  auto guarded = [&](const char* path, std::function<void(const Request&, httplib::Response&)> page) {
    http.Get(path, [&sessions, &session, page](const httplib::Request& req, httplib::Response& res) {
      const auto user = session(req);
      if (!user) {
        std::string target = req.path;
        char sep = '?';
        for (const auto& [k, v] : req.params) {
          target += sep + QUrl::toPercentEncoding(QString::fromStdString(k)).toStdString() + '=' +
                    QUrl::toPercentEncoding(QString::fromStdString(v)).toStdString();
          sep = '&';
        }
        res.set_redirect(Url("/login", {{"next", QByteArray::fromStdString(target)}}).toStdString(), 303);
        return;
      }
      page(Request{req, *user}, res);
    });
  };
  guarded("/", [](const Request& r, httplib::Response& res) { LinesPage(r, res, false); });
  guarded("/lines.csv", [](const Request& r, httplib::Response& res) { LinesPage(r, res, true); });
  guarded("/types", TypesPage);
  guarded("/type", TypePage);
  guarded("/type.csv", TypeCsv);
  guarded("/search", [](const Request& r, httplib::Response& res) { SearchPage(r, res, false); });
  guarded("/search.csv", [](const Request& r, httplib::Response& res) { SearchPage(r, res, true); });
  guarded("/record", RecordPage);
  guarded("/sets", [](const Request& r, httplib::Response& res) { SetsPage(r, res, false); });
  guarded("/sets.csv", [](const Request& r, httplib::Response& res) { SetsPage(r, res, true); });
  http.Get("/login", [](const httplib::Request& req, httplib::Response& res) {
    const QByteArray next = req.has_param("next") ? QByteArray::fromStdString(req.get_param_value("next")) : "/";
    res.set_content(Page(QStringLiteral("Вход"), nullptr, LoginForm(SafeNext(next), {})).toStdString(),
                    "text/html; charset=utf-8");
  });
  http.Post("/login", [&](const httplib::Request& req, httplib::Response& res) {
    const QByteArray user = QByteArray::fromStdString(req.get_param_value("user")).trimmed();
    const QByteArray password = QByteArray::fromStdString(req.get_param_value("password"));
    const QByteArray next = SafeNext(QByteArray::fromStdString(req.get_param_value("next")));
    const QString reason = CheckEngineer(o.database, user, password, QByteArray::fromStdString(o.engineersRole));
    const QByteArray token = reason.isEmpty() ? sessions.Open(user) : QByteArray();
    if (token.isEmpty()) {
      // A pause after a refusal slows down guessing.
      std::this_thread::sleep_for(std::chrono::seconds(1));
      res.status = 403;
      res.set_content(Page(QStringLiteral("Вход"), nullptr,
                           LoginForm(next, reason.isEmpty() ? QStringLiteral("Сеанс не открыт") : reason))
                          .toStdString(),
                      "text/html; charset=utf-8");
      return;
    }
    res.set_header("Set-Cookie", cookie(req, token, false));
    res.set_redirect(next.toStdString(), 303);
  });
  http.Post("/logout", [&](const httplib::Request& req, httplib::Response& res) {
    sessions.Close(CookieValue(QByteArray::fromStdString(req.get_header_value("Cookie")), kCookie));
    res.set_header("Set-Cookie", cookie(req, "", true));
    res.set_redirect("/login", 303);
  });
  http.set_default_headers({{"Cache-Control", "no-store"},
                            {"X-Content-Type-Options", "nosniff"},
                            {"Content-Security-Policy", "default-src 'none'; connect-src 'self'; style-src 'unsafe-inline'; img-src 'self' data:; form-action 'self'; frame-ancestors 'none'"}});
  if (!http.bind_to_port(o.host, o.port)) {
    std::fprintf(stderr, "kalvor-depot: cannot listen on %s:%d\n", o.host.c_str(), o.port);
    return false;
  }
  std::fprintf(stderr, "kalvor-depot: serving on http://%s:%d/\n", o.host.c_str(), o.port);
  return http.listen_after_bind();
}

}  // namespace depot
