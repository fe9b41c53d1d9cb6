#include "desktop/desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QBuffer>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>

#include "platform/textfile.h"

namespace plat {

QSize ScreenSize() {
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    if (QScreen* s = app->primaryScreen()) return s->size();
  }
  return QSize(1024, 768);
}

bool SetDisplayMode(int width, int height) {
  if (QGuiApplication::platformName() != "xcb") return false;
  const QString xrandr = QStandardPaths::findExecutable("xrandr");
  if (xrandr.isEmpty()) return false;
  return QProcess::execute(xrandr, {"-s", QString("%1x%2").arg(width).arg(height)}) == 0;
}

void Beep() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
}

PrinterInfo DefaultPrinter() {
  PrinterInfo info;
  const QPrinterInfo def = QPrinterInfo::defaultPrinter();
  if (def.isNull()) return info;
  QPrinter printer(def, QPrinter::HighResolution);
  info.available = true;
  info.name = def.printerName();
  info.pagePixels = printer.pageLayout().paintRectPixels(printer.resolution()).size();
  info.dpiX = printer.resolution();
  info.dpiY = printer.resolution();
  return info;
}

bool PrintPageOnDefaultPrinter(const QString& jobName, const PagePainter& paint, QString* error) {
  const QPrinterInfo def = QPrinterInfo::defaultPrinter();
  if (def.isNull()) {
    if (error) *error = QStringLiteral("Принтер не установлен: лист не напечатан.");
    return false;
  }
  if (def.state() == QPrinter::Error || def.state() == QPrinter::Aborted) {
    if (error)
      *error = QStringLiteral("Принтер \"%1\" остановлен: лист не напечатан.").arg(def.printerName());
    return false;
  }
  QPrinter printer(def, QPrinter::HighResolution);
  printer.setDocName(jobName);
  printer.setPageOrientation(QPageLayout::Portrait);
  QPainter painter;
  if (!painter.begin(&printer)) {
    if (error)
      *error = QStringLiteral("Принтер \"%1\" не готов: лист не напечатан.").arg(def.printerName());
    return false;
  }
  const int res = printer.resolution();
  const QPageLayout layout = printer.pageLayout();
  const QRect paint_rect = layout.paintRectPixels(res);
  paint(painter, PrintPage{paint_rect.size(), paint_rect.topLeft()});
  if (!painter.end()) {
    if (error) *error = QStringLiteral("Ошибка печати: лист не напечатан.");
    return false;
  }
  return true;
}

bool WritePdfPage(const QString& mappedPath, const QString& title, const PagePainter& paint,
                  QString* error) {
  // Rendered in memory, then written whole: a full disk leaves no half PDF.
  QByteArray pdf;
  QBuffer file(&pdf);
  file.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&file);
    writer.setTitle(title);
    writer.setCreator(QCoreApplication::applicationName());
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    QPainter painter;
    if (!painter.begin(&writer)) {
      if (error) *error = QStringLiteral("PDF cannot be started");
      return false;
    }
    const QRect page = writer.pageLayout().paintRectPixels(writer.resolution());
    paint(painter, PrintPage{page.size(), page.topLeft()});
    painter.end();
  }
  file.close();
  return WriteWholeFile(mappedPath, pdf, error);
}

bool OpenWithDefaultApp(const QString& mappedPath) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(mappedPath));
}

bool WriteImageFile(const QString& mappedPath, const QImage& image, const char* format,
                    QString* reason, bool durable) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, format)) {
    if (reason) *reason = QStringLiteral("the picture cannot be encoded as %1").arg(format);
    return false;
  }
  buffer.close();
  return WriteWholeFile(mappedPath, bytes, reason, durable);
}

}  // namespace plat
