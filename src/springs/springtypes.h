#pragma once
// The bogie and spring-type table: every bogie type the line serves, the
// spring types of each, and for every spring type the norms and corrections
// of its measured parameters. Loaded from the bogie/spring-type file named by
// setup.ini [Params] ChassieIniFilename; everything that judges, corrects,
// labels or classifies a spring reads it.
//
// All indices are 1-based: SpringTypeTable()[b].springTypes[s].parameters[p];
// slot 0 of every array is unused. Parameter 1 is the coil diameter, 2 the
// free height, 3 the non-perpendicularity.
//
// The table starts all zero and empty. A load writes only the entries within
// the file's counts, so entries beyond them keep what they held before.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>

struct MeasurementRecord;

// Room of the table.
constexpr int kMaxBogieTypes = 16;
constexpr int kMaxSpringTypes = 8;
constexpr int kMaxParameters = 10;
// A measurement record holds and is judged on parameters 1..6.
constexpr int kJudgedParameters = 6;
// Texts of the file are kept up to this many characters.
constexpr int kMaxSpringText = 255;

// One measured parameter of a spring type (keys P<p>...).
struct SpringParameter {
  QString Name;         // P<p>Name
  bool Show = false;    // P<p>Show: shown on result and database pages, printouts
  bool Analiz = false;  // P<p>Analiz: takes part in the judgement
  double Max = 0;       // P<p>Max: upper limit
  double Min = 0;       // P<p>Min: lower limit
  bool e = false;       // P<p>e: kept for the file, unused
  double Midl = 0;      // P<p>Midl: nominal value of the demonstration data
  int32_t t = 0;        // P<p>t: spread of the demonstration data
  double Mul = 0;       // P<p>Mul: corrected = raw * Mul + Add
  double Add = 0;       // P<p>Add

  bool operator==(const SpringParameter&) const = default;
};

// One spring type (a [Spring<N>] section).
struct SpringType {
  int32_t Tip = 0;      // type code, kept for the file, unused
  QString Name;         // title
  QString AltName;      // designation: key captions, pages, printouts
  uint8_t KeyMini = 0;  // KeyCode that picks this type on the spring-type page
  double E = 0;         // tolerance widening every limit
  int32_t Adc3 = 0;     // strong-pressure set-point
  int32_t Adc1 = 0;     // weak-pressure set-point
  double Odf = 0;       // pressure-stage readings not above it count as 0
  int32_t Line = 0;     // Line, ScanLine, LineValue, Gst, Gpt: kept, unused
  int32_t ScanLine = 0;
  int32_t LineValue = 0;
  uint8_t Gst = 0;
  uint8_t Gpt = 0;
  int32_t Nparam = 0;   // parameters read from the file (0..10)
  int32_t PrValue = 0;  // info value, shown with PrEd when PrVisible
  QString PrEd;
  bool PrVisible = false;
  int32_t prm = 0;  // bit 0: skip the strong stage, bit 1: the weak one (with Zam19)
  std::array<SpringParameter, kMaxParameters + 1> parameters{};  // [1..10]
  // What the file lacks for this type to be judged, empty when nothing: its
  // section, parameters 1..6 (Nparam below 6 leaves the rest at zero limits)
  // or any limit of them. Its measurements are not judged.
  QString MissingNorms;

  bool operator==(const SpringType&) const = default;
};

// One bogie type (a [Chassie<b>] section).
struct BogieType {
  QString Name;            // shown after " т." in captions and on pages
  int32_t MaxSprings = 0;  // spring types of this bogie type (0..8)
  std::array<SpringType, kMaxSpringTypes + 1> springTypes{};  // [1..8]
  bool ManualSet = false;  // the operator picks the spring type at each measurement

  bool operator==(const BogieType&) const = default;
};

struct TSpringTypeTable {
  int32_t MaxChNum = 0;                                    // bogie types in the file (0..16)
  std::array<BogieType, kMaxBogieTypes + 1> bogieTypes{};  // [1..16]

  BogieType& operator[](int b) { return bogieTypes.at(b); }
  const BogieType& operator[](int b) const { return bogieTypes.at(b); }
  bool operator==(const TSpringTypeTable&) const = default;
};

struct TSpringTypesState {
  TSpringTypeTable table;
  // What the last load could not take as written (missing file, counts beyond
  // the table's room), one line each, for the start-up to show; empty when
  // the file was read as it stands.
  QString loadReport;
};

extern TSpringTypesState SpringTypesState;

inline TSpringTypeTable& SpringTypeTable() {
  return SpringTypesState.table;
}
// The bogie type in use (1-based). It lives in the mode state of the
// database module, which keeps it in Config\tekstat.lm4, so there is one
// number for every reader.
int& CurrentBogieType();
// The entry of the bogie type in use; bogie type 1 when the mode state names
// none the table has room for (a damaged state file must not stop the line).
BogieType& CurrentBogie();

// The bogie type b and the spring type s of bogie type b as the loaded
// table holds them: null when the number lies outside the file's counts (or
// the table's room), as in a record of another line's table.
const BogieType* FindBogieType(int b);
const SpringType* FindSpringType(int b, int s);
// The bogie type and the spring type a stored measurement names, or nullptr
// when the loaded table holds no such entry (within its counts and its
// room). Such a record is not judged and the pages show it as not judged.
const BogieType* RecordBogieType(const MeasurementRecord& record);
const SpringType* RecordSpringType(const MeasurementRecord& record);

// Reads the bogie/spring-type file into the table. Missing keys and values
// that do not parse take their defaults; a missing file gives one bogie type
// "-" with one spring type of defaults. Counts beyond the table's room are
// cut to it. Never fails; what went amiss is kept in SpringTypesLoadReport()
// and written to stderr.
void LoadSpringTypes();
// The same from a file given by its file-system path.
void LoadSpringTypesFrom(const QString& mappedPath);
QString SpringTypesLoadReport();
// The spring types of the table that the file gives no norms for, one line
// each ("т.18-100 Внутренняя: нет раздела [Spring2]"); empty when every type
// listed has them.
QStringList SpringTypesWithoutNorms();

// Tests: an all-zero table and no report (the bogie type in use belongs to
// the database module's reset).
void ResetSpringTypesModule();

// The spring type of a bogie type that the key picks: the lowest index whose
// choice key equals the key, 0 when none does.
int SpringTypeForKey(const BogieType& bogie, int key);
// Whether any spring type of the bogie type can be picked on the key panel.
bool HasChoosableSpringType(const BogieType& bogie);

// The accelerated-mode wrapper around the measurement and archive pages:
// when [Global] ukz_enable and the accelerated mode are both on, only the
// free height (parameter 2) is shown and judged and Zam19 is on while
// innerPage runs; afterwards the whole table and Zam19 are put back exactly
// as they were, dropping any change made meanwhile. Otherwise innerPage runs
// unchanged.
void RunAcceleratedModeWrapper(bool acceleratedMode, const std::function<void()>& innerPage);
