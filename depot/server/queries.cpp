#include "server/queries.h"

#include "quality/measured.h"
#include "server/railwayqueries.h"
#include "server/views.h"

namespace depot {

QByteArray LineKey() { return IsCentral() ? "depot || '/' || line" : "line"; }

namespace {

// The filter's lines ($1, LineKey's names by commas) and depot ($6) on the
// columns of the table aliased `t` ("m.", or empty for none).
QByteArray LinesAndDepot(const QByteArray& t = {}) {
  // At the centre a bare line name is that line of every depot.
  const QByteArray lines = IsCentral() ? "(" + t + "depot || '/' || " + t + "line = ANY(string_to_array($1, ',')) OR " +
                                             t + "line = ANY(string_to_array($1, ',')))"
                                       : t + "line = ANY(string_to_array($1, ','))";
  return "($1 = '' OR " + lines + ") AND ($6 = '' OR " + t + "depot = $6)";
}

// The rows of parameter p that count: measured on the line, not emulated, of
// the type and period asked (TypeFilter's parameters), of a kind that takes
// the parameter.
QByteArray Where(int p) {
  const QByteArray v = "p" + QByteArray::number(p);
  QByteArray w = " WHERE " + LinesAndDepot() + " AND bogie_type = $2::smallint AND spring_type = $3::smallint"
                 " AND measured_at >= $4::date AND measured_at < $5::date + 1 AND NOT emulated"
                 " AND " + v + "_measured IS NOT FALSE AND " + v + "_value IS NOT NULL";
  if (!quality::KindTakes(quality::kFastKind, p)) w += " AND kind <> " + QByteArray::number(quality::kFastKind);
  return w;
}

// The same rows in the daily summary of parameter p (or in `table`, another
// summary by day and parameter).
QByteArray SummaryWhere(int p, const QByteArray& table = "measurement_param_days") {
  return " FROM " + table + " WHERE " + LinesAndDepot() + " AND bogie_type = $2::smallint"
         " AND spring_type = $3::smallint AND param = " + QByteArray::number(p) +
         " AND day >= $4::date AND day <= $5::date";
}

// The days of parameter p grouped by `by` (and `extra`, columns of the
// summary) as the table "days" with the pooled mean of each group beside
// every day; the select list pools them with the Pooled* columns.
QByteArray PooledFrom(int p, const QByteArray& by, const QByteArray& extra) {
  const QByteArray more = extra.isEmpty() ? QByteArray() : ", " + extra;
  return " FROM (SELECT " + by + " AS g" + more + ", n, mean, m2, sum(n * mean) OVER w / sum(n) OVER w AS pooled" +
         SummaryWhere(p) + " WINDOW w AS (PARTITION BY " + by + more + ")) days GROUP BY g" + more;
}
}  // namespace

const char* const kPooledN = "sum(n)";
const char* const kPooledMean = "sum(n * mean) / sum(n)";
const char* const kPooledSd =
    "CASE WHEN sum(n) > 1 THEN sqrt((sum(m2) + sum(n * (mean - pooled) ^ 2)) / (sum(n) - 1)) END";

const char* const kWeek = "to_char(date_trunc('week', day), 'YYYY-MM-DD')";
const char* const kMonth = "to_char(day, 'YYYY-MM')";

Later<LineRow> LineRow::Fetch(Batch& b, const QByteArray& depot) {
  using R = LineRow;
  static const Columns<R> columns = {
      {"l.depot", [](R& r, const Field& f) { r.depot = f.Text(); }},
      {"l.name", [](R& r, const Field& f) { r.name = f.Text(); }},
      {"to_char(l.last_sync_at, 'DD.MM.YYYY HH24:MI:SS')", [](R& r, const Field& f) { r.lastSync = f.Text(); }},
      {"coalesce(now() - l.last_sync_at > interval '1 hour', true)", [](R& r, const Field& f) { r.stale = f.Bool(); }},
      {"coalesce(sum(h.records) FILTER (WHERE h.day = current_date), 0)",
       [](R& r, const Field& f) { r.today = f.Integer(); }},
      {"coalesce(sum(h.judged) FILTER (WHERE h.day = current_date), 0)",
       [](R& r, const Field& f) { r.todayJudged = f.Integer(); }},
      {"coalesce(sum(h.good) FILTER (WHERE h.day = current_date), 0)",
       [](R& r, const Field& f) { r.todayGood = f.Integer(); }},
      {"coalesce(sum(h.records), 0)", [](R& r, const Field& f) { r.week = f.Integer(); }},
      {"coalesce(sum(h.judged), 0)", [](R& r, const Field& f) { r.weekJudged = f.Integer(); }},
      {"coalesce(sum(h.good), 0)", [](R& r, const Field& f) { r.weekGood = f.Integer(); }},
      {"coalesce(sum(h.emulated), 0)", [](R& r, const Field& f) { r.weekEmulated = f.Integer(); }},
      {"(SELECT to_char(x.last_measured, 'DD.MM.YYYY HH24:MI:SS') FROM measurement_days x"
       "   WHERE x.depot = l.depot AND x.line = l.name AND x.last_measured IS NOT NULL ORDER BY x.day DESC, x.last_measured DESC LIMIT 1)",
       [](R& r, const Field& f) { r.lastMeasurement = f.Text(); }},
  };
  return columns.Queue(b,
      " FROM lines l LEFT JOIN measurement_days h ON h.depot = l.depot AND h.line = l.name"
      "  AND h.day >= date_trunc('week', current_date) AND h.day <= current_date"
      " WHERE $1 = '' OR l.depot = $1"
      " GROUP BY l.depot, l.name, l.last_sync_at ORDER BY l.name, l.depot",
      {depot});
}

Later<DatabaseZone> DatabaseZone::Fetch(Batch& b) {
  static const Columns<DatabaseZone> columns = {
      {"current_setting('TimeZone')", [](DatabaseZone& r, const Field& f) { r.name = f.Text(); }}};
  return columns.Queue(b, {});
}

Later<TypeRow> TypeRow::Fetch(Batch& b, const QByteArray& line, const QByteArray& depot) {
  using R = TypeRow;
  static const Columns<R> columns = {
      {"bogie_type", [](R& r, const Field& f) { r.bogie = f.Text(); }},
      {"spring_type", [](R& r, const Field& f) { r.spring = f.Text(); }},
      {"bogie_name", [](R& r, const Field& f) { r.bogieName = f.Text(); }},
      {"spring_name", [](R& r, const Field& f) { r.springName = f.Text(); }},
      {"sum(records)", [](R& r, const Field& f) { r.records = f.Text(); }},
      {"string_agg(line, ',' ORDER BY line)", [](R& r, const Field& f) { r.lines = f.Text(); }},
  };
  // Each line's names first: lines whose bogie files name a type alike pool.
  return columns.Queue(b,
                       " FROM (SELECT " + LineKey() + " AS line, bogie_type, spring_type, max(bogie_name) AS bogie_name,"
                       " max(spring_name) AS spring_name, sum(records) AS records FROM measurement_days"
                       " WHERE ($1 = '' OR " + LineKey() + " = $1) AND ($2 = '' OR depot = $2) AND day >= current_date - 90"
                       " GROUP BY 1, 2, 3) per_line"
                       " GROUP BY bogie_type, spring_type, bogie_name, spring_name HAVING sum(records) > 0"
                       " ORDER BY bogie_type, spring_type, bogie_name, spring_name",
                       {line, depot});
}

Params TypeFilter::Values() const {
  return {line, QByteArray::number(bogie), QByteArray::number(spring), IsoDate(from), IsoDate(to), depot};
}

Later<TypeNames> TypeNames::Fetch(Batch& b, const TypeFilter& f) {
  using R = TypeNames;
  static const Columns<R> columns = {
      {"max(any_bogie_name)", [](R& r, const Field& v) { r.bogie = v.Text(); }},
      {"max(any_spring_name)", [](R& r, const Field& v) { r.spring = v.Text(); }},
  };
  // Over the type's whole history, so that a period without records
  // still shows the type's names.
  return columns.Queue(b, " FROM measurement_days WHERE bogie_type = $2::smallint AND spring_type = $3::smallint AND " +
                              LinesAndDepot() + " AND $4::date IS NOT NULL AND $5::date IS NOT NULL",
                       f.Values());
}

Later<LineNaming> LineNaming::Fetch(Batch& b, const TypeFilter& f) {
  using R = LineNaming;
  static const Columns<R> columns = {
      {"n.line", [](R& r, const Field& v) { r.line = v.Text(); }},
      {"concat_ws(' / ', n.bogie_name, n.spring_name, k.norms)", [](R& r, const Field& v) { r.naming = v.Text(); }},
  };
  return columns.Queue(b,
      " FROM (SELECT " + LineKey() + " AS line, max(bogie_name) AS bogie_name, max(spring_name) AS spring_name"
      "  FROM measurement_days WHERE " + LinesAndDepot() + " AND bogie_type = $2::smallint"
      "  AND spring_type = $3::smallint AND day >= $4::date AND day <= $5::date AND records > 0"
      "  GROUP BY 1) n"
      " LEFT JOIN (SELECT " + LineKey() + " AS line, string_agg(DISTINCT param || ': ' || concat_ws('..', p_min, p_max) ||"
      "  ' E ' || coalesce(p_tolerance::text, ''), ', ') AS norms FROM measurement_param_days"
      "  WHERE " + LinesAndDepot() + " AND bogie_type = $2::smallint"
      "  AND spring_type = $3::smallint AND day >= $4::date AND day <= $5::date AND param IN (1, 2)"
      "  GROUP BY 1) k ON k.line = n.line ORDER BY n.line",
      f.Values());
}

Later<FirstShifts> FirstShifts::Fetch(Batch& b, const TypeFilter& f, int p) {
  using R = FirstShifts;
  static const Columns<R> columns = {
      {"min(d)", [](R& r, const Field& v) { r.first = QDate::fromString(QString::fromUtf8(v.Text()), Qt::ISODate); }},
      {"max(d)", [](R& r, const Field& v) { r.last = QDate::fromString(QString::fromUtf8(v.Text()), Qt::ISODate); }},
  };
  return columns.Queue(b, " FROM (SELECT DISTINCT day AS d" + SummaryWhere(p) + " ORDER BY 1 LIMIT 20) first",
                       f.Values());
}

Later<Subgroup> FetchShifts(Batch& b, const TypeFilter& f, int p) {
  using R = Subgroup;
  static const Columns<R> columns = {
      {"g", [](R& r, const Field& v) { r.label = QString::fromUtf8(v.Text()); }},
      {kPooledN, [](R& r, const Field& v) { r.n = v.Integer(); }},
      {kPooledMean, [](R& r, const Field& v) { r.mean = v.Number().value_or(0); }},
      {kPooledSd, [](R& r, const Field& v) { r.sd = v.Number(); }},
  };
  return columns.Queue(b, PooledFrom(p, "day", {}) + " ORDER BY 1", f.Values());
}

Later<LatestNorms> LatestNorms::Fetch(Batch& b, const TypeFilter& f, int p) {
  using R = LatestNorms;
  static const Columns<R> columns = {
      {"p_min", [](R& r, const Field& v) { r.norms.min = v.Number(); }},
      {"p_max", [](R& r, const Field& v) { r.norms.max = v.Number(); }},
      {"p_tolerance", [](R& r, const Field& v) { r.norms.tolerance = v.Number(); }},
  };
  return columns.Queue(b, SummaryWhere(p) + " AND last_judged IS NOT NULL ORDER BY last_judged DESC LIMIT 1",
                       f.Values());
}

Later<ValueRange> ValueRange::Fetch(Batch& b, const TypeFilter& f, int p) {
  using R = ValueRange;
  const Columns<R> columns = {
      {"min(lowest)", [](R& r, const Field& v) { r.lowest = v.Number(); }},
      {"max(highest)", [](R& r, const Field& v) { r.highest = v.Number(); }},
      {"kalvor_value_scale(" + QByteArray::number(p) + "::smallint)",
       [](R& r, const Field& v) { r.scale = v.Number().value_or(0); }},
      {QByteArray::number(p) + "::smallint = ANY(kalvor_value_params())",
       [](R& r, const Field& v) { r.kept = v.Bool(); }},
  };
  return columns.Queue(b, SummaryWhere(p), f.Values());
}

Later<BinRow> BinRow::Fetch(Batch& b, const TypeFilter& f, int p, bool kept, double firstCell, double cellsPerBin) {
  using R = BinRow;
  const QByteArray param = QByteArray::number(p);
  // The parameter's cells from its daily summary, or from its rows.
  const QByteArray cell = kept ? "cell" : "floor(p" + param + "_value * kalvor_value_scale(" + param + "::smallint))";
  const Columns<R> columns = {
      {"floor((" + cell + " - $7::float8) / $8::float8)", [](R& r, const Field& v) { r.bin = v.Number().value_or(0); }},
      {kept ? "sum(n)" : "count(*)", [](R& r, const Field& v) { r.count = v.Integer(); }},
  };
  Params values = f.Values();
  values.push_back(QByteArray::number(firstCell, 'g', 17));
  values.push_back(QByteArray::number(cellsPerBin, 'g', 17));
  return columns.Queue(b, (kept ? SummaryWhere(p, "measurement_value_days") : " FROM measurements" + Where(p)) + " GROUP BY 1",
                       values);
}

Later<PooledRow> PooledRow::Fetch(Batch& b, const TypeFilter& f, int p, const QByteArray& by) {
  using R = PooledRow;
  static const Columns<R> columns = {
      {"g", [](R& r, const Field& v) { r.key = v.Text(); }},
      {"p_min", [](R& r, const Field& v) { r.norms.min = v.Number(); }},
      {"p_max", [](R& r, const Field& v) { r.norms.max = v.Number(); }},
      {"p_tolerance", [](R& r, const Field& v) { r.norms.tolerance = v.Number(); }},
      {kPooledN, [](R& r, const Field& v) { r.n = v.Integer(); }},
      {kPooledMean, [](R& r, const Field& v) { r.mean = v.Number().value_or(0); }},
      {kPooledSd, [](R& r, const Field& v) { r.sd = v.Number(); }},
  };
  return columns.Queue(b, PooledFrom(p, by, "p_min, p_max, p_tolerance") + " ORDER BY g, sum(n) DESC", f.Values());
}

Later<Subgroup> FetchPeriodValues(Batch& b, const TypeFilter& f, int p) {
  using R = Subgroup;
  static const Columns<R> columns = {
      {kPooledN, [](R& r, const Field& v) { r.n = v.Integer(); }},
      {kPooledMean, [](R& r, const Field& v) { r.mean = v.Number().value_or(0); }},
      {kPooledSd, [](R& r, const Field& v) { r.sd = v.Number(); }},
  };
  return columns.Queue(b, PooledFrom(p, "param", {}), f.Values());
}

Later<RejectedValues> RejectedValues::Fetch(Batch& b, const TypeFilter& f) {
  using R = RejectedValues;
  static const Columns<R> columns = {
      {"v.param", [](R& r, const Field& x) { r.param = static_cast<int>(x.Integer()); }},
      {"v.value", [](R& r, const Field& x) { r.value = x.Text().toFloat(); }},
      {"v.lo", [](R& r, const Field& x) { r.min = x.Text().toFloat(); }},
      {"v.hi", [](R& r, const Field& x) { r.max = x.Text().toFloat(); }},
      {"v.tol", [](R& r, const Field& x) { r.tolerance = x.Text().toFloat(); }},
      {"count(*)", [](R& r, const Field& x) { r.count = x.Integer(); }},
  };
  QByteArray fast;  // the parameters the quick measurement skips
  for (int p = 1; p <= 6; ++p)
    if (!quality::KindTakes(quality::kFastKind, p)) fast += (fast.isEmpty() ? "" : ", ") + QByteArray::number(p);
  QByteArray values;
  for (int p = 1; p <= 6; ++p) {
    const QByteArray c = "m.p" + QByteArray::number(p);
    values += (p > 1 ? ", (" : "(") + QByteArray::number(p) + ", " + c + "_value, " + c + "_measured, " + c + "_min, " +
              c + "_max, " + c + "_tolerance)";
  }
  return columns.Queue(b,
      " FROM measurements m CROSS JOIN LATERAL (VALUES " + values + ") v(param, value, measured, lo, hi, tol)"
      " WHERE " + LinesAndDepot("m.") + " AND m.bogie_type = $2::smallint"
      " AND m.spring_type = $3::smallint AND m.measured_at >= $4::date AND m.measured_at < $5::date + 1"
      " AND NOT m.emulated AND m.judged AND m.spring_good IS FALSE AND v.measured IS NOT FALSE"
      " AND v.value IS NOT NULL AND v.lo IS NOT NULL AND v.hi IS NOT NULL AND v.tol IS NOT NULL" +
          (fast.isEmpty() ? QByteArray() : " AND (v.param NOT IN (" + fast + ") OR m.kind <> " +
                                               QByteArray::number(quality::kFastKind) + ")") +
          " GROUP BY 1, 2, 3, 4, 5",
      f.Values());
}

Later<RejectedWeek> RejectedWeek::Fetch(Batch& b, const TypeFilter& f) {
  using R = RejectedWeek;
  static const Columns<R> columns = {
      {kWeek, [](R& r, const Field& f) { r.week = f.Text(); }},
      {LineKey(), [](R& r, const Field& f) { r.line = f.Text(); }},
      {"sum(judged)", [](R& r, const Field& f) { r.judged = f.Integer(); }},
      {"sum(judged - good)", [](R& r, const Field& f) { r.rejected = f.Integer(); }},
  };
  return columns.Queue(b, " FROM measurement_days WHERE " + LinesAndDepot() +
                              " AND ($2::int = 0 OR bogie_type = $2::smallint AND spring_type = $3::smallint)"
                              " AND day >= $4::date AND day <= $5::date GROUP BY 1, 2 ORDER BY 1, 2",
                       f.Values());
}

namespace {

// A stored record's columns, then its six parameters'.
const Columns<MeasurementRow>& MeasurementColumns() {
  using R = MeasurementRow;
  static const Columns<R> columns = [] {
    Columns<R> c = {
        {"depot", [](R& r, const Field& f) { r.depot = f.Text(); }},
        {"line", [](R& r, const Field& f) { r.line = f.Text(); }},
        {"identifier", [](R& r, const Field& f) { r.identifier = f.Text(); }},
        {"measured_at::text", [](R& r, const Field& f) { r.at = f.Text(); }},
        {"to_char(measured_at, 'DD.MM.YYYY HH24:MI:SS')", [](R& r, const Field& f) { r.shown = f.Text(); }},
        {"bogie_type", [](R& r, const Field& f) { r.bogie = f.Text(); }},
        {"bogie_name", [](R& r, const Field& f) { r.bogieName = f.Text(); }},
        {"spring_type", [](R& r, const Field& f) { r.spring = f.Text(); }},
        {"spring_name", [](R& r, const Field& f) { r.springName = f.Text(); }},
        {"kind", [](R& r, const Field& f) { r.kind = static_cast<int>(f.Integer()); }},
        {"accelerated", [](R& r, const Field& f) { r.accelerated = f.Bool(); }},
        {"emulated", [](R& r, const Field& f) { r.emulated = f.Bool(); }},
        {"judged", [](R& r, const Field& f) { r.judged = f.Bool(); }},
        {"spring_good", [](R& r, const Field& f) { r.springGood = f.OptionalBool(); }},
        {"height_group", [](R& r, const Field& f) { r.heightGroup = f.Text(); }},
        {"wagon_from", [](R& r, const Field& f) { r.wagonFrom = f.Text(); }},
        {"wagon_to", [](R& r, const Field& f) { r.wagonTo = f.Text(); }},
        {"source", [](R& r, const Field& f) { r.source = f.Text(); }},
    };
    for (int p = 1; p <= 6; ++p) {
      const QByteArray v = "p" + QByteArray::number(p);
      c.Add(v + "_value", [p](R& r, const Field& f) { r.params[p].value = f.Raw(); });
      c.Add(v + "_good", [p](R& r, const Field& f) { r.params[p].good = f.OptionalBool(); });
      c.Add(v + "_measured", [p](R& r, const Field& f) { r.params[p].measured = f.OptionalBool(); });
      c.Add(v + "_min", [p](R& r, const Field& f) { r.params[p].min = f.Raw(); });
      c.Add(v + "_max", [p](R& r, const Field& f) { r.params[p].max = f.Raw(); });
      c.Add(v + "_tolerance", [p](R& r, const Field& f) { r.params[p].tolerance = f.Raw(); });
    }
    return c;
  }();
  return columns;
}

QList<QByteArray> Places(const QByteArray& array) {
  QByteArray inner = array;
  inner.replace('{', "").replace('}', "");
  QList<QByteArray> out = inner.split(',');
  while (out.size() < 7) out << "";
  return out.mid(0, 7);
}

}  // namespace

Answer<MeasurementRow> SearchMeasurements(const SearchFilter& s, int limit) {
  return MeasurementColumns().Fetch(
      " FROM measurements WHERE ($1 = '' OR identifier = $1)"
      " AND ($2 = '' OR wagon_from = $2 OR wagon_to = $2)"
      " AND ($3 = '' OR measured_at >= $3::date) AND ($4 = '' OR measured_at < $4::date + 1)"
      " AND ($5 = '' OR line = $5) AND ($6::int = 0 OR bogie_type = $6::smallint AND spring_type = $7::smallint)"
      " AND ($8 = '' OR depot = $8)"
      " ORDER BY measured_at, depot, line, identifier LIMIT " + QByteArray::number(limit),
      {s.id, s.wagon, IsoDate(s.from), IsoDate(s.to), s.line, QByteArray::number(s.bogie),
       QByteArray::number(s.spring), s.depot});
}

Answer<MeasurementRow> FindMeasurement(const QByteArray& depot, const QByteArray& line, const QByteArray& id,
                                       const QByteArray& at) {
  return MeasurementColumns().Fetch(
      " FROM measurements WHERE line = $1 AND identifier = $2 AND measured_at = $3::timestamptz"
      " AND ($4 = '' OR depot = $4) ORDER BY depot LIMIT 1",
      {line, id, at, depot});
}

Answer<SetRow> SetRow::Fetch(const QByteArray& wagon, const QByteArray& depot) {
  using R = SetRow;
  static const Columns<R> columns = [] {
    Columns<R> c = {
        {"depot", [](R& r, const Field& f) { r.depot = f.Text(); }},
        {"line", [](R& r, const Field& f) { r.line = f.Text(); }},
        {"position", [](R& r, const Field& f) { r.position = f.Integer(); }},
        {"to_char(set_date, 'DD.MM.YYYY')", [](R& r, const Field& f) { r.date = f.Text(); }},
        {"bogie_number", [](R& r, const Field& f) { r.bogieNumber = f.Text(); }},
        {"bogie_works", [](R& r, const Field& f) { r.bogieWorks = f.Text(); }},
        {"bogie_year", [](R& r, const Field& f) { r.bogieYear = f.Text(); }},
        {"wagon_from", [](R& r, const Field& f) { r.wagonFrom = f.Text(); }},
        {"wagon_to", [](R& r, const Field& f) { r.wagonTo = f.Text(); }},
    };
    for (SetSide R::*side : {&R::left, &R::right}) {
      const QByteArray n = side == &R::left ? "left_" : "right_";
      c.Add(n + "number", [side](R& r, const Field& f) { (r.*side).number = f.Text(); });
      c.Add(n + "works", [side](R& r, const Field& f) { (r.*side).works = f.Text(); });
      c.Add(n + "year", [side](R& r, const Field& f) { (r.*side).year = f.Text(); });
      c.Add(n + "outer::text", [side](R& r, const Field& f) { (r.*side).outer = Places(f.Text()); });
      c.Add(n + "inner::text", [side](R& r, const Field& f) { (r.*side).inner = Places(f.Text()); });
    }
    return c;
  }();
  return columns.Fetch(" FROM sets WHERE $1 <> '' AND (wagon_from = $1 OR wagon_to = $1) AND ($2 = '' OR depot = $2)"
                       " ORDER BY set_date, depot, line, position",
                       {wagon, depot});
}

}  // namespace depot
