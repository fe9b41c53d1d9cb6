#include "server/dbquery.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "pg/pg.h"

namespace depot {

namespace {
std::string g_conninfo;
thread_local long long t_roundTrips = 0;

// The page's database connections, shared by the server's workers: a batch
// takes the connection used last and gives it back when it is done, so that
// pages asked one after another run on the same connection, whose session
// has its plans' catalogue at hand (a session's first statements over the
// monthly partitions plan several times slower). At most kKeptIdle are kept
// between pages; more are opened while more pages run at once.
constexpr size_t kKeptIdle = 4;
std::mutex g_poolMutex;
std::vector<std::unique_ptr<Connection>> g_idle;

std::unique_ptr<Connection> TakeConnection() {
  {
    const std::lock_guard lock(g_poolMutex);
    if (!g_idle.empty()) {
      std::unique_ptr<Connection> c = std::move(g_idle.back());
      g_idle.pop_back();
      return c;
    }
  }
  return std::make_unique<Connection>();
}

void GiveBack(std::unique_ptr<Connection> c) {
  if (!c->Healthy()) return;
  const std::lock_guard lock(g_poolMutex);
  if (g_idle.size() < kKeptIdle) g_idle.push_back(std::move(c));
}

bool OpenConnection(Connection& c, QString& error) {
  if (c.Healthy()) return true;
  if (!c.Open(QString::fromStdString(g_conninfo), "kalvor-depot", error)) return false;
  // The page only reads: even a role with more rights cannot write through it.
  return c.Exec("SET default_transaction_read_only = on", error);
}
}  // namespace

std::optional<double> Field::Number() const {
  if (!v_) return std::nullopt;
  bool ok = false;
  const double v = v_->toDouble(&ok);
  return ok ? std::optional(v) : std::nullopt;
}

void SetDatabase(const std::string& conninfo) { g_conninfo = conninfo; }

std::shared_ptr<const Rows> Batch::Add(const QByteArray& sql, const Params& params) {
  Queued q{sql, {}, std::make_shared<Rows>()};
  for (const auto& p : params) q.values.push_back(!p ? QByteArray() : p->isNull() ? QByteArray("") : *p);
  queued_.push_back(std::move(q));
  return queued_.back().rows;
}

void Batch::Run() {
  if (queued_.empty()) return;
  std::vector<Connection::Statement> statements;
  statements.reserve(queued_.size());
  for (const Queued& q : queued_) statements.push_back({q.sql, q.values});
  std::vector<Result> results;
  QString error;
  // Every page only reads, so a batch that failed (most often on a
  // connection the database's restart broke) may run again, once, on a
  // fresh connection.
  bool ok = false;
  std::unique_ptr<Connection> conn = TakeConnection();
  for (int attempt = 0; attempt < 2 && !ok; ++attempt) {
    if (attempt > 0) conn->Close();
    ok = OpenConnection(*conn, error);
    if (ok) {
      ++t_roundTrips;
      ok = statements.size() == 1 ? conn->Query(statements[0].sql, statements[0].params, results.emplace_back(), error)
                                  : conn->Pipeline(statements, results, error);
    }
    if (!ok) results.clear();
  }
  if (!ok) {
    conn->Close();
    std::fprintf(stderr, "kalvor-depot: query failed twice: %s [%s] (%zu in the batch)\n", qPrintable(error),
                 queued_[0].sql.left(120).constData(), queued_.size());
    queued_.clear();
    throw Refusal{503, QStringLiteral("База данных недоступна, повторите через минуту")};
  }
  GiveBack(std::move(conn));
  for (size_t i = 0; i < queued_.size(); ++i) {
    const Result& res = results[i];
    Rows& out = *queued_[i].rows;
    const int n = res.Rows(), f = res.Columns();
    out.rows.resize(n);
    for (int r = 0; r < n; ++r) {
      out.rows[r].reserve(f);
      for (int k = 0; k < f; ++k) {
        if (res.IsNull(r, k)) out.rows[r].emplace_back();
        else out.rows[r].emplace_back(res.Value(r, k));
      }
    }
  }
  queued_.clear();
}

Rows Query(const QByteArray& sql, const Params& params) {
  Batch batch;
  const std::shared_ptr<const Rows> rows = batch.Add(sql, params);
  batch.Run();
  return *rows;
}

long long RoundTrips() { return t_roundTrips; }

}  // namespace depot
