#include "screen/playback.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QSpinBox>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "desktop/desktop.h"
#include "platform/clock.h"
#include "platform/clocktimer.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/pump.h"
#include "platform/textfile.h"
#include "screen/keycaptions.h"
#include "screen/screen.h"

namespace {

struct TPlayback {
  QList<PlaybackStep> steps;
  int next = 0;
  bool active = false;
  uint32_t notBefore = 0;       // tick at which the next step may run
  uint32_t lastStepTick = 0;
  QPointer<QWidget> mainWindow;
  QTimer* timer = nullptr;
  bool formsRealTime = false;   // the realtime step: forms' waits pass in real time
  QElapsedTimer real;           // wait steps after a realtime step count real time
  qint64 realNotBefore = 0;
  uint32_t lastTimerTick = 0;   // the program's clock at the harness timer's last turn
};

TPlayback Playback;

constexpr uint32_t kRanOutGraceMs = 30000;

void Fail(const PlaybackStep& step, const QString& text) {
  std::fprintf(stderr, "kalvor: playback line %d (%s): %s\n", step.line, qPrintable(step.verb),
               qPrintable(text));
}

QString StripAmpersand(QString s) { return s.remove('&'); }

template <typename T>
T* FindNamed(QWidget* window, const QString& name) {
  if (!window) return nullptr;
  if (window->objectName() == name) {
    if (T* self = qobject_cast<T*>(window)) return self;
  }
  return window->findChild<T*>(name);
}

QChar KeyCodeChar(int code) {
  static const char chars[] = "1234567890*/-";
  if (code < 1 || code > 13) return QChar(0);
  return QChar(chars[code - 1]);
}

bool RunStep(const PlaybackStep& s) {
  const QString& v = s.verb;
  if (v == "key") {
    const QChar c = KeyCodeChar(s.args.value(0).toInt());
    if (c.isNull()) {
      Fail(s, "key code must be 1..13");
      return true;
    }
    KeyCharTyped(c);
  } else if (v == "type") {
    for (QChar c : PlaybackTypeText(s.rest)) KeyCharTyped(c);
  } else if (v == "click") {
    const int button = s.args.value(2) == "right" ? 2 : 1;
    CanvasMouseMove(s.args.value(0).toInt(), s.args.value(1).toInt());
    CanvasMouseDown(button, s.args.value(0).toInt(), s.args.value(1).toInt());
  } else if (v == "wait") {
    Playback.notBefore = plat::TickCount() + static_cast<uint32_t>(s.args.value(0).toUInt());
    // Only a wait after a realtime step lasts in real time too; one before
    // it must not hold the steps that follow the realtime step.
    Playback.realNotBefore =
        Playback.formsRealTime ? Playback.real.elapsed() + s.args.value(0).toUInt() : 0;
  } else if (v == "snap") {
    const QString path = plat::MapPath(s.rest);
    QString reason;
    if (!plat::WriteImageFile(path, Screen(), "PNG", &reason, false))
      Fail(s, "cannot write " + path + ": " + reason);
  } else if (v == "press") {
    QWidget* w = FrontWindow();
    QAbstractButton* b = FindNamed<QAbstractButton>(w, s.rest);
    if (!b) {
      if (auto* box = qobject_cast<QMessageBox*>(w)) {
        for (QAbstractButton* candidate : box->buttons())
          if (StripAmpersand(candidate->text()) == s.rest) b = candidate;
      }
    }
    if (!b && w) {
      for (QAbstractButton* candidate : w->findChildren<QAbstractButton*>())
        if (StripAmpersand(candidate->text()) == s.rest) b = candidate;
    }
    if (!b) {
      Fail(s, "no button \"" + s.rest + "\" in " + (w ? w->metaObject()->className() : "nothing"));
      return true;
    }
    // Queued, so that a button that opens a modal form does not hold the
    // harness inside its click: the steps go on in the form's own loop.
    QMetaObject::invokeMethod(b, "click", Qt::QueuedConnection);
  } else if (v == "set") {
    QWidget* w = FrontWindow();
    const QString name = s.args.value(0);
    const QString text = s.rest.section(' ', 1);
    if (auto* e = FindNamed<QLineEdit>(w, name)) e->setText(text);
    else if (auto* t = FindNamed<QPlainTextEdit>(w, name)) t->setPlainText(text);
    else if (auto* te = FindNamed<QTextEdit>(w, name)) te->setPlainText(text);
    else if (auto* sb = FindNamed<QSpinBox>(w, name)) sb->setValue(text.toInt());
    else if (auto* ds = FindNamed<QDoubleSpinBox>(w, name)) ds->setValue(text.toDouble());
    else if (auto* cb = FindNamed<QComboBox>(w, name)) cb->setCurrentText(text);
    else Fail(s, "no edit field " + name);
  } else if (v == "dump") {
    QString reason;
    if (!plat::WriteTextLines(s.rest, DumpWindow(FrontWindow()).split('\n'), &reason, false))
      Fail(s, "cannot write " + s.rest + ": " + reason);
  } else if (v == "grab") {
    QWidget* w = FrontWindow();
    const QString path = plat::MapPath(s.rest);
    QString reason;
    if (!w || !plat::WriteImageFile(path, w->grab().toImage(), "PNG", &reason, false))
      Fail(s, "cannot grab into " + path + (reason.isEmpty() ? QString() : ": " + reason));
  } else if (v == "close") {
    // As the window's own close button: a modal form ends its loop.
    QWidget* w = FrontWindow();
    if (!w || w == Playback.mainWindow) Fail(s, "no window in front to close");
    else QMetaObject::invokeMethod(w, "close", Qt::QueuedConnection);
  } else if (v == "realtime") {
    Playback.formsRealTime = s.args.value(0) != "off";
  } else if (v == "exit") {
    plat::EndProcess(0);
  }
  return true;
}

void Tick() {
  if (!Playback.active) return;
  if (Playback.next >= Playback.steps.size()) {
    // The grace counts from the last step, or from the end of a trailing
    // wait, so that such a wait is served in full.
    if (plat::IsVirtualClock() &&
        static_cast<uint32_t>(plat::TickCount() - Playback.lastStepTick) > kRanOutGraceMs &&
        static_cast<int32_t>(plat::TickCount() - Playback.notBefore) > static_cast<int32_t>(kRanOutGraceMs)) {
      std::fprintf(stderr, "kalvor: the playback script ran out\n");
      plat::EndProcess(kExitScriptRanOut);
    }
    return;
  }
  if (static_cast<int32_t>(plat::TickCount() - Playback.notBefore) < 0) return;
  if (Playback.formsRealTime && Playback.real.elapsed() < Playback.realNotBefore) return;
  const PlaybackStep step = Playback.steps[Playback.next++];
  Playback.lastStepTick = plat::TickCount();
  RunStep(step);
}

// No further than the moment a form's clock timer is due, so that a wait in
// front of the form sees each of its turns.
uint32_t Short(uint32_t jumpMs) {
  const std::optional<uint32_t> due = plat::NextClockTimerDueMs();
  return due ? std::clamp<uint32_t>(*due, 1, jumpMs) : jumpMs;
}

// How far the virtual clock may jump at one turn of the harness timer while
// a modal form or message box idles: up to the moment the next step is due.
uint32_t IdleJumpMs() {
  const uint32_t now = plat::TickCount();
  if (Playback.next >= Playback.steps.size()) {
    const uint32_t from = std::max<int32_t>(static_cast<int32_t>(Playback.notBefore - Playback.lastStepTick), 0) +
                          Playback.lastStepTick;
    return Short(std::max<int32_t>(static_cast<int32_t>(from + kRanOutGraceMs + 1 - now), 10));
  }
  return Short(std::max<int32_t>(static_cast<int32_t>(Playback.notBefore - now), 10));
}

void TimerTick() {
  // Inside a modal form's own message loop nothing else moves the virtual
  // clock. When nothing moved it since the last turn (no handler is waiting
  // on the clock or the line), the form idles: jump to the next step's
  // moment, so that a wait in front of a form costs no real time. After a
  // realtime step the clock runs with real time there instead, for scripts
  // that watch a form's own timers.
  if (plat::IsVirtualClock() && QApplication::activeModalWidget()) {
    const bool idle = plat::TickCount() == Playback.lastTimerTick;
    plat::AdvanceVirtualClock(idle && !Playback.formsRealTime ? IdleJumpMs() : 10);
  }
  Playback.lastTimerTick = plat::TickCount();
  plat::RunPumpHook();
}

}  // namespace

