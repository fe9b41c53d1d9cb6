// The page "bselect" of main-menu key 10: which stored measurements or sets
// to work with. Key 1, the shift's measurements, is offered only when the
// shift holds any (as the status strip last counted them).

#include "config/settings.h"
#include "database/database.h"
#include "pages/pages.h"
#include "screen/pageguard.h"
#include "screen/screen.h"

int ArchiveChoicePage() {
  const bool vnEnable = Settings.Global.VNenable;
  KeyCode key;
  {
    const PageGuard guard("bselect");
    ShadeWorkArea();
    DisableAllKeys();
    const bool shift = Database.ModeState.ShiftCount >= 1;
    EnableKey(13);
    EnableKey(4);
    EnableKey(7);
    EnableKey(1, shift);
    DrawKeyPanel();
    DrawKeyCaption("Замеры", "за год", 4);
    DrawKeyCaption("Архив", " комплектов", 7);
    if (shift) DrawKeyCaption("Замеры", "за смену", 1);
    DrawKeyCaption("", "Возврат", 13);
    RepaintScreen();
    do {
      key = PollKey();
      LastKey() = key;
    } while (key != 13 && key != 4 && key != 7 && key != 1);
  }
  LastKey() = 0;
  Settings.Global.VNenable = vnEnable;
  StatusStrip();
  switch (key) {
    case 4: return 1;
    case 7: return 2;
    case 1: return 3;
    default: return 0;
  }
}
