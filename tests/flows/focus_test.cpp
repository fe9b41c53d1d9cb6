// On a real X server without a window manager (Xvfb at the line's 1024 x
// 768), as on the line: every service window lies whole on the screen where
// the program puts it, and after the visualiser, the terminal, the parameter
// editor and a message box close, a keypad key typed on the X server
// reaches the main window. Real time: the keys come from outside the
// program; the scripts go to their windows on the virtual clock first.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QtEndian>
#include <csignal>
#include <functional>
#include <vector>

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
  // Where the visible window whose title starts with `title` lies; an empty
  // rectangle when there is none.
  QRect Window(const QString& title) const {
    const QString id = Tool({"search", "--onlyvisible", "--name", "^" + title}).section('\n', 0, 0);
    if (id.isEmpty()) return {};
    QRect r;
    for (const QString& line : Tool({"getwindowgeometry", "--shell", id}).split('\n')) {
      const int v = line.section('=', 1).toInt();
      if (line.startsWith("X=")) r.moveLeft(v);
      if (line.startsWith("Y=")) r.moveTop(v);
      if (line.startsWith("WIDTH=")) r.setWidth(v);
      if (line.startsWith("HEIGHT=")) r.setHeight(v);
    }
    return r;
  }
  // What the X server shows on its screen (xwd of the root window, 24-bit
  // ZPixmap at 32 bits a pixel); a null image when it cannot be read.
  QImage ScreenPicture() const {
    QProcess p;
    p.setProcessEnvironment(Env());
    p.start("xwd", {"-root", "-silent"});
    p.waitForFinished(10000);
    const QByteArray d = p.readAllStandardOutput();
    auto word = [&](int i) { return qFromBigEndian<quint32>(d.constData() + 4 * i); };
    if (d.size() < 100 || word(2) != 2 || word(11) != 32) return {};
    const int width = int(word(4)), height = int(word(5)), bpl = int(word(12));
    const qsizetype data = qsizetype(word(0)) + qsizetype(word(19)) * 12;
    if (d.size() < data + qsizetype(bpl) * height) return {};
    QImage img(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const char* px = d.constData() + data + qsizetype(y) * bpl + 4 * x;
        const quint32 v = word(7) == 0 ? qFromLittleEndian<quint32>(px) : qFromBigEndian<quint32>(px);
        img.setPixel(x, y, 0xFF000000u | (v & 0xFFFFFF));
      }
    return img;
  }
  // The window once the X server shows it, which it does a moment after the
  // program has shown it: an empty rectangle when it has not within `ms`.
  QRect WaitForWindow(const QString& title, int ms = 3000) const {
    QElapsedTimer t;
    t.start();
    QRect r = Window(title);
    while (r.isEmpty() && t.elapsed() < ms) {
      QThread::msleep(50);
      r = Window(title);
    }
    return r;
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

// Runs the program with the script on the X server; each (ready file,
// action) pair runs once the program wrote the file. A look at the windows
// holds the program stopped meanwhile (the X server keeps showing its
// windows), so that the script's next steps cannot close a window before the
// look, however slow the machine; a key typed from outside needs the program
// running.
struct Step {
  QString ready;
  std::function<void()> action;
  bool look = true;
};
void PlayOnX(const XServer& x, const FlowHome& home, const QString& script,
             const std::vector<Step>& steps, const QStringList& extraArgs = {}) {
  QFile f(home.file("test.play"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(script.toUtf8());
  f.close();
  QProcess program;
  program.setProcessEnvironment(x.Env());
  program.start(KALVOR_EXE, QStringList{"--home", home.path(), "--virtual-clock", "--play",
                                        home.file("test.play")} + extraArgs);
  ASSERT_TRUE(program.waitForStarted(5000));
  for (const Step& step : steps) {
    ASSERT_TRUE(WaitForFile(home.file(step.ready), program))
        << step.ready.toStdString() << program.readAllStandardError().toStdString();
    if (step.look) ::kill(static_cast<pid_t>(program.processId()), SIGSTOP);
    step.action();
    if (step.look) ::kill(static_cast<pid_t>(program.processId()), SIGCONT);
  }
  EXPECT_TRUE(program.waitForFinished(30000));
  EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
}

const QRect kScreen(0, 0, 1024, 768);

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
  // Each "ready" dump is the moment the test acts; the dump after it shows
  // the page the key led to. Only the visualiser's round and the key from
  // outside need real time; the test itself waits for the visualiser's window.
  const QString script =
      "wait 3000\ngrab terminal.png\nrealtime\n"
      "press Button17\nwait 300\ndump vis.txt\nwait 300\nclose\nwait 300\n"
      "dump back.txt\nrealtime off\npress Button1\nwait 3000\ndump ready1.txt\n"
      "realtime\nwait 1500\ndump key1.txt\nexit\n";
  QRect visualiser;
  PlayOnX(x, home, script,
          {{"vis.txt", [&] { visualiser = x.WaitForWindow("Визуализатор"); }},
           // Key 8 of the main menu: the wagon numbers, whose keys are 1, 7 and 13.
           {"ready1.txt", [&] { x.Tool({"key", "KP_8"}); }, false}});
  EXPECT_TRUE(home.Text("back.txt").startsWith("TForm4")) << home.Text("back.txt").toStdString();
  EXPECT_TRUE(home.Text("ready1.txt").startsWith("TForm1"));
  const QString key1 = home.Text("key1.txt");
  EXPECT_TRUE(HasCaption(key1, 1) && HasCaption(key1, 7)) << key1.toStdString();

  // The terminal fits the screen whole.
  const QImage img = home.Snap("terminal.png");
  EXPECT_FALSE(img.isNull());
  EXPECT_LE(img.width(), 1024);
  EXPECT_LE(img.height(), 768);
  EXPECT_FALSE(visualiser.isEmpty());
  EXPECT_TRUE(kScreen.contains(visualiser))
      << visualiser.x() << "," << visualiser.y() << " " << visualiser.width() << "x" << visualiser.height();
}

// The parameter editor and the range form each lie whole on the screen,
// their own buttons with them; after a message box and after the editor
// close, the keypad reaches the main window.
TEST(KeyboardFocus, TheRangeFormAndTheEditorLieOnTheScreenAndGiveTheKeypadBack) {
  XServer x;
  ASSERT_FALSE(x.display().isEmpty()) << "Xvfb did not start";
  QRect editor, range;
  // No print service: key 9 of the measurement page ends in a message box.
  FlowHome home("[Global]\nRTedit=1\n[Debug]\nVred=1\n[Mathem]\nDalnomerEnable=1\n");
  const QString script =
      "realtime\nwait 300\ndump form40.txt\nwait 300\npress Button2\nrealtime off\n"
      "wait 13000\nkey 2\nwait 10000\nkey 7\nwait 300\nkey 9\n"
      "realtime\nwait 1000\npress OK\nwait 500\nsnap before1.png\ndump ready1.txt\nwait 800\n"
      "snap key1.png\nkey 4\nwait 300\nkey 5\nwait 500\ndump editor.txt\nwait 300\nclose\n"
      "wait 500\nsnap before2.png\ndump ready2.txt\nwait 800\nsnap key2.png\nexit\n";
  qputenv("CUPS_SERVER", "/nonexistent/kalvor-cups.sock");
  PlayOnX(x, home, script,
          {{"form40.txt", [&] { range = x.WaitForWindow("Дальномер"); }},
           {"ready1.txt", [&] { x.Tool({"key", "KP_Subtract"}); }, false},
           {"editor.txt", [&] { editor = x.WaitForWindow("Редактор параметров"); }},
           {"ready2.txt", [&] { x.Tool({"key", "KP_Multiply"}); }, false}},
          {"--now", "2026-12-06T10:00:00"});
  qunsetenv("CUPS_SERVER");
  EXPECT_TRUE(home.Text("ready1.txt").startsWith("TForm1")) << home.Text("ready1.txt").toStdString();
  EXPECT_TRUE(home.Text("editor.txt").startsWith("TfVred"));
  // Each key left the page it was typed on (the measurement page for the
  // main menu, the notice after the editor for the main menu): the key
  // captions changed.
  const QRect strip(0, 630, 1024, 45);
  for (const char* n : {"1", "2"}) {
    const QImage before = home.Snap(QString("before%1.png").arg(n)).copy(strip);
    const QImage after = home.Snap(QString("key%1.png").arg(n)).copy(strip);
    EXPECT_FALSE(before.isNull()) << n;
    EXPECT_NE(before, after) << "the keypad did not reach the main window, key " << n;
  }
  for (const auto& [name, r] : {std::pair{"range form", range}, std::pair{"parameter editor", editor}}) {
    EXPECT_FALSE(r.isEmpty()) << name << " not shown";
    EXPECT_TRUE(kScreen.contains(r)) << name << " at " << r.x() << "," << r.y() << " " << r.width()
                                     << "x" << r.height();
  }
}

// The assembly form lies whole on the screen and goes when the sorting mode
// ends.
TEST(KeyboardFocus, TheAssemblyFormLiesOnTheScreenAndGoesWithTheSortingMode) {
  XServer x;
  ASSERT_FALSE(x.display().isEmpty()) << "Xvfb did not start";
  FlowHome home;
  QString script = "wait 13000\nkey 13\nwait 500\n";
  // The bogie's data; each third answer is a year of manufacture.
  for (int i = 0; i < 9; ++i) script += i % 3 == 1 ? "type 2000*\nwait 500\n" : "type 1*\nwait 500\n";
  // Before the last key the screen shows the canvas, which the pages'
  // digits and key presses changed in small parts.
  // The pump turns between the picture and the look, so that the program
  // has sent its last paint to the X server when it is stopped; the next key
  // waits a real second, so that it comes after the look.
  script += "wait 500\nsnap canvas.png\nwait 300\ndump canvas.txt\nrealtime\nwait 1000\n"
            "key 10\nwait 500\nclick 500 400 right\nwait 500\ndump form2.txt\n"
            "wait 300\ntype *\nwait 800\ndump left.txt\nwait 300\nexit\n";
  QRect assembly;
  bool goneAfter = false;
  QImage shown;
  PlayOnX(x, home, script,
          {{"canvas.txt", [&] { shown = x.ScreenPicture(); }},
           {"form2.txt", [&] { assembly = x.WaitForWindow("Сборка"); }},
           {"left.txt", [&] { goneAfter = x.Window("Сборка").isEmpty(); }}});
  QImage canvas = home.Snap("canvas.png").convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(shown.isNull()) << "xwd gave no picture of the screen";
  shown = shown.copy(canvas.rect());
  // The clock box may have turned a second between the picture and the look.
  for (QImage* img : {&shown, &canvas}) QPainter(img).fillRect(800, 0, 224, 115, Qt::black);
  QRect differ;
  for (int y = 0; y < canvas.height(); ++y)
    for (int x = 0; x < canvas.width(); ++x)
      if (shown.pixel(x, y) != canvas.pixel(x, y)) differ |= QRect(x, y, 1, 1);
  EXPECT_TRUE(differ.isEmpty()) << "the window does not show the canvas at " << differ.x() << ","
                                << differ.y() << " " << differ.width() << "x" << differ.height();
  EXPECT_TRUE(goneAfter) << "the assembly form stayed after the sorting mode ended";
  EXPECT_FALSE(assembly.isEmpty()) << "assembly form not shown";
  EXPECT_TRUE(kScreen.contains(assembly)) << "assembly form at " << assembly.x() << ","
                                          << assembly.y() << " " << assembly.width() << "x"
                                          << assembly.height();
}

}  // namespace
