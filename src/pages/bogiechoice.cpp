// The page "SCsetup" of main-menu key 6: the bogie type the line measures.
// One key per bogie type of the bogie file; a key takes effect at once.

#include <algorithm>

#include "config/settings.h"
#include "database/database.h"
#include "pages/pages.h"
#include "screen/pageguard.h"
#include "screen/screen.h"
#include "springs/springtypes.h"

namespace {

// Keys 1..13 exist; key 11 closes the page, so a bogie type numbered 11 or
// above 13 cannot be chosen here.
constexpr int kLastKey = 13;
constexpr int kCloseKey = 11;

int KeyedBogieTypes() {
  return std::clamp(int(SpringTypeTable().MaxChNum), 0, kLastKey);
}

}  // namespace

void BogieChoicePage() {
  // The wagon box of the status strip would lie over the prompt box.
  const bool vnEnable = Settings.Global.VNenable;
  {
    const PageGuard guard("SCsetup");
    Settings.Global.VNenable = false;
    ShadeWorkArea();
    DisableAllKeys();
    DrawPromptBox("Выбор тележки для измерения", 40);
    const int n = KeyedBogieTypes();
    EnableKey(kCloseKey);
    for (int k = 1; k <= n; ++k) EnableKey(k);
    DrawKeyPanel();
    StatusStrip();
    for (int k = 1; k <= n; ++k)
      if (k != kCloseKey) DrawKeyCaption("Тележка", SpringTypeTable()[k].Name, k);
    DrawKeyCaption("", "Применить", kCloseKey);
    RepaintScreen();
    KeyCode key;
    do {
      key = PollKey();
      LastKey() = key;
      if (key != kCloseKey && key != 0 && KeyEnabled(key)) {
        CurrentBogieType() = key;
        SaveModeChange();
      }
    } while (key != kCloseKey);
  }
  Settings.Global.VNenable = vnEnable;
  StatusStrip();
  LastKey() = 0;
}
