#include "visualiser/visualiser.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "mathem/coilgeometry.h"
#include "mathem/mathobserver.h"
#include "mathem/profiles.h"
#include "platform/pump.h"
#include "quality/csv.h"
#include "screen/fonts.h"
#include "screen/screen.h"
#include "springs/springtypes.h"

TVisualiser Visualiser;

namespace {

// The picture's colours: readings green, end-of-data marks red, grid grey,
// peak marks blue.
constexpr QRgb kWhiteColour = kWhite;
constexpr QRgb kBlackColour = kBlack;
constexpr QRgb kProfileGreen = kGreen;
constexpr QRgb kEndMarkRed = kRed;
constexpr QRgb kGridGrey = kDarkGrey;
constexpr QRgb kPeakBlue = kBlue;

// Camera layout of the picture: cameras 1 and 2 grow to the right of x = 495,
// cameras 3 and 4 to the left of x = 485; cameras 2 and 4 sit 308 rows lower.
constexpr int kRightOrigin = 495;
constexpr int kLeftOrigin = 485;
constexpr int kLowerShift = 308;

bool RightSide(int n) {
  return n == 1 || n == 2;
}
int RowShift(int n) {
  return (n == 2 || n == 4) ? kLowerShift : 0;
}

void EnsureImage() {
  QImage& img = Visualiser.image;
  if (img.size() != QSize(kVisualiserWidth, kVisualiserHeight)) {
    img = QImage(kVisualiserWidth, kVisualiserHeight, QImage::Format_RGB32);
    img.fill(kWhiteColour);
  }
}

void Pixel(int x, int y, QRgb c) {
  QImage& img = Visualiser.image;
  if (x >= 0 && y >= 0 && x < img.width() && y < img.height())
    reinterpret_cast<QRgb*>(img.scanLine(y))[x] = 0xFF000000 | c;
}

// A line from (x1, y1) towards (x2, y2), the end point left out as the
// canvas draws it; only level and upright lines occur here. dotted leaves
// every other pair of pixels out.
void Line(int x1, int y1, int x2, int y2, QRgb c, bool dotted = false) {
  Visualiser.penColour = c;
  QImage& img = Visualiser.image;
  const QRgb px = 0xFF000000 | c;
  if (y1 == y2 && !dotted) {
    // Level lines are most of the picture (7200 readings): fill the clipped
    // span of the row at once.
    if (y1 < 0 || y1 >= img.height() || x1 == x2) return;
    int from = x1 < x2 ? x1 : x2 + 1, to = x1 < x2 ? x2 - 1 : x1;
    from = std::max(from, 0);
    to = std::min(to, img.width() - 1);
    if (from > to) return;
    QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y1));
    std::fill(row + from, row + to + 1, px);
    return;
  }
  const int dx = (x2 > x1) - (x2 < x1), dy = (y2 > y1) - (y2 < y1);
  const int steps = std::max(std::abs(x2 - x1), std::abs(y2 - y1));
  for (int i = 0; i < steps; ++i)
    if (!dotted || (i / 2) % 2 == 0) Pixel(x1 + i * dx, y1 + i * dy, c);
}

// A reading drawn as a level line of half its value from the camera's axis.
void ReadingLine(int n, int y, double value, QRgb c) {
  const int len = static_cast<int>(std::trunc(value / 2));
  if (RightSide(n))
    Line(kRightOrigin, y, kRightOrigin + len, y, c);
  else
    Line(kLeftOrigin, y, kLeftOrigin - len, y, c);
}

