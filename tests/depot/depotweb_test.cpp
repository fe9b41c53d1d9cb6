// The engineers' web page in a real browser: two lines' installations
// synced by springdata into a database of the private cluster, kalvor-depot
// serving it, headless Chromium driven over its DevTools pipe. The pages'
// numbers are held against direct SQL counts, the planted shift of the mean
// against the chart's marks, the wagon search against the planted records,
// the CSV downloads against the pages, and every page against the sign-in.

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <thread>
#include <algorithm>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>
#include <QUrl>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "database/records.h"
#include "pg/pg.h"
#include "platform/clock.h"
#include "browser.h"
#include "testsupport.h"

namespace {

QString Conninfo(const QString& db, const QString& user) {
  return QStringLiteral("host=%1 port=%2 dbname=%3 user=%4").arg(KALVOR_PG_HOST, KALVOR_PG_PORT, db, user);
}

// A measurement of bogie 1, spring 1 (norms of mkinstall's bogie file) `daysAgo`
// days back, at minute `n` past 08:00 (past 00:00 for today, so it is not
// in the future).
MeasurementRecord Spring(const QString& id, int daysAgo, int n, float height, float diameter) {
  MeasurementRecord r;
  r.Identifier = id;
  r.BogieType = 1;
  r.SpringType = 1;
  const QDate day = QDate::currentDate().addDays(-daysAgo);
  r.Date = plat::DateTimeToDays(QDateTime(day, QTime(daysAgo ? 8 : 0, 0).addSecs(60 * n)));
  const float v[7] = {0, diameter, height, 0.8f, 11.5f, 0.5f, 46.0f};
  for (int p = 1; p <= 6; ++p) r.Param[p].Value = v[p];
  r.WagonFrom = "5301";
  r.WagonTo = "7702";
  return r;
}

QList<QStringList> ParseCsv(QString text) {
  QList<QStringList> rows;
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  for (const QString& line : text.split("\r\n", Qt::SkipEmptyParts)) rows << line.split(';');
  return rows;
}

class DepotWeb : public ::testing::Test {
 protected:
  // The two lines' installations and their synced database are made once
  // for the cluster (each test is a process of its own), as a template beside
  // it that a test copies; a template of another day is made anew, its
  // records being days back from today.
  static QString Lines() { return KALVOR_PG_HOST + "/depotweb-lines"; }
  static QByteArray Made() { return QDate::currentDate().toString(Qt::ISODate).toUtf8(); }
  static void SetUpTestSuite() {
    QString error;
    depot::Connection server;
    ASSERT_TRUE(server.Open(Conninfo("postgres", "kalvor_admin"), "test", error)) << qPrintable(error);
    QFile made(Lines() + "/made");
    if (made.open(QIODevice::ReadOnly) && made.readAll() == Made()) return;
    made.close();
    QDir(Lines()).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(Lines()));
    ASSERT_TRUE(server.Exec("DROP DATABASE IF EXISTS depotweb_template WITH (FORCE)", error));
    ASSERT_TRUE(server.Exec("CREATE DATABASE depotweb_template", error)) << qPrintable(error);
    // Two engineers with passwords, one of them not among the page's users;
    // the cluster asks them for their passwords.
    for (const char* sql :
         {"DROP ROLE IF EXISTS web_ivanov", "DROP ROLE IF EXISTS web_outsider",
          "CREATE ROLE web_ivanov LOGIN PASSWORD 'secret-1'", "CREATE ROLE web_outsider LOGIN PASSWORD 'secret-2'"})
      ASSERT_TRUE(server.Exec(sql, error)) << qPrintable(error);
    const QString hba = KALVOR_PG_HOST + "/data/pg_hba.conf";
    QFile f(hba);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray rules = f.readAll();
    f.close();
    if (!rules.startsWith("local all web_ivanov"))
      rules.prepend("local all web_ivanov scram-sha-256\nlocal all web_outsider scram-sha-256\n");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(rules) > 0);
    f.close();
    ASSERT_TRUE(server.Exec("SELECT pg_reload_conf()", error));

