#include "sync/copyrows.h"

#include <QDate>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "measurement/judgement.h"
#include "pg/pg.h"
#include "platform/clock.h"
#include "sorting/heightgroup.h"
#include "springs/springtypes.h"

namespace depot {

namespace {

void Text(QByteArray& row, const QString& text) { AppendCopyText(row, text.toUtf8()); }

void Int(QByteArray& row, qint64 v) { row += QByteArray::number(v); }

void Bool(QByteArray& row, bool v) { row += v ? 't' : 'f'; }

// A measured value is a 32-bit real: its shortest text reads back as the
// same value.
void Real(QByteArray& row, float v) {
  if (!std::isfinite(v)) return AppendCopyNull(row);
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, v).ptr;
  row.append(text, end - text);
}

// A 64-bit norm goes with all its digits, so that the database rounds it as
// the judgement does. A row has 18 of them, and a file has the few of its
// spring types: each distinct value is formatted once.
void Norm64(QByteArray& row, double v) {
  if (!std::isfinite(v)) return AppendCopyNull(row);
  thread_local std::unordered_map<quint64, QByteArray> texts;
  const quint64 bits = std::bit_cast<quint64>(v);
  auto it = texts.find(bits);
  if (it == texts.end()) {
    if (texts.size() > 4096) texts.clear();
    it = texts.emplace(bits, QByteArray::number(v, 'g', 17)).first;
  }
  row += it->second;
}

// A column of a table: its name and the code that writes its value for one
// row, with the parameter (1..6) or side a column of a repeated group
// stands for.
template <class Row>
struct Column {
  QByteArray name;
  void (*write)(QByteArray& out, const Row& row, int which);
  int which = 0;
};

template <class Row>
QByteArray ColumnList(const std::vector<Column<Row>>& table) {
  QByteArray list;
  for (const Column<Row>& c : table) list += (list.isEmpty() ? "" : ", ") + c.name;
  return list;
}

template <class Row>
void WriteRow(QByteArray& out, const std::vector<Column<Row>>& table, const Row& row) {
  for (size_t i = 0; i < table.size(); ++i) {
    if (i) out += '\t';
    table[i].write(out, row, table[i].which);
  }
  out += '\n';
}

// What a measurement's row is made of: the record, its moment and the
// line's judgement of it.
struct Measurement {
  const QByteArray& line;
  const MeasurementRecord& r;
  const QByteArray& at;
  const char* source;
  bool judged = false;
  const SpringType* type = nullptr;  // the norms it was judged by
  const BogieType* bogie = nullptr;
  std::array<bool, 7> good{};
  bool springGood = false;
  int group = -1;  // height group of a good spring, else -1
  // A value that is no measurement of the spring (left out by a fast
  // measurement, or marked by the line) has no value and no verdict, as on
  // the pages and in the export.
  bool Measured(int p) const { return ValueMeasured(r, p); }
};

// A norm of the type, or NULL for a record the line did not judge.
void Norm(QByteArray& out, const Measurement& m, double v) {
  if (m.type) Norm64(out, v);
  else AppendCopyNull(out);
}

const std::vector<Column<Measurement>>& MeasurementTable() {
  using M = Measurement;
  static const std::vector<Column<M>> table = [] {
    std::vector<Column<M>> t = {
        {"line", [](QByteArray& o, const M& m, int) { AppendCopyText(o, m.line); }},
        {"identifier", [](QByteArray& o, const M& m, int) { Text(o, m.r.Identifier); }},
        {"measured_at", [](QByteArray& o, const M& m, int) { o += m.at; }},
        {"bogie_type", [](QByteArray& o, const M& m, int) { Int(o, m.r.BogieType); }},
        {"spring_type", [](QByteArray& o, const M& m, int) { Int(o, m.r.SpringType); }},
        {"bogie_name",
         [](QByteArray& o, const M& m, int) { m.type ? Text(o, m.bogie->Name) : AppendCopyNull(o); }},
        {"spring_name",
         [](QByteArray& o, const M& m, int) { m.type ? Text(o, m.type->Name) : AppendCopyNull(o); }},
        {"kind", [](QByteArray& o, const M& m, int) { Int(o, m.r.Kind); }},
        {"accelerated", [](QByteArray& o, const M& m, int) { Bool(o, RecordAccelerated(m.r)); }},
        {"emulated", [](QByteArray& o, const M& m, int) { Bool(o, RecordEmulated(m.r)); }},
    };
    auto each = [&t](const char* field, void (*write)(QByteArray&, const M&, int)) {
      for (int p = 1; p <= 6; ++p) t.push_back({"p" + QByteArray::number(p) + '_' + field, write, p});
    };
    each("value", [](QByteArray& o, const M& m, int p) {
      if (m.Measured(p) && m.r.Param[p].JudgeMode == 0) Real(o, m.r.Param[p].Value);
      else AppendCopyNull(o);
    });
    each("good", [](QByteArray& o, const M& m, int p) {
      if (m.judged && m.Measured(p)) Bool(o, m.good[p]);
      else AppendCopyNull(o);
    });
    each("measured", [](QByteArray& o, const M& m, int p) { Bool(o, m.Measured(p)); });
    each("min", [](QByteArray& o, const M& m, int p) { Norm(o, m, m.type ? m.type->parameters[p].Min : 0); });
    each("max", [](QByteArray& o, const M& m, int p) { Norm(o, m, m.type ? m.type->parameters[p].Max : 0); });
    each("tolerance", [](QByteArray& o, const M& m, int) { Norm(o, m, m.type ? m.type->E : 0); });
    const std::vector<Column<M>> tail = {
        {"judged", [](QByteArray& o, const M& m, int) { Bool(o, m.judged); }},
        {"spring_good",
         [](QByteArray& o, const M& m, int) { m.judged ? Bool(o, m.springGood) : AppendCopyNull(o); }},
        {"height_group",
         [](QByteArray& o, const M& m, int) { m.group >= 0 ? Int(o, m.group) : AppendCopyNull(o); }},
        {"free_height",
         [](QByteArray& o, const M& m, int) {
           if (m.r.Param[2].JudgeMode == 0) Real(o, m.r.Param[2].Value);
           else AppendCopyNull(o);
         }},
        {"wagon_from", [](QByteArray& o, const M& m, int) { Text(o, m.r.WagonFrom); }},
        {"wagon_to", [](QByteArray& o, const M& m, int) { Text(o, m.r.WagonTo); }},
        {"source", [](QByteArray& o, const M& m, int) { o += m.source; }},
    };
    t.insert(t.end(), tail.begin(), tail.end());
    return t;
  }();
  return table;
}

struct Set {
  const QByteArray& line;
  const SetRecord& r;
  qint64 position;
  const SideFrameSet& Side(int side) const { return side == 0 ? r.Left : r.Right; }
};

void Groups(QByteArray& out, const std::array<uint8_t, 8>& groups) {
  out += '{';
  for (int k = 1; k <= 7; ++k) {
    if (k > 1) out += ',';
    Int(out, groups[k]);
  }
  out += '}';
}

const std::vector<Column<Set>>& SetTable() {
  using S = Set;
  static const std::vector<Column<S>> table = [] {
    std::vector<Column<S>> t = {
        {"line", [](QByteArray& o, const S& s, int) { AppendCopyText(o, s.line); }},
        {"position", [](QByteArray& o, const S& s, int) { Int(o, s.position); }},
        {"bogie_number", [](QByteArray& o, const S& s, int) { Text(o, s.r.BogieNumber); }},
        {"bogie_works", [](QByteArray& o, const S& s, int) { Text(o, s.r.BogieWorks); }},
        {"bogie_year", [](QByteArray& o, const S& s, int) { Text(o, s.r.BogieYear); }},
        {"set_date",
         [](QByteArray& o, const S& s, int) {
           const QDate date = QDate::fromString(s.r.Date, QStringLiteral("ddMMyyyy"));
           if (date.isValid()) o += date.toString(Qt::ISODate).toLatin1();
           else AppendCopyNull(o);
         }},
        {"wagon_from", [](QByteArray& o, const S& s, int) { Text(o, s.r.WagonFrom); }},
        {"wagon_to", [](QByteArray& o, const S& s, int) { Text(o, s.r.WagonTo); }},
    };
    for (int side : {0, 1}) {
      const QByteArray name = side == 0 ? "left_" : "right_";
      const std::vector<Column<S>> frame = {
          {name + "number", [](QByteArray& o, const S& s, int d) { Text(o, s.Side(d).Number); }, side},
          {name + "works", [](QByteArray& o, const S& s, int d) { Text(o, s.Side(d).Works); }, side},
          {name + "year", [](QByteArray& o, const S& s, int d) { Text(o, s.Side(d).Year); }, side},
          {name + "outer", [](QByteArray& o, const S& s, int d) { Groups(o, s.Side(d).Outer); }, side},
          {name + "inner", [](QByteArray& o, const S& s, int d) { Groups(o, s.Side(d).Inner); }, side},
      };
      t.insert(t.end(), frame.begin(), frame.end());
    }
    return t;
  }();
  return table;
}

constexpr qint64 kUnixDay = 25569;          // 1 January 1970 as a stored day number
constexpr qint64 kUnixJulianDay = 2440588;  // the same as a Julian day

}  // namespace

