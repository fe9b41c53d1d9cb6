#pragma once
// The depot machine's own administration, run as root there: `setup` puts
// the database, its roles with their passwords, TLS for the lines and the
// page behind nginx in place; `add-engineer` makes an engineer's login;
// `backup` and `restore` keep the database. Every step looks first and
// changes only what is not as asked, so a second run changes nothing.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace depot {

struct SetupPlan {
  QString depot;     // the depot's code
  QString timeZone;  // the zone the lines' shifts are counted in
  QStringList lines;
  QString host;  // the name the lines reach this machine by (the certificate's)
  int port = 5432;
  QString database = QStringLiteral("kalvor");
  // The cluster's superuser, to a database that exists (postgres); the
  // depot database is reached with the same connection and its own name.
  // The server's notices ("already exists, skipping") are left out.
  QString adminConninfo = QStringLiteral("dbname=postgres options='-c client_min_messages=warning'");
  // Root-only: the reader's password file and each line's files.
  QString configDir = QStringLiteral("/etc/kalvor-depot");
};

// What a line's PC needs: /etc/default/kalvor-depot-sync and the kalvor
// user's .pgpass.
struct LineFiles {
  QByteArray defaults;
  QByteArray pgpass;
};
LineFiles LineSyncFiles(const SetupPlan& plan, const QString& line, const QByteArray& password);
// A shell script for the line's PC, run as root there: writes the two files
// and the depot's CA certificate with their owners and modes and starts the
// sync's timer.
QByteArray LineScript(const QString& line, const LineFiles& files, const QByteArray& caPem);

// The database, migrated, in the zone; the reader's and each line's role
// with a password kept in a root-only file of configDir (made when missing);
// `changes` gets one line per thing done, none when all was as asked.
// `scripts` gets each line's script (LineScript) by the order of the plan.
bool SetUpDatabase(const SetupPlan& plan, const QByteArray& caPem, QStringList& changes,
                   QList<QByteArray>& scripts, QString& error);

// An engineer's login: a member of kalvor_reader with a new password, given
// back once. An engineer that exists is left as it is (`existed`).
bool AddEngineer(const QString& conninfo, const QString& name, QByteArray& password, bool& existed,
                 QString& error);

// A password of 32 letters and digits from the kernel's random source: no
// character that a .pgpass line or a shell would read otherwise.
QByteArray NewPassword();

// kalvor-depot setup | add-engineer | backup | restore: the exit code, or -1
// when the first word is none of them.
int RunAdminCommand(const QStringList& words);

}  // namespace depot
