#pragma once
// The one reader of command lines, for the program and every tool: flags,
// options with a value, options that read their own values, and positional
// words. A wrong command line gives one message that names the word.

#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace plat {

// The words that follow an option, for an option that reads its own values
// (a device and a number, say). Next() gives nothing at the end of the line.
class OptionWords {
 public:
  OptionWords(const QStringList& words, int& at) : words_(words), at_(at) {}
  std::optional<QString> Next();

 private:
  const QStringList& words_;
  int& at_;
};

class OptionReader {
 public:
  // An option without a value ("--force").
  OptionReader& Flag(const QString& name);
  // An option followed by one value ("--home DIR"); the value is taken as it
  // stands, so "-" may be a value. Given twice, the last one counts.
  OptionReader& Value(const QString& name);
  // An option that reads its own values; `read` returns what is wrong
  // ("takes a device"), which the message puts after the option's name, or
  // an empty text when all is well. It runs when the option is read.
  OptionReader& Custom(const QString& name, std::function<QString(OptionWords&)> read);
  // How many positional words the line may hold (default none; -1 any).
  OptionReader& Positionals(int most);
  // Everything after the first positional word is positional too (a command
  // and its arguments after the options).
  OptionReader& OptionsFirst();
  // Options of another reader on the same line (Qt's own "-platform X"):
  // passed over with `values` words after them.
  OptionReader& Foreign(const QString& name, int values);
  // Single-dash words that are not declared are passed over instead of
  // refused, since Qt reads them.
  OptionReader& PassSingleDash();

  // Reads `words` (without the program's name). False with `error` at the
  // first wrong word: "unknown option X", "X needs a value", "unexpected
  // argument X", or the name of a custom option followed by its complaint.
  bool Read(const QStringList& words, QString& error);

  bool Has(const QString& name) const { return values_.contains(name); }
  QString Get(const QString& name, const QString& fallback = QString()) const {
    return values_.value(name, fallback);
  }
  const QStringList& Positional() const { return positional_; }

 private:
  enum class Kind { Flag, Value, Custom, Foreign };
  struct Declared {
    Kind kind;
    int foreignValues = 0;
    std::function<QString(OptionWords&)> read;
  };
  QMap<QString, Declared> declared_;
  QMap<QString, QString> values_;
  QStringList positional_;
  int mostPositional_ = 0;
  bool optionsFirst_ = false;
  bool passSingleDash_ = false;
};

}  // namespace plat
