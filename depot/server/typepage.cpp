// One spring type: control charts per shift, the histogram of the period and
// the capability by week and by line, each also as CSV.

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "server/charts.h"
#include "server/handlers.h"
#include "server/queries.h"
#include "server/railwayqueries.h"
#include "server/views.h"
#include "quality/limits.h"
#include "sorting/heightgroup.h"

namespace depot {

namespace {

// A bogie's or spring's type number: the database keeps it as a smallint.
constexpr int kMaxType = 32767;

// The filter's lines at the railway's centre as LineKey names them: a line
// of the filter's depot becomes DEPOT/LINE, since lines of two depots may
// share a name. A bare name without a depot stays: the line of that name in
// every depot, each apart. At a depot the lines stay as given.
QByteArray CentralLines(const QByteArray& lines, const QByteArray& depot) {
  if (lines.isEmpty() || depot.isEmpty() || !IsCentral()) return lines;
  QList<QByteArray> out;
  for (const QByteArray& line : lines.split(',')) out << (line.contains('/') ? line : depot + '/' + line);
  return out.join(',');
}

// The page's parameters: the type and period, and the baseline the chart
// limits come from. Without a baseline picked, the first 20 shifts of the
// period with a counted free height (or, for a type without one, a counted
// diameter) give one for both parameters, so that the page's fields and
// links name the period its limits come from and a reload with them shows
// the same: QueueBaseline() asks for them in a batch, Resolve() takes them.
struct TypeQuery {
  TypeFilter f;
  QDate baseFrom, baseTo;
  bool baseGiven = false;
  bool basePicked = false;  // by the engineer, not the first 20 shifts
  QDate shift;              // the shift to mark on the charts

  explicit TypeQuery(const Request& r) {
    f.depot = r.Get("depot");
    f.line = CentralLines(r.Get("line"), f.depot);
    f.bogie = r.Int("bogie", 1, 1, kMaxType);
    f.spring = r.Int("spring", 1, 1, kMaxType);
    f.to = r.Date("to");
    if (!f.to.isValid()) f.to = QDate::currentDate();
    f.from = r.Date("from");
    if (!f.from.isValid()) f.from = f.to.addDays(-59);
    CheckPeriod(f.from, f.to);
    baseFrom = r.Date("bfrom");
    baseTo = r.Date("bto");
    CheckPeriod(baseFrom, baseTo);
    baseGiven = basePicked = baseFrom.isValid() && baseTo.isValid();
    shift = r.Date("shift");
  }
  // The same page for one line of the filter, with that line's own baseline
  // where the engineer picked none.
  TypeQuery ForLine(const QByteArray& line) const {
    TypeQuery q = *this;
    q.f.line = line;
    if (!basePicked) {
      q.baseGiven = false;
      q.baseFrom = q.baseTo = QDate();
    }
    return q;
  }
  void QueueBaseline(Batch& b) {
    if (baseGiven) return;
    first_[0] = FirstShifts::Fetch(b, f, 2);
    first_[1] = FirstShifts::Fetch(b, f, 1);
  }
  void ResolveBaseline() {
    for (const Later<FirstShifts>& later : first_) {
      if (baseGiven) return;
      const Answer<FirstShifts> a = later.Get();
      if (a.rows.empty() || !a.rows[0].first.isValid()) continue;
      baseFrom = a.rows[0].first;
      baseTo = a.rows[0].last;
      baseGiven = baseFrom.isValid() && baseTo.isValid();
    }
  }
  TypeTarget Target() const {
    TypeTarget t{f.depot, f.line, f.bogie, f.spring, f.from, f.to, {}, {}, {}, 0};
    if (baseGiven) t.baseFrom = baseFrom, t.baseTo = baseTo;
    return t;
  }
  Link Query() const { return TypeParams(Target()); }

