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
QByteArray ControlChartSvg(const QString& title, const std::vector<QString>& labels,
                           const std::vector<ChartPoint>& points, const std::vector<bool>& baseline);

struct Marker {
  double at;
  QString label;
  enum Style { Norm, Tolerance, Group } style;
};
// Bars of equal width from `lower` to `upper`, with vertical markers.
QByteArray HistogramSvg(const QString& title, double lower, double upper,
                        const std::vector<long long>& counts, const std::vector<Marker>& markers);

// Cp and Cpk per week with the reference lines 1,0 and 1,33.
QByteArray TrendSvg(const QString& title, const std::vector<QString>& labels,
                    const std::vector<std::optional<double>>& cp,
                    const std::vector<std::optional<double>>& cpk);

}  // namespace depot
