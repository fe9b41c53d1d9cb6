#include "depotsync.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>
#include <cstdio>
#include <future>
#include <limits>

#include "database/recordfile.h"
#include "measurement/judgement.h"
#include "options.h"
#include "pg/migrations.h"
#include "pg/pg.h"
#include "platform/clock.h"
#include "sorting/heightgroup.h"
#include "source.h"
#include "springs/springtypes.h"

namespace springdata {

namespace {

constexpr const char* kProgram = "springdata";

// The columns the sync fills, in the order of its COPY rows; synced_at takes
// its default.
QByteArray MeasurementColumns() {
  QByteArray c =
      "line, identifier, measured_at, bogie_type, spring_type, bogie_name, spring_name, kind, "
      "accelerated, emulated";
  for (const char* field : {"value", "good", "measured", "min", "max", "tolerance"})
    for (int p = 1; p <= 6; ++p) c += QByteArray(", p") + QByteArray::number(p) + '_' + field;
  c += ", judged, spring_good, height_group, free_height, wagon_from, wagon_to, source";
  return c;
}

const char* const kSetColumns =
    "line, position, bogie_number, bogie_works, bogie_year, set_date, wagon_from, wagon_to, "
    "left_number, left_works, left_year, left_outer, left_inner, "
    "right_number, right_works, right_year, right_outer, right_inner";

void Tab(QByteArray& row) { row += '\t'; }

void Text(QByteArray& row, const QString& text) { depot::AppendCopyText(row, text.toUtf8()); }

void Int(QByteArray& row, qint64 v) { row += QByteArray::number(v); }

void Bool(QByteArray& row, bool v) { row += v ? 't' : 'f'; }

// 9 digits give a 32-bit value back exactly; a 64-bit norm goes with all
// its digits, so that the database rounds it as the judgement does.
void Real(QByteArray& row, double v, int digits = 9) {
  if (std::isfinite(v)) row += QByteArray::number(v, 'g', digits);
  else depot::AppendCopyNull(row);
}

// The stored day number as the moment it names: the line's local time (the
// time zone of this machine, which is the line's), in UTC for the database.
// Empty for a date that names no moment (a damaged record).
//
// A zone's offset changes only at its transitions, which fall on whole
// quarter hours of local time; so the conversion through the zone, the
// costly part of a row, is made once per quarter hour and its shift reused
// for the records of the same quarter (a local time that a transition skips
// is moved as the zone moves it, the same for the whole quarter).
class MeasuredAt {
 public:
  QByteArray operator()(double days) {
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6) return {};
    double whole = 0;
    double fraction = std::modf(days, &whole);
    if (fraction < 0) fraction = -fraction;
    qint64 ms = static_cast<qint64>(fraction * 86400000.0 + 0.5);
    if (ms >= 86400000) ms = 86399999;
    // The local clock's reading counted as if it were UTC.
    const qint64 clock = (static_cast<qint64>(whole) - kUnixDay) * 86400000 + ms;
    const qint64 quarter = static_cast<qint64>(whole) * 96 + ms / 900000;
    if (quarter != quarter_) {
      const QDateTime local = plat::DaysToDateTime(days);
      valid_ = local.isValid();
      shift_ = valid_ ? local.toMSecsSinceEpoch() - clock : 0;
      quarter_ = quarter;
    }
    if (!valid_) return {};
    const qint64 utc = clock + shift_;
    const qint64 day = utc >= 0 ? utc / 86400000 : -((-utc + 86399999) / 86400000);
    const QDate date = QDate::fromJulianDay(kUnixJulianDay + day);
    const qint64 t = utc - day * 86400000;
    if (!date.isValid() || date.year() < 1) return {};
    char text[48];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d+00", date.year(),
                                date.month(), date.day(), int(t / 3600000), int(t / 60000 % 60),
                                int(t / 1000 % 60), int(t % 1000));
    return QByteArray(text, n);
  }

