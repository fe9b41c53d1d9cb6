#include "screen/screen.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QHash>
#include <QPainter>
#include <cstdio>

#include "config/settings.h"
#include "desktop/desktop.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/textfile.h"
#include "platform/version.h"
#include "screen/fonts.h"

TScreenState ScreenState;

namespace {

// Copies of the saved pages, used when a Temp file can't be written or read
// back, so a page always returns to what it covered.
QHash<QString, QImage>& SavedPages() {
  static QHash<QString, QImage> pages;
  return pages;
}

QFont CurrentFont() {
  return PageFont(ScreenState.fontName, ScreenState.fontSize, ScreenState.fontBold);
}

void Warn(const QString& text) {
  std::fprintf(stderr, "kalvor: %s\n", qPrintable(text));
}

}  // namespace

void InitScreenModule() { ScreenState.offsetX = Settings.Visual.HD ? 168 : 0; }

void ResetScreenModule(int width, int height) {
  ScreenState = TScreenState();
  ScreenState.canvas = QImage(width, height, QImage::Format_RGB32);
  ScreenState.canvas.fill(kBlack);
  ScreenState.fillSize = QSize(width + 1, height + 1);
  SavedPages().clear();
  InitScreenModule();
}

void AttachScreenWindow(IScreenWindow* window) { ScreenState.window = window; }

void RepaintScreen() {
  if (ScreenState.window) ScreenState.window->RepaintCanvas();
}

// --- Window -------------------------------------------------------------------

void SetDisplayModeSize(int width, int height) { plat::SetDisplayMode(width, height); }

void RestoreDisplayMode() {
  if (Settings.Visual.FullScreen && ScreenState.startScreenSize.isValid())
    SetDisplayModeSize(ScreenState.startScreenSize.width(), ScreenState.startScreenSize.height());
}

void EndProgram(int code) {
  if (ScreenState.beforeEnd) ScreenState.beforeEnd();
  RestoreDisplayMode();
  plat::EndProcess(code);
}

void SetupMainWindow(int layout) {
  IScreenWindow* w = ScreenState.window;
  if (w) {
    w->SetBorder(Settings.Visual.CaptionEnable);
    const QString version = plat::FileVersion();
    w->SetCaption(plat::OwnExecutablePath() + " v" + version);
    w->SetCursorHidden(!Settings.Debug.ShowCursor);
  }
  ScreenState.startScreenSize = plat::ScreenSize();
  if (Settings.Visual.FullScreen) {
    if (Settings.Visual.HD)
      SetDisplayModeSize(1360, 768);
    else
      SetDisplayModeSize(1024, 768);
  }
  QSize size = ScreenState.canvas.size();
  switch (layout) {
    case 0: size = QSize(800, 600); break;
    case 1: size = QSize(1024, 768); break;
    case 2: size = QSize(1280, 1024); break;
    case 3: size = QSize(1360, 768); break;
    default: break;
  }
  if (Settings.Visual.CaptionEnable) size += QSize(6, 7);
  if (ScreenState.canvas.size() != size) {
    QImage canvas(size, QImage::Format_RGB32);
    canvas.fill(kBlack);
    QPainter p(&canvas);
    p.drawImage(0, 0, ScreenState.canvas);
    p.end();
    ScreenState.canvas = canvas;
  }
  ScreenState.fillSize = size + QSize(1, 1);
  if (w) {
    w->SetGeometry(0, 0, size.width(), size.height());
    w->ResizeCanvas(size.width(), size.height());
  }
}

// --- Drawing ------------------------------------------------------------------

void FillBox(int x1, int y1, int x2, int y2, QRgb colour) {
  if (x2 <= x1 || y2 <= y1) return;
  QPainter p(&ScreenState.canvas);
  p.fillRect(QRect(x1, y1, x2 - x1, y2 - y1), QColor(colour));
}

void FillScreen(QRgb colour) {
  FillBox(0, 0, ScreenState.fillSize.width(), ScreenState.fillSize.height(), colour);
}

void DrawPanelBox(int x1, int y1, int x2, int y2) {
  FillBox(x1 + 9, y1 + 9, x2 + 11, y2 + 11, kWhite);
  FillBox(x1 + 10, y1 + 10, x2 + 10, y2 + 10, kLightGreen);
  FillBox(x1 - 2, y1 - 2, x2 + 2, y2 + 2, kWhite);
  FillBox(x1 - 1, y1 - 1, x2 + 1, y2 + 1, kBlack);
  FillBox(x1, y1, x2, y2, kWhite);
}

