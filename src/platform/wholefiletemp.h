#pragma once
// The names of the whole-file writer's temporaries (textfile.h): the target's
// name, this mark and six letters or digits ("now.txt.tmp-Ab12Cd").

#include <QRegularExpression>
#include <QString>

namespace plat {

inline constexpr char kWholeFileTempMark[] = ".tmp-";

// Whether a file name is that of a temporary beside its target: one that a
// reader of a whole folder (a backup) passes over, since it is renamed or
// removed in a moment.
inline bool IsWholeFileTemporary(const QString& fileName) {
  static const QRegularExpression temporary(QStringLiteral(".\\.tmp-[A-Za-z0-9]{6}$"));
  return temporary.match(fileName).hasMatch();
}

}  // namespace plat