 private:
  std::array<Later<FirstShifts>, 2> first_;
};

struct ChartData {
  Later<Subgroup> later;
  std::vector<Subgroup> groups;
  std::vector<bool> inBase;
  Baseline base;
  std::vector<ChartPoint> mean, sd;
};

// The chart's shifts, once its batch ran: those of the baseline give the limits.
void Chart(const TypeQuery& q, ChartData& c) {
  c.groups = c.later.Get().rows;
  std::vector<Subgroup> base;
  for (const Subgroup& g : c.groups) {
    const QDate d = QDate::fromString(g.label, Qt::ISODate);
    const bool in = d >= q.baseFrom && d <= q.baseTo;
    c.inBase.push_back(in);
    if (in) base.push_back(g);
  }
  c.base = EstimateBaseline(base);
  c.mean = MeanChart(c.groups, c.base);
  c.sd = SdChart(c.groups, c.base);
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

struct HistData {
  Later<LatestNorms> latest;
  Later<ValueRange> range;
  Later<BinRow> bins;
  double lower = 0, upper = 0;
  // The bars: whole cells of the values' daily grid, the first from cell
  // firstCell, each `cells` wide.
  double scale = 0, firstCell = 0, cells = 1;
  std::vector<long long> counts;
  Norms norms;
  quality::Limits limits;
};
// At most this many bars, as few cells wide each as that allows.
constexpr int kBins = 40;

// The histogram's norms and range, asked in a first batch.
void QueueHistogramRange(Batch& b, const TypeQuery& q, int p, HistData& h) {
  h.latest = LatestNorms::Fetch(b, q.f, p);
  h.range = ValueRange::Fetch(b, q.f, p);
}

// Its bins, from the range and the norms, asked in the next one.
void QueueHistogramBins(Batch& b, const TypeQuery& q, int p, HistData& h) {
  const Answer<LatestNorms> latest = h.latest.Get();
  if (!latest.rows.empty()) h.norms = latest.rows[0].norms;
  h.limits = NormLimits(h.norms.min, h.norms.max, h.norms.tolerance);
  const Answer<ValueRange> range = h.range.Get();
  if (range.rows.empty() || !range.rows[0].lowest || !range.rows[0].highest || !(range.rows[0].scale > 0)) return;
  double lower = *range.rows[0].lowest, upper = *range.rows[0].highest;
  // The bins cover the values and the limits.
  if (h.limits.lower) lower = std::min(lower, *h.limits.lower);
  if (h.limits.upper) upper = std::max(upper, *h.limits.upper);
  const double pad = std::max((upper - lower) * 0.05, 0.01);
  lower -= pad;
  upper += pad;
  if (!std::isfinite(lower) || !std::isfinite(upper)) return;
  // Edges on the grid: bars of whole cells, the first at a multiple of the
  // bar's width (which moves it by less than a bar).
  h.scale = range.rows[0].scale;
  const double first = std::floor(lower * h.scale), end = std::ceil(upper * h.scale);
  h.cells = std::max(1.0, std::ceil((end - first) / (kBins - 1)));
  h.firstCell = std::floor(first / h.cells) * h.cells;
  const int bins = std::clamp(static_cast<int>(std::ceil((end - h.firstCell) / h.cells)), 1, kBins);
  h.counts.assign(bins, 0);
  h.lower = h.firstCell / h.scale;
  h.upper = (h.firstCell + bins * h.cells) / h.scale;
  h.bins = BinRow::Fetch(b, q.f, p, range.rows[0].kept, h.firstCell, h.cells);
}

void HistogramCounts(HistData& h) {
  if (h.counts.empty()) return;
  const double last = static_cast<double>(h.counts.size() - 1);
  for (const BinRow& b : h.bins.Get().rows)
    if (std::isfinite(b.bin)) h.counts[static_cast<size_t>(std::clamp(b.bin, 0.0, last))] += b.count;
}

// The lower edge of bar i.
double BinEdge(const HistData& h, size_t i) { return (h.firstCell + static_cast<double>(i) * h.cells) / h.scale; }

std::vector<Marker> HistMarkers(const HistData& h, int p, int bogie) {
  std::vector<Marker> m;
  if (h.norms.min && quality::IsLowerLimit(*h.norms.min)) m.push_back({*h.norms.min, "Min", Marker::Norm});
  if (h.norms.max && quality::IsUpperLimit(*h.norms.max)) m.push_back({*h.norms.max, "Max", Marker::Norm});
  if (h.limits.lower) m.push_back({*h.limits.lower, "Min−E", Marker::Tolerance});
  if (h.limits.upper) m.push_back({*h.limits.upper, "Max+E", Marker::Tolerance});
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
  PooledRow pooled;
  quality::Limits limits;
  quality::Indices ix;
};

// Cp/Cpk grouped by `by` (a week or a line; PooledRow's answer). Where a
// group's records were judged with different norms, the norms of most of
// its records count.
void CapabilityBy(const Later<PooledRow>& pooled, std::vector<CapRow>& out) {
  for (const PooledRow& row : pooled.Get().rows) {
    if (!out.empty() && out.back().pooled.key == row.key) continue;
    CapRow c{row, NormLimits(row.norms.min, row.norms.max, row.norms.tolerance), {}};
    c.ix = Capability(row.n, row.mean, row.sd, c.limits);
    out.push_back(c);
  }
}

QByteArray CapabilityHeader(const char* first) {
  return QByteArray(first) + ";Тип тележки №;Тип пружины №;Параметр №;Параметр;n;Среднее;СКО;Min;Max;E;"
                             "НГ (Min-E);ВГ (Max+E);Cp;Cpk";
}

std::vector<QList<QByteArray>> CapabilityCsv(const TypeQuery& q, int p, const std::vector<CapRow>& rows) {
  std::vector<QList<QByteArray>> out;
  for (const CapRow& c : rows) {
    const PooledRow& r = c.pooled;
    out.push_back({r.key, QByteArray::number(q.f.bogie), QByteArray::number(q.f.spring), QByteArray::number(p),
                   kParamNames[p], QByteArray::number(r.n), CsvNum(r.mean), CsvNum(r.sd), CsvNum(r.norms.min),
                   CsvNum(r.norms.max), CsvNum(r.norms.tolerance), CsvNum(c.limits.lower),
                   CsvNum(c.limits.upper), CsvNum(c.ix.cp), CsvNum(c.ix.cpk)});
  }
  return out;
}

QByteArray CapabilityTable(const char* first, const std::vector<CapRow>& rows) {
  QByteArray t = QByteArray("<table><tr><th>") + first +
                 "</th><th>n</th><th>Среднее</th><th>СКО</th><th>Cp</th><th>Cpk</th></tr>";
  for (const CapRow& c : rows)
    t += "<tr><td>" + Esc(c.pooled.key) + "</td><td class=\"n\">" + QByteArray::number(c.pooled.n) +
         "</td><td class=\"n\">" + Esc(Num(c.pooled.mean, 3)) + "</td><td class=\"n\">" + Esc(Opt(c.pooled.sd, 3)) +
         "</td><td class=\"n\">" + Esc(Opt(c.ix.cp, 2)) + "</td><td class=\"n\">" + Esc(Opt(c.ix.cpk, 2)) +
         "</td></tr>";
  return t + "</table>";
}

// A shift's or week's day as the pages write it: DD.MM.
QString DayMonth(const QString& iso) { return QDate::fromString(iso, Qt::ISODate).toString(QStringLiteral("dd.MM")); }

// The records of a shift: the search for its line, type and day. At the
// railway's centre a line named DEPOT/LINE is searched in its depot.
QByteArray ShiftLink(const TypeQuery& q, const QString& day) {
  const QByteArray d = day.toUtf8();
  QByteArray depot = q.f.depot, line = q.f.line;
  if (const qsizetype slash = line.indexOf('/'); slash > 0 && !line.contains(',')) {
    depot = line.left(slash);
    line = line.mid(slash + 1);
  }
  return Url("/search", {{"depot", depot}, {"line", line}, {"bogie", QByteArray::number(q.f.bogie)},
                         {"spring", QByteArray::number(q.f.spring)}, {"from", d}, {"to", d}});
}

// The X̄ chart of one line (or pooled lines) with every point and violation
// leading to its shift's records, and the shift asked for marked.
QByteArray MeanSection(const TypeQuery& q, const ChartData& c, const QString& title, ChartOptions options) {
  std::vector<QString> labels;
  for (const Subgroup& g : c.groups) {
    labels.push_back(DayMonth(g.label));
    options.links.push_back(ShiftLink(q, g.label));
    if (q.shift.isValid() && g.label == IsoDate(q.shift)) options.marked = static_cast<int>(labels.size()) - 1;
  }
  return ControlChartSvg(title, labels, c.mean, c.inBase, options);
}

QByteArray Violations(const TypeQuery& q, const ChartData& c) {
  QByteArray violations;
  for (size_t i = 0; i < c.groups.size(); ++i)
    for (const auto& [chart, pts] : {std::pair{"X̄", &c.mean}, std::pair{"s", &c.sd}})
      if (!(*pts)[i].rules.empty())
        violations += "<li data-shift=\"" + c.groups[i].label.toUtf8() + "\"><a href=\"" +
                      Esc(ShiftLink(q, c.groups[i].label)) + "\">" + c.groups[i].label.toUtf8() + ", " + chart +
                      ": правило " + Rules((*pts)[i].rules) + "</a></li>";
  return violations.isEmpty() ? QByteArray("<p>Нарушений правил нет.</p>")
                              : "<p>Нарушения:</p><ul class=\"violations\">" + violations + "</ul>";
}

QByteArray BaselineText(const TypeQuery& q, const ChartData& c) {
  return "Базовый период " + IsoDate(q.baseFrom) + " — " + IsoDate(q.baseTo) + ": " +
         (c.base.valid ? Esc(QStringLiteral("центр %1, σ %2 по %3 сменам")
                                 .arg(Num(c.base.centre, 3), Num(c.base.sigma, 3))
                                 .arg(c.base.subgroups))
                       : QByteArray("мало данных для границ"));
}

// One parameter's section: its queries, asked in the page's second batch
// (the histogram's range in the first), then its charts, histogram and
// capability.
struct SectionData {
  int p = 2;
  ChartData chart;                                  // one line, or the lines pooled alike
  std::vector<std::pair<TypeQuery, ChartData>> lines;  // pooled lines, each apart
  HistData hist;
  Later<Subgroup> all;
  Later<PooledRow> weeks, months, byLine;
};

void QueueSection(Batch& b, const TypeQuery& q, const QList<QByteArray>& pooled, SectionData& s) {
  if (pooled.size() > 1) {
    for (const QByteArray& line : pooled) {
      s.lines.emplace_back(q.ForLine(line), ChartData{});
      s.lines.back().first.QueueBaseline(b);
      s.lines.back().second.later = FetchShifts(b, s.lines.back().first.f, s.p);
    }
  } else {
    s.chart.later = FetchShifts(b, q.f, s.p);
  }
  QueueHistogramBins(b, q, s.p, s.hist);
  s.all = FetchPeriodValues(b, q.f, s.p);
  s.weeks = PooledRow::Fetch(b, q.f, s.p, kWeek);
  s.months = PooledRow::Fetch(b, q.f, s.p, kMonth);
  s.byLine = PooledRow::Fetch(b, q.f, s.p, LineKey());
}

// Pooled lines: one small X̄ chart per line, each with its own baseline's
// limits, all on one scale.
QByteArray LinesSideBySide(std::vector<std::pair<TypeQuery, ChartData>>& charts) {
  double lo = INFINITY, hi = -INFINITY;
  for (auto& [lq, c] : charts) {
    lq.ResolveBaseline();
    Chart(lq, c);
    for (const ChartPoint& pt : c.mean) {
      if (pt.value) lo = std::min(lo, *pt.value), hi = std::max(hi, *pt.value);
      if (pt.upper > pt.lower) lo = std::min(lo, pt.lower), hi = std::max(hi, pt.upper);
    }
  }
  QByteArray out = "<h3>Среднее по сменам, X̄, по линиям</h3>";
  for (const auto& [lq, c] : charts) {
    ChartOptions options;
    options.height = 200;
    if (std::isfinite(lo)) options.scale = std::pair(lo, hi);
    out += "<div class=\"line-chart\" data-line=\"" + Esc(lq.f.line) + "\">" +
           MeanSection(lq, c, QStringLiteral("Линия %1: X̄").arg(QString::fromUtf8(lq.f.line)), options) + "<p>" +
           BaselineText(lq, c) + "</p>" + Violations(lq, c) + "</div>";
  }
  return out;
}

QByteArray Section(const TypeQuery& q, SectionData& s) {
  const int p = s.p;
  auto csv = [&](const char* what) {
    Link link = q.Query();
    link.push_back({"p", QByteArray::number(p)});
    link.push_back({"what", what});
    return "<a class=\"csv\" href=\"" + Esc(Url("/type.csv", link)) + "\">CSV</a>";
  };
  QByteArray body = "<section id=\"p" + QByteArray::number(p) + "\"><h2>" + Esc(QString::fromUtf8(kParamNames[p])) + "</h2>";
  if (!s.lines.empty()) {
    body += LinesSideBySide(s.lines);
  } else {
    ChartData& c = s.chart;
    Chart(q, c);
    body += "<p>" + BaselineText(q, c) + "</p>";
    body += MeanSection(q, c, QStringLiteral("Среднее по сменам, X̄"), {});
    std::vector<QString> labels;
    for (const Subgroup& g : c.groups) labels.push_back(DayMonth(g.label));
    body += ControlChartSvg(QStringLiteral("СКО по сменам, s"), labels, c.sd, c.inBase);
    body += Violations(q, c);
  }
  body += "<p class=\"noprint\">" + csv("chart") + " контрольных карт</p>";

  HistData& h = s.hist;
  HistogramCounts(h);
  Fit fit;
  if (const Answer<Subgroup> all = s.all.Get(); !all.rows.empty()) {
    fit.n = all.rows[0].n;
    fit.mean = all.rows[0].mean;
    fit.sd = all.rows[0].sd;
    const quality::Indices ix = Capability(fit.n, fit.mean, fit.sd, h.limits);
    fit.cp = ix.cp;
    fit.cpk = ix.cpk;
  }
  body += HistogramSvg(QStringLiteral("Гистограмма за период"), h.lower, h.upper, h.counts, HistMarkers(h, p, q.f.bogie),
                       fit);
  body += "<p class=\"noprint\">" + csv("hist") + " гистограммы</p>";

  std::vector<CapRow> weeks, months;
  CapabilityBy(s.weeks, weeks);
  CapabilityBy(s.months, months);
  auto trend = [](const QString& title, const std::vector<CapRow>& rows, bool week) {
    std::vector<QString> labels;
    std::vector<std::optional<double>> cp, cpk;
    for (const CapRow& w : rows) {
      const QString key = QString::fromUtf8(w.pooled.key);
      labels.push_back(week ? DayMonth(key) : key.mid(5) + "." + key.left(4));
      cp.push_back(w.ix.cp);
      cpk.push_back(w.ix.cpk);
    }
    return TrendSvg(title, labels, cp, cpk);
  };
  body += "<div class=\"pair\">" + trend(QStringLiteral("Cp и Cpk по неделям"), weeks, true) +
          trend(QStringLiteral("Cp и Cpk по месяцам"), months, false) + "</div>";
  body += "<h3>По месяцам</h3>" + CapabilityTable("Месяц", months);
  body += "<h3>По неделям</h3>" + CapabilityTable("Неделя (с понедельника)", weeks) + "<p class=\"noprint\">" + csv("weeks") + "</p>";
  std::vector<CapRow> lines;
  CapabilityBy(s.byLine, lines);
  return body + "<h3>По линиям за период</h3>" + CapabilityTable("Линия", lines) + "<p class=\"noprint\">" + csv("lines") +
         "</p></section>";
}

// The lines of the filter by how they name the type (LineNaming), for a
// filter of more than one line.
std::map<QByteArray, QList<QByteArray>> Namings(const Later<LineNaming>& namings) {
  std::map<QByteArray, QList<QByteArray>> groups;
  for (const LineNaming& n : namings.Get().rows) groups[n.naming] << n.line;
  return groups;
}
Later<LineNaming> QueueNamings(Batch& b, const TypeQuery& q) {
  const bool many = q.f.line.isEmpty() || q.f.line.contains(',') || (IsCentral() && !q.f.line.contains('/'));
  return many ? LineNaming::Fetch(b, q.f) : Later<LineNaming>();
}

// The causes of rejection: the rejected records of the period by the
// parameter that failed (a record failed on several counts in each), and
// the share rejected per week.
struct RejectionData {
  Later<RejectedValues> values;
  Later<RejectedWeek> weeks;
};
void QueueRejections(Batch& b, const TypeQuery& q, RejectionData& d) {
  d.values = RejectedValues::Fetch(b, q.f);
  d.weeks = RejectedWeek::Fetch(b, q.f);
}

QByteArray Rejections(const RejectionData& d) {
  std::array<long long, 7> failed{};
  for (const RejectedValues& v : d.values.Get().rows)
    if (!quality::WithinJudgementLimits(v.value, v.min, v.max, v.tolerance)) failed[v.param] += v.count;
  std::vector<int> order;
  for (int p = 1; p <= 6; ++p)
    if (failed[p] > 0) order.push_back(p);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return failed[a] > failed[b]; });
  std::vector<QString> names;
  std::vector<long long> counts;
  QByteArray table = "<table id=\"pareto\" class=\"small\"><tr><th>Параметр</th><th>Записей с браком по нему</th></tr>";
  for (int p : order) {
    names.push_back(QString::fromUtf8(kParamNames[p]).section(',', 0, 0));
    counts.push_back(failed[p]);
    table += "<tr data-param=\"" + QByteArray::number(p) + "\"><td>" + kParamNames[p] + "</td><td class=\"n\">" +
             QByteArray::number(failed[p]) + "</td></tr>";
  }
  QByteArray out = "<section id=\"rejections\"><h2>Причины брака</h2>";
  out += order.empty() ? QByteArray("<p>Брака за период нет.</p>")
                       : ParetoSvg(QStringLiteral("Брак по параметрам (запись с браком по нескольким — в каждом)"),
                                   names, counts) + table + "</table>";
  // The lines of a week add up: its rejected over its judged records.
  std::map<QByteArray, std::pair<long long, long long>> byWeek;
  for (const RejectedWeek& w : d.weeks.Get().rows) {
    byWeek[w.week].first += w.rejected;
    byWeek[w.week].second += w.judged;
  }
  std::vector<QString> labels;
  Series share{QStringLiteral("брак, %"), SeriesColour(4), {}};
  for (const auto& [week, n] : byWeek) {
    labels.push_back(DayMonth(QString::fromUtf8(week)));
    share.values.push_back(n.second > 0 ? std::optional(100.0 * n.first / n.second) : std::nullopt);
  }
  return out + SeriesSvg(QStringLiteral("Доля брака по неделям, %"), labels, {share}, {}, 1) + "</section>";
}

}  // namespace

