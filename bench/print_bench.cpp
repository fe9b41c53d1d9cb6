// The print sheet: the time to draw a full sheet of four measurement reports
// and write it out, as the picture file of Print_in_file (with its PDF copy)
// and as the PDF copy alone when no printer is there; and the peak resident
// memory of the process while doing so (counter peak_rss_mb, from
// getrusage: run one benchmark per process with --benchmark_filter to read
// the peak of that one).
#include <benchmark/benchmark.h>

#include "benchmain.h"
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include "config/settings.h"
#include "database/database.h"
#include "measurement/sequence.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "print/printsheet.h"
#include "screen/screen.h"
#include "springs/springtypes.h"

namespace {

double PeakRssMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;  // kB on Linux
}

// A working folder with what a sheet reads: the parameter names, the emblem
// and a bogie type with three spring types.
class PrintShop {
 public:
  PrintShop() {
    plat::UseVirtualClock();
    plat::SetHome(dir_.path());
    ResetSettingsModule();
    ResetDatabaseModule();
    ResetSpringTypesModule();
    ResetMeasurementModule();
    ResetScreenModule();
    ResetPrintSheet();
    for (const char* folder : {"Report", "Temp", "BMP", "texts", "Config"})
      QDir(dir_.path()).mkdir(folder);
    plat::WriteTextLines("texts\\pparam.txt",
                         {"Параметры", "Наружный диаметр, мм", "Высота, мм",
                          "Неперпендикулярность, мм", "Зазор, мм", "Деформация, мм",
                          "Прогиб, мм"});
    QImage emblem(360, 360, QImage::Format_RGB32);
    emblem.fill(Qt::white);
    QPainter p(&emblem);
    p.setBrush(Qt::darkBlue);
    p.drawEllipse(30, 30, 300, 300);
    p.end();
    emblem.save(plat::MapPath("BMP\\emblemp.bmp"), "BMP");
    auto& t = SpringTypeTable();
    t.MaxChNum = 1;
    t[1].Name = "18-100";
    t[1].MaxSprings = 3;
    for (int s = 1; s <= 3; ++s) {
      SpringType& T = t[1].springTypes[s];
      T.AltName = QString("Тип %1").arg(s);
      for (int p = 1; p <= 6; ++p) {
        T.parameters[p].Midl = 100;
        T.parameters[p].Mul = 1;
        T.parameters[p].Min = 50;
        T.parameters[p].Max = 150;
      }
    }
    CurrentBogieType() = 1;
    PrintSheet.ShowMessage = [](const QString&) {};
  }
  ~PrintShop() {
    ResetPrintSheet();
    ResetSpringTypesModule();
    ResetSettingsModule();
  }
  static void FullSheet() {
    for (int n = 1; n <= 4; ++n) {
      MeasurementRecord r = BuildSimulatedRecord(MeasurementIdentifier(n), 1 + n % 3);
      r.BogieType = 1;
      AddMeasurementReport(r);
    }
  }

 private:
  QTemporaryDir dir_;
};

void BM_FullSheetToPictureFile(benchmark::State& state) {
  PrintShop shop;
  Settings.Global.Print_in_file = true;
  for (auto _ : state) PrintShop::FullSheet();
  if (QImage(plat::MapPath("Temp\\printpage.bmp")).size() != QSize(kSheetWidth, kSheetHeight))
    state.SkipWithError("no picture file");
  state.counters["peak_rss_mb"] = PeakRssMb();
}
BENCHMARK(BM_FullSheetToPictureFile)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_FullSheetWithoutPrinter(benchmark::State& state) {
  qputenv("CUPS_SERVER", "/nonexistent/kalvor-cups.sock");
  PrintShop shop;
  for (auto _ : state) PrintShop::FullSheet();
  if (PrintSheet.LastArchivePath.isEmpty()) state.SkipWithError("no PDF copy");
  state.counters["peak_rss_mb"] = PeakRssMb();
}
BENCHMARK(BM_FullSheetWithoutPrinter)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

KALVOR_BENCHMARK_MAIN()
