#include "sync/sync.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QTimeZone>
#include <future>

#include "database/recordfile.h"
#include "pg/migrations.h"
#include "pg/pg.h"
#include "sync/admin.h"
#include "sync/copyrows.h"

namespace depot {

namespace {

// Two zones that keep the same offset from UTC over the year around now.
bool SameZone(const QTimeZone& a, const QTimeZone& b) {
  if (!a.isValid() || !b.isValid()) return false;
  const QDateTime now = QDateTime::currentDateTimeUtc();
  for (int month = -6; month <= 6; ++month)
    if (a.offsetFromUtc(now.addMonths(month)) != b.offsetFromUtc(now.addMonths(month))) return false;
  return true;
}

QByteArray Check(const QByteArray& record) {
  return QCryptographicHash::hash(record, QCryptographicHash::Md5).toHex();
}

// One record file and its columns in `lines`.
struct Source {
  FileKind kind;
  QString path;
  int recordSize;
  qint64 position = 0;  // records already copied
  QByteArray check;     // md5 of the last of them
};

class Sync {
 public:
  Sync(const SyncOptions& options, SyncReport& report) : o_(options), report_(report) {}

  bool Run(QString& error) {
    if (!db_.Open(o_.conninfo, "springdata", error)) return false;
    line_ = o_.line.toUtf8();
    // The line's lock below is the session's: a sync that stops talking (its
    // PC lost power, its process frozen) must not keep it. The database ends
    // a session of this sync that sits idle, in a transaction or not, for
    // o_.silenceSeconds, and over TCP one whose peer is gone (keepalive
    // probes after 10 s of silence, every 5 s, 3 unanswered ones end it;
    // unacknowledged data the same after o_.silenceSeconds). A sync that is
    // killed leaves a closed connection, which its session would otherwise
    // notice only when the statement at work ends and it reads the next one
    // (a large batch's insert under load takes seconds): while a statement
    // runs the session looks every second whether its client is still there,
    // and ends with the statement, the lock and the batch undone.
    // A batch's commit does not wait for its flush to the disk: a database
    // that goes down loses the last commits whole, rows and position together,
    // and the next sync copies them again from the position it finds.
    const QByteArray silence = QByteArray::number(o_.silenceSeconds * 1000);
    // The schema's version, the database's zone, the session's settings, the
    // line's lock and its position go in one round trip; a database that is
    // not migrated or at another version fails here or differs in the first.
    std::vector<Result> start;
    QString failed;
    const bool started = db_.Pipeline(
        {{"SELECT coalesce(max(version), 0) FROM schema_migrations", {}},
         {"SELECT current_setting('TimeZone'), set_config('idle_in_transaction_session_timeout', $1, false), "
          "set_config('client_connection_check_interval', '1000', false), "
          "set_config('synchronous_commit', 'off', false), "
          "set_config('idle_session_timeout', $1, false), "
          "set_config('tcp_keepalives_idle', '10', false), "
          "set_config('tcp_keepalives_interval', '5', false), "
          "set_config('tcp_keepalives_count', '3', false), "
          "set_config('tcp_user_timeout', $1, false)",
          {silence}},
         {kLock, {line_}},
         {kPosition, {line_}}},
        start, failed);
    if (!started || start[0].Number(0, 0) != LatestSchemaVersion()) {
      if (CheckSchema(db_, error)) error = failed;
      return false;
    }
    // The line's local times become moments here, and the page counts days
    // and shifts in the database's zone: the two must be one zone.
    if (!SameZone(QTimeZone(start[1].Value(0, 0)), QTimeZone::systemTimeZone())) {
      error = QStringLiteral("the line's time zone %1 differs from the depot database's %2: its shifts "
                             "would be counted in other days; run the sync in the database's zone, or set "
                             "the database's with springdata db migrate --time-zone")
                  .arg(QString::fromUtf8(QTimeZone::systemTimeZoneId()), start[1].Text(0, 0));
      return false;
    }
    // One sync of a line at a time; a second one (a manual run while the
    // timer's runs) leaves the work to the first.
    Result r = std::move(start[3]);
    if (start[2].Value(0, 0) != "t") {
      bool locked = false;
      if (!TakeFrozenLock(silence, locked, error)) return false;
      if (!locked) {
        report_.held = true;
        report_.findings << QStringLiteral("another sync of line %1 is running; this one did nothing")
                                .arg(o_.line);
        return true;
      }
      // The position as the ended holder left it.
      if (!db_.Query(kPosition, {line_}, r, error)) return false;
    }
    if (r.Rows() != 1) {
      error = QStringLiteral("line %1 is not in the depot database, or this login may not sync it: "
                             "springdata db add-line %1 makes it; the sync logs in as its role %2")
                  .arg(o_.line, LineRole(o_.line));
      return false;
    }
    Source base{FileKind::Base, o_.files.base, kMeasurementRecordSize, r.Number(0, 0), r.Value(0, 1)};
    Source day{FileKind::Day, o_.files.day, kMeasurementRecordSize, r.Number(0, 2), r.Value(0, 3)};
    Source sets{FileKind::Sets, o_.files.sets, kSetRecordSize, r.Number(0, 4), r.Value(0, 5)};
    setsOffset_ = r.Number(0, 6);
    if (!Copy(base, error) || !Copy(day, error) || !Copy(sets, error)) return false;
    // Each batch's commit notes the time; a run that found nothing new notes it here.
    if (committed_) return true;
    return db_.Query("UPDATE lines SET last_sync_at = now() WHERE name = $1", {line_}, error);
  }

