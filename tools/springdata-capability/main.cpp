// springdata's capability report, a program of its own: it alone of
// springdata's commands draws (its pages and histograms are drawn with
// fonts, which need a GUI application), so springdata itself links no GUI
// library and starts without one. `springdata capability ARGS` runs this
// program, installed beside it, with the same ARGS:
//
//   springdata-capability --home DIR [filter] --out FOLDER
//
// Exit codes as springdata's: 0 done, 1 a folder, file or type that cannot
// be used, 2 a wrong command line.

#include <QDir>
#include <QGuiApplication>

#include "springdata/lib/capability.h"
#include "springdata/lib/capabilityreport.h"
#include "springdata/lib/recordcommand.h"

using namespace springdata;

int main(int argc, char** argv) {
  // Without a display the offscreen platform serves.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  RecordCommand c;
  QString error;
  if (!ReadRecordCommand("capability", QCoreApplication::arguments().mid(1), c, error)) return Usage(error);
  if (!OpenRecordCommand(c, error)) return Fail(error);

  Progress progress;
  progress.quiet = c.quiet;
  progress.clock.start();
  StreamReport report;
  report.progress = [&](const QString& f, qint64 d, qint64 t) { progress(f, d, t); };
  Capability capability;
  for (const auto& source : c.sources)
    if (!StreamMeasurements(source.first, c.filter, [&](const MeasurementRecord& r, qint64) { capability.Add(r); },
                            report, error))
      return Fail(error);
  ReportUnknownTypes(report);
  for (const QString& f : report.findings) Note(f);
  if (capability.Emulated() > 0)
    Note(QStringLiteral("%1 records made in emulation left out").arg(capability.Emulated()));
  QStringList written;
  if (!WriteCapabilityReport(capability, ReportInfo{c.sourceNames.join(", "), c.range.join(", ")}, c.out,
                             c.decimalPoint, written, error))
    return Fail(error);
  Note(QStringLiteral("%1 measurements of %2 spring types; written %3")
           .arg(report.accepted)
           .arg(capability.Types().size())
           .arg(QDir::toNativeSeparators(QDir(c.out).filePath("capability.pdf"))));
  return 0;
}
