#include "server/signin.h"

#include <algorithm>
#include <cstdio>

#include "pg/pg.h"
#include "server/dbquery.h"
#include "server/views.h"

namespace depot {

QByteArray LoginForm(const QByteArray& next, const QString& error) {
  return "<form class=\"filter\" method=\"post\" action=\"/login\"><input type=\"hidden\" name=\"next\" value=\"" +
         Esc(next) + "\"><p><label>Пользователь базы данных <input name=\"user\" autocomplete=\"username\" autofocus></label></p>"
         "<p><label>Пароль <input type=\"password\" name=\"password\" autocomplete=\"current-password\"></label></p>"
         "<p><button id=\"signin\">Войти</button></p>" +
         (error.isEmpty() ? QByteArray() : "<p class=\"err\">" + Esc(error) + "</p>") +
         "</form><p>Вход по учётной записи инженера в базе данных депо.</p>";
}

QByteArray SafeNext(const QByteArray& next) {
  // Printable ASCII only: a browser drops tabs and line breaks from a
  // Location, which would make "/<TAB>/host" another server's address.
  const bool printable = std::all_of(next.begin(), next.end(), [](char c) { return c > ' ' && c < 0x7f; });
  return printable && next.startsWith('/') && !next.startsWith("//") && !next.contains('\\') ? next
                                                                                           : QByteArray("/");
}

namespace {

// $1 the role, $2 the engineers' role. The database's own logins (the
// server's and the alarms service's) are no engineers.
const char* const kMayRead =
    "SELECT coalesce((SELECT r.rolcanlogin AND NOT r.rolsuper AND r.rolname NOT IN ('kalvor_reader', 'kalvor_alarms', $2)"
    " AND (r.rolvaliduntil IS NULL OR r.rolvaliduntil > now())"
    " AND NOT pg_has_role(r.oid, 'kalvor_lines', 'MEMBER') AND pg_has_role(r.oid, e.oid, 'MEMBER')"
    " FROM pg_roles r, pg_roles e WHERE r.rolname = $1 AND e.rolname = $2), false)";

}  // namespace

QString CheckEngineer(const std::string& conninfo, const QByteArray& user, const QByteArray& password,
                      const QByteArray& engineersRole, int& status) {
  status = 403;
  if (user.isEmpty() || password.isEmpty()) return QStringLiteral("Введите имя и пароль");
  Connection c;
  QString error;
  switch (c.OpenAs(QByteArray::fromStdString(conninfo), user, password, error)) {
    case Connection::Login::BadConninfo: return QStringLiteral("Неверная строка подключения сервера");
    case Connection::Login::Refused:
      // A login refused by a database the server itself cannot reach says
      // nothing about the password.
      try {
        Query("SELECT 1");
      } catch (const Refusal&) {
        std::fprintf(stderr, "kalvor-depot: sign-in of %s: %s\n", user.constData(), qPrintable(error));
        status = 503;
        return QStringLiteral("База данных недоступна, вход невозможен; повторите через минуту");
      }
      return QStringLiteral("Неверное имя пользователя или пароль");
    case Connection::Login::Open: break;
  }
  Result r;
  if (!c.Query(kMayRead, {user, engineersRole}, r, error) || r.Value(0, 0) != "t")
    return QStringLiteral("У этой учётной записи нет доступа к странице инженера");
  return {};
}

bool MayReadPage(const QByteArray& role, const QByteArray& engineersRole) {
  const Rows r = Query(kMayRead, {role, engineersRole});
  return !r.rows.empty() && r.rows[0][0] == QByteArray("t");
}

}  // namespace depot
