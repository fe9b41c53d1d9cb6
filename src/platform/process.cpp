#include "platform/process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace plat {

QList<RunningProcess> RunningExecutables() {
  QList<RunningProcess> out;
  const QStringList entries = QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString& e : entries) {
    bool ok = false;
    const qint64 pid = e.toLongLong(&ok);
    if (!ok) continue;
    const QString exe = QFileInfo(QString("/proc/%1/exe").arg(pid)).symLinkTarget();
    if (exe.isEmpty()) continue;  // not ours to read, or gone
    out.append({pid, exe});
  }
  return out;
}

QString OwnExecutablePath() { return QFileInfo("/proc/self/exe").symLinkTarget(); }

qint64 OwnProcessId() { return static_cast<qint64>(::getpid()); }

bool StartProgram(const QString& mappedPath, const QStringList& args) {
  QString path = mappedPath;
  if (!QFileInfo::exists(path) && path.endsWith(".exe", Qt::CaseInsensitive)) {
    const QString bare = path.left(path.size() - 4);
    if (QFileInfo::exists(bare)) path = bare;
  }
  if (!QFileInfo(path).isExecutable()) return false;
  return QProcess::startDetached(path, args, QFileInfo(path).absolutePath());
}

void EndProcess(int code) {
  std::fflush(nullptr);
  std::_Exit(code);
}

}  // namespace plat
