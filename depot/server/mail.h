#pragma once
// Mail to the engineers through an SMTP server, by libcurl: plain text in
// UTF-8, STARTTLS or TLS from the start where the server's URL asks for it,
// a login with a password read from a file where one is configured.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace depot {

struct MailServer {
  // smtp://host[:port] or smtps://host[:port]; a user to log in as may
  // stand in it (smtp://alarms@mail.depot).
  QByteArray url;
  bool starttls = false;   // smtp:// that must turn to TLS before anything else
  QString passwordFile;    // the login's password, its first line
  QString caFile;          // the certificates the server's is checked against; empty: the system's
  QByteArray from;         // the sender's address
  QStringList to;          // the engineers' addresses
  int timeoutSeconds = 20; // a server that does not answer delays the mail
};

struct Mail {
  QString subject;
  QString text;
};

// The message as it goes over the wire: headers (the subject encoded for
// mail) and the text in base64, lines ending CRLF.
QByteArray MailMessage(const MailServer& server, const Mail& mail, const QDateTime& at);

// Sends one mail to every address of `server.to`. False with the reason
// (libcurl's and the server's answer) when it did not go out.
bool SendMail(const MailServer& server, const Mail& mail, QString& error);

}  // namespace depot
