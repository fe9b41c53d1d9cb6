// Service tool for the line's database files in an installation folder:
// runs the database part of the program's start-up (including the shift
// change), fills the shift file with test measurements and lists the files.
//
//   dbtool --home DIR [--now YYYY-MM-DDTHH:MM:SS] [--slow MS] [--die-at STEP] COMMAND
//
// Commands:
//   start         the database start-up steps, then the shift change
//   fill N        appends N measurements of today to the shift file
//   count         prints the record counts of base.bin, day.bin and Tel.bin
//   list base|day prints the identifiers of one record file, one per line
//
// --slow MS waits MS milliseconds at every step and after every block of a
// shift change and prints the progress ("STEP DONE TOTAL", e.g.
// "copying 512 3000"); --die-at ends the process with
// SIGKILL at one step of a shift change (journal, copying, copied, cleared,
// saved), as a power cut would.

#include <QCoreApplication>
#include <QDateTime>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "config/settings.h"
#include "database/database.h"
#include "platform/clock.h"
#include "platform/optionreader.h"
#include "platform/owner.h"
#include "platform/paths.h"
#include "springs/springtypes.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: dbtool --home DIR [--as-owner] [--now ISO-DATE-TIME] [--slow MS] [--die-at STEP] "
               "start | fill N | count | list base|day\n");
  return 2;
}

const char* StepName(ShiftChangeStep s) {
  switch (s) {
    case ShiftChangeStep::JournalWritten: return "journal";
    case ShiftChangeStep::Copying: return "copying";
    case ShiftChangeStep::Copied: return "copied";
    case ShiftChangeStep::ShiftCleared: return "cleared";
    case ShiftChangeStep::StateSaved: return "saved";
  }
  return "";
}

int Fail(const QString& message) {
  std::fprintf(stderr, "%s\n", qPrintable(message));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  plat::OptionReader reader;
  reader.Value("--home").Value("--now").Value("--slow").Value("--die-at").Flag(plat::kAsOwnerOption);
  reader.OptionsFirst().Positionals(-1);
  QString error;
  if (!reader.Read(app.arguments().mid(1), error)) return Usage();
  const QString home = reader.Get("--home"), dieAt = reader.Get("--die-at");
  const int slowMs = reader.Has("--slow") ? reader.Get("--slow").toInt() : -1;
  const QDateTime now = QDateTime::fromString(reader.Get("--now"), Qt::ISODate);
  QStringList args = reader.Positional();
  if (home.isEmpty() || args.isEmpty()) return Usage();
  if (!plat::RunAsInstallationOwner(home, reader.Has(plat::kAsOwnerOption), "kalvor-dbtool", error))
    return Fail(error);
  plat::SetHome(home);
  if (now.isValid()) plat::UseVirtualClock(now);
  const QString command = args.takeFirst();

  Database.ShiftChangeProbe = [&](ShiftChangeStep step, int done, int total) {
    if (slowMs >= 0) {
      std::printf("%s %d %d\n", StepName(step), done, total);
      std::fflush(stdout);
      ::usleep(static_cast<useconds_t>(slowMs) * 1000);
    }
    // Halfway through the copy for "copying", so that some records are out.
    if (dieAt == StepName(step) && (step != ShiftChangeStep::Copying || done * 2 >= total))
      ::kill(::getpid(), SIGKILL);
  };

  // The program's start-up order for the database.
  InitDatabaseModule();
  LoadSettings();
  LoadSpringTypes();
  ApplyDatabaseSettings();
  InitModeState();
  if (!DatabaseStartupError().isEmpty()) return Fail(DatabaseStartupError());

  // The settings put "?" in place of the wagon numbers; like the main page,
  // bring the stored ones back before anything saves the shift state.
  if (!LoadShiftState()) return Fail(DatabaseError());

  if (command == "start") {
    if (!CheckShiftChange()) return Fail(DatabaseError());
    return 0;
  }
  if (command == "fill") {
    if (args.isEmpty()) return Usage();
    const int n = args.first().toInt();
    for (int k = 0; k < n; ++k) {
      const int index = ShiftMeasurementCount();
      MeasurementRecord r;
      r.Identifier = MeasurementIdentifier(index + 1);
      r.Date = plat::Now();
      r.SpringType = 1;
      r.BogieType = static_cast<uint8_t>(Database.ModeState.BogieType);
      for (int p = 1; p <= 6; ++p) r.Param[p].Value = static_cast<float>(100 * p + index % 100);
      r.WagonFrom = Database.ShiftState.WagonFrom;
      r.WagonTo = Database.ShiftState.WagonTo;
      if (!AppendShiftMeasurement(r)) return Fail(DatabaseError());
    }
    return 0;
  }
  if (command == "count") {
    std::printf("base %d\nday %d\ntel %d\n", MeasurementCount(), ShiftMeasurementCount(),
                SetCount());
    return DatabaseError().isEmpty() ? 0 : Fail(DatabaseError());
  }
  if (command == "list") {
    if (args.isEmpty()) return Usage();
    const bool base = args.first() == "base";
    const int n = base ? MeasurementCount() : ShiftMeasurementCount();
    for (int i = 0; i < n; ++i) {
      MeasurementRecord r;
      if (!(base ? ReadMeasurement(i, r) : ReadShiftMeasurement(i, r))) return Fail(DatabaseError());
      std::printf("%s\n", qPrintable(r.Identifier));
    }
    return 0;
  }
  return Usage();
}
