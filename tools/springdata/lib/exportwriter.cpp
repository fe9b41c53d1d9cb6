#include "exportwriter.h"

#include <QDate>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "measurement/judgement.h"
#include "platform/cp1251.h"
#include "sorting/heightgroup.h"
#include "springs/springtypes.h"

namespace springdata {

namespace {

// The row is put together by appending each field's bytes behind its end:
// no field becomes a string of its own.
using quality::AppendCsvField;
using quality::FloatChars;

// The fields are short: up to 16 bytes are moved by two overlapping loads
// and stores each, without a call.
[[gnu::always_inline]] inline char* Put(char* p, std::string_view bytes) {
  const char* s = bytes.data();
  const size_t n = bytes.size();
  if (n >= 8 && n <= 16) {
    uint64_t head, tail;
    std::memcpy(&head, s, 8);
    std::memcpy(&tail, s + n - 8, 8);
    std::memcpy(p, &head, 8);
    std::memcpy(p + n - 8, &tail, 8);
  } else if (n >= 4 && n < 8) {
    uint32_t head, tail;
    std::memcpy(&head, s, 4);
    std::memcpy(&tail, s + n - 4, 4);
    std::memcpy(p, &head, 4);
    std::memcpy(p + n - 4, &tail, 4);
  } else if (n < 4) {
    for (size_t i = 0; i < n; ++i) p[i] = s[i];
  } else {
    std::memcpy(p, s, n);
  }
  return p + n;
}

char* PutInt(char* p, qint64 v) { return std::to_chars(p, p + 24, v).ptr; }

// Whether stored text bytes make their CSV field as they stand: ASCII
// without a quote, a separator or a line break, and nothing a spreadsheet
// would take for a formula (quality::AppendCsvField's rules).
bool PlainField(const char* text, int n) {
  if (n > 0 && (text[0] == '=' || text[0] == '@' || text[0] == '\t' || text[0] == '+' || text[0] == '-'))
    return false;
  for (int i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80 || c == ';' || c == '"' || c == '\r' || c == '\n') return false;
  }
  return true;
}

struct CivilDate {
  qint64 year;
  int month, day;
};

// The date of a day number (days since 30 December 1899) in the proleptic
// Gregorian calendar, counted the way QDate counts it: there is no year 0,
// the year before 1 is -1. Worked out in eras of 400 years (146097 days)
// from 1 March of the year 0, so that the leap day ends a year.
CivilDate DateOfDay(qint64 dayNumber) {
  const qint64 z = dayNumber + 693899;  // 30.12.1899 is day 693899 after 1.3.0000
  const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
  const qint64 dayOfEra = z - era * 146097;
  const qint64 yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const qint64 m = (5 * dayOfYear + 2) / 153;  // 0 = March
  const int day = static_cast<int>(dayOfYear - (153 * m + 2) / 5 + 1);
  const int month = static_cast<int>(m < 10 ? m + 3 : m - 9);
  const qint64 year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  return {year <= 0 ? year - 1 : year, month, day};
}

char* PutTwoDigits(char* p, int v) {
  *p++ = static_cast<char>('0' + v / 10);
  *p++ = static_cast<char>('0' + v % 10);
  return p;
}

// As printf's "%0<width>d": the sign counts towards the width.
char* PutPadded(char* p, qint64 v, int width) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, v < 0 ? -v : v);
  if (v < 0) *p++ = '-';
  const auto digits = static_cast<int>(res.ptr - buf) + (v < 0 ? 1 : 0);
  for (int k = digits; k < width; ++k) *p++ = '0';
  std::memcpy(p, buf, static_cast<size_t>(res.ptr - buf));
  return p + (res.ptr - buf);
}

// Room for the longest date PutDate writes.
constexpr int kDateRoom = 48;