// Two round trips: the baseline, the namings and the histogram's range,
// then what needs them.
void TypeCsv(const Request& r, httplib::Response& res) {
  TypeQuery q(r);
  const int p = r.Int("p", 2, 1, 6);
  const QByteArray what = r.Get("what");
  Batch first;
  const Later<LineNaming> namings = QueueNamings(first, q);
  q.QueueBaseline(first);
  HistData h;
  if (what == "hist") QueueHistogramRange(first, q, p, h);
  first.Run();
  q.ResolveBaseline();
  if (Namings(namings).size() > 1)
    throw Refusal{400, QStringLiteral("Линии называют этот тип по-разному: их замеры не сводятся вместе")};
  Batch second;
  Later<PooledRow> pooled;
  ChartData c;
  if (what == "hist") QueueHistogramBins(second, q, p, h);
  else if (what == "weeks" || what == "lines") pooled = PooledRow::Fetch(second, q.f, p, what == "weeks" ? QByteArray(kWeek) : LineKey());
  else c.later = FetchShifts(second, q.f, p);
  second.Run();
  QByteArray out;
  if (what == "hist") {
    HistogramCounts(h);
    std::vector<QList<QByteArray>> lines;
    // Edges as they are (whole cells of a power-of-two grid, in ten digits).
    for (size_t i = 0; i < h.counts.size(); ++i)
      lines.push_back({CsvNum(BinEdge(h, i), -1), CsvNum(BinEdge(h, i + 1), -1), QByteArray::number(h.counts[i])});
    out = Csv("От;До;Число", lines);
  } else if (what == "weeks" || what == "lines") {
    std::vector<CapRow> caps;
    CapabilityBy(pooled, caps);
    out = Csv(CapabilityHeader(what == "weeks" ? "Неделя" : "Линия"), CapabilityCsv(q, p, caps));
  } else {
    Chart(q, c);
    out = Csv(kChartHeader, ChartCsv(c));
  }
  res.set_header("Content-Disposition", "attachment; filename=\"" + what.toStdString() + "-p" + std::to_string(p) + ".csv\"");
  res.set_content(out.toStdString(), "text/csv; charset=utf-8");
}

