// springdata: the measurements and spring sets of an installation folder for
// the depot's engineers, read without changing anything in the folder.
//
//   springdata export     --home DIR [filter] [--format csv|jsonl] [--out FILE]
//   springdata sets       --home DIR [--from DAY] [--to DAY] [--format csv|jsonl] [--out FILE]
//   springdata capability --home DIR [filter] --out FOLDER
//   springdata sync       --home DIR --database CONNINFO --line NAME
//   springdata db migrate|add-line|publish|subscribe ... --database CONNINFO   (depotcommand.h)
//
// Exit codes: 0 done (findings such as a broken file tail or unknown types
// are reported on standard error), 1 a folder, file or type that cannot be
// used, 2 a wrong command line.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "backupcommand.h"
#include "lib/capability.h"
#include "lib/capabilityreport.h"
#include "depotcommand.h"
#include "lib/exportwriter.h"
#include "lib/source.h"
#include "platform/optionreader.h"

using namespace springdata;

namespace {

const char* const kUsage =
    "usage:\n"
    "  springdata export     --home DIR [FILTER] [--format csv|jsonl] [--out FILE]\n"
    "  springdata sets       --home DIR [--from DAY] [--to DAY] [--format csv|jsonl] [--out FILE]\n"
    "  springdata capability --home DIR [FILTER] --out FOLDER\n"
    "  springdata sync       --home DIR --database CONNINFO --line NAME\n"
    "  springdata db migrate|add-line|publish|subscribe ... --database CONNINFO\n"
    "  springdata backup|restore|verify ...   (springdata backup --help)\n"
    "FILTER:\n"
    "  --files base|day|both   record files to read (default both: base.bin, then day.bin)\n"
    "  --from YYYY-MM-DD       first day of the measurements\n"
    "  --to YYYY-MM-DD         last day (inclusive)\n"
    "  --bogie N|NAME          bogie type by number or name\n"
    "  --spring N|NAME         spring type by number (within --bogie) or name/designation\n"
    "Other options:\n"
    "  --decimal-point C       ',' (default, for a Russian-locale spreadsheet) or '.'\n"
    "  --quiet                 no progress on standard error\n"
    "CSV is UTF-8 with a byte-order mark, ';' between fields, RFC 4180 quoting.\n"
    "Without --out, export and sets write to standard output.\n";

int Usage(const QString& why) {
  if (!why.isEmpty()) std::fprintf(stderr, "springdata: %s\n", qPrintable(why));
  std::fputs(kUsage, stderr);
  return 2;
}

int Fail(const QString& message) {
  std::fprintf(stderr, "springdata: %s\n", message.toLocal8Bit().constData());
  return 1;
}

void Note(const QString& message) {
  std::fprintf(stderr, "springdata: %s\n", message.toLocal8Bit().constData());
}

// Progress once a second at most, so that a long run shows it is alive.
struct Progress {
  bool quiet = false;
  QElapsedTimer clock;
  qint64 lastMs = 0;
  bool shown = false;
  void operator()(const QString& file, qint64 done, qint64 total) {
    if (quiet) return;
    const qint64 ms = clock.elapsed();
    if (ms - lastMs < 1000 && done < total) return;
    if (ms < 1000 && !shown) return;  // short runs stay silent
    shown = true;
    lastMs = ms;
    std::fprintf(stderr, "springdata: %s %lld/%lld records\n", qPrintable(file),
                 static_cast<long long>(done), static_cast<long long>(total));
  }
};

// Output to a file is written whole (the platform's whole-file writer):
// an export that fails leaves the file of an earlier export as it was.
struct Output {
  QString path;
  std::optional<plat::WholeFileWriter> file;
  bool Open(const QString& target, QString& error) {
    if (target.isEmpty() || target == "-") return true;
    path = target;
    file.emplace(QFileInfo(target).absoluteFilePath());
    QString reason;
    if (file->Open(&reason)) return true;
    error = QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(path), reason);
    return false;
  }
  Sink MakeSink() { return file ? Sink(&*file) : Sink(stdout); }
  // After the sink's last flush; an unfinished export removes its temporary.
  bool Close(bool ok, QString& error) {
    if (!file) return ok;
    QString reason;
    if (!ok) return false;
    if (file->Commit(&reason)) return true;
    error = QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(path), reason);
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  // The capability pages are drawn with fonts, which need a GUI application
  // (without a display the offscreen platform serves); every other command
  // draws nothing and starts no window system nor font configuration.
  const bool draws = argc > 1 && std::strcmp(argv[1], "capability") == 0;
  if (draws && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  std::unique_ptr<QCoreApplication> app(draws ? new QGuiApplication(argc, argv) : new QCoreApplication(argc, argv));
  QStringList args = QCoreApplication::arguments().mid(1);
  if (args.isEmpty() || args.first() == "--help" || args.first() == "-h") {
    std::fputs(kUsage, args.isEmpty() ? stderr : stdout);
    return args.isEmpty() ? 2 : 0;
  }
  const QString command = args.takeFirst();
  if (command == "sync" || command == "db") return RunDepotCommand(command, args);
  if (command == "backup" || command == "restore" || command == "verify")
    return RunBackupCommand(command, args);
  if (command != "export" && command != "sets" && command != "capability")
    return Usage("unknown command " + command);

  plat::OptionReader reader;
  reader.Flag("--quiet");
  for (const char* valued : {"--home", "--files", "--from", "--to", "--bogie", "--spring",
                             "--format", "--out", "--decimal-point"})
    reader.Value(valued);
  if (QString wrong; !reader.Read(args, wrong)) return Usage(wrong);
  const QString home = reader.Get("--home"), files = reader.Get("--files", "both");
  const QString from = reader.Get("--from"), to = reader.Get("--to");
  const QString bogie = reader.Get("--bogie"), spring = reader.Get("--spring");
  const QString format = reader.Get("--format", "csv"), out = reader.Get("--out");
  const QString point = reader.Get("--decimal-point", ",");
  const bool quiet = reader.Has("--quiet");
  if (home.isEmpty()) return Usage("--home DIR is needed");
  if (files != "base" && files != "day" && files != "both")
    return Usage("--files takes base, day or both");
  if (format != "csv" && format != "jsonl") return Usage("--format takes csv or jsonl");
  if (point != "," && point != ".") return Usage("--decimal-point takes , or .");
  if (command == "capability" && out.isEmpty()) return Usage("capability needs --out FOLDER");
  if (command == "sets" && (!bogie.isEmpty() || !spring.isEmpty()))
    return Usage("sets are chosen by date only");

  RecordFilter filter;
  QStringList range;
  if (!from.isEmpty()) {
    filter.fromDay = ParseDay(from);
    if (!filter.fromDay) return Usage("--from takes a day YYYY-MM-DD, not " + from);
    range << "с " + from;
  }
  if (!to.isEmpty()) {
    filter.untilDay = ParseDay(to);
    if (!filter.untilDay) return Usage("--to takes a day YYYY-MM-DD, not " + to);
    range << "по " + to;
  }

  QString error;
  QStringList warnings;
  if (!OpenInstallation(home, error, warnings)) return Fail(error);
  for (const QString& w : warnings) Note(w);
  if (!ResolveTypes(bogie, spring, filter, error)) return Fail(error);
  if (filter.bogieType) range << QStringLiteral("тележка %1").arg(*filter.bogieType);
  if (filter.springType) range << QStringLiteral("пружина %1").arg(*filter.springType);

  Progress progress;
  progress.quiet = quiet;
  progress.clock.start();
  StreamReport report;
  report.progress = [&](const QString& f, qint64 d, qint64 t) { progress(f, d, t); };

  std::vector<std::pair<QString, const char*>> sources;
  if (files != "day") sources.emplace_back(BasePath(), "base");
  if (files != "base") sources.emplace_back(DayPath(), "day");
  QStringList sourceNames;
  for (const auto& s : sources) sourceNames << QFileInfo(s.first).fileName();

  bool ok = true;
  if (command == "capability") {
    Capability capability;
    for (const auto& [path, name] : sources) {
      if (!StreamMeasurements(path, filter, [&](const MeasurementRecord& r, qint64) { capability.Add(r); },
                              report, error))
        return Fail(error);
    }
    ReportUnknownTypes(report);
    for (const QString& f : report.findings) Note(f);
    if (capability.Emulated() > 0)
      Note(QStringLiteral("%1 records made in emulation left out").arg(capability.Emulated()));
    QStringList written;
    if (!WriteCapabilityReport(capability, ReportInfo{sourceNames.join(", "), range.join(", ")},
                               out, point.at(0).toLatin1(), written, error))
      return Fail(error);
    Note(QStringLiteral("%1 measurements of %2 spring types; written %3")
             .arg(report.accepted)
             .arg(capability.Types().size())
             .arg(QDir::toNativeSeparators(QDir(out).filePath("capability.pdf"))));
    return 0;
  }

  Output output;
  if (!output.Open(out, error)) return Fail(error);
  {
    Sink sink = output.MakeSink();
    const Format fmt = format == "csv" ? Format::Csv : Format::Jsonl;
    if (command == "export") {
      MeasurementWriter writer(sink, fmt, point.at(0).toLatin1());
      writer.Header();
      for (const auto& [path, name] : sources) {
        const char* file = name;
        ok = StreamMeasurementBytes(
            path, filter,
            [&](const char* record, const MeasurementRecord& values, qint64 pos) {
              writer.Write(record, values, file, pos);
            },
            report, error);
        if (!ok) break;
      }
    } else {
      SetWriter writer(sink, fmt);
      writer.Header();
      ok = StreamSets(TelPath(), filter, [&](const SetRecord& r, qint64 pos) { writer.Write(r, pos); },
                      report, error);
    }
    if (!sink.Flush() && ok) {
      ok = false;
      error = out.isEmpty() ? QStringLiteral("cannot write standard output")
                            : QStringLiteral("cannot write %1: %2")
                                  .arg(QDir::toNativeSeparators(out), sink.Reason());
    }
  }
  QString closeError;
  if (!output.Close(ok, closeError) && ok) return Fail(closeError);
  if (!ok) return Fail(error);
  ReportUnknownTypes(report);
  for (const QString& f : report.findings) Note(f);
  if (!quiet) Note(QStringLiteral("%1 of %2 records written").arg(report.accepted).arg(report.read));
  return 0;
}
