#include "exportwriter.h"

#include <QDate>
#include <charconv>
#include <cmath>

#include "measurement/judgement.h"
#include "sorting/heightgroup.h"
#include "springs/springtypes.h"

namespace springdata {

const char* const kSetPlaces[7] = {"3К", "5К", "1", "2", "4", "6", "7"};

namespace {

constexpr qsizetype kSinkBlock = 1 << 20;

QByteArray Utf8(const char* text) { return QByteArray(text); }

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

// "dd.MM.yyyy HH:mm:ss" for the spreadsheet, ISO for programs; empty for a
// date that is not a number.
QByteArray DateText(double days, Format format) {
  if (!std::isfinite(days) || std::fabs(days) > 3.0e6) return QByteArray();
  // The date and the time of day taken apart, as the clock's conversion
  // does, but without a QDateTime: that would ask the time zone (a stat of
  // /etc/localtime) for every record.
  static const QDate kDayZero(1899, 12, 30);
  double whole = 0;
  double fraction = std::fabs(std::modf(days, &whole));
  qint64 ms = static_cast<qint64>(fraction * 86400000.0 + 0.5);
  if (ms >= 86400000) ms = 86399999;
  const QDate d = kDayZero.addDays(static_cast<qint64>(whole));
  const QTime t = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
  char buf[32];
  if (format == Format::Csv)
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d", d.day(), d.month(), d.year(),
                  t.hour(), t.minute(), t.second());
  else
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", d.year(), d.month(), d.day(),
                  t.hour(), t.minute(), t.second());
  return QByteArray(buf);
}

QByteArray Number(qint64 v) { return QByteArray::number(v); }

}  // namespace

void Sink::Write(const char* bytes, qsizetype n) {
  buffer_.append(bytes, n);
  if (buffer_.size() >= kSinkBlock) Flush();
}

void Sink::Write(const QByteArray& bytes) { Write(bytes.constData(), bytes.size()); }

bool Sink::Flush() {
  if (!buffer_.isEmpty()) {
    if (std::fwrite(buffer_.constData(), 1, static_cast<size_t>(buffer_.size()), to_) !=
        static_cast<size_t>(buffer_.size()))
      failed_ = true;
    buffer_.clear();
  }
  if (std::fflush(to_) != 0) failed_ = true;
  return !failed_;
}

QByteArray CsvField(const QByteArray& utf8) {
  bool quote = false;
  for (const char c : utf8)
    if (c == ';' || c == '"' || c == '\r' || c == '\n') quote = true;
  if (!quote) return utf8;
  QByteArray out = "\"";
  for (const char c : utf8) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

QByteArray FloatText(float v, char decimalPoint) {
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  QByteArray out(buf, static_cast<qsizetype>(res.ptr - buf));
  if (decimalPoint != '.') out.replace('.', decimalPoint);
  return out;
}

// ---------------------------------------------------------------------------

MeasurementWriter::MeasurementWriter(Sink& sink, Format format, char decimalPoint)
    : sink_(sink), format_(format), point_(decimalPoint) {}

void MeasurementWriter::Header() {
  if (format_ != Format::Csv) return;
  QByteArray h = "\xEF\xBB\xBF";  // byte-order mark: the spreadsheet then reads UTF-8
  h += "Файл;Позиция;Идентификатор;Дата и время;Тип тележки №;Тип тележки;Тип пружины №;"
       "Тип пружины;Обозначение;Вид замера";
  for (int p = 1; p <= 6; ++p)
    h += QStringLiteral(";Параметр %1;Значение %1;Оценка %1").arg(p).toUtf8();
  h += ";Оценка замера;Группа по высоте;Снята с вагона №;Установлена на вагон №\r\n";
  sink_.Write(h);
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
    }
    it = texts_.emplace(key, t).first;
  }
  return it->second.known ? &it->second : nullptr;
}

