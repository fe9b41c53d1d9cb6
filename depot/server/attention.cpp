#include "server/attention.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "server/queries.h"
#include "server/stats.h"
#include "server/views.h"

namespace depot {

namespace {

QDate DayOf(const Field& f) { return QDate::fromString(QString::fromUtf8(f.Text()), Qt::ISODate); }
// Free height or diameter of a cell: per shift of the period (`day` set), or
// pooled over the month of the period's end by norms (`day` empty).
struct ParamRow {
  QByteArray depot, line;
  int bogie = 0, spring = 0, param = 0;
  QDate day;
  Norms norms;
  Subgroup values;
};

// A cell's records of one shift of the period.
struct CountRow {
  QByteArray depot, line;
  int bogie = 0, spring = 0;
  QDate day;
  long long records = 0, judged = 0, good = 0;
  QByteArray bogieName, springName;
  QDate lastMeasured;
  bool silent = false;
};

Answer<ParamRow> FetchParams(const AttentionQuery& q) {
  using R = ParamRow;
  static const Columns<R> columns = {
      {"depot", [](R& r, const Field& f) { r.depot = f.Text(); }},
      {"line", [](R& r, const Field& f) { r.line = f.Text(); }},
      {"bogie_type", [](R& r, const Field& f) { r.bogie = static_cast<int>(f.Integer()); }},
      {"spring_type", [](R& r, const Field& f) { r.spring = static_cast<int>(f.Integer()); }},
      {"param", [](R& r, const Field& f) { r.param = static_cast<int>(f.Integer()); }},
      {"g::text", [](R& r, const Field& f) { r.day = DayOf(f); }},
      {"p_min", [](R& r, const Field& f) { r.norms.min = f.Number(); }},
      {"p_max", [](R& r, const Field& f) { r.norms.max = f.Number(); }},
      {"p_tolerance", [](R& r, const Field& f) { r.norms.tolerance = f.Number(); }},
      {kPooledN, [](R& r, const Field& f) { r.values.n = f.Integer(); }},
      {kPooledMean, [](R& r, const Field& f) { r.values.mean = f.Number().value_or(0); }},
      {kPooledSd, [](R& r, const Field& f) { r.values.sd = f.Number(); }},
  };
  // The shifts pool every norm of a day; the month keeps its norms apart.
  static const QByteArray kPooled = "sum(n * mean) OVER w / sum(n) OVER w AS pooled";
  return columns.Fetch(
      " FROM (WITH d AS (SELECT depot, line, bogie_type, spring_type, param, day, p_min, p_max, p_tolerance, n, mean,"
      "   m2 FROM measurement_param_days WHERE param IN (1, 2) AND ($3 = '' OR depot = $3)"
      "   AND day >= least($1::date, date_trunc('month', $2::date)::date) AND day <= $2::date)"
      " SELECT depot, line, bogie_type, spring_type, param, day AS g, NULL::real AS p_min, NULL::real AS p_max,"
      "   NULL::real AS p_tolerance, n, mean, m2, " + kPooled + " FROM d WHERE day >= $1::date"
      "   WINDOW w AS (PARTITION BY depot, line, bogie_type, spring_type, param, day)"
      " UNION ALL"
      " SELECT depot, line, bogie_type, spring_type, param, NULL, p_min, p_max, p_tolerance, n, mean, m2, " + kPooled +
      "   FROM d WHERE day >= date_trunc('month', $2::date)::date"
      "   WINDOW w AS (PARTITION BY depot, line, bogie_type, spring_type, param, p_min, p_max, p_tolerance)) days"
      " GROUP BY depot, line, bogie_type, spring_type, param, g, p_min, p_max, p_tolerance"
      " ORDER BY depot, line, bogie_type, spring_type, param, g",
      {IsoDate(q.from), IsoDate(q.to), q.depot});
}

Answer<CountRow> FetchCounts(const AttentionQuery& q) {
  using R = CountRow;
  static const Columns<R> columns = {
      {"depot", [](R& r, const Field& f) { r.depot = f.Text(); }},
      {"line", [](R& r, const Field& f) { r.line = f.Text(); }},
      {"bogie_type", [](R& r, const Field& f) { r.bogie = static_cast<int>(f.Integer()); }},
      {"spring_type", [](R& r, const Field& f) { r.spring = static_cast<int>(f.Integer()); }},
      {"day::text", [](R& r, const Field& f) { r.day = DayOf(f); }},
      {"sum(records)", [](R& r, const Field& f) { r.records = f.Integer(); }},
      {"sum(judged)", [](R& r, const Field& f) { r.judged = f.Integer(); }},
      {"sum(good)", [](R& r, const Field& f) { r.good = f.Integer(); }},
      {"max(bogie_name)", [](R& r, const Field& f) { r.bogieName = f.Text(); }},
      {"max(spring_name)", [](R& r, const Field& f) { r.springName = f.Text(); }},
      {"to_char(max(max(last_measured)) OVER c, 'YYYY-MM-DD')", [](R& r, const Field& f) { r.lastMeasured = DayOf(f); }},
      {"coalesce(max(max(last_measured)) OVER c, '-infinity') < least(now(), $2::date + 1) - interval '" +
           QByteArray::number(kSilentDays) + " days'",
       [](R& r, const Field& f) { r.silent = f.Bool(); }},
  };
  return columns.Fetch(" FROM measurement_days WHERE day >= $1::date AND day <= $2::date AND ($3 = '' OR depot = $3)"
                       " GROUP BY depot, line, bogie_type, spring_type, day"
                       " WINDOW c AS (PARTITION BY depot, line, bogie_type, spring_type)"
                       " ORDER BY depot, line, bogie_type, spring_type, day",
                       {IsoDate(q.from), IsoDate(q.to), q.depot});
}

using Key = std::tuple<QByteArray, QByteArray, int, int>;

struct CellData {
  std::vector<CountRow> days;
  std::map<int, std::vector<ParamRow>> shifts, month;  // by parameter
};

const char* ParamWord(int p) { return p == 2 ? "высоты" : "диаметра"; }
QString DayText(const QDate& d) { return d.toString(QStringLiteral("dd.MM")); }

bool InBase(const QDate& d, const QDate& from, const QDate& to) { return d >= from && d <= to; }

// The first 20 shifts of the period with a counted free height, else diameter.
void DefaultBaseline(const CellData& data, Cell& cell) {
  for (int p : {2, 1}) {
    const auto it = data.shifts.find(p);
    if (it == data.shifts.end() || it->second.empty()) continue;
    const size_t last = std::min<size_t>(it->second.size(), 20) - 1;
    cell.baseFrom = it->second.front().day;
    cell.baseTo = it->second[last].day;
    return;
  }
}

void RulesReason(const std::vector<ParamRow>& rows, int p, Cell& cell) {
  std::vector<Subgroup> groups, base;
  for (const ParamRow& r : rows) {
    groups.push_back(r.values);
    if (InBase(r.day, cell.baseFrom, cell.baseTo)) base.push_back(r.values);
  }
  const std::vector<ChartPoint> chart = MeanChart(groups, EstimateBaseline(base));
  Reason reason;
  reason.kind = Reason::Rules;
  reason.param = p;
  for (size_t i = chart.size() > kRecentShifts ? chart.size() - kRecentShifts : 0; i < chart.size(); ++i)
    for (int rule : chart[i].rules) {
      reason.shift = rows[i].day;
      if (std::find(reason.rules.begin(), reason.rules.end(), rule) == reason.rules.end()) reason.rules.push_back(rule);
    }
  if (reason.rules.empty()) return;
  std::sort(reason.rules.begin(), reason.rules.end());
  reason.status = reason.rules.front() == 1 ? Status::Red : Status::Amber;
  QStringList numbers;
  for (int rule : reason.rules) numbers << QString::number(rule);
  reason.text = QStringLiteral("X̄ %1: %2 %3 (последнее %4)")
                    .arg(ParamWord(p), reason.rules.size() > 1 ? QStringLiteral("правила") : QStringLiteral("правило"),
                         numbers.join(", "), DayText(reason.shift));
  cell.reasons.push_back(reason);
}

void CapabilityReason(const std::vector<ParamRow>& rows, int p, Cell& cell) {
  // The norms most of the month's values were judged with.
  const auto most = std::max_element(rows.begin(), rows.end(),
                                     [](const ParamRow& a, const ParamRow& b) { return a.values.n < b.values.n; });
  if (most == rows.end()) return;
  const quality::Indices ix = Capability(most->values.n, most->values.mean, most->values.sd,
                                         NormLimits(most->norms.min, most->norms.max, most->norms.tolerance));
  if (!ix.cpk || *ix.cpk >= kCpkAmber) return;
  Reason reason;
  reason.kind = Reason::Capability;
  reason.param = p;
  reason.value = *ix.cpk;
  reason.status = *ix.cpk < kCpkRed ? Status::Red : Status::Amber;
  reason.reference = *ix.cpk < kCpkRed ? kCpkRed : kCpkAmber;
  reason.text = QStringLiteral("Cpk %1 за месяц %2 < %3")
                    .arg(ParamWord(p), Num(*ix.cpk, 2), Num(reason.reference, 2));
  cell.reasons.push_back(reason);
}

void RejectedReason(const std::vector<CountRow>& days, Cell& cell) {
  long long baseJudged = 0, baseRejected = 0, judged = 0, rejected = 0;
  int recent = 0;
  QDate last;
  for (auto it = days.rbegin(); it != days.rend(); ++it) {
    if (it->judged <= 0) continue;
    if (recent < kRecentShifts) {
      ++recent;
      judged += it->judged;
      rejected += it->judged - it->good;
      if (!last.isValid()) last = it->day;
    }
    if (InBase(it->day, cell.baseFrom, cell.baseTo)) {
      baseJudged += it->judged;
      baseRejected += it->judged - it->good;
    }
  }
  if (judged <= 0 || baseJudged <= 0 || rejected < kRejectedAtLeast) return;
  const double share = static_cast<double>(rejected) / judged;
  const double base = static_cast<double>(baseRejected) / baseJudged;
  const double ref = std::max(base, kRejectedFloor);
  if (share < kRejectedAmber * ref) return;
  Reason reason;
  reason.kind = Reason::Rejected;
  reason.status = share >= kRejectedRed * ref ? Status::Red : Status::Amber;
  reason.shift = last;
  reason.value = share;
  reason.reference = base;
  reason.text = QStringLiteral("брак %1 % за %2 смен при %3 % в базовом периоде")
                    .arg(Num(100 * share, 1))
                    .arg(recent)
                    .arg(Num(100 * base, 1));
  cell.reasons.push_back(reason);
}

}  // namespace

const char* StatusClass(Status s) {
  return s == Status::Red ? "red" : s == Status::Amber ? "amber" : "green";
}

std::vector<Cell> Attention(const AttentionQuery& q) {
  std::map<Key, CellData> data;
  for (CountRow& r : FetchCounts(q).rows) data[{r.depot, r.line, r.bogie, r.spring}].days.push_back(std::move(r));
  for (ParamRow& r : FetchParams(q).rows) {
    const auto it = data.find({r.depot, r.line, r.bogie, r.spring});
    if (it == data.end()) continue;
    (r.day.isValid() ? it->second.shifts : it->second.month)[r.param].push_back(std::move(r));
  }
  std::vector<Cell> cells;
  for (const auto& [key, d] : data) {
    long long records = 0;
    for (const CountRow& day : d.days) records += day.records;
    if (records <= 0) continue;  // emulated only: not measured
    Cell cell;
    std::tie(cell.depot, cell.line, cell.bogie, cell.spring) = key;
    for (const CountRow& day : d.days) {
      cell.bogieName = std::max(cell.bogieName, day.bogieName);
      cell.springName = std::max(cell.springName, day.springName);
    }
    cell.lastMeasured = d.days.back().lastMeasured;
    if (q.baseFrom.isValid() && q.baseTo.isValid()) {
      cell.baseFrom = q.baseFrom;
      cell.baseTo = q.baseTo;
    } else {
      DefaultBaseline(d, cell);
    }
    for (int p : {2, 1}) {
      if (const auto it = d.shifts.find(p); it != d.shifts.end()) RulesReason(it->second, p, cell);
      if (const auto it = d.month.find(p); it != d.month.end()) CapabilityReason(it->second, p, cell);
    }
    RejectedReason(d.days, cell);
    if (d.days.back().silent) {
      Reason reason;
      reason.kind = Reason::Silent;
      reason.text = QStringLiteral("нет замеров %1 дня, последний %2")
                        .arg(kSilentDays)
                        .arg(cell.lastMeasured.toString(QStringLiteral("dd.MM.yyyy")));
      cell.reasons.push_back(reason);
    }
    std::stable_sort(cell.reasons.begin(), cell.reasons.end(),
                     [](const Reason& a, const Reason& b) { return a.status > b.status; });
    if (!cell.reasons.empty()) cell.status = cell.reasons.front().status;
    cells.push_back(std::move(cell));
  }
  auto rank = [](const Cell& c) {
    int red = 0, amber = 0;
    for (const Reason& r : c.reasons) (r.status == Status::Red ? red : amber) += 1;
    return std::tuple(static_cast<int>(c.status), red, amber);
  };
  std::stable_sort(cells.begin(), cells.end(), [&](const Cell& a, const Cell& b) { return rank(a) > rank(b); });
  return cells;
}

}  // namespace depot
