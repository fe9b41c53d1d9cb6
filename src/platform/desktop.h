#pragma once
// The desktop services outside drawing: the screen mode, the keyboard's
// Num Lock and beep, the printer and opening a file with its default program.

#include <QImage>
#include <QSize>
#include <QString>

namespace plat {

// The size of the primary screen (the offscreen platform reports its own).
QSize ScreenSize();
// Asks for a screen mode of width x height (xrandr under X11). The line's
// pages are drawn in whatever mode results, so the outcome is only reported.
bool SetDisplayMode(int width, int height);

// The keypad keys are mapped to their digits whatever the Num Lock state, so
// the program only asks for it to be on where the desktop lets it.
void EnsureNumLock();
void Beep();

struct PrinterInfo {
  bool available = false;
  QString name;
  QSize pagePixels;  // printable page in device pixels
  int dpiX = 0;
  int dpiY = 0;
};
PrinterInfo DefaultPrinter();
// Prints the image on the default printer, stretched to targetPixels at the
// page's top left (empty size: the whole printable page). On failure the
// reason is put into *error.
bool PrintImage(const QImage& image, QSize targetPixels, QString* error);

// Opens a file (file-system path) with the desktop's program for its type.
bool OpenWithDefaultApp(const QString& mappedPath);

}  // namespace plat
