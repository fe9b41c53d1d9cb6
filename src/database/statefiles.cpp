// The two state files: the shift state Config\now.txt and the mode state
// Config\tekstat.lm4. Both are written whole through a new file renamed over
// the old one, so a power cut leaves the old or the new file.

#include <QFile>

#include "database/database.h"
#include "database/dbfiles.h"
#include "database/recordfile.h"
#include "platform/paths.h"
#include "platform/textfile.h"

using namespace dbfiles;

namespace {

// A flag line: any integer (non-zero is on) or the words True and False.
bool BooleanLine(const QString& file, const QStringList& lines, int line, bool& value) {
  if (line <= lines.size()) {
    const QString text = lines[line - 1].trimmed();
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
      value = true;
      return true;
    }
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
      value = false;
      return true;
    }
  }
  int v = 0;
  if (!IntegerLine(file, lines, line, v)) return false;
  value = v != 0;
  return true;
}

QString WagonNumber(const QString& text) { return text.left(measurement_offset::WagonChars); }

QString BoolLine(bool v) { return v ? QStringLiteral("-1") : QStringLiteral("0"); }

bool WriteStateFile(const QString& file, const QStringList& lines) {
  QString reason;
  if (!plat::WriteTextLines(file, lines, &reason))
    return Fail(recfile::IoError(plat::MapPath(file), reason));
  Written();
  return true;
}

}  // namespace

bool dbfiles::WriteShiftState(const TShiftState& s) {
  Database.LastError.clear();
  return WriteStateFile(kShiftStateFile,
                        {QString::number(s.Reserved1), QString::number(s.Reserved2),
                         QString::number(s.Reserved3), QString::number(s.Reserved4),
                         QString::number(s.CurrentIndex), QString::number(s.Day),
                         QString::number(s.Month), WagonNumber(s.WagonFrom),
                         WagonNumber(s.WagonTo)});
}

bool SaveShiftState() { return WriteShiftState(Database.ShiftState); }

bool LoadShiftState() {
  Database.LastError.clear();
  if (!QFile::exists(plat::MapPath(kShiftStateFile))) return SaveShiftState();
  const auto lines = plat::ReadTextLines(kShiftStateFile);
  if (!lines)
    return Fail(recfile::IoError(plat::MapPath(kShiftStateFile), QStringLiteral("чтение невозможно")));
  // Read into a copy so that a broken file changes nothing in memory.
  TShiftState s = Database.ShiftState;
  const QString& f = kShiftStateFile;
  if (!IntegerLine(f, *lines, 1, s.Reserved1) || !IntegerLine(f, *lines, 2, s.Reserved2) ||
      !IntegerLine(f, *lines, 3, s.Reserved3) || !IntegerLine(f, *lines, 4, s.Reserved4) ||
      !IntegerLine(f, *lines, 5, s.CurrentIndex) || !IntegerLine(f, *lines, 6, s.Day) ||
      !IntegerLine(f, *lines, 7, s.Month))
    return false;
  // Wagon numbers may be empty; a file cut short after line 7 reads them so.
  s.WagonFrom = lines->size() >= 8 ? WagonNumber(lines->at(7)) : QString();
  s.WagonTo = lines->size() >= 9 ? WagonNumber(lines->at(8)) : QString();
  Database.ShiftState = s;
  return true;
}

bool SaveModeState() {
  Database.LastError.clear();
  const TModeState& m = Database.ModeState;
  return WriteStateFile(kModeStateFile,
                        {BoolLine(m.FastMode), QString::number(m.Reserved),
                         QString::number(m.ShiftCount), QString::number(m.BogieType),
                         BoolLine(m.AcceleratedMode)});
}

bool LoadModeState() {
  Database.LastError.clear();
  if (!QFile::exists(plat::MapPath(kModeStateFile))) return SaveModeState();
  const auto lines = plat::ReadTextLines(kModeStateFile);
  if (!lines)
    return Fail(recfile::IoError(plat::MapPath(kModeStateFile), QStringLiteral("чтение невозможно")));
  TModeState m = Database.ModeState;
  const QString& f = kModeStateFile;
  if (!BooleanLine(f, *lines, 1, m.FastMode) || !IntegerLine(f, *lines, 2, m.Reserved) ||
      !IntegerLine(f, *lines, 3, m.ShiftCount) || !IntegerLine(f, *lines, 4, m.BogieType) ||
      !BooleanLine(f, *lines, 5, m.AcceleratedMode))
    return false;
  Database.ModeState = m;
  return true;
}