// The day number and the milliseconds into the day of a date (days since
// 30.12.1899); false for a date that is not a number. Taken apart as the
// clock's conversion does, but by arithmetic: a QDateTime would ask the time
// zone for every record.
bool SplitDate(double days, qint64& day, int& ms) {
  if (!std::isfinite(days) || std::fabs(days) > 3.0e6) return false;
  double whole = 0;
  const double fraction = std::fabs(std::modf(days, &whole));
  const auto t = static_cast<qint64>(fraction * 86400000.0 + 0.5);
  ms = t >= 86400000 ? 86399999 : static_cast<int>(t);
  day = static_cast<qint64>(whole);
  return true;
}

// "dd.MM.yyyy " for the spreadsheet, "yyyy-MM-ddT" for programs.
char* PutDay(char* p, qint64 day, Format format) {
  const CivilDate d = DateOfDay(day);
  if (format == Format::Csv) {
    p = PutTwoDigits(p, d.day);
    *p++ = '.';
    p = PutTwoDigits(p, d.month);
    *p++ = '.';
    p = PutPadded(p, d.year, 4);
    *p++ = ' ';
  } else {
    p = PutPadded(p, d.year, 4);
    *p++ = '-';
    p = PutTwoDigits(p, d.month);
    *p++ = '-';
    p = PutTwoDigits(p, d.day);
    *p++ = 'T';
  }
  return p;
}

// "HH:mm:ss".
char* PutTime(char* p, int ms) {
  p = PutTwoDigits(p, ms / 3600000);
  *p++ = ':';
  p = PutTwoDigits(p, ms / 60000 % 60);
  *p++ = ':';
  return PutTwoDigits(p, ms / 1000 % 60);
}

// "dd.MM.yyyy HH:mm:ss" for the spreadsheet, ISO for programs; nothing for a
// date that is not a number.
char* PutDate(char* p, double days, Format format) {
  qint64 day = 0;
  int ms = 0;
  return SplitDate(days, day, ms) ? PutTime(PutDay(p, day, format), ms) : p;
}

QByteArray DateText(double days, Format format) {
  char text[kDateRoom];
  return QByteArray(text, PutDate(text, days, format) - text);
}

