// The main menu: its keys and their captions on the key panel. The keys of
// wagon numbers and of the bogie type are there only when the settings ask
// for them. The main loop polls the keys and hands each to its page.

#include "config/settings.h"
#include "pages/pages.h"
#include "screen/screen.h"

void DrawMainMenuCaptions() {
  DrawKeyCaption("Произвести", "замер", 2);
  DrawKeyCaption("Настройка", "системы", 4);
  if (Settings.Global.VNenable) DrawKeyCaption("Задать", "№ вагона", 8);
  DrawKeyCaption("Работа", "с замерами", 10);
  DrawKeyCaption("Заверш.", "работы", 12);
  DrawKeyCaption("Подбор", "компл.", 13);
  if (Settings.Depo.ProgressChassieEnabled) DrawKeyCaption("Изменить", "тип тележки", 6);
}

void DrawMainMenu() {
  EnableKey(2);
  EnableKey(4);
  EnableKey(10);
  EnableKey(12);
  EnableKey(13);
  EnableKey(8, Settings.Global.VNenable);
  EnableKey(6, Settings.Depo.ProgressChassieEnabled);
  DrawKeyPanel();
  DrawMainMenuCaptions();
  if (Settings.Global.Zam19) {
    SetTextStyle("Impact", 12, kNavy);
    PutShadowText(ScreenOffsetX() + 763, 76, "(19)", 1, 1, kSilver);
  }
  RepaintScreen();
}
