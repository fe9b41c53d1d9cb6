#include "capabilityreport.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <cmath>

#include "desktop/desktop.h"
#include "exportwriter.h"
#include "platform/textfile.h"
#include "quality/csv.h"
#include "screen/fonts.h"
#include "sorting/heightgroup.h"
#include "springs/springtypes.h"

namespace springdata {

namespace {

// A page is drawn in tenths of a millimetre of an A4 sheet.
constexpr int kPageW = 2100;
constexpr int kPageH = 2970;
constexpr int kLeft = 100;
constexpr int kRight = 2000;
// A histogram picture alone.
constexpr int kHistW = 900;
constexpr int kHistH = 560;

const QColor kBar(70, 110, 170);
const QColor kLimit(200, 30, 30);
const QColor kMean(20, 140, 60);
const QColor kBandA(235, 240, 250);
const QColor kBandB(250, 245, 225);

QFont Font(int px, bool bold = false) {
  QFont f(PageFontFamily("Arial"));
  f.setPixelSize(px);
  f.setBold(bold);
  return f;
}

QString Num(double v, int decimals) {
  return QString::number(v, 'f', decimals).replace('.', ',');
}
QString Opt(const std::optional<double>& v, int decimals) {
  return v ? Num(*v, decimals) : QStringLiteral("—");
}

const SpringType& TypeOf(const SpringStats& s) { return *FindSpringType(s.bogie, s.spring); }

// The band of height group g in the heights of the bogie type (bogie type 2
// is grouped ten millimetres lower).
std::pair<double, double> GroupBand(int g, int bogie) {
  const double shift = bogie == 2 ? 10.0 : 0.0;
  return {HeightGroupLower(g) + shift, HeightGroupUpper(g) + shift};
}

bool HasGroups(const SpringStats& s) { return s.bogie == 1 || s.bogie == 2; }

void DrawHistogram(QPainter& p, const QRectF& r, const SpringStats& s, int param) {
  const ParameterStats& ps = s.param[param];
  const SpringType& type = TypeOf(s);
  const Limits limits = JudgementLimits(type, param);
  p.save();
  p.setPen(Qt::black);
  p.setFont(Font(26, true));
  p.drawText(QRectF(r.left(), r.top(), r.width(), 36), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("%1. %2").arg(param).arg(type.parameters[param].Name));
  const QRectF plot(r.left() + 80, r.top() + 50, r.width() - 100, r.height() - 110);
  p.setPen(QColor(160, 160, 160));
  p.drawRect(plot);
  const Histogram& h = ps.histogram;
  if (ps.moments.n == 0) {
    p.setFont(Font(26));
    p.setPen(Qt::darkGray);
    p.drawText(plot, Qt::AlignCenter,
               s.fast == s.records && (param == 1 || param == 3 || param == 4)
                   ? QStringLiteral("не измеряется в быстром режиме")
                   : QStringLiteral("нет значений"));
    p.restore();
    return;
  }
  // The x range: the filled bins, the limits and, for the free height, the
  // group bands.
  int first = Histogram::kBins, last = -1;
  qint64 peak = 0;
  for (int k = 0; k < Histogram::kBins; ++k)
    if (h.counts[k]) {
      first = std::min(first, k);
      last = k;
      peak = std::max(peak, h.counts[k]);
    }
  double lo = h.origin + first * h.width, hi = h.origin + (last + 1) * h.width;
  if (limits.lower) lo = std::min(lo, *limits.lower), hi = std::max(hi, *limits.lower);
  if (limits.upper) lo = std::min(lo, *limits.upper), hi = std::max(hi, *limits.upper);
  const bool groups = param == 2 && HasGroups(s);
  if (groups) {
    lo = std::min(lo, GroupBand(1, s.bogie).first);
    hi = std::max(hi, GroupBand(9, s.bogie).second);
  }
  const double pad = (hi - lo) * 0.04 + 1e-9;
  lo -= pad;
  hi += pad;
  auto X = [&](double v) { return plot.left() + (v - lo) / (hi - lo) * plot.width(); };
  auto Y = [&](double c) { return plot.bottom() - c / static_cast<double>(peak) * plot.height() * 0.9; };

  if (groups) {
    p.setFont(Font(20));
    for (int g = 1; g <= 9; ++g) {
      const auto [a, b] = GroupBand(g, s.bogie);
      const QRectF band(QPointF(X(a), plot.top()), QPointF(X(b), plot.bottom()));
      p.fillRect(band, g % 2 ? kBandA : kBandB);
      p.setPen(Qt::darkGray);
      p.drawText(QRectF(band.left(), plot.top(), band.width(), 28), Qt::AlignCenter,
                 QString::number(g));
    }
  }
  p.setPen(Qt::NoPen);
  p.setBrush(kBar);
  for (int k = first; k <= last; ++k) {
    if (!h.counts[k]) continue;
    const double a = h.origin + k * h.width;
    p.drawRect(QRectF(QPointF(X(a), Y(h.counts[k])), QPointF(X(a + h.width), plot.bottom())));
  }
  p.setBrush(Qt::NoBrush);
  // The limits and the mean.
  p.setFont(Font(20, true));
  // The mean's label sits low, clear of the limits' and the groups' labels.
  auto vline = [&](double v, const QColor& c, const QString& label, Qt::PenStyle style, double y) {
    p.setPen(QPen(c, 4, style));
    p.drawLine(QPointF(X(v), plot.top()), QPointF(X(v), plot.bottom()));
    p.fillRect(QRectF(X(v) - 22, y, 44, 26), Qt::white);
    p.drawText(QRectF(X(v) - 60, y, 120, 26), Qt::AlignCenter, label);
  };
  if (limits.lower) vline(*limits.lower, kLimit, QStringLiteral("НГ"), Qt::SolidLine, plot.top() + 30);
  if (limits.upper) vline(*limits.upper, kLimit, QStringLiteral("ВГ"), Qt::SolidLine, plot.top() + 30);
  vline(ps.moments.mean, kMean, QStringLiteral("μ"), Qt::DashLine, plot.top() + 60);
  // Axes' labels.
  p.setPen(Qt::black);
  p.setFont(Font(20));
  for (int i = 0; i <= 4; ++i) {
    const double v = lo + (hi - lo) * i / 4;
    p.drawText(QRectF(X(v) - 80, plot.bottom() + 4, 160, 26), Qt::AlignCenter, Num(v, 2));
  }
  p.drawText(QRectF(r.left(), Y(peak) - 13, 74, 26), Qt::AlignRight | Qt::AlignVCenter,
             QString::number(peak));
  p.drawText(QRectF(r.left(), plot.bottom() - 13, 74, 26), Qt::AlignRight | Qt::AlignVCenter,
             QStringLiteral("0"));
  p.drawText(QRectF(plot.left(), plot.bottom() + 30, plot.width(), 26), Qt::AlignCenter,
             QStringLiteral("n = %1, шаг %2").arg(ps.moments.n).arg(Num(h.width, 3)));
  p.restore();
}

QString TypeTitle(const SpringStats& s) {
  const SpringType& t = TypeOf(s);
  return QStringLiteral("Тележка %1, пружина %2 (%3)")
      .arg(FindBogieType(s.bogie)->Name, t.AltName, t.Name);
}

void DrawPage(QPainter& p, const SpringStats& s, const ReportInfo& info) {
  p.fillRect(QRect(0, 0, kPageW, kPageH), Qt::white);
  p.setPen(Qt::black);
  p.setFont(Font(44, true));
  p.drawText(QRect(kLeft, 80, kRight - kLeft, 60), Qt::AlignLeft | Qt::AlignVCenter,
             TypeTitle(s));
  p.setFont(Font(26));
  const double goodShare = s.records ? 100.0 * s.good / s.records : 0.0;
  p.drawText(QRect(kLeft, 150, kRight - kLeft, 34), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Замеров: %1 (быстрых: %2), годных: %3 (%4 %). Файлы: %5.%6")
                 .arg(s.records)
                 .arg(s.fast)
                 .arg(s.good)
                 .arg(Num(goodShare, 1))
                 .arg(info.sources)
                 .arg(info.range.isEmpty() ? QString() : QStringLiteral(" Отбор: ") + info.range));

  // The table.
  const int cols[] = {kLeft, 570, 690, 860, 1010, 1160, 1310, 1460, 1610, 1760, 1880, kRight};
  const QStringList heads = {QStringLiteral("Параметр"), "n",   QStringLiteral("Среднее"),
                             QStringLiteral("σ"),        QStringLiteral("Мин."),
                             QStringLiteral("Макс."),    QStringLiteral("В норме"),
                             QStringLiteral("НГ"),       QStringLiteral("ВГ"),
                             "Cp",                       "Cpk"};
  int y = 210;
  const int rowH = 46;
  p.setFont(Font(24, true));
  p.fillRect(QRect(kLeft, y, kRight - kLeft, rowH), QColor(225, 225, 225));
  for (int c = 0; c < heads.size(); ++c)
    p.drawText(QRect(cols[c] + 8, y, cols[c + 1] - cols[c] - 16, rowH),
               (c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter, heads[c]);
  p.setFont(Font(24));
  const SpringType& type = TypeOf(s);
  for (int param = 1; param <= 6; ++param) {
    y += rowH;
    const ParameterStats& ps = s.param[param];
    const Limits l = JudgementLimits(type, param);
    const Indices ix = CapabilityIndices(ps.moments, l);
    const bool any = ps.moments.n > 0;
    const QStringList cells = {
        QStringLiteral("%1. %2").arg(param).arg(type.parameters[param].Name),
        QString::number(ps.moments.n),
        any ? Num(ps.moments.mean, 3) : QStringLiteral("—"),
        Opt(ps.moments.Sd(), 4),
        any ? Num(ps.moments.min, 3) : QStringLiteral("—"),
        any ? Num(ps.moments.max, 3) : QStringLiteral("—"),
        any ? Num(100.0 * ps.withinNorm / ps.moments.n, 1) + " %" : QStringLiteral("—"),
        Opt(l.lower, 2),
        Opt(l.upper, 2),
        Opt(ix.cp, 2),
        Opt(ix.cpk, 2)};
    for (int c = 0; c < cells.size(); ++c)
      p.drawText(QRect(cols[c] + 8, y, cols[c + 1] - cols[c] - 16, rowH),
                 (c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter, cells[c]);
  }
  p.setPen(QColor(160, 160, 160));
  for (int k = 0; k <= 7; ++k) p.drawLine(kLeft, 210 + k * rowH, kRight, 210 + k * rowH);
  y += rowH + 16;

  p.setPen(Qt::black);
  p.setFont(Font(22));
  const QStringList notes = {
      QStringLiteral("Границы как в оценке замера: НГ = Min − E, ВГ = Max + E (E = %1); "
                     "граница −1000 или 1000 не задана, индекс тогда односторонний.")
          .arg(Num(type.E, 3)),
      QStringLiteral("σ — выборочное стандартное отклонение (n − 1). Cp = (ВГ − НГ) / 6σ, "
                     "Cpk = min(ВГ − μ, μ − НГ) / 3σ; «—»: не определено (n < 2, σ = 0)."),
      QStringLiteral("Быстрые замеры не измеряют параметры 1, 3 и 4: эти параметры в расчёт "
                     "не входят. «В норме» — доля значений, признанных годными оценкой замера.")};
  for (const QString& n : notes) {
    p.drawText(QRect(kLeft, y, kRight - kLeft, 30), Qt::AlignLeft | Qt::AlignVCenter, n);
    y += 32;
  }

  // The histograms, two per row.
  const int top = y + 20;
  for (int param = 1; param <= 6; ++param) {
    const int col = (param - 1) % 2, row = (param - 1) / 2;
    DrawHistogram(p, QRectF(kLeft + col * 960, top + row * 590, kHistW, kHistH), s, param);
  }

  // The good springs per height group.
  y = top + 3 * 590 + 10;
  p.setPen(Qt::black);
  p.setFont(Font(26, true));
  if (!HasGroups(s)) {
    p.drawText(QRect(kLeft, y, kRight - kLeft, 34), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Группы по высоте: этот тип тележки по группам не сортируется."));
    return;
  }
  p.drawText(QRect(kLeft, y, kRight - kLeft, 34), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Годные пружины по группам высоты%1")
                 .arg(s.bogie == 2 ? QStringLiteral(" (группа по высоте − 10 мм)") : QString()));
  y += 44;
  p.setFont(Font(22));
  const int cellW = 170;
  for (int k = 0; k <= 9; ++k) {
    const int g = k < 9 ? k + 1 : 0;
    const int x = kLeft + k * cellW;
    QString band = QStringLiteral("вне групп");
    if (g) {
      const auto [a, b] = GroupBand(g, s.bogie);
      band = Num(a, 1) + "–" + Num(b, 1);
    }
    p.setPen(QColor(160, 160, 160));
    p.drawRect(QRect(x, y, cellW, 96));
    p.setPen(Qt::black);
    p.drawText(QRect(x, y, cellW, 32), Qt::AlignCenter,
               g ? QStringLiteral("Гр. %1").arg(g) : QStringLiteral("Гр. 0"));
    p.drawText(QRect(x, y + 30, cellW, 30), Qt::AlignCenter, band);
    p.setFont(Font(24, true));
    p.drawText(QRect(x, y + 60, cellW, 34), Qt::AlignCenter, QString::number(s.groups[g]));
    p.setFont(Font(22));
  }
}

void DrawEmptyPage(QPainter& p, const ReportInfo& info) {
  p.fillRect(QRect(0, 0, kPageW, kPageH), Qt::white);
  p.setPen(Qt::black);
  p.setFont(Font(44, true));
  p.drawText(QRect(kLeft, 80, kRight - kLeft, 60), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Воспроизводимость: нет замеров"));
  p.setFont(Font(26));
  p.drawText(QRect(kLeft, 150, kRight - kLeft, 34), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Файлы: %1.%2").arg(info.sources,
                 info.range.isEmpty() ? QString() : QStringLiteral(" Отбор: ") + info.range));
}

bool SaveWhole(const QString& path, const QByteArray& bytes, QString& error) {
  QString reason;
  if (plat::WriteWholeFile(path, bytes, &reason)) return true;
  error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
  return false;
}

bool SavePng(const QString& path, const QImage& image, QString& error) {
  QString reason;
  if (plat::WriteImageFile(path, image, "PNG", &reason)) return true;
  error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
  return false;
}

}  // namespace

bool WriteCapabilityReport(const Capability& capability, const ReportInfo& info,
                           const QString& outDir, char point, QStringList& written,
                           QString& error) {
  if (!QDir().mkpath(outDir)) {
    error = QStringLiteral("cannot create the folder %1").arg(outDir);
    return false;
  }
  const QDir dir(outDir);

  // The numbers.
  const auto num = [point](std::optional<double> v) { return quality::CsvNumber(v, point); };
  QByteArray csv = quality::CsvHeader(
      {"Тип тележки №", "Тип тележки", "Тип пружины №", "Тип пружины", "Обозначение", "Параметр №",
       "Параметр", "n", "Среднее", "СКО", "Минимум", "Максимум", "В норме", "Доля в норме", "Min",
       "Max", "E", "НГ (Min-E)", "ВГ (Max+E)", "Cp", "Cpk"});
  QList<QByteArray> groupColumns = {"Тип тележки №", "Тип тележки", "Тип пружины №",
                                    "Обозначение",   "Замеров",     "Годных"};
  for (int g = 1; g <= 9; ++g) groupColumns << QStringLiteral("Группа %1").arg(g).toUtf8();
  groupColumns << "Вне групп";
  QByteArray groups = quality::CsvHeader(groupColumns);
  for (const auto& [key, s] : capability.Types()) {
    const SpringType& t = TypeOf(s);
    const QByteArray bogieName = CsvField(FindBogieType(s.bogie)->Name.toUtf8());
    for (int param = 1; param <= 6; ++param) {
      const ParameterStats& ps = s.param[param];
      const Limits l = JudgementLimits(t, param);
      const Indices ix = CapabilityIndices(ps.moments, l);
      const bool any = ps.moments.n > 0;
      QList<QByteArray> f = {QByteArray::number(s.bogie), bogieName, QByteArray::number(s.spring),
                             CsvField(t.Name.toUtf8()), CsvField(t.AltName.toUtf8()),
                             QByteArray::number(param),
                             CsvField(t.parameters[param].Name.toUtf8()),
                             QByteArray::number(ps.moments.n),
                             num(any ? std::optional(ps.moments.mean) : std::nullopt),
                             num(ps.moments.Sd()),
                             num(any ? std::optional(ps.moments.min) : std::nullopt),
                             num(any ? std::optional(ps.moments.max) : std::nullopt),
                             QByteArray::number(ps.withinNorm),
                             num(any ? std::optional(double(ps.withinNorm) / ps.moments.n)
                                     : std::nullopt),
                             num(t.parameters[param].Min), num(t.parameters[param].Max), num(t.E),
                             num(l.lower), num(l.upper), num(ix.cp), num(ix.cpk)};
      csv += f.join(';') + "\r\n";
    }
    if (HasGroups(s)) {
      QList<QByteArray> f = {QByteArray::number(s.bogie), bogieName, QByteArray::number(s.spring),
                             CsvField(t.AltName.toUtf8()), QByteArray::number(s.records),
                             QByteArray::number(s.good)};
      for (int g = 1; g <= 9; ++g) f << QByteArray::number(s.groups[g]);
      f << QByteArray::number(s.groups[0]);
      groups += f.join(';') + "\r\n";
    }
  }
  for (const auto& [name, bytes] : {std::make_pair(QStringLiteral("capability.csv"), csv),
                                    std::make_pair(QStringLiteral("capability-groups.csv"), groups)}) {
    if (!SaveWhole(dir.filePath(name), bytes, error)) return false;
    written << dir.filePath(name);
  }

  // The pictures.
  const double pngScale = 1240.0 / kPageW;  // 150 dots per inch
  for (const auto& [key, s] : capability.Types()) {
    QImage page(1240, 1754, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
      QPainter p(&page);
      p.setRenderHint(QPainter::Antialiasing);
      p.setRenderHint(QPainter::TextAntialiasing);
      p.scale(pngScale, pngScale);
      DrawPage(p, s, info);
    }
    const QString pageName = dir.filePath(QStringLiteral("page-b%1-s%2.png").arg(s.bogie).arg(s.spring));
    if (!SavePng(pageName, page, error)) return false;
    written << pageName;
    for (int param = 1; param <= 6; ++param) {
      QImage h(kHistW, kHistH, QImage::Format_RGB32);
      h.fill(Qt::white);
      {
        QPainter p(&h);
        p.setRenderHint(QPainter::Antialiasing);
        DrawHistogram(p, QRectF(0, 0, kHistW, kHistH), s, param);
      }
      const QString name = dir.filePath(
          QStringLiteral("hist-b%1-s%2-p%3.png").arg(s.bogie).arg(s.spring).arg(param));
      if (!SavePng(name, h, error)) return false;
      written << name;
    }
  }

  // The PDF, one page per spring type.
  const QString pdfName = dir.filePath(QStringLiteral("capability.pdf"));
  // Rendered in memory and written whole, like every other file.
  QByteArray pdf;
  QBuffer file(&pdf);
  file.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&file);
    writer.setTitle(QStringLiteral("Воспроизводимость пружин"));
    writer.setCreator(QStringLiteral("springdata"));
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    QPainter p;
    if (!p.begin(&writer)) {
      error = QStringLiteral("%1: the PDF cannot be started").arg(pdfName);
      return false;
    }
    const QRect area = writer.pageLayout().paintRectPixels(writer.resolution());
    p.scale(static_cast<double>(area.width()) / kPageW, static_cast<double>(area.height()) / kPageH);
    bool firstPage = true;
    for (const auto& [key, s] : capability.Types()) {
      if (!firstPage) writer.newPage();
      firstPage = false;
      DrawPage(p, s, info);
    }
    if (capability.Types().empty()) DrawEmptyPage(p, info);
    p.end();
  }
  file.close();
  if (!SaveWhole(pdfName, pdf, error)) return false;
  written << pdfName;
  return true;
}

}  // namespace springdata
