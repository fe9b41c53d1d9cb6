// The header of the database pages: a grey page, the title panel with the
// title in grey on a dark-grey shadow, and the work panel below it.

#include "pages/pages.h"
#include "screen/screen.h"

void DrawPageTitle(int kind) {
  struct Title {
    const char* text;
    int shadowX, shadowY, textX, textY;
    int x1, y1, x2, y2;  // the work panel
  };
  static const Title kDatabase{"Работа с базой данных замеров", 32, 18, 30, 16, 10, 130, 1010, 590};
  static const Title kStatistics{"Выдача статистики", 190, 18, 188, 16, 10, 180, 1010, 500};
  if (kind != 2 && kind != 3) return;
  const Title& t = kind == 2 ? kDatabase : kStatistics;
  const int off = ScreenOffsetX();
  FillScreen(kGrey);
  DrawPanelBox(off + 5, 8, off + 796, 100);
  SetFontBold(false);
  SetTextStyle("Impact", 40, kDarkGrey);
  PutText(off + t.shadowX, t.shadowY, t.text);
  SetFontColour(kSilver);
  PutText(off + t.textX, t.textY, t.text);
  DrawPanelBox(off + t.x1, t.y1, off + t.x2, t.y2);
}
