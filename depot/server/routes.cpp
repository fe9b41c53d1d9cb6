// The route table: every page with its path, each behind the one sign-in
// guard, then the sign-in and sign-out.

#include <QUrl>
#include <cstdio>

#include <sys/socket.h>

#include "server/handlers.h"
#include "server/dbquery.h"
#include "server/server.h"
#include "server/sessions.h"
#include "server/signin.h"
#include "server/views.h"

namespace depot {

namespace {

const QByteArray kCookie = "kalvor_session";
constexpr size_t kWorkers = 32;
constexpr time_t kReadTimeoutSeconds = 5;
constexpr time_t kKeepAliveSeconds = 2;

struct Route {
  const char* path;
  Handler page;
};

// Every page but the sign-in.
const Route kRoutes[] = {
    {"/", HomePage},            {"/lines", LinesPage},      {"/wagon", WagonPage},
    {"/lines.csv", LinesCsv},   {"/types", TypesPage},
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

// The visitor's address: the proxy's X-Forwarded-For where the request
// comes from this machine's proxy.
std::string Visitor(const httplib::Request& req) {
  const std::string forwarded = req.get_header_value("X-Forwarded-For");
  const bool local = req.remote_addr == "127.0.0.1" || req.remote_addr == "::1";
  if (!local || forwarded.empty()) return req.remote_addr;
  const size_t comma = forwarded.rfind(',');
  return QByteArray::fromStdString(comma == std::string::npos ? forwarded : forwarded.substr(comma + 1))
      .trimmed()
      .toStdString();
}

QByteArray SessionToken(const httplib::Request& req) {
  return CookieValue(QByteArray::fromStdString(req.get_header_value("Cookie")), kCookie);
}

// The answer to a request that gets no page of its own.
void Refuse(const Refusal& refusal, const QByteArray* user, httplib::Response& res) {
  res.status = refusal.status;
  if (refusal.status == 503) res.set_header("Retry-After", "60");
  res.set_content(Page(QStringLiteral("Запрос не выполнен"), user, "<p class=\"err\">" + Esc(refusal.message) + "</p>")
                      .toStdString(),
                  "text/html; charset=utf-8");
}

}  // namespace

QDate Request::Date(const char* key) const {
  const QByteArray text = Get(key);
  if (text.isEmpty()) return {};
  const QDate d = QDate::fromString(QString::fromUtf8(text), Qt::ISODate);
  if (!d.isValid() || text.size() != 10)
    throw Refusal{400, QStringLiteral("Неверная дата «%1» в поле %2: нужна дата ГГГГ-ММ-ДД")
                           .arg(QString::fromUtf8(text), QString::fromUtf8(key))};
  return d;
}

int Request::Int(const char* key, int fallback, int lo, int hi) const {
  const QByteArray text = Get(key);
  if (text.isEmpty()) return fallback;
  bool ok = false;
  const int v = text.toInt(&ok);
  if (!ok || v < lo || v > hi)
    throw Refusal{400, QStringLiteral("Неверное число «%1» в поле %2: нужно целое от %3 до %4")
                           .arg(QString::fromUtf8(text), QString::fromUtf8(key))
                           .arg(lo)
                           .arg(hi)};
  return v;
}

void CheckPeriod(const QDate& from, const QDate& to) {
  if (from.isValid() && to.isValid() && from > to)
    throw Refusal{400, QStringLiteral("Начало периода %1 позже его конца %2")
                           .arg(from.toString(Qt::ISODate), to.toString(Qt::ISODate))};
}

bool Serve(const ServeOptions& o) {
  SetDatabase(o.database);
  Sessions sessions(8 * 3600, o.rightsCheckSeconds);
  SignInLimit limit;
  const QByteArray engineers = QByteArray::fromStdString(o.engineersRole);
  httplib::Server http;
  auto cookie = [&](const httplib::Request& req, const QByteArray& value, bool clear) {
    std::string c = kCookie.toStdString() + "=" + value.toStdString() + "; Path=/; HttpOnly; SameSite=Strict";
    if (clear) c += "; Max-Age=0";
    if (o.secureCookies || req.get_header_value("X-Forwarded-Proto") == "https") c += "; Secure";
    return c;
  };
  // The guard: without a live session, to the sign-in page and back.
  for (const Route& route : kRoutes) {
    http.Get(route.path, [&, page = route.page](const httplib::Request& req, httplib::Response& res) {
      const QByteArray token = SessionToken(req);
      bool recheck = false;
      const auto user = sessions.User(token, recheck);
      try {
        // A role that lost its rights since the sign-in is signed out.
        if (user && recheck && !MayReadPage(*user, engineers)) {
          std::fprintf(stderr, "kalvor-depot: %s may no longer read the page: signed out\n", user->constData());
          sessions.Close(token);
        } else if (user) {
          if (recheck) sessions.Checked(token);
          // The page's round trips to the database, for the benchmark.
          const long long before = RoundTrips();
          page(Request{req, *user}, res);
          res.set_header("X-Database-Round-Trips", std::to_string(RoundTrips() - before));
          return;
        }
        res.set_redirect(Url("/login", {{"next", Target(req)}}).toStdString(), 303);
      } catch (const Refusal& refusal) {
        Refuse(refusal, &*user, res);
      }
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
    // Guessing is slowed by refusing an address or name with too many
    // failures, never by a worker that sleeps. A refused sign-in asks its
    // client to close the connection: kept alive, a guesser's connections
    // would each hold a worker idle for the keep-alive time, and the
    // engineers' requests would wait behind them.
    if (const int wait = limit.Wait(Visitor(req), user)) {
      res.status = 429;
      res.set_header("Connection", "close");
      res.set_header("Retry-After", std::to_string(wait));
      res.set_content(Page(QStringLiteral("Вход"), nullptr,
                           LoginForm(next, QStringLiteral("Слишком много неудачных попыток входа, повторите "
                                                          "через %1 с")
                                               .arg(wait)))
                          .toStdString(),
                      "text/html; charset=utf-8");
      return;
    }
    int status = 403;
    const QString reason = CheckEngineer(o.database, user, password, engineers, status);
    const QByteArray token = reason.isEmpty() ? sessions.Open(user) : QByteArray();
    if (token.isEmpty()) {
      if (status == 403) limit.Failed(Visitor(req), user);
      res.status = reason.isEmpty() ? 403 : status;
      res.set_header("Connection", "close");
      if (res.status == 503) res.set_header("Retry-After", "60");
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
  // A connection holds a worker while it is read: a request that sends
  // nothing for 5 s, or a kept-alive connection idle for 2 s, is closed, so
  // slow or idle visitors free their workers within seconds. 32 workers
  // leave room for a depot's engineers beside a few dozen such connections;
  // a page's statements run on a connection of the kept set (dbquery).
  http.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
  http.set_read_timeout(kReadTimeoutSeconds, 0);
  http.set_write_timeout(kReadTimeoutSeconds, 0);
  http.set_keep_alive_timeout(kKeepAliveSeconds);
  // A page goes out in several writes (its headers, then its body): without
  // this the later ones wait for the client's delayed acknowledgement of the
  // first, some 40 ms.
  http.set_tcp_nodelay(true);
  http.set_default_headers({{"Cache-Control", "no-store"},
                            {"X-Content-Type-Options", "nosniff"},
                            {"Content-Security-Policy", "default-src 'none'; connect-src 'self'; style-src 'unsafe-inline'; img-src 'self' data:; form-action 'self'; frame-ancestors 'none'"}});
  // The library listens with a queue of 5 connections not yet accepted: a
  // burst of more (a browser opening a page's connections beside a few
  // visitors, a guesser's storm) arrives before the accepting thread runs,
  // the rest are dropped and their clients try again only a second later.
  // The socket listens again with the system's longest queue.
  int listening = -1;
  http.set_socket_options([&listening](socket_t sock) {
    httplib::default_socket_options(sock);
    listening = sock;
  });
  if (!http.bind_to_port(o.host, o.port) || ::listen(listening, SOMAXCONN) != 0) {
    std::fprintf(stderr, "kalvor-depot: cannot listen on %s:%d\n", o.host.c_str(), o.port);
    return false;
  }
  std::fprintf(stderr, "kalvor-depot: serving on http://%s:%d/\n", o.host.c_str(), o.port);
  return http.listen_after_bind();
}

}  // namespace depot
