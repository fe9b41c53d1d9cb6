#include "installtexts.h"

#include <QDate>
#include <QtEndian>
#include <cmath>

#include "DALNOMER/calibrate.h"
#include "DALNOMER/calibration.h"
#include "config/settings.h"
#include "platform/inifile.h"

QString SetupIniText() {
  plat::IniFile ini = plat::IniFile::FromText(DefaultSetupIniText());
  ini.WriteString("Params", "ChassieIniFilename", kChassieFileName);
  return ini.Text();
}

// ---------------------------------------------------------------------------
// Bogie and spring-type norms

namespace {

struct TParamNorm {
  double max, min, midl;
  int t;  // spread of the demonstration values: Midl .. Midl + t
};

struct TSpringNorm {
  int section;  // [Spring<section>]
  int tip;
  QString name, altName;
  int keyMini;
  int adc3, adc1;  // strong and weak pressure set-points, ADC units
  double odf;
  int prValue;     // test load shown beside the load chart
  TParamNorm p[6];
};

// Printed and shown names of parameters 1..6, in the order the measurement
// fills them: diameter, free height, non-perpendicularity, coil gap, set
// after the first load, deflection under the second load.
const char* const kParamNames[6] = {
    "Наружный диаметр, мм",      "Высота свободная, мм",       "Неперпендикулярность, мм",
    "Зазор между витками, мм",   "Остаточная деформация, мм",  "Прогиб под нагрузкой, мм",
};

// Free heights: every spring judged good must fall into a height group, so
// the limits widened by the tolerance E stay inside 245.9 .. 255.1 mm
// (bogie type 2: ten millimetres higher, grouped on H - 10).
constexpr double kTolerance = 0.1;

// The diameters are what the line reports after the spring-type choice by
// diameter: the wedge spring of bogie type 1 and the outer spring of bogie
// type 2 are reported reduced (by 60 and 56 mm), which is why their norms sit
// near 138 and 144 mm.
const TSpringNorm kSprings[] = {
    {1, 1, "Пружина внутренняя", "Внутренняя", 3, 14000, 7500, 0.5, 1300,
     {{139.0, 133.0, 135.0, 2}, {255.0, 246.0, 246.5, 8}, {5.0, 0.0, 0.8, 3},
      {16.0, 10.0, 11.5, 3}, {2.0, 0.0, 0.0, 0}, {54.0, 44.0, 46.0, 6}}},
    {2, 2, "Пружина наружная", "Наружная", 5, 26000, 14000, 0.5, 2650,
     {{204.0, 196.0, 199.0, 2}, {255.0, 246.0, 246.5, 8}, {5.0, 0.0, 0.8, 3},
      {22.0, 15.0, 16.5, 4}, {2.0, 0.0, 0.0, 0}, {54.0, 44.0, 46.0, 6}}},
    {3, 3, "Пружина подклиновая", "Подклиновая", 7, 18000, 9500, 0.5, 1600,
     {{140.0, 136.0, 137.5, 1}, {255.0, 246.0, 246.5, 8}, {5.0, 0.0, 0.8, 3},
      {20.0, 13.0, 14.5, 4}, {2.0, 0.0, 0.0, 0}, {48.0, 38.0, 40.0, 6}}},
    {4, 1, "Пружина внутренняя", "Внутренняя", 3, 16000, 8500, 0.5, 1500,
     {{139.0, 133.0, 135.0, 2}, {265.0, 256.0, 256.5, 8}, {5.0, 0.0, 0.8, 3},
      {17.0, 11.0, 12.5, 3}, {2.0, 0.0, 0.0, 0}, {58.0, 48.0, 50.0, 6}}},
    {5, 2, "Пружина наружная", "Наружная", 5, 30000, 16000, 0.5, 3050,
     {{146.5, 142.5, 144.1, 1}, {265.0, 256.0, 256.5, 8}, {5.0, 0.0, 0.8, 3},
      {23.0, 16.0, 17.5, 4}, {2.0, 0.0, 0.0, 0}, {58.0, 48.0, 50.0, 6}}},
};

QString Real(double v) {
  QString s = plat::FormatFloat(v);
  if (!s.contains('.') && !s.contains('e')) s += ".0";
  return s;
}

}  // namespace

