// The shutdown page: the last page of every run but the Escape key. A sheet
// still waiting to be printed is kept as its PDF copy. In emulation any key
// ends the run; on the line the program waits, starts poweroff.exe when
// [Global] PowerOFF asks for it, and ends. The hydraulics and the press
// are switched off first.

#include <cstdio>

#include "config/settings.h"
#include "link/commands.h"
#include "pages/pages.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "print/printsheet.h"
#include "platform/pump.h"
#include "screen/screen.h"

namespace {

// Reports still waiting on the print sheet are not lost with the program:
// the sheet is kept as its PDF copy, and the page says where (or why not).
void KeepUnprintedSheet() {
  const int reports = PrintSheet.SheetReportCount;
  if (reports == 0) return;
  const QString copy = KeepPendingSheet();
  const QString head = QStringLiteral("Неотпечатанный лист (отчетов: %1)").arg(reports);
  const QString text = copy.isEmpty() ? head + QStringLiteral(" не сохранен: ") + PrintSheet.LastError
                                      : head + QStringLiteral(" сохранен в файле ") + copy;
  std::fprintf(stderr, "kalvor: %s\n", text.toLocal8Bit().constData());
  SetTextStyle("Times New Roman", 16, copy.isEmpty() ? kRed : kBlack);
  const QStringList lines = WrapText(text, 940);
  for (int i = 0; i < lines.size() && i < 4; ++i)
    PutText(ScreenOffsetX() + 40, 480 + 24 * i, lines[i]);
}

}  // namespace

void ShutdownPage() {
  const int off = ScreenOffsetX();
  // The press stops before the waits and poweroff.exe, not after them.
  SwitchLineOff();
  FillScreen(kGrey);
  DisableAllKeys();
  DrawKeyPanel();
  TitleBar("Завершение работы с комплексом", 29, kDarkGrey);
  DrawPanelBox(off + 8, 120, off + 1005, 604);
  SetFontBold(false);
  SetTextStyle("Impact", 38, kBlue);
  PutText(off + 130, 200, "Корректно выулючите компютер и");
  SetTextStyle("Impact", 72, kBlue);
  PutText(off + 24, 347, "ОБЕСТОЧЬТЕ УСТАНОВКУ!");
  KeepUnprintedSheet();
  RepaintScreen();
  if (Settings.Global.Emul) {
    // Any typed key or click on a key ends the run; no mask applies.
    while (TakeKeyChar().isNull()) {
      Pause(50);
    }
    FadeOut();
  } else {
    Pause(4000);
    if (Settings.Global.PowerOFF) {
      FadeOut();
      for (int i = 0; i < 4; ++i) {
        Pause(4000);
        plat::StartProgram(plat::MapPath("poweroff.exe"));
      }
      Pause(4000);
    }
  }
  RestoreDisplayMode();
  plat::EndProcess(0);
}