    const QString admin = Conninfo("depotweb_template", "kalvor_admin");
    ASSERT_EQ(Springdata({"db", "migrate", "--database", admin, "--time-zone", Zone()}).exitCode, 0);
    ASSERT_TRUE(server.Exec("GRANT kalvor_reader TO web_ivanov", error)) << qPrintable(error);
    MakeLines(Lines());
    for (const char* line : {"l1", "l2"}) {
      ASSERT_EQ(Springdata({"db", "add-line", line, "--database", admin}).exitCode, 0);
      const auto r = Springdata({"sync", "--home", Lines() + "/" + line, "--database",
                                 Conninfo("depotweb_template", "kalvor_line_" + QString(line)), "--line", line});
      ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    }
    ASSERT_TRUE(made.open(QIODevice::WriteOnly) && made.write(Made()) > 0);
  }
  static QString Zone() { return QString::fromUtf8(QTimeZone::systemTimeZoneId()); }

  void SetUp() override {
    ASSERT_TRUE(QFile::exists(Lines() + "/made"));
    QString error;
    depot::Connection server;
    ASSERT_TRUE(server.Open(Conninfo("postgres", "kalvor_admin"), "test", error)) << qPrintable(error);
    ASSERT_TRUE(server.Exec("DROP DATABASE IF EXISTS depotweb WITH (FORCE)", error));
    ASSERT_TRUE(server.Exec("CREATE DATABASE depotweb TEMPLATE depotweb_template", error)) << qPrintable(error);
    // A database's own settings do not come with its template.
    ASSERT_TRUE(server.Exec("ALTER DATABASE depotweb SET timezone TO '" + Zone().toUtf8() + "'", error))
        << qPrintable(error);
    for (const char* line : {"l1", "l2"})
      ASSERT_EQ(testsupport::Run("cp", {"-a", Lines() + "/" + line, scratch.path()}).exitCode, 0);
    ASSERT_TRUE(db.Open(Conninfo("depotweb", "kalvor_admin"), "test", error)) << qPrintable(error);
    // Line l2 last synced two hours ago: its row is flagged.
    ASSERT_TRUE(db.Exec("UPDATE lines SET last_sync_at = now() - interval '2 hours' WHERE name = 'l2'", error));

    port = 18000 + getpid() % 1000;
    depotServer.start(KALVOR_DEPOT, {"serve", "--database", Conninfo("depotweb", "kalvor_reader"), "--listen",
                                     QStringLiteral("127.0.0.1:%1").arg(port), "--rights-check", "1"});
    ASSERT_TRUE(depotServer.waitForStarted());
    ASSERT_TRUE(testsupport::WaitForLoopbackPort(port)) << qPrintable(depotServer.readAllStandardError());
    // The browser starts only in the tests that use it (StartBrowser).
  }
  void StartBrowser() { ASSERT_TRUE(browser.Start(KALVOR_PG_HOST + "/browser")); }
  void TearDown() override {
    std::fprintf(stderr, "server %s, exit %d: %s\n", depotServer.state() == QProcess::Running ? "running" : "ended",
                 depotServer.exitCode(), depotServer.readAllStandardError().constData());
    depotServer.kill();
    depotServer.waitForFinished();
  }

  static testsupport::RunResult Springdata(const QStringList& args) {
    return testsupport::Run(KALVOR_SPRINGDATA, args);
  }

  static void Write(const QString& home, const QString& line, const QString& file,
                    const std::vector<MeasurementRecord>& rs) {
    QByteArray bytes;
    for (const auto& r : rs) bytes += EncodeMeasurementRecord(r);
    QFile f(home + "/" + line + "/Report/" + file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
  }

  // l1: thirty shifts of six springs, the free height 1 mm higher in the
  // last ten, two emulated springs today; two springs taken from wagon
  // 12345678 and a set fitted to it. l2: four springs today, one too high,
  // one fitted to that wagon.
  static void MakeLines(const QString& home) {
    const float pattern[6] = {-0.3f, -0.15f, 0.0f, 0.05f, 0.15f, 0.25f};
    std::vector<MeasurementRecord> base, today;
    for (int d = 29; d >= 0; --d)
      for (int k = 0; k < 6; ++k) {
        // Shift means a little apart on alternate sides, spreads in a cycle.
        const float shift = (d < 10 ? 1.0f : 0.0f) + (d % 2 ? 0.05f : -0.05f);
        const float spread = 1.0f + 0.1f * (d % 3 - 1);
        MeasurementRecord r = Spring(QStringLiteral("L1-%1-%2").arg(d).arg(k), d, k,
                                     250 + shift + spread * pattern[k], 136 + spread * pattern[5 - k]);
        if (k == 0 && (d == 3 || d == 5)) r.WagonFrom = "12345678";
        (d == 0 ? today : base).push_back(r);
      }
    for (int k = 0; k < 2; ++k) {
      MeasurementRecord r = Spring(QStringLiteral("L1-emu-%1").arg(k), 0, 30 + k, 250, 136);
      SetRecordEmulated(r, true);
      today.push_back(r);
    }
    std::vector<MeasurementRecord> l2;
    for (int k = 0; k < 4; ++k) {
      MeasurementRecord r = Spring(QStringLiteral("L2-%1").arg(k), 0, k, k == 3 ? 260 : 250.5f, 136);
      if (k == 1) r.WagonTo = "12345678";
      l2.push_back(r);
    }
    for (const char* line : {"l1", "l2"}) ASSERT_TRUE(testsupport::MakeInstallation(home + "/" + line));
    Write(home, "l1", "base.bin", base);
    Write(home, "l1", "day.bin", today);
    Write(home, "l2", "day.bin", l2);
    SetRecord set;
    set.BogieNumber = "771";
    set.Date = QDate::currentDate().toString("ddMMyyyy");
    set.WagonTo = "12345678";
    for (int k = 1; k <= 7; ++k) set.Left.Outer[k] = set.Right.Outer[k] = 5;
    SetRecord other = set;
    other.WagonTo = "99999999";
    QFile tel(home + "/l1/Report/Tel.bin");
    ASSERT_TRUE(tel.open(QIODevice::WriteOnly));
    tel.write(EncodeSetRecord(set) + EncodeSetRecord(other));
  }

  long long Count(const QByteArray& sql) {
    depot::Result r;
    QString error;
    EXPECT_TRUE(db.Query(sql, {}, r, error)) << qPrintable(error);
    return r.Number(0, 0);
  }
  QString Url(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path); }
  QString Fetch(const QString& path) {
    return browser.Eval("fetch('" + path + "').then(r => r.text())").toString();
  }
  // The page at the given size; its picture goes to the documentation's
  // screens or to KALVOR_KEEP_PICTURES when asked for (encoding pictures
  // nobody looks at is most of a page's time).
  void Shot(const QString& name, int height, int width = 1280) {
    ASSERT_TRUE(browser.Resize(height, width));
    const QString dir = qEnvironmentVariableIsSet("KALVOR_UPDATE_SCREENS")
                            ? KALVOR_SOURCE_DIR + "/docs/screens"
                            : qEnvironmentVariable("KALVOR_KEEP_PICTURES");
    if (!dir.isEmpty()) {
      EXPECT_TRUE(browser.Screenshot(dir + "/depot-" + name + ".png", height, width));
    }
  }

  // An HTTP request, a GET or with `form` (NAME=VALUE, the value
  // URL-encoded) a POST, made here rather than by a curl of its own, which
  // would take longer than the server's answer: the status, the header and
  // the body. Status 0: no whole answer within 30 s.
  struct Reply {
    int status = 0;
    QByteArray head, body;
  };
  Reply Http(const QString& path, const QByteArray& cookie = {}, const QStringList& form = {}) {
    QByteArray body;
    for (const QString& f : form) {
      const qsizetype eq = f.indexOf('=');
      body += (body.isEmpty() ? "" : "&") + f.left(eq).toUtf8() + '=' + QUrl::toPercentEncoding(f.mid(eq + 1));
    }
    QByteArray request = (form.isEmpty() ? "GET " : "POST ") + path.toUtf8() +
                         " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    if (!cookie.isEmpty()) request += "Cookie: kalvor_session=" + cookie + "\r\n";
    if (!form.isEmpty())
      request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                 QByteArray::number(body.size()) + "\r\n";
    request += "\r\n" + body;
    const int fd = testsupport::DialLoopback(port);
    QByteArray out;
    bool whole = fd >= 0 && write(fd, request.constData(), request.size()) == request.size();
    for (QElapsedTimer t; whole;) {
      if (!t.isValid()) t.start();
      pollfd p{fd, POLLIN, 0};
      char chunk[65536];
      const ssize_t n = poll(&p, 1, std::max<int>(0, 30000 - t.elapsed())) > 0 ? read(fd, chunk, sizeof chunk) : -1;
      if (n <= 0) {
        whole = n == 0;  // the server closed the connection after its answer
        break;
      }
      out.append(chunk, n);
    }
    if (fd >= 0) close(fd);
    const qsizetype split = out.indexOf("\r\n\r\n");
    if (!whole || split < 0 || !out.startsWith("HTTP/1.1 ")) return {};
    return {out.mid(9, 3).toInt(), out.left(split), out.mid(split + 4)};
  }
  QByteArray SignIn(const QString& user, const QString& password) {
    const QByteArray head = Http("/login", {}, {"user=" + user, "password=" + password}).head;
    const qsizetype at = head.indexOf("kalvor_session=");
    return at < 0 ? QByteArray() : head.mid(at + 15, 64);
  }

  // Runs pg_ctl on the tests' cluster as its owner (fast shutdown, waits).
  static bool PgCtl(const QString& what) {
    QString bin;
    for (const QString& v : QDir("/usr/lib/postgresql").entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed))
      if (bin.isEmpty() && QFile::exists("/usr/lib/postgresql/" + v + "/bin/pg_ctl")) bin = "/usr/lib/postgresql/" + v + "/bin/pg_ctl";
    const QString data = KALVOR_PG_HOST + "/data";
    QStringList args = {bin, "-D", data, "-l", KALVOR_PG_HOST + "/server.log", "-m", "fast", "-w", what};
    if (getuid() == 0) args = QStringList{"-u", QFileInfo(data).owner(), "--"} + args;
    QProcess p;
    p.setWorkingDirectory(KALVOR_PG_HOST);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(getuid() == 0 ? "runuser" : args.takeFirst(), args);
    return p.waitForFinished(60000) && p.exitCode() == 0;
  }

  QTemporaryDir scratch;
  depot::Connection db;
  QProcess depotServer;
  testsupport::Browser browser;
  int port = 0;
};

