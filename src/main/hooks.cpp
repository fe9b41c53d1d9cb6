#include "main/hooks.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "Terminal/form4.h"
#include "VRED/fvred.h"
#include "database/database.h"
#include "link/commands.h"
#include "link/link.h"
#include "mathem/profiles.h"
#include "pages/pages.h"
#include "pages/shiftnotice.h"
#include "platform/clocktimer.h"
#include "print/printsheet.h"
#include "sbormeny/form2.h"
#include "screen/screen.h"
#include "sorting/springlists.h"
#include "visualiser/form30.h"
#include "visualiser/visualiser.h"

namespace {

void ShowMessageBox(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text,
                  QMessageBox::Ok);
  box.exec();
}

}  // namespace

void InstallHooks() {
  // The device link's debug messages ([Debug] DebugMessages) as message boxes.
  ControllerLink.ShowMessage = ShowMessageBox;
  // A sheet that could not be printed (and where its copy is), a report that
  // could not be made.
  PrintSheet.ShowMessage = ShowMessageBox;
  // A printed sheet switches the service terminal's sensor poll off.
  PrintSheet.AfterPrint = [] {
    if (Form4) Form4->Timer1->stop();
  };
  // A camera profile that cannot be had: its error page, which ends the
  // program; the reason as a message under the visualiser's caption.
  ProfileStore.errorPage = [](int code) { ShowErrorPage(code); };
  ProfileStore.message = ShowVisualiserMessage;
  // The visualiser draws every step of the profile mathematics.
  ConnectVisualiser();
  // The shade and the notice "Идет перенос данных !" of a shift change.
  InstallShiftChangePage();
  // The "_" key outside emulation: the service terminal with its poll.
  ScreenState.showTerminal = ShowTerminal;
  // The "!" key outside emulation, and the terminal's "Показ".
  ScreenState.showMathVis = ShowMathVisualiser;
  // Escape, the service forms' ways out: the hydraulics and the press
  // stopped before the program ends, where the line is attached.
  ScreenState.beforeEnd = SwitchLineOff;
  // A new shift starts the sorting mode's spring lists empty.
  Database.ShiftChangeListener = SpringListsShiftChangeListener;
  // A clock behind the shift: the page that says so and asks how to go on.
  Database.ConfirmClockBehind = ClockBehindPage;
  // A right click while the selection page is open: the assembly form, which
  // does not block the page. No page has allowed it yet.
  ScreenState.assemblyFormFlag = false;
  ScreenState.showAssembly = [] {
    if (Form2) Form2->ShowBeside();
  };
  // The limits page with [Debug] " Vred": the parameter editor, modal.
  ScreenState.showParameterEditor = ShowParameterEditor;
}
