#pragma once
// The measurement database: the three record files (Report\base.bin, the
// measurements of earlier shifts; Report\day.bin, the current shift;
// Report\Tel.bin, the set archive), the shift state (Config\now.txt), the
// mode state (Config\tekstat.lm4) and the shift change that moves a finished
// shift into the database. The record operations live in recordops.cpp, the
// state files in statefiles.cpp, the shift change and its journal in
// shiftchange.cpp.
//
// Every operation opens its file, does its work and closes it. Operations that
// can fail return false (counts return 0) and leave the message in
// DatabaseError(); each operation clears it when it starts.

#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "database/records.h"

// Config\now.txt, nine lines.
struct TShiftState {
  int Reserved1 = 0;     // line 1, kept as read
  int Reserved2 = 0;     // line 2, kept as read
  int Reserved3 = 0;     // line 3, 0 after a shift change
  int Reserved4 = 1;     // line 4, 1 after a shift change
  int CurrentIndex = 1;  // line 5: position in the shift file of the measurement shown
  int Day = 0;           // line 6: day of month of the current shift
  int Month = 0;         // line 7: month of the current shift
  QString WagonFrom = QStringLiteral("?");  // line 8, at most 8 characters
  QString WagonTo = QStringLiteral("?");    // line 9, at most 8 characters
};

// Config\tekstat.lm4, five lines. The defaults are the values before the file
// is read.
struct TModeState {
  bool FastMode = false;         // line 1
  int Reserved = 0;              // line 2, kept as read
  int ShiftCount = 0;            // line 3: cached number of records of the shift file
  int BogieType = 1;             // line 4: selected bogie type, 1-based
  bool AcceleratedMode = false;  // line 5
};

// Positions into Report\base.bin chosen by the date-range search. While On,
// MeasurementCount and SetCount give the length of List and
// ReadMeasurement(i) reads position List[i].
struct TRecordFilter {
  bool On = false;
  std::vector<int> List;
};

// Points of a shift change at which the program may stop; reported to the
// probe of TDatabase (the database tool uses it to show progress and to stop
// a transfer on purpose).
enum class ShiftChangeStep {
  JournalWritten,  // the journal is on disk, nothing moved yet
  Copying,         // `done` of `total` records written to base.bin (not yet synced)
  Copied,          // every record is in base.bin and synced
  ShiftCleared,    // day.bin is empty
  StateSaved,      // now.txt holds the new shift; the journal is still there
};

struct TDatabase {
  TShiftState ShiftState;
  TModeState ModeState;
  TRecordFilter RecordFilter;
  // The record files, bound to their file-system paths at start-up (empty:
  // not bound, mapped on every operation).
  QString BasePath;
  QString DayPath;
  QString TelPath;
  QString LastError;
  QString StartupError;   // the first failure of the start-up steps
  QString StartupReport;  // what the start-up set aside, for the start page
  // Called by the shift change after the new shift is set, so that the
  // sorting mode can empty its spring lists.
  std::function<void()> ShiftChangeListener;
  std::function<void(ShiftChangeStep step, int done, int total)> ShiftChangeProbe;
  // What the operator sees of a shift change, installed by the program: the
  // shade over the work area when the shift changes, and the notice
  // "Идет перенос данных !" before records are moved. Unset, nothing is drawn
  // (the database tool, tests).
  std::function<void()> ShadeForShiftChange;
  std::function<void()> ShowTransferNotice;
  // The clock shows an earlier day than the stored shift: before anything
  // moves the operator is asked whether measuring goes on in that shift
  // (true). Installed by the program; unset (the database tool, tests), the
  // shift change refuses.
  std::function<bool(const QDate& shift, const QDate& today)> ConfirmClockBehind;
  // The stored shift's date while the clock is behind it and the operator
  // chose to go on: new measurements are named with it, so that their names
  // continue the shift's numbering and never repeat those of an earlier day.
  // Invalid while the clock is not behind.
  QDate HeldShiftDate;
  // The last shift change stopped because the clock is behind the shift and
  // going on was not confirmed.
  bool ClockBehindRefused = false;
  // Called after every write of the module that has reached the disk (an
  // append, a cut, a block of a copy, a state file, the journal, its removal).
  // Tests stop the program here to model a power cut between two writes.
  std::function<void()> WriteProbe;
  // Bytes of the record files this run dropped (a broken tail cut away),
  // one line each as logged, for the start check to name.
  QStringList Dropped;
};

extern TDatabase Database;

// System paths of the files.
inline const QString kBaseFile = QStringLiteral("Report\\base.bin");
inline const QString kDayFile = QStringLiteral("Report\\day.bin");
inline const QString kTelFile = QStringLiteral("Report\\Tel.bin");
inline const QString kShiftStateFile = QStringLiteral("Config\\now.txt");
inline const QString kModeStateFile = QStringLiteral("Config\\tekstat.lm4");
// Written before a shift change moves records and removed after it; its
// presence at start-up means a shift change was interrupted.
inline const QString kTransferJournalFile = QStringLiteral("Report\\transfer.jnl");
// A journal that does not match the files is renamed to
// Report\transfer-YYYYMMDD-HHMMSS.jnl and kept for the service engineer.
inline const QString kTransferJournalAsidePrefix = QStringLiteral("transfer-");

// The message of the last failed operation, empty after a success.
QString DatabaseError();

