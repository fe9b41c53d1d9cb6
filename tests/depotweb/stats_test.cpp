// The control-chart statistics of the depot page against numbers worked out
// by hand and the tables of c4 and B6.
#include <gtest/gtest.h>

#include <thread>

#include <QRegularExpression>

#include "quality/csv.h"
#include "server/charts.h"
#include "server/sessions.h"
#include "server/signin.h"
#include "server/stats.h"

using namespace depot;

namespace {
std::vector<std::vector<int>> Rules(std::vector<std::optional<double>> z) { return WesternElectric(z); }
std::vector<int> R(std::initializer_list<int> r) { return r; }
}  // namespace

TEST(DepotStats, C4AndBaselineFollowTheTables) {
  EXPECT_NEAR(C4(2), 0.7979, 1e-4);
  EXPECT_NEAR(C4(5), 0.9400, 1e-4);
  EXPECT_NEAR(C4(25), 0.9896, 1e-4);
  EXPECT_EQ(C4(1), 0);
  // Centre weighted by size, σ the mean of s/c4; a single value adds to the centre only.
  const Baseline b = EstimateBaseline({{"a", 5, 10, 1.0}, {"b", 5, 12, 2.0}, {"c", 1, 11, std::nullopt}});
  ASSERT_TRUE(b.valid);
  EXPECT_NEAR(b.centre, (50 + 60 + 11) / 11.0, 1e-12);
  EXPECT_NEAR(b.sigma, 1.5 / C4(5), 1e-12);
  EXPECT_EQ(b.subgroups, 2);
  EXPECT_FALSE(EstimateBaseline({{"a", 1, 10, std::nullopt}}).valid);
  EXPECT_FALSE(EstimateBaseline({{"a", 4, 10, 0.0}}).valid);
}

TEST(DepotStats, LimitsPerSubgroupSize) {
  const Baseline b{true, 250, 0.8, 10};
  const auto mean = MeanChart({{"a", 4, 250.5, 0.7}, {"b", 16, 251, 0.9}}, b);
  EXPECT_NEAR(mean[0].upper, 250 + 3 * 0.8 / 2, 1e-12);
  EXPECT_NEAR(mean[1].lower, 250 - 3 * 0.8 / 4, 1e-12);
  EXPECT_EQ(mean[1].rules, R({1}));  // z = 5
  const auto sd = SdChart({{"a", 5, 250, 0.7}, {"b", 1, 250, std::nullopt}}, b);
  EXPECT_NEAR(sd[0].upper, 1.964 * 0.8, 1e-3);  // B6 of n = 5
  EXPECT_EQ(sd[0].lower, 0);                      // B5 of n = 5
  EXPECT_NEAR(sd[0].centre, 0.94 * 0.8, 1e-4);
  EXPECT_FALSE(sd[1].value);
}

TEST(DepotStats, WesternElectricRules) {
  EXPECT_EQ(Rules({0.5, 3.5, -3.2})[1], R({1}));
  EXPECT_EQ(Rules({0.5, 3.5, -3.2})[2], R({1}));
  EXPECT_EQ(Rules({2.5, 0.1, 2.2})[2], R({2}));
  EXPECT_TRUE(Rules({2.5, -2.5, 0.1})[1].empty());  // opposite sides
  EXPECT_TRUE(Rules({2.5, 2.2, 0.1})[2].empty());   // the last point is not beyond 2σ
  EXPECT_EQ(Rules({1.5, 1.2, 0.3, 1.1, 1.4})[4], R({3}));
  EXPECT_TRUE(Rules({1.5, 1.2, 0.3, -1.1, 1.4})[4].empty());
  const auto run = Rules({0.5, 0.2, 0.3, 0.4, 0.1, 0.6, 0.2, 0.3, 0.5});
  for (int i = 0; i < 7; ++i) EXPECT_TRUE(run[i].empty()) << i;
  EXPECT_EQ(run[7], R({4}));
  EXPECT_EQ(run[8], R({4}));
  // A shift without a value is skipped, not a break of the run.
  EXPECT_EQ(Rules({0.5, 0.5, 0.5, 0.5, std::nullopt, 0.5, 0.5, 0.5, 0.5})[8], R({4}));
  EXPECT_TRUE(Rules({0.5, 0.5, 0.5, 0, 0.5, 0.5, 0.5, 0.5})[7].empty());
}

TEST(DepotStats, PlantedShiftOfTheMeanBreaksRulesTwoThreeAndFour) {
  // Ten shifts around 250 with s = 1, then eight shifts 1 mm higher:
  // with n = 5, σ/√n = 1/0.94/√5 = 0.476, so each is 2.1σ out.
  std::vector<Subgroup> g;
  for (int i = 0; i < 10; ++i) g.push_back({"", 5, i % 2 ? 250.1 : 249.9, 1.0});
  for (int i = 0; i < 8; ++i) g.push_back({"", 5, 251, 1.0});
  const auto mean = MeanChart(g, EstimateBaseline({g.begin(), g.begin() + 10}));
  for (int i = 0; i < 11; ++i) EXPECT_TRUE(mean[i].rules.empty()) << i;
  EXPECT_EQ(mean[11].rules, R({2}));
  EXPECT_EQ(mean[13].rules, R({2, 3}));
  EXPECT_EQ(mean[17].rules, R({2, 3, 4}));
  for (const auto& p : SdChart(g, EstimateBaseline(g))) EXPECT_NE(p.rules, R({1}));
}

