// kalvor-depot setup, add-engineer, backup and restore: the command lines
// and the machine's side of the setup (certificate, PostgreSQL's TLS and
// pg_hba.conf, nginx, the units).

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>

#include "pg/pg.h"
#include "platform/optionreader.h"
#include "setup/local.h"
#include "setup/setup.h"
#include "sync/admin.h"

namespace depot {

namespace {

constexpr char kCertFile[] = "/etc/ssl/certs/kalvor-depot.pem";
constexpr char kKeyFile[] = "/etc/ssl/private/kalvor-depot.key";
constexpr char kSiteAvailable[] = "/etc/nginx/sites-available/kalvor-depot";
constexpr char kSiteEnabled[] = "/etc/nginx/sites-enabled/kalvor-depot";
constexpr char kServerDefaults[] = "/etc/default/kalvor-depot";
constexpr char kBackupDir[] = "/var/backups/kalvor-depot";
constexpr char kHbaBegin[] =
    "# kalvor-depot: the lines over TLS only (kalvor-depot setup keeps this block)";
constexpr char kHbaEnd[] = "# kalvor-depot: end";

void Say(const QString& text) {
  std::printf("%s\n", qPrintable(text));
}
int Fail(const char* command, const QString& why, int code = 1) {
  std::fflush(stdout);
  std::fprintf(stderr, "kalvor-depot %s: %s\n", command, qPrintable(why));
  return code;
}
// An nginx whose process its pid file names is alive (a stopped one may
// leave the file, empty).
bool NginxRuns() {
  const QByteArray pid = ReadBytes(QStringLiteral("/run/nginx.pid")).trimmed();
  return !pid.isEmpty() && QFileInfo::exists(QStringLiteral("/proc/") + QString::fromLatin1(pid));
}
bool SystemdRuns() {
  return QFileInfo::exists(QStringLiteral("/run/systemd/system"));
}

// The depot's own certificate, made once: self-signed, for the name the
// lines use and for localhost, read by nginx and by PostgreSQL (the key
// root:ssl-cert 0640, which both accept).
bool EnsureCertificate(const QString& host, QStringList& changes, QString& error) {
  if (QFileInfo::exists(kCertFile) && QFileInfo::exists(kKeyFile)) return true;
  QByteArray out;
  const mode_t before = ::umask(077);
  const bool ok = RunProgram(
      QStringLiteral("openssl"),
      {"req",     "-x509",
       "-newkey", "rsa:3072",
       "-sha256", "-days",
       "3650",    "-nodes",
       "-keyout", kKeyFile,
       "-out",    kCertFile,
       "-subj",   "/CN=" + host,
       "-addext", QStringLiteral("subjectAltName=DNS:%1,DNS:localhost,IP:127.0.0.1").arg(host),
       "-addext", "basicConstraints=critical,CA:TRUE",
       "-addext", "keyUsage=critical,digitalSignature,keyEncipherment,keyCertSign"},
      out, error);
  ::umask(before);
  if (!ok) return false;
  const group* g = getgrnam("ssl-cert");
  if (::chmod(kCertFile, 0644) != 0 ||
      (g && (::chown(kKeyFile, 0, g->gr_gid) != 0 || ::chmod(kKeyFile, 0640) != 0))) {
    error = QStringLiteral("cannot set the modes of %1 and %2").arg(kCertFile, kKeyFile);
    return false;
  }
  changes << QStringLiteral("certificate %1 for %2 and localhost (key %3)")
                 .arg(kCertFile, host, kKeyFile);
  return true;
}

// pg_hba.conf with the block of the lines first: each line's role over TLS
// with its password, and no line role any other way.
QByteArray HbaWithLines(const QByteArray& hba, const SetupPlan& plan, const QStringList& roles) {
  QByteArray block = QByteArray(kHbaBegin) + '\n';
  for (const QString& role : roles)
    block += "hostssl " + plan.database.toUtf8() + " " + role.toUtf8() + " all scram-sha-256\n";
  block += "host    all +kalvor_lines all reject\n";
  block += QByteArray(kHbaEnd) + '\n';
  QByteArray rest = hba;
  const int begin = rest.indexOf(kHbaBegin);
  const int end = rest.indexOf(kHbaEnd);
  if (begin >= 0 && end > begin) rest.remove(begin, end + int(qstrlen(kHbaEnd)) + 1 - begin);
  return block + rest;
}

// PostgreSQL for the lines: TLS with the depot's certificate on every
// address, and pg_hba.conf's block for the line roles.
bool ConfigurePostgres(const SetupPlan& plan, QStringList& changes, QString& error) {
  Connection db;
  if (!OpenAsSuperuser(db, plan.adminConninfo, error)) return false;
  const struct {
    const char* name;
    QByteArray value;
  } wanted[] = {{"ssl", "on"},
                {"ssl_cert_file", kCertFile},
                {"ssl_key_file", kKeyFile},
                {"listen_addresses", "*"}};
  bool reload = false, restart = false;
  for (const auto& w : wanted) {
    Result r;
    if (!db.Query("SELECT current_setting($1)", {w.name}, r, error)) return false;
    if (r.Value(0, 0) == w.value) continue;
    // The values are this program's own: no quote in them.
    if (!db.Exec(QByteArray("ALTER SYSTEM SET ") + w.name + " = '" + w.value + "'", error))
      return false;
    changes << QStringLiteral("PostgreSQL: %1 = '%2'").arg(w.name, QString::fromUtf8(w.value));
    reload = true;
    restart = restart || qstrcmp(w.name, "listen_addresses") == 0;
  }
  // The roles of the lines of every depot database of the cluster.
  Result r, members;
  if (!db.Query("SELECT current_setting('hba_file'), current_setting('cluster_name')", {}, r, error) ||
      !db.Query("SELECT u.rolname FROM pg_auth_members m JOIN pg_roles u ON u.oid = m.member "
                "JOIN pg_roles g ON g.oid = m.roleid WHERE g.rolname = 'kalvor_lines' ORDER BY u.rolname",
                {}, members, error))
    return false;
  QStringList roles;
  for (int i = 0; i < members.Rows(); ++i) roles << members.Text(i, 0);
  const QString hbaFile = r.Text(0, 0);
  const QString cluster = r.Text(0, 1);
  if (!hbaFile.isEmpty()) {
    const QByteArray hba = ReadBytes(hbaFile);
    const QByteArray next = HbaWithLines(hba, plan, roles);
    if (hba.isEmpty()) {
      error = QStringLiteral("cannot read %1").arg(hbaFile);
      return false;
    }
    if (next != hba) {
      struct stat st {};
      const QByteArray path = QFile::encodeName(hbaFile);
      if (::stat(path.constData(), &st) != 0 || !WriteRootFile(hbaFile, next, error) ||
          ::chown(path.constData(), st.st_uid, st.st_gid) != 0 ||
          ::chmod(path.constData(), st.st_mode & 07777) != 0) {
        if (error.isEmpty()) error = QStringLiteral("cannot keep the owner of %1").arg(hbaFile);
        return false;
      }
      changes
          << QStringLiteral("%1: hostssl with scram-sha-256 for %2").arg(hbaFile, roles.join(", "));
      reload = true;
    }
  }
  if (reload && !db.Exec("SELECT pg_reload_conf()", error)) return false;
  db.Close();
  if (restart) {
    // listen_addresses takes a restart; Debian names the cluster "15/main".
    const QStringList vn = cluster.split('/');
    QByteArray out;
    if (vn.size() != 2 ||
        !RunProgram(QStringLiteral("pg_ctlcluster"), {vn[0], vn[1], "restart"}, out, error)) {
      error =
          QStringLiteral("restart the cluster yourself to listen on every address (%1)").arg(error);
      return false;
    }
    changes << QStringLiteral("PostgreSQL cluster %1 restarted").arg(cluster);
  }
  return true;
}

// The page: the server's defaults, nginx's site enabled and reloaded, the
// units enabled where systemd runs.
bool ConfigureWeb(const SetupPlan& plan, QStringList& changes, QStringList& notes, QString& error) {
  const QByteArray defaults =
      QStringLiteral(
          "# Written by kalvor-depot setup. The reader's password is in %1/pgpass.\n"
          "KALVOR_DEPOT_DATABASE=\"host=localhost port=%2 dbname=%3 user=kalvor_reader\"\n")
          .arg(plan.configDir)
          .arg(plan.port)
          .arg(plan.database)
          .toUtf8();
  const bool newDefaults = ReadBytes(kServerDefaults) != defaults;
  if (newDefaults) {
    if (!WriteRootFile(kServerDefaults, defaults, error) || ::chmod(kServerDefaults, 0644) != 0)
      return false;
    changes << QStringLiteral("%1 written").arg(kServerDefaults);
  }
  bool newSite = false;
  if (QFileInfo::exists(kSiteAvailable) && !QFileInfo(kSiteEnabled).isSymLink()) {
    if (!QFile::link(QStringLiteral("../sites-available/kalvor-depot"), kSiteEnabled)) {
      error = QStringLiteral("cannot link %1").arg(kSiteEnabled);
      return false;
    }
    changes << QStringLiteral("nginx site %1 enabled").arg(kSiteEnabled);
    newSite = true;
  }
  QByteArray out;
  if (QFileInfo::exists(kSiteEnabled)) {
    if (!RunProgram(QStringLiteral("nginx"), {"-t", "-q"}, out, error)) return false;
    if (SystemdRuns()) {
      if (newSite &&
          !RunProgram(QStringLiteral("systemctl"), {"reload-or-restart", "nginx"}, out, error))
        return false;
    } else if (NginxRuns()) {
      if (newSite && !RunProgram(QStringLiteral("nginx"), {"-s", "reload"}, out, error))
        return false;
    } else {
      notes << QStringLiteral("nginx is not running: start it (nginx) to offer the page");
    }
  } else {
    notes << QStringLiteral("nginx is not installed: the page is on http://127.0.0.1:8080 only");
  }
  if (SystemdRuns()) {
    for (const char* unit : {"kalvor-depot.service", "kalvor-depot-backup.timer"}) {
      if (RunProgram(QStringLiteral("systemctl"), {"is-enabled", "--quiet", unit}, out, error) &&
          RunProgram(QStringLiteral("systemctl"), {"is-active", "--quiet", unit}, out, error))
        continue;
      if (!RunProgram(QStringLiteral("systemctl"), {"enable", "--now", unit}, out, error))
        return false;
      changes << QStringLiteral("%1 enabled and started").arg(unit);
    }
    if (newDefaults &&
        !RunProgram(QStringLiteral("systemctl"), {"restart", "kalvor-depot.service"}, out, error))
      return false;
    error.clear();
  } else {
    notes << QStringLiteral(
        "systemd does not run here: start the page as kalvor-depot.service would (kalvor-depot "
        "serve "
        "--database ... --secure-cookies) and run the backups yourself");
  }
  return true;
}

int Setup(const QStringList& words) {
  plat::OptionReader reader;
  QStringList lines;
  reader.Value("--depot")
      .Value("--time-zone")
      .Value("--host")
      .Custom("--line", [&](plat::OptionWords& w) {
        const auto name = w.Next();
        if (!name) return QStringLiteral("takes a line's name");
        lines << *name;
        return QString();
      });
  QString error;
  if (!reader.Read(words, error)) return Fail("setup", error, 2);
  static const QRegularExpression kCode(QStringLiteral("^[a-z0-9_]{1,20}$"));
  if (!kCode.match(reader.Get("--depot")).hasMatch())
    return Fail("setup", "--depot CODE is needed: 1 to 20 of a-z, 0-9 and _", 2);
  if (reader.Get("--time-zone").isEmpty())
    return Fail("setup",
                "--time-zone ZONE is needed: the zone of the lines' shifts, as Europe/Moscow", 2);
  for (const QString& line : lines)
    if (!CheckLineName(line, error)) return Fail("setup", error, 2);
  if (geteuid() != 0)
    return Fail("setup", "run it as root: it writes /etc and sets up PostgreSQL and nginx", 2);
  SetupPlan plan;
  plan.depot = reader.Get("--depot");
  plan.timeZone = reader.Get("--time-zone");
  plan.lines = lines;
  plan.lines.removeDuplicates();
  plan.host = reader.Has("--host") ? reader.Get("--host") : MachineName();
  QStringList changes, notes;
  QList<QByteArray> scripts;
  {
    // Nothing is made while the cluster cannot be reached.
    Connection cluster;
    if (!OpenAsSuperuser(cluster, plan.adminConninfo, error)) return Fail("setup", error);
  }
  if (!EnsureCertificate(plan.host, changes, error)) return Fail("setup", error);
  const QByteArray ca = ReadBytes(kCertFile);
  if (!SetUpDatabase(plan, ca, changes, scripts, error) ||
      !ConfigurePostgres(plan, changes, error) || !ConfigureWeb(plan, changes, notes, error)) {
    for (const QString& c : changes) Say("  done before the failure: " + c);
    return Fail("setup", error);
  }
  if (changes.isEmpty()) {
    Say(QStringLiteral("kalvor-depot setup: nothing to change; depot %1 is set up as asked")
            .arg(plan.depot));
  } else {
    Say(QStringLiteral("kalvor-depot setup: depot %1:").arg(plan.depot));
    for (const QString& c : changes) Say("  " + c);
  }
  for (const QString& n : notes) Say("  note: " + n);
  Say(QStringLiteral("\nThe depot's certificate (%1), the lines' sslrootcert (%2):\n")
          .arg(kCertFile, kLineCaFile));
  std::fputs(ca.constData(), stdout);
  for (int i = 0; i < plan.lines.size(); ++i) {
    Say(QStringLiteral("\nLine %1: run this as root on the line's PC (kept in %2/lines/%1.sh):\n")
            .arg(plan.lines[i], plan.configDir));
    std::fputs(scripts[i].constData(), stdout);
  }
  return 0;
}

int AddEngineerCommand(const QStringList& words) {
  plat::OptionReader reader;
  reader.Positionals(1);
  QString error;
  if (!reader.Read(words, error) || reader.Positional().size() != 1)
    return Fail("add-engineer",
                error.isEmpty() ? QStringLiteral("give the engineer's name") : error, 2);
  const QString name = reader.Positional().first();
  SetupPlan plan;
  QByteArray password;
  bool existed = false;
  if (!AddEngineer(plan.adminConninfo + " dbname=" + plan.database, name, password, existed, error))
    return Fail("add-engineer", error);
  if (existed) {
    Say(QStringLiteral(
            "kalvor-depot add-engineer: %1 exists; nothing changed (ALTER ROLE %1 PASSWORD in psql "
            "gives a new password)")
            .arg(name));
    return 0;
  }
  Say(QStringLiteral(
          "kalvor-depot add-engineer: %1 may sign in to the page with the password\n  %2\n"
          "It is shown once and kept nowhere: hand it over, and the engineer may change it "
          "(psql: \\password).")
          .arg(name, QString::fromLatin1(password)));
  return 0;
}

// The backups of the depot database, newest first by their time on disk.
QFileInfoList Backups(const QString& folder) {
  return QDir(folder).entryInfoList({QStringLiteral("kalvor-*.dump")}, QDir::Files, QDir::Time);
}

int Backup(const QStringList& words) {
  plat::OptionReader reader;
  reader.Value("--to").Value("--keep").Value("--database");
  QString error;
  if (!reader.Read(words, error)) return Fail("backup", error, 2);
  bool ok = false;
  const int keep = reader.Get("--keep", QStringLiteral("14")).toInt(&ok);
  if (!ok || keep < 1 || keep > 1000) return Fail("backup", "--keep takes 1..1000", 2);
  const QString folder = reader.Get("--to", kBackupDir);
  const QString database = reader.Get("--database", QStringLiteral("kalvor"));
  const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  const QString file = folder + QStringLiteral("/kalvor-%1.dump").arg(stamp);
  const QString part = folder + QStringLiteral("/.kalvor-%1.dump.part").arg(stamp);
  QByteArray out;
  if (!RunProgram(QStringLiteral("pg_dump"), {"-Fc", "-f", part, "-d", database}, out, error,
                  true)) {
    QFile::remove(part);
    return Fail("backup", error);
  }
  QFile::remove(file);
  if (!QFile::rename(part, file))
    return Fail("backup", QStringLiteral("cannot rename %1 to %2").arg(part, file));
  // The newest `keep`, and whatever the clock says, the one just made.
  int kept = 1;
  for (const QFileInfo& old : Backups(folder)) {
    if (old.absoluteFilePath() == QFileInfo(file).absoluteFilePath()) continue;
    if (kept < keep) {
      ++kept;
    } else if (!QFile::remove(old.absoluteFilePath())) {
      return Fail("backup",
                  QStringLiteral("cannot remove the old backup %1").arg(old.absoluteFilePath()));
    }
  }
  Say(QStringLiteral("kalvor-depot backup: %1 (%2 bytes); %3 backups in %4")
          .arg(file)
          .arg(QFileInfo(file).size())
          .arg(kept)
          .arg(folder));
  return 0;
}

int Restore(const QStringList& words) {
  plat::OptionReader reader;
  reader.Value("--database").Positionals(1);
  QString error;
  if (!reader.Read(words, error) || reader.Positional().size() != 1 || !reader.Has("--database"))
    return Fail(
        "restore",
        error.isEmpty() ? QStringLiteral("usage: kalvor-depot restore FILE --database NEW") : error,
        2);
  const QString file = QFileInfo(reader.Positional().first()).absoluteFilePath();
  const QString database = reader.Get("--database");
  if (!QFileInfo(file).isReadable())
    return Fail("restore", QStringLiteral("cannot read %1").arg(file));
  SetupPlan plan;
  Connection admin;
  Result r;
  if (!OpenAsSuperuser(admin, plan.adminConninfo, error) ||
      !admin.Query("SELECT 1 FROM pg_database WHERE datname = $1", {database.toUtf8()}, r, error))
    return Fail("restore", error);
  if (r.Rows() > 0)
    return Fail("restore",
                QStringLiteral("database %1 exists: a restore goes into a new database only")
                    .arg(database));
  // The dump's own database settings (its time zone) come with it.
  QByteArray script, out;
  if (!RunProgram(QStringLiteral("pg_restore"), {"--create", "--schema-only", "-f", "-", file},
                  script, error))
    return Fail("restore", error);
  static const QRegularExpression kZone(
      QStringLiteral("ALTER DATABASE \\S+ SET \"?timezone\"? TO '([^']+)'"),
      QRegularExpression::CaseInsensitiveOption);
  const auto zone = kZone.match(QString::fromUtf8(script));
  if (!admin.Exec("CREATE DATABASE " + QuoteIdentifier(database.toUtf8()), error))
    return Fail("restore", error);
  if (zone.hasMatch() && !admin.Exec("ALTER DATABASE " + QuoteIdentifier(database.toUtf8()) +
                                         " SET timezone TO '" + zone.captured(1).toUtf8() + "'",
                                     error))
    return Fail("restore", error);
  // As postgres, who must be able to read the file (the backups are its).
  if (!RunProgram(QStringLiteral("pg_restore"), {"--exit-on-error", "-d", database, file}, out,
                  error, true))
    return Fail(
        "restore",
        error + QStringLiteral(" (the database %1 is left as it got; drop it before a new try)")
                    .arg(database));
  Say(QStringLiteral("kalvor-depot restore: %1 restored into the new database %2%3")
          .arg(file, database,
               zone.hasMatch() ? QStringLiteral(" (time zone %1)").arg(zone.captured(1))
                               : QString()));
  return 0;
}

}  // namespace

int RunAdminCommand(const QStringList& words) {
  if (words.isEmpty()) return -1;
  const QString command = words.first();
  const QStringList rest = words.mid(1);
  if (command == QStringLiteral("setup")) return Setup(rest);
  if (command == QStringLiteral("add-engineer")) return AddEngineerCommand(rest);
  if (command == QStringLiteral("backup")) return Backup(rest);
  if (command == QStringLiteral("restore")) return Restore(rest);
  return -1;
}

}  // namespace depot
