// The line-ready page: "Линия готова к работе !" in the box where the check
// of the line wrote its lines; in emulation, that the line is not there.

#include "config/settings.h"
#include "pages/pages.h"
#include "screen/screen.h"

void LineReadyPage() {
  const int off = ScreenOffsetX();
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
