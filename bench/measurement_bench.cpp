// The program's own time per measurement and its memory over many
// measurements.
//
// BM_MeasurementOnTheLine runs MeasureSpring on the line path against the
// linesim program over its pseudo-terminal, on the virtual clock that the
// line shares (linesim --clock): every wait of the sequence (scaled pauses,
// delays, ups) and every reply the line owes later, its full-second scan
// included, then comes when the program's clock gets there, at no wall
// time. The time the link still spends waiting for linesim to serve is
// measured by a serial device that wraps the real one and subtracted. What
// is left ("own_ms") is the program's own time per measurement: framing,
// the camera read-outs into their files, the profile mathematics, the
// record. BM_MeasurementEmulated runs the emulated measurement the same way.
// BM_MemoryOverEmulatedMeasurements measures the resident memory after the
// first and after the 1000th emulated measurement of one run.
#include <benchmark/benchmark.h>

#include "benchmain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "config/settings.h"
#include "database/database.h"
#include "desktop/serial.h"
#include "linefilters.h"
#include "link/link.h"
#include "mathem/coilgeometry.h"
#include "mathem/profiles.h"
#include "measurement/sequence.h"
#include "platform/clock.h"
#include "platform/lineclock.h"
#include "platform/paths.h"
#include "sim/simcoilspring.h"
#include "springs/springtypes.h"

namespace {

// Wall time spent waiting inside ReadByte, over every device.
double g_readWaitMs = 0;

class TimedSerialDevice : public plat::SerialDevice {
 public:
  TimedSerialDevice() : device_(plat::CreateSerialDevice()) {}
  bool Open(const QString& name) override { return device_->Open(name); }
  bool IsOpen() const override { return device_->IsOpen(); }
  void Close() override { device_->Close(); }
  bool WriteByte(uint8_t b) override { return device_->WriteByte(b); }
  std::optional<uint8_t> ReadByte(int timeoutMs) override {
    QElapsedTimer t;
    t.start();
    const auto b = device_->ReadByte(timeoutMs);
    g_readWaitMs += t.nsecsElapsed() / 1e6;
    return b;
  }
  QString LastError() const override { return device_->LastError(); }

 private:
  std::unique_ptr<plat::SerialDevice> device_;
};

long ResidentKb() {
  QFile f("/proc/self/status");
  if (!f.open(QIODevice::ReadOnly)) return -1;
  const auto m = QRegularExpression("VmRSS:\\s+(\\d+) kB").match(QString::fromLatin1(f.readAll()));
  return m.hasMatch() ? m.captured(1).toLong() : -1;
}

// A working folder with the installed calibration tables, the spring types
// of bogie type 1 as the installation has them, the filter constants of a
// commissioned line and the diameter thresholds.
class Workshop {
 public:
  Workshop() {
    plat::UseVirtualClock();
    plat::SetHome(dir_.path());
    ResetSettingsModule();
    ResetDatabaseModule();
    ResetSpringTypesModule();
    ResetProfileStore();
    ResetCoilResults();
    ResetMeasurementModule();
    for (const char* folder : {"STORAGE", "Report", "Config"}) QDir(dir_.path()).mkdir(folder);
    ok = InitDatabaseModule().isEmpty();
    WriteCalibrationTables(InstalledCalibration());
    auto& m = Settings.Mathem;
    m.k[13] = 168;
    m.k[14] = 215;
    m.k[15] = 225;
    m.k[16] = 168;
    testsupport::CommissionFilters();
    auto& t = SpringTypeTable();
    t.MaxChNum = 1;
    t[1].MaxSprings = 3;
    const int adc3[4] = {0, 14000, 26000, 18000}, adc1[4] = {0, 7500, 14000, 9500};
    for (int s = 1; s <= 3; ++s) {
      SpringType& T = t[1].springTypes[s];
      T.Adc3 = adc3[s];
      T.Adc1 = adc1[s];
      T.Odf = 0.5;
      for (int p = 1; p <= 6; ++p) {
        T.parameters[p].Midl = 100;
        T.parameters[p].Mul = 1;
      }
    }
    CurrentBogieType() = 1;
    ProfileStore.errorPage = [](int) {};
    ProfileStore.message = [](const QString&) {};
    Measurement.observer.errorPage = [this](int code) { errors.push_back(code); };
    Measurement.observer.chooseSpringType = [](int) { return 2; };
  }
  ~Workshop() {
    ResetControllerLink();
    ResetMeasurementModule();
    ResetProfileStore();
  }
  std::vector<int> errors;
  bool ok = false;  // the database module started

