#include "springs/springtypes.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <cstdio>

#include "config/settings.h"
#include "database/database.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "quality/limits.h"

TSpringTypesState SpringTypesState;

namespace {

QString Text(const plat::IniFile& ini, const QString& section, const QString& key) {
  return ini.ReadString(section, key, "-").left(kMaxSpringText);
}

// A count from the file, held within the room of the table; a cut is noted.
int32_t Count(const plat::IniFile& ini, const QString& section, const QString& key, int def,
              int room, const QString& what, QStringList& report) {
  const int value = ini.ReadInteger(section, key, def);
  if (value > room) {
    report << QString("[%1] %2=%3: %4 не более %5, прочитаны первые %5")
                  .arg(section, key)
                  .arg(value)
                  .arg(what)
                  .arg(room);
    return room;
  }
  if (value < 0) {
    report << QString("[%1] %2=%3: отрицательное число, принято 0").arg(section, key).arg(value);
    return 0;
  }
  return value;
}

void ReadParameter(const plat::IniFile& ini, const QString& section, int p, SpringParameter& P) {
  const QString k = QString("P%1").arg(p);
  P.Name = Text(ini, section, k + "Name");
  P.Show = ini.ReadBool(section, k + "Show", false);
  P.Analiz = ini.ReadBool(section, k + "Analiz", false);
  P.Max = ini.ReadFloat(section, k + "Max", quality::kNoUpperLimit);
  P.Min = ini.ReadFloat(section, k + "Min", quality::kNoLowerLimit);
  P.e = ini.ReadBool(section, k + "e", false);
  P.Midl = ini.ReadFloat(section, k + "Midl", 0);
  P.t = ini.ReadInteger(section, k + "t", 0);
  P.Mul = ini.ReadFloat(section, k + "Mul", 1);
  P.Add = ini.ReadFloat(section, k + "Add", 0);
}

// A limit key the file leaves out is no limit (Max 1000, Min -1000); a type
// whose section, parameters or limits are all missing has no norms at all,
// and zero limits of the parameters beyond Nparam would reject every spring.
QString MissingNorms(const plat::IniFile& ini, const QString& section, int nparam) {
  if (!ini.HasSection(section)) return QString("нет раздела [%1]").arg(section);
  if (nparam < kJudgedParameters)
    return QString("[%1] Nparam=%2: нет параметров %3..%4")
        .arg(section)
        .arg(nparam)
        .arg(nparam + 1)
        .arg(kJudgedParameters);
  for (int p = 1; p <= kJudgedParameters; ++p)
    if (ini.HasKey(section, QString("P%1Max").arg(p)) || ini.HasKey(section, QString("P%1Min").arg(p)))
      return QString();
  return QString("в [%1] нет ни одного P<n>Max и P<n>Min").arg(section);
}

void ReadSpringType(const plat::IniFile& ini, const QString& section, SpringType& S,
                    QStringList& report) {
  S.Tip = ini.ReadInteger(section, "Tip", 1);
  S.Name = Text(ini, section, "Name");
  S.AltName = Text(ini, section, "AltName");
  S.KeyMini = static_cast<uint8_t>(ini.ReadInteger(section, "KeyMini", 1));
  S.E = ini.ReadFloat(section, "E", 0.1);
  S.Adc3 = ini.ReadInteger(section, "Adc3", 0);
  S.Adc1 = ini.ReadInteger(section, "Adc1", 0);
  S.Odf = ini.ReadFloat(section, "Odf", 10.0);
  S.Line = ini.ReadInteger(section, "Line", 0);
  S.ScanLine = ini.ReadInteger(section, "ScanLine", 0);
  S.LineValue = ini.ReadInteger(section, "LineValue", 0);
  S.Gst = static_cast<uint8_t>(ini.ReadInteger(section, "Gst", 0));
  S.Gpt = static_cast<uint8_t>(ini.ReadInteger(section, "Gpt", 0));
  S.Nparam = Count(ini, section, "Nparam", 0, kMaxParameters, "параметров", report);
  S.PrValue = ini.ReadInteger(section, "PrValue", 0);
  S.PrEd = Text(ini, section, "PrEd");
  S.PrVisible = ini.ReadBool(section, "PrVisible", false);
  S.prm = ini.ReadInteger(section, "prm", 0);
  for (int p = 1; p <= S.Nparam; ++p) ReadParameter(ini, section, p, S.parameters[p]);
  S.MissingNorms = MissingNorms(ini, section, S.Nparam);
}

void ReadTable(const plat::IniFile& ini, TSpringTypeTable& table, QStringList& report) {
  table.MaxChNum = Count(ini, "Global", "MaxChNum", 1, kMaxBogieTypes, "типов тележек", report);
  for (int b = 1; b <= table.MaxChNum; ++b) {
    BogieType& B = table[b];
    const QString chassie = QString("Chassie%1").arg(b);
    B.Name = Text(ini, chassie, "Name");
    B.ManualSet = ini.ReadBool(chassie, "ManualSet", false);
    B.MaxSprings = Count(ini, chassie, "MaxSprings", 1, kMaxSpringTypes, "типов пружин", report);
    for (int s = 1; s <= B.MaxSprings; ++s) {
      const int n = ini.ReadInteger(chassie, QString("Spring%1").arg(s), 1);
      ReadSpringType(ini, QString("Spring%1").arg(n), B.springTypes[s], report);
    }
  }
}

}  // namespace

