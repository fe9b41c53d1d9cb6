// The page "Esetup" of the settings menu's key 5: the limit sizes. With the
// parameter editor switched on ([Debug] " Vred") the editor form opens over
// it; otherwise a notice says where the limit sizes are changed.

#include "config/settings.h"
#include "pages/pages.h"
#include "screen/pageguard.h"
#include "screen/screen.h"

void LimitsPage() {
  {
    const PageGuard guard("Esetup");
    ShadeWorkArea();
    DisableAllKeys();
    EnableKey(11);
    DrawKeyPanel();
    DrawKeyCaption("", "Возврат", 11);
    RepaintScreen();
    if (Settings.Debug.Vred) {
      // The editor form is a service window that main installs.
      if (ScreenState.showParameterEditor) ScreenState.showParameterEditor();
    } else {
      DrawNoticeBox({{250, 140, "Функция изменения"},
                     {68, 214, "пред. размеров в данной версии п.о."},
                     {60, 279, "не поддерживается. Для изменения"},
                     {33, 344, "предельных размеров см.приложение"},
                     {100, 410, "к руководству по эксплуатации !"}});
      RepaintScreen();
    }
    while (PollKey() != 11) {
    }
  }
  LastKey() = 11;
}
