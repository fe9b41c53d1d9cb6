// Speed of the period statistics over a database of a million measurements
// (built once on the RAM disk /dev/shm when it exists):
//
// BM_PeriodStatistics counts the whole database as the browser's key 11
// does with no date range, BM_PeriodStatisticsFiltered every other record
// through the record filter, as after a date range; both with the page's
// progress callback every tenth record; the filtered walk reads the file as
// the browser reads its list. BM_PeriodStatisticsPage runs the
// whole page on the virtual clock (its waits cost no wall time; what is
// left is the program's own time: the counting, the bar and the table).
// BM_ShiftStatistics counts a full shift, rewriting Temp\norms.txt after
// every record. The counts of the whole database and of every other record
// stand beside `cat` of its base.bin (goal: 1.5 times).

#include <benchmark/benchmark.h>

#include "benchmain.h"
#include "plaintool.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "config/settings.h"
#include "database/database.h"
#include "measurement/statistics.h"
#include "pages/pages.h"
#include "platform/clock.h"
#include "platform/cp1251.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "screen/screen.h"
#include "springs/springtypes.h"

namespace {

constexpr int kBig = 1000000;

const char* kChassie =
    "[Global]\r\nMaxChNum=1\r\n"
    "[Chassie1]\r\nName=18-100\r\nMaxSprings=1\r\nSpring1=1\r\n"
    "[Spring1]\r\nE=0.5\r\nNparam=6\r\n"
    "P1Name=d\r\nP1Min=10\r\nP1Max=20\r\nP2Name=h\r\nP2Min=10\r\nP2Max=20\r\n"
    "P3Name=n\r\nP3Min=10\r\nP3Max=20\r\nP4Name=g\r\nP4Min=10\r\nP4Max=20\r\n"
    "P5Name=s\r\nP5Min=10\r\nP5Max=20\r\nP6Name=f\r\nP6Min=10\r\nP6Max=20\r\n";

struct BigBase {
  QTemporaryDir dir{QDir("/dev/shm").exists() ? "/dev/shm/kalvor-stats-XXXXXX"
                                              : QDir::tempPath() + "/kalvor-stats-XXXXXX"};
  BigBase() {
    for (const char* d : {"Report", "Temp", "texts", "Config", "BMP"}) QDir(dir.path()).mkpath(d);
    QFile ini(dir.filePath("chassie.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write(plat::ToCp1251(kChassie));
    ini.close();
    // Record k is bad in parameter k % 7 (none when 0).
    QFile out(dir.filePath("Report/base.bin"));
    out.open(QIODevice::WriteOnly);
    MeasurementRecord r;
    r.BogieType = 1;
    r.SpringType = 1;
    r.Date = 45000.5;
    for (int block = 0; block < 100; ++block) {
      QByteArray bytes;
      bytes.reserve(10000 * kMeasurementRecordSize);
      for (int k = block * 10000; k < (block + 1) * 10000; ++k) {
        r.Identifier = QStringLiteral("%1-05032024").arg(k % 10000, 4, 10, QLatin1Char('0'));
        for (int p = 1; p <= 6; ++p) r.Param[p].Value = p == k % 7 ? 30.0f : 15.0f;
        bytes += EncodeMeasurementRecord(r);
      }
      out.write(bytes);
    }
  }
};

BigBase& Base() {
  // Kept for the whole run and removed at its end: a million records on
  // the RAM disk.
  static BigBase base;
  plat::SetHome(base.dir.path());
  ResetSettingsModule();
  Settings.Params.ChassieIniFilename = "chassie.ini";
  Settings.Debug.KeyPressDelay = 0;
  ResetSpringTypesModule();
  LoadSpringTypes();
  ResetDatabaseModule();
  InitDatabaseModule();
  return base;
}

void Check(benchmark::State& state, bool ok, const StatisticsCounts& counts, int n,
           const QString& error) {
  // 1/7 of the records are good; each parameter is bad in 1/7 of them.
  if (!ok)
    state.SkipWithError(qPrintable(error));
  else if (counts.N != n || counts.InNorm[1] != n - (n + 5) / 7)
    state.SkipWithError("wrong counts");
}

void BM_PeriodStatistics(benchmark::State& state) {
  BigBase& base = Base();
  RecordFilterOff();
  int calls = 0;
  bench::Timing timing;
  for (auto _ : state) {
    StatisticsCounts counts;
    QString error;
    const bool ok = CountPeriodStatistics(MeasurementCount(), counts,
                                          [&](int, int) { ++calls; }, error);
    Check(state, ok, counts, kBig, error);
  }
  timing.Stop();
  bench::PlainToolCounters(state, "cat", bench::Cat(base.dir.filePath("Report/base.bin")), timing, 1.5);
  state.counters["progress_calls"] = calls / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * kBig);
}
BENCHMARK(BM_PeriodStatistics)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PeriodStatisticsFiltered(benchmark::State& state) {
  BigBase& base = Base();
  std::vector<int> every2nd;
  for (int k = 0; k < kBig; k += 2) every2nd.push_back(k);
  SetRecordFilter(every2nd);
  bench::Timing timing;
  for (auto _ : state) {
    StatisticsCounts counts;
    QString error;
    const bool ok = CountPeriodStatistics(MeasurementCount(), counts, [](int, int) {}, error);
    if (!ok) state.SkipWithError(qPrintable(error));
    else if (counts.N != kBig / 2) state.SkipWithError("wrong count");
  }
  RecordFilterOff();
  timing.Stop();
  bench::PlainToolCounters(state, "cat", bench::Cat(base.dir.filePath("Report/base.bin")), timing, 1.5);
  state.SetItemsProcessed(state.iterations() * kBig / 2);
}
BENCHMARK(BM_PeriodStatisticsFiltered)->Unit(benchmark::kMillisecond)->Iterations(3);

// A full shift of 9999 measurements: the counts file is rewritten after every
// record.
void BM_ShiftStatistics(benchmark::State& state) {
  BigBase& base = Base();
  constexpr int kShift = 9999;
  {
    QFile in(base.dir.filePath("Report/base.bin"));
    QFile out(base.dir.filePath("Report/day.bin"));
    in.open(QIODevice::ReadOnly);
    out.open(QIODevice::WriteOnly);
    out.write(in.read(qint64(kShift) * kMeasurementRecordSize));
  }
  for (auto _ : state) {
    StatisticsCounts counts;
    QString error;
    const bool ok = CountShiftStatistics(counts, [](int, int) {}, error);
    Check(state, ok, counts, kShift, error);
  }
  state.SetItemsProcessed(state.iterations() * kShift);
}
BENCHMARK(BM_ShiftStatistics)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PeriodStatisticsPage(benchmark::State& state) {
  Base();
  RecordFilterOff();
  plat::UseVirtualClock();
  ResetScreenModule();
  // Key 12 leaves the page as soon as it waits for it.
  plat::SetPumpHook([] {
    if (KeyEnabled(12) && ScreenState.keyBuffer.isEmpty()) KeyCharTyped('/');
  });
  for (auto _ : state) ShowPeriodStatistics(kBig);
  plat::SetPumpHook({});
  QFile counts(plat::MapPath(kPeriodCountsFile));
  if (!counts.open(QIODevice::ReadOnly) || !counts.readLine().startsWith("1000000"))
    state.SkipWithError("no counts file");
}
BENCHMARK(BM_PeriodStatisticsPage)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

KALVOR_BENCHMARK_MAIN()
