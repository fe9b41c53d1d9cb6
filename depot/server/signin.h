#pragma once
// The sign-in: the form, where to go after it, and the check of an
// engineer's login against the database.

#include <QByteArray>
#include <QString>
#include <string>

namespace depot {

// The sign-in form that returns to `next`, with `error` under it.
QByteArray LoginForm(const QByteArray& next, const QString& error);

// Only a path of this server is a place to return to after the sign-in.
QByteArray SafeNext(const QByteArray& next);

// Connects as `user` with `password` over the server's connection string and
// checks that the role belongs to `engineersRole`. Empty on success, else
// the reason shown to the engineer.
QString CheckEngineer(const std::string& conninfo, const QByteArray& user, const QByteArray& password,
                      const QByteArray& engineersRole);

}  // namespace depot
