#include "main/form1.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>

#include "main/mainloop.h"
#include "platform/pump.h"
#include "screen/keymap.h"

TForm1* Form1 = nullptr;
TForm40* Form40 = nullptr;

namespace {
// The offscreen platform of the tests and the headless demo puts the window
// on no screen.
bool OnNoScreen() { return QGuiApplication::platformName() == "offscreen"; }
}  // namespace

TScr::TScr(QWidget* parent) : QWidget(parent) {
  setObjectName("Scr");
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

// Only the changed part of the canvas is drawn into the window: the pages
// show the canvas after every key poll and every step of a wait, mostly with
// nothing new on it, and drawing the whole canvas each time cost about a
// quarter of the program's time in a measurement on the line. shown_ keeps
// the pixels the window was given, so the window always holds exactly what a
// full paint would give it.
void TScr::paintEvent(QPaintEvent* event) {
  const QImage& canvas = Screen();
  const QRect r = event->rect() & canvas.rect();
  QPainter p(this);
  p.drawImage(r.topLeft(), canvas, r);
  painted_ = r;
  if (canvas.cacheKey() != shownKey_) shownKey_ = 0;
  if (shown_.size() != canvas.size() || shown_.format() != canvas.format()) {
    shown_ = r == canvas.rect() && canvas.depth() == 32 ? QImage(canvas.size(), canvas.format())
                                                        : QImage();
    if (shown_.isNull()) return;
  }
  const qsizetype offset = qsizetype(r.left()) * 4;
  for (int y = r.top(); y <= r.bottom(); ++y)
    std::memcpy(shown_.scanLine(y) + offset, canvas.constScanLine(y) + offset,
                size_t(r.width()) * 4);
}

QRect TScr::Damaged() const {
  const QImage& canvas = Screen();
  if (canvas.cacheKey() == shownKey_) return {};
  if (shown_.size() != canvas.size() || shown_.format() != canvas.format()) return canvas.rect();
  const int width = canvas.width();
  int top = -1, bottom = -1, left = width, right = -1;
  for (int y = 0; y < canvas.height(); ++y) {
    const auto* now = reinterpret_cast<const quint32*>(canvas.constScanLine(y));
    const auto* was = reinterpret_cast<const quint32*>(shown_.constScanLine(y));
    if (std::memcmp(now, was, size_t(width) * 4) == 0) continue;
    if (top < 0) top = y;
    bottom = y;
    int l = 0;
    while (now[l] == was[l]) ++l;
    int r = width - 1;
    while (now[r] == was[r]) --r;
    left = std::min(left, l);
    right = std::max(right, r);
  }
  if (top < 0) return {};
  return QRect(QPoint(left, top), QPoint(right, bottom));
}

void TScr::ShowCanvas() {
  // On no screen nobody sees a paint, and a picture of the window (the
  // `grab` step) paints it whole anew.
  static const bool onNoScreen = OnNoScreen();
  if (onNoScreen) return;
  const qint64 key = Screen().cacheKey();
  const QRect damaged = Damaged();
  if (!damaged.isEmpty()) {
    painted_ = QRect();
    repaint(damaged);
    // A hidden window paints nothing: it is shown whole when it appears.
    if (!painted_.contains(damaged)) return;
  }
  shownKey_ = key;
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

void TForm1::RepaintCanvas() { Scr->ShowCanvas(); }

namespace {
// A window on no screen has no opacity; the platform only complains about it.
bool HasOpacity() { return !OnNoScreen(); }
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
