// On a real X server without a window manager (Xvfb at the line's 1024 x
// 768), as on the line: the terminal fits the screen, and after the
// visualiser and the terminal close, a keypad key
// typed on the X server reaches the main window. Real time: the keys come
// from outside the program.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include "flowsupport.h"

namespace {

class XServer {
 public:
  XServer() {
    proc_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    if (!proc_.waitForStarted(5000)) return;
    QElapsedTimer t;
    t.start();
    while (!out_.contains('\n') && t.elapsed() < 10000 && proc_.state() == QProcess::Running) {
      proc_.waitForReadyRead(200);
      out_ += proc_.readAllStandardOutput();
    }
    if (out_.contains('\n')) display_ = ":" + QString::fromLatin1(out_).trimmed();
  }
  ~XServer() {
    proc_.terminate();
    if (!proc_.waitForFinished(3000)) proc_.kill();
  }
  QString display() const { return display_; }
  QProcessEnvironment Env() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    env.insert("QT_QPA_PLATFORM", "xcb");
    return env;
  }
  // xdotool on this server; its standard output.
  QString Tool(const QStringList& args) const {
    QProcess p;
    p.setProcessEnvironment(Env());
    p.start("xdotool", args);
    p.waitForFinished(5000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
  }

 private:
  QProcess proc_;
  QByteArray out_;
  QString display_;
};

bool WaitForFile(const QString& path, const QProcess& program, int ms = 60000) {
  QElapsedTimer t;
  t.start();
  while (!QFile::exists(path) && t.elapsed() < ms && program.state() == QProcess::Running)
    QThread::msleep(20);
  return QFile::exists(path);
}

bool HasCaption(const QString& dump, int key) {
  return dump.contains(QRegularExpression(QString("(^|\\n)caption%1\\t").arg(key)));
}

TEST(KeyboardFocus, AfterEachServiceWindowClosesTheKeypadReachesTheMainWindow) {
  XServer x;
  ASSERT_FALSE(x.display().isEmpty()) << "Xvfb did not start";
  SimulatedLine line({}, false);
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home("[Global]\nEmul=0\nVNenable=1\nRTedit=1\n[Hard]\nTerminalEnable=1\n"
                "TerminalStart=1\n[Ckt]\nEnable=0\n[Debug]\nVred=1\n");
  home.Set("Hard", "Com", line.port());
  // Each "ready" dump is the moment the test types its key; the dump after
  // it shows the page the key led to.
  const QString script =
      "realtime\nwait 3000\ngrab terminal.png\n"
      "press Button17\nwait 1500\ngrab visualiser.png\nclose\nwait 1000\ndump back.txt\n"
      "press Button1\nwait 3000\ndump ready1.txt\nwait 3000\ndump key1.txt\nexit\n";
  QFile f(home.file("test.play"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(script.toUtf8());
  f.close();
  QProcess program;
  program.setProcessEnvironment(x.Env());
  program.start(KALVOR_EXE,
                {"--home", home.path(), "--virtual-clock", "--play", home.file("test.play")});
  ASSERT_TRUE(program.waitForStarted(5000));

  // Key 8 of the main menu: the wagon numbers, whose keys are 1, 7 and 13.
  ASSERT_TRUE(WaitForFile(home.file("ready1.txt"), program)) << program.readAllStandardError().toStdString();
  x.Tool({"key", "KP_8"});
  EXPECT_TRUE(program.waitForFinished(30000));
  EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();

  EXPECT_TRUE(home.Text("back.txt").startsWith("TForm4")) << home.Text("back.txt").toStdString();
  EXPECT_TRUE(home.Text("ready1.txt").startsWith("TForm1"));
  const QString key1 = home.Text("key1.txt");
  EXPECT_TRUE(HasCaption(key1, 1) && HasCaption(key1, 7)) << key1.toStdString();

  // The terminal fits the screen whole.
  for (const char* grab : {"terminal.png"}) {
    const QImage img = home.Snap(grab);
    EXPECT_FALSE(img.isNull()) << grab;
    EXPECT_LE(img.width(), 1024) << grab;
    EXPECT_LE(img.height(), 768) << grab;
  }
}

}  // namespace
