#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "quality/capability.h"
#include "quality/csv.h"
#include "quality/limits.h"
#include "quality/measured.h"

namespace {

TEST(QualityLimits, ToleranceWidensTheNormsAndTheLoaderDefaultsAreNoLimit) {
  // Min 10, Max 20, E 0.5: the judgement runs strictly between 9.5 and 20.5;
  // the 32-bit values 9.6 and 20.4 lie just inside.
  EXPECT_FALSE(quality::WithinJudgementLimits(9.5f, 10, 20, 0.5));
  EXPECT_TRUE(quality::WithinJudgementLimits(9.6f, 10, 20, 0.5));
  EXPECT_TRUE(quality::WithinJudgementLimits(20.4f, 10, 20, 0.5));
  EXPECT_FALSE(quality::WithinJudgementLimits(20.5f, 10, 20, 0.5));
  // The judgement takes a default norm as its number: -1000.6 is below -1000.5.
  EXPECT_FALSE(quality::WithinJudgementLimits(-1000.6, -1000, 20, 0.5));

  const quality::Limits both = quality::JudgementLimits(10, 20, 0.5);
  EXPECT_EQ(both.lower, 9.5);
  EXPECT_EQ(both.upper, 20.5);
  // For capability and charts -1000 / 1000 (or beyond) and a missing norm are no limit.
  const quality::Limits upperOnly = quality::JudgementLimits(-1000, 20, 0.5);
  EXPECT_FALSE(upperOnly.lower);
  EXPECT_EQ(upperOnly.upper, 20.5);
  EXPECT_FALSE(quality::JudgementLimits(10, 1000.5, 0.5).upper);
  EXPECT_EQ(quality::JudgementLimits(-999.5, std::nullopt, 0.5).lower, -1000.0);
  EXPECT_FALSE(quality::JudgementLimits(std::nullopt, std::nullopt, 0.5).lower);
}

TEST(QualityMeasured, AFastMeasurementTakesNeitherDiameterNorNonPerpendicularityNorCoilGap) {
  for (int p = 1; p <= 6; ++p) {
    const bool skipped = p == 1 || p == 3 || p == 4;
    EXPECT_EQ(quality::KindTakes(1, p), !skipped) << p;
    EXPECT_TRUE(quality::KindTakes(0, p)) << p;
    EXPECT_EQ(quality::ValueMeasured(1, p, true), !skipped) << p;
    EXPECT_FALSE(quality::ValueMeasured(0, p, false)) << p;  // marked by the record
  }
}

TEST(QualityCapability, MomentsPoolingAndIndicesOfASmallSetByHand) {
  // 1, 2, 3, 4, 5: mean 3, squared deviations 4 + 1 + 0 + 1 + 4 = 10,
  // s = √(10 / 4) = 1.58113883.
  quality::Moments m;
  for (double v : {1, 2, 3, 4, 5}) m.Add(v);
  EXPECT_EQ(m.n, 5);
  EXPECT_DOUBLE_EQ(m.mean, 3);
  EXPECT_DOUBLE_EQ(m.m2, 10);
  EXPECT_EQ(m.min, 1);
  EXPECT_EQ(m.max, 5);
  EXPECT_NEAR(*m.Sd(), 1.58113883, 1e-8);

  // The same set in two parts: {1, 2} mean 1.5, m2 0.5; {3, 4, 5} mean 4,
  // m2 2. Pooled: 0.5 + 2 + 2·1.5² + 3·1² = 10. An empty part adds nothing.
  const quality::Moments pooled = quality::Pool({{2, 1.5, 0.5, 1, 2}, {}, {3, 4, 2, 3, 5}});
  EXPECT_EQ(pooled.n, 5);
  EXPECT_DOUBLE_EQ(pooled.mean, 3);
  EXPECT_DOUBLE_EQ(pooled.m2, 10);
  EXPECT_EQ(pooled.min, 1);
  EXPECT_EQ(pooled.max, 5);
  EXPECT_EQ(quality::Pool({}).n, 0);
  EXPECT_NEAR(quality::Moments::OfSummary(5, 3, std::sqrt(2.5)).m2, 10, 1e-12);

  // Limits 0 and 7: Cp = 7 / (6 · 1.58113883) = 0.73786479,
  // Cpk = min(7 − 3, 3 − 0) / (3 · 1.58113883) = 0.63245553.
  const quality::Indices ix = quality::CapabilityIndices(m, {0.0, 7.0});
  EXPECT_NEAR(*ix.cp, 0.73786479, 1e-8);
  EXPECT_NEAR(*ix.cpk, 0.63245553, 1e-8);
  // Upper limit alone: one-sided Cpk = 4 / 4.74341649 = 0.84327404, no Cp.
  const quality::Indices upper = quality::CapabilityIndices(m, {std::nullopt, 7.0});
  EXPECT_FALSE(upper.cp);
  EXPECT_NEAR(*upper.cpk, 0.84327404, 1e-8);
  // No spread, or one value: no index.
  quality::Moments flat;
  for (double v : {2, 2, 2}) flat.Add(v);
  EXPECT_FALSE(quality::CapabilityIndices(flat, {0.0, 7.0}).cpk);
  EXPECT_FALSE(quality::CapabilityIndices(quality::Moments::OfSummary(1, 3, 1.0), {0.0, 7.0}).cp);
}

TEST(QualityCsv, FieldsNumbersAndWords) {
  EXPECT_EQ(quality::CsvField("plain"), "plain");
  EXPECT_EQ(quality::CsvField("a;b"), "\"a;b\"");
  EXPECT_EQ(quality::CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(quality::CsvField("two\r\nlines"), "\"two\r\nlines\"");
  std::string row;
  quality::AppendCsvField(row, QStringLiteral("12;4"));     // ASCII, narrowed in place
  quality::AppendCsvField(row, QStringLiteral("Ваг\"он"));  // through UTF-8
  EXPECT_EQ(row, "\"12;4\"\"Ваг\"\"он\"");
  EXPECT_EQ(quality::CsvRow({"a", "b;c", ""}), "a;\"b;c\";\r\n");
  EXPECT_EQ(quality::CsvHeader({"Файл", "n"}), "\xEF\xBB\xBFФайл;n\r\n");

  EXPECT_EQ(quality::FloatText(245.87f, ','), "245,87");
  EXPECT_EQ(quality::FloatText(0.1f, '.'), "0.1");
  EXPECT_EQ(quality::FloatText(5.0f, ','), "5");
  // The short way for the line's values gives to_chars's bytes: a sample of
  // every magnitude and the decimals of up to four places.
  auto plain = [](float v) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
  };
  int checked = 0;
  for (uint32_t bits = std::bit_cast<uint32_t>(0.0005f); bits < std::bit_cast<uint32_t>(20000.f); bits += 211) {
    const float v = std::bit_cast<float>(bits);
    char buf[32];
    ASSERT_EQ(quality::FloatChars(v, '.', buf), plain(v)) << bits;
    ASSERT_EQ(quality::FloatChars(-v, '.', buf), plain(-v)) << bits;
    ++checked;
  }
  for (int n = -1000000; n <= 1000000; n += 7) {
    const float v = static_cast<float>(n / 10000.0);
    char buf[32];
    ASSERT_EQ(quality::FloatChars(v, '.', buf), plain(v)) << n;
  }
  EXPECT_GT(checked, 500000);
  EXPECT_EQ(quality::CsvNumber(1.0 / 3), "0,3333333333");
  EXPECT_EQ(quality::CsvNumber(1.0 / 3, '.', 2), "0.33");
  EXPECT_EQ(quality::CsvNumber(std::nullopt), "");

  EXPECT_EQ(quality::KindText(0, false), "полный");
  EXPECT_EQ(quality::KindText(1, false), "быстрый");
  EXPECT_EQ(quality::KindText(0, true), "ускоренный");
  EXPECT_EQ(quality::KindText(7, false), "7");
}

TEST(QualityCsv, ColumnSets) {
  // Ten of the record, three per parameter, six after them.
  const QList<QByteArray> m = quality::MeasurementColumns();
  ASSERT_EQ(m.size(), 10 + 18 + 6);
  EXPECT_EQ(m[9], "Вид замера");
  EXPECT_EQ(m[10], "Параметр 1");
  EXPECT_EQ(m[27], "Оценка 6");
  EXPECT_EQ(m[28], "Оценка замера");
  EXPECT_EQ(m[32], "Эмуляция");
  EXPECT_EQ(m[33], "Ускоренный замер");
  // Five of the bogie, per side frame three markings and 2 × 7 groups, two wagons.
  const QList<QByteArray> s = quality::SetColumns();
  ASSERT_EQ(s.size(), 5 + 2 * (3 + 14) + 2);
  EXPECT_EQ(s[8], "Левая наружная 3К");
  EXPECT_EQ(s[21], "Левая внутренняя 7");
  EXPECT_EQ(s[22], "Правая рама №");
  EXPECT_EQ(s[40], "Установлена на вагон №");
}

}  // namespace