TEST_F(DepotWeb, PagesInTheBrowser) {
  ASSERT_NO_FATAL_FAILURE(StartBrowser());
  const QString day9 = QDate::currentDate().addDays(-9).toString(Qt::ISODate);
  const QString typePath = QStringLiteral("/type?line=l1&bogie=1&spring=1&from=%1&to=%2&bfrom=%3&bto=%4")
                               .arg(QDate::currentDate().addDays(-29).toString(Qt::ISODate),
                                    QDate::currentDate().toString(Qt::ISODate),
                                    QDate::currentDate().addDays(-29).toString(Qt::ISODate),
                                    QDate::currentDate().addDays(-10).toString(Qt::ISODate));

  // Without a session every page leads to the sign-in, which keeps the way back.
  for (const QString& path : {QString("/"), QString("/lines.csv"), QString("/types?line=l1"), typePath,
                              QString("/type.csv?what=chart"), QString("/search?wagon=12345678"),
                              QString("/search.csv?wagon=1"), QString("/record?line=l1"),
                              QString("/sets?wagon=1"), QString("/sets.csv?wagon=1")}) {
    ASSERT_TRUE(browser.Go(Url(path))) << qPrintable(path);
    EXPECT_EQ(browser.Path(), "/login") << qPrintable(path) << " "
                                         << qPrintable(browser.Eval("location.href + document.body.innerText.slice(0, 300)").toString());
  }
  ASSERT_TRUE(browser.Go(Url("/sets?wagon=12345678")));
  Shot("signin", 500);

  // A wrong password and a role that is not an engineer's are refused.
  auto signIn = [&](const QString& user, const QString& password) {
    return browser.Load([&] {
      browser.Eval(QStringLiteral("document.querySelector('[name=user]').value = '%1';"
                                  "document.querySelector('[name=password]').value = '%2';"
                                  "document.querySelector('#signin').click()")
                       .arg(user, password));
    });
  };
  ASSERT_TRUE(signIn("web_ivanov", "wrong"));
  EXPECT_EQ(browser.Path(), "/login");
  EXPECT_TRUE(browser.Eval("document.querySelector('.err').textContent").toString().contains("Неверное"));
  ASSERT_TRUE(signIn("web_outsider", "secret-2"));
  EXPECT_TRUE(browser.Eval("document.querySelector('.err').textContent").toString().contains("нет доступа"));
  ASSERT_TRUE(signIn("web_ivanov", "secret-1"));
  EXPECT_EQ(browser.Path(), "/sets");  // the last page asked for
  EXPECT_TRUE(browser.Eval("document.cookie").toString().isEmpty()) << "the session cookie is HttpOnly";

  // Lines: the counts of a direct SQL count and of the planted records.
  ASSERT_TRUE(browser.Go(Url("/")));
  Shot("lines", 560);
  const QJsonArray rows = browser.Eval(
      "[...document.querySelectorAll('#lines tr[data-line]')].map(tr => [tr.dataset.line,"
      " tr.querySelector('.today').textContent, tr.querySelector('.week').textContent, tr.className])").toArray();
  ASSERT_EQ(rows.size(), 2);
  const QList<QStringList> csv = ParseCsv(Fetch("/lines.csv"));
  ASSERT_EQ(csv.size(), 3);
  for (int i = 0; i < 2; ++i) {
    const QString line = rows[i][0].toString();
    const long long today = Count("SELECT count(*) FROM measurements WHERE line = '" + line.toUtf8() +
                                  "' AND NOT emulated AND date(measured_at) = current_date");
    const long long week = Count("SELECT count(*) FROM measurements WHERE line = '" + line.toUtf8() +
                                 "' AND NOT emulated AND measured_at >= date_trunc('week', now())");
    EXPECT_EQ(rows[i][1].toString().toLongLong(), today) << qPrintable(line);
    EXPECT_EQ(rows[i][2].toString().toLongLong(), week) << qPrintable(line);
    EXPECT_EQ(csv[i + 1][0], line);
    EXPECT_EQ(csv[i + 1][1].toLongLong(), today);
    EXPECT_EQ(csv[i + 1][4].toLongLong(), week);
  }
  EXPECT_EQ(rows[0][1].toString(), "6");  // l1 today: the emulated two are not counted
  EXPECT_EQ(rows[1][1].toString(), "4");
  EXPECT_EQ(csv[2][3], "75,0");           // l2: three of four good
  EXPECT_EQ(rows[0][3].toString(), "");
  EXPECT_EQ(rows[1][3].toString(), "stale");
  EXPECT_EQ(csv[2][10], "да");
  EXPECT_EQ(browser.Eval("document.querySelector('#zone').textContent").toString(),
            QString::fromUtf8(QTimeZone::systemTimeZoneId()));

  // The spring type: the shift planted ten shifts ago breaks rule 1 first,
  // the baseline breaks none; the chart's CSV says the same.
  ASSERT_TRUE(browser.Go(Url(typePath)));
  Shot("type", 2300);
  const QJsonArray marks = browser.Eval(
      "[...document.querySelectorAll('#p2 .violations li')].map(li => [li.dataset.shift, li.textContent])").toArray();
  ASSERT_FALSE(marks.isEmpty());
  EXPECT_EQ(marks[0][0].toString(), day9);
  EXPECT_TRUE(marks[0][1].toString().endsWith("X̄: правило 1")) << qPrintable(marks[0][1].toString());
  for (const QJsonValue& m : marks) EXPECT_GE(m[0].toString(), day9);
  EXPECT_EQ(browser.Eval("document.querySelector('#p2 svg circle.violation').dataset.rules").toString(), "1");
  EXPECT_GE(browser.Eval("document.querySelectorAll('#p2 svg text.rule').length").toInt(), 10);
  const QList<QStringList> chart =
      ParseCsv(Fetch(browser.Eval("document.querySelector('#p2 a.csv').getAttribute('href')").toString()));
  ASSERT_EQ(chart.size(), 31);
  for (int i = 1; i <= 30; ++i) {
    EXPECT_EQ(chart[i][1], "6");
    EXPECT_EQ(chart[i][7].isEmpty(), chart[i][0] < day9) << qPrintable(chart[i][0]);
    EXPECT_EQ(chart[i][12], chart[i][0] < day9 ? "да" : "нет");
  }
  EXPECT_EQ(chart[21][0], day9);
  EXPECT_EQ(chart[21][7], "1");

  // The wagon: exactly its three records, the sheet of one, its set.
  ASSERT_TRUE(browser.Go(Url("/search?wagon=12345678")));
  Shot("search", 520);
  EXPECT_EQ(browser.Eval("document.querySelector('#found').textContent").toString(), "3");
  QStringList found;
  for (const QJsonValue& v : browser.Eval("[...document.querySelectorAll('#results td a')].map(a => a.textContent)").toArray())
    found << v.toString();
  found.sort();
  EXPECT_EQ(found, QStringList({"L1-3-0", "L1-5-0", "L2-1"}));
  const QList<QStringList> list = ParseCsv(Fetch("/search.csv?wagon=12345678"));
  ASSERT_EQ(list.size(), 4);
  // The columns of springdata's export, then the line; a record of the line
  // neither emulated nor accelerated.
  const auto exported = Springdata({"export", "--home", scratch.filePath("l1")});
  ASSERT_EQ(exported.exitCode, 0) << qPrintable(exported.err);
  EXPECT_EQ(list[0], ParseCsv(exported.out).value(0) << "Линия");
  for (const QStringList& row : list.mid(1)) EXPECT_EQ(row.mid(row.size() - 3, 2), QStringList({"нет", "нет"}));
  ASSERT_TRUE(browser.Load([&] { browser.Eval("document.querySelector('#results td a').click()"); }));
  EXPECT_EQ(browser.Path(), "/record");
  Shot("record", 900);
  EXPECT_EQ(browser.Eval("document.querySelector('#params tr:nth-child(3) td:nth-child(6)').textContent").toString(), "246");
  ASSERT_TRUE(browser.Go(Url("/sets?wagon=12345678")));
  Shot("sets", 420);
  EXPECT_EQ(browser.Eval("document.querySelector('#found').textContent").toString(), "1");
  EXPECT_EQ(ParseCsv(Fetch("/sets.csv?wagon=12345678")).size(), 2);

  // A tablet's 800 px and a laptop's 1366: charts scale, tables scroll in
  // their box, no page scrolls sideways.
  for (const auto& [path, name] : {std::pair{typePath, "type"}, std::pair{QString("/search?wagon=12345678"), "search"},
                                   std::pair{QString("/"), "lines"}})
    for (int width : {800, 1366}) {
      ASSERT_TRUE(browser.Go(Url(path)));
      Shot(QStringLiteral("%1-%2").arg(name).arg(width), 1400, width);
      EXPECT_LE(browser.Eval("document.documentElement.scrollWidth").toInt(), width) << qPrintable(path);
      EXPECT_LE(browser.Eval("document.querySelector('table').getBoundingClientRect().right").toDouble(), width);
    }

  // Signed out, the pages lead to the sign-in again.
  ASSERT_TRUE(browser.Load([&] { browser.Eval("document.querySelector('header form button').click()"); }));
  ASSERT_TRUE(browser.Go(Url("/")));
  EXPECT_EQ(browser.Path(), "/login");
}

