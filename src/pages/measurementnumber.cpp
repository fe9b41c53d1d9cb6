// The entry box "npass": the operator types the number of a measurement of
// the shift.

#include "pages/digitkeys.h"
#include "pages/pages.h"
#include "screen/pageguard.h"
#include "screen/screen.h"

int MeasurementNumberPage() {
  constexpr int kDigits = 8;
  QString entry;
  {
    const PageGuard guard("npass");
    const int x = ScreenOffsetX();
    ShadeWorkArea();
    DrawPanelBox(x + 8, 438, x + 810, 603);
    SetFontBold(false);
    SetTextStyle("Impact", 28, kBlack);
    PutShadowText(x + 30, 495, "Введите № замера:", 2, 2, kSilver);
    EnableAllKeys();
    EnableKey(11, false);
    EnableKey(12, false);
    DrawKeyPanel();
    DrawKeyCaption("", "Применить", 13);
    RepaintScreen();
    ReadDigitKeys(entry, kDigits, {13}, [&] {
      SetTextStyle("Impact", 28, kBlack);
      PutShadowText(x + 30, 495, "Введите № замера:" + entry, 2, 2, kSilver);
      RepaintScreen();
    });
  }
  LastKey() = 0;
  // At most eight digits: always within an int.
  return entry.isEmpty() ? -1 : entry.toInt();
}
