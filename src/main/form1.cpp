#include "main/form1.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "main/mainloop.h"
#include "platform/pump.h"
#include "screen/keymap.h"

TForm1* Form1 = nullptr;
TForm40* Form40 = nullptr;

TScr::TScr(QWidget* parent) : QWidget(parent) {
  setObjectName("Scr");
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TScr::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, Screen());
}

void TScr::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  CanvasMouseDown(event->button() == Qt::RightButton ? 2 : 1, pos.x(), pos.y());
}

void TScr::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  CanvasMouseMove(pos.x(), pos.y());
}

TForm1::TForm1() {
  setObjectName("Form1");
  setFocusPolicy(Qt::StrongFocus);
  Scr = new TScr(this);
  Scr->setGeometry(0, 0, Screen().width(), Screen().height());
  Starter = new QTimer(this);
  Starter->setObjectName("Starter");
  Starter->setSingleShot(true);
  Starter->setInterval(100);
  connect(Starter, &QTimer::timeout, this, &TForm1::StarterTimer);
  resize(Screen().size());
  AttachScreenWindow(this);
}

void TForm1::StarterTimer() {
  Starter->stop();
  // Keys reach the form before any control.
  setFocus();
  MainLoop();
  closing_ = true;
  close();
}

void TForm1::RepaintCanvas() { Scr->repaint(); }

namespace {
// The offscreen platform of the tests and the headless demo has no window
// opacity; it only complains about it.
bool HasOpacity() { return QGuiApplication::platformName() != "offscreen"; }
}  // namespace

void TForm1::SetWindowAlpha(int alpha) {
  if (HasOpacity()) setWindowOpacity(std::clamp(alpha, 0, 255) / 255.0);
}

void TForm1::SetAlphaBlending(bool on) {
  if (!on && HasOpacity()) setWindowOpacity(1.0);
}

void TForm1::SetBorder(bool withCaption) {
  const bool visible = isVisible();
  setWindowFlag(Qt::FramelessWindowHint, !withCaption);
  // A single fixed border: the caption bar offers no resizing or maximising.
  setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, withCaption);
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  if (visible) show();
}

void TForm1::SetCaption(const QString& caption) { setWindowTitle(caption); }

void TForm1::SetCursorHidden(bool hidden) {
  Scr->setCursor(hidden ? Qt::BlankCursor : Qt::ArrowCursor);
}

void TForm1::SetGeometry(int x, int y, int width, int height) {
  move(x, y);
  // The pages are laid out for this size; the window keeps it.
  setFixedSize(width, height);
}

void TForm1::ResizeCanvas(int width, int height) { Scr->setGeometry(0, 0, width, height); }

void TForm1::keyPressEvent(QKeyEvent* event) {
  const QString chars = KeyEventChars(event->key(), event->modifiers(), event->text());
  for (QChar c : chars) KeyCharTyped(c);
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (closing_) {
    event->accept();
    return;
  }
  // The operator leaves only through the shutdown page or Escape; a close
  // request of the desktop becomes an Escape so nothing is cut mid-step.
  KeyCharTyped(QChar(27));
  event->ignore();
}