const char* FileKindName(FileKind kind) {
  switch (kind) {
    case FileKind::Base: return "base";
    case FileKind::Day: return "day";
    case FileKind::Sets: return "sets";
  }
  return "";
}

QByteArray MeasuredAt::operator()(double days) {
  if (!std::isfinite(days) || std::fabs(days) > 3.0e6) return {};
  double whole = 0;
  double fraction = std::modf(days, &whole);
  if (fraction < 0) fraction = -fraction;
  qint64 ms = static_cast<qint64>(fraction * 86400000.0 + 0.5);
  if (ms >= 86400000) ms = 86399999;
  // The local clock's reading counted as if it were UTC.
  const qint64 clock = (static_cast<qint64>(whole) - kUnixDay) * 86400000 + ms;
  const qint64 quarter = static_cast<qint64>(whole) * 96 + ms / 900000;
  if (quarter != quarter_) {
    const QDateTime local = plat::DaysToDateTime(days);
    valid_ = local.isValid();
    shift_ = valid_ ? local.toMSecsSinceEpoch() - clock : 0;
    quarter_ = quarter;
  }
  if (!valid_) return {};
  const qint64 utc = clock + shift_;
  const qint64 day = utc >= 0 ? utc / 86400000 : -((-utc + 86399999) / 86400000);
  const QDate date = QDate::fromJulianDay(kUnixJulianDay + day);
  const qint64 t = utc - day * 86400000;
  if (!date.isValid() || date.year() < 1) return {};
  char text[48];
  const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d+00", date.year(),
                              date.month(), date.day(), int(t / 3600000), int(t / 60000 % 60),
                              int(t / 1000 % 60), int(t % 1000));
  return QByteArray(text, n);
}