 private:
  static constexpr qint64 kUnixDay = 25569;           // 1 January 1970 as a stored day number
  static constexpr qint64 kUnixJulianDay = 2440588;   // the same as a Julian day
  qint64 quarter_ = std::numeric_limits<qint64>::min();
  qint64 shift_ = 0;
  bool valid_ = false;
};

// One COPY row of a measurement; false (nothing appended) when its date
// reads as no moment.
bool AppendMeasurementRow(QByteArray& row, const QByteArray& line, const MeasurementRecord& r,
                          const char* source, MeasuredAt& measuredAt) {
  const QByteArray at = measuredAt(r.Date);
  if (at.isEmpty()) return false;
  JudgeMeasurement(r);
  const bool judged = Judgement.Judged;
  const SpringType* type = judged ? FindSpringType(r.BogieType, r.SpringType) : nullptr;
  // A value that is no measurement of the spring (left out by a fast
  // measurement, or marked by the line) has no value and no verdict, as on
  // the pages and in the export.
  auto measured = [&](int p) { return ValueMeasured(r, p); };

  depot::AppendCopyText(row, line);
  Tab(row);
  Text(row, r.Identifier);
  Tab(row);
  row += at;
  Tab(row);
  Int(row, r.BogieType);
  Tab(row);
  Int(row, r.SpringType);
  Tab(row);
  if (type) Text(row, FindBogieType(r.BogieType)->Name);
  else depot::AppendCopyNull(row);
  Tab(row);
  if (type) Text(row, type->Name);
  else depot::AppendCopyNull(row);
  Tab(row);
  Int(row, r.Kind);
  Tab(row);
  Bool(row, RecordAccelerated(r));
  Tab(row);
  Bool(row, RecordEmulated(r));
  for (int p = 1; p <= 6; ++p) {
    Tab(row);
    if (measured(p) && r.Param[p].JudgeMode == 0) Real(row, r.Param[p].Value);
    else depot::AppendCopyNull(row);
  }
  for (int p = 1; p <= 6; ++p) {
    Tab(row);
    if (judged && measured(p)) Bool(row, Judgement.Verdicts[p]);
    else depot::AppendCopyNull(row);
  }
  for (int p = 1; p <= 6; ++p) {
    Tab(row);
    Bool(row, measured(p));
  }
  for (int p = 1; p <= 6; ++p) {
    Tab(row);
    if (type) Real(row, type->parameters[p].Min, 17);
    else depot::AppendCopyNull(row);
  }
  for (int p = 1; p <= 6; ++p) {
    Tab(row);
    if (type) Real(row, type->parameters[p].Max, 17);
    else depot::AppendCopyNull(row);
  }
  for (int p = 1; p <= 6; ++p) {
    Tab(row);
    if (type) Real(row, type->E, 17);
    else depot::AppendCopyNull(row);
  }
  Tab(row);
  Bool(row, judged);
  Tab(row);
  if (judged) Bool(row, Judgement.SpringGood);
  else depot::AppendCopyNull(row);
  Tab(row);
  const int group = judged && Judgement.SpringGood ? BogieHeightGroup(r.Param[2].Value, r.BogieType) : -1;
  if (group >= 0) Int(row, group);
  else depot::AppendCopyNull(row);
  Tab(row);
  if (r.Param[2].JudgeMode == 0) Real(row, r.Param[2].Value);
  else depot::AppendCopyNull(row);
  Tab(row);
  Text(row, r.WagonFrom);
  Tab(row);
  Text(row, r.WagonTo);
  Tab(row);
  row += source;
  row += '\n';
  return true;
}

void AppendGroups(QByteArray& row, const std::array<uint8_t, 8>& groups) {
  row += '{';
  for (int k = 1; k <= 7; ++k) {
    if (k > 1) row += ',';
    Int(row, groups[k]);
  }
  row += '}';
}