 private:
  static constexpr const char* kLock = "SELECT pg_try_advisory_lock(hashtext('kalvor_sync:' || $1))";
  static constexpr const char* kPosition =
      "SELECT base_records, base_check, day_records, day_check, sets_records, "
      "sets_check, sets_offset FROM lines WHERE name = $1";

  // The line's lock is held by another session. A sync frozen in the midst
  // of a COPY is no idle session: the database waits for its rows for ever.
  // Such a holder is ended (the same role may) once it has been silent for
  // the silence time, and the lock tried again; `locked` says whether it
  // was taken.
  bool TakeFrozenLock(const QByteArray& silenceMs, bool& locked, QString& error) {
    Result ended;
    if (!db_.Query("SELECT count(pg_terminate_backend(a.pid, 5000)) FROM pg_locks l JOIN pg_stat_activity a "
                   "ON a.pid = l.pid WHERE l.locktype = 'advisory' AND l.granted AND l.objsubid = 1 "
                   "AND ((l.classid::bigint << 32) | l.objid::bigint) = hashtext('kalvor_sync:' || $1)::bigint "
                   "AND a.state = 'active' AND a.query ILIKE 'COPY%' "
                   "AND a.state_change < now() - $2::bigint * interval '1 millisecond'",
                   {line_, silenceMs}, ended, error))
      return false;
    locked = false;
    if (ended.Number(0, 0) == 0) return true;
    Result r;
    if (!db_.Query(kLock, {line_}, r, error)) return false;
    locked = r.Value(0, 0) == "t";
    return true;
  }

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
    switch (s.kind) {
      case FileKind::Day:
        // The shift change empties day.bin: its records are in base.bin now.
        break;
      case FileKind::Base:
        report_.findings << QStringLiteral("%1 was emptied or replaced since the last sync: read again "
                                           "from its start (records already copied stay one row each)")
                                .arg(file);
        break;
      case FileKind::Sets: {
        // A new Tel.bin goes on after the last position of the line; its sets
        // the database holds already (a restored backup) are known by their
        // content and not added again.
        Result r;
        if (!db_.Query("SELECT coalesce(max(position) + 1, 0) FROM sets WHERE line = $1", {line_}, r,
                       error))
          return false;
        setsOffset_ = r.Number(0, 0);
        report_.findings << QStringLiteral("%1 was emptied or replaced since the last sync: its sets "
                                           "are numbered on from %2, those already copied stay one row each")
                                .arg(file)
                                .arg(setsOffset_);
        break;
      }
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
  Batch Prepare(const Source& s, qint64 at, qint64 count) {
    Batch b;
    b.at = at;
    b.n = std::min<qint64>(BatchRecords(count - at), count - at);
    QByteArray block;
    if (!recfile::Read(s.path, s.recordSize, at, b.n, block, b.error)) {
      if (b.error.isEmpty()) b.error = QStringLiteral("cannot read %1").arg(s.path);
      return b;
    }
    for (qint64 k = 0; k < b.n; ++k) {
      const char* bytes = block.constData() + k * s.recordSize;
      if (s.kind == FileKind::Sets)
        AppendSetRow(b.rows, line_, DecodeSetRecord(bytes), setsOffset_ + at + k);
      else if (!AppendMeasurementRow(b.rows, line_, DecodeMeasurementRecord(bytes), s.kind, measuredAt_))
        ++b.undated;
    }
    b.last = Check(block.right(s.recordSize));
    return b;
  }

  qint64 BatchRecords(qint64 toGo) const {
    constexpr qint64 kBatch = 5000, kLargeBatch = 25000;
    if (o_.batchRecords > 0) return o_.batchRecords;
    return toGo > 2 * kLargeBatch ? kLargeBatch : kBatch;
  }

  qint64& Read(FileKind kind) {
    return kind == FileKind::Sets ? report_.setsRead : kind == FileKind::Day ? report_.dayRead : report_.baseRead;
  }

  bool Copy(Source& s, QString& error) {
    const std::optional<qint64> count = recfile::Count(s.path, s.recordSize, error);
    if (!count) return false;
    if (!Start(s, *count, error)) return false;
    qint64 undated = 0;
    // One batch is built at a time (the judgement is the process's one), on
    // a worker, while this thread commits the one before; the commits, and
    // with them the positions, follow each other as without it.
    auto prepare = [&](qint64 at) {
      return std::async(std::launch::async, [this, &s, at, total = *count] { return Prepare(s, at, total); });
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
      if (!Commit(s, b.rows, b.at + b.n, b.last, error)) return false;
      s.position = b.at + b.n;
      s.check = b.last;
      undated += b.undated;
      Read(s.kind) += b.n;
    }
    if (undated)
      report_.findings << QStringLiteral("%1: %2 records have no readable date and were not copied")
                              .arg(QDir::toNativeSeparators(s.path))
                              .arg(undated);
    return true;
  }

  // One batch: its rows and the new position in one transaction.
  bool Commit(const Source& s, const QByteArray& rows, qint64 position, const QByteArray& check,
              QString& error) {
    const bool isSets = s.kind == FileKind::Sets;
    const QByteArray table = isSets ? "sets" : "measurements";
    const QByteArray& columns = isSets ? SetCopyColumns() : MeasurementCopyColumns();
    const QByteArray name = FileKindName(s.kind);
    // The session's table the batch is copied into (the line's role may not
    // COPY into the table itself), made in the transaction of the first
    // batch of its kind: a sync that finds nothing new makes none. It has
    // the copied columns alone, without the table's defaults, which would be
    // computed for every row (the depot's code among them, a query each).
    bool& made = isSets ? madeIncomingSets_ : madeIncomingMeasurements_;
    const QByteArray make = made ? QByteArray()
                                 : "; CREATE TEMP TABLE incoming_" + table + " ON COMMIT DELETE ROWS AS SELECT " +
                                       columns + " FROM " + table + " WITH NO DATA";
    bool ok = db_.Exec("BEGIN" + make, error) &&
              db_.CopyBegin("COPY incoming_" + table + " (" + columns + ") FROM STDIN", error) &&
              db_.CopyPut(rows, error) && db_.CopyEnd(error);
    // The rest in one round trip. Rows new to the database, the common case,
    // go in with a plain INSERT, which does not probe the key before each
    // row as ON CONFLICT does; a batch that holds a row already there
    // (day.bin's records again from base.bin, a file read again from its
    // start) fails it, which skips the statements after it up to the commit,
    // and is undone to the savepoint and inserted again skipping those rows.
    // Either way the rows and the position commit together or not at all.
    // The depot's code is the database's own, computed once for the batch.
    const QByteArray insert = "INSERT INTO " + table + " (" + columns + ", depot) SELECT " + columns +
                              ", (SELECT kalvor_depot()) FROM incoming_" + table;
    const Connection::Statement move{"UPDATE lines SET " + name + "_records = $2, " + name + "_check = $3, " +
                                         "sets_offset = $4, last_sync_at = now() WHERE name = $1",
                                     {line_, QByteArray::number(position), check, QByteArray::number(setsOffset_)}};
    std::vector<Connection::Statement> statements;
    // The batch's months get their partitions; a month whose partition is
    // there already (the common case) needs no call.
    if (!isSets)
      statements.push_back({"SELECT kalvor_ensure_month(m AT TIME ZONE 'UTC') FROM (SELECT DISTINCT "
                            "date_trunc('month', measured_at AT TIME ZONE 'UTC') AS m FROM incoming_measurements) "
                            "months WHERE to_regclass('measurements_' || to_char(m, 'YYYY_MM')) IS NULL",
                            {}});
    const size_t inserted = statements.size() + 1;
    statements.insert(statements.end(), {{"SAVEPOINT batch", {}}, {insert, {}}, move, {"COMMIT", {}}});
    std::vector<Result> results;
    QString failure;
    qint64 added = 0;
    if (ok && db_.Pipeline(statements, results, failure)) {
      added = results[inserted].CommandRows();
    } else if (ok) {
      if (results.size() > inserted && results[inserted].State() == "23505") {
        ok = db_.Pipeline({{"ROLLBACK TO SAVEPOINT batch", {}}, {insert + " ON CONFLICT DO NOTHING", {}}, move,
                           {"COMMIT", {}}},
                          results, error);
        if (ok) added = results[1].CommandRows();
      } else {
        ok = false;
        error = failure;
      }
    }
    if (!ok) {
      QString ignored;
      db_.Exec("ROLLBACK", ignored);
      error = QStringLiteral("copying %1 into the depot database failed: %2")
                  .arg(QFileInfo(s.path).fileName(), error);
      return false;
    }
    made = true;
    committed_ = true;
    (isSets ? report_.setsAdded : report_.measurementsAdded) += added;
    return true;
  }

  const SyncOptions& o_;
  SyncReport& report_;
  Connection db_;
  QByteArray line_;
  qint64 setsOffset_ = 0;
  bool madeIncomingMeasurements_ = false, madeIncomingSets_ = false;
  bool committed_ = false;  // a batch was committed in this run
  MeasuredAt measuredAt_;
};

}  // namespace

bool SyncInstallation(const SyncOptions& options, SyncReport& report, QString& error) {
  Sync sync(options, report);
  return sync.Run(error);
}

}  // namespace depot
