#pragma once
// Headless Chromium for the depot pages' tests, driven over its DevTools pipe.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <functional>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

// Headless Chromium over --remote-debugging-pipe: commands go to fd 3,
// answers and events come from fd 4, each a JSON text ending with NUL.
class Browser {
 public:
  bool Start(const QString& profile) { return Launch(profile) && Attach(); }
  // Start in two halves, so that a test may do other work while Chromium
  // comes up: the process, then its page.
  bool Launch(const QString& profile) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return false;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 3);
      dup2(out[1], 4);
      for (int fd = 5; fd < 256; ++fd) close(fd);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      const QByteArray dir = "--user-data-dir=" + profile.toUtf8();
      execlp("chromium", "chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--remote-debugging-pipe", "--window-size=1280,1000", dir.constData(),
             "about:blank", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to_ = in[1];
    from_ = out[0];
    return true;
  }
  bool Attach() {
    const QJsonObject target = Send("Target.createTarget", {{"url", "about:blank"}}, false);
    const QJsonObject attached =
        Send("Target.attachToTarget", {{"targetId", target["result"]["targetId"]}, {"flatten", true}}, false);
    session_ = attached["result"]["sessionId"].toString();
    Send("Page.enable", {});
    return !session_.isEmpty();
  }
  ~Browser() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

  QJsonObject Send(const QString& method, const QJsonObject& params, bool toPage = true) {
    QJsonObject m{{"id", ++id_}, {"method", method}, {"params", params}};
    if (toPage) m["sessionId"] = session_;
    const QByteArray text = QJsonDocument(m).toJson(QJsonDocument::Compact) + '\0';
    if (write(to_, text.constData(), text.size()) != text.size()) return {};
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
  static bool Save(const QString& file, const QJsonObject& reply) {
    const QByteArray data = QByteArray::fromBase64(reply["result"]["data"].toString().toLatin1());
    QFile f(file);
    return !data.isEmpty() && f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
  }
  QJsonObject Next(int timeoutMs) {
    while (true) {
      const int nul = buffer_.indexOf('\0');
      if (nul >= 0) {
        const QJsonObject m = QJsonDocument::fromJson(buffer_.left(nul)).object();
        buffer_.remove(0, nul + 1);
        return m;
      }
      pollfd p{from_, POLLIN, 0};
      if (poll(&p, 1, timeoutMs) <= 0) return {};
      char chunk[65536];
      const ssize_t n = read(from_, chunk, sizeof chunk);
      if (n <= 0) return {};
      buffer_.append(chunk, n);
    }
  }
  pid_t pid_ = -1;
  int to_ = -1, from_ = -1, id_ = 0;
  QString session_;
  QByteArray buffer_;
  QStringList events_;
};

}  // namespace testsupport
