// Speed of the database files: the shift change of a full day's shift and
// the walk through a large measurement database, whose block reads stand
// beside `cat` of the file (goal: 1.5 times).

#include <benchmark/benchmark.h>

#include "benchmain.h"
#include "plaintool.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "database/database.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/textfile.h"

namespace {

QByteArray Records(int first, int count) {
  QByteArray out;
  out.reserve(qsizetype(count) * kMeasurementRecordSize);
  MeasurementRecord r;
  r.Date = 39877.5;
  for (int k = first; k < first + count; ++k) {
    r.Identifier = QStringLiteral("%1-05032009").arg(k % 10000, 4, 10, QLatin1Char('0'));
    r.Param[1].Value = static_cast<float>(k);
    out += EncodeMeasurementRecord(r);
  }
  return out;
}

// A scratch installation with the Report and Config folders.
struct Folder {
  QTemporaryDir dir;
  Folder() {
    QDir(dir.path()).mkpath("Report");
    QDir(dir.path()).mkpath("Config");
    plat::SetHome(dir.path());
    ResetDatabaseModule();
  }
  void Write(const QString& rel, const QByteArray& bytes) {
    QFile f(dir.filePath(rel));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
  }
};

void BM_ShiftChange(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Folder folder;
  const QByteArray shift = Records(1, n);
  plat::UseVirtualClock(QDateTime(QDate(2009, 3, 5), QTime(8, 0)));
  for (auto _ : state) {
    state.PauseTiming();
    folder.Write("Report/base.bin", QByteArray());
    folder.Write("Report/day.bin", shift);
    plat::WriteTextLines("Config\\now.txt", {"0", "0", "0", "1", "1", "4", "3", "?", "?"});
    ResetDatabaseModule();
    InitDatabaseModule();
    state.ResumeTiming();
    if (!CheckShiftChange()) state.SkipWithError(qPrintable(DatabaseError()));
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ShiftChange)->Arg(10000)->Unit(benchmark::kMillisecond);

// One database of a million measurements shared by the reading benchmarks.
Folder* BigDatabase() {
  static Folder* folder = [] {
    auto* f = new Folder;
    QFile out(f->dir.filePath("Report/base.bin"));
    out.open(QIODevice::WriteOnly);
    for (int k = 0; k < 100; ++k) out.write(Records(k * 10000 + 1, 10000));
    return f;
  }();
  plat::SetHome(folder->dir.path());
  ResetDatabaseModule();
  InitDatabaseModule();  // binds the files as the program's start-up does
  return folder;
}

constexpr int kBig = 1000000;

void BM_MeasurementCount(benchmark::State& state) {
  BigDatabase();
  for (auto _ : state) {
    const int n = MeasurementCount();
    if (n != kBig) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_MeasurementCount)->Unit(benchmark::kMicrosecond);

// Record by record, each read opening the file, as the pages read.
void BM_ReadEveryMeasurement(benchmark::State& state) {
  BigDatabase();
  for (auto _ : state) {
    const int n = MeasurementCount();
    MeasurementRecord r;
    double sum = 0;
    for (int i = 0; i < n; ++i) {
      if (!ReadMeasurement(i, r)) {
        state.SkipWithError(qPrintable(DatabaseError()));
        break;
      }
      sum += r.Param[1].Value;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kBig);
}
BENCHMARK(BM_ReadEveryMeasurement)->Unit(benchmark::kMillisecond)->Iterations(2);

// In blocks of 10 000 records, as the statistics may read.
void BM_ReadMeasurementRanges(benchmark::State& state) {
  Folder* folder = BigDatabase();
  bench::Timing timing;
  for (auto _ : state) {
    const int n = MeasurementCount();
    std::vector<MeasurementRecord> block;
    double sum = 0;
    for (int first = 0; first < n; first += 10000) {
      if (!ReadMeasurementRange(first, std::min(10000, n - first), block)) {
        state.SkipWithError(qPrintable(DatabaseError()));
        break;
      }
      for (const MeasurementRecord& r : block) sum += r.Param[1].Value;
    }
    benchmark::DoNotOptimize(sum);
  }
  timing.Stop();
  bench::PlainToolCounters(state, "cat", bench::Cat(folder->dir.filePath("Report/base.bin")), timing, 1.5);
  state.SetItemsProcessed(state.iterations() * kBig);
}
BENCHMARK(BM_ReadMeasurementRanges)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same blocks undecoded, as the scans of one field read them.
void BM_ReadMeasurementBytes(benchmark::State& state) {
  Folder* folder = BigDatabase();
  bench::Timing timing;
  for (auto _ : state) {
    const int n = MeasurementCount();
    QByteArray block;
    qint64 bytes = 0;
    for (int first = 0; first < n; first += 8192) {
      if (!ReadMeasurementBytes(first, std::min(8192, n - first), block)) {
        state.SkipWithError(qPrintable(DatabaseError()));
        break;
      }
      bytes += block.size();
    }
    if (bytes != qint64(kBig) * kMeasurementRecordSize) state.SkipWithError("short read");
  }
  timing.Stop();
  bench::PlainToolCounters(state, "cat", bench::Cat(folder->dir.filePath("Report/base.bin")), timing, 1.5);
}
BENCHMARK(BM_ReadMeasurementBytes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

KALVOR_BENCHMARK_MAIN()
