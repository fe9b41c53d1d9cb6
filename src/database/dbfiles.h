#pragma once
// Inside the database module: the bound paths of the record files, the
// failure bookkeeping and the write probe, shared by the record operations,
// the state files and the shift change.

#include <QByteArray>
#include <QString>

#include "database/database.h"

namespace dbfiles {

// Until the start-up binds the files, each operation maps the path anew, so
// that a change of the working folder (tests, tools) is followed.
QString BasePath();
QString DayPath();
QString TelPath();

// Keeps the message in DatabaseError() and gives false.
bool Fail(const QString& message);

// Tells the write probe that one more write reached the disk.
void Written();

// The record-file operations on a bound path, with their errors kept in
// DatabaseError() and each successful write reported to the probe.
int CountOf(const QString& path, int recordSize);
bool ReadOne(const QString& path, int recordSize, int i, QByteArray& bytes);
bool AppendOne(const QString& path, int recordSize, const QByteArray& bytes);
bool ClearFile(const QString& path);

// The bytes [offset, offset + count) of a record file were dropped: said on
// standard error, logged in Report\dropped.log and kept for the start check.
void LogDropped(const QString& path, qint64 offset, qint64 count, const QString& why);
// What a broken tail is called in the log.
inline const QString kBrokenTail = QStringLiteral("неполная запись в конце файла");

// "Ошибка в файле F, строка N: ..."
QString LineError(const QString& file, int line, const QString& what);
// Integer line `line` (1-based) of a text file; fails naming the file and line.
bool IntegerLine(const QString& file, const QStringList& lines, int line, int& value);

// Writes `state` to Config\now.txt; Database.ShiftState is left alone, so
// that memory takes a new shift only once the disk has it.
bool WriteShiftState(const TShiftState& state);

// Finishes a shift change that an earlier run (or an earlier call of this
// run) did not complete, when the journal shows it to be unfinished; sets a
// journal aside that does not match the files. False on a file error.
bool RecoverShiftChange();

}  // namespace dbfiles
