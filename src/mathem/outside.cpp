#include "mathem/outside.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/process.h"

void RaiseErrorPage(int code) {
  // Until the error page joins the program the fault is still fatal: the
  // operator sees the code and the program ends, as after the error page.
  ShowMathemMessage(QString("Код ошибки: %1").arg(code));
  plat::EndProcess(code);
}

void ShowMathemMessage(const QString& text) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()))
    QMessageBox::warning(nullptr, QString("Визуализатор математики"), text);
}

// The spring-type table is not yet part of the program: these are the values
// its loader gives when the bogie and spring-type file is missing.
int MathemBogieType() { return 1; }
QString MathemBogieName() { return QStringLiteral("-"); }
QString MathemSpringDesignation(int) { return QStringLiteral("-"); }
