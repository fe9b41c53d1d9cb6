#include "main/hooks.h"

#include <QApplication>
#include <QMessageBox>

#include "Terminal/form4.h"
#include "link/link.h"
#include "mathem/profiles.h"
#include "pages/pages.h"
#include "pages/shiftnotice.h"
#include "screen/screen.h"
#include "visualiser/form30.h"
#include "visualiser/visualiser.h"

void InstallHooks() {
  // The device link's debug messages ([Debug] DebugMessages) as message boxes.
  ControllerLink.ShowMessage = [](const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text,
                    QMessageBox::Ok);
    box.exec();
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
}