// The page against a database that drops the server's connections and then
// refuses them, against visitors who send what they should not, and against
// an administrator who takes an engineer's rights away. It shares the
// cluster with the other depot tests, but needs no core to itself.
TEST_F(DepotWeb, SurvivesItsDatabaseAndItsVisitors) {
  QByteArray cookie = SignIn("web_ivanov", "secret-1");
  ASSERT_EQ(cookie.size(), 64);
  QString error;
  // Parameters that do not read answer 400 with the reason, never a substitute.
  for (const char* path : {"/type?spring=70000", "/type?bogie=99999999999", "/type?bogie=1%20OR%201%3D1",
                           "/record?line=l1&id=x&at=notadate", "/record?line=l1&id=x&at=0000-00-00",
                           "/type?from=0000-00-00", "/search?wagon=1&from=2026-03-05&to=2026-03-01",
                           "/type.csv?p=7"}) {
    const Reply r = Http(path, cookie);
    EXPECT_EQ(r.status, 400) << path;
    EXPECT_TRUE(r.body.contains("class=\"err\">Неверн") || r.body.contains("class=\"err\">Начало периода")) << path;
  }
  EXPECT_TRUE(Http("/login?next=/%09/x").body.contains("name=\"next\" value=\"/\""));
  EXPECT_TRUE(Http("/login", {}, {"user=web_ivanov", "password=secret-1", "next=/\t/evil.example"})
                  .head.contains("Location: /\r\n"));

  // A formula in a stored text, or in a record's wagon for springdata's
  // export, comes out as text.
  ASSERT_TRUE(db.Exec("INSERT INTO measurements (line, identifier, measured_at, wagon_from) "
                      "VALUES ('l2', '@SUM(1)', now(), '=1+2')", error)) << qPrintable(error);
  const QByteArray found = Http("/search.csv?wagon=%3D1%2B2", cookie).body;
  EXPECT_TRUE(found.contains(";'@SUM(1);") && found.contains(";'=1+2;")) << found.constData();
  MeasurementRecord planted = Spring("F-1", 0, 1, 250, 136);
  planted.WagonFrom = "=1+2";
  Write(scratch.path(), "l1", "day.bin", {planted});
  EXPECT_TRUE(Springdata({"export", "--home", scratch.filePath("l1")}).out.contains(";'=1+2;"));

  // The database's own roles never sign in; a revoked engineer is signed
  // out at the next look at the rights (every second here, every minute in
  // service).
  for (const char* role : {"kalvor_reader", "kalvor_admin", "kalvor_line_l1"})
    EXPECT_EQ(Http("/login", {}, {QStringLiteral("user=") + role, "password=x"}).status, 403) << role;
  ASSERT_TRUE(db.Exec("REVOKE kalvor_reader FROM web_ivanov", error));
  QThread::msleep(1100);
  EXPECT_EQ(Http("/search", cookie).status, 303);
  ASSERT_TRUE(db.Exec("GRANT kalvor_reader TO web_ivanov", error));
  cookie = SignIn("web_ivanov", "secret-1");

  // PostgreSQL restarted in the midst of a run of requests: each answer is
  // the whole CSV or 503, never an empty file; after it, every worker's
  // broken connection is replaced at its next query and all answer whole.
  for (int i = 0; i < 12; ++i) Http("/search.csv?wagon=12345678", cookie);
  bool restarted = false;
  std::thread restart([&] { restarted = PgCtl("restart"); });
  int whole = 0;
  for (int i = 0; i < 36; ++i) {
    const Reply r = Http("/search.csv?wagon=12345678", cookie);
    if (i == 23) restart.join();
    if (r.status == 200) ++whole;
    EXPECT_TRUE(r.status == 200 ? ParseCsv(QString::fromUtf8(r.body)).size() == 4
                                : r.status == 503 && r.body.contains("База данных недоступна"))
        << r.status << r.body.constData();
  }
  ASSERT_TRUE(restarted);
  std::fprintf(stderr, "across the restart %d of 36 answers whole, the rest 503\n", whole);
  ASSERT_TRUE(db.Open(Conninfo("depotweb", "kalvor_admin"), "test", error)) << qPrintable(error);
  for (int i = 0; i < 12; ++i) {
    const Reply r = Http("/search.csv?wagon=12345678", cookie);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(ParseCsv(QString::fromUtf8(r.body)).size(), 4);
  }
  const QByteArray dropServer =
      "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE application_name = 'kalvor-depot'";
  // The database refusing the server: 503 with a short message, no CSV, no
  // database text; the sign-in says the database is out.
  depot::Connection cluster;
  ASSERT_TRUE(cluster.Open(Conninfo("postgres", "kalvor_admin"), "test", error));
  ASSERT_TRUE(cluster.Exec("ALTER DATABASE depotweb ALLOW_CONNECTIONS false", error)) << qPrintable(error);
  Count(dropServer);
  for (const char* path : {"/", "/lines.csv", "/search.csv?wagon=12345678", "/type?bogie=1&spring=1"}) {
    const Reply r = Http(path, cookie);
    EXPECT_EQ(r.status, 503) << path;
    EXPECT_TRUE(r.body.contains("База данных недоступна, повторите через минуту")) << path;
    EXPECT_FALSE(r.body.contains("Линия;") || r.body.contains("depotweb") || r.body.contains("connect")) << path;
  }
  const Reply refused = Http("/login", {}, {"user=web_ivanov", "password=secret-1"});
  EXPECT_EQ(refused.status, 503);
  EXPECT_TRUE(refused.body.contains("База данных недоступна"));
  ASSERT_TRUE(cluster.Exec("ALTER DATABASE depotweb ALLOW_CONNECTIONS true", error));
  EXPECT_EQ(Http("/", cookie).status, 200);
}

