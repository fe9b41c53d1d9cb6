#pragma once
// The user who owns an installation folder. Every tool that writes into an
// installation (or into the backups of one) runs as that user, so that the
// program, which runs as the owner, can still read and replace every file:
// a tool run as another user (root, by hand) is refused unless told
// --as-owner, and then it becomes the owner before it touches anything.

#include <QString>

namespace plat {

// The option that lets a tool become the installation's owner.
inline const QString kAsOwnerOption = QStringLiteral("--as-owner");

// Checks that this process runs as the owner of `folder` (a folder that
// does not exist yet passes: it becomes its creator's). When it does not and `becomeOwner` is set, switches the process to the owner's user,
// primary group and supplementary groups (which needs root). False with
// `error` naming the owner and the option when the process may not go on.
// `tool` names the program in the message ("kalvor-springdata backup").
bool RunAsInstallationOwner(const QString& folder, bool becomeOwner, const QString& tool,
                            QString& error);

}  // namespace plat