void AppendSetRow(QByteArray& row, const QByteArray& line, const SetRecord& r, qint64 position) {
  depot::AppendCopyText(row, line);
  Tab(row);
  Int(row, position);
  for (const QString* t : {&r.BogieNumber, &r.BogieWorks, &r.BogieYear}) {
    Tab(row);
    Text(row, *t);
  }
  Tab(row);
  const QDate date = QDate::fromString(r.Date, QStringLiteral("ddMMyyyy"));
  if (date.isValid()) row += date.toString(Qt::ISODate).toLatin1();
  else depot::AppendCopyNull(row);
  Tab(row);
  Text(row, r.WagonFrom);
  Tab(row);
  Text(row, r.WagonTo);
  for (const SideFrameSet* side : {&r.Left, &r.Right}) {
    for (const QString* t : {&side->Number, &side->Works, &side->Year}) {
      Tab(row);
      Text(row, *t);
    }
    Tab(row);
    AppendGroups(row, side->Outer);
    Tab(row);
    AppendGroups(row, side->Inner);
  }
  row += '\n';
}

QByteArray Check(const QByteArray& record) {
  return QCryptographicHash::hash(record, QCryptographicHash::Md5).toHex();
}

// One record file and its columns in `lines`.
struct Source {
  QString path;
  const char* name;     // "base", "day", "sets"
  int recordSize;
  qint64 position = 0;  // records already copied
  QByteArray check;     // md5 of the last of them
};

class Sync {
 public:
  Sync(const SyncOptions& options, SyncReport& report) : o_(options), report_(report) {}

  bool Run(QString& error) {
    if (!db_.Open(o_.conninfo, kProgram, error)) return false;
    if (!depot::CheckSchema(db_, error)) return false;
    line_ = o_.line.toUtf8();
    depot::Result r;
    // One sync of a line at a time; a second one (a manual run while the
    // timer's runs) leaves the work to the first.
    if (!db_.Query("SELECT pg_try_advisory_lock(hashtext('kalvor_sync:' || $1))", {line_}, r, error))
      return false;
    if (r.Value(0, 0) != "t") {
      report_.findings << QStringLiteral("another sync of line %1 is running; this one did nothing")
                              .arg(o_.line);
      return true;
    }
    if (!db_.Query("SELECT base_records, base_check, day_records, day_check, sets_records, "
                   "sets_check, sets_offset FROM lines WHERE name = $1",
                   {line_}, r, error))
      return false;
    if (r.Rows() != 1) {
      error = QStringLiteral("line %1 is not in the depot database, or this login may not sync it: "
                             "springdata db add-line %1 makes it; the sync logs in as its role %2")
                  .arg(o_.line, LineRole(o_.line));
      return false;
    }
    Source base{BasePath(), "base", kMeasurementRecordSize, r.Number(0, 0), r.Value(0, 1)};
    Source day{DayPath(), "day", kMeasurementRecordSize, r.Number(0, 2), r.Value(0, 3)};
    Source sets{TelPath(), "sets", kSetRecordSize, r.Number(0, 4), r.Value(0, 5)};
    setsOffset_ = r.Number(0, 6);
    if (!db_.Exec("CREATE TEMP TABLE incoming_measurements (LIKE measurements INCLUDING DEFAULTS) "
                  "ON COMMIT DELETE ROWS; "
                  "CREATE TEMP TABLE incoming_sets (LIKE sets INCLUDING DEFAULTS) ON COMMIT DELETE ROWS",
                  error))
      return false;
    if (!Copy(base, error) || !Copy(day, error) || !Copy(sets, error)) return false;
    return db_.Query("UPDATE lines SET last_sync_at = now() WHERE name = $1", {line_}, error);
  }

