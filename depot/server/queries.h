#pragma once
// The server's queries, one struct per query: its row with the columns it
// reads. Each runs through dbquery's Query() and answers with its rows, or
// with the database's reason.

#include <QByteArray>
#include <QDate>
#include <array>
#include <optional>

#include "server/dbquery.h"
#include "server/stats.h"

namespace depot {

// ---------------------------------------------------------------- lines

// Counts of today and of this week (from Monday) per line; emulated records
// are counted apart and never as measured. The share good is that of the
// judged records. At the railway's centre lines of one depot (`depot`
// empty: of every depot).
struct LineRow {
  QByteArray depot, name, lastMeasurement, lastSync;
  bool stale = true;
  long long today = 0, todayJudged = 0, todayGood = 0;
  long long week = 0, weekJudged = 0, weekGood = 0, weekEmulated = 0;
  static Later<LineRow> Fetch(Batch& b, const QByteArray& depot);
  static Answer<LineRow> Fetch(const QByteArray& depot = {}) {
    return Alone<LineRow>([&](Batch& b) { return Fetch(b, depot); });
  }
};

// The time zone the database counts days, weeks and shifts in.
struct DatabaseZone {
  QByteArray name;
  static Later<DatabaseZone> Fetch(Batch& b);
  static Answer<DatabaseZone> Fetch() { return Alone<DatabaseZone>([](Batch& b) { return Fetch(b); }); }
};

// The SQL that names a row's line as the pages do: DEPOT/LINE at the
// railway's centre, where lines of several depots may share a name, the
// line's name at a depot.
QByteArray LineKey();

// The spring types a line (or every line, `line` empty) of a depot (or of
// every depot, `depot` empty) measured in the last 90 days, with their
// records. Lines whose bogie files name a type differently are rows of
// their own, each with its lines (LineKey's names, by commas).
struct TypeRow {
  QByteArray bogie, spring, bogieName, springName, records, lines;
  static Later<TypeRow> Fetch(Batch& b, const QByteArray& line, const QByteArray& depot);
};

// ---------------------------------------------------------------- one spring type

// The records of one spring type over a period, on one line or every line.
struct TypeFilter {
  QByteArray line;  // empty: every line; lines (LineKey's names) apart by commas
  int bogie = 1, spring = 1;
  QDate from, to;
  QByteArray depot = {};  // empty: every depot
  // $1 line or '', $2 bogie, $3 spring, $4..$5 days, $6 depot or ''.
  Params Values() const;
};

// The names the type's records carry.
struct TypeNames {
  QByteArray bogie, spring;
  static Later<TypeNames> Fetch(Batch& b, const TypeFilter& f);
};

// How each line of the filter names the type in the period: its bogie and
// spring names and the norms of parameters 1 and 2 its records were judged
// by. Only lines that name it alike may be pooled.
struct LineNaming {
  QByteArray line, naming;
  static Later<LineNaming> Fetch(Batch& b, const TypeFilter& f);
};

// The first and last of the first 20 shifts of the period in which
// parameter p was counted.
struct FirstShifts {
  QDate first, last;
  static Later<FirstShifts> Fetch(Batch& b, const TypeFilter& f, int p);
};

// Parameter p per shift (one Subgroup each, labelled by its day), pooled
// from the daily summaries.
Later<Subgroup> FetchShifts(Batch& b, const TypeFilter& f, int p);
inline Answer<Subgroup> FetchShifts(const TypeFilter& f, int p) {
  return Alone<Subgroup>([&](Batch& b) { return FetchShifts(b, f, p); });
}

// The norms a record was judged by.
struct Norms {
  std::optional<double> min, max, tolerance;
};
// The norms of the latest judged record of the period: those the charts show.
struct LatestNorms {
  Norms norms;
  static Later<LatestNorms> Fetch(Batch& b, const TypeFilter& f, int p);
};

// The lowest and highest value of parameter p in the period, the cells a
// millimetre of its values' grid (BinRow) and whether the daily summary of
// the values keeps its cells.
struct ValueRange {
  std::optional<double> lowest, highest;
  double scale = 0;
  bool kept = false;
  static Later<ValueRange> Fetch(Batch& b, const TypeFilter& f, int p);
};

// The counted values of parameter p in bins of `cellsPerBin` whole cells of
// its grid, bin 0 starting at cell `firstCell` (bin k holds the cells
// firstCell + k·cellsPerBin and on), from the values' daily summary where it
// keeps them (`kept`), else from the rows: each bin's count is that of the
// values in its edges, exactly.
struct BinRow {
  double bin = 0;
  long long count = 0;
  static Later<BinRow> Fetch(Batch& b, const TypeFilter& f, int p, bool kept, double firstCell, double cellsPerBin);
};

// Parameter p pooled by `by` (a week or the line) and by the norms its
// records were judged with, the most records of a group first.
struct PooledRow {
  QByteArray key;  // the week or the line
  Norms norms;
  long long n = 0;
  double mean = 0;
  std::optional<double> sd;
  static Later<PooledRow> Fetch(Batch& b, const TypeFilter& f, int p, const QByteArray& by);
};
// A week as PooledRow's `by`: its Monday.
extern const char* const kWeek;
// A month as PooledRow's `by`: YYYY-MM.
extern const char* const kMonth;
// Count, mean and sample deviation (null for one value) of rows of a
// summary pooled by a GROUP BY, each row with its group's pooled mean in
// the column "pooled".
extern const char* const kPooledN;
extern const char* const kPooledMean;
extern const char* const kPooledSd;

// Parameter p over the whole period, pooled from the daily summaries.
Later<Subgroup> FetchPeriodValues(Batch& b, const TypeFilter& f, int p);

// The values of parameter p of the rejected records of the period
// (judged, not good), counted by value and the norms they were judged with,
// so that the quality rules tell which failed.
struct RejectedValues {
  int param = 0;
  float value = 0;
  float min = 0, max = 0, tolerance = 0;
  long long count = 0;
  static Later<RejectedValues> Fetch(Batch& b, const TypeFilter& f);
};

// The judged and rejected records per week (its Monday) and line (LineKey)
// of the filter's days, lines and depot, of its type (bogie 0: every type).
struct RejectedWeek {
  QByteArray week, line;
  long long judged = 0, rejected = 0;
  static Later<RejectedWeek> Fetch(Batch& b, const TypeFilter& f);
};

// ---------------------------------------------------------------- records and sets

// One parameter of a stored record.
struct ParamColumns {
  std::optional<QByteArray> value;  // the stored 32-bit value's text
  std::optional<bool> good;
  std::optional<bool> measured;
  std::optional<QByteArray> min, max, tolerance;
};

// A stored measurement with the norms it was judged by. Its key is the
// depot, line, identifier and moment (the depot tells apart same-named
// lines at the railway's centre).
struct MeasurementRow {
  QByteArray depot, line, identifier;
  QByteArray at;     // the stored moment, as the record's key
  QByteArray shown;  // DD.MM.YYYY HH:MM:SS
  QByteArray bogie, bogieName, spring, springName;
  int kind = 0;
  bool accelerated = false, emulated = false, judged = false;
  std::optional<bool> springGood;
  QByteArray heightGroup, wagonFrom, wagonTo, source;
  std::array<ParamColumns, 7> params;  // [1..6]
};

// The search: by identifier, wagon, days, line, type and depot (each empty
// for any), oldest first, at most `limit` rows.
struct SearchFilter {
  QByteArray id, wagon, line;
  QDate from, to;
  int bogie = 0, spring = 0;  // the type, 0 for any
  QByteArray depot;           // empty: every depot
  bool Any() const { return !id.isEmpty() || !wagon.isEmpty() || from.isValid() || to.isValid(); }
};
Answer<MeasurementRow> SearchMeasurements(const SearchFilter& s, int limit);
// One record by its key (`depot` empty: the line's in any depot, as links
// made before the depot was part of the key).
Answer<MeasurementRow> FindMeasurement(const QByteArray& depot, const QByteArray& line, const QByteArray& id,
                                       const QByteArray& at);

// A set of the set archive.
struct SetSide {
  QByteArray number, works, year;
  QList<QByteArray> outer, inner;  // the groups of places 1..7
};
struct SetRow {
  QByteArray depot, line;
  long long position = 0;
  QByteArray date, bogieNumber, bogieWorks, bogieYear, wagonFrom, wagonTo;
  SetSide left, right;
  // The sets a wagon gave springs to or took them from, by date, in one
  // depot (`depot` empty: every depot).
  static Answer<SetRow> Fetch(const QByteArray& wagon, const QByteArray& depot = {});
};

}  // namespace depot