QStringList ChassieIniLines() {
  QStringList l;
  l << "; Типы тележек и типы пружин с нормами параметров."
    << "; Тележка 1 использует секции [Spring1]..[Spring3], тележка 2 - [Spring4] и [Spring5]:"
    << "; так их показывает и сохраняет редактор параметров."
    << "; Параметры: 1 - диаметр, 2 - высота в свободном состоянии, 3 - неперпендикулярность,"
    << "; 4 - зазор между витками, 5 - остаточная деформация, 6 - прогиб под нагрузкой."
    << "; Годная пружина: Min - E < значение < Max + E. Поправки: значение * Mul + Add."
    << "; Adc3 и Adc1 - уставки сильного и слабого давления (единицы АЦП)."
    << "; Выбор типа пружины по диаметру: для этих норм в setup.ini, раздел [Mathem],"
    << "; подходят пороги k13 168, k14 215, k15 225, k16 168 (мм)."
    << ""
    << "[Global]"
    << "MaxChNum=2"
    << ""
    << "[Chassie1]"
    << "Name=18-100"
    << "ManualSet=0"
    << "MaxSprings=3"
    << "Spring1=1"
    << "Spring2=2"
    << "Spring3=3"
    << ""
    << "[Chassie2]"
    << "Name=18-578"
    << "ManualSet=0"
    << "MaxSprings=2"
    << "Spring1=4"
    << "Spring2=5";
  for (const TSpringNorm& s : kSprings) {
    l << "" << QString("[Spring%1]").arg(s.section);
    l << QString("Tip=%1").arg(s.tip) << "Name=" + s.name << "AltName=" + s.altName
      << QString("KeyMini=%1").arg(s.keyMini) << "E=" + Real(kTolerance)
      << QString("Adc3=%1").arg(s.adc3) << QString("Adc1=%1").arg(s.adc1)
      << "Odf=" + Real(s.odf) << "Line=0"
      << "ScanLine=0"
      << "LineValue=0"
      << "Gst=0"
      << "Gpt=0"
      << "Nparam=6" << QString("PrValue=%1").arg(s.prValue)
      // Quoted so that the blank between the load and its unit survives.
      << "PrEd=\" кгс\""
      << "PrVisible=1"
      << "prm=0";
    for (int p = 1; p <= 6; ++p) {
      const TParamNorm& n = s.p[p - 1];
      const QString P = QString("P%1").arg(p);
      l << P + "Name=" + QString::fromUtf8(kParamNames[p - 1]) << P + "Show=1" << P + "Analiz=1"
        << P + "Max=" + Real(n.max) << P + "Min=" + Real(n.min) << P + "e=0"
        << P + "Midl=" + Real(n.midl) << P + QString("t=%1").arg(n.t) << P + "Mul=1.0"
        << P + "Add=0.0";
    }
  }
  return l;
}

// ---------------------------------------------------------------------------
// Calibration tables (the distances are DALNOMER's InstalledCalibrationDistance)

QStringList CalibrationTableLines(int camera) {
  QStringList l;
  l.reserve(2048);
  for (int i = 0; i < 2048; ++i) l << QString::number(InstalledCalibrationDistance(camera, i), 'f', 3);
  return l;
}

// ---------------------------------------------------------------------------
// Calibration cylinder

QStringList CalibrateLines() {
  // The reference cylinder of the line is 250 mm high; no correction yet.
  return {FormatCalibrateReal(250.0), FormatCalibrateReal(0.0)};
}

// ---------------------------------------------------------------------------
// Error page texts. Drawn in a monospaced 16-point font from x = 340 to the
// right edge, 18 pixels apart above the error code: at most 50 characters a
// line and 7 lines.

