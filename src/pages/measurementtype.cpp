// The page "Zsetup" of the settings menu's key 9: full, fast or accelerated
// measurement. Each key takes effect at once: the mode state file is written
// and the status strip shows the new mode picture; "Применить" only closes.

#include <cstdio>

#include "config/settings.h"
#include "database/database.h"
#include "pages/pages.h"
#include "screen/pageguard.h"
#include "screen/screen.h"

namespace {

void SetMeasurementType(bool fast, bool accelerated) {
  Database.ModeState.FastMode = fast;
  Database.ModeState.AcceleratedMode = accelerated;
  SaveModeChange();
}

}  // namespace

void SaveModeChange() {
  // The strip re-reads the file, so a change that could not be written shows
  // as not made, on the strip and for the next measurement alike; the reason
  // goes to standard error.
  if (!SaveModeState())
    std::fprintf(stderr, "kalvor: %s\n", DatabaseError().toLocal8Bit().constData());
  StatusStrip();
}

void MeasurementTypePage() {
  {
    const PageGuard guard("Zsetup");
    const bool ukz = Settings.Global.ukz_enable;
    ShadeWorkArea();
    DisableAllKeys();
    DrawPromptBox("Введите тип замера");
    EnableKey(1);
    EnableKey(4);
    EnableKey(11);
    EnableKey(7, ukz);
    DrawKeyPanel();
    StatusStrip();
    DrawKeyCaption("Полный", "замер", 1);
    DrawKeyCaption("Быстрый", "замер", 4);
    if (ukz) DrawKeyCaption("Ускоренный", "замер", 7);
    DrawKeyCaption("", "Применить", 11);
    RepaintScreen();
    KeyCode key;
    do {
      key = PollKey();
      LastKey() = key;
      if (key == 1) SetMeasurementType(false, false);
      if (key == 4) SetMeasurementType(true, false);
      if (key == 7 && ukz) SetMeasurementType(false, true);
    } while (key != 11);
  }
  LastKey() = 11;
}