QByteArray JsonString(const QByteArray& utf8) {
  QByteArray out;
  out.reserve(utf8.size() + 2);
  out += '"';
  for (const char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", u);
      out += esc;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

QByteArray JsonNumber(float v) {
  return std::isfinite(v) ? FloatText(v, '.') : QByteArray("null");
}

QByteArray Number(qint64 v) { return QByteArray::number(v); }

std::string CsvText(const QByteArray& utf8) {
  std::string out;
  AppendCsvField(out, std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------

MeasurementWriter::MeasurementWriter(Sink& sink, Format format, char decimalPoint)
    : sink_(sink), format_(format), point_(decimalPoint) {}

void MeasurementWriter::Header() {
  if (format_ != Format::Csv) return;
  sink_.Write(quality::CsvHeader(quality::MeasurementColumns()));
}

const MeasurementWriter::TypeTexts* MeasurementWriter::Texts(int bogie, int spring) {
  // Bogie and spring type are a byte each in the record: one slot per pair.
  const bool indexed = bogie >= 0 && bogie < 256 && spring >= 0 && spring < 256;
  const size_t slot = indexed ? static_cast<size_t>(bogie) * 256 + static_cast<size_t>(spring) : 0;
  if (indexed && !byTypes_.empty() && byTypes_[slot]) return byTypes_[slot]->known ? byTypes_[slot] : nullptr;
  const auto key = std::make_pair(bogie, spring);
  auto it = texts_.find(key);
  if (it == texts_.end()) {
    TypeTexts t;
    if (const SpringType* s = FindSpringType(bogie, spring)) {
      t.known = true;
      t.bogie = FindBogieType(bogie)->Name.toUtf8();
      t.spring = s->Name.toUtf8();
      t.designation = s->AltName.toUtf8();
      for (int p = 1; p <= 6; ++p) t.param[p] = s->parameters[p].Name.toUtf8();
      t.csvTypes = std::to_string(bogie) + ';' + CsvText(t.bogie) + ';' + std::to_string(spring) +
                   ';' + CsvText(t.spring) + ';' + CsvText(t.designation) + ';';
      for (int p = 1; p <= 6; ++p) t.csvParam[p] = CsvText(t.param[p]) + ';';
    }
    it = texts_.emplace(key, std::move(t)).first;
  }
  if (indexed) {
    if (byTypes_.empty()) byTypes_.resize(256 * 256);
    byTypes_[slot] = &it->second;
  }
  return it->second.known ? &it->second : nullptr;
}

const MeasurementWriter::TypeTexts* MeasurementWriter::Judge(const MeasurementRecord& r, int& group) {
  JudgeMeasurement(r);
  group = -1;
  if (Judgement.Judged && Judgement.SpringGood)
    group = BogieHeightGroup(r.Param[2].Value, r.BogieType);
  return Judgement.Judged ? Texts(r.BogieType, r.SpringType) : nullptr;
}

void MeasurementWriter::Write(const MeasurementRecord& r, const char* file, qint64 position) {
  int group = -1;
  const TypeTexts* texts = Judge(r, group);
  if (format_ == Format::Csv) WriteCsv(r, nullptr, file, position, texts, group);
  else WriteJson(r, file, position, texts, group);
}

void MeasurementWriter::Write(const char* record, const MeasurementRecord& values, const char* file,
                              qint64 position) {
  if (format_ != Format::Csv) {
    Write(DecodeMeasurementRecord(record), file, position);
    return;
  }
  int group = -1;
  const TypeTexts* texts = Judge(values, group);
  WriteCsv(values, record, file, position, texts, group);
}

std::string_view MeasurementWriter::TextField(const char* record, int offset, int chars,
                                             const QString& text, std::string& field) {
  field.clear();
  if (!record) {
    AppendCsvField(field, text);
    return field;
  }
  const int length = std::min<int>(static_cast<uint8_t>(record[offset]), chars);
  const char* bytes = record + offset + 1;
  if (PlainField(bytes, length)) return std::string_view(bytes, static_cast<size_t>(length));
  text_.clear();
  plat::AppendCp1251AsUtf8(text_, bytes, length);
  AppendCsvField(field, std::string_view(text_));
  return field;
}

void MeasurementWriter::WriteCsv(const MeasurementRecord& r, const char* record, const char* file,
                                 qint64 position, const TypeTexts* texts, int group) {
  namespace o = measurement_offset;
  const bool accelerated = RecordAccelerated(r);
  // The fields whose length the row does not bound are made first; the row
  // is then written through a pointer into room made for all of it.
  const std::string_view identifier =
      TextField(record, o::Identifier, o::IdentifierChars, r.Identifier, fields_[0]);
  const std::string_view from = TextField(record, o::WagonFrom, o::WagonChars, r.WagonFrom, fields_[1]);
  const std::string_view to = TextField(record, o::WagonTo, o::WagonChars, r.WagonTo, fields_[2]);
  fields_[3].clear();
  AppendCsvField(fields_[3], std::string_view(file));
  fields_[4].clear();
  quality::AppendKindText(fields_[4], r.Kind, accelerated);
  size_t room = 1024 + identifier.size() + from.size() + to.size() + fields_[3].size() + fields_[4].size();
  if (texts) {
    room += texts->csvTypes.size();
    for (int p = 1; p <= 6; ++p) room += texts->csvParam[p].size();
  }
  char* w = sink_.Room(room);
  int ms = 0;
  w = Put(w, fields_[3]);
  *w++ = ';';
  w = PutInt(w, position + 1);
  *w++ = ';';
  w = Put(w, identifier);
  *w++ = ';';
  if (qint64 day = 0; SplitDate(r.Date, day, ms)) {
    // Records come day by day: the day's text is made once per day.
    if (day != day_ || dayText_.empty()) {
      char text[kDateRoom];
      dayText_.assign(text, static_cast<size_t>(PutDay(text, day, format_) - text));
      day_ = day;
    }
    w = PutTime(Put(w, dayText_), ms);
  }
  *w++ = ';';
  if (texts) {
    w = Put(w, texts->csvTypes);
  } else {
    w = PutInt(w, r.BogieType);
    w = Put(w, ";;");
    w = PutInt(w, r.SpringType);
    w = Put(w, ";;;");
  }
  w = Put(w, fields_[4]);
  *w++ = ';';
  for (int p = 1; p <= 6; ++p) {
    const bool measured = ValueMeasured(r, p);
    if (texts) w = Put(w, texts->csvParam[p]);
    else *w++ = ';';
    if (measured && r.Param[p].JudgeMode == 0) {
      char buf[32];
      const std::string_view value = FloatChars(r.Param[p].Value, point_, buf);
      if (value.front() != '-') {
        w = Put(w, value);  // a number, or "nan" or "inf": nothing to quote
      } else {
        fields_[5].clear();
        AppendCsvField(fields_[5], value);
        w = Put(w, fields_[5]);
      }
    }
    *w++ = ';';
    if (Judgement.Judged && measured) w = Put(w, Judgement.Verdicts[p] ? quality::kGood : quality::kBad);
    *w++ = ';';
  }
  w = Put(w, !Judgement.Judged      ? quality::kNotJudged
             : Judgement.SpringGood ? quality::kGood
                                    : quality::kBad);
  *w++ = ';';
  if (group >= 0) w = PutInt(w, group);
  *w++ = ';';
  w = Put(w, from);
  *w++ = ';';
  w = Put(w, to);
  *w++ = ';';
  w = Put(w, RecordEmulated(r) ? quality::kYes : quality::kNo);
  *w++ = ';';
  w = Put(w, accelerated ? quality::kYes : quality::kNo);
  w = Put(w, "\r\n");
  sink_.Put(w);
}

void MeasurementWriter::WriteJson(const MeasurementRecord& r, const char* file, qint64 position,
                                  const TypeTexts* texts, int group) {
  auto measured = [&](int p) { return ValueMeasured(r, p); };
  QByteArray row;
  row += "{\"file\":\"";
  row += file;
  row += "\",\"position\":" + Number(position + 1);
  row += ",\"identifier\":" + JsonString(r.Identifier.toUtf8());
  const QByteArray date = DateText(r.Date, format_);
  row += ",\"datetime\":" + (date.isEmpty() ? QByteArray("null") : JsonString(date));
  row += ",\"date_days\":" +
         (std::isfinite(r.Date) ? QByteArray::number(r.Date, 'g', 17) : QByteArray("null"));
  row += ",\"bogie_type\":" + Number(r.BogieType);
  row += ",\"bogie_type_name\":" + (texts ? JsonString(texts->bogie) : QByteArray("null"));
  row += ",\"spring_type\":" + Number(r.SpringType);
  row += ",\"spring_type_name\":" + (texts ? JsonString(texts->spring) : QByteArray("null"));
  row += ",\"spring_type_designation\":" +
         (texts ? JsonString(texts->designation) : QByteArray("null"));
  row += ",\"kind\":" + Number(r.Kind);
  row += ",\"parameters\":[";
  for (int p = 1; p <= 6; ++p) {
    const ParameterSlot& slot = r.Param[p];
    if (p > 1) row += ',';
    row += "{\"p\":" + Number(p);
    row += ",\"name\":" + (texts ? JsonString(texts->param[p]) : QByteArray("null"));
    row += ",\"value\":" + (measured(p) && slot.JudgeMode == 0 ? JsonNumber(slot.Value)
                                                              : QByteArray("null"));
    row += ",\"good\":";
    row += Judgement.Judged && measured(p) ? (Judgement.Verdicts[p] ? "true" : "false") : "null";
    row += '}';
  }
  row += "],\"good\":";
  row += Judgement.Judged ? (Judgement.SpringGood ? "true" : "false") : "null";
  row += ",\"height_group\":" + (group >= 0 ? Number(group) : QByteArray("null"));
  row += ",\"wagon_from\":" + JsonString(r.WagonFrom.toUtf8());
  row += ",\"wagon_to\":" + JsonString(r.WagonTo.toUtf8());
  row += RecordEmulated(r) ? ",\"emulated\":true" : ",\"emulated\":false";
  row += RecordAccelerated(r) ? ",\"accelerated\":true" : ",\"accelerated\":false";
  row += "}\n";
  sink_.Write(row);
}

// ---------------------------------------------------------------------------

SetWriter::SetWriter(Sink& sink, Format format) : sink_(sink), format_(format) {}

namespace {

QByteArray SetDateText(const QString& ddmmyyyy, Format format) {
  const QDate d = QDate::fromString(ddmmyyyy, QStringLiteral("ddMMyyyy"));
  if (!d.isValid()) return ddmmyyyy.toUtf8();  // kept as stored
  return d.toString(format == Format::Csv ? QStringLiteral("dd.MM.yyyy") : QStringLiteral("yyyy-MM-dd"))
      .toUtf8();
}

}  // namespace

void SetWriter::Header() {
  if (format_ != Format::Csv) return;
  sink_.Write(quality::CsvHeader(quality::SetColumns()));
}

void SetWriter::Write(const SetRecord& r, qint64 position) {
  QByteArray row;
  if (format_ == Format::Csv) {
    auto field = [&](const QByteArray& f) {
      row += CsvField(f);
      row += ';';
    };
    field(Number(position + 1));
    field(SetDateText(r.Date, format_));
    field(r.BogieNumber.toUtf8());
    field(r.BogieWorks.toUtf8());
    field(r.BogieYear.toUtf8());
    for (const SideFrameSet* side : {&r.Left, &r.Right}) {
      field(side->Number.toUtf8());
      field(side->Works.toUtf8());
      field(side->Year.toUtf8());
      for (int k = 1; k <= 7; ++k) field(Number(side->Outer[k]));
      for (int k = 1; k <= 7; ++k) field(Number(side->Inner[k]));
    }
    field(r.WagonFrom.toUtf8());
    row += CsvField(r.WagonTo.toUtf8());
    row += "\r\n";
  } else {
    row += "{\"position\":" + Number(position + 1);
    row += ",\"date\":" + JsonString(SetDateText(r.Date, format_));
    row += ",\"bogie_number\":" + JsonString(r.BogieNumber.toUtf8());
    row += ",\"bogie_works\":" + JsonString(r.BogieWorks.toUtf8());
    row += ",\"bogie_year\":" + JsonString(r.BogieYear.toUtf8());
    for (const auto& [name, side] : {std::make_pair("left", &r.Left), std::make_pair("right", &r.Right)}) {
      row += QByteArray(",\"") + name + "\":{\"number\":" + JsonString(side->Number.toUtf8());
      row += ",\"works\":" + JsonString(side->Works.toUtf8());
      row += ",\"year\":" + JsonString(side->Year.toUtf8());
      for (const auto& [ring, groups] :
           {std::make_pair("outer", &side->Outer), std::make_pair("inner", &side->Inner)}) {
        row += QByteArray(",\"") + ring + "\":[";
        for (int k = 1; k <= 7; ++k) {
          if (k > 1) row += ',';
          row += Number((*groups)[k]);
        }
        row += ']';
      }
      row += '}';
    }
    row += ",\"wagon_from\":" + JsonString(r.WagonFrom.toUtf8());
    row += ",\"wagon_to\":" + JsonString(r.WagonTo.toUtf8());
    row += "}\n";
  }
  sink_.Write(row);
}

}  // namespace springdata
