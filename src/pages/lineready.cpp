// The line-ready page: "Линия готова к работе !" in the box where the check
// of the line wrote its lines; in emulation, that the line is not there.
// After a check that found something the lines stay, under a red title.

#include "config/settings.h"
#include "pages/pages.h"
#include "screen/screen.h"

void LineReadyPage() {
  const int off = ScreenOffsetX();
  if (!StartCheck.findings.isEmpty()) {
    // The lines with their "X" stay in sight beside the findings.
    FillBox(off + 10, 440, off + 408, 470, kWhite);
    SetTextStyle("Impact", 20, kRed);
    PutShadowText(off + 30, 438, "Проверка системы: замечания", 2, 2, kSilver);
    RepaintScreen();
    return;
  }
  DrawPanelBox(off + 8, 438, off + 410, 603);
  SetTextStyle("Impact", 32, kBlue);
  PutShadowText(off + 146, 450, "Линия", 2, 2, kSilver);
  PutShadowText(off + 56, 520, "готова к работе !", 2, 2, kSilver);
  if (Settings.Global.Emul) {
    SetTextStyle("Impact", 14, kRed);
    PutShadowText(off + 56, 570, kEmulationText, 1, 1, kSilver);
  }
  RepaintScreen();
}
