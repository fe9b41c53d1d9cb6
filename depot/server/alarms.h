#pragma once
// The alarms that come to the engineer (kalvor-depot alarms): a pass every
// minute looks at what the syncs brought, raises each alarm once into the
// table `alarms` (its first moment and its cause) and mails those not yet
// sent. A mail server that does not answer delays the mail, never loses the
// alarm: it stays unsent in the table and is tried again on the next pass.
//
// The rules are the lines page's statuses (attention.h), per line, spring
// type and parameter over the matrix's period: a Western Electric rule
// broken in the last shifts, this month's Cpk below 1,33, the share rejected
// of the last shifts at twice the baseline's; and per line: no sync for an
// hour.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <string>

#include "server/mail.h"

namespace depot {

class Connection;

// A line not synced for this long raises its alarm.
constexpr int kStaleMinutes = 60;

struct AlarmOptions {
  std::string database;  // libpq connection string of the role kalvor_alarms
  MailServer mail;
  QByteArray pageUrl;  // the depot page as the engineers open it ("https://depot.example")
  int intervalSeconds = 60;
  bool once = false;   // one pass, then end
  QDateTime now;       // the clock the rules count from; invalid: the database's
};

struct PassResult {
  int raised = 0;  // alarms new in this pass
  int sent = 0;    // mails sent
  int unsent = 0;  // alarms whose mail could not go out
};

// One pass over `db` (the service's connection, which writes the alarms;
// the rules read through Query(), set up with SetDatabase()). False with the
// reason when the database failed; mails that fail count as unsent.
bool AlarmPass(Connection& db, const AlarmOptions& o, PassResult& result, QString& error);

// The service: a pass every interval (once with `once`); reconnects to a
// database that went away. The exit code of the program.
int RunAlarms(const AlarmOptions& o);

// `kalvor-depot alarms OPTIONS`: reads the command line (the words after
// "alarms") and runs the service; the program's exit code.
int AlarmsCommand(const QStringList& words);

// The lines page's list "Сигналы за 7 дней".
QByteArray RecentAlarmsHtml();

}  // namespace depot
