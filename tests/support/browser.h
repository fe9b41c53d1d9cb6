#pragma once
// Headless Chromium for the depot pages' tests, driven over its DevTools
// protocol (a WebSocket on the loopback).
//
// Starting Chromium costs more than most of these tests' own work, so one
// Chromium serves every test of a run: the first test that needs it starts
// it in a folder the tests share (detached, so that it outlives that test's
// process; the depot cluster's stop ends it, pg-cluster.sh), the later ones
// find it there. Each test works in a browser context of its own (cookies,
// storage and cache apart), which ends with the test's connection.

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QThread>
#include <functional>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testsupport.h"

namespace testsupport {

class Browser {
 public:
  bool Start(const QString& home) { return Launch(home) && Attach(); }
  // Start in two halves, so that a test may do other work while Chromium
  // comes up: the Chromium of `home` made sure of (started when none runs
  // there), then this test's page in it.
  bool Launch(const QString& home) {
    home_ = home;
    if (!QDir().mkpath(home)) return false;
    // One starter at a time: two tests started side by side by hand share
    // one Chromium too.
    const int lock = open(QFile::encodeName(home + "/lock").constData(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) return false;
    const bool ok = Running() || Spawn();
    close(lock);
    return ok;
  }
  bool Attach() {
    if (!Connect()) return false;
    // disposeOnDetach: the context goes with this connection, also when the
    // test's process dies.
    const QJsonObject context =
        Send("Target.createBrowserContext", {{"disposeOnDetach", true}}, false);
    const QJsonObject target =
        Send("Target.createTarget",
             {{"url", "about:blank"}, {"browserContextId", context["result"]["browserContextId"]},
              {"width", 1280}, {"height", 1000}},
             false);
    const QJsonObject attached =
        Send("Target.attachToTarget", {{"targetId", target["result"]["targetId"]}, {"flatten", true}}, false);
    session_ = attached["result"]["sessionId"].toString();
    Send("Page.enable", {});
    return !session_.isEmpty();
  }
  ~Browser() {
    if (socket_ >= 0) close(socket_);
  }

  QJsonObject Send(const QString& method, const QJsonObject& params, bool toPage = true) {
    QJsonObject m{{"id", ++id_}, {"method", method}, {"params", params}};
    if (toPage) m["sessionId"] = session_;
    if (!WriteFrame(QJsonDocument(m).toJson(QJsonDocument::Compact))) return {};
    while (true) {
      const QJsonObject reply = Next(30000);
      if (reply.isEmpty() || reply["id"].toInt() == id_) return reply;
      events_ << reply["method"].toString();
    }
  }
  bool WaitFor(const QString& event) {
    while (!events_.contains(event)) {
      const QJsonObject m = Next(30000);
      if (m.isEmpty()) return false;
      events_ << m["method"].toString();
    }
    return true;
  }
  // Runs `action` (a navigation or a click) and waits for the page it loads.
  bool Load(const std::function<void()>& action) {
    events_.clear();
    action();
    return WaitFor("Page.loadEventFired");
  }
  bool Go(const QString& url) {
    return Load([&] { Send("Page.navigate", {{"url", url}}); });
  }
  QJsonValue Eval(const QString& js) {
    const QJsonObject r =
        Send("Runtime.evaluate", {{"expression", js}, {"returnByValue", true}, {"awaitPromise", true}});
    return r["result"]["result"]["value"];
  }
  QString Path() { return Eval("location.pathname").toString(); }
  // The page laid out as on a screen `width` by `height` pixels.
  bool Resize(int height, int width = 1280) {
    return Send("Emulation.setDeviceMetricsOverride",
                {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}})
        .contains("result");
  }
  // A picture of the whole page, `height` pixels high.
  bool Screenshot(const QString& file, int height, int width = 1280) {
    Resize(height, width);
    return Save(file, Send("Page.captureScreenshot", {{"format", "png"}}));
  }
  // The page as its print style sheet lays it out on A4, without the
  // browser's header and footer.
  bool PrintToPdf(const QString& file) {
    return Save(file, Send("Page.printToPDF", {{"paperWidth", 8.27}, {"paperHeight", 11.69},
                                               {"displayHeaderFooter", false}, {"preferCSSPageSize", true}}));
  }

 private:
  QString Profile() const { return home_ + "/profile"; }
  QString PortFile() const { return Profile() + "/DevToolsActivePort"; }

  // The Chromium started in home_, if it still runs (its process is this
  // folder's: a pid of an earlier run may belong to another process now).
  pid_t Pid() const {
    QFile f(home_ + "/pid");
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const pid_t pid = f.readAll().trimmed().toInt();
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (pid <= 0 || !cmdline.open(QIODevice::ReadOnly)) return -1;
    return cmdline.readAll().contains("--user-data-dir=" + QFile::encodeName(Profile()) + '\0') ? pid : -1;
  }
  bool Running() const { return Pid() > 0; }

