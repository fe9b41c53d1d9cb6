// The depot page's SVG charts read back: where the normal curve peaks, where
// the Pareto's cumulative line ends, which point leads where.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "server/charts.h"

using namespace depot;

namespace {

// The points of the first polyline after `after` in `svg`.
std::vector<std::pair<double, double>> Points(const QByteArray& svg, const char* after) {
  const QString text = QString::fromUtf8(svg.mid(svg.indexOf(after)));
  const QRegularExpressionMatch m = QRegularExpression("points=\"([^\"]*)\"").match(text);
  std::vector<std::pair<double, double>> out;
  for (const QString& p : m.captured(1).split(' ', Qt::SkipEmptyParts))
    out.push_back({p.section(',', 0, 0).toDouble(), p.section(',', 1, 1).toDouble()});
  return out;
}

TEST(DepotCharts, HistogramFitParetoAndLinks) {
  // Bins 0..10, the curve of mean 4 peaks over 4 (x = 70 + 0,4 · 870).
  const QByteArray hist = HistogramSvg("h", 0, 10, std::vector<long long>(10, 3), {}, Fit{30, 4.0, 1.5, 1.1, 0.9});
  const auto curve = Points(hist, "class=\"normal\"");
  ASSERT_EQ(curve.size(), 201u);
  const auto peak = std::min_element(curve.begin(), curve.end(), [](auto a, auto b) { return a.second < b.second; });
  EXPECT_NEAR(peak->first, 70 + 0.4 * 870, 0.1);
  EXPECT_TRUE(hist.contains("n = 30   среднее 4,000   s 1,500   Cp 1,10   Cpk 0,90"));
  EXPECT_FALSE(HistogramSvg("h", 0, 10, {1, 2}, {}, Fit{3, 1.0, std::nullopt, {}, {}}).contains("class=\"normal\""));

  // The Pareto's cumulative line climbs to 100 % (y of 100 on its scale)
  // through 60 % after the first bar.
  const QByteArray pareto = ParetoSvg("p", {"a", "b", "c"}, {6, 3, 1});
  const auto cumulative = Points(pareto, "<polyline");
  ASSERT_EQ(cumulative.size(), 3u);
  const double y0 = 30 + 108 / 116.0 * 200, y100 = 30 + 8 / 116.0 * 200;  // 0 and 100 % with the scale's padding
  EXPECT_NEAR(cumulative[0].second, y0 + (y100 - y0) * 0.6, 0.1);
  EXPECT_NEAR(cumulative[2].second, y100, 0.1);

  // Each point of a control chart leads to its link; the marked one stands out.
  std::vector<ChartPoint> points(3);
  for (int i = 0; i < 3; ++i) points[i].value = i;
  ChartOptions options;
  options.links = {"/a", "", "/c?x=1&y=2"};
  options.marked = 1;
  const QByteArray chart = ControlChartSvg("c", {"01.12", "02.12", "03.12"}, points, {}, options);
  EXPECT_EQ(chart.count("<a href="), 2);
  EXPECT_TRUE(chart.contains("<a href=\"/c?x=1&amp;y=2\"><circle"));
  EXPECT_EQ(chart.count("class=\"marked\""), 1);

  // Shares that are all 0 are drawn from 0, not below it.
  EXPECT_FALSE(SeriesSvg("s", {"a", "b"}, {{"l1", "#000", {0.0, 0.0}}}, {}, 1).contains(">-"));
}

}  // namespace