// 30 wrong sign-ins at once and 12 connections that never finish their
// request: the server takes them all at once, a signed-in page still
// answers within 200 ms (the median of 5), and the guesser is told to wait.
// A wall-clock bound, which holds with both cores busy (realtime.cmake).
TEST_F(DepotWeb, ASignedInPageAnswersUnderAStormOfSignIns) {
  const QByteArray cookie = SignIn("web_ivanov", "secret-1");
  ASSERT_EQ(cookie.size(), 64);
  std::vector<int> slow;
  // Taken at once, all twelve: none waits for its client to try again.
  QElapsedTimer burst;
  burst.start();
  for (int i = 0; i < 12; ++i) {
    slow.push_back(testsupport::DialLoopback(port));
    ASSERT_GE(slow.back(), 0);
    ASSERT_GT(write(slow.back(), "GET / HTTP/1.1\r\nHost: x\r\n", 25), 0);
  }
  EXPECT_LT(burst.elapsed(), 500);
  QStringList storm = {"-s", "-Z", "--parallel-max", "30", "-o", "/dev/null", "-d", "user=web_ivanov&password=wrong"};
  for (int i = 0; i < 30; ++i) storm << Url("/login");
  QProcess guesser;
  guesser.start("curl", storm);
  std::vector<double> seconds;
  for (int i = 0; i < 5; ++i) {
    QProcess timed;
    timed.start("curl", {"-s", "-o", "/dev/null", "-w", "%{http_code} %{time_total}", "-H",
                         "Cookie: kalvor_session=" + cookie, Url("/")});
    timed.waitForFinished(30000);
    const QList<QByteArray> w = timed.readAllStandardOutput().split(' ');
    EXPECT_EQ(w.value(0), "200");
    seconds.push_back(w.value(1).toDouble());
  }
  guesser.waitForFinished(30000);
  std::sort(seconds.begin(), seconds.end());
  std::fprintf(stderr, "signed-in page under the storm: %.3f .. %.3f s, median %.3f s\n", seconds.front(),
               seconds.back(), seconds[2]);
  EXPECT_LT(seconds[2], 0.2);
  const Reply limited = Http("/login", {}, {"user=web_ivanov", "password=wrong"});
  EXPECT_EQ(limited.status, 429);
  EXPECT_TRUE(limited.head.contains("Retry-After: "));
  for (int fd : slow) close(fd);
}

