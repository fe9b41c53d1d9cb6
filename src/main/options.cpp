#include "main/options.h"

TProgramOptions ParseProgramOptions(const QStringList& args) {
  TProgramOptions o;
  for (int i = 1; i < args.size(); ++i) {
    const QString& a = args[i];
    auto value = [&](const QString& name) -> QString {
      if (i + 1 >= args.size()) {
        o.error = QString("Option %1 needs a value").arg(name);
        return QString();
      }
      return args[++i];
    };
    if (a == "--home") {
      o.home = value(a);
    } else if (a == "--play") {
      o.playFile = value(a);
    } else if (a == "--virtual-clock") {
      o.virtualClock = true;
    } else if (a == "--line-clock") {
      o.lineClock = value(a);
    } else if (a == "--now") {
      const QString v = value(a);
      o.now = QDateTime::fromString(v, Qt::ISODate);
      if (!o.now.isValid() && o.error.isEmpty())
        o.error = QString("--now wants YYYY-MM-DDTHH:MM:SS, not \"%1\"").arg(v);
    } else if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "-platform" || a == "-display" || a == "-style" || a == "-qwindowgeometry") {
      ++i;  // Qt's own options with a value
    } else if (a.startsWith("--")) {
      o.error = QString("Unknown option %1").arg(a);
    }
  }
  return o;
}

QString ProgramUsage() {
  return QStringLiteral(
      "Usage: kalvor [--home DIR] [--virtual-clock] [--now YYYY-MM-DDTHH:MM:SS] [--play FILE]\n"
      "              [--line-clock FILE] [-platform offscreen]\n"
      "  --home DIR        installation folder (setup.ini, BMP, Report, ...); default: the\n"
      "                    folder of the executable for setup.ini, the current folder for data\n"
      "  --virtual-clock   every wait advances a virtual clock at once (tests, playback)\n"
      "  --now T           the program's clock starts at local time T\n"
      "  --line-clock FILE with --virtual-clock: the simulated line started with\n"
      "                    linesim --clock FILE keeps the program's time\n"
      "  --play FILE       run the steps of a playback script\n");
}
