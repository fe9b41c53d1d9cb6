// The settings menu "setup" of main-menu key 4: the date and the time, the
// limit sizes, the measurement type and the calibration mode. The prompt box
// that the menus of the main menu share lives here too.

#include "config/settings.h"
#include "pages/pages.h"
#include "screen/pageguard.h"
#include "screen/screen.h"

namespace {

void DrawSettingsMenu() {
  ShadeWorkArea();
  DisableAllKeys();
  DrawPromptBox("Введите режим настройки");
  for (int key : {1, 3, 9, 11}) EnableKey(key);
  EnableKey(7, Settings.Debug.CalEnable);
  EnableKey(5, Settings.Global.RTedit);
  DrawKeyPanel();
  StatusStrip();
  DrawKeyCaption("Настройка", "даты", 1);
  DrawKeyCaption("Настройка", "времени", 3);
  if (Settings.Global.RTedit) DrawKeyCaption("Предельные", "размеры", 5);
  DrawKeyCaption("Тип", "замера", 9);
  DrawKeyCaption("", "Отмена", 11);
  if (Settings.Debug.CalEnable) DrawKeyCaption("Режим", "калибровки", 7);
  RepaintScreen();
}

}  // namespace

void DrawPromptBox(const QString& prompt, int textX) {
  const int x = ScreenOffsetX();
  DrawPanelBox(x + 28, 516, x + 830, 602);
  SetFontBold(false);
  SetTextStyle("Impact", 42, kBlack);
  PutShadowText(x + textX, 522, prompt, 2, 2, kSilver);
}

void SettingsMenu() {
  // The wagon box of the status strip would lie over the prompt box.
  const bool vnEnable = Settings.Global.VNenable;
  {
    const PageGuard guard("setup");
    Settings.Global.VNenable = false;
    DrawSettingsMenu();
    // The date, limits and measurement-type pages leave their closing key 11
    // behind, which closes the menu with them; the calibration page leaves 0.
    do {
      LastKey() = PollKey();
      const KeyCode key = LastKey();
      if (key == 1 || key == 3) DateTimePage();
      if (key == 5 && Settings.Global.RTedit) LimitsPage();
      if (key == 7 && Settings.Debug.CalEnable) CalibrationModePage();
      if (key == 9) MeasurementTypePage();
    } while (LastKey() != 11);
  }
  Settings.Global.VNenable = vnEnable;
  StatusStrip();
  LastKey() = 0;
}
