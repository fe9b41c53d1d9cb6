#pragma once
// INI files with the rules of the Windows private-profile functions the
// configuration and the bogie/spring-type file were written for:
// - section and key names match without regard to letter case and to blanks
//   around them (a key asked for as " Vred" is found by the line "Vred=1");
// - values lose surrounding blanks and one pair of surrounding quotes;
// - the first matching section and the first matching key win;
// - writing one key replaces its line in place and keeps every other line
//   (comments included); a missing key is added at the end of its section,
//   a missing section at the end of the file, a missing file is created.
// Files are CP1251.

#include <QString>
#include <QStringList>
#include <optional>

namespace plat {

// Integer in the forms the configuration accepts: decimal, "$1F", "0x1F"
// (also "x1F"), with an optional sign. Empty optional when not a number.
std::optional<int> ParseInteger(const QString& text);
// Real with "." as decimal separator and an optional exponent.
std::optional<double> ParseFloat(const QString& text);
// Formats a real the way the configuration files hold it ("." separator,
// shortest form that reads back to the same value).
QString FormatFloat(double value);

class IniFile {
 public:
  IniFile() = default;
  // Reads a file by its file-system path; a missing file gives an empty ini.
  static IniFile Load(const QString& mappedPath, bool* existed = nullptr);
  static IniFile FromText(const QString& text);

  bool HasSection(const QString& section) const;
  bool HasKey(const QString& section, const QString& key) const;
  // The raw value, or nothing when the key is missing.
  std::optional<QString> Value(const QString& section, const QString& key) const;
  QString ReadString(const QString& section, const QString& key, const QString& def) const;
  int ReadInteger(const QString& section, const QString& key, int def) const;
  bool ReadBool(const QString& section, const QString& key, bool def) const;
  double ReadFloat(const QString& section, const QString& key, double def) const;
  // Names of the sections in file order, and the keys of one section.
  QStringList Sections() const;
  QStringList Keys(const QString& section) const;

  void WriteString(const QString& section, const QString& key, const QString& value);
  void WriteInteger(const QString& section, const QString& key, int value);
  void WriteFloat(const QString& section, const QString& key, double value);

  const QStringList& Lines() const { return lines_; }
  QString Text() const;
  // Writes the lines back (CP1251, CR LF) whole, synced to the disk; on a
  // failure the file is as it was and `reason` gets the system's text.
  bool Save(const QString& mappedPath, QString* reason = nullptr) const;

 private:
  int FindSection(const QString& section) const;  // line index of the header, -1
  int FindKey(int sectionLine, const QString& key) const;  // line index, -1
  QStringList lines_;
};

// Writes one key into a file, keeping every other line (WritePrivateProfileString).
bool IniWriteString(const QString& mappedPath, const QString& section, const QString& key,
                    const QString& value, QString* reason = nullptr);

}  // namespace plat
