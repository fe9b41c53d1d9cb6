#include "dbquery.h"

#include <libpq-fe.h>

#include <memory>

#include "pg/pg.h"

namespace depot {

namespace {
std::string g_conninfo;
thread_local Connection t_conn;

bool ThreadConnection(QString& error) {
  if (t_conn.IsOpen() && PQstatus(t_conn.Raw()) == CONNECTION_OK) return true;
  if (!t_conn.Open(QString::fromStdString(g_conninfo), "kalvor-depot", error)) return false;
  // The page only reads: even a role with more rights cannot write through it.
  return t_conn.Exec("SET default_transaction_read_only = on", error);
}
}  // namespace

std::optional<double> Rows::Number(size_t r, size_t c) const {
  if (!rows[r][c]) return std::nullopt;
  bool ok = false;
  const double v = rows[r][c]->toDouble(&ok);
  return ok ? std::optional(v) : std::nullopt;
}

void SetDatabase(const std::string& conninfo) { g_conninfo = conninfo; }

Rows Query(const char* sql, const std::vector<std::optional<QByteArray>>& params) {
  Rows out;
  if (!ThreadConnection(out.error)) return out;
  std::vector<QByteArray> values;
  for (const auto& p : params) values.push_back(!p ? QByteArray() : p->isNull() ? QByteArray("") : *p);
  Result res;
  if (!t_conn.Query(sql, values, res, out.error)) {
    if (PQstatus(t_conn.Raw()) != CONNECTION_OK) t_conn.Close();
    return out;
  }
  const int n = res.Rows(), f = res.Columns();
  out.rows.resize(n);
  for (int r = 0; r < n; ++r) {
    out.rows[r].reserve(f);
    for (int k = 0; k < f; ++k) {
      if (res.IsNull(r, k)) out.rows[r].emplace_back();
      else out.rows[r].emplace_back(res.Value(r, k));
    }
  }
  out.ok = true;
  return out;
}

QString CheckEngineer(const std::string& conninfo, const QByteArray& user,
                      const QByteArray& password, const QByteArray& engineersRole) {
  if (user.isEmpty() || password.isEmpty()) return QStringLiteral("Введите имя и пароль");
  char* err = nullptr;
  PQconninfoOption* opts = PQconninfoParse(conninfo.c_str(), &err);
  if (!opts) {
    PQfreemem(err);
    return QStringLiteral("Неверная строка подключения сервера");
  }
  std::vector<const char*> keys, values;
  for (PQconninfoOption* o = opts; o->keyword; ++o) {
    const std::string k = o->keyword;
    if (!o->val || k == "user" || k == "password" || k == "passfile" || k == "service") continue;
    keys.push_back(o->keyword);
    values.push_back(o->val);
  }
  keys.push_back("user");
  values.push_back(user.constData());
  keys.push_back("password");
  values.push_back(password.constData());
  // The engineer's own password only: never one from the server's .pgpass.
  keys.push_back("passfile");
  values.push_back("/dev/null");
  keys.push_back("connect_timeout");
  values.push_back("5");
  keys.push_back(nullptr);
  values.push_back(nullptr);
  PGconn* c = PQconnectdbParams(keys.data(), values.data(), 0);
  PQconninfoFree(opts);
  QString reason;
  if (PQstatus(c) != CONNECTION_OK) {
    reason = QStringLiteral("Неверное имя пользователя или пароль");
  } else {
    const char* p[1] = {engineersRole.constData()};
    PGresult* r = PQexecParams(
        c, "SELECT coalesce((SELECT pg_has_role(current_user, oid, 'MEMBER') FROM pg_roles "
           "WHERE rolname = $1), false)",
        1, nullptr, p, nullptr, nullptr, 0);
    if (PQresultStatus(r) != PGRES_TUPLES_OK || std::string(PQgetvalue(r, 0, 0)) != "t")
      reason = QStringLiteral("У этой учётной записи нет доступа к странице инженера");
    PQclear(r);
  }
  PQfinish(c);
  return reason;
}

}  // namespace depot