QString PlaybackTypeText(const QString& text) {
  QString out;
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      if (text[i + 1] == 'e') {
        out += QChar(27);
        ++i;
        continue;
      }
      if (text[i + 1] == '\\') {
        out += '\\';
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

bool ParsePlaybackScript(const QString& text, QList<PlaybackStep>* steps, QString* error) {
  static const QStringList verbs = {"key",  "type", "click", "wait", "snap", "press",
                                    "set",  "dump", "grab",  "close", "realtime", "exit"};
  const QStringList lines = QString(text).replace("\r\n", "\n").split('\n');
  for (int i = 0; i < lines.size(); ++i) {
    QString line = lines[i];
    if (line.trimmed().startsWith('#') || line.trimmed().isEmpty()) continue;
    line = line.trimmed();
    PlaybackStep s;
    s.line = i + 1;
    s.verb = line.section(' ', 0, 0);
    s.rest = line.section(' ', 1);
    s.args = s.rest.split(' ', Qt::SkipEmptyParts);
    if (!verbs.contains(s.verb)) {
      if (error) *error = QString("line %1: unknown step \"%2\"").arg(s.line).arg(s.verb);
      return false;
    }
    bool ok = true;
    if (s.verb == "key" || s.verb == "wait") s.args.value(0).toUInt(&ok);
    if (s.verb == "click") {
      bool okY = true;
      s.args.value(0).toInt(&ok);
      s.args.value(1).toInt(&okY);
      ok = ok && okY;
    }
    if ((s.verb == "snap" || s.verb == "dump" || s.verb == "grab" || s.verb == "press" ||
         s.verb == "set") &&
        s.rest.isEmpty())
      ok = false;
    if (!ok) {
      if (error) *error = QString("line %1: malformed step \"%2\"").arg(s.line).arg(line);
      return false;
    }
    steps->append(s);
  }
  return true;
}

bool StartPlayback(const QString& mappedPath, QString* error) {
  QFile f(mappedPath);
  if (!f.open(QIODevice::ReadOnly)) {
    if (error) *error = "cannot read the playback script " + mappedPath;
    return false;
  }
  QList<PlaybackStep> steps;
  if (!ParsePlaybackScript(QString::fromUtf8(f.readAll()), &steps, error)) return false;
  Playback.steps = steps;
  Playback.next = 0;
  Playback.active = true;
  Playback.notBefore = plat::TickCount();
  Playback.lastStepTick = plat::TickCount();
  Playback.real.start();
  plat::SetPumpHook(Tick);
  if (!Playback.timer) {
    Playback.timer = new QTimer(QCoreApplication::instance());
    QObject::connect(Playback.timer, &QTimer::timeout, TimerTick);
  }
  Playback.timer->start(10);
  return true;
}

bool PlaybackActive() { return Playback.active; }

void SetPlaybackMainWindow(QWidget* window) { Playback.mainWindow = window; }

QWidget* FrontWindow() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* popup = QApplication::activePopupWidget()) return popup;
  if (QWidget* active = QApplication::activeWindow()) return active;
  return Playback.mainWindow.data();
}

