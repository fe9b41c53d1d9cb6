#pragma once
// The depot machine itself as setup, backup and restore see it: the files
// of a line's PC they name, the cluster's superuser, root-only files and
// the outside programs they run.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace depot {

class Connection;

// Where a line's PC keeps the depot's CA certificate and its password (the
// user kalvor's home is the installation folder).
inline constexpr char kLineCaFile[] = "/var/lib/kalvor/.postgresql/root.crt";
inline constexpr char kLinePgpassFile[] = "/var/lib/kalvor/.pgpass";

// Run as root with a connection that names no user (the local cluster's
// superuser), the process acts as the user postgres while it lives, so that
// the cluster's peer authentication lets it in; else it changes nothing.
class AsPostgres {
 public:
  explicit AsPostgres(const QString& conninfo);
  ~AsPostgres();
  AsPostgres(const AsPostgres&) = delete;
  AsPostgres& operator=(const AsPostgres&) = delete;

 private:
  bool switched_ = false;
};

// Opens `conninfo` as the cluster's superuser (AsPostgres around the login).
bool OpenAsSuperuser(Connection& db, const QString& conninfo, QString& error);

// Writes a file whole with mode 0600, making its folders (0700) first.
bool WriteRootFile(const QString& file, const QByteArray& bytes, QString& error);
// The bytes of a file, empty when it cannot be read.
QByteArray ReadBytes(const QString& file);

// Runs a program and waits for it; false with its error output, or the
// reason it did not run, in `error`. `asPostgres`: under runuser as postgres
// when this process is root.
bool RunProgram(const QString& program, const QStringList& args, QByteArray& output, QString& error,
                bool asPostgres = false);

// This machine's full name (hostname -f), else its short one.
QString MachineName();

}  // namespace depot