 private:
  // Where to begin in the file: at the position, unless the file was emptied
  // or replaced since (shorter, or another record at the position's end).
  bool Start(Source& s, qint64 count, QString& error) {
    if (s.position == 0) return true;
    bool same = s.position <= count;
    if (same) {
      QByteArray last;
      if (!recfile::Read(s.path, s.recordSize, s.position - 1, 1, last, error)) return false;
      same = Check(last) == s.check;
    }
    if (same) return true;
    const QString file = QFileInfo(s.path).fileName();
    if (qstrcmp(s.name, "day") == 0) {
      // The shift change empties day.bin: its records are in base.bin now.
    } else if (qstrcmp(s.name, "base") == 0) {
      report_.findings << QStringLiteral("%1 was emptied or replaced since the last sync: read again "
                                         "from its start (records already copied stay one row each)")
                              .arg(file);
    } else {
      // A new Tel.bin goes on after the last position of the line; its sets
      // the database holds already (a restored backup) are known by their
      // content and not added again.
      depot::Result r;
      if (!db_.Query("SELECT coalesce(max(position) + 1, 0) FROM sets WHERE line = $1", {line_}, r,
                     error))
        return false;
      setsOffset_ = r.Number(0, 0);
      report_.findings << QStringLiteral("%1 was emptied or replaced since the last sync: its sets "
                                         "are numbered on from %2, those already copied stay one row each")
                              .arg(file)
                              .arg(setsOffset_);
    }
    s.position = 0;
    return true;
  }

  // The COPY rows of the records from `at` on, read and built while the
  // batch before is in the database's hands.
  struct Batch {
    qint64 at = 0, n = 0, undated = 0;
    QByteArray rows, last;
    QString error;
  };
  Batch Prepare(const Source& s, bool isSets, qint64 at, qint64 count) {
    Batch b;
    b.at = at;
    b.n = std::min<qint64>(o_.batchRecords, count - at);
    QByteArray block;
    if (!recfile::Read(s.path, s.recordSize, at, b.n, block, b.error)) {
      if (b.error.isEmpty()) b.error = QStringLiteral("cannot read %1").arg(s.path);
      return b;
    }
    for (qint64 k = 0; k < b.n; ++k) {
      const char* bytes = block.constData() + k * s.recordSize;
      if (isSets)
        AppendSetRow(b.rows, line_, DecodeSetRecord(bytes), setsOffset_ + at + k);
      else if (!AppendMeasurementRow(b.rows, line_, DecodeMeasurementRecord(bytes), s.name, measuredAt_))
        ++b.undated;
    }
    b.last = Check(block.right(s.recordSize));
    return b;
  }

  bool Copy(Source& s, QString& error) {
    const std::optional<qint64> count = recfile::Count(s.path, s.recordSize, error);
    if (!count) return false;
    if (!Start(s, *count, error)) return false;
    const bool isSets = qstrcmp(s.name, "sets") == 0;
    qint64 undated = 0;
    // One batch is built at a time (the judgement is the process's one), on
    // a worker, while this thread commits the one before; the commits, and
    // with them the positions, follow each other as without it.
    auto prepare = [&](qint64 at) {
      return std::async(std::launch::async, [this, &s, isSets, at, total = *count] {
        return Prepare(s, isSets, at, total);
      });
    };
    std::future<Batch> next;
    if (s.position < *count) next = prepare(s.position);
    while (next.valid()) {
      const Batch b = next.get();
      if (!b.error.isEmpty()) {
        error = b.error;
        return false;
      }
      if (b.at + b.n < *count) next = prepare(b.at + b.n);
      if (!Commit(s, isSets, b.rows, b.at + b.n, b.last, error)) return false;
      s.position = b.at + b.n;
      s.check = b.last;
      undated += b.undated;
      (isSets ? report_.setsRead : qstrcmp(s.name, "day") == 0 ? report_.dayRead : report_.baseRead) += b.n;
    }
    if (undated)
      report_.findings << QStringLiteral("%1: %2 records have no readable date and were not copied")
                              .arg(QDir::toNativeSeparators(s.path))
                              .arg(undated);
    return true;
  }

