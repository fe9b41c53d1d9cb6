#include "options.h"

namespace springdata {

QString ReadOptions(QStringList args, const QStringList& flags, const QStringList& valued,
                    QMap<QString, QString>* values, const QString& unknownSuffix) {
  while (!args.isEmpty()) {
    const QString opt = args.takeFirst();
    if (flags.contains(opt)) {
      values->insert(opt, QString());
      continue;
    }
    if (args.isEmpty()) return opt + " needs a value";
    const QString value = args.takeFirst();
    if (!valued.contains(opt)) return "unknown option " + opt + unknownSuffix;
    values->insert(opt, value);
  }
  return QString();
}

}  // namespace springdata
