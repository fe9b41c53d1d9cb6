#include "depotcommand.h"

#include <cstdio>

#include "lib/recordcommand.h"
#include "lib/source.h"
#include "pg/migrations.h"
#include "pg/pg.h"
#include "platform/optionreader.h"
#include "sync/admin.h"
#include "sync/sync.h"

namespace springdata {

namespace {

int Say(int code, const QString& message) {
  std::fprintf(code ? stderr : stdout, "springdata: %s\n", message.toLocal8Bit().constData());
  return code;
}

const char* const kDepotUsage =
    "usage:\n"
    "  springdata sync --home DIR --database CONNINFO --line NAME [--batch N] [--silence S] [--quiet]\n"
    "  springdata sync --check --database CONNINFO --line NAME\n"
    "      says whether the database answers, the login is the line's role and the\n"
    "      TLS chain verifies, and what to do where not\n"
    "  springdata db migrate --database CONNINFO [--time-zone ZONE] [--depot CODE | --central]\n"
    "  springdata db add-line NAME --database CONNINFO\n"
    "  springdata db publish --database ADMIN\n"
    "  springdata db subscribe --database CENTRE --depot CODE --from CONNINFO [--recopy]\n"
    "CONNINFO is a libpq connection string, a postgresql:// URI or a service name;\n"
    "passwords belong in ~/.pgpass or the service file, never on the command line.\n";

// The exit code of a sync that found another sync of its line at work.
constexpr int kLineHeld = 3;

int DepotUsage(const QString& why) {
  std::fprintf(stderr, "springdata: %s\n%s", qPrintable(why), kDepotUsage);
  return 2;
}

int Migrate(const QString& conninfo, const QString& timeZone, const QString& depotCode, bool central) {
  QStringList applied;
  QString error;
  if (central ? !depot::MigrateCentral(conninfo, timeZone, applied, error)
              : !depot::MigrateDatabase(conninfo, timeZone, depotCode, applied, error))
    return Say(1, error);
  return Say(0, applied.isEmpty() ? QStringLiteral("the depot database is up to date (schema version %1)")
                                        .arg(depot::LatestSchemaVersion())
                                  : QStringLiteral("applied %1").arg(applied.join(", ")));
}

int AddLine(const QString& conninfo, const QString& lineName) {
  QString role, error;
  bool existed = false;
  if (!depot::AddLine(conninfo, lineName, role, existed, error)) return Say(1, error);
  return Say(0, existed ? QStringLiteral("line %1 exists; its role is %2").arg(lineName, role)
                        : QStringLiteral("line %1 added; its role %2 logs in with the password "
                                         "you give it (ALTER ROLE %2 PASSWORD ...) from ~/.pgpass")
                              .arg(lineName, role));
}

int Publish(const QString& conninfo) {
  QString password, error;
  QStringList findings;
  if (!depot::PublishDepot(conninfo, password, findings, error)) return Say(1, error);
  for (const QString& f : findings) Note(f);
  return Say(0, password.isEmpty()
                    ? QStringLiteral("the depot is published as kalvor_railway; the role kalvor_replication "
                                     "keeps its password")
                    : QStringLiteral("the depot is published as kalvor_railway; the role kalvor_replication "
                                     "logs in with the password %1 (shown this once: put it into the "
                                     "centre server's ~/.pgpass)")
                          .arg(password));
}

int Subscribe(const QString& conninfo, const QString& code, const QString& from, bool recopy) {
  QString error;
  bool existed = false;
  if (!depot::SubscribeDepot(conninfo, code, from, recopy, existed, error)) return Say(1, error);
  return Say(0, existed && !recopy
                    ? QStringLiteral("depot %1 is subscribed already (--recopy copies it anew)").arg(code)
                    : QStringLiteral("depot %1 subscribed as %2: its rows are being copied, then streamed")
                          .arg(code, depot::DepotRole(code)));
}

int Sync(const QString& home, depot::SyncOptions options, bool quiet) {
  QString error;
  QStringList warnings;
  if (!OpenInstallation(home, error, warnings)) return Say(1, error);
  for (const QString& w : warnings) Note(w);
  options.files = {BasePath(), DayPath(), TelPath()};
  depot::SyncReport report;
  const bool ok = depot::SyncInstallation(options, report, error);
  for (const QString& f : report.findings) Note(f);
  if (!ok) return Say(1, error);
  if (report.held) return kLineHeld;
  if (!quiet)
    Say(0, QStringLiteral("line %1: read %2 of base.bin, %3 of day.bin, %4 sets; added %5 "
                          "measurements and %6 sets")
               .arg(options.line)
               .arg(report.baseRead)
               .arg(report.dayRead)
               .arg(report.setsRead)
               .arg(report.measurementsAdded)
               .arg(report.setsAdded));
  return 0;
}

int CheckSync(const QString& conninfo, const QString& line) {
  QStringList said;
  QString error;
  const bool ok = depot::CheckLineSync(conninfo, line, said, error);
  for (const QString& s : said) Say(0, s);
  return ok ? 0 : Say(1, error);
}

}  // namespace

int RunDepotCommand(const QString& command, QStringList args) {
  plat::OptionReader reader;
  reader.Value("--database");
  if (command == "db")
    reader.Value("--time-zone").Value("--depot").Value("--from").Flag("--central").Flag("--recopy");
  if (command == "sync")
    reader.Value("--home").Value("--line").Value("--batch").Value("--silence").Flag("--quiet").Flag("--check");
  else reader.Positionals(-1);
  QString error;
  if (!reader.Read(args, error)) return DepotUsage(error);
  QStringList words = reader.Positional();
  QString sub, lineName;
  if (command == "db") {
    if (words.isEmpty()) return DepotUsage("db needs migrate, add-line, publish or subscribe");
    sub = words.takeFirst();
    if (!QStringList{"migrate", "add-line", "publish", "subscribe"}.contains(sub))
      return DepotUsage("unknown db command " + sub);
    if (sub == "add-line") {
      if (words.isEmpty()) return DepotUsage("add-line needs NAME");
      lineName = words.takeFirst();
    }
    if (!words.isEmpty()) return DepotUsage("unexpected argument " + words.first());
  }
  const QString home = reader.Get("--home"), conninfo = reader.Get("--database");
  const QString line = reader.Get("--line"), batch = reader.Get("--batch");
  if (conninfo.isEmpty()) return DepotUsage("--database CONNINFO is needed");
  QByteArray completed;
  if (!depot::CheckConninfo(conninfo, completed, error)) return DepotUsage(error);
  const QString depotCode = reader.Get("--depot");
  if (sub == "migrate") {
    if (reader.Has("--central") && !depotCode.isEmpty())
      return DepotUsage("--depot and --central exclude each other");
    return Migrate(conninfo, reader.Get("--time-zone"), depotCode, reader.Has("--central"));
  }
  if (sub == "add-line") return AddLine(conninfo, lineName);
  if (sub == "publish") return Publish(conninfo);
  if (sub == "subscribe") {
    if (depotCode.isEmpty() || reader.Get("--from").isEmpty())
      return DepotUsage("subscribe needs --depot CODE and --from CONNINFO");
    return Subscribe(conninfo, depotCode, reader.Get("--from"), reader.Has("--recopy"));
  }

  if (line.isEmpty()) return DepotUsage("--line NAME is needed");
  if (reader.Has("--check")) return CheckSync(conninfo, line);
  if (home.isEmpty()) return DepotUsage("--home DIR is needed");
  depot::SyncOptions options;
  options.conninfo = conninfo;
  options.line = line;
  if (!batch.isEmpty()) {
    bool ok = false;
    options.batchRecords = batch.toInt(&ok);
    if (!ok || options.batchRecords < 1 || options.batchRecords > 100000)
      return DepotUsage("--batch takes 1..100000 records");
  }
  if (const QString silence = reader.Get("--silence"); !silence.isEmpty()) {
    bool ok = false;
    options.silenceSeconds = silence.toInt(&ok);
    if (!ok || options.silenceSeconds < 1 || options.silenceSeconds > 600)
      return DepotUsage("--silence takes 1..600 seconds");
  }
  return Sync(home, options, reader.Has("--quiet"));
}

}  // namespace springdata
