// The page "Dsetup" of the settings menu's keys 1 and 3: the date and the
// time are set with the operating system's own tools, and the page says so.
// The notice box is shared with the limits page.

#include "pages/pages.h"
#include "screen/pageguard.h"
#include "screen/screen.h"

void DrawNoticeBox(std::initializer_list<NoticeLine> lines) {
  const int x = ScreenOffsetX();
  DrawPanelBox(x + 28, 120, x + 994, 516);
  SetFontBold(false);
  SetTextStyle("Impact", 42, kGrey);
  for (const NoticeLine& line : lines)
    PutShadowText(x + line.x, line.y, QString::fromUtf8(line.text), 2, 2, kSilver);
}

void DateTimePage() {
  {
    const PageGuard guard("Dsetup");
    ShadeWorkArea();
    DisableAllKeys();
    DrawNoticeBox({{250, 140, "Функция изменения"},
                   {62, 214, "времени/даты в данной версии п.о."},
                   {40, 279, "не поддерживается. Воспользуйтесть"},
                   {162, 344, "стандартными средствами"},
                   {192, 410, "операционной системы !"}});
    EnableKey(11);
    DrawKeyPanel();
    DrawKeyCaption("", "Отмена", 11);
    RepaintScreen();
    while (PollKey() != 11) {
    }
  }
  LastKey() = 11;
}
