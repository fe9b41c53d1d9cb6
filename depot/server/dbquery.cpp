#include "server/dbquery.h"

#include <cstdio>

#include "pg/pg.h"

namespace depot {

namespace {
std::string g_conninfo;
thread_local Connection t_conn;
thread_local long long t_roundTrips = 0;

bool ThreadConnection(QString& error) {
  if (t_conn.Healthy()) return true;
  if (!t_conn.Open(QString::fromStdString(g_conninfo), "kalvor-depot", error)) return false;
  // The page only reads: even a role with more rights cannot write through it.
  return t_conn.Exec("SET default_transaction_read_only = on", error);
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
  for (int attempt = 0; attempt < 2 && !ok; ++attempt) {
    if (attempt > 0) t_conn.Close();
    ok = ThreadConnection(error);
    if (ok) {
      ++t_roundTrips;
      ok = statements.size() == 1 ? t_conn.Query(statements[0].sql, statements[0].params, results.emplace_back(), error)
                                  : t_conn.Pipeline(statements, results, error);
    }
    if (!ok) results.clear();
  }
  if (!ok) {
    t_conn.Close();
    std::fprintf(stderr, "kalvor-depot: query failed twice: %s [%s] (%zu in the batch)\n", qPrintable(error),
                 queued_[0].sql.left(120).constData(), queued_.size());
    queued_.clear();
    throw Refusal{503, QStringLiteral("База данных недоступна, повторите через минуту")};
  }
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
