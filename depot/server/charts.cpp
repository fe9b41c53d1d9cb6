#include "server/charts.h"

#include <algorithm>
#include <cmath>

namespace depot {

namespace {
constexpr double kW = 960, kH = 280, kLeft = 70, kRight = 20, kTop = 30, kBottom = 50;

QByteArray F(double v) { return QByteArray::number(v, 'f', 1); }

struct Scale {
  double lo, hi;
  double Y(double v) const { return kTop + (hi - v) / (hi - lo) * (kH - kTop - kBottom); }
};

Scale MakeScale(double lo, double hi) {
  if (!(hi > lo)) {
    lo -= 1;
    hi += 1;
  }
  const double pad = (hi - lo) * 0.08;
  return {lo - pad, hi + pad};
}

QByteArray Open(const QString& title, double height = kH) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" width=\"" + F(kW) +
         "\" height=\"" + F(height) + "\" viewBox=\"0 0 " + F(kW) + ' ' + F(height) +
         "\" font-family=\"sans-serif\" font-size=\"12\">"
         "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/><text x=\"" + F(kLeft) +
         "\" y=\"18\" font-size=\"14\" font-weight=\"bold\">" + Esc(title) + "</text>";
}

QByteArray YAxis(const Scale& s, int decimals) {
  QByteArray out;
  for (int k = 0; k <= 4; ++k) {
    const double v = s.lo + (s.hi - s.lo) * k / 4;
    const double y = s.Y(v);
    out += "<line x1=\"" + F(kLeft) + "\" x2=\"" + F(kW - kRight) + "\" y1=\"" + F(y) +
           "\" y2=\"" + F(y) + "\" stroke=\"#eee\"/><text x=\"" + F(kLeft - 6) + "\" y=\"" +
           F(y + 4) + "\" text-anchor=\"end\">" + Esc(Num(v, decimals)) + "</text>";
  }
  return out;
}

QByteArray XLabels(const std::vector<QString>& labels, double x0, double step) {
  QByteArray out;
  const size_t every = std::max<size_t>(1, labels.size() / 12 + 1);
  for (size_t i = 0; i < labels.size(); i += every)
    out += "<text x=\"" + F(x0 + step * i) + "\" y=\"" + F(kH - kBottom + 16) +
           "\" text-anchor=\"middle\" font-size=\"10\">" + Esc(labels[i]) + "</text>";
  return out;
}

// Where the rule numbers of the violating points go: above the point, or on
// a row higher (then below it) where the label would cover one already
// placed, so that a long run of violations stays readable.
class RuleLabels {
 public:
  // The baseline of a label of `chars` characters for the point (x, y).
  double Place(double x, double y, qsizetype chars) {
    const double half = 3.6 * chars + 2;  // bold 12 px digits and commas
    for (int side : {-1, 1})
      for (int row = 0; row < 4; ++row) {
        const double base = side < 0 ? y - 8 - kRow * row : y + 17 + kRow * row;
        if (base - kRow < kTop - 8 || base > kH - kBottom) continue;
        if (Free(x - half, x + half, base)) return Take(x - half, x + half, base);
      }
    return Take(x - half, x + half, y - 8);  // no room: where it always went
  }

 private:
  static constexpr double kRow = 12;
  struct Box {
    double left, right, base;
  };
  bool Free(double left, double right, double base) const {
    for (const Box& b : placed_)
      if (left < b.right && b.left < right && base - kRow < b.base && b.base - kRow < base) return false;
    return true;
  }
  double Take(double left, double right, double base) {
    placed_.push_back({left, right, base});
    return base;
  }
  std::vector<Box> placed_;
};

QByteArray Polyline(const std::vector<std::pair<double, double>>& pts, const char* style) {
  if (pts.empty()) return {};
  QByteArray out = "<polyline fill=\"none\" " + QByteArray(style) + " points=\"";
  for (const auto& [x, y] : pts) out += F(x) + ',' + F(y) + ' ';
  return out + "\"/>";
}
}  // namespace

