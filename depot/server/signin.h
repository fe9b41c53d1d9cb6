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
// checks that the role may read the page (MayReadPage). Empty on success,
// else the reason shown to the engineer; `status` is 403 for a refusal and
// 503 when the database cannot be reached.
QString CheckEngineer(const std::string& conninfo, const QByteArray& user, const QByteArray& password,
                      const QByteArray& engineersRole, int& status);

// Whether `role` may still read the page: it may log in, is a member of
// `engineersRole`, and is none of the database's own roles (a superuser,
// the server's reader, a line's role). Asked on the server's connection; a
// database that fails ends the request (Query()).
bool MayReadPage(const QByteArray& role, const QByteArray& engineersRole);

}  // namespace depot
