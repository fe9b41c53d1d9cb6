#include "platform/optionreader.h"

namespace plat {

std::optional<QString> OptionWords::Next() {
  if (at_ + 1 >= words_.size()) return std::nullopt;
  return words_[++at_];
}

OptionReader& OptionReader::Flag(const QString& name) {
  declared_.insert(name, {Kind::Flag, 0, {}});
  return *this;
}

OptionReader& OptionReader::Value(const QString& name) {
  declared_.insert(name, {Kind::Value, 0, {}});
  return *this;
}

OptionReader& OptionReader::Custom(const QString& name, std::function<QString(OptionWords&)> read) {
  declared_.insert(name, {Kind::Custom, 0, std::move(read)});
  return *this;
}

OptionReader& OptionReader::Positionals(int most) {
  mostPositional_ = most;
  return *this;
}

OptionReader& OptionReader::OptionsFirst() {
  optionsFirst_ = true;
  return *this;
}

OptionReader& OptionReader::Foreign(const QString& name, int values) {
  declared_.insert(name, {Kind::Foreign, values, {}});
  return *this;
}

OptionReader& OptionReader::PassSingleDash() {
  passSingleDash_ = true;
  return *this;
}

bool OptionReader::Read(const QStringList& words, QString& error) {
  for (int i = 0; i < words.size(); ++i) {
    const QString& word = words[i];
    const bool positionalOnly = optionsFirst_ && !positional_.isEmpty();
    const auto it = positionalOnly ? declared_.cend() : declared_.constFind(word);
    if (it == declared_.cend()) {
      const bool looksLikeOption = word.startsWith('-') && word != "-";
      if (!positionalOnly && looksLikeOption) {
        if (passSingleDash_ && !word.startsWith("--")) continue;
        error = "unknown option " + word;
        return false;
      }
      if (mostPositional_ >= 0 && positional_.size() >= mostPositional_) {
        error = "unexpected argument " + word;
        return false;
      }
      positional_ << word;
      continue;
    }
    switch (it->kind) {
      case Kind::Flag:
        values_.insert(word, QString());
        break;
      case Kind::Value:
        if (i + 1 >= words.size()) {
          error = word + " needs a value";
          return false;
        }
        values_.insert(word, words[++i]);
        break;
      case Kind::Custom: {
        OptionWords rest(words, i);
        if (const QString problem = it->read(rest); !problem.isEmpty()) {
          error = word + " " + problem;
          return false;
        }
        values_.insert(word, QString());
        break;
      }
      case Kind::Foreign:
        i += it->foreignValues;
        break;
    }
  }
  return true;
}

}  // namespace plat
