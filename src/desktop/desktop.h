#pragma once
// The desktop services outside drawing: the screen mode, the beep, the
// printer and opening a file with its default program.

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <functional>

class QPainter;

namespace plat {

// The size of the primary screen (the offscreen platform reports its own).
QSize ScreenSize();
// Asks for a screen mode of width x height (xrandr under X11). The line's
// pages are drawn in whatever mode results, so the outcome is only reported.
bool SetDisplayMode(int width, int height);

void Beep();

struct PrinterInfo {
  bool available = false;
  QString name;
  QSize pagePixels;  // printable page in device pixels
  int dpiX = 0;
  int dpiY = 0;
};
PrinterInfo DefaultPrinter();

// One page of a printer or of a PDF file as a sheet is laid on it: the
// printable area in device pixels (the painter's origin is its top left
// corner) and its distance from the paper's edges.
struct PrintPage {
  QSize pixels;
  QPoint offset;
};
using PagePainter = std::function<void(QPainter& painter, const PrintPage& page)>;

// Prints one page on the default printer as one job named jobName. False,
// with the reason in *error, when there is no default printer, when it is
// stopped or when the job cannot be started.
bool PrintPageOnDefaultPrinter(const QString& jobName, const PagePainter& paint, QString* error);
// Writes one A4 portrait page as a PDF file (file-system path) whole, through
// WriteWholeFile: on a failure no file is left and *error gets the reason.
bool WritePdfPage(const QString& mappedPath, const QString& title, const PagePainter& paint,
                  QString* error);

// A picture in `format` ("BMP", "PNG") through the whole-file writer (platform/textfile.h).
bool WriteImageFile(const QString& mappedPath, const QImage& image, const char* format,
                    QString* reason = nullptr, bool durable = true);

// Opens a file (file-system path) with the desktop's program for its type.
bool OpenWithDefaultApp(const QString& mappedPath);

}  // namespace plat
