#include "springs/defaultfile.h"

#include <QStringList>

#include "platform/inifile.h"

namespace {

struct Norm {
  const char* name;
  bool show;
  bool analiz;
  double min;
  double max;
  double midl;
  int t;
};

struct Type {
  int section;
  const char* name;
  const char* altName;
  int key;
  int adc3;
  int adc1;
  double diameter;  // nominal coil diameter, mm
  double height;    // nominal free height, mm
};

// The six parameters in their fixed order: coil diameter, free height,
// non-perpendicularity, then the three press readings.
QList<Norm> Norms(const Type& t) {
  return {
      {"Диаметр", true, true, t.diameter - 4, t.diameter + 4, t.diameter, 3},
      {"Высота", true, true, t.height - 4.5, t.height + 5, t.height, 3},
      {"Неперпендикулярность", true, true, 0, 4, 1.5, 10},
      {"Зазор витков", false, false, 0, 20, 8, 5},
      {"Прогиб", true, true, 0, 12, 6, 20},
      {"Усилие", true, true, 30, 60, 45, 50},
  };
}

QString Line(const QString& key, const QString& value) { return key + "=" + value + "\r\n"; }
QString Real(double v) { return plat::FormatFloat(v); }

}  // namespace

QString DefaultSpringTypesIniText() {
  const QList<Type> types = {
      {1, "Пружина наружная", "ПН-1", 1, 1200, 600, 192, 250},
      {2, "Пружина внутренняя", "ПВ-1", 3, 900, 450, 138, 250},
      {3, "Пружина внутренняя малая", "ПМ-1", 5, 700, 350, 137.9, 250},
      {4, "Пружина наружная", "ПН-2", 1, 1300, 650, 200, 240},
      {5, "Пружина внутренняя", "ПВ-2", 3, 950, 480, 144.5, 240},
  };
  QString out;
  out += "; Типы тележек и пружин: нормы и поправки параметров.\r\n";
  out += "; Параметры: 1 - диаметр витка, 2 - высота в свободном состоянии,\r\n";
  out += "; 3 - неперпендикулярность, 4..6 - показания пресса.\r\n";
  out += "\r\n[Global]\r\n" + Line("MaxChNum", "2");
  out += "\r\n[Chassie1]\r\n" + Line("Name", "Т-1") + Line("ManualSet", "0") +
         Line("MaxSprings", "3") + Line("Spring1", "1") + Line("Spring2", "2") +
         Line("Spring3", "3");
  out += "\r\n[Chassie2]\r\n" + Line("Name", "Т-2") + Line("ManualSet", "0") +
         Line("MaxSprings", "2") + Line("Spring1", "4") + Line("Spring2", "5");
  for (const Type& t : types) {
    out += QString("\r\n[Spring%1]\r\n").arg(t.section);
    out += Line("Tip", QString::number(t.section)) + Line("Name", t.name) +
           Line("AltName", t.altName) + Line("KeyMini", QString::number(t.key)) +
           Line("E", "0.1") + Line("Adc3", QString::number(t.adc3)) +
           Line("Adc1", QString::number(t.adc1)) + Line("Odf", "10.0") + Line("Line", "0") +
           Line("ScanLine", "0") + Line("LineValue", "0") + Line("Gst", "0") + Line("Gpt", "0");
    const QList<Norm> norms = Norms(t);
    out += Line("Nparam", QString::number(norms.size())) + Line("PrValue", "0") +
           Line("PrEd", "-") + Line("PrVisible", "0") + Line("prm", "0");
    for (int i = 0; i < norms.size(); ++i) {
      const Norm& n = norms[i];
      const QString p = QString("P%1").arg(i + 1);
      out += Line(p + "Name", n.name) + Line(p + "Show", n.show ? "1" : "0") +
             Line(p + "Analiz", n.analiz ? "1" : "0") + Line(p + "Max", Real(n.max)) +
             Line(p + "Min", Real(n.min)) + Line(p + "e", "0") + Line(p + "Midl", Real(n.midl)) +
             Line(p + "t", QString::number(n.t)) + Line(p + "Mul", "1") + Line(p + "Add", "0");
    }
  }
  return out;
}
