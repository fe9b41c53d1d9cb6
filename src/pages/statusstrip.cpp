// The status strip at the bottom right of the main page: the measurement
// mode, where reports go, the product name, the shift's count, the bogie type
// in use and the wagon numbers.

#include "config/settings.h"
#include "database/database.h"
#include "pages/pages.h"
#include "screen/screen.h"
#include "springs/springtypes.h"

void StatusStrip() {
  // Afresh from the files, so that the strip shows what a measurement or a
  // page has saved. A state file that can't be read leaves memory as it was.
  LoadShiftState();
  LoadModeState();
  const TModeState& mode = Database.ModeState;
  const int x = ScreenOffsetX();
  SetFontBold(false);

  DrawPicture(mode.FastMode ? "mimim.bmp" : "nomimim.bmp", x + 860, 576);
  if (mode.AcceleratedMode) DrawPicture("fast.bmp", x + 860, 576);
  DrawPicture(Settings.Global.Print_in_file ? "printikf.bmp" : "printik.bmp", x + 860, 532);
  SetTextStyle("Impact", 24, kBlue);
  PutShadowText(x + 900, 576, "Kalvor-М", 2, 2, kSilver);
  DrawPicture("spring.bmp", x + 975, 532);

  // The count is kept for the archive choice.
  const int count = ShiftMeasurementCount();
  Database.ModeState.ShiftCount = count;
  if (count >= 1) {
    SetTextStyle("Impact", 12, kBlue);
    const QString text = QString::number(count);
    const int tx = x + 994 - TextWidth(text) / 2;
    PutShadowText(tx, 546, text, 1, 1, kSilver);
    PutShadowText(tx, 546, text, -1, -1, kSilver);
  }

  if (Settings.Depo.ProgressChassieEnabled) {
    FillBox(x + 906, 532, x + 970, 578, kBlack);
    FillBox(x + 907, 533, x + 969, 577, kSilver);
    SetTextStyle("Impact", 10, kBlue);
    PutShadowText(x + 912, 536, "Тележка", 1, 1, kSilver);
    PutShadowText(x + 912, 554, CurrentBogie().Name, 1, 1, kSilver);
  }

  if (Settings.Global.VNenable) {
    const TShiftState& shift = Database.ShiftState;
    FillBox(x + 485, 532, x + 850, 613, kBlack);
    FillBox(x + 486, 533, x + 849, 612, kWhite);
    DrawPicture("miniVNE.bmp", x + 495, 542);
    SetTextStyle("Times New Roman", 12, kBlue);
    PutText(x + 590, 534, "Пружины снимаются с вагона:");
    SetTextStyle("Arial", 12, kBlack);
    PutText(x + 590, 552, shift.WagonFrom);
    SetTextStyle("Times New Roman", 12, kBlue);
    PutText(x + 590, 570, "Пружины устанавливаются на вагон:");
    SetTextStyle("Arial", 12, kBlack);
    PutText(x + 590, 588, shift.WagonTo);
  }
  RepaintScreen();
}
