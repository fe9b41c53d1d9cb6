// The two automatic chains of the profile mathematics on four profiles of
// 1800 readings each (the most a profile holds), as the measurement runs
// them after every camera read-out: loading the camera files, the filters,
// the coil selection, the peaks, the geometry and the visualiser's redraws.

#include <benchmark/benchmark.h>

#include "benchmain.h"

#include <QApplication>
#include <QTemporaryDir>

#include "config/settings.h"
#include "mathem/coilgeometry.h"
#include "mathem/profiles.h"
#include "platform/paths.h"
#include "sim/springmodel.h"
#include "visualiser/visualiser.h"

namespace {

// A scratch working folder with the calibration tables and the camera files
// of a modelled spring scanned over 1800 readings.
struct Scan {
  QTemporaryDir dir;
  Scan() {
    plat::SetHome(dir.path());
    ResetSettingsModule();
    Settings.Hard.ProtectMaxZamer = kMaxReadings;
    for (int n = 1; n <= 4; ++n) {
      Settings.Mathem.gx[n] = 120;
      auto& k = Settings.K[n];
      k[1] = 0, k[2] = 2046, k[3] = k[4] = 0, k[5] = 1, k[6] = 1801;
      k[7] = k[8] = k[9] = k[10] = 3;
    }
    ResetProfileStore();
    ResetCoilResults();
    ResetVisualiser();
    ConnectVisualiser();  // the chains redraw as in the program
    SpringModel spring;
    spring.readings = kMaxReadings;
    spring.height = 540;
    spring.noiseSeed = 3;
    const ModelCalibration cal;
    WriteCalibrationTables(cal);
    WriteModelledScan(spring, LayoutFromSettings(), cal);
  }
};

Scan& TheScan() {
  static Scan scan;
  return scan;
}

void BM_LoadProfiles(benchmark::State& state) {
  TheScan();
  for (auto _ : state) LoadProfiles(0);
  state.counters["readings"] = ProfileStore.count[1];
}
BENCHMARK(BM_LoadProfiles)->Unit(benchmark::kMillisecond);

// "Открыть" then "Расчет Диаметра".
void BM_DiameterChain(benchmark::State& state) {
  TheScan();
  for (auto _ : state) {
    LoadProfiles(0);
    RedrawProfiles();
    ComputeDiameter();
  }
  state.counters["D"] = CoilResults.MeasuredDiameter;
}
BENCHMARK(BM_DiameterChain)->Unit(benchmark::kMillisecond);

// "Расчет неперп.": it loads the profiles twice and runs the diameter chain
// itself.
void BM_NonPerpendicularityChain(benchmark::State& state) {
  TheScan();
  for (auto _ : state) ComputeNonPerpendicularity();
  state.counters["np"] = CoilResults.MeasuredNonPerpendicularity;
}
BENCHMARK(BM_NonPerpendicularityChain)->Unit(benchmark::kMillisecond);

// The filters and the selection alone, without files or pictures.
void BM_FiltersOnly(benchmark::State& state) {
  TheScan();
  LoadProfiles(0);
  const TProfileStore loaded = ProfileStore;
  for (auto _ : state) {
    ProfileStore = loaded;
    CleanProfiles();
    SelectSecondCoil();
    CutTail();
    FindPeak();
    benchmark::DoNotOptimize(ProfileStore.window[1].peak);
  }
}
BENCHMARK(BM_FiltersOnly)->Unit(benchmark::kMicrosecond);

void BM_Redraw(benchmark::State& state) {
  TheScan();
  LoadProfiles(0);
  for (auto _ : state) RedrawProfiles();
}
BENCHMARK(BM_Redraw)->Unit(benchmark::kMicrosecond);

}  // namespace

KALVOR_BENCHMARK_MAIN()
