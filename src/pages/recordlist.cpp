// The parts the database browser and the set archive draw alike.

#include "pages/recordlist.h"

#include <QImage>
#include <algorithm>

#include "screen/screen.h"

int ListRow(int cursor) {
  return cursor - (cursor / kListLines) * kListLines + 1;
}

void HighlightListRow(int row, bool on) {
  if (row < 1) return;
  QImage& canvas = Screen();
  const QRgb from = on ? kWhite : kCyan;
  const QRgb to = 0xFF000000u | (on ? kCyan : kWhite);
  const int x1 = std::max(0, ScreenOffsetX() + 100);
  // The whole row up to the scroll bar, so that the longest name is inside.
  const int x2 = std::min(canvas.width() - 1, ScreenOffsetX() + 370);
  const int y1 = std::max(0, row * 23 + 175);
  const int y2 = std::min(canvas.height() - 1, row * 23 + 197);
  for (int y = y1; y <= y2; ++y) {
    auto* line = reinterpret_cast<QRgb*>(canvas.scanLine(y));
    for (int x = x1; x <= x2; ++x)
      if ((line[x] & 0xFFFFFF) == from) line[x] = to;
  }
}

// The total is written again on every move; its line is cleared first, so
// that the text stays as crisp as when it was drawn once.
void DrawListFrame(int gapEnd) {
  const int x = ScreenOffsetX();
  FillBox(x + 71, 520, x + 372, 550, kWhite);
  DrawLine(x + 70, 538, x + 70, 180, kBlack);
  DrawLine(x + 70, 538, x + 96, 538, kBlack);
  DrawLine(x + gapEnd, 538, x + 396, 538, kBlack);
  DrawLine(x + 396, 538, x + 396, 180, kBlack);
  DrawLine(x + 396, 180, x + 70, 180, kBlack);
}

constexpr double kMinScrollThumb = 16.0;

void DrawListScrollBar(int count, int cursor) {
  const int x = ScreenOffsetX();
  FillBox(x + 372, 182, x + 396, 538, kDarkGrey);
  FillBox(x + 373, 183, x + 395, 537, kWhite);
  if (count <= 0) return;
  // A long list keeps a thumb the operator can see; it still moves the
  // whole height with the position.
  const double length = std::max(std::min(4928.0 / count, 351.0), kMinScrollThumb);
  const double top = (352.0 - length) * cursor / count + 214.0;
  FillBox(x + 375, static_cast<int>(top) - 30, x + 393, static_cast<int>(length + top + 2) - 30,
          kGreen);
}