// --- Start-up, in the program's start-up order ---------------------------
// 1. Binds the record files, finishes a shift change that was interrupted,
//    loads the shift state and switches the record filter off.
QString InitDatabaseModule();
// 2. Called by the start-up after LoadSettings and LoadSpringTypes: empties
//    base.bin and day.bin when [Global] DestroyDbNow / DestroyDayDbNow are on
//    and sets both wagon numbers in memory to "?".
QString ApplyDatabaseSettings();
// 3. Gives the mode state its start values, loads it, and empties Tel.bin
//    when [Global] DestroyTelDbNow is on.
QString InitModeState();
// The first failure of steps 1..3; the program must not start when it is set.
QString DatabaseStartupError();
// What the start-up noticed and set aside without stopping (a transfer
// journal that did not match the files), for the start page; empty when
// nothing.
QString DatabaseStartupReport();

// --- What the start check asks of the installation -----------------------
// The free space the installation folder keeps for the line to work: a
// shift's camera files under STORAGE\, the page pictures, the sheets' PDF
// copies and the records, with room to spare.
constexpr qint64 kMinFreeSpace = 100LL * 1024 * 1024;
// Whether the program can write where it writes: a file made and removed
// again in the working folder and in Report, Config, Temp, STORAGE and
// texts. False with the first folder that refuses and the system's reason.
bool InstallationFolderWritable(QString& error);
// At least `minimum` bytes free on the file system of the working folder.
bool InstallationHasFreeSpace(qint64 minimum, QString& error);
// Report\base.bin, day.bin and Tel.bin: each a whole number of records
// whose last record is readable. False with one line per damaged file,
// naming it, what is wrong and what will be done with it.
bool RecordFilesWhole(QString& error);

// Bytes that are no whole record (the tail a power cut left in a record
// file) are dropped by the next write to that file: each drop is written to
// standard error and as a line to this log, "YYYY-MM-DD HH:MM:SS FILE:
// отброшено N байт со смещения OFFSET (WHY)", and kept in Database.Dropped.
inline const QString kDroppedLogFile = QStringLiteral("Report\\dropped.log");

// Tests: forget all state (paths are bound again on the next operation).
void ResetDatabaseModule();

// --- Record operations (0-based positions) --------------------------------
bool AppendMeasurement(const MeasurementRecord& record);
// With the filter on, a position that cannot be read gives false with no
// message and leaves `record` as it was.
bool ReadMeasurement(int i, MeasurementRecord& record);
int MeasurementCount();
bool ClearMeasurements();
// Reads `count` records of base.bin from position `first` in one pass,
// without the filter (statistics and reports that walk the whole database).
bool ReadMeasurementRange(int first, int count, std::vector<MeasurementRecord>& records);
// The same records undecoded, as they lie in base.bin (count *
// kMeasurementRecordSize bytes), for scans that need a field or two.
bool ReadMeasurementBytes(int first, int count, QByteArray& bytes);
// How much of each record a walk decodes: all of it, or what the judgement
// needs (DecodeMeasurementValues).
enum class RecordParts { Whole, Values };
// Reads the records at list positions first .. first + count - 1 as the
// browser lists them: through the record filter when it is on, else the
// range. Positions close together are read with one opening of the file.
// Unlike ReadMeasurement, a listed position that cannot be read is an error.
bool ReadListedMeasurements(int first, int count, std::vector<MeasurementRecord>& records,
                            RecordParts parts = RecordParts::Whole);
// Walks over stored records without decoding them: `each` gets the bytes of
// one record (kMeasurementRecordSize of them, valid during the call) and its
// position. The file is read in blocks through one buffer, so a walk over the
// whole database allocates nothing per record.
using MeasurementVisitor = std::function<void(const char* record, int position)>;
// Positions first .. first + count - 1 of base.bin, without the filter.
bool ScanMeasurements(int first, int count, const MeasurementVisitor& each);
// List positions first .. first + count - 1 as ReadListedMeasurements reads
// them; `position` is the list position.
bool ScanListedMeasurements(int first, int count, const MeasurementVisitor& each);

bool AppendShiftMeasurement(const MeasurementRecord& record);
bool ReadShiftMeasurement(int i, MeasurementRecord& record);
int ShiftMeasurementCount();
// Reads `count` records of day.bin from position `first` in one pass.
bool ReadShiftMeasurementRange(int first, int count, std::vector<MeasurementRecord>& records);
bool ClearShiftMeasurements();

bool AppendSet(const SetRecord& record);
bool ReadSet(int i, SetRecord& record);
int SetCount();
// Whether Report\Tel.bin can be read: true when it opens for reading or does
// not exist (a new installation holds no sets); false with the reason in
// DatabaseError() for a folder in its place or a file that does not open.
bool SetArchiveReadable();
bool ClearSets();

// Turns the filter on with the given positions, or off (the list is kept
// until the next search replaces it).
void SetRecordFilter(std::vector<int> positions);
void RecordFilterOff();

// --- State files ------------------------------------------------------------
// A missing file is created with the values in memory; a line that does not
// convert fails with a message naming the file and the line.
bool LoadShiftState();
bool SaveShiftState();
bool LoadModeState();
bool SaveModeState();

// On the first call on a day whose day or month differs from the shift
// state, moves the shift file to the end of base.bin under a notice, empties
// it and starts the new shift. Safe against an interruption at any moment:
// the next InitDatabaseModule (or the next call) completes the move, and
// only a move that is known from the journal not to have finished.
// A caller that gets false must not append to the shift file: the move may
// still be in doubt.
// A clock behind the shift (today earlier than the shift's date, whose year
// comes from the records) changes nothing: the shift goes on once
// ConfirmClockBehind agrees, else the call fails with ClockBehindRefused set.
bool CheckShiftChange();

// "0007-05032009": the number with leading zeros to 4 digits, "-", today's
// day, month and year (the held shift's while the clock is behind it).
QString MeasurementIdentifier(int number);
// The same with the date of `day`.
QString MeasurementIdentifier(int number, const QDate& day);
// Today as DDMMYYYY.
QString MakeSetDate();