const std::vector<TErrorText>& ErrorTexts() {
  static const std::vector<TErrorText> texts = {
      {1,
       {"Не удается открыть порт центрального контроллера.",
        "Проверьте:", "- имя порта в setup.ini, раздел [Hard], ключ Com;",
        "- подключен ли кабель связи к компьютеру;",
        "- не занят ли порт другой программой."}},
      {2,
       {"Нет связи с центральным контроллером",
        "и со всеми четырьмя камерами.", "Проверьте:",
        "- включено ли питание шкафа управления линией;",
        "- кабель связи между компьютером и шкафом;",
        "- автоматические выключатели в шкафу."}},
      {3,
       {"Центральный контроллер не отвечает,",
        "камеры отвечают нормально.", "Проверьте:",
        "- питание и предохранитель контроллера;",
        "- разъем линии связи на контроллере."}},
      {4,
       {"Камера №1 не отвечает.", "Проверьте:", "- питание камеры №1;",
        "- кабель связи камеры №1 и его разъемы;",
        "- не сбит ли переключатель адреса камеры."}},
      {6,
       {"Камера №3 не отвечает.", "Проверьте:", "- питание камеры №3;",
        "- кабель связи камеры №3 и его разъемы;",
        "- не сбит ли переключатель адреса камеры."}},
      {7,
       {"Камера №4 не отвечает.", "Проверьте:", "- питание камеры №4;",
        "- кабель связи камеры №4 и его разъемы;",
        "- не сбит ли переключатель адреса камеры."}},
      {8,
       {"Не отвечают несколько устройств линии",
        "(контроллер и камеры в разных сочетаниях).", "Проверьте:",
        "- питание шкафа управления и камер;",
        "- общий кабель линии связи и его разъемы;",
        "- не поврежден ли кабель у подвижных частей."}},
      {9,
       {"Линия не прошла инициализацию:",
        "пресс не вышел в исходное положение.", "Проверьте:",
        "- включена ли гидростанция и есть ли давление;",
        "- уровень масла в баке гидростанции;",
        "- отпущена ли кнопка аварийной остановки;",
        "- датчики крайних положений пресса."}},
      {11,
       {"Не выполнена первая ступень нагружения:",
        "пресс не набрал заданное усилие.", "Проверьте:",
        "- давление и уровень масла гидростанции;",
        "- правильно ли установлена пружина на стол;",
        "- датчик усилия и его кабель."}},
      {12,
       {"Не выполнена вторая ступень нагружения:",
        "пресс не набрал заданное усилие.", "Проверьте:",
        "- давление и уровень масла гидростанции;",
        "- не сместилась ли пружина при нагружении;",
        "- датчик усилия и его кабель."}},
      {13,
       {"Неверный профиль пружины с камеры №1:",
        "число точек вне допустимых пределов.", "Проверьте:",
        "- чистоту защитного стекла камеры №1;",
        "- подсветку напротив камеры №1;",
        "- установлена ли пружина по центру стола."}},
      {14,
       {"Неверный профиль пружины с камеры №2:",
        "число точек вне допустимых пределов.", "Проверьте:",
        "- чистоту защитного стекла камеры №2;",
        "- подсветку напротив камеры №2;",
        "- установлена ли пружина по центру стола."}},
      {15,
       {"Неверный профиль пружины с камеры №3:",
        "число точек вне допустимых пределов.", "Проверьте:",
        "- чистоту защитного стекла камеры №3;",
        "- подсветку напротив камеры №3;",
        "- установлена ли пружина по центру стола."}},
      {16,
       {"Неверный профиль пружины с камеры №4:",
        "число точек вне допустимых пределов.", "Проверьте:",
        "- чистоту защитного стекла камеры №4;",
        "- подсветку напротив камеры №4;",
        "- установлена ли пружина по центру стола."}},
      {17,
       {"Не выполнен сброс датчика перемещения (ЛИР):",
        "контроллер не ответил, замер не сохранен.", "Проверьте:",
        "- питание и кабель датчика ЛИР;",
        "- линию связи с центральным контроллером."}},
      {18,
       {"Не прочитано перемещение пресса (ЛИР):",
        "контроллер не ответил, замер не сохранен.", "Проверьте:",
        "- датчик ЛИР и его кабель;",
        "- линию связи с центральным контроллером."}},
      {19,
       {"Пресс не поднялся с пружины:",
        "контроллер не ответил, замер не сохранен.", "Проверьте:",
        "- давление и уровень масла гидростанции;",
        "- реле подъема пресса;",
        "- линию связи с центральным контроллером."}},
      {20,
       {"Не прочитано положение пресса (высота",
        "пружины): замер не сохранен.", "Проверьте:",
        "- датчик положения пресса и его кабель;",
        "- линию связи с центральным контроллером."}},
      {21,
       {"Контроллер не выполнил сканирование",
        "(команда 0x0C): замер не сохранен.", "Проверьте:",
        "- центральный контроллер и его питание;",
        "- линию связи с центральным контроллером."}},
  };
  return texts;
}

// The printed names stand in "Courier" before the value column of a report,
// which leaves room for about 30 characters.
QStringList ParameterNameLines() {
  QStringList l{"Параметры пружины"};
  l << "Наружный диаметр пружины, мм"
    << "Высота в свободном сост., мм"
    << "Неперпендикулярность торцов, мм"
    << "Зазор между витками, мм"
    << "Остаточная деформация, мм"
    << "Прогиб под нагрузкой, мм";
  return l;
}

QByteArray VerificationDateRecord(double days) {
  QByteArray b(8, '\0');
  qToLittleEndian<double>(days, b.data());
  return b;
}
