#include "owner.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace plat {

namespace {

QString UserName(uid_t uid) {
  const passwd* pw = ::getpwuid(uid);
  return pw ? QString::fromLocal8Bit(pw->pw_name) : QStringLiteral("uid %1").arg(uid);
}

}  // namespace

bool RunAsInstallationOwner(const QString& folder, bool becomeOwner, const QString& tool,
                            QString& error) {
  // A folder that does not exist yet becomes its creator's.
  const QString existing = QFileInfo(folder).absoluteFilePath();
  if (!QFileInfo::exists(existing)) return true;
  struct stat st {};
  if (::stat(QFile::encodeName(existing).constData(), &st) != 0) {
    error = QStringLiteral("cannot read the owner of %1: %2")
                .arg(existing, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  if (st.st_uid == ::geteuid()) return true;
  const QString owner = UserName(st.st_uid);
  if (!becomeOwner) {
    error = QStringLiteral(
                "%1 belongs to the user %2 and this runs as %3: files written now would not be "
                "%2's; run it as %2 (sudo -u %2 %4 ...) or add %5 to let it switch to %2; "
                "nothing was done")
                .arg(existing, owner, UserName(::geteuid()), tool, kAsOwnerOption);
    return false;
  }
  const passwd* pw = ::getpwuid(st.st_uid);
  // The owner's own groups (dialout, lp) as a login of that user would
  // have them; an owner without a passwd entry gets the folder's group only.
  const gid_t gid = pw ? pw->pw_gid : st.st_gid;
  const bool groups = pw ? ::initgroups(pw->pw_name, gid) == 0 : ::setgroups(0, nullptr) == 0;
  if (!groups || ::setgid(gid) != 0 || ::setuid(st.st_uid) != 0) {
    error = QStringLiteral("%1 cannot become %2, the owner of %3 (%4): run it as root or as %2; "
                           "nothing was done")
                .arg(tool, owner, existing, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  // HOME of the owner, so that what the tool reads from it (~/.pgpass) is
  // the owner's and not the caller's.
  if (pw && pw->pw_dir) ::setenv("HOME", pw->pw_dir, 1);
  return true;
}

}  // namespace plat