void LoadSpringTypesFrom(const QString& mappedPath) {
  // Reals of the file use "." whatever the desktop's locale says.
  QLocale::setDefault(QLocale::c());
  QStringList report;
  bool existed = false;
  const plat::IniFile ini = plat::IniFile::Load(mappedPath, &existed);
  if (!existed) {
    const QFileInfo info(mappedPath);
    report << (info.exists() ? QString("Файл типов тележек и пружин не читается: %1")
                             : QString("Нет файла типов тележек и пружин: %1"))
                      .arg(QDir::toNativeSeparators(mappedPath)) +
                  " - приняты значения по умолчанию";
  }
  ReadTable(ini, SpringTypeTable(), report);
  SpringTypesState.loadReport = report.join('\n');
  for (const QString& line : report) std::fprintf(stderr, "kalvor: %s\n", qUtf8Printable(line));
}

void LoadSpringTypes() {
  LoadSpringTypesFrom(plat::MapProgramPath(Settings.Params.ChassieIniFilename));
}

int& CurrentBogieType() {
  return Database.ModeState.BogieType;
}

BogieType& CurrentBogie() {
  const int b = CurrentBogieType();
  return SpringTypeTable()[b >= 1 && b <= kMaxBogieTypes ? b : 1];
}

const BogieType* RecordBogieType(const MeasurementRecord& record) {
  return FindBogieType(record.BogieType);
}

const SpringType* RecordSpringType(const MeasurementRecord& record) {
  return FindSpringType(record.BogieType, record.SpringType);
}

QString SpringTypesLoadReport() {
  return SpringTypesState.loadReport;
}

QStringList SpringTypesWithoutNorms() {
  QStringList lines;
  const TSpringTypeTable& table = SpringTypeTable();
  for (int b = 1; b <= std::min<int>(table.MaxChNum, kMaxBogieTypes); ++b) {
    const BogieType& B = table[b];
    for (int s = 1; s <= std::min<int>(B.MaxSprings, kMaxSpringTypes); ++s)
      if (const SpringType& S = B.springTypes[s]; !S.MissingNorms.isEmpty())
        lines << QString("т.%1 %2: %3").arg(B.Name, S.AltName, S.MissingNorms);
  }
  return lines;
}

void ResetSpringTypesModule() {
  SpringTypesState = TSpringTypesState();
}

int SpringTypeForKey(const BogieType& bogie, int key) {
  const int count = std::min<int>(bogie.MaxSprings, kMaxSpringTypes);
  for (int s = 1; s <= count; ++s)
    if (bogie.springTypes[s].KeyMini == key) return s;
  return 0;
}

bool HasChoosableSpringType(const BogieType& bogie) {
  const int count = std::min<int>(bogie.MaxSprings, kMaxSpringTypes);
  for (int s = 1; s <= count; ++s) {
    const int key = bogie.springTypes[s].KeyMini;
    if (key >= 1 && key <= 13) return true;
  }
  return false;
}

namespace {

// Puts the table and Zam19 back however the inner page is left.
class AcceleratedModeRestorer {
 public:
  AcceleratedModeRestorer() : SpringTypeBackup{SpringTypeTable(), Settings.Global.Zam19} {}
  ~AcceleratedModeRestorer() {
    SpringTypeTable() = SpringTypeBackup.table;
    Settings.Global.Zam19 = SpringTypeBackup.Zam19;
  }
  AcceleratedModeRestorer(const AcceleratedModeRestorer&) = delete;
  AcceleratedModeRestorer& operator=(const AcceleratedModeRestorer&) = delete;

 private:
  struct TSpringTypeBackup {
    TSpringTypeTable table;
    bool Zam19;
  } SpringTypeBackup;
};

}  // namespace

void RunAcceleratedModeWrapper(bool acceleratedMode, const std::function<void()>& innerPage) {
  if (!(Settings.Global.ukz_enable && acceleratedMode)) {
    innerPage();
    return;
  }
  // The copy lives with this call, so a wrapper entered again from inside the
  // inner page cannot overwrite the outer one's copy.
  const AcceleratedModeRestorer restorer;
  Settings.Global.Zam19 = true;
  TSpringTypeTable& table = SpringTypeTable();
  const int bogies = std::min<int>(table.MaxChNum, kMaxBogieTypes);
  for (int b = 1; b <= bogies; ++b) {
    BogieType& B = table[b];
    const int springs = std::min<int>(B.MaxSprings, kMaxSpringTypes);
    for (int s = 1; s <= springs; ++s) {
      SpringType& S = B.springTypes[s];
      const int params = std::min<int>(S.Nparam, kMaxParameters);
      for (int p = 1; p <= params; ++p) {
        S.parameters[p].Show = p == 2;
        S.parameters[p].Analiz = p == 2;
      }
    }
  }
  innerPage();
}

const BogieType* FindBogieType(int b) {
  const TSpringTypeTable& table = SpringTypeTable();
  if (b < 1 || b > std::min<int>(table.MaxChNum, kMaxBogieTypes)) return nullptr;
  return &table[b];
}

const SpringType* FindSpringType(int b, int s) {
  const BogieType* bogie = FindBogieType(b);
  if (!bogie || s < 1 || s > std::min<int>(bogie->MaxSprings, kMaxSpringTypes)) return nullptr;
  return &bogie->springTypes[s];
}