void Grid() {
  for (int x = kRightOrigin + 50; x <= 980; x += 50) {
    Line(x, 0, x, 307, kGridGrey, true);
    Line(x, kLowerShift, x, kVisualiserHeight, kGridGrey, true);
  }
  for (int x = kLeftOrigin - 50; x >= 0; x -= 50) {
    Line(x, 0, x, 307, kGridGrey, true);
    Line(x, kLowerShift, x, kVisualiserHeight, kGridGrey, true);
  }
  for (int y = 50; y < 307; y += 50) {
    Line(kRightOrigin, y, 980, y, kGridGrey, true);
    Line(kLeftOrigin, y, 0, y, kGridGrey, true);
  }
  for (int y = kLowerShift + 50; y < kVisualiserHeight; y += 50) {
    Line(kRightOrigin, y, 980, y, kGridGrey, true);
    Line(kLeftOrigin, y, 0, y, kGridGrey, true);
  }
}

void Texts() {
  // Text needs the window system's fonts; without one (tools, benchmarks)
  // the picture goes without its texts.
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
  QPainter p(&Visualiser.image);
  p.setFont(PageFont("Courier", 12, false));
  p.setPen(QColor(kBlackColour));
  p.setBackgroundMode(Qt::OpaqueMode);
  p.setBackground(QColor(kWhiteColour));
  auto put = [&](int x, int y, const QString& t) {
    p.drawText(QRect(x, y, 1000, 40), Qt::AlignLeft | Qt::AlignTop, t);
  };
  auto countLine = [](int n) { return QString("Число замеров:%1").arg(ProfileStore.count[n]); };
  put(790, 10, "Камера 1");
  put(520, 10, "ПЗС>");
  put(790, 34, countLine(1));
  put(790, 317, "Камера 2");
  put(520, 317, "ПЗС>");
  put(790, 341, countLine(2));
  put(30, 10, "Камера 3");
  put(424, 10, "<ПЗС");
  put(30, 34, countLine(3));
  put(30, 318, "Камера 4");
  put(424, 317, "<ПЗС");
  put(30, 342, countLine(4));
}

void Frame() {
  const int w = kVisualiserWidth - 1, h = kVisualiserHeight - 1;
  for (int x = 0; x <= w; ++x) Pixel(x, 0, kWhiteColour), Pixel(x, h, kWhiteColour);
  for (int y = 0; y <= h; ++y) Pixel(0, y, kWhiteColour), Pixel(w, y, kWhiteColour);
}

void Changed() {
  if (Visualiser.changed) Visualiser.changed();
}

// One coil of the report: where it starts and ends and where its peak is.
struct ReportCoil {
  int start = 0, end = 0, peakIndex = 0;
  double peak = 0;
};

}  // namespace

void ResetVisualiser() {
  auto changed = Visualiser.changed;
  Visualiser = TVisualiser();
  Visualiser.changed = changed;
  Visualiser.caption = kVisualiserCaption;
  Visualiser.springSearch = "????";
  EnsureImage();
}

void RedrawProfiles() {
  EnsureImage();
  Visualiser.image.fill(kWhiteColour);
  Line(0, 307, 980, 307, kBlackColour);
  Line(490, 0, 490, 617, kBlackColour);
  for (int n = 1; n <= 4; ++n)
    for (int j = 1; j <= ProfileStore.count[n]; ++j)
      ReadingLine(n, (j + 2) / 4 + RowShift(n), ProfileValue(n, j), kProfileGreen);
  if (Visualiser.endMarks)
    for (int n = 1; n <= 4; ++n) {
      const int y = (ProfileStore.count[n] + 2) / 4 + 1 + RowShift(n);
      if (RightSide(n))
        Line(kRightOrigin, y, 795, y, kEndMarkRed);
      else
        Line(kLeftOrigin, y, 185, y, kEndMarkRed);
    }
  Grid();
  Texts();
  Frame();
  Changed();
}

void DrawPeakMarkers() {
  EnsureImage();
  for (int n = 1; n <= 4; ++n) {
    const CoilWindow& w = ProfileStore.window[n];
    if (w.first == 0) continue;
    ReadingLine(n, w.peakIndex / 4 + RowShift(n), w.peak, kPeakBlue);
  }
  Changed();
}