const QByteArray& MeasurementCopyColumns() {
  static const QByteArray list = ColumnList(MeasurementTable());
  return list;
}

const QByteArray& SetCopyColumns() {
  static const QByteArray list = ColumnList(SetTable());
  return list;
}

bool AppendMeasurementRow(QByteArray& row, const QByteArray& line, const MeasurementRecord& r,
                          FileKind source, MeasuredAt& measuredAt) {
  const QByteArray at = measuredAt(r.Date);
  if (at.isEmpty()) return false;
  JudgeMeasurement(r);
  Measurement m{line, r, at, FileKindName(source)};
  m.judged = Judgement.Judged;
  m.type = m.judged ? FindSpringType(r.BogieType, r.SpringType) : nullptr;
  m.bogie = m.type ? FindBogieType(r.BogieType) : nullptr;
  for (int p = 1; p <= 6; ++p) m.good[p] = Judgement.Verdicts[p];
  m.springGood = Judgement.SpringGood;
  m.group = m.judged && m.springGood ? BogieHeightGroup(r.Param[2].Value, r.BogieType) : -1;
  WriteRow(row, MeasurementTable(), m);
  return true;
}

void AppendSetRow(QByteArray& row, const QByteArray& line, const SetRecord& r, qint64 position) {
  WriteRow(row, SetTable(), Set{line, r, position});
}

}  // namespace depot
