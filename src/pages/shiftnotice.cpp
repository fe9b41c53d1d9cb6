#include "pages/shiftnotice.h"

#include "database/database.h"
#include "screen/screen.h"

// Without a canvas (before the window exists) there is nothing to draw on.

void ShadeShiftChangePage() {
  if (Screen().isNull()) return;
  ShadeWorkArea();
  RepaintScreen();
}

void DrawTransferNotice() {
  if (Screen().isNull()) return;
  const int x = ScreenOffsetX();
  DrawPanelBox(x + 8, 438, x + 810, 603);
  SetTextStyle("Impact", 32, kBlue);
  PutShadowText(x + 30, 495, QStringLiteral("Идет перенос данных !"), 2, 2, kSilver);
  // The move does not pump messages; show the notice before it starts.
  RepaintScreen();
}

void InstallShiftChangePage() {
  Database.ShadeForShiftChange = ShadeShiftChangePage;
  Database.ShowTransferNotice = DrawTransferNotice;
}