QByteArray ControlChartSvg(const QString& title, const std::vector<QString>& labels,
                           const std::vector<ChartPoint>& points, const std::vector<bool>& baseline) {
  QByteArray out = Open(title);
  double lo = INFINITY, hi = -INFINITY;
  bool limits = false;
  for (const ChartPoint& p : points) {
    if (p.value) {
      lo = std::min(lo, *p.value);
      hi = std::max(hi, *p.value);
    }
    if (p.upper > p.lower) {
      limits = true;
      lo = std::min(lo, p.lower);
      hi = std::max(hi, p.upper);
    }
  }
  if (!std::isfinite(lo)) return out + "<text x=\"" + F(kLeft) + "\" y=\"80\">Нет данных</text></svg>";
  const Scale s = MakeScale(lo, hi);
  const double step = points.size() > 1 ? (kW - kLeft - kRight - 20) / (points.size() - 1) : 0;
  const double x0 = kLeft + 10;
  out += YAxis(s, hi - lo < 1 ? 3 : 2);
  for (size_t i = 0; i < points.size() && i < baseline.size(); ++i)
    if (baseline[i])
      out += "<rect class=\"baseline\" x=\"" + F(x0 + step * i - step / 2) + "\" y=\"" + F(kTop) +
             "\" width=\"" + F(std::max(step, 4.0)) + "\" height=\"" + F(kH - kTop - kBottom) +
             "\" fill=\"#e8f0ff\"/>";
  if (limits) {
    std::vector<std::pair<double, double>> c, l, u;
    for (size_t i = 0; i < points.size(); ++i) {
      if (!(points[i].upper > points[i].lower)) continue;
      c.push_back({x0 + step * i, s.Y(points[i].centre)});
      l.push_back({x0 + step * i, s.Y(points[i].lower)});
      u.push_back({x0 + step * i, s.Y(points[i].upper)});
    }
    out += Polyline(c, "stroke=\"#2a7\" stroke-width=\"1.5\"");
    out += Polyline(l, "stroke=\"#d33\" stroke-dasharray=\"6 3\"");
    out += Polyline(u, "stroke=\"#d33\" stroke-dasharray=\"6 3\"");
  }
  std::vector<std::pair<double, double>> line;
  for (size_t i = 0; i < points.size(); ++i)
    if (points[i].value) line.push_back({x0 + step * i, s.Y(*points[i].value)});
  out += Polyline(line, "stroke=\"#246\" stroke-width=\"1.2\"");
  RuleLabels ruleLabels;
  for (size_t i = 0; i < points.size(); ++i) {
    const ChartPoint& p = points[i];
    if (!p.value) continue;
    const double x = x0 + step * i, y = s.Y(*p.value);
    const bool bad = !p.rules.empty();
    QString rules;
    for (int r : p.rules) rules += (rules.isEmpty() ? "" : ",") + QString::number(r);
    const QString tip = (i < labels.size() ? labels[i] : QString()) + ": " + Num(*p.value, 3) +
                        (bad ? QStringLiteral(", правило ") + rules : QString());
    out += "<circle cx=\"" + F(x) + "\" cy=\"" + F(y) + "\" r=\"" + (bad ? "4.5" : "3") +
           "\" fill=\"" + (bad ? "#d00" : "#246") + "\"" +
           (bad ? " class=\"violation\" data-rules=\"" + rules.toUtf8() + "\"" : QByteArray()) +
           "><title>" + Esc(tip) + "</title></circle>";
    if (bad) {
      const double ly = ruleLabels.Place(x, y, rules.size());
      out += "<text class=\"rule\" x=\"" + F(x) + "\" y=\"" + F(ly) +
             "\" text-anchor=\"middle\" fill=\"#d00\" font-weight=\"bold\">" + Esc(rules) + "</text>";
    }
  }
  out += XLabels(labels, x0, step);
  return out + "</svg>";
}

