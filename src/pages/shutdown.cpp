// The shutdown page: the last page of every run but the Escape key. In
// emulation any key ends the run; on the line the program waits, starts
// poweroff.exe when [Global] PowerOFF asks for it, and ends.

#include "config/settings.h"
#include "pages/pages.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/pump.h"
#include "screen/screen.h"

void ShutdownPage() {
  const int off = ScreenOffsetX();
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
