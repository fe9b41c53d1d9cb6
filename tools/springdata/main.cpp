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

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unistd.h>

#include "backupcommand.h"
#include "depotcommand.h"
#include "lib/exportwriter.h"
#include "lib/recordcommand.h"
#include "lib/source.h"

using namespace springdata;

namespace {

// The capability report is drawn by a program of its own beside this one
// (springdata-capability, installed as kalvor-springdata-capability beside
// kalvor-springdata): the one command that draws needs the GUI libraries,
// and every other command starts faster without them. It takes this
// process's place with the arguments after the command word, so its output
// and exit code are the command's.
int RunCapability(int argc, char** argv) {
  const QByteArray program = QFile::encodeName(QCoreApplication::applicationFilePath() + "-capability");
  std::vector<char*> args{const_cast<char*>(program.constData())};
  for (int i = 2; i < argc; ++i) args.push_back(argv[i]);
  args.push_back(nullptr);
  std::fflush(nullptr);
  execv(program.constData(), args.data());
  return Fail(QStringLiteral("cannot run %1: %2").arg(QFile::decodeName(program), QString::fromLocal8Bit(std::strerror(errno))));
}

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
  // No command draws here (the capability report runs apart), so this is a
  // core application: no window system, no font configuration.
  QCoreApplication app(argc, argv);
  QStringList args = QCoreApplication::arguments().mid(1);
  if (args.isEmpty() || args.first() == "--help" || args.first() == "-h") {
    std::fputs(UsageText(), args.isEmpty() ? stderr : stdout);
    return args.isEmpty() ? 2 : 0;
  }
  const QString command = args.takeFirst();
  if (command == "capability") return RunCapability(argc, argv);
  if (command == "sync" || command == "db") return RunDepotCommand(command, args);
  if (command == "backup" || command == "restore" || command == "verify")
    return RunBackupCommand(command, args);
  if (command != "export" && command != "sets") return Usage("unknown command " + command);

  RecordCommand c;
  QString error;
  if (!ReadRecordCommand(command, args, c, error)) return Usage(error);
  if (!OpenRecordCommand(c, error)) return Fail(error);
  const QString& out = c.out;
  Progress progress;
  progress.quiet = c.quiet;
  progress.clock.start();
  StreamReport report;
  report.progress = [&](const QString& f, qint64 d, qint64 t) { progress(f, d, t); };

  bool ok = true;
  Output output;
  if (!output.Open(out, error)) return Fail(error);
  {
    Sink sink = output.MakeSink();
    const Format fmt = c.format == "csv" ? Format::Csv : Format::Jsonl;
    if (command == "export") {
      MeasurementWriter writer(sink, fmt, c.decimalPoint);
      writer.Header();
      for (const auto& [path, name] : c.sources) {
        const char* file = name;
        ok = StreamMeasurementBytes(
            path, c.filter,
            [&](const char* record, const MeasurementRecord& values, qint64 pos) {
              writer.Write(record, values, file, pos);
            },
            report, error);
        if (!ok) break;
      }
    } else {
      SetWriter writer(sink, fmt);
      writer.Header();
      ok = StreamSets(TelPath(), c.filter, [&](const SetRecord& r, qint64 pos) { writer.Write(r, pos); },
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
  if (!c.quiet) Note(QStringLiteral("%1 of %2 records written").arg(report.accepted).arg(report.read));
  return 0;
}