// Lines pool a spring type only where their bogie files name it alike:
// named apart, the all-lines pages show each line's own.
TEST_F(DepotWeb, SpringsNamedApartAreNotPooled) {
  const QByteArray cookie = SignIn("web_ivanov", "secret-1");
  EXPECT_TRUE(Http("/type?bogie=1&spring=1", cookie).body.contains("id=\"pooled\">Сведены линии: l1, l2</p>"));
  QString error;
  ASSERT_TRUE(db.Exec("UPDATE measurements SET spring_name = 'Пружина Б' WHERE line = 'l2'", error)) << qPrintable(error);
  const QByteArray apart = Http("/type?bogie=1&spring=1", cookie).body;
  EXPECT_TRUE(apart.contains("<ul id=\"apart\">") && !apart.contains("id=\"p2\"")) << apart.constData();
  EXPECT_TRUE(apart.contains("href=\"/type?line=l2&amp;bogie=1&amp;spring=1")) << apart.constData();
  EXPECT_EQ(Http("/type.csv?bogie=1&spring=1&what=chart", cookie).status, 400);
  const QByteArray types = Http("/types", cookie).body;
  EXPECT_TRUE(types.contains("<td class=\"lines\">l1</td>") && types.contains("<td class=\"lines\">l2</td>"));
  EXPECT_TRUE(Http("/type?line=l2&bogie=1&spring=1", cookie).body.contains("id=\"p2\""));
}

}  // namespace

