// The header of the database pages: a grey page, the title panel with the
// title in silver over its dark-grey shadow, and the white work panel below.

#include "pages/pages.h"
#include "screen/screen.h"

namespace {

struct PageTitle {
  const char* text;
  int shadowX, shadowY;
  int textX, textY;
  int panelX1, panelY1, panelX2, panelY2;
};

// Kind 2: the database browser; kind 3: the statistics pages.
constexpr PageTitle kTitles[] = {
    {"Работа с базой данных замеров", 32, 18, 30, 16, 10, 130, 1010, 590},
    {"Выдача статистики", 190, 18, 188, 16, 10, 180, 1010, 500},
};

}  // namespace

void DrawPageTitle(int kind) {
  if (kind != 2 && kind != 3) return;
  const PageTitle& t = kTitles[kind - 2];
  const int x = ScreenOffsetX();
  FillScreen(kGrey);
  DrawPanelBox(x + 5, 8, x + 796, 100);
  SetFontBold(false);
  SetTextStyle("Impact", 40, kDarkGrey);
  PutText(x + t.shadowX, t.shadowY, t.text);
  SetFontColour(kSilver);
  PutText(x + t.textX, t.textY, t.text);
  DrawPanelBox(x + t.panelX1, t.panelY1, x + t.panelX2, t.panelY2);
}
