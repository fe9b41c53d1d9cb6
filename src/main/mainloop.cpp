#include "main/mainloop.h"

#include <QMessageBox>
#include <cstdio>

#include "Terminal/form4.h"
#include "config/settings.h"
#include "database/database.h"
#include "link/linecheck.h"
#include "main/form1.h"
#include "main/program.h"
#include "pages/pages.h"
#include "platform/clock.h"
#include "platform/pump.h"
#include "rangeform/form40.h"
#include "screen/screen.h"
#include "springs/springtypes.h"
#include "verify/forma.h"
#include "visualiser/form30.h"

namespace {

void FadeIn() {
  IScreenWindow* w = ScreenState.window;
  if (!w) return;
  if (Settings.Visual.AlphaEnable) {
    const int step = std::max(1, Settings.Visual.AlphaKo);
    int v = 0;
    do {
      w->SetWindowAlpha(v & 0xFF);
      v += step;
      plat::SleepMs(5);
      plat::ProcessMessages();
    } while (v < 255);
    w->SetWindowAlpha(255);
  }
  w->SetAlphaBlending(false);
}

// A shift change that failed at start-up: the move may be in doubt, so no
// measurement may go into the shift file. The operator is told which file and
// why, and the program ends; the next start finishes or sets aside the move.
[[noreturn]] void StopOnFileError(const QString& text) {
  std::fprintf(stderr, "kalvor: %s\n", text.toLocal8Bit().constData());
  QMessageBox box(QMessageBox::Critical, QString(kApplicationTitle),
                  text + QStringLiteral("\n\nРабота программы будет завершена."), QMessageBox::Ok);
  box.exec();
  EndProgram(1);
}

// Key 4: the settings menu, behind the password when it is switched on. A
// wrong or empty password goes back to the menu without a word.
void OpenSettings() {
  if (Settings.Depo.PasswordEnable) {
    const int typed = PasswordPage();
    if (typed < 0 || typed != Settings.Depo.Password) return;
  }
  SettingsMenu();
}

// Key 10: the archive choice and the page it names. A date range the browser
// left switched on is dropped first, so every visit starts on the whole base.
void OpenArchive() {
  const int choice = ArchiveChoicePage();
  RecordFilterOff();
  if (choice == 2) SetArchivePage();
  if (choice == 3) ViewMeasurementsPage();
  if (choice == 1) BrowseMeasurements();
}

}  // namespace

void MainLoop() {
  IScreenWindow* w = ScreenState.window;
  if (w) {
    w->SetAlphaBlending(true);
    w->SetWindowAlpha(0);
  }
  SetupMainWindow(Settings.Visual.HD ? 3 : 1);
  DrawStartPage();
  SavePage("cash");
  RestorePage("cash");
  FadeIn();

  if (Settings.Global.Poverka && Forma) Forma->exec();
  // Test board first, then the controller's port (nothing in emulation).
  if (OpenLinePorts()) ShowErrorPage(kPortErrorCode);
  if (!Settings.Global.Emul && Settings.Hard.TerminalEnable && Settings.Hard.TerminalStart)
    ShowTerminal();
  if (Settings.Mathem.MathVisEnable && Settings.Mathem.MathVisStart) ShowMathVisualiser();
  if (Settings.Mathem.DalnomerEnable && Form40) Form40->exec();

  SavePage("per");
  if (!CheckShiftChange()) StopOnFileError(DatabaseError());
  Pause(100);
  RestorePage("per");
  StatusStrip();

  SystemCheckPage();
  LineReadyPage();
  DrawMainMenu();

  do {
    LastKey() = PollKey();
    if (LastKey() == 2) {
      RunAcceleratedModeWrapper(Database.ModeState.AcceleratedMode, MeasurementPage);
      // The measurement page puts back the main page as it was, with the
      // shift's count of before; the strip counts again, so the count shown
      // and the archive choice's key for the shift follow the new records.
      StatusStrip();
    }
    if (LastKey() == 4) OpenSettings();
    if (LastKey() == 6) BogieChoicePage();
    if (LastKey() == 8 && Settings.Global.VNenable) WagonNumbersPage();
    if (LastKey() == 10) {
      RunAcceleratedModeWrapper(Database.ModeState.AcceleratedMode, OpenArchive);
      LastKey() = 0;
      StatusStrip();
    }
    if (LastKey() == 13) SortingMode();
  } while (LastKey() != 12);
  ShutdownPage();
}