QString DumpWindow(QWidget* window) {
  if (!window) return QString("(none)\n");
  QStringList out;
  out << window->metaObject()->className() << window->windowTitle();
  // A message box's text sits in an unnamed label of Qt's own.
  if (auto* box = qobject_cast<QMessageBox*>(window))
    for (const QString& l : box->text().split('\n')) out << "text\t" + l;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    const QString name = w->objectName();
    if (name.isEmpty() || name.startsWith("qt_")) continue;
    QString text;
    if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
    else if (auto* e = qobject_cast<QLineEdit*>(w)) text = e->text();
    else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      text = b->text();
      if (b->isCheckable()) text += b->isChecked() ? "\t[x]" : "\t[ ]";
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) text = g->title();
    else if (auto* cb = qobject_cast<QComboBox*>(w)) text = cb->currentText();
    else if (auto* sb = qobject_cast<QSpinBox*>(w)) text = QString::number(sb->value());
    else if (auto* pt = qobject_cast<QPlainTextEdit*>(w)) {
      for (const QString& l : pt->toPlainText().split('\n')) out << name + "\t" + l;
      continue;
    } else if (auto* te = qobject_cast<QTextEdit*>(w)) {
      for (const QString& l : te->toPlainText().split('\n')) out << name + "\t" + l;
      continue;
    } else if (auto* lw = qobject_cast<QListWidget*>(w)) {
      for (int i = 0; i < lw->count(); ++i) out << name + "\t" + lw->item(i)->text();
      continue;
    } else
      continue;
    // A control the operator can't see or use says so.
    if (!w->isVisibleTo(window)) text += "\t(hidden)";
    if (!w->isEnabledTo(window)) text += "\t(disabled)";
    out << name + "\t" + text;
  }
  // The canvas's key captions are the main window's controls: where each
  // one was drawn, so that a script can check that none runs into another.
  if (window == Playback.mainWindow)
    for (int k = 1; k <= 13; ++k) {
      const QRect r = KeyCaptionBox(k);
      if (!r.isEmpty())
        out << QString("caption%1\t%2 %3 %4 %5").arg(k).arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }
  return out.join('\n');
}