  // Chromium in its own session, its output to /dev/null, reparented to
  // init: neither this process nor CTest, which reads the test's output to
  // its end, waits for it.
  bool Spawn() {
    QFile::remove(PortFile());
    const QByteArray dir = "--user-data-dir=" + QFile::encodeName(Profile());
    int pids[2];
    if (pipe(pids) != 0) return false;
    const pid_t middle = fork();
    if (middle == 0) {
      setsid();
      const pid_t chromium = fork();
      if (chromium == 0) {
        const int null = open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; ++fd) dup2(null, fd);
        for (int fd = 3; fd < 1024; ++fd) close(fd);
        execlp("chromium", "chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
               "--no-first-run", "--disable-background-networking", "--disable-component-update",
               "--disable-sync", "--remote-debugging-port=0", "--window-size=1280,1000", dir.constData(),
               "about:blank", static_cast<char*>(nullptr));
        _exit(127);
      }
      (void)!write(pids[1], &chromium, sizeof chromium);
      _exit(0);
    }
    close(pids[1]);
    pid_t chromium = -1;
    const bool read = middle > 0 && ::read(pids[0], &chromium, sizeof chromium) == sizeof chromium;
    close(pids[0]);
    if (middle > 0) waitpid(middle, nullptr, 0);
    if (!read || chromium <= 0) return false;
    QFile f(home_ + "/pid");
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(QByteArray::number(chromium)) > 0;
  }

  // The browser's WebSocket, once Chromium has written where it listens.
  bool Connect() {
    // The port, then the browser's path (/devtools/browser/ and a UUID),
    // which may be read half written.
    QList<QByteArray> where;
    auto whole = [&] { return where.size() >= 2 && where[1].trimmed().size() == 54; };
    for (int i = 0; i < 1500 && !whole(); ++i) {
      QFile f(PortFile());
      if (f.open(QIODevice::ReadOnly)) where = f.readAll().split('\n');
      if (whole()) break;
      if (i % 50 == 49 && !Running()) return false;  // Chromium ended without listening
      QThread::msleep(20);
    }
    if (!whole()) return false;
    socket_ = DialLoopback(where[0].toInt());
    if (socket_ < 0) return false;
    const QByteArray upgrade = "GET " + where[1].trimmed() + " HTTP/1.1\r\nHost: 127.0.0.1:" + where[0] +
                               "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                               "Sec-WebSocket-Key: a2Fsdm9yLWRlcG90LXRlc3Q=\r\nSec-WebSocket-Version: 13\r\n\r\n";
    if (!WriteAll(upgrade)) return false;
    while (!buffer_.contains("\r\n\r\n"))
      if (!ReadMore(30000)) return false;
    const qsizetype end = buffer_.indexOf("\r\n\r\n") + 4;
    const bool switched = buffer_.startsWith("HTTP/1.1 101");
    buffer_.remove(0, end);
    return switched;
  }

  bool WriteAll(const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
      const ssize_t n = write(socket_, bytes.constData() + done, bytes.size() - done);
      if (n <= 0) return false;
      done += n;
    }
    return true;
  }
  bool ReadMore(int timeoutMs) {
    pollfd p{socket_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return false;
    char chunk[65536];
    const ssize_t n = read(socket_, chunk, sizeof chunk);
    if (n <= 0) return false;
    buffer_.append(chunk, n);
    return true;
  }
  // One text frame from the client: masked, as the protocol asks.
  bool WriteFrame(const QByteArray& text) {
    QByteArray frame(1, char(0x81));
    const quint64 n = text.size();
    if (n < 126) {
      frame += char(0x80 | n);
    } else if (n < 65536) {
      frame += char(0x80 | 126);
      for (int shift = 8; shift >= 0; shift -= 8) frame += char(n >> shift);
    } else {
      frame += char(0x80 | 127);
      for (int shift = 56; shift >= 0; shift -= 8) frame += char(n >> shift);
    }
    const char mask[4] = {char(0x5a), char(0x17), char(id_), char(id_ >> 8)};
    frame.append(mask, 4);
    for (quint64 i = 0; i < n; ++i) frame += char(text[i] ^ mask[i % 4]);
    return WriteAll(frame);
  }
  // The next message, its fragments joined; empty after `timeoutMs` without
  // one or when the browser closed the connection.
  QJsonObject Next(int timeoutMs) {
    QByteArray message;
    while (true) {
      const auto* b = reinterpret_cast<const unsigned char*>(buffer_.constData());
      qsizetype header = 2;
      quint64 n = buffer_.size() >= 2 ? b[1] & 0x7f : 0;
      if (n == 126) header = 4;
      if (n == 127) header = 10;
      if (buffer_.size() >= header) {
        if (header > 2) {
          n = 0;
          for (qsizetype i = 2; i < header; ++i) n = n << 8 | b[i];
        }
        if (static_cast<quint64>(buffer_.size() - header) >= n) {
          const int opcode = b[0] & 0x0f;
          const bool last = b[0] & 0x80;
          const QByteArray payload = buffer_.mid(header, n);
          buffer_.remove(0, header + n);
          if (opcode == 0x8) return {};  // closed
          if (opcode == 0x9) WriteAll(QByteArray("\x8a\x80\0\0\0\0", 6));  // a ping: an empty pong
          if (opcode & 0x8) continue;
          message += payload;
          if (last) return QJsonDocument::fromJson(message).object();
          continue;
        }
      }
      if (!ReadMore(timeoutMs)) return {};
    }
  }
  static bool Save(const QString& file, const QJsonObject& reply) {
    const QByteArray data = QByteArray::fromBase64(reply["result"]["data"].toString().toLatin1());
    QFile f(file);
    return !data.isEmpty() && f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
  }

  QString home_;
  int socket_ = -1, id_ = 0;
  QString session_;
  QByteArray buffer_;
  QStringList events_;
};

}  // namespace testsupport
