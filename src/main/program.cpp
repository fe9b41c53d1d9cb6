#include "main/program.h"

#include <QApplication>
#include <QMainWindow>
#include <cstdio>

#include "config/settings.h"
#include "main/options.h"
#include "platform/clock.h"
#include "platform/paths.h"

int RunProgram(int argc, char** argv) {
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  const TProgramOptions options = ParseProgramOptions(args);
  if (options.help || !options.error.isEmpty()) {
    if (!options.error.isEmpty()) std::fprintf(stderr, "%s\n", qPrintable(options.error));
    std::fprintf(options.help ? stdout : stderr, "%s", qPrintable(ProgramUsage()));
    return options.help ? 0 : 2;
  }
  if (!options.home.isEmpty()) plat::SetHome(options.home);
  if (options.virtualClock) plat::UseVirtualClock(options.now);
  else if (options.now.isValid())
    plat::SetClockOffsetMs(QDateTime::currentDateTime().msecsTo(options.now));

  LoadSettings();

  QApplication app(argc, argv);
  QApplication::setApplicationName("Kalvor 4.89b1");
  QMainWindow window;
  window.resize(1024, 768);
  window.show();
  return app.exec();
}
