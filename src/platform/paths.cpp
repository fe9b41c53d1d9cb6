#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace plat {
namespace {
struct PathState {
  QString programDir;
  QString workDir;
};
PathState& State() {
  static PathState s;
  return s;
}

QString MapFrom(const QString& base, const QString& systemPath) {
  QString p = systemPath;
  p.replace('\\', '/');
  QString current;
  if (p.startsWith('/')) {
    current = "/";
  } else {
    current = base;
  }
  const QStringList parts = p.split('/', Qt::SkipEmptyParts);
  bool matching = true;  // stop matching once a component does not exist
  for (const QString& part : parts) {
    if (part == ".") continue;
    QString next = QDir(current).filePath(part);
    if (matching && part != ".." && !QFileInfo::exists(next)) {
      const QStringList entries = QDir(current).entryList(
          QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
      bool found = false;
      for (const QString& e : entries) {
        if (e.compare(part, Qt::CaseInsensitive) == 0) {
          next = QDir(current).filePath(e);
          found = true;
          break;
        }
      }
      if (!found) matching = false;
    }
    current = next;
  }
  return QDir::cleanPath(current);
}
}  // namespace

void SetHome(const QString& dir) {
  const QString abs = QDir(dir).absolutePath();
  State().programDir = abs;
  State().workDir = abs;
}

QString ProgramDir() {
  if (State().programDir.isEmpty()) {
    State().programDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                      : QDir::currentPath();
  }
  return State().programDir;
}

QString WorkDir() {
  if (State().workDir.isEmpty()) State().workDir = QDir::currentPath();
  return State().workDir;
}

void SetProgramDir(const QString& dir) { State().programDir = QDir(dir).absolutePath(); }
void SetWorkDir(const QString& dir) { State().workDir = QDir(dir).absolutePath(); }

QString MapPath(const QString& systemPath) { return MapFrom(WorkDir(), systemPath); }
QString MapProgramPath(const QString& systemPath) { return MapFrom(ProgramDir(), systemPath); }

bool EnsureParentDir(const QString& mappedPath) {
  return QDir().mkpath(QFileInfo(mappedPath).absolutePath());
}

}  // namespace plat
