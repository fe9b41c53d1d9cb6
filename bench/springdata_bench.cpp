// The engineers' data-out tool over a database of a million measurements:
// the CSV export and the capability report (numbers, PDF and pictures), each
// streamed. The counter growth_kb is the resident memory at the end of the
// run less that after the first 100 000 records: streaming keeps it near 0
// whatever the number of records.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>

#include "database/records.h"
#include "springdata/lib/capability.h"
#include "springdata/lib/capabilityreport.h"
#include "springdata/lib/exportwriter.h"
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

// An installation with two bogie types of two spring types each and a
// million measurements in base.bin, made once.
QString Home() {
  static QTemporaryDir dir;
  static bool made = false;
  if (!made) {
    made = true;
    auto write = [&](const QString& rel, const QByteArray& bytes) {
      QFile f(dir.filePath(rel));
      f.open(QIODevice::WriteOnly);
      f.write(bytes);
    };
    QDir(dir.path()).mkpath("Report");
    write("setup.ini", "[Params]\nChassieIniFilename=Chassie.ini\n");
    QByteArray ini = "[Global]\nMaxChNum=2\n";
    for (int b = 1; b <= 2; ++b)
      ini += QString("[Chassie%1]\nName=18-%2\nMaxSprings=2\nSpring1=1\nSpring2=2\n").arg(b).arg(b * 100).toUtf8();
    for (int s = 1; s <= 2; ++s) {
      ini += QString("[Spring%1]\nName=Пружина %1\nAltName=Тип %1\nE=0.1\nNparam=6\n").arg(s).toUtf8();
      for (int p = 1; p <= 6; ++p)
        ini += QString("P%1Name=Параметр %1\nP%1Min=%2\nP%1Max=%3\n").arg(p).arg(p * 10).arg(p * 10 + 8).toUtf8();
    }
    write("Chassie.ini", ini);
    write("Report/day.bin", {});
    QFile base(dir.filePath("Report/base.bin"));
    base.open(QIODevice::WriteOnly);
    QByteArray block;
    for (int i = 0; i < kRecords; ++i) {
      MeasurementRecord r;
      r.Identifier = QString("%1-05032009").arg(i % 9999 + 1, 4, 10, QChar('0'));
      r.BogieType = uint8_t(1 + i % 2);
      r.SpringType = uint8_t(1 + (i / 2) % 2);
      r.Kind = i % 10 == 0 ? 1 : 0;
      r.Date = 39877.0 + i / 2000.0;
      for (int p = 1; p <= 6; ++p) r.Param[p].Value = float(p * 10 + (i * 7 + p * 13) % 900 / 100.0);
      r.WagonFrom = "5301";
      r.WagonTo = "7702";
      block += EncodeMeasurementRecord(r);
      if (block.size() > (8 << 20)) base.write(block), block.clear();
    }
    base.write(block);
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
  for (auto _ : state) {
    std::FILE* f = std::fopen(QFile::encodeName(out).constData(), "wb");
    StreamReport report;
    QString error;
    {
      Sink sink(f);
      MeasurementWriter w(sink, Format::Csv);
      w.Header();
      StreamMeasurements(BasePath(), RecordFilter{},
                         [&](const MeasurementRecord& r, qint64 pos) {
                           w.Write(r, "base", pos);
                           if (pos == 100000) at100k = RssKb();
                         },
                         report, error);
    }
    std::fclose(f);
    end = RssKb();
    written = report.accepted;
  }
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