void SetVisualiserCaption(const QString& caption) {
  Visualiser.caption = caption;
  Changed();
}

void SpringSearch() {
  Visualiser.springSearch = "Нет пружины";
  Changed();
}

namespace {

// The designation of spring type s of the bogie type in use (bogie type 1
// when the mode state names none the table holds).
QString SpringDesignation(int springType) {
  if (springType < 1 || springType > kMaxSpringTypes) return QStringLiteral("-");
  return CurrentBogie().springTypes[springType].AltName;
}

void ShowMathemStep(MathemStep step) {
  switch (step) {
    case MathemStep::ProfilesChanged:
      RedrawProfiles();
      break;
    case MathemStep::PeaksFound:
      DrawPeakMarkers();
      break;
    case MathemStep::DiameterFound: {
      const float d = CoilResults.MeasuredDiameter;
      SetVisualiserCaption(DiameterText(d) + "(" + SpringDesignation(SpringTypeByDiameter(d)) +
                           ")" + " т." + CurrentBogie().Name);
      break;
    }
    case MathemStep::NonPerpendicularityFound:
      SetVisualiserCaption(QString::fromLatin1(quality::FloatText(CoilResults.MeasuredNonPerpendicularity, '.')));
      break;
    case MathemStep::SpringSearched:
      SpringSearch();
      break;
  }
}

}  // namespace

void ConnectVisualiser() {
  MathemObserver = ShowMathemStep;
}

void ShowVisualiserMessage(const QString& text) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()))
    QMessageBox::warning(nullptr, QString(kVisualiserCaption), text);
}

void CoilReport() {
  Visualiser.report.clear();
  Changed();
  LoadProfiles(kOuterSpringMode);
  if (ProfileStore.faultCamera != 0) return;
  CleanProfiles();
  RedrawProfiles();
  plat::ProcessMessages();
  plat::WaitMs(500);

  // Every coil of camera 1, found the way the second-coil selection finds
  // its runs, each with its tail cut and its peak.
  constexpr int cam = 1;
  const int count = ProfileStore.count[cam];
  ProfileStore.window[cam] = CoilWindow();
  QList<ReportCoil> coils;
  int j = 2;
  for (;;) {
    int v;
    do v = ProfileValue(cam, j++);
    while (!(j >= count || v > 0));
    if (j >= count) break;
    const int start = j - 1;
    do v = ProfileValue(cam, j++);
    while (!(j >= count || v == 0));
    if (j >= count) break;
    const int end = j - 1;
    CoilWindow& w = ProfileStore.window[cam];
    w = CoilWindow{start, end, 0, 0};
    CutTailCamera(cam);
    FindPeakCamera(cam);
    coils.append({start, end, w.peakIndex, w.peak});
    RedrawProfiles();
    plat::ProcessMessages();
    plat::WaitMs(100);
  }

  QStringList& r = Visualiser.report;
  r << QString("Отчет по камере №%1").arg(cam);
  r << QString("Всего витков %1").arg(coils.size());
  const QRgb pen = Visualiser.penColour;
  for (int i = 1; i <= coils.size(); ++i) {
    const ReportCoil& c = coils[i - 1];
    r << QString("№ %1 Н= %2 M= %3 K= %4").arg(i).arg(c.start).arg(c.peakIndex).arg(c.end);
    Line(kRightOrigin, c.start / 4, 1000, c.start / 4, pen, true);
    Line(kRightOrigin, c.end / 4, 1000, c.end / 4, pen, true);
    ReadingLine(cam, c.peakIndex / 4, c.peak, pen);
  }
  for (int i = coils.size(); i >= 2; --i) {
    const int d = coils[i - 1].peakIndex - coils[i - 2].peakIndex;
    r << QString("Виток%1%2:  %3ед %4мм").arg(i).arg(i - 1).arg(d).arg(d * 0.325, 5, 'f', 1);
  }
  Changed();
}
