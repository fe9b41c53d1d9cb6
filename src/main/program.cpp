#include "main/program.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <cstdio>

#include "Terminal/form4.h"
#include "config/settings.h"
#include "database/database.h"
#include "main/form1.h"
#include "main/hooks.h"
#include "main/instance.h"
#include "main/options.h"
#include "platform/clock.h"
#include "platform/lineclock.h"
#include "platform/paths.h"
#include "rangeform/form40.h"
#include "sbormeny/form2.h"
#include "verify/forma.h"
#include "screen/focus.h"
#include "screen/playback.h"
#include "screen/screen.h"
#include "springs/springtypes.h"
#include "visualiser/form30.h"

namespace {

// The module start-up, in the order the modules depend on each other: the
// database binds its files and loads the shift state; the settings, then the
// bogie and spring-type file they name and the emptying switches; the page
// offset; the mode state. Returns what stops the start, empty when nothing
// does.
QString InitModules() {
  QString error = InitDatabaseModule();
  LoadSettings();
  // What the bogie file could not give is kept for the start page to show
  // (SpringTypesLoadReport).
  LoadSpringTypes();
  // A failure is kept for the start-up to show (DatabaseStartupError).
  ApplyDatabaseSettings();
  ResetScreenModule(1024, 768);
  InitScreenModule();
  if (error.isEmpty()) error = InitModeState();
  if (error.isEmpty()) error = DatabaseStartupError();
  return error;
}

}  // namespace

int RunProgram(int argc, char** argv) {
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  const TProgramOptions options = ParseProgramOptions(args);
  if (options.help || !options.error.isEmpty()) {
    if (!options.error.isEmpty()) std::fprintf(stderr, "kalvor: %s\n", qPrintable(options.error));
    std::fprintf(options.help ? stdout : stderr, "%s", qPrintable(ProgramUsage()));
    return options.help ? 0 : 2;
  }
  if (!options.home.isEmpty()) {
    if (!QDir(options.home).exists()) {
      std::fprintf(stderr, "kalvor: the folder %s does not exist\n", qPrintable(options.home));
      return 2;
    }
    plat::SetHome(options.home);
  }
  if (options.virtualClock)
    plat::UseVirtualClock(options.now);
  else if (options.now.isValid())
    plat::SetClockOffsetMs(QDateTime::currentDateTime().msecsTo(options.now));
  if (!options.lineClock.isEmpty()) {
    if (const QString error = plat::FollowLineClock(options.lineClock); !error.isEmpty()) {
      std::fprintf(stderr, "kalvor: %s\n", qPrintable(error));
      return 2;
    }
  }

  QApplication app(argc, argv);
  if (options.home.isEmpty()) plat::SetProgramDir(QCoreApplication::applicationDirPath());
  // A second copy is refused before any module touches a file: its start-up
  // could otherwise empty a record file (the Destroy switches) or finish a
  // shift change the running copy is in the middle of. Under playback nobody
  // sits at the screen: the refusal goes to standard error and the copy ends
  // at once, before any step of its script runs.
  if (!SingleInstanceCheck(options.playFile.isEmpty())) return 1;
  if (!options.playFile.isEmpty()) {
    QString error;
    if (!StartPlayback(QDir::current().absoluteFilePath(options.playFile), &error)) {
      std::fprintf(stderr, "kalvor: %s\n", qPrintable(error));
      return 2;
    }
  }

  if (const QString error = InitModules(); !error.isEmpty()) {
    std::fprintf(stderr, "kalvor: %s\n", error.toLocal8Bit().constData());
    QMessageBox box(QMessageBox::Critical, QString(kApplicationTitle), error, QMessageBox::Ok);
    box.exec();
    return 1;
  }

  QApplication::setApplicationName(kApplicationTitle);
  QApplication::setApplicationDisplayName(kApplicationTitle);
  // The windows in their order; the service forms stay hidden until asked for.
  TForm1 form1;
  Form1 = &form1;
  TForm4 form4(&form1);  // the service terminal: installs the link's caption and memo hooks
  TForm40 form40(&form1);
  Form40 = &form40;
  TForm30 form30(&form1);  // the visualiser: exists for the whole run, shown on demand
  TForm2 form2(&form1);    // the assembly form, shown by a right click on the selection page
  Form2 = &form2;
  TForma forma(&form1);
  Forma = &forma;
  InstallHooks();
  SetPlaybackMainWindow(&form1);
  KeepKeyboardOnMainWindow(&form1);
  form1.show();
  // The start's pause is a wait like any other: on the virtual clock it
  // passes at once, where it cost every run of the program a tenth of a
  // second of real time and nothing else (the clock stands still meanwhile).
  if (plat::IsVirtualClock()) form1.Starter->setInterval(0);
  form1.Starter->start();
  return app.exec();
}
