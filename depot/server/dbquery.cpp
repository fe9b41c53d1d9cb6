#include "server/dbquery.h"

#include <cstdio>

#include "pg/pg.h"

namespace depot {

namespace {
std::string g_conninfo;
thread_local Connection t_conn;

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

Rows Query(const QByteArray& sql, const Params& params) {
  std::vector<QByteArray> values;
  for (const auto& p : params) values.push_back(!p ? QByteArray() : p->isNull() ? QByteArray("") : *p);
  Result res;
  QString error;
  // Every page only reads, so a statement that failed (most often on a
  // connection the database's restart broke) may run again, once, on a
  // fresh connection.
  bool ok = false;
  for (int attempt = 0; attempt < 2 && !ok; ++attempt) {
    if (attempt > 0) t_conn.Close();
    ok = ThreadConnection(error) && t_conn.Query(sql, values, res, error);
  }
  if (!ok) {
    t_conn.Close();
    std::fprintf(stderr, "kalvor-depot: query failed twice: %s [%s]\n", qPrintable(error),
                 sql.left(120).constData());
    throw Refusal{503, QStringLiteral("База данных недоступна, повторите через минуту")};
  }
  Rows out;
  const int n = res.Rows(), f = res.Columns();
  out.rows.resize(n);
  for (int r = 0; r < n; ++r) {
    out.rows[r].reserve(f);
    for (int k = 0; k < f; ++k) {
      if (res.IsNull(r, k)) out.rows[r].emplace_back();
      else out.rows[r].emplace_back(res.Value(r, k));
    }
  }
  return out;
}

}  // namespace depot
