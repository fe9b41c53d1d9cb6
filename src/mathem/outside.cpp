#include "mathem/outside.h"

#include <QApplication>
#include <QMessageBox>

#include "pages/pages.h"

void RaiseErrorPage(int code) { ShowErrorPage(code); }

void ShowMathemMessage(const QString& text) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()))
    QMessageBox::warning(nullptr, QString("Визуализатор математики"), text);
}

#if __has_include("springs/springtypes.h")
#include "springs/springtypes.h"

namespace {
bool KnownBogie(int b) { return b >= 1 && b <= kMaxBogieTypes; }
}  // namespace

int MathemBogieType() { return CurrentBogieType(); }

QString MathemBogieName() {
  const int b = CurrentBogieType();
  return KnownBogie(b) ? SpringTypeTable()[b].Name : QStringLiteral("-");
}

QString MathemSpringDesignation(int springType) {
  const int b = CurrentBogieType();
  if (!KnownBogie(b) || springType < 1 || springType > kMaxSpringTypes) return QStringLiteral("-");
  return SpringTypeTable()[b].springTypes[springType].AltName;
}
#else
// Until the spring-type table joins the program: the values its loader gives
// when the bogie and spring-type file is missing.
int MathemBogieType() { return 1; }
QString MathemBogieName() { return QStringLiteral("-"); }
QString MathemSpringDesignation(int) { return QStringLiteral("-"); }
#endif
