#include "platform/inifile.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>

#include "platform/cp1251.h"
#include "platform/textfile.h"

namespace plat {
namespace {

bool IsBlank(QChar c) { return c == ' ' || c == '\t'; }

QString TrimBlanks(const QString& s) {
  int b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && (IsBlank(s[e - 1]) || s[e - 1] == '\r')) --e;
  return s.mid(b, e - b);
}

bool SameName(const QString& a, const QString& b) {
  return TrimBlanks(a).compare(TrimBlanks(b), Qt::CaseInsensitive) == 0;
}

// The section name of a header line, or nothing.
std::optional<QString> HeaderName(const QString& line) {
  const QString t = TrimBlanks(line);
  if (!t.startsWith('[')) return std::nullopt;
  const int close = t.indexOf(']');
  if (close < 0) return TrimBlanks(t.mid(1));
  return TrimBlanks(t.mid(1, close - 1));
}

// Splits "key=value"; nothing when the line holds no '='.
std::optional<std::pair<QString, QString>> KeyValue(const QString& line) {
  const int eq = line.indexOf('=');
  if (eq < 0) return std::nullopt;
  return std::make_pair(TrimBlanks(line.left(eq)), TrimBlanks(line.mid(eq + 1)));
}

QString Unquote(const QString& v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.mid(1, v.size() - 2);
  return v;
}

}  // namespace

std::optional<int> ParseInteger(const QString& text) {
  QString t = text.trimmed();
  if (t.isEmpty()) return std::nullopt;
  bool negative = false;
  if (t[0] == '+' || t[0] == '-') {
    negative = t[0] == '-';
    t = t.mid(1);
  }
  int base = 10;
  if (t.startsWith('$')) {
    base = 16;
    t = t.mid(1);
  } else if (t.startsWith("0x", Qt::CaseInsensitive)) {
    base = 16;
    t = t.mid(2);
  } else if (t.startsWith('x', Qt::CaseInsensitive)) {
    base = 16;
    t = t.mid(1);
  }
  if (t.isEmpty()) return std::nullopt;
  qint64 value = 0;
  for (QChar c : t) {
    const int d = c.isDigit() ? c.digitValue()
                  : (base == 16 && c.toLower() >= 'a' && c.toLower() <= 'f')
                      ? c.toLower().unicode() - 'a' + 10
                      : -1;
    if (d < 0 || d >= base || c.unicode() > 127) return std::nullopt;
    value = value * base + d;
    if (value > 0xFFFFFFFFLL) return std::nullopt;
  }
  if (base == 10) {
    if (negative) value = -value;
    if (value > 2147483647LL || value < -2147483648LL) return std::nullopt;
    return static_cast<int>(value);
  }
  // Hexadecimal spans the whole 32 bits: $FFFFFFFF is -1.
  int v = static_cast<int>(static_cast<uint32_t>(value));
  return negative ? -v : v;
}

std::optional<double> ParseFloat(const QString& text) {
  static const QRegularExpression re(
      R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$)");
  const QString t = text.trimmed();
  if (!re.match(t).hasMatch()) return std::nullopt;
  bool ok = false;
  const double v = t.toDouble(&ok);
  if (!ok || !std::isfinite(v)) return std::nullopt;
  return v;
}

