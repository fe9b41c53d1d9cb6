#pragma once
// Charts drawn on the server as SVG, so the page needs nothing from outside.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "server/stats.h"
#include "server/views.h"

namespace depot {

// A control chart: points joined by a line, centre and limits per point,
// the baseline's points on a shaded band, each violating point red with the
// numbers of the rules it breaks beside it (above, or staggered where labels
// of neighbouring points would cover each other).
// Optional: `links` per point (each point leads there), the point `marked`
// drawn out on a band, a fixed value scale shared by several charts, and
// the picture's height.
struct ChartOptions {
  std::vector<QByteArray> links;
  int marked = -1;
  std::optional<std::pair<double, double>> scale;
  double height = 280;
};
QByteArray ControlChartSvg(const QString& title, const std::vector<QString>& labels,
                           const std::vector<ChartPoint>& points, const std::vector<bool>& baseline,
                           const ChartOptions& options = {});

struct Marker {
  double at;
  QString label;
  enum Style { Norm, Tolerance, Group } style;
};
// Bars of equal width from `lower` to `upper`, with vertical markers.
// The values' fit: written on the histogram, its normal curve drawn over the bars.
struct Fit {
  long long n = 0;
  double mean = 0;
  std::optional<double> sd, cp, cpk;
};
QByteArray HistogramSvg(const QString& title, double lower, double upper,
                        const std::vector<long long>& counts, const std::vector<Marker>& markers,
                        const std::optional<Fit>& fit = std::nullopt);

// Lines of values over labels (weeks, months), each series in its colour with
// its name in the legend, dashed reference lines across.
struct Series {
  QString name;
  QByteArray colour;
  std::vector<std::optional<double>> values;
};
QByteArray SeriesSvg(const QString& title, const std::vector<QString>& labels, const std::vector<Series>& series,
                     const std::vector<double>& references, int decimals);
// The colour of the i-th series of a chart.
const char* SeriesColour(size_t i);

// A Pareto chart: bars in the order given (most first) with the cumulative
// share of their sum as a line on a 0..100 % scale.
QByteArray ParetoSvg(const QString& title, const std::vector<QString>& names, const std::vector<long long>& counts);

// Cp and Cpk per week or month with the reference lines 1,0 and 1,33.
QByteArray TrendSvg(const QString& title, const std::vector<QString>& labels,
                    const std::vector<std::optional<double>>& cp,
                    const std::vector<std::optional<double>>& cpk);

}  // namespace depot
