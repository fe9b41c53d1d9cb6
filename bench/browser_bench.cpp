// Speed of the database browser over a database of a million measurements:
// the date-range search and one redraw of the page (list, sheet and scroll
// bar) at the first, a middle and the last position, with and without the
// record filter. The database lives on the RAM disk, as the line's PC keeps
// it in its file cache. The search, which reads the whole base.bin, stands
// beside `cat` of the file (goal: 1.5 times).

#include <benchmark/benchmark.h>

#include "benchmain.h"
#include "plaintool.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include "config/settings.h"
#include "database/database.h"
#include "pages/browser.h"
#include "pages/pages.h"
#include "platform/cp1251.h"
#include "platform/paths.h"
#include "screen/screen.h"
#include "springs/springtypes.h"

namespace {

constexpr int kBig = 1000000;

const char* kBogieFile =
    "[Global]\r\nMaxChNum=1\r\n"
    "[Chassie1]\r\nName=18-100\r\nMaxSprings=1\r\nSpring1=1\r\n"
    "[Spring1]\r\nAltName=Наружная\r\nE=0.1\r\nNparam=6\r\n"
    "P1Name=Наружный диаметр\r\nP1Max=204\r\nP1Min=196\r\n"
    "P2Name=Высота свободная\r\nP2Max=255\r\nP2Min=246\r\n"
    "P3Name=Неперпендикулярность\r\nP3Max=5\r\nP3Min=0\r\n"
    "P4Name=Зазор\r\nP4Max=22\r\nP4Min=15\r\n"
    "P5Name=Деформация\r\nP5Max=2\r\nP5Min=0\r\n"
    "P6Name=Прогиб\r\nP6Max=54\r\nP6Min=44\r\n";

// Two thousand measurements a day from 1 January 2009, so that the million
// spans 500 days.
QByteArray Records(int first, int count) {
  QByteArray out;
  out.reserve(qsizetype(count) * kMeasurementRecordSize);
  MeasurementRecord r;
  r.BogieType = 1;
  r.SpringType = 1;
  const float values[7] = {0, 200, 250, 2, 18, 1, 50};
  for (int p = 1; p <= 6; ++p) r.Param[p].Value = values[p];
  for (int k = first; k < first + count; ++k) {
    const QDate day = QDate(2009, 1, 1).addDays(k / 2000);
    r.Identifier = QStringLiteral("%1-%2").arg(k % 2000 + 1, 4, 10, QLatin1Char('0'))
                       .arg(day.toString("ddMMyyyy"));
    out += EncodeMeasurementRecord(r);
  }
  return out;
}

struct BigDatabase {
  QTemporaryDir dir{"/dev/shm/kalvor-browser-XXXXXX"};
  BigDatabase() {
    QDir(dir.path()).mkpath("Report");
    QDir(dir.path()).mkpath("Config");
    QFile bogies(dir.filePath("chassie.ini"));
    bogies.open(QIODevice::WriteOnly);
    bogies.write(plat::ToCp1251(kBogieFile));
    bogies.close();
    QFile out(dir.filePath("Report/base.bin"));
    out.open(QIODevice::WriteOnly);
    for (int k = 0; k < kBig; k += 10000) out.write(Records(k, 10000));
  }
};

BigDatabase& UseBigDatabase() {
  // Kept for the whole run and removed at its end.
  static BigDatabase db;
  plat::SetHome(db.dir.path());
  ResetSettingsModule();
  Settings.Params.ChassieIniFilename = "chassie.ini";
  ResetSpringTypesModule();
  LoadSpringTypes();
  ResetDatabaseModule();
  InitDatabaseModule();
  ResetScreenModule();
  return db;
}

// March 2009: 31 days of 2000 measurements.
void BM_DateRangeSearch(benchmark::State& state) {
  BigDatabase& db = UseBigDatabase();
  std::vector<int> positions;
  bench::Timing timing;
  for (auto _ : state) {
    if (!MeasurementsInDateRange(QDate(2009, 3, 1), QDate(2009, 3, 31), positions))
      state.SkipWithError(qPrintable(DatabaseError()));
    if (positions.size() != 31 * 2000) state.SkipWithError("wrong range");
  }
  timing.Stop();
  bench::PlainToolCounters(state, "cat", bench::Cat(db.dir.filePath("Report/base.bin")), timing, 1.5);
  state.SetItemsProcessed(state.iterations() * kBig);
}
BENCHMARK(BM_DateRangeSearch)->Unit(benchmark::kMillisecond)->Iterations(3);

// Arguments: position 0 first, 1 middle, 2 last; filter 0 off, 1 on (the
// March range).
void BM_BrowserRedraw(benchmark::State& state) {
  UseBigDatabase();
  if (state.range(1)) {
    std::vector<int> positions;
    MeasurementsInDateRange(QDate(2009, 3, 1), QDate(2009, 3, 31), positions);
    SetRecordFilter(std::move(positions));
  }
  DrawPageTitle(2);
  Browser = TBrowserView{};
  Browser.count = MeasurementCount();
  const int at[3] = {0, Browser.count / 2, Browser.count - 1};
  for (auto _ : state) {
    // Nothing is cached: every redraw reads its fifteen records anew.
    Browser.current = at[state.range(0)];
    RedrawBrowser();
  }
  state.counters["count"] = Browser.count;
  RecordFilterOff();
}
BENCHMARK(BM_BrowserRedraw)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->ArgNames({"pos", "filter"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

KALVOR_BENCHMARK_MAIN()
