#include "stats.h"

#include <cmath>

namespace depot {

double C4(long long n) {
  if (n < 2) return 0;
  const double k = static_cast<double>(n);
  return std::sqrt(2.0 / (k - 1)) * std::exp(std::lgamma(k / 2) - std::lgamma((k - 1) / 2));
}

Baseline EstimateBaseline(const std::vector<Subgroup>& baseline) {
  Baseline b;
  double sigmas = 0;
  std::vector<quality::Moments> parts;
  for (const Subgroup& g : baseline) {
    if (g.n <= 0) continue;
    parts.push_back(quality::Moments::OfSummary(g.n, g.mean, g.sd));
    if (g.n >= 2 && g.sd) {
      sigmas += *g.sd / C4(g.n);
      ++b.subgroups;
    }
  }
  if (parts.empty() || b.subgroups == 0) return b;
  b.centre = quality::Pool(parts).mean;
  b.sigma = sigmas / b.subgroups;
  b.valid = b.sigma > 0;
  return b;
}

std::vector<std::vector<int>> WesternElectric(const std::vector<std::optional<double>>& z) {
  std::vector<std::vector<int>> out(z.size());
  std::vector<size_t> at;  // indices of the points that have a value
  for (size_t i = 0; i < z.size(); ++i)
    if (z[i]) at.push_back(i);
  auto side = [&](size_t k) { return *z[at[k]] > 0 ? 1 : (*z[at[k]] < 0 ? -1 : 0); };
  // Of the last `window` points ending at k, how many lie beyond `zone` on
  // the side of point k (which must itself be beyond it).
  auto beyond = [&](size_t k, size_t window, double zone) {
    const double v = *z[at[k]];
    if (std::fabs(v) <= zone) return false;
    const int s = side(k);
    size_t count = 0;
    for (size_t j = k + 1 - std::min(window, k + 1); j <= k; ++j)
      if (side(j) == s && std::fabs(*z[at[j]]) > zone) ++count;
    return count >= (window == 3 ? 2u : 4u);
  };
  for (size_t k = 0; k < at.size(); ++k) {
    std::vector<int>& r = out[at[k]];
    if (std::fabs(*z[at[k]]) > 3) r.push_back(1);
    if (k >= 1 && beyond(k, 3, 2)) r.push_back(2);
    if (k >= 3 && beyond(k, 5, 1)) r.push_back(3);
    if (k >= 7 && side(k) != 0) {
      bool run = true;
      for (size_t j = k - 7; j < k && run; ++j) run = side(j) == side(k);
      if (run) r.push_back(4);
    }
  }
  return out;
}

namespace {
void MarkRules(std::vector<ChartPoint>& points, const std::vector<std::optional<double>>& z) {
  const auto rules = WesternElectric(z);
  for (size_t i = 0; i < points.size(); ++i) points[i].rules = rules[i];
}
}  // namespace

std::vector<ChartPoint> MeanChart(const std::vector<Subgroup>& groups, const Baseline& b) {
  std::vector<ChartPoint> points(groups.size());
  std::vector<std::optional<double>> z(groups.size());
  for (size_t i = 0; i < groups.size(); ++i) {
    const Subgroup& g = groups[i];
    ChartPoint& p = points[i];
    if (g.n <= 0) continue;
    p.value = g.mean;
    if (!b.valid) continue;
    const double s = b.sigma / std::sqrt(static_cast<double>(g.n));
    p.centre = b.centre;
    p.lower = b.centre - 3 * s;
    p.upper = b.centre + 3 * s;
    z[i] = (g.mean - b.centre) / s;
  }
  if (b.valid) MarkRules(points, z);
  return points;
}

std::vector<ChartPoint> SdChart(const std::vector<Subgroup>& groups, const Baseline& b) {
  std::vector<ChartPoint> points(groups.size());
  std::vector<std::optional<double>> z(groups.size());
  for (size_t i = 0; i < groups.size(); ++i) {
    const Subgroup& g = groups[i];
    ChartPoint& p = points[i];
    if (g.n < 2 || !g.sd) continue;
    p.value = *g.sd;
    if (!b.valid) continue;
    const double c4 = C4(g.n);
    const double s = b.sigma * std::sqrt(std::max(0.0, 1 - c4 * c4));
    p.centre = c4 * b.sigma;
    p.lower = std::max(0.0, p.centre - 3 * s);
    p.upper = p.centre + 3 * s;
    if (s > 0) z[i] = (*g.sd - p.centre) / s;
  }
  if (b.valid) MarkRules(points, z);
  return points;
}

quality::Limits NormLimits(std::optional<double> min, std::optional<double> max,
                           std::optional<double> tolerance) {
  return quality::JudgementLimits(min, max, tolerance.value_or(0));
}

quality::Indices Capability(long long n, double mean, std::optional<double> sd,
                            const quality::Limits& limits) {
  return quality::CapabilityIndices(quality::Moments::OfSummary(n, mean, sd), limits);
}

}  // namespace depot