void MeasurementWriter::Write(const MeasurementRecord& r, const char* file, qint64 position) {
  JudgeMeasurement(r);
  const TypeTexts* texts = Judgement.Judged ? Texts(r.BogieType, r.SpringType) : nullptr;
  const bool fast = r.Kind == 1;
  auto measured = [&](int p) { return !(fast && (p == 1 || p == 3 || p == 4)); };
  QByteArray verdict;
  if (Judgement.Judged) verdict = Judgement.SpringGood ? "Норма" : "Брак";
  else verdict = "Не оценен";
  int group = -1;
  if (Judgement.Judged && Judgement.SpringGood)
    group = BogieHeightGroup(r.Param[2].Value, r.BogieType);
  const QByteArray kind = r.Kind == 0 ? Utf8("полный") : r.Kind == 1 ? Utf8("быстрый")
                                                                      : Number(r.Kind);
  row_.clear();
  if (format_ == Format::Csv) {
    auto field = [&](const QByteArray& f) {
      if (f.contains(';') || f.contains('"') || f.contains('\r') || f.contains('\n'))
        row_ += CsvField(f);
      else
        row_ += f;
      row_ += ';';
    };
    field(file);
    field(Number(position + 1));
    field(r.Identifier.toUtf8());
    field(DateText(r.Date, format_));
    field(Number(r.BogieType));
    field(texts ? texts->bogie : QByteArray());
    field(Number(r.SpringType));
    field(texts ? texts->spring : QByteArray());
    field(texts ? texts->designation : QByteArray());
    field(kind);
    for (int p = 1; p <= 6; ++p) {
      const ParameterSlot& slot = r.Param[p];
      field(texts ? texts->param[p] : QByteArray());
      field(measured(p) && slot.JudgeMode == 0 ? FloatText(slot.Value, point_) : QByteArray());
      QByteArray v;
      if (Judgement.Judged && measured(p)) v = Judgement.Verdicts[p] ? "Норма" : "Брак";
      field(v);
    }
    field(verdict);
    field(group >= 0 ? Number(group) : QByteArray());
    field(r.WagonFrom.toUtf8());
    row_ += CsvField(r.WagonTo.toUtf8());
    row_ += "\r\n";
  } else {
    row_ += "{\"file\":\"";
    row_ += file;
    row_ += "\",\"position\":" + Number(position + 1);
    row_ += ",\"identifier\":" + JsonString(r.Identifier.toUtf8());
    const QByteArray date = DateText(r.Date, format_);
    row_ += ",\"datetime\":" + (date.isEmpty() ? QByteArray("null") : JsonString(date));
    row_ += ",\"date_days\":" +
            (std::isfinite(r.Date) ? QByteArray::number(r.Date, 'g', 17) : QByteArray("null"));
    row_ += ",\"bogie_type\":" + Number(r.BogieType);
    row_ += ",\"bogie_type_name\":" + (texts ? JsonString(texts->bogie) : QByteArray("null"));
    row_ += ",\"spring_type\":" + Number(r.SpringType);
    row_ += ",\"spring_type_name\":" + (texts ? JsonString(texts->spring) : QByteArray("null"));
    row_ += ",\"spring_type_designation\":" +
            (texts ? JsonString(texts->designation) : QByteArray("null"));
    row_ += ",\"kind\":" + Number(r.Kind);
    row_ += ",\"parameters\":[";
    for (int p = 1; p <= 6; ++p) {
      const ParameterSlot& slot = r.Param[p];
      if (p > 1) row_ += ',';
      row_ += "{\"p\":" + Number(p);
      row_ += ",\"name\":" + (texts ? JsonString(texts->param[p]) : QByteArray("null"));
      row_ += ",\"value\":" + (measured(p) && slot.JudgeMode == 0 ? JsonNumber(slot.Value)
                                                                 : QByteArray("null"));
      row_ += ",\"good\":";
      row_ += Judgement.Judged && measured(p) ? (Judgement.Verdicts[p] ? "true" : "false") : "null";
      row_ += '}';
    }
    row_ += "],\"good\":";
    row_ += Judgement.Judged ? (Judgement.SpringGood ? "true" : "false") : "null";
    row_ += ",\"height_group\":" + (group >= 0 ? Number(group) : QByteArray("null"));
    row_ += ",\"wagon_from\":" + JsonString(r.WagonFrom.toUtf8());
    row_ += ",\"wagon_to\":" + JsonString(r.WagonTo.toUtf8());
    row_ += "}\n";
  }
  sink_.Write(row_);
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
  QByteArray h = "\xEF\xBB\xBF";
  h += "Позиция;Дата комплекта;Тележка №;Тележка, завод;Тележка, год";
  for (const char* side : {"Левая", "Правая"}) {
    h += QStringLiteral(";%1 рама №;%1 рама, завод;%1 рама, год").arg(QString::fromUtf8(side)).toUtf8();
    for (const char* ring : {"наружная", "внутренняя"})
      for (const char* place : kSetPlaces)
        h += QStringLiteral(";%1 %2 %3")
                 .arg(QString::fromUtf8(side), QString::fromUtf8(ring), QString::fromUtf8(place))
                 .toUtf8();
  }
  h += ";Снята с вагона №;Установлена на вагон №\r\n";
  sink_.Write(h);
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
