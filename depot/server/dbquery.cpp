#include "dbquery.h"

#include <libpq-fe.h>

#include <memory>

namespace depot {

namespace {
std::string g_conninfo;

struct Connection {
  PGconn* conn = nullptr;
  ~Connection() {
    if (conn) PQfinish(conn);
  }
};
thread_local Connection t_conn;

PGconn* ThreadConnection(QString& error) {
  if (t_conn.conn && PQstatus(t_conn.conn) == CONNECTION_OK) return t_conn.conn;
  if (t_conn.conn) PQreset(t_conn.conn);
  else t_conn.conn = PQconnectdb(g_conninfo.c_str());
  if (PQstatus(t_conn.conn) != CONNECTION_OK) {
    error = QString::fromUtf8(PQerrorMessage(t_conn.conn)).trimmed();
    PQfinish(t_conn.conn);
    t_conn.conn = nullptr;
    return nullptr;
  }
  // The page only reads: even a role with more rights cannot write through it.
  PQclear(PQexec(t_conn.conn, "SET default_transaction_read_only = on; SET client_encoding = 'UTF8'"));
  return t_conn.conn;
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
  PGconn* c = ThreadConnection(out.error);
  if (!c) return out;
  std::vector<const char*> values;
  for (const auto& p : params) values.push_back(p ? p->constData() : nullptr);
  std::unique_ptr<PGresult, decltype(&PQclear)> res(
      PQexecParams(c, sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                   nullptr, 0),
      &PQclear);
  if (PQresultStatus(res.get()) != PGRES_TUPLES_OK) {
    out.error = QString::fromUtf8(PQerrorMessage(c)).trimmed();
    return out;
  }
  const int n = PQntuples(res.get()), f = PQnfields(res.get());
  out.rows.resize(n);
  for (int r = 0; r < n; ++r) {
    out.rows[r].reserve(f);
    for (int k = 0; k < f; ++k) {
      if (PQgetisnull(res.get(), r, k)) out.rows[r].emplace_back();
      else out.rows[r].emplace_back(QByteArray(PQgetvalue(res.get(), r, k), PQgetlength(res.get(), r, k)));
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
