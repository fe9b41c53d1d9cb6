#include "main/options.h"

#include "platform/optionreader.h"

TProgramOptions ParseProgramOptions(const QStringList& args) {
  TProgramOptions o;
  plat::OptionReader reader;
  reader.Value("--home").Value("--play").Flag("--virtual-clock").Value("--line-clock");
  reader.Value("--now").Flag("--help").Flag("-h");
  // Qt reads its own options from the same line; these four take a value.
  for (const char* qt : {"-platform", "-display", "-style", "-qwindowgeometry"})
    reader.Foreign(qt, 1);
  reader.PassSingleDash().Positionals(-1);
  if (!reader.Read(args.mid(1), o.error)) return o;
  o.home = reader.Get("--home");
  o.playFile = reader.Get("--play");
  o.virtualClock = reader.Has("--virtual-clock");
  o.lineClock = reader.Get("--line-clock");
  o.help = reader.Has("--help") || reader.Has("-h");
  if (reader.Has("--now")) {
    const QString v = reader.Get("--now");
    o.now = QDateTime::fromString(v, Qt::ISODate);
    if (!o.now.isValid())
      o.error = QString("--now wants YYYY-MM-DDTHH:MM:SS, not \"%1\"").arg(v);
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
