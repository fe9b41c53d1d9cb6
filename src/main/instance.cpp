#include "main/instance.h"

#include <QMessageBox>
#include <cstdio>

#include "main/program.h"

bool OtherInstanceRunning(const QList<plat::RunningProcess>& processes, const QString& ownPath,
                          qint64 ownPid) {
  for (const plat::RunningProcess& p : processes)
    if (p.pid != ownPid && p.executable == ownPath) return true;
  return false;
}

bool SingleInstanceCheck(bool showBox) {
  if (!OtherInstanceRunning(plat::RunningExecutables(), plat::OwnExecutablePath(),
                            plat::OwnProcessId()))
    return true;
  const QString text = QStringLiteral("Невозможно запустить 2й экземпляр программы !");
  std::fprintf(stderr, "kalvor: %s\n", text.toLocal8Bit().constData());
  if (!showBox) return false;
  QMessageBox box(QMessageBox::Warning, QString(kApplicationTitle), text, QMessageBox::Ok);
  box.exec();
  return false;
}