 private:
  QTemporaryDir dir_;
};

void BM_MeasurementOnTheLine(benchmark::State& state) {
  Workshop w;
  QTemporaryDir clockDir;
  const QString clock = clockDir.filePath("clock");
  QProcess linesim;
  linesim.start(KALVOR_LINESIM, {"--no-board", "--for", "600", "--clock", clock});
  QString port;
  QElapsedTimer t;
  t.start();
  while (port.isEmpty() && t.elapsed() < 10000 && linesim.waitForReadyRead(1000))
    while (linesim.canReadLine()) {
      const QString l = QString::fromLocal8Bit(linesim.readLine()).trimmed();
      if (l.startsWith("[Hard] Com=")) port = l.mid(11);
    }
  if (port.isEmpty()) {
    state.SkipWithError("linesim gave no port");
    return;
  }
  if (const QString error = plat::FollowLineClock(clock); !error.isEmpty()) {
    state.SkipWithError(qPrintable(error));
    return;
  }
  Settings.Global.Emul = false;
  ControllerLink.DeviceFactory = [] { return std::make_unique<TimedSerialDevice>(); };
  if (!OpenPort(kControllerPort, port)) {
    state.SkipWithError("the port of linesim did not open");
    return;
  }
  double own = 0, replies = 0, wall = 0;
  int n = 0;
  for (auto _ : state) {
    MeasurementRecord r;
    const double before = g_readWaitMs;
    QElapsedTimer m;
    m.start();
    if (!MeasureSpring(r, ++n)) state.SkipWithError("the measurement stopped");
    const double ms = m.nsecsElapsed() / 1e6;
    wall += ms;
    replies += g_readWaitMs - before;
    own += ms - (g_readWaitMs - before);
    benchmark::DoNotOptimize(r);
  }
  state.counters["wall_ms"] = wall / n;
  state.counters["linesim_ms"] = replies / n;
  state.counters["own_ms"] = own / n;
  state.counters["errors"] = static_cast<double>(w.errors.size());
  plat::SetVirtualClockHook(nullptr);  // the line is left behind
  linesim.kill();
  linesim.waitForFinished(5000);
}
BENCHMARK(BM_MeasurementOnTheLine)->Iterations(50)->Unit(benchmark::kMillisecond);

void BM_MeasurementEmulated(benchmark::State& state) {
  Workshop w;
  Settings.Global.Emul = true;
  int n = 0;
  for (auto _ : state) {
    MeasurementRecord r;
    MeasureSpring(r, ++n);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_MeasurementEmulated)->Iterations(50)->Unit(benchmark::kMillisecond);

void BM_MemoryOverEmulatedMeasurements(benchmark::State& state) {
  Workshop w;
  if (!w.ok) {
    state.SkipWithError("the database module did not start");
    return;
  }
  Settings.Global.Emul = true;
  for (auto _ : state) {
    long first = 0;
    for (int n = 1; n <= 1000; ++n) {
      MeasurementRecord r;
      MeasureSpring(r, n);
      if (!AppendShiftMeasurement(r)) state.SkipWithError("the record was not appended");
      if (n == 1) first = ResidentKb();
    }
    const long last = ResidentKb();
    state.counters["rss_first_kb"] = static_cast<double>(first);
    state.counters["rss_1000_kb"] = static_cast<double>(last);
    state.counters["growth_kb"] = static_cast<double>(last - first);
  }
}
BENCHMARK(BM_MemoryOverEmulatedMeasurements)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

KALVOR_BENCHMARK_MAIN()
