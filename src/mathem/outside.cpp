#include "mathem/outside.h"

#include <QApplication>
#include <QMessageBox>

#include "pages/pages.h"
#include "springs/springtypes.h"

void RaiseErrorPage(int code) {
  ShowErrorPage(code);
}

void ShowMathemMessage(const QString& text) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()))
    QMessageBox::warning(nullptr, QString("Визуализатор математики"), text);
}

// The designation and the bogie name come from the entry of the bogie type
// in use (bogie type 1 when the mode state names none the table holds).
int MathemBogieType() {
  return CurrentBogieType();
}

QString MathemBogieName() {
  return CurrentBogie().Name;
}

QString MathemSpringDesignation(int springType) {
  if (springType < 1 || springType > kMaxSpringTypes) return QStringLiteral("-");
  return CurrentBogie().springTypes[springType].AltName;
}