// The engineer's morning: l1's free height shifted in its last ten shifts is
// named first under "Требует внимания"; a red point leads to that shift's
// records and the record back to the chart; the causes of rejection and the
// histogram's figures agree with SQL; the type page prints to A4.
TEST_F(DepotWeb, AttentionDrillDownCausesAndPrint) {
  ASSERT_NO_FATAL_FAILURE(StartBrowser());
  const QDate today = QDate::currentDate();
  const QString day9 = today.addDays(-9).toString(Qt::ISODate);
  const QString from = today.addDays(-29).toString(Qt::ISODate), to = today.toString(Qt::ISODate);
  const QByteArray cookie = SignIn("web_ivanov", "secret-1");
  ASSERT_TRUE(browser.Go(Url("/login")));
  ASSERT_TRUE(browser.Load([&] {
    browser.Eval("document.querySelector('[name=user]').value = 'web_ivanov';"
                 "document.querySelector('[name=password]').value = 'secret-1';"
                 "document.querySelector('#signin').click()");
  }));

  ASSERT_TRUE(browser.Go(Url("/")));
  const QJsonArray attention = browser.Eval(
      "[...document.querySelectorAll('#attention li')].map(li => [li.dataset.line, li.dataset.type, li.className,"
      " li.textContent, li.querySelector('a').getAttribute('href')])").toArray();
  ASSERT_FALSE(attention.isEmpty());
  EXPECT_EQ(attention[0][0].toString(), "l1");
  EXPECT_EQ(attention[0][1].toString(), "1/1");
  EXPECT_EQ(attention[0][2].toString(), "red");
  EXPECT_TRUE(attention[0][3].toString().contains("X̄ высоты: правила 1, ")) << qPrintable(attention[0][3].toString());
  EXPECT_TRUE(attention[0][4].toString().contains("from=" + from + "&to=" + to)) << qPrintable(attention[0][4].toString());
  EXPECT_EQ(browser.Eval("document.querySelector('#matrix td[data-line=l1]').className").toString(), "red");
  EXPECT_EQ(browser.Eval("document.querySelectorAll('#rejected tr[data-line]').length").toInt(), 2);

  // A red point of the X̄ chart: its shift's records of that line and type.
  ASSERT_TRUE(browser.Go(Url(QStringLiteral("/type?line=l1&bogie=1&spring=1&from=%1&to=%2").arg(from, to))));
  ASSERT_TRUE(browser.Load([&] {
    browser.Eval("document.querySelector('#p2 svg circle.violation').dispatchEvent(new MouseEvent('click', {bubbles: true}))");
  }));
  EXPECT_EQ(browser.Path(), "/search");
  EXPECT_EQ(browser.Eval("document.querySelector('#found').textContent").toString(), "6");
  const QString shown = today.addDays(-9).toString("dd.MM.yyyy");
  EXPECT_EQ(browser.Eval("[...document.querySelectorAll('#results tr td:nth-child(3)')].every(td => td.textContent"
                         ".startsWith('" + shown + "'))").toBool(), true);
  ASSERT_TRUE(browser.Load([&] { browser.Eval("document.querySelector('#results td a').click()"); }));
  ASSERT_TRUE(browser.Load([&] { browser.Eval("document.querySelector('#chart').click()"); }));
  EXPECT_EQ(browser.Eval("new URLSearchParams(location.search).get('shift')").toString(), day9);
  EXPECT_EQ(browser.Eval("document.querySelectorAll('#p2 svg rect.marked').length").toInt(), 1);

  // The histogram's n, mean and s against SQL's over the rows.
  ASSERT_TRUE(browser.Go(Url(QStringLiteral("/type?line=l1&bogie=1&spring=1&from=%1&to=%2").arg(from, to))));
  depot::Result stats;
  QString error;
  ASSERT_TRUE(db.Query("SELECT count(*), avg(p2_value), stddev_samp(p2_value) FROM measurements WHERE line = 'l1'"
                       " AND NOT emulated AND measured_at >= current_date - 29", {}, stats, error)) << qPrintable(error);
  const QJsonArray fit = browser.Eval("(t => [t.dataset.n, t.dataset.mean, t.dataset.sd])"
                                      "(document.querySelector('#p2 text.fit'))").toArray();
  ASSERT_EQ(fit.size(), 3);
  EXPECT_EQ(fit[0].toString().toLongLong(), stats.Number(0, 0));
  EXPECT_NEAR(fit[1].toString().toDouble(), stats.Text(0, 1).toDouble(), 1e-9);
  EXPECT_NEAR(fit[2].toString().toDouble(), stats.Text(0, 2).toDouble(), 1e-9);
  EXPECT_EQ(browser.Eval("document.querySelectorAll('#p2 g.normal polyline').length").toInt(), 1);

  // Every line's X̄ on the all-lines page, on one scale; the Pareto's counts
  // are SQL's count of rejected records failed per parameter.
  ASSERT_TRUE(browser.Go(Url("/type?bogie=1&spring=1")));
  for (int width : {800, 1366}) Shot(QStringLiteral("type-all-%1").arg(width), 2600, width);
  EXPECT_EQ(browser.Eval("[...document.querySelectorAll('#p2 .line-chart')].map(d => d.dataset.line).join()").toString(),
            "l1,l2");
  EXPECT_EQ(browser.Eval("new Set([...document.querySelectorAll('#p2 .line-chart svg')].map(s =>"
                         " s.querySelector('text[text-anchor=end]').textContent)).size").toInt(), 1);
  long long rejected = 0;
  for (int p = 1; p <= 6; ++p) {
    const long long count = Count(QStringLiteral("SELECT count(*) FROM measurements WHERE judged AND NOT emulated AND "
                                                 "spring_good IS FALSE AND p%1_good IS FALSE AND measured_at >= current_date - 59")
                                      .arg(p).toUtf8());
    rejected += count;
    EXPECT_EQ(browser.Eval(QStringLiteral("(r => r ? +r.cells[1].textContent : 0)(document.querySelector("
                                          "'#pareto tr[data-param=\"%1\"]'))").arg(p)).toInt(), count) << p;
  }
  EXPECT_GT(rejected, 0);

  // Printed: the type page's text on A4 pages, without the navigation.
  const QString pdf = scratch.filePath("type.pdf");
  ASSERT_TRUE(browser.Go(Url(QStringLiteral("/type?line=l1&bogie=1&spring=1&from=%1&to=%2").arg(from, to))));
  ASSERT_TRUE(browser.PrintToPdf(pdf));
  const auto text = testsupport::Run("pdftotext", {"-layout", pdf, "-"});
  EXPECT_TRUE(text.out.contains("Тип пружины 1") && text.out.contains("Причины брака") &&
              text.out.contains("Гистограмма за период")) << qPrintable(text.out.left(2000));
  EXPECT_FALSE(text.out.contains("Выйти") || text.out.contains("Показать"));
  EXPECT_GE(text.out.count(QChar(0x0c)), 3) << "the causes and each parameter on pages of their own";
  if (qEnvironmentVariableIsSet("KALVOR_UPDATE_SCREENS")) QFile::copy(pdf, QDir::temp().filePath("depot-type.pdf"));

  // The sets page names the places; a record without wagon numbers says so.
  const QByteArray sets = Http("/sets?wagon=12345678", cookie).body;
  EXPECT_TRUE(sets.contains("<th></th><th>3K</th><th>5K</th><th>1</th><th>2</th><th>4</th><th>6</th><th>7</th>"));
  ASSERT_TRUE(db.Exec("INSERT INTO measurements (line, identifier, measured_at, wagon_from, wagon_to) "
                      "VALUES ('l2', 'NW-1', now(), '?', '')", error)) << qPrintable(error);
  EXPECT_EQ(Http("/search?id=NW-1", cookie).body.count("<td>не задан</td>"), 2);
}