  // One batch: its rows and the new position in one transaction.
  bool Commit(const Source& s, bool isSets, const QByteArray& rows, qint64 position,
              const QByteArray& check, QString& error) {
    const QByteArray table = isSets ? "sets" : "measurements";
    const QByteArray columns = isSets ? QByteArray(kSetColumns) : MeasurementColumns();
    const QByteArray name = s.name;
    depot::Result r;
    bool ok = db_.Exec("BEGIN", error) &&
              db_.CopyBegin("COPY incoming_" + table + " (" + columns + ") FROM STDIN", error) &&
              db_.CopyPut(rows, error) && db_.CopyEnd(error);
    if (ok && !isSets)
      ok = db_.Exec("SELECT kalvor_ensure_month(m) FROM (SELECT DISTINCT "
                    "date_trunc('month', measured_at AT TIME ZONE 'UTC') AT TIME ZONE 'UTC' AS m "
                    "FROM incoming_measurements) months",
                    error);
    ok = ok && db_.Query("INSERT INTO " + table + " (" + columns + ") SELECT " + columns +
                             " FROM incoming_" + table + " ON CONFLICT DO NOTHING",
                         {}, r, error);
    const qint64 added = ok ? r.CommandRows() : 0;
    ok = ok && db_.Query("UPDATE lines SET " + name + "_records = $2, " + name + "_check = $3, " +
                             "sets_offset = $4, last_sync_at = now() WHERE name = $1",
                         {line_, QByteArray::number(position), check, QByteArray::number(setsOffset_)},
                         error) &&
         db_.Exec("COMMIT", error);
    if (!ok) {
      QString ignored;
      db_.Exec("ROLLBACK", ignored);
      error = QStringLiteral("copying %1 into the depot database failed: %2")
                  .arg(QFileInfo(s.path).fileName(), error);
      return false;
    }
    (isSets ? report_.setsAdded : report_.measurementsAdded) += added;
    return true;
  }

  const SyncOptions& o_;
  SyncReport& report_;
  depot::Connection db_;
  QByteArray line_;
  qint64 setsOffset_ = 0;
  MeasuredAt measuredAt_;
};

}  // namespace

QString LineRole(const QString& name) { return QStringLiteral("kalvor_line_") + name; }

bool SyncInstallation(const SyncOptions& options, SyncReport& report, QString& error) {
  Sync sync(options, report);
  return sync.Run(error);
}

bool MigrateDatabase(const QString& conninfo, QStringList& applied, QString& error) {
  depot::Connection db;
  if (!db.Open(conninfo, kProgram, error)) return false;
  return depot::Migrate(db, applied, error);
}

bool AddLine(const QString& conninfo, const QString& name, QString& role, bool& existed,
             QString& error) {
  static const QRegularExpression kName(QStringLiteral("^[a-z0-9_]{1,40}$"));
  if (!kName.match(name).hasMatch()) {
    error = QStringLiteral("a line's name is 1 to 40 of the characters a-z, 0-9 and _, not \"%1\"")
                .arg(name);
    return false;
  }
  role = LineRole(name);
  depot::Connection db;
  if (!db.Open(conninfo, kProgram, error) || !depot::CheckSchema(db, error)) return false;
  const QByteArray n = name.toUtf8(), rn = role.toUtf8(), q = depot::QuoteIdentifier(rn);
  depot::Result r;
  if (!db.Query("SELECT 1 FROM lines WHERE name = $1", {n}, r, error)) return false;
  existed = r.Rows() == 1;
  if (!db.Query("SELECT 1 FROM pg_roles WHERE rolname = $1", {rn}, r, error)) return false;
  const bool roleExists = r.Rows() == 1;
  const bool ok = db.Exec("BEGIN", error) &&
                  (roleExists || db.Exec("CREATE ROLE " + q + " LOGIN", error)) &&
                  db.Exec("GRANT kalvor_lines TO " + q, error) &&
                  db.Query("INSERT INTO lines (name, role_name) VALUES ($1, $2) "
                           "ON CONFLICT (name) DO NOTHING",
                           {n, rn}, error) &&
                  db.Exec("COMMIT", error);
  if (!ok) {
    QString ignored;
    db.Exec("ROLLBACK", ignored);
    error = QStringLiteral("cannot add line %1: %2").arg(name, error);
  }
  return ok;
}

