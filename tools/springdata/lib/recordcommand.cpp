#include "recordcommand.h"

#include <QFileInfo>
#include <cstdio>

#include "platform/optionreader.h"

namespace springdata {

const char* UsageText() {
  return "usage:\n"
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
}

void Note(const QString& message) {
  std::fprintf(stderr, "springdata: %s\n", message.toLocal8Bit().constData());
}

int Usage(const QString& why) {
  if (!why.isEmpty()) std::fprintf(stderr, "springdata: %s\n", qPrintable(why));
  std::fputs(UsageText(), stderr);
  return 2;
}

int Fail(const QString& message) {
  Note(message);
  return 1;
}

void Progress::operator()(const QString& file, qint64 done, qint64 total) {
  if (quiet) return;
  const qint64 ms = clock.elapsed();
  if (ms - lastMs < 1000 && done < total) return;
  if (ms < 1000 && !shown) return;  // short runs stay silent
  shown = true;
  lastMs = ms;
  std::fprintf(stderr, "springdata: %s %lld/%lld records\n", qPrintable(file), static_cast<long long>(done),
               static_cast<long long>(total));
}

bool ReadRecordCommand(const QString& command, const QStringList& args, RecordCommand& c, QString& error) {
  plat::OptionReader reader;
  reader.Flag("--quiet");
  for (const char* valued :
       {"--home", "--files", "--from", "--to", "--bogie", "--spring", "--format", "--out", "--decimal-point"})
    reader.Value(valued);
  if (!reader.Read(args, error)) return false;
  c.command = command;
  c.home = reader.Get("--home");
  c.files = reader.Get("--files", "both");
  c.format = reader.Get("--format", "csv");
  c.out = reader.Get("--out");
  c.quiet = reader.Has("--quiet");
  const QString from = reader.Get("--from"), to = reader.Get("--to");
  c.bogie = reader.Get("--bogie");
  c.spring = reader.Get("--spring");
  const QString point = reader.Get("--decimal-point", ",");
  if (c.home.isEmpty()) error = "--home DIR is needed";
  else if (c.files != "base" && c.files != "day" && c.files != "both") error = "--files takes base, day or both";
  else if (c.format != "csv" && c.format != "jsonl") error = "--format takes csv or jsonl";
  else if (point != "," && point != ".") error = "--decimal-point takes , or .";
  else if (command == "capability" && c.out.isEmpty()) error = "capability needs --out FOLDER";
  else if (command == "sets" && (!c.bogie.isEmpty() || !c.spring.isEmpty())) error = "sets are chosen by date only";
  if (!error.isEmpty()) return false;
  c.decimalPoint = point.at(0).toLatin1();
  // A day option, when given, bounds the filter and names the range.
  const auto day = [&](const char* option, const QString& text, std::optional<double>& bound, const char* word) {
    if (text.isEmpty()) return true;
    bound = ParseDay(text);
    if (!bound) {
      error = QString::fromLatin1(option) + " takes a day YYYY-MM-DD, not " + text;
      return false;
    }
    c.range << QString::fromUtf8(word) + " " + text;
    return true;
  };
  return day("--from", from, c.filter.fromDay, "с") && day("--to", to, c.filter.untilDay, "по");
}

bool OpenRecordCommand(RecordCommand& c, QString& error) {
  QStringList warnings;
  if (!OpenInstallation(c.home, error, warnings)) return false;
  for (const QString& w : warnings) Note(w);
  if (!ResolveTypes(c.bogie, c.spring, c.filter, error)) return false;
  if (c.filter.bogieType) c.range << QStringLiteral("тележка %1").arg(*c.filter.bogieType);
  if (c.filter.springType) c.range << QStringLiteral("пружина %1").arg(*c.filter.springType);
  if (c.files != "day") c.sources.emplace_back(BasePath(), "base");
  if (c.files != "base") c.sources.emplace_back(DayPath(), "day");
  for (const auto& s : c.sources) c.sourceNames << QFileInfo(s.first).fileName();
  return true;
}

}  // namespace springdata
