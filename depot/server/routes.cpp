// The route table: every page with its path, each behind the one sign-in
// guard, then the sign-in and sign-out.

#include <QUrl>
#include <cstdio>
#include <thread>

#include "server/handlers.h"
#include "server/dbquery.h"
#include "server/server.h"
#include "server/sessions.h"
#include "server/signin.h"
#include "server/views.h"

namespace depot {

namespace {

const QByteArray kCookie = "kalvor_session";

struct Route {
  const char* path;
  Handler page;
};

// Every page but the sign-in.
const Route kRoutes[] = {
    {"/", LinesPage},           {"/lines.csv", LinesCsv},   {"/types", TypesPage},
    {"/type", TypePage},        {"/type.csv", TypeCsv},     {"/search", SearchPage},
    {"/search.csv", SearchCsv}, {"/record", RecordPage},    {"/sets", SetsPage},
    {"/sets.csv", SetsCsv},
};

// The path and query a visitor asked for, to return to after the sign-in.
QByteArray Target(const httplib::Request& req) {
  std::string target = req.path;
  char sep = '?';
  for (const auto& [k, v] : req.params) {
    target += sep + QUrl::toPercentEncoding(QString::fromStdString(k)).toStdString() + '=' +
              QUrl::toPercentEncoding(QString::fromStdString(v)).toStdString();
    sep = '&';
  }
  return QByteArray::fromStdString(target);
}

QByteArray SessionToken(const httplib::Request& req) {
  return CookieValue(QByteArray::fromStdString(req.get_header_value("Cookie")), kCookie);
}

}  // namespace

bool Serve(const ServeOptions& o) {
  SetDatabase(o.database);
  Sessions sessions;
  httplib::Server http;
  auto cookie = [&](const httplib::Request& req, const QByteArray& value, bool clear) {
    std::string c = kCookie.toStdString() + "=" + value.toStdString() + "; Path=/; HttpOnly; SameSite=Strict";
    if (clear) c += "; Max-Age=0";
    if (o.secureCookies || req.get_header_value("X-Forwarded-Proto") == "https") c += "; Secure";
    return c;
  };
  // The guard: without a live session, to the sign-in page and back.
  for (const Route& route : kRoutes) {
    http.Get(route.path, [&sessions, page = route.page](const httplib::Request& req, httplib::Response& res) {
      const auto user = sessions.User(SessionToken(req));
      if (!user) {
        res.set_redirect(Url("/login", {{"next", Target(req)}}).toStdString(), 303);
        return;
      }
      page(Request{req, *user}, res);
    });
  }
  http.Get("/login", [](const httplib::Request& req, httplib::Response& res) {
    const QByteArray next = req.has_param("next") ? QByteArray::fromStdString(req.get_param_value("next")) : "/";
    res.set_content(Page(QStringLiteral("Вход"), nullptr, LoginForm(SafeNext(next), {})).toStdString(),
                    "text/html; charset=utf-8");
  });
  http.Post("/login", [&](const httplib::Request& req, httplib::Response& res) {
    const QByteArray user = QByteArray::fromStdString(req.get_param_value("user")).trimmed();
    const QByteArray password = QByteArray::fromStdString(req.get_param_value("password"));
    const QByteArray next = SafeNext(QByteArray::fromStdString(req.get_param_value("next")));
    const QString reason = CheckEngineer(o.database, user, password, QByteArray::fromStdString(o.engineersRole));
    const QByteArray token = reason.isEmpty() ? sessions.Open(user) : QByteArray();
    if (token.isEmpty()) {
      // A pause after a refusal slows down guessing.
      std::this_thread::sleep_for(std::chrono::seconds(1));
      res.status = 403;
      res.set_content(Page(QStringLiteral("Вход"), nullptr,
                           LoginForm(next, reason.isEmpty() ? QStringLiteral("Сеанс не открыт") : reason))
                          .toStdString(),
                      "text/html; charset=utf-8");
      return;
    }
    res.set_header("Set-Cookie", cookie(req, token, false));
    res.set_redirect(next.toStdString(), 303);
  });
  http.Post("/logout", [&](const httplib::Request& req, httplib::Response& res) {
    sessions.Close(SessionToken(req));
    res.set_header("Set-Cookie", cookie(req, "", true));
    res.set_redirect("/login", 303);
  });
  http.set_default_headers({{"Cache-Control", "no-store"},
                            {"X-Content-Type-Options", "nosniff"},
                            {"Content-Security-Policy", "default-src 'none'; connect-src 'self'; style-src 'unsafe-inline'; img-src 'self' data:; form-action 'self'; frame-ancestors 'none'"}});
  if (!http.bind_to_port(o.host, o.port)) {
    std::fprintf(stderr, "kalvor-depot: cannot listen on %s:%d\n", o.host.c_str(), o.port);
    return false;
  }
  std::fprintf(stderr, "kalvor-depot: serving on http://%s:%d/\n", o.host.c_str(), o.port);
  return http.listen_after_bind();
}

}  // namespace depot
