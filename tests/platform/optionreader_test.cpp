#include "platform/optionreader.h"

#include <gtest/gtest.h>

namespace {

// A reader for "tool [--force] [--out FILE] [--pair A B] [-platform X] WORD...".
struct Reading {
  plat::OptionReader reader;
  QString error, pair;
  bool ok = false;
  explicit Reading(const QStringList& words, int positionals = 1, bool optionsFirst = false) {
    reader.Flag("--force").Value("--out").Foreign("-platform", 1).Positionals(positionals);
    reader.Custom("--pair", [this](plat::OptionWords& w) -> QString {
      const auto a = w.Next(), b = w.Next();
      if (!b) return "takes two words";
      pair = *a + *b;
      return {};
    });
    if (optionsFirst) reader.OptionsFirst();
    ok = reader.Read(words, error);
  }
};

}  // namespace

TEST(OptionReader, ReadsFlagsValuesCustomAndPositionalWords) {
  const Reading r({"--out", "-", "--pair", "x", "y", "-platform", "offscreen", "dir", "--force",
                   "--out", "b.csv"});
  ASSERT_TRUE(r.ok) << r.error.toStdString();
  EXPECT_TRUE(r.reader.Has("--force"));
  EXPECT_EQ(r.reader.Get("--out"), "b.csv");  // the last one counts
  EXPECT_EQ(r.reader.Get("--missing", "fallback"), "fallback");
  EXPECT_EQ(r.pair, "xy");
  EXPECT_EQ(r.reader.Positional(), QStringList{"dir"});
  // After the first positional word everything is positional.
  const Reading first({"--force", "fill", "--out", "5"}, -1, true);
  ASSERT_TRUE(first.ok);
  EXPECT_EQ(first.reader.Positional(), (QStringList{"fill", "--out", "5"}));
  EXPECT_FALSE(first.reader.Has("--out"));
}

TEST(OptionReader, WrongWordsAreNamed) {
  const std::vector<std::pair<QStringList, QString>> cases = {
      {{"--bogus"}, "unknown option --bogus"}, {{"-x"}, "unknown option -x"},
      {{"--out"}, "--out needs a value"},      {{"--pair", "x"}, "--pair takes two words"},
      {{"a", "b"}, "unexpected argument b"},
  };
  for (const auto& [words, message] : cases) {
    const Reading r(words);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, message);
  }
  plat::OptionReader qt;
  QString error;
  EXPECT_TRUE(qt.PassSingleDash().Read({"-reverse", "-platform"}, error));
}