QByteArray HistogramSvg(const QString& title, double lower, double upper,
                        const std::vector<long long>& counts, const std::vector<Marker>& markers) {
  const double h = kH + 20;
  QByteArray out = Open(title, h);
  const long long most = counts.empty() ? 0 : *std::max_element(counts.begin(), counts.end());
  if (most == 0 || !(upper > lower))
    return out + "<text x=\"" + F(kLeft) + "\" y=\"80\">Нет данных</text></svg>";
  const double plotW = kW - kLeft - kRight, plotH = kH - kTop - kBottom;
  auto X = [&](double v) { return kLeft + (v - lower) / (upper - lower) * plotW; };
  const double bw = plotW / counts.size();
  for (size_t i = 0; i < counts.size(); ++i) {
    const double bh = plotH * counts[i] / most;
    out += "<rect x=\"" + F(kLeft + bw * i) + "\" y=\"" + F(kTop + plotH - bh) + "\" width=\"" +
           F(std::max(bw - 1, 1.0)) + "\" height=\"" + F(bh) + "\" fill=\"#68a\"><title>" +
           QByteArray::number(counts[i]) + "</title></rect>";
  }
  out += "<text x=\"" + F(kLeft - 6) + "\" y=\"" + F(kTop + 4) + "\" text-anchor=\"end\">" +
         QByteArray::number(most) + "</text>";
  for (int k = 0; k <= 5; ++k) {
    const double v = lower + (upper - lower) * k / 5;
    out += "<text x=\"" + F(X(v)) + "\" y=\"" + F(kTop + plotH + 16) +
           "\" text-anchor=\"middle\" font-size=\"10\">" + Esc(Num(v, 2)) + "</text>";
  }
  for (const Marker& m : markers) {
    if (m.at < lower || m.at > upper) continue;
    const char* style = m.style == Marker::Norm        ? "stroke=\"#d33\" stroke-width=\"2\""
                        : m.style == Marker::Tolerance ? "stroke=\"#d33\" stroke-dasharray=\"5 3\""
                                                       : "stroke=\"#999\" stroke-dasharray=\"2 2\"";
    const double y = m.style == Marker::Group ? kTop + plotH + 30 : m.style == Marker::Tolerance ? kTop + 10 : kTop - 2;
    out += "<line x1=\"" + F(X(m.at)) + "\" x2=\"" + F(X(m.at)) + "\" y1=\"" + F(kTop) + "\" y2=\"" +
           F(kTop + plotH + (m.style == Marker::Group ? 20 : 0)) + "\" " + style + "/>";
    out += "<text x=\"" + F(X(m.at) + 2) + "\" y=\"" + F(y) + "\" font-size=\"10\" fill=\"" +
           (m.style == Marker::Group ? "#666" : "#d33") + "\">" + Esc(m.label) + "</text>";
  }
  return out + "</svg>";
}

QByteArray TrendSvg(const QString& title, const std::vector<QString>& labels,
                    const std::vector<std::optional<double>>& cp,
                    const std::vector<std::optional<double>>& cpk) {
  QByteArray out = Open(title);
  double lo = 0, hi = 1.5;
  for (const auto* series : {&cp, &cpk})
    for (const auto& v : *series)
      if (v) {
        lo = std::min(lo, *v);
        hi = std::max(hi, *v);
      }
  const Scale s = MakeScale(lo, hi);
  const double step = labels.size() > 1 ? (kW - kLeft - kRight - 20) / (labels.size() - 1) : 0;
  const double x0 = kLeft + 10;
  out += YAxis(s, 2);
  for (double ref : {1.0, 1.33})
    out += "<line x1=\"" + F(kLeft) + "\" x2=\"" + F(kW - kRight) + "\" y1=\"" + F(s.Y(ref)) +
           "\" y2=\"" + F(s.Y(ref)) + "\" stroke=\"#d33\" stroke-dasharray=\"4 3\"/>";
  auto series = [&](const std::vector<std::optional<double>>& v, const char* colour) {
    std::vector<std::pair<double, double>> pts;
    QByteArray dots;
    for (size_t i = 0; i < v.size(); ++i)
      if (v[i]) {
        pts.push_back({x0 + step * i, s.Y(*v[i])});
        dots += "<circle cx=\"" + F(x0 + step * i) + "\" cy=\"" + F(s.Y(*v[i])) + "\" r=\"3\" fill=\"" +
                colour + "\"><title>" + Esc(labels[i] + ": " + Num(*v[i], 2)) + "</title></circle>";
      }
    return Polyline(pts, (QByteArray("stroke=\"") + colour + "\" stroke-width=\"1.5\"").constData()) + dots;
  };
  out += series(cp, "#2a7") + series(cpk, "#246");
  out += "<text x=\"" + F(kW - 160) + "\" y=\"18\" fill=\"#2a7\">Cp</text><text x=\"" + F(kW - 120) +
         "\" y=\"18\" fill=\"#246\">Cpk</text>";
  out += XLabels(labels, x0, step);
  return out + "</svg>";
}

}  // namespace depot
