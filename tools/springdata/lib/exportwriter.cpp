#include "exportwriter.h"

#include <QDate>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "measurement/judgement.h"
#include "platform/cp1251.h"
#include "sorting/heightgroup.h"
#include "springs/springtypes.h"

namespace springdata {

namespace {

constexpr qsizetype kSinkBlock = 1 << 20;

// The row is put together by appending each field's bytes behind its end:
// no field becomes a string of its own.
using quality::AppendCsvField;
using quality::FloatChars;

void AppendInt(std::string& out, qint64 v) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

// As printf's "%0<width>d": the sign counts towards the width.
void AppendPadded(std::string& out, qint64 v, int width) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, v < 0 ? -v : v);
  if (v < 0) out += '-';
  const auto digits = static_cast<int>(res.ptr - buf) + (v < 0 ? 1 : 0);
  if (digits < width) out.append(static_cast<size_t>(width - digits), '0');
  out.append(buf, res.ptr);
}

void AppendTwoDigits(std::string& out, int v) {
  out += static_cast<char>('0' + v / 10);
  out += static_cast<char>('0' + v % 10);
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

// "dd.MM.yyyy HH:mm:ss" for the spreadsheet, ISO for programs; nothing for a
// date that is not a number. The date and the time of day are taken apart as
// the clock's conversion does, but by arithmetic: a QDateTime would ask the
// time zone for every record.
void AppendDate(std::string& out, double days, Format format) {
  if (!std::isfinite(days) || std::fabs(days) > 3.0e6) return;
  double whole = 0;
  const double fraction = std::fabs(std::modf(days, &whole));
  qint64 ms = static_cast<qint64>(fraction * 86400000.0 + 0.5);
  if (ms >= 86400000) ms = 86399999;
  const CivilDate d = DateOfDay(static_cast<qint64>(whole));
  const int hour = static_cast<int>(ms / 3600000);
  const int minute = static_cast<int>(ms / 60000 % 60);
  const int second = static_cast<int>(ms / 1000 % 60);
  if (format == Format::Csv) {
    AppendTwoDigits(out, d.day);
    out += '.';
    AppendTwoDigits(out, d.month);
    out += '.';
    AppendPadded(out, d.year, 4);
    out += ' ';
  } else {
    AppendPadded(out, d.year, 4);
    out += '-';
    AppendTwoDigits(out, d.month);
    out += '-';
    AppendTwoDigits(out, d.day);
    out += 'T';
  }
  AppendTwoDigits(out, hour);
  out += ':';
  AppendTwoDigits(out, minute);
  out += ':';
  AppendTwoDigits(out, second);
}

QByteArray DateText(double days, Format format) {
  std::string text;
  AppendDate(text, days, format);
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
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

void Sink::Write(const char* bytes, qsizetype n) {
  if (buffer_.capacity() < static_cast<size_t>(kSinkBlock)) buffer_.reserve(kSinkBlock + 4096);
  buffer_.append(bytes, static_cast<size_t>(n));
  if (buffer_.size() >= static_cast<size_t>(kSinkBlock)) Flush();
}

void Sink::Write(const QByteArray& bytes) { Write(bytes.constData(), bytes.size()); }

void Sink::Write(std::string_view bytes) {
  Write(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

bool Sink::Flush() {
  if (file_) {
    if (!buffer_.empty() && !failed_ &&
        !file_->Write(buffer_.data(), static_cast<qsizetype>(buffer_.size()), &reason_))
      failed_ = true;
    buffer_.clear();
    return !failed_;
  }
  if (!buffer_.empty()) {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), to_) != buffer_.size()) failed_ = true;
    buffer_.clear();
  }
  if (std::fflush(to_) != 0) failed_ = true;
  return !failed_;
}

// ---------------------------------------------------------------------------

MeasurementWriter::MeasurementWriter(Sink& sink, Format format, char decimalPoint)
    : sink_(sink), format_(format), point_(decimalPoint) {}

void MeasurementWriter::Header() {
  if (format_ != Format::Csv) return;
  sink_.Write(quality::CsvHeader(quality::MeasurementColumns()));
}

const MeasurementWriter::TypeTexts* MeasurementWriter::Texts(int bogie, int spring) {
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

void MeasurementWriter::AppendText(const char* record, int offset, int chars, const QString& text) {
  if (!record) {
    AppendCsvField(row_, text);
    return;
  }
  const int length = std::min<int>(static_cast<uint8_t>(record[offset]), chars);
  text_.clear();
  plat::AppendCp1251AsUtf8(text_, record + offset + 1, length);
  AppendCsvField(row_, std::string_view(text_));
}

void MeasurementWriter::WriteCsv(const MeasurementRecord& r, const char* record, const char* file,
                                 qint64 position, const TypeTexts* texts, int group) {
  namespace o = measurement_offset;
  const bool accelerated = RecordAccelerated(r);
  row_.clear();
  AppendCsvField(row_, std::string_view(file));
  row_ += ';';
  AppendInt(row_, position + 1);
  row_ += ';';
  AppendText(record, o::Identifier, o::IdentifierChars, r.Identifier);
  row_ += ';';
  AppendDate(row_, r.Date, format_);
  row_ += ';';
  if (texts) {
    row_ += texts->csvTypes;
  } else {
    AppendInt(row_, r.BogieType);
    row_ += ";;";
    AppendInt(row_, r.SpringType);
    row_ += ";;;";
  }
  quality::AppendKindText(row_, r.Kind, accelerated);
  row_ += ';';
  for (int p = 1; p <= 6; ++p) {
    const bool measured = ValueMeasured(r, p);
    row_ += texts ? std::string_view(texts->csvParam[p]) : std::string_view(";");
    if (measured && r.Param[p].JudgeMode == 0) {
      char buf[32];
      AppendCsvField(row_, FloatChars(r.Param[p].Value, point_, buf));
    }
    row_ += ';';
    if (Judgement.Judged && measured)
      row_ += Judgement.Verdicts[p] ? quality::kGood : quality::kBad;
    row_ += ';';
  }
  row_ += !Judgement.Judged      ? quality::kNotJudged
          : Judgement.SpringGood ? quality::kGood
                                 : quality::kBad;
  row_ += ';';
  if (group >= 0) AppendInt(row_, group);
  row_ += ';';
  AppendText(record, o::WagonFrom, o::WagonChars, r.WagonFrom);
  row_ += ';';
  AppendText(record, o::WagonTo, o::WagonChars, r.WagonTo);
  row_ += ';';
  row_ += RecordEmulated(r) ? quality::kYes : quality::kNo;
  row_ += ';';
  row_ += accelerated ? quality::kYes : quality::kNo;
  row_ += "\r\n";
  sink_.Write(row_);
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
