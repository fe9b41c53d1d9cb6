#pragma once
// The main form: one window filled by the image control Scr that shows the
// canvas; key presses and mouse clicks go into the key buffer.

#include <QImage>
#include <QTimer>
#include <QWidget>

#include "screen/screen.h"

class TScr : public QWidget {
  Q_OBJECT
 public:
  explicit TScr(QWidget* parent);
  // Shows what changed on the canvas since the last paint; nothing when the
  // pages drew the same pixels again.
  void ShowCanvas();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QRect Damaged() const;

  QImage shown_;          // the canvas as the window shows it
  qint64 shownKey_ = 0;   // the canvas's cache key when shown_ was last equal to it
  QRect painted_;         // the rectangle of the last paint
};

class TForm1 : public QWidget, public IScreenWindow {
  Q_OBJECT
 public:
  TForm1();
  TScr* Scr;
  QTimer* Starter;

  // IScreenWindow
  void RepaintCanvas() override;
  void SetWindowAlpha(int alpha) override;
  void SetAlphaBlending(bool on) override;
  void SetBorder(bool withCaption) override;
  void SetCaption(const QString& caption) override;
  void SetCursorHidden(bool hidden) override;
  void SetGeometry(int x, int y, int width, int height) override;
  void ResizeCanvas(int width, int height) override;

 public slots:
  void StarterTimer();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  bool closing_ = false;
};

extern TForm1* Form1;

class TForm40;
extern TForm40* Form40;