QString FormatFloat(double value) {
  // The fewest digits that read back as the same double; a plain decimal
  // form for every magnitude a file of the line holds (0.0000123456 stays
  // so), the exponent only beyond them.
  const double a = std::fabs(value);
  if (a == 0.0 || (a >= 1e-15 && a < 1e15))
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
  return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

IniFile IniFile::Load(const QString& mappedPath, bool* existed) {
  IniFile ini;
  const auto bytes = ReadMappedBytes(mappedPath);
  if (existed) *existed = bytes.has_value();
  if (bytes) ini = FromText(FromCp1251(*bytes));
  return ini;
}

IniFile IniFile::FromText(const QString& text) {
  IniFile ini;
  QString t = text;
  t.replace("\r\n", "\n");
  ini.lines_ = t.split('\n');
  if (!ini.lines_.isEmpty() && ini.lines_.back().isEmpty()) ini.lines_.removeLast();
  return ini;
}

int IniFile::FindSection(const QString& section) const {
  for (int i = 0; i < lines_.size(); ++i) {
    const auto name = HeaderName(lines_[i]);
    if (name && SameName(*name, section)) return i;
  }
  return -1;
}

int IniFile::FindKey(int sectionLine, const QString& key) const {
  for (int i = sectionLine + 1; i < lines_.size(); ++i) {
    if (HeaderName(lines_[i])) break;
    const auto kv = KeyValue(lines_[i]);
    if (kv && SameName(kv->first, key)) return i;
  }
  return -1;
}

bool IniFile::HasSection(const QString& section) const { return FindSection(section) >= 0; }

bool IniFile::HasKey(const QString& section, const QString& key) const {
  return Value(section, key).has_value();
}

std::optional<QString> IniFile::Value(const QString& section, const QString& key) const {
  const int s = FindSection(section);
  if (s < 0) return std::nullopt;
  const int k = FindKey(s, key);
  if (k < 0) return std::nullopt;
  return Unquote(KeyValue(lines_[k])->second);
}

QString IniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
  return Value(section, key).value_or(def);
}

int IniFile::ReadInteger(const QString& section, const QString& key, int def) const {
  const auto v = Value(section, key);
  if (!v) return def;
  return ParseInteger(*v).value_or(def);
}

bool IniFile::ReadBool(const QString& section, const QString& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

double IniFile::ReadFloat(const QString& section, const QString& key, double def) const {
  const auto v = Value(section, key);
  if (!v) return def;
  return ParseFloat(*v).value_or(def);
}

QStringList IniFile::Sections() const {
  QStringList out;
  for (const QString& l : lines_)
    if (const auto name = HeaderName(l)) out << *name;
  return out;
}

QStringList IniFile::Keys(const QString& section) const {
  QStringList out;
  const int s = FindSection(section);
  if (s < 0) return out;
  for (int i = s + 1; i < lines_.size(); ++i) {
    if (HeaderName(lines_[i])) break;
    if (const auto kv = KeyValue(lines_[i]); kv && !kv->first.startsWith(';')) out << kv->first;
  }
  return out;
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value) {
  const QString line = TrimBlanks(key) + "=" + value;
  int s = FindSection(section);
  if (s < 0) {
    if (!lines_.isEmpty() && !TrimBlanks(lines_.back()).isEmpty()) lines_ << QString();
    lines_ << "[" + TrimBlanks(section) + "]" << line;
    return;
  }
  const int k = FindKey(s, key);
  if (k >= 0) {
    lines_[k] = line;
    return;
  }
  // After the last non-blank line of the section.
  int insertAt = s + 1;
  for (int i = s + 1; i < lines_.size(); ++i) {
    if (HeaderName(lines_[i])) break;
    if (!TrimBlanks(lines_[i]).isEmpty()) insertAt = i + 1;
  }
  lines_.insert(insertAt, line);
}

void IniFile::WriteInteger(const QString& section, const QString& key, int value) {
  WriteString(section, key, QString::number(value));
}

void IniFile::WriteFloat(const QString& section, const QString& key, double value) {
  WriteString(section, key, FormatFloat(value));
}

QString IniFile::Text() const {
  QString out;
  for (const QString& l : lines_) out += l + "\r\n";
  return out;
}

bool IniFile::Save(const QString& mappedPath, QString* reason) const {
  return WriteWholeFile(mappedPath, ToCp1251(Text()), reason);
}

bool IniWriteString(const QString& mappedPath, const QString& section, const QString& key,
                    const QString& value, QString* reason) {
  IniFile ini = IniFile::Load(mappedPath);
  ini.WriteString(section, key, value);
  return ini.Save(mappedPath, reason);
}

}  // namespace plat
