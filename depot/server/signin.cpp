#include "server/signin.h"

#include "pg/pg.h"
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
  return next.startsWith('/') && !next.startsWith("//") && !next.contains('\\') ? next : QByteArray("/");
}

QString CheckEngineer(const std::string& conninfo, const QByteArray& user, const QByteArray& password,
                      const QByteArray& engineersRole) {
  if (user.isEmpty() || password.isEmpty()) return QStringLiteral("Введите имя и пароль");
  Connection c;
  QString error;
  switch (c.OpenAs(QByteArray::fromStdString(conninfo), user, password, error)) {
    case Connection::Login::BadConninfo: return QStringLiteral("Неверная строка подключения сервера");
    case Connection::Login::Refused: return QStringLiteral("Неверное имя пользователя или пароль");
    case Connection::Login::Open: break;
  }
  Result r;
  if (!c.Query("SELECT coalesce((SELECT pg_has_role(current_user, oid, 'MEMBER') FROM pg_roles "
               "WHERE rolname = $1), false)",
               {engineersRole}, r, error) ||
      r.Value(0, 0) != "t")
    return QStringLiteral("У этой учётной записи нет доступа к странице инженера");
  return {};
}

}  // namespace depot