// Two round trips: the names, the namings, the baseline and the
// histograms' ranges, then everything else of the page.
void TypePage(const Request& r, httplib::Response& res) {
  TypeQuery q(r);
  Batch first;
  const Later<TypeNames> typeNames = TypeNames::Fetch(first, q.f);
  const Later<LineNaming> namings = QueueNamings(first, q);
  q.QueueBaseline(first);
  SectionData sections[2];
  sections[0].p = 2;
  sections[1].p = 1;
  for (SectionData& s : sections) QueueHistogramRange(first, q, s.p, s.hist);
  first.Run();
  q.ResolveBaseline();

  const Answer<TypeNames> names = typeNames.Get();
  const bool named = !names.rows.empty();
  const QString typeName = QStringLiteral("%1 %2 / %3 %4")
                               .arg(q.f.bogie)
                               .arg(named ? QString::fromUtf8(names.rows[0].bogie) : "")
                               .arg(q.f.spring)
                               .arg(named ? QString::fromUtf8(names.rows[0].spring) : "");
  // The depot named once in the heading, not again before each line.
  QStringList shown;
  for (const QByteArray& line : q.f.line.split(','))
    shown << QString::fromUtf8(!q.f.depot.isEmpty() && line.startsWith(q.f.depot + '/') ? line.mid(q.f.depot.size() + 1) : line);
  const QString lines = shown.join(", ");
  const QString depotTitle = !q.f.depot.isEmpty() ? QStringLiteral(" — депо ") + QString::fromUtf8(q.f.depot)
                             : IsCentral()        ? QStringLiteral(" — все депо")
                                                  : QString();
  const QString title = QStringLiteral("Тип пружины ") + typeName + depotTitle +
                        (q.f.line.isEmpty()      ? QStringLiteral(" — все линии")
                         : q.f.line.contains(',') ? QStringLiteral(" — линии ") + lines
                                                 : QStringLiteral(" — линия ") + lines);
  QByteArray body =
      "<form class=\"filter\" method=\"get\" action=\"/type\"><input type=\"hidden\" name=\"depot\" value=\"" +
      Esc(q.f.depot) + "\"><input type=\"hidden\" name=\"line\" value=\"" +
      Esc(q.f.line) + "\"><input type=\"hidden\" name=\"bogie\" value=\"" + QByteArray::number(q.f.bogie) +
      "\"><input type=\"hidden\" name=\"spring\" value=\"" + QByteArray::number(q.f.spring) +
      "\"><label>Период с <input type=\"date\" name=\"from\" value=\"" + IsoDate(q.f.from) +
      "\"></label><label>по <input type=\"date\" name=\"to\" value=\"" + IsoDate(q.f.to) +
      "\"></label><label>Базовый период с <input type=\"date\" name=\"bfrom\" value=\"" + IsoDate(q.baseFrom) +
      "\"></label><label>по <input type=\"date\" name=\"bto\" value=\"" + IsoDate(q.baseTo) +
      "\"></label><button>Показать</button></form>";
  body += "<p><a href=\"" + Esc(TypeLink({q.f.depot, {}, q.f.bogie, q.f.spring, {}, {}, {}, {}, {}, 0})) + "\">" +
          (q.f.depot.isEmpty() ? "Этот тип на всех линиях" : "Этот тип на всех линиях депо " + Esc(q.f.depot)) +
          "</a></p>";
  body += "<p>Правила Western Electric: 1 — точка за 3σ; 2 — две из трёх подряд за 2σ по одну сторону; "
          "3 — четыре из пяти подряд за 1σ по одну сторону; 4 — восемь подряд по одну сторону от центра.</p>";
  // Lines pool only where their bogie files name the type alike, with the
  // same norms; lines that differ are shown apart.
  const auto groups = Namings(namings);
  if (groups.size() > 1) {
    body += "<p class=\"err\">Линии называют этот тип по-разному или судят его по разным нормам; "
            "их замеры не сводятся вместе:</p><ul id=\"apart\">";
    for (const auto& [naming, lines] : groups) {
      TypeTarget t = q.Target();
      t.line = lines.join(',');
      body += "<li><a href=\"" + Esc(TypeLink(t)) + "\">" + Esc(lines.join(", ")) + "</a>: " + Esc(naming) + "</li>";
    }
    res.set_content(Page(title, &r.user, body + "</ul>").toStdString(), "text/html; charset=utf-8");
    return;
  }
  if (!groups.empty()) body += "<p id=\"pooled\">Сведены линии: " + Esc(groups.begin()->second.join(", ")) + "</p>";
  const QList<QByteArray> pooled = groups.empty() ? QList<QByteArray>() : groups.begin()->second;

  Batch second;
  RejectionData rejections;
  QueueRejections(second, q, rejections);
  for (SectionData& s : sections) QueueSection(second, q, pooled, s);
  second.Run();
  body += Rejections(rejections);
  for (SectionData& s : sections) body += Section(q, s);
  res.set_content(Page(title, &r.user, body).toStdString(), "text/html; charset=utf-8");
}

}  // namespace depot
