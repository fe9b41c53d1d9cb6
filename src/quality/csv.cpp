#include "quality/csv.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "quality/measured.h"

namespace quality {

const char* const kSetPlaces[7] = {"3К", "5К", "1", "2", "4", "6", "7"};

namespace {

bool NeedsQuotes(std::string_view utf8) {
  return std::any_of(utf8.begin(), utf8.end(),
                     [](char c) { return c == ';' || c == '"' || c == '\r' || c == '\n'; });
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number as the CSVs write them: a sign, digits with one decimal point or
// comma, an exponent.
bool IsNumber(std::string_view t) {
  size_t i = !t.empty() && (t[0] == '-' || t[0] == '+') ? 1 : 0;
  int digits = 0;
  for (; i < t.size() && IsDigit(t[i]); ++i) ++digits;
  if (i < t.size() && (t[i] == ',' || t[i] == '.'))
    for (++i; i < t.size() && IsDigit(t[i]); ++i) ++digits;
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    if (++i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
    if (i == t.size() || !IsDigit(t[i])) return false;
    while (i < t.size() && IsDigit(t[i])) ++i;
  }
  return i == t.size();
}

// A text a spreadsheet would run as a formula.
bool IsFormula(std::string_view t) {
  if (t.empty()) return false;
  switch (t[0]) {
    case '=': case '@': case '\t': case '\r': return true;
    case '+': case '-': return !IsNumber(t);
    default: return false;
  }
}

}  // namespace

void AppendCsvField(std::string& out, std::string_view utf8) {
  // A text that reads as a formula is written as text: a quote before it.
  if (IsFormula(utf8)) {
    const std::string quoted = "'" + std::string(utf8);
    AppendCsvField(out, std::string_view(quoted));
    return;
  }
  if (!NeedsQuotes(utf8)) {
    out += utf8;
    return;
  }
  out += '"';
  for (const char c : utf8) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void AppendCsvField(std::string& out, const QString& text) {
  // The texts of a record are mostly ASCII.
  const auto* u = reinterpret_cast<const char16_t*>(text.constData());
  const qsizetype n = text.size();
  if (std::all_of(u, u + n, [](char16_t c) { return c < 0x80; })) {
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(n));
    std::transform(u, u + n, out.begin() + static_cast<std::ptrdiff_t>(start),
                   [](char16_t c) { return static_cast<char>(c); });
    const std::string_view added = std::string_view(out).substr(start);
    if (NeedsQuotes(added) || IsFormula(added)) {
      const std::string plain = out.substr(start);
      out.resize(start);
      AppendCsvField(out, plain);
    }
    return;
  }
  const QByteArray utf8 = text.toUtf8();
  AppendCsvField(out, std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

QByteArray CsvField(const QByteArray& utf8) {
  std::string out;
  AppendCsvField(out, std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
  return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

QByteArray CsvRow(const QList<QByteArray>& fields) {
  QByteArray row;
  for (qsizetype i = 0; i < fields.size(); ++i) {
    if (i > 0) row += ';';
    row += CsvField(fields[i]);
  }
  return row + "\r\n";
}

QByteArray CsvHeader(const QList<QByteArray>& columns) {
  return QByteArray(kCsvByteOrderMark.data(), static_cast<qsizetype>(kCsvByteOrderMark.size())) +
         CsvRow(columns);
}

namespace {

constexpr double kPow10[] = {1, 10, 100, 1000, 10000};

// The text std::to_chars gives a float (the shortest decimal that reads back
// as the same float, the one nearest to it among those of that length) for
// the values a measurement stores, taken the short way: a magnitude between
// 0.001 and 10000 with at most four decimals. Null for any other value,
// which the caller leaves to std::to_chars. Every float of that range gives
// the same bytes both ways.
//
// With k decimals the nearest decimal to |v| is n / 10^k, n = round(|v| 10^k);
// it reads back as v when it lies strictly within half the float's spacing
// of v. The smallest such k is the shortest text. All the products below
// are exact in a double (24 + 14 bits), so the test is exact too; a decimal
// exactly half-way between two candidates or on the edge of the spacing,
// and a power of two (whose spacing below is half that above), go the long
// way. Fixed notation is the shorter of the two to_chars chooses between for
// every magnitude of the range.
// The whole part and k decimals of digits / 10^k; a divisor the compiler
// knows becomes a multiplication.
template <uint32_t kScale, int kDecimals>
char* PutScaled(char* out, uint32_t digits, char decimalPoint) {
  out = std::to_chars(out, out + 16, digits / kScale).ptr;
  if constexpr (kDecimals > 0) {
    uint32_t rest = digits % kScale;
    *out++ = decimalPoint;
    for (int d = kDecimals - 1; d >= 0; --d) {
      out[d] = static_cast<char>('0' + rest % 10);
      rest /= 10;
    }
    out += kDecimals;
  }
  return out;
}

char* ShortFloatChars(float v, char decimalPoint, char* out) {
  const double a = std::fabs(static_cast<double>(v));
  if (!(a >= 0.001 && a < 10000)) return nullptr;
  const auto bits = std::bit_cast<uint32_t>(v);
  if ((bits & 0x7fffff) == 0) return nullptr;  // a power of two
  // Half the spacing of floats of v's binary exponent e is 2^(e - 24),
  // made as the bits of a double (every v of the range is a normal float).
  const auto exponent = static_cast<int>(bits >> 23 & 0xff) - 127;
  const double halfSpacing = std::bit_cast<double>(static_cast<uint64_t>(exponent - 24 + 1023) << 52);
  // Adding and taking away 2^52 rounds a double below 2^51 to the nearest
  // integer, ties to even, as nearbyint does, without a call.
  constexpr double kRound = 0x1p52;
  for (int k = 0; k <= 4; ++k) {
    const double scaled = a * kPow10[k];
    const double n = (scaled + kRound) - kRound;
    const double off = std::fabs(n - scaled);
    const double edge = halfSpacing * kPow10[k];
    if (off == 0.5 || off == edge) return nullptr;
    if (off > edge) continue;
    const auto digits = static_cast<uint32_t>(n);
    if (v < 0) *out++ = '-';
    switch (k) {
      case 0: return PutScaled<1, 0>(out, digits, decimalPoint);
      case 1: return PutScaled<10, 1>(out, digits, decimalPoint);
      case 2: return PutScaled<100, 2>(out, digits, decimalPoint);
      case 3: return PutScaled<1000, 3>(out, digits, decimalPoint);
      default: return PutScaled<10000, 4>(out, digits, decimalPoint);
    }
  }
  return nullptr;
}

}  // namespace

std::string_view FloatChars(float v, char decimalPoint, char (&buf)[32]) {
  if (const char* end = ShortFloatChars(v, decimalPoint, buf))
    return std::string_view(buf, static_cast<size_t>(end - buf));
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  if (decimalPoint != '.') std::replace(buf, res.ptr, '.', decimalPoint);
  return std::string_view(buf, static_cast<size_t>(res.ptr - buf));
}

QByteArray FloatText(float v, char decimalPoint) {
  char buf[32];
  const std::string_view text = FloatChars(v, decimalPoint, buf);
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QByteArray CsvNumber(std::optional<double> v, char decimalPoint, int decimals) {
  if (!v) return {};
  QByteArray t =
      decimals < 0 ? QByteArray::number(*v, 'g', 10) : QByteArray::number(*v, 'f', decimals);
  if (decimalPoint != '.') t.replace('.', decimalPoint);
  return t;
}

void AppendKindText(std::string& out, int kind, bool accelerated) {
  if (accelerated) {
    out += "ускоренный";
  } else if (kind == 0) {
    out += "полный";
  } else if (kind == kFastKind) {
    out += "быстрый";
  } else {
    out += std::to_string(kind);
  }
}

QByteArray KindText(int kind, bool accelerated) {
  std::string out;
  AppendKindText(out, kind, accelerated);
  return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

QList<QByteArray> MeasurementColumns() {
  QList<QByteArray> c = {"Файл",          "Позиция",     "Идентификатор", "Дата и время",
                         "Тип тележки №", "Тип тележки", "Тип пружины №", "Тип пружины",
                         "Обозначение",   "Вид замера"};
  for (int p = 1; p <= 6; ++p) {
    const QString n = QString::number(p);
    c << ("Параметр " + n).toUtf8() << ("Значение " + n).toUtf8() << ("Оценка " + n).toUtf8();
  }
  c.append({"Оценка замера", "Группа по высоте", "Снята с вагона №", "Установлена на вагон №",
            "Эмуляция", "Ускоренный замер"});
  return c;
}

QList<QByteArray> SetColumns() {
  QList<QByteArray> c = {"Позиция", "Дата комплекта", "Тележка №", "Тележка, завод",
                         "Тележка, год"};
  for (const char* side : {"Левая", "Правая"}) {
    const QString s = QString::fromUtf8(side);
    c << (s + " рама №").toUtf8() << (s + " рама, завод").toUtf8() << (s + " рама, год").toUtf8();
    for (const char* ring : {"наружная", "внутренняя"})
      for (const char* place : kSetPlaces)
        c << QStringLiteral("%1 %2 %3")
                 .arg(s, QString::fromUtf8(ring), QString::fromUtf8(place))
                 .toUtf8();
  }
  c.append({"Снята с вагона №", "Установлена на вагон №"});
  return c;
}

}  // namespace quality
