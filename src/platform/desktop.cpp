#include "platform/desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>

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

void EnsureNumLock() {}

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

bool PrintImage(const QImage& image, QSize targetPixels, QString* error) {
  const QPrinterInfo def = QPrinterInfo::defaultPrinter();
  if (def.isNull()) {
    if (error) *error = QStringLiteral("Принтер не установлен: лист не напечатан.");
    return false;
  }
  QPrinter printer(def, QPrinter::HighResolution);
  QPainter painter;
  if (!painter.begin(&printer)) {
    if (error) *error = QStringLiteral("Принтер \"%1\" не готов: лист не напечатан.").arg(def.printerName());
    return false;
  }
  const QRect page = painter.viewport();
  const QSize size = targetPixels.isEmpty() ? page.size() : targetPixels;
  painter.drawImage(QRect(QPoint(0, 0), size), image);
  const bool ok = painter.end();
  if (!ok && error) *error = QStringLiteral("Ошибка печати: лист не напечатан.");
  return ok;
}

bool OpenWithDefaultApp(const QString& mappedPath) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(mappedPath));
}

}  // namespace plat