TEST(DepotStats, RuleLabelsOfARunOfViolationsDoNotCoverEachOther) {
  // Sixty shifts at one height, each breaking three rules: on a 960 px chart
  // the points stand 14 px apart, less than a label is wide.
  std::vector<ChartPoint> points(60);
  for (ChartPoint& p : points) p = {250.0, 250.0, 249.0, 251.0, {1, 2, 3}};
  const QString svg = QString::fromUtf8(ControlChartSvg("t", std::vector<QString>(60), points, {}));
  struct Label {
    double x, y;
  };
  std::vector<Label> labels;
  static const QRegularExpression kRule(R"re(<text class="rule" x="([\d.]+)" y="([\d.]+)")re");
  for (auto m = kRule.globalMatch(svg); m.hasNext();) {
    const auto one = m.next();
    labels.push_back({one.captured(1).toDouble(), one.captured(2).toDouble()});
  }
  ASSERT_EQ(labels.size(), 60u);
  const double width = 5 * 7.2;  // "1,2,3" in bold 12 px
  for (size_t i = 0; i < labels.size(); ++i)
    for (size_t k = i + 1; k < labels.size(); ++k)
      EXPECT_TRUE(std::abs(labels[i].x - labels[k].x) >= width || std::abs(labels[i].y - labels[k].y) >= 12)
          << i << " and " << k << " overlap";
}

TEST(DepotStats, CapabilityOfStoredNorms) {
  // Min 246, Max 255, E 0,1: limits 245,9 and 255,1.
  const auto both = Capability(10, 250, 1.0, NormLimits(246, 255, 0.1));
  EXPECT_NEAR(*both.cp, 9.2 / 6, 1e-9);
  EXPECT_NEAR(*both.cpk, 4.1 / 3, 1e-9);
  const auto lowerOnly = Capability(10, 250, 1.0, NormLimits(246, 1000, 0.1));
  EXPECT_FALSE(lowerOnly.cp);
  EXPECT_NEAR(*lowerOnly.cpk, 4.1 / 3, 1e-9);
  EXPECT_FALSE(Capability(1, 250, std::nullopt, NormLimits(246, 255, 0.1)).cpk);
  EXPECT_FALSE(Capability(10, 250, 1.0, NormLimits(std::nullopt, std::nullopt, 0.1)).cpk);
}

TEST(DepotSessions, RandomTokensThatEnd) {
  Sessions s(3600);
  const QByteArray a = s.Open("ivanov"), b = s.Open("ivanov");
  EXPECT_EQ(a.size(), 64);
  EXPECT_NE(a, b);
  EXPECT_EQ(s.User(a).value_or(""), "ivanov");
  s.Close(a);
  EXPECT_FALSE(s.User(a));
  EXPECT_FALSE(s.User(QByteArray(64, '0')));
  Sessions expired(0);
  const QByteArray c = expired.Open("petrov");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_FALSE(expired.User(c));
  EXPECT_EQ(CookieValue("a=1; kalvor_session=xyz; b=2", "kalvor_session"), "xyz");
  EXPECT_EQ(CookieValue("kalvor_sessionx=1", "kalvor_session"), "");
}

TEST(DepotVisitors, FormulasStayTextNextStaysHomeAndFailuresAreCounted) {
  // One field writer for the page's CSVs and springdata's export.
  for (const char* formula : {"=1+2", "=HYPERLINK(\"x\",\"y\")", "@SUM(1)", "+A1", "-2+3", "\tx", "\rx", "-"})
    EXPECT_EQ(quality::CsvField(formula).replace('"', "").left(2), QByteArray("'") + formula[0]) << formula;
  for (const char* plain : {"-1,5", "+7", "-2.5e-3", "12", "a=b", ""}) EXPECT_EQ(quality::CsvField(plain), plain);
  std::string row;
  quality::AppendCsvField(row, QStringLiteral("=1+2;3"));  // narrowed in place, then quoted
  EXPECT_EQ(row, "\"'=1+2;3\"");

  EXPECT_EQ(SafeNext("/search?wagon=1"), "/search?wagon=1");
  for (const char* evil : {"/\t/evil.example", "/\n", "//evil.example", "/\\evil", "http://x", "/a b", "/\x7f"})
    EXPECT_EQ(SafeNext(evil), "/") << evil;

  SignInLimit limit(5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(limit.Wait("10.0.0.1", "ivanov"), 0);
    limit.Failed("10.0.0.1", "ivanov");
  }
  EXPECT_GT(limit.Wait("10.0.0.1", "petrov"), 55);  // the address
  EXPECT_GT(limit.Wait("10.0.0.2", "IVANOV"), 55);  // the name
  EXPECT_EQ(limit.Wait("10.0.0.2", "petrov"), 0);
}
