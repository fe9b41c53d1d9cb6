#include "setup/local.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>

#include "pg/pg.h"
#include "platform/textfile.h"

namespace depot {

AsPostgres::AsPostgres(const QString& conninfo) {
  if (geteuid() != 0 || conninfo.contains(QStringLiteral("user="))) return;
  const passwd* pw = getpwnam("postgres");
  if (!pw) return;
  // The group first: once the user is not root it may not change it.
  switched_ = setegid(pw->pw_gid) == 0 && seteuid(pw->pw_uid) == 0;
}

AsPostgres::~AsPostgres() {
  if (switched_ && (seteuid(0) != 0 || setegid(0) != 0)) _exit(1);
}

bool OpenAsSuperuser(Connection& db, const QString& conninfo, QString& error) {
  AsPostgres superuser(conninfo);
  return db.Open(conninfo, "kalvor-depot", error);
}

bool WriteRootFile(const QString& file, const QByteArray& bytes, QString& error) {
  const QString folder = QFileInfo(file).absolutePath();
  if (!QDir().mkpath(folder) || ::chmod(QFile::encodeName(folder).constData(), 0700) != 0) {
    error = QStringLiteral("cannot make the folder %1").arg(folder);
    return false;
  }
  const mode_t before = ::umask(077);
  QString reason;
  const bool ok = plat::WriteWholeFile(file, bytes, &reason);
  ::umask(before);
  if (!ok) error = QStringLiteral("cannot write %1: %2").arg(file, reason);
  return ok;
}

QByteArray ReadBytes(const QString& file) {
  QFile f(file);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool RunProgram(const QString& program, const QStringList& args, QByteArray& output, QString& error,
                bool asPostgres) {
  QProcess p;
  if (asPostgres && geteuid() == 0)
    p.start(QStringLiteral("runuser"), QStringList{"-u", "postgres", "--", program} + args);
  else
    p.start(program, args);
  if (!p.waitForStarted(-1)) {
    error = QStringLiteral("cannot run %1: %2").arg(program, p.errorString());
    return false;
  }
  p.closeWriteChannel();
  p.waitForFinished(-1);
  output = p.readAllStandardOutput();
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    error = QStringLiteral("%1 failed: %2")
                .arg(program, QString::fromLocal8Bit(p.readAllStandardError()).trimmed());
    return false;
  }
  return true;
}

QString MachineName() {
  QByteArray out;
  QString ignored;
  if (RunProgram(QStringLiteral("hostname"), {QStringLiteral("-f")}, out, ignored) &&
      !out.trimmed().isEmpty())
    return QString::fromUtf8(out.trimmed());
  return QSysInfo::machineHostName();
}

}  // namespace depot
