#include "screen/fonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>

namespace {

QString NormalName(const QString& name) { return name.simplified().remove(' ').toLower(); }

QString TahomaFamily() {
  static QString family = [] {
    const QString file = "/usr/share/wine/fonts/tahoma.ttf";
    if (QGuiApplication::instance() && QFile::exists(file)) {
      const int id = QFontDatabase::addApplicationFont(file);
      const QStringList families = QFontDatabase::applicationFontFamilies(id);
      if (!families.isEmpty()) return families.front();
    }
    return QString("DejaVu Sans");
  }();
  return family;
}

}  // namespace

QString PageFontFamily(const QString& name) {
  const QString n = NormalName(name);
  if (n == "impact") return "PT Sans Narrow";
  if (n == "timesnewroman" || n == "newtimes" || n == "timenewsroman" || n == "times")
    return "Liberation Serif";
  if (n == "arial") return "Liberation Sans";
  // "CourierNew" without the blank names no installed font; the desktop the
  // pages were laid out on fell back to its Arial for it, and the clock box
  // is sized for that: a monospaced face would run out of the box.
  if (name.simplified() == "CourierNew") return "Liberation Sans";
  if (n == "courier" || n == "couriernew") return "Liberation Mono";
  if (n == "tahoma") return TahomaFamily();
  if (n == "segoeui") return "DejaVu Sans";
  return "Liberation Sans";
}

int PointsToPixels(int points) { return (points * 96 + 36) / 72; }

QFont PageFont(const QString& name, int points, bool bold) {
  QFont f(PageFontFamily(name));
  f.setPixelSize(std::max(1, PointsToPixels(points)));
  // The narrow face that stands in for Impact exists only in bold.
  f.setBold(bold || NormalName(name) == "impact");
  f.setStyleStrategy(QFont::PreferAntialias);
  f.setHintingPreference(QFont::PreferFullHinting);
  f.setKerning(false);
  return f;
}
