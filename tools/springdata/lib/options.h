#pragma once
// The options of springdata's commands: "--name value" pairs and bare flags,
// read the same way by every command.

#include <QMap>
#include <QString>
#include <QStringList>

namespace springdata {

// Reads `args` into *values (a flag maps to an empty value). An empty string
// when every option is known, else the message of the first wrong one:
// "NAME needs a value" when a value is missing, or "unknown option NAME"
// followed by `unknownSuffix`.
QString ReadOptions(QStringList args, const QStringList& flags, const QStringList& valued,
                    QMap<QString, QString>* values, const QString& unknownSuffix = QString());

}  // namespace springdata
