// The clock page: the computer's clock shows an earlier day than the shift
// in Config\now.txt. Nothing has moved: the operator either goes on in the
// stored shift, whose numbering the new measurements continue, or ends the
// program to set the clock right.

#include "database/database.h"
#include "pages/pages.h"
#include "screen/pageguard.h"
#include "screen/screen.h"

bool ClockBehindPage(const QDate& shift, const QDate& today) {
  const QString day = QStringLiteral("dd.MM.yyyy");
  const int count = ShiftMeasurementCount();
  const QString next = MeasurementIdentifier(count + 1, shift);
  {
    const PageGuard guard("clock");
    const int off = ScreenOffsetX();
    // The page's ground first: the status strip's mode picture reaches
    // below the box and would show under it.
    FillWorkArea();
    DrawPanelBox(off + 8, 120, off + 1005, 604);
    SetFontBold(false);
    SetTextStyle("Impact", 40, kRed);
    PutShadowText(off + 40, 136, "Часы компьютера отстают !", 2, 2, kSilver);

    SetTextStyle("Times New Roman", 18, kBlack);
    const auto line = [off](int y, const QString& text) {
      PutShadowText(off + 40, y, text, 1, 1, kSilver);
    };
    line(214, "Дата по часам компьютера:  " + today.toString(day));
    line(242, "Дата текущей смены:  " + shift.toString(day) +
                  QStringLiteral("   (замеров за смену: %1)").arg(count));
    line(284, "Смена не сменена, данные не перенесены, замер не начат.");
    SetTextStyle("Times New Roman", 18, kBlue);
    line(334, "«Продолжить смену»: замеры получат следующие номера этой смены");
    line(362, "(" + next + " и далее), время в записи - по часам компьютера.");
    line(404, "«Заверш. работы»: затем установите верные дату и время");
    line(432, "средствами операционной системы и запустите программу снова.");

    DisableAllKeys();
    EnableKey(3);
    EnableKey(12);
    DrawKeyPanel();
    DrawKeyCaption("Продолжить", "смену", 3);
    DrawKeyCaption("Заверш.", "работы", 12);
    RepaintScreen();
    KeyCode key = 0;
    do key = PollKey();
    while (key != 3 && key != 12);
    if (key == 3) return true;
  }
  ShutdownPage();
}