void DrawLine(int x1, int y1, int x2, int y2, QRgb colour) {
  // A pen line from (x1, y1) towards (x2, y2), the end point left out.
  QImage& c = ScreenState.canvas;
  const int dx = std::abs(x2 - x1), sx = x1 < x2 ? 1 : -1;
  const int dy = -std::abs(y2 - y1), sy = y1 < y2 ? 1 : -1;
  int err = dx + dy;
  int x = x1, y = y1;
  while (!(x == x2 && y == y2)) {
    if (x >= 0 && y >= 0 && x < c.width() && y < c.height())
      c.setPixel(x, y, 0xFF000000u | colour);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

namespace {
QImage LoadPicture(const QString& file) {
  const QString path = plat::MapPath("BMP\\" + file);
  QImage img(path);
  if (img.isNull()) return img;
  return img.convertToFormat(QImage::Format_RGB32);
}
}  // namespace

QSize PictureSize(const QString& file) {
  const QImage img = LoadPicture(file);
  return img.isNull() ? QSize(0, 0) : img.size();
}

void DrawPicture(const QString& file, int x, int y) {
  const QImage img = LoadPicture(file);
  QPainter p(&ScreenState.canvas);
  if (img.isNull()) {
    // A missing picture leaves a marked gap instead of stopping the line.
    static QHash<QString, bool> reported;
    if (!reported.contains(file)) {
      reported.insert(file, true);
      Warn(QString("picture BMP\\%1 is missing or unreadable").arg(file));
    }
    const QRect r(x, y, 48, 24);
    p.fillRect(r, QColor(kSilver));
    p.setPen(QColor(kRed));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.drawLine(r.topLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomLeft());
    return;
  }
  p.drawImage(x, y, img);
}

void SetTextStyle(const QString& fontName, int size, QRgb colour) {
  ScreenState.fontName = fontName;
  ScreenState.fontSize = size;
  ScreenState.fontColour = colour;
}

void SetFontBold(bool bold) { ScreenState.fontBold = bold; }
void SetFontColour(QRgb colour) { ScreenState.fontColour = colour; }

void PutTextCell(QPainter& p, const QFont& font, QRgb colour, int x, int y, const QString& text) {
  if (text.isEmpty()) return;
  p.setFont(font);
  p.setPen(QColor(colour));
  // (x, y) is the top-left corner of the text cell, as on Windows. The
  // ascent is the one of an image, so the text stands at the same place on
  // every device the same drawing is replayed on.
  p.drawText(QPointF(x, y + QFontMetrics(font).ascent()), text);
}

void PutText(int x, int y, const QString& text) {
  if (text.isEmpty()) return;
  QPainter p(&ScreenState.canvas);
  PutTextCell(p, CurrentFont(), ScreenState.fontColour, x, y, text);
}

void PutShadowText(int x, int y, const QString& text, int dx, int dy, QRgb shadow) {
  const QRgb colour = ScreenState.fontColour;
  ScreenState.fontColour = shadow;
  PutText(x + dx, y + dy, text);
  ScreenState.fontColour = colour;
  PutText(x, y, text);
}

int TextWidth(const QString& text) { return QFontMetrics(CurrentFont()).horizontalAdvance(text); }

int TextHeight(const QString&) { return QFontMetrics(CurrentFont()).height(); }

void ShadeWorkArea() {
  const bool hd = Settings.Visual.HD;
  const int right = hd ? 1368 : 1023;
  const int left = hd ? 0 : 5;
  for (int i = 0; i <= 506; ++i)
    if (i % 2 == 1) DrawLine(left, 110 + i, right, 110 + i, kSilver);
  const int last = hd ? 1368 : 1018;
  for (int x = 4; x <= last; ++x)
    if (x % 2 == 1) DrawLine(x, 110, x, 618, kSilver);
}

void FillWorkArea() {
  FillBox(0, 108, ScreenState.canvas.width(), 618, kSilver);
}

void TitleBar(const QString& title, int titleX, QRgb colour) {
  const int off = ScreenOffsetX();
  DrawPanelBox(off + 10, 8, off + 792, 100);
  SetTextStyle("Impact", 34, colour);
  PutShadowText(off + titleX, 19, title, 2, 2, kSilver);
  SetTextStyle("Impact", 10, kBlack);
  const QString suffix = Settings.Global.DEMO34 ? "(D34)" : "";
  PutShadowText(off + 680, 78, "Версия :" + plat::FileVersion() + suffix, 1, 1, kSilver);
}

void SavePage(const QString& name) {
  SavedPages().insert(name.toLower(), ScreenState.canvas);
  const QString path = plat::MapPath("Temp\\" + name + ".bmp");
  QString reason;
  if (!plat::WriteImageFile(path, ScreenState.canvas, "BMP", &reason, false))
    Warn(QString("cannot write Temp\\%1.bmp (%2); the page is kept in memory").arg(name, reason));
}

void RestorePage(const QString& name) {
  const QString path = plat::MapPath("Temp\\" + name + ".bmp");
  QImage img(path);
  if (img.isNull() || img.size() != ScreenState.canvas.size()) {
    const auto it = SavedPages().constFind(name.toLower());
    if (it == SavedPages().constEnd()) {
      Warn(QString("cannot read Temp\\%1.bmp back").arg(name));
      return;
    }
    img = *it;
  }
  ScreenState.canvas = img.convertToFormat(QImage::Format_RGB32);
  RepaintScreen();
}
