#include "server/charts.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace depot {

namespace {
constexpr double kW = 960, kH = 280, kLeft = 70, kRight = 20, kTop = 30, kBottom = 50;

QByteArray F(double v) { return QByteArray::number(v, 'f', 1); }

struct Scale {
  double lo, hi;
  double h = kH;  // the picture's height
  double Y(double v) const { return kTop + (hi - v) / (hi - lo) * (h - kTop - kBottom); }
};

Scale MakeScale(double lo, double hi, double h = kH) {
  if (!(hi > lo)) {
    lo -= 1;
    hi += 1;
  }
  const double pad = (hi - lo) * 0.08;
  return {lo - pad, hi + pad, h};
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

QByteArray XLabels(const std::vector<QString>& labels, double x0, double step, double h = kH) {
  QByteArray out;
  const size_t every = std::max<size_t>(1, labels.size() / 12 + 1);
  for (size_t i = 0; i < labels.size(); i += every)
    out += "<text x=\"" + F(x0 + step * i) + "\" y=\"" + F(h - kBottom + 16) +
           "\" text-anchor=\"middle\" font-size=\"10\">" + Esc(labels[i]) + "</text>";
  return out;
}

// Where the rule numbers of the violating points go: above the point, or on
// a row higher (then below it) where the label would cover one already
// placed, so that a long run of violations stays readable.
class RuleLabels {
 public:
  explicit RuleLabels(double height) : bottom_(height - kBottom) {}
  // The baseline of a label of `chars` characters for the point (x, y).
  double Place(double x, double y, qsizetype chars) {
    const double half = 3.6 * chars + 2;  // bold 12 px digits and commas
    for (int side : {-1, 1})
      for (int row = 0; row < 4; ++row) {
        const double base = side < 0 ? y - 8 - kRow * row : y + 17 + kRow * row;
        if (base - kRow < kTop - 8 || base > bottom_) continue;
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
  double bottom_;
};

QByteArray Polyline(const std::vector<std::pair<double, double>>& pts, const QByteArray& style) {
  if (pts.empty()) return {};
  QByteArray out = "<polyline fill=\"none\" " + style + " points=\"";
  for (const auto& [x, y] : pts) out += F(x) + ',' + F(y) + ' ';
  return out + "\"/>";
}
}  // namespace

QByteArray ControlChartSvg(const QString& title, const std::vector<QString>& labels,
                           const std::vector<ChartPoint>& points, const std::vector<bool>& baseline,
                           const ChartOptions& options) {
  const double h = options.height;
  QByteArray out = Open(title, h);
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
  if (options.scale) std::tie(lo, hi) = *options.scale;
  const Scale s = MakeScale(lo, hi, h);
  const double step = points.size() > 1 ? (kW - kLeft - kRight - 20) / (points.size() - 1) : 0;
  const double x0 = kLeft + 10;
  out += YAxis(s, hi - lo < 1 ? 3 : 2);
  if (options.marked >= 0 && options.marked < static_cast<int>(points.size()))
    out += "<rect class=\"marked\" x=\"" + F(x0 + step * options.marked - std::max(step, 8.0) / 2) + "\" y=\"" +
           F(kTop) + "\" width=\"" + F(std::max(step, 8.0)) + "\" height=\"" + F(h - kTop - kBottom) +
           "\" fill=\"#fe8\"/>";
  for (size_t i = 0; i < points.size() && i < baseline.size(); ++i)
    if (baseline[i])
      out += "<rect class=\"baseline\" x=\"" + F(x0 + step * i - step / 2) + "\" y=\"" + F(kTop) +
             "\" width=\"" + F(std::max(step, 4.0)) + "\" height=\"" + F(h - kTop - kBottom) +
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
  RuleLabels ruleLabels(h);
  for (size_t i = 0; i < points.size(); ++i) {
    const ChartPoint& p = points[i];
    if (!p.value) continue;
    const double x = x0 + step * i, y = s.Y(*p.value);
    const bool bad = !p.rules.empty();
    QString rules;
    for (int r : p.rules) rules += (rules.isEmpty() ? "" : ",") + QString::number(r);
    const QString tip = (i < labels.size() ? labels[i] : QString()) + ": " + Num(*p.value, 3) +
                        (bad ? QStringLiteral(", правило ") + rules : QString());
    const bool linked = i < options.links.size() && !options.links[i].isEmpty();
    if (linked) out += "<a href=\"" + Esc(options.links[i]) + "\">";
    out += "<circle cx=\"" + F(x) + "\" cy=\"" + F(y) + "\" r=\"" + (bad ? "4.5" : "3") +
           "\" fill=\"" + (bad ? "#d00" : "#246") + "\"" +
           (bad ? " class=\"violation\" data-rules=\"" + rules.toUtf8() + "\"" : QByteArray()) +
           "><title>" + Esc(tip) + "</title></circle>";
    if (linked) out += "</a>";
    if (bad) {
      const double ly = ruleLabels.Place(x, y, rules.size());
      out += "<text class=\"rule\" x=\"" + F(x) + "\" y=\"" + F(ly) +
             "\" text-anchor=\"middle\" fill=\"#d00\" font-weight=\"bold\">" + Esc(rules) + "</text>";
    }
  }
  out += XLabels(labels, x0, step, h);
  return out + "</svg>";
}

QByteArray HistogramSvg(const QString& title, double lower, double upper,
                        const std::vector<long long>& counts, const std::vector<Marker>& markers,
                        const std::optional<Fit>& fit) {
  const double h = kH + 20;
  QByteArray out = Open(title, h);
  const long long highest = counts.empty() ? 0 : *std::max_element(counts.begin(), counts.end());
  if (highest == 0 || !(upper > lower))
    return out + "<text x=\"" + F(kLeft) + "\" y=\"80\">Нет данных</text></svg>";
  const double plotW = kW - kLeft - kRight, plotH = kH - kTop - kBottom;
  auto X = [&](double v) { return kLeft + (v - lower) / (upper - lower) * plotW; };
  const double bw = plotW / counts.size();
  // The normal curve of the fit: the count a bin of this width would hold.
  const bool curve = fit && fit->sd && *fit->sd > 0;
  const double binWidth = (upper - lower) / counts.size();
  auto expected = [&](double v) {
    const double z = (v - fit->mean) / *fit->sd;
    return fit->n * binWidth * std::exp(-z * z / 2) / (*fit->sd * std::sqrt(2 * M_PI));
  };
  double most = highest;
  if (curve) most = std::max(most, expected(std::clamp(fit->mean, lower, upper)));
  for (size_t i = 0; i < counts.size(); ++i) {
    const double bh = plotH * counts[i] / most;
    out += "<rect x=\"" + F(kLeft + bw * i) + "\" y=\"" + F(kTop + plotH - bh) + "\" width=\"" +
           F(std::max(bw - 1, 1.0)) + "\" height=\"" + F(bh) + "\" fill=\"#68a\"><title>" +
           QByteArray::number(counts[i]) + "</title></rect>";
  }
  out += "<text x=\"" + F(kLeft - 6) + "\" y=\"" + F(kTop + 4) + "\" text-anchor=\"end\">" +
         QByteArray::number(std::llround(most)) + "</text>";
  if (curve) {
    std::vector<std::pair<double, double>> pts;
    for (int k = 0; k <= 200; ++k) {
      const double v = lower + (upper - lower) * k / 200;
      pts.push_back({X(v), kTop + plotH - plotH * expected(v) / most});
    }
    out += "<g class=\"normal\">" + Polyline(pts, "stroke=\"#c60\" stroke-width=\"2\"") + "</g>";
  }
  if (fit)
    out += "<text class=\"fit\" data-n=\"" + QByteArray::number(fit->n) + "\" data-mean=\"" +
           QByteArray::number(fit->mean, 'g', 15) + "\" data-sd=\"" +
           (fit->sd ? QByteArray::number(*fit->sd, 'g', 15) : QByteArray()) + "\" x=\"" + F(kW - kRight) +
           "\" y=\"18\" text-anchor=\"end\">" +
           Esc(QStringLiteral("n = %1   среднее %2   s %3   Cp %4   Cpk %5")
                   .arg(fit->n)
                   .arg(Num(fit->mean, 3), Opt(fit->sd, 3), Opt(fit->cp, 2), Opt(fit->cpk, 2))) +
           "</text>";
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

QByteArray SeriesSvg(const QString& title, const std::vector<QString>& labels, const std::vector<Series>& series,
                     const std::vector<double>& references, int decimals) {
  QByteArray out = Open(title);
  double lo = INFINITY, hi = -INFINITY;
  for (double ref : references) {
    lo = std::min(lo, ref);
    hi = std::max(hi, ref);
  }
  for (const Series& one : series)
    for (const auto& v : one.values)
      if (v) {
        lo = std::min(lo, *v);
        hi = std::max(hi, *v);
      }
  if (!std::isfinite(lo)) return out + "<text x=\"" + F(kLeft) + "\" y=\"80\">Нет данных</text></svg>";
  // Shares and indices start at 0.
  Scale s = MakeScale(std::min(lo, 0.0), std::max(hi, lo + 1));
  if (lo >= 0) s.lo = 0;
  const double step = labels.size() > 1 ? (kW - kLeft - kRight - 20) / (labels.size() - 1) : 0;
  const double x0 = kLeft + 10;
  out += YAxis(s, decimals);
  for (double ref : references)
    out += "<line x1=\"" + F(kLeft) + "\" x2=\"" + F(kW - kRight) + "\" y1=\"" + F(s.Y(ref)) +
           "\" y2=\"" + F(s.Y(ref)) + "\" stroke=\"#d33\" stroke-dasharray=\"4 3\"/>";
  double legend = kW - kRight - 60.0 * series.size();
  for (const Series& one : series) {
    std::vector<std::pair<double, double>> pts;
    QByteArray dots;
    for (size_t i = 0; i < one.values.size() && i < labels.size(); ++i)
      if (one.values[i]) {
        pts.push_back({x0 + step * i, s.Y(*one.values[i])});
        dots += "<circle cx=\"" + F(x0 + step * i) + "\" cy=\"" + F(s.Y(*one.values[i])) + "\" r=\"3\" fill=\"" +
                one.colour + "\"><title>" + Esc(one.name + " " + labels[i] + ": " + Num(*one.values[i], decimals)) +
                "</title></circle>";
      }
    out += Polyline(pts, "stroke=\"" + one.colour + "\" stroke-width=\"1.5\"") + dots;
    out += "<text x=\"" + F(legend) + "\" y=\"18\" fill=\"" + one.colour + "\">" + Esc(one.name) + "</text>";
    legend += 60;
  }
  out += XLabels(labels, x0, step);
  return out + "</svg>";
}

QByteArray TrendSvg(const QString& title, const std::vector<QString>& labels,
                    const std::vector<std::optional<double>>& cp,
                    const std::vector<std::optional<double>>& cpk) {
  return SeriesSvg(title, labels, {{"Cp", "#2a7", cp}, {"Cpk", "#246", cpk}}, {1.0, 1.33}, 2);
}

QByteArray ParetoSvg(const QString& title, const std::vector<QString>& names, const std::vector<long long>& counts) {
  QByteArray out = Open(title);
  long long sum = 0, most = 0;
  for (long long c : counts) sum += c, most = std::max(most, c);
  if (sum == 0) return out + "<text x=\"" + F(kLeft) + "\" y=\"80\">Брака нет</text></svg>";
  const double bw = (kW - kLeft - kRight - 40) / counts.size();
  const Scale pct = MakeScale(0, 100);
  for (int k = 0; k <= 100; k += 25)
    out += "<line x1=\"" + F(kLeft) + "\" x2=\"" + F(kW - kRight) + "\" y1=\"" + F(pct.Y(k)) + "\" y2=\"" +
           F(pct.Y(k)) + "\" stroke=\"#eee\"/><text x=\"" + F(kLeft - 6) + "\" y=\"" + F(pct.Y(k) + 4) +
           "\" text-anchor=\"end\">" + QByteArray::number(k) + " %</text>";
  std::vector<std::pair<double, double>> cumulative;
  long long running = 0;
  for (size_t i = 0; i < counts.size(); ++i) {
    const double x = kLeft + bw * i, bh = (pct.Y(0) - pct.Y(100)) * counts[i] / most;
    running += counts[i];
    out += "<rect class=\"bar\" x=\"" + F(x + 4) + "\" y=\"" + F(pct.Y(0) - bh) + "\" width=\"" + F(bw - 8) +
           "\" height=\"" + F(bh) + "\" fill=\"#68a\"/><text x=\"" + F(x + bw / 2) + "\" y=\"" +
           F(pct.Y(0) - bh - 4) + "\" text-anchor=\"middle\">" + QByteArray::number(counts[i]) + "</text><text x=\"" +
           F(x + bw / 2) + "\" y=\"" + F(kH - kBottom + 16) + "\" text-anchor=\"middle\" font-size=\"11\">" +
           Esc(names[i]) + "</text>";
    cumulative.push_back({x + bw / 2, pct.Y(100.0 * running / sum)});
  }
  out += Polyline(cumulative, "stroke=\"#c60\" stroke-width=\"2\"");
  for (const auto& [x, y] : cumulative)
    out += "<circle cx=\"" + F(x) + "\" cy=\"" + F(y) + "\" r=\"3\" fill=\"#c60\"/>";
  return out + "<text x=\"" + F(kW - kRight) + "\" y=\"18\" text-anchor=\"end\" fill=\"#c60\">накопленная доля, %</text></svg>";
}

const char* SeriesColour(size_t i) {
  static const char* const kColours[] = {"#246", "#2a7", "#c60", "#a3c", "#d33", "#088", "#777"};
  return kColours[i % (sizeof kColours / sizeof *kColours)];
}

}  // namespace depot