namespace {

int Say(int code, const QString& message) {
  std::fprintf(code ? stderr : stdout, "springdata: %s\n", message.toLocal8Bit().constData());
  return code;
}

const char* const kDepotUsage =
    "usage:\n"
    "  springdata sync --home DIR --database CONNINFO --line NAME [--batch N] [--quiet]\n"
    "  springdata db migrate --database CONNINFO\n"
    "  springdata db add-line NAME --database CONNINFO\n"
    "CONNINFO is a libpq connection string, a postgresql:// URI or a service name;\n"
    "passwords belong in ~/.pgpass or the service file, never on the command line.\n";

int DepotUsage(const QString& why) {
  std::fprintf(stderr, "springdata: %s\n%s", qPrintable(why), kDepotUsage);
  return 2;
}

}  // namespace

int RunDepotCommand(const QString& command, QStringList args) {
  QString sub;
  if (command == "db") {
    if (args.isEmpty()) return DepotUsage("db needs migrate or add-line");
    sub = args.takeFirst();
    if (sub != "migrate" && sub != "add-line") return DepotUsage("unknown db command " + sub);
  }
  QString lineName;
  if (sub == "add-line") {
    if (args.isEmpty() || args.first().startsWith("--")) return DepotUsage("add-line needs NAME");
    lineName = args.takeFirst();
  }
  QMap<QString, QString> o;
  const QStringList valued = command == "sync"
                                 ? QStringList{"--database", "--home", "--line", "--batch"}
                                 : QStringList{"--database"};
  if (const QString wrong = ReadOptions(args, {"--quiet"}, valued, &o); !wrong.isEmpty())
    return DepotUsage(wrong);
  const QString home = o.value("--home"), conninfo = o.value("--database");
  const QString line = o.value("--line"), batch = o.value("--batch");
  const bool quiet = o.contains("--quiet");
  if (conninfo.isEmpty()) return DepotUsage("--database CONNINFO is needed");
  QByteArray completed;
  QString error;
  if (!depot::CheckConninfo(conninfo, completed, error)) return DepotUsage(error);

  if (sub == "migrate") {
    QStringList applied;
    if (!MigrateDatabase(conninfo, applied, error)) return Say(1, error);
    return Say(0, applied.isEmpty() ? QStringLiteral("the depot database is up to date (schema version %1)")
                                          .arg(depot::LatestSchemaVersion())
                                    : QStringLiteral("applied %1").arg(applied.join(", ")));
  }
  if (sub == "add-line") {
    QString role;
    bool existed = false;
    if (!AddLine(conninfo, lineName, role, existed, error)) return Say(1, error);
    return Say(0, existed ? QStringLiteral("line %1 exists; its role is %2").arg(lineName, role)
                          : QStringLiteral("line %1 added; its role %2 logs in with the password "
                                           "you give it (ALTER ROLE %2 PASSWORD ...) from ~/.pgpass")
                                .arg(lineName, role));
  }

  if (home.isEmpty()) return DepotUsage("--home DIR is needed");
  if (line.isEmpty()) return DepotUsage("--line NAME is needed");
  SyncOptions options;
  options.conninfo = conninfo;
  options.line = line;
  if (!batch.isEmpty()) {
    bool ok = false;
    options.batchRecords = batch.toInt(&ok);
    if (!ok || options.batchRecords < 1 || options.batchRecords > 100000)
      return DepotUsage("--batch takes 1..100000 records");
  }
  QStringList warnings;
  if (!OpenInstallation(home, error, warnings)) return Say(1, error);
  for (const QString& w : warnings) std::fprintf(stderr, "springdata: %s\n", qPrintable(w));
  SyncReport report;
  const bool ok = SyncInstallation(options, report, error);
  for (const QString& f : report.findings) std::fprintf(stderr, "springdata: %s\n", qPrintable(f));
  if (!ok) return Say(1, error);
  if (!quiet)
    Say(0, QStringLiteral("line %1: read %2 of base.bin, %3 of day.bin, %4 sets; added %5 "
                          "measurements and %6 sets")
               .arg(line)
               .arg(report.baseRead)
               .arg(report.dayRead)
               .arg(report.setsRead)
               .arg(report.measurementsAdded)
               .arg(report.setsAdded));
  return 0;
}

}  // namespace springdata
