// The engineers' data-out tool over a database of a million measurements:
// the CSV export and the capability report (numbers, PDF and pictures), each
// streamed. The counter growth_kb is the resident memory at the end of the
// run less that after the first 100 000 records: streaming keeps it near 0
// whatever the number of records. The export stands beside `dd` copying
// the file it wrote (the same bytes, in blocks of 1 MiB as the export
// writes them; goal: 1.5 times).

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>

#include "benchinstall.h"
#include "plaintool.h"
#include "springdata/lib/capability.h"
#include "springdata/lib/capabilityreport.h"
#include "springdata/lib/exportwriter.h"
#include "platform/textfile.h"
#include "springdata/lib/source.h"

using namespace springdata;

namespace {

constexpr int kRecords = 1000000;

long RssKb() {
  QFile f("/proc/self/status");
  if (!f.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
  return 0;
}

// An installation with a million measurements in base.bin, made once.
QString Home() {
  static QTemporaryDir dir;
  static bool made = false;
  if (!made) {
    made = true;
    bench::WriteInstallation(dir.path(), kRecords);
  }
  return dir.path();
}

void Open() {
  QString error;
  QStringList warnings;
  if (!OpenInstallation(Home(), error, warnings)) std::fprintf(stderr, "%s\n", qPrintable(error));
}

void BM_ExportMillionToCsv(benchmark::State& state) {
  Open();
  const QString out = QDir(Home()).filePath("export.csv");
  long at100k = 0, end = 0;
  qint64 written = 0;
  bench::Timing timing;
  for (auto _ : state) {
    // As the export command writes its --out file: whole, through a
    // temporary file renamed at the end; the commit leaves out the fsync
    // (the disk's time, which dd's figure does not hold either).
    plat::WholeFileWriter file(out);
    StreamReport report;
    QString error;
    bool ok = file.Open(&error);
    {
      Sink sink(&file);
      MeasurementWriter w(sink, Format::Csv);
      w.Header();
      ok = ok && StreamMeasurementBytes(BasePath(), RecordFilter{},
                                        [&](const char* record, const MeasurementRecord& values, qint64 pos) {
                                          w.Write(record, values, "base", pos);
                                          if (pos == 100000) at100k = RssKb();
                                        },
                                        report, error);
      ok = sink.Flush() && ok;
      if (!ok && error.isEmpty()) error = sink.Reason();
    }
    ok = ok && file.Commit(&error, false);
    if (!ok) state.SkipWithError(qPrintable(error));
    end = RssKb();
    written = report.accepted;
  }
  timing.Stop();
  bench::PlainToolCounters(state, "dd", bench::Dd(out), timing, 1.5);
  // The CPU time of both threads, the formatter's and the writer's (the
  // benchmark's own CPU column holds the formatter's alone).
  state.counters["cpu_ms"] = timing.CpuSeconds(state) * 1000;
  state.counters["records"] = double(written);
  state.counters["csv_mb"] = double(QFileInfo(out).size()) / (1 << 20);
  state.counters["growth_kb"] = double(end - at100k);
  QFile::remove(out);
}
BENCHMARK(BM_ExportMillionToCsv)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_CapabilityReportOfAMillion(benchmark::State& state) {
  Open();
  const QString out = QDir(Home()).filePath("report");
  long at100k = 0, end = 0;
  for (auto _ : state) {
    Capability cap;
    StreamReport report;
    QString error;
    StreamMeasurements(BasePath(), RecordFilter{},
                       [&](const MeasurementRecord& r, qint64 pos) {
                         cap.Add(r);
                         if (pos == 100000) at100k = RssKb();
                       },
                       report, error);
    end = RssKb();  // the pages drawn next cost the same for any number of records
    QStringList written;
    WriteCapabilityReport(cap, ReportInfo{"base.bin", {}}, out, ',', written, error);
  }
  state.counters["growth_kb"] = double(end - at100k);
}
BENCHMARK(BM_CapabilityReportOfAMillion)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  Home();  // made before the clock runs
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
