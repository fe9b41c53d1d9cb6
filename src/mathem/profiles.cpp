#include "mathem/profiles.h"

#include <QHash>
#include <QStringList>
#include <cmath>
#include <optional>

#include "DALNOMER/calibration.h"
#include "config/settings.h"
#include "link/camera.h"
#include "platform/cp1251.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "platform/textfile.h"

TProfileStore ProfileStore;

namespace {

int& At(int n, int j) {
  static int scratch = 0;
  if (n < 1 || n > 4 || j < 0 || j > kMaxReadings + 1) {
    scratch = 0;  // writes beyond the storage go nowhere
    return scratch;
  }
  return ProfileStore.value[n][j];
}

int K(int n, int i) {
  return Settings.K[n][i];
}

bool CameraSkipped(int n) {
  return n == 2 && Settings.Hard.Cam2off;
}

// The byte lines of a camera file. A file cut short reads as zero bytes
// beyond its end, as the read-out leaves a reply that stopped early: a missing
// header then gives no readings and a missing reading "no reading".
class ByteLines {
 public:
  explicit ByteLines(QStringList lines) : lines_(std::move(lines)) {}
  // The next byte; false when the line is not a number (bad names it).
  bool Next(int* b, QString* bad) {
    if (pos_ >= lines_.size()) {
      ++pos_;
      *b = 0;
      return true;
    }
    const QString text = lines_.at(pos_++).trimmed();
    const auto v = plat::ParseInteger(text);
    if (!v) {
      *bad = QString("строка %1 \"%2\" не является числом").arg(pos_).arg(text.left(20));
      return false;
    }
    *b = *v & 0xFF;
    return true;
  }

 private:
  QStringList lines_;
  int pos_ = 0;
};

// Reports a camera whose profile cannot be had; the chain cannot go on. The
// operator learns which camera and why from the message; in normal
// operation (no file prefix) it is a fault of the line and the error page of
// the camera follows. With a prefix the service engineer is looking at kept
// files, and a missing one is no fault of the line.
void CameraFault(int n, const QString& reason) {
  ProfileStore.faultCamera = n;
  ProfileStore.fault = QString("Камера №%1: %2").arg(n).arg(reason);
  if (ProfileStore.message) ProfileStore.message(ProfileStore.fault);
  if (ProfileStore.filePrefix.isEmpty() && ProfileStore.errorPage) ProfileStore.errorPage(12 + n);
}

// The trace is rewritten with every load, three times a measurement; as a
// diagnostic it is not forced to the disk like the system's records.
bool WriteTrace(const QString& name, const QStringList& lines) {
  return plat::WriteTextLines(name, lines, nullptr, false);
}

// "1234:123.45"; a reading whose distance the calibration table can't give
// is traced as "1234:?" and the reason kept in *tableFault, so that a missing
// table never reads as 0.00 millimetres.
QString TraceLine(int n, int reading, QHash<int, std::optional<float>>* distances,
                  QString* tableFault) {
  auto it = distances->find(reading);
  if (it == distances->end()) {
    QString error;
    it = distances->insert(reading, CalibrationLookup(n, reading, &error));
    if (!*it && tableFault->isEmpty()) *tableFault = error;
  }
  if (!*it) return QString("%1:?").arg(reading);
  return QString("%1:%2").arg(reading).arg(static_cast<double>(**it), 5, 'f', 2);
}

// Steps 1..6 of one camera: header, protection, readings, trace. skip lines
// are thrown away after the header. False when the chain must stop.
bool ReadCamera(int n, int skip) {
  auto& s = ProfileStore;
  const QString file = ProfileFileName(n);
  // The trace starts empty with every load, so that a load that stops on the
  // way never leaves the previous profile's trace behind.
  const bool traceWritable = WriteTrace(TraceFileName(n), {});
  if (!traceWritable) {
    s.traceFault = QString("Не удалось записать файл %1").arg(TraceFileName(n));
    if (Settings.Debug.DebugMMsaveMessages && s.message) s.message(s.traceFault);
  }
  const auto lines = plat::ReadTextLines(file);
  if (!lines) {
    CameraFault(n, QString("нет файла профиля %1 или он не читается").arg(file));
    return false;
  }
  ByteLines in(*lines);
  QString bad;
  int h[3];
  for (int& b : h)
    if (!in.Next(&b, &bad)) {
      CameraFault(n, QString("файл %1: %2").arg(file, bad));
      return false;
    }
  int count = DecodeReadingCount(h[0], h[1], h[2]);
  const int maxCount = EffectiveMaxReadings();
  if (count > maxCount) count = 1;
  s.count[n] = count;
  if (Settings.Hard.ProtectGeomErrorsEnable && (count > maxCount || count < 300)) {
    ProfileStore.faultCamera = n;
    ProfileStore.fault = QString("Камера №%1: число замеров %2").arg(n).arg(count);
    if (s.errorPage) s.errorPage(12 + n);
    return false;
  }
  for (int i = 0; i < skip; ++i) {
    int dummy;
    if (!in.Next(&dummy, &bad)) {
      CameraFault(n, QString("файл %1: %2").arg(file, bad));
      return false;
    }
  }
  const bool trace = Settings.Debug.DebugMMsaveMessages;
  QStringList traceLines;
  QHash<int, std::optional<float>> distances;
  QString tableFault;
  for (int j = 1; j <= count; ++j) {
    int b[4];
    for (int& x : b)
      if (!in.Next(&x, &bad)) {
        CameraFault(n, QString("файл %1: %2").arg(file, bad));
        return false;
      }
    const int reading = DecodeReading(b[0], b[1], b[2], b[3]);
    At(n, j) = reading;
    if (trace) traceLines << TraceLine(n, reading, &distances, &tableFault);
  }
  if (!tableFault.isEmpty()) {
    s.traceFault = tableFault;
    if (s.message) s.message(tableFault);
  }
  // The trace is a diagnostic: when it can't be written the profile is
  // still good, and the reason is kept for the visualiser.
  if (trace && traceWritable && !WriteTrace(TraceFileName(n), traceLines)) {
    s.traceFault = QString("Не удалось записать файл %1").arg(TraceFileName(n));
    if (trace && s.message) s.message(s.traceFault);
  }
  return true;
}

int BadReadings(int n) {
  int bad = 0;
  for (int j = 1; j <= ProfileStore.count[n]; ++j)
    if (At(n, j) == kNoReading) ++bad;
  return bad;
}

// Scans up from j: v = value[j], j + 1, until j >= count or cond(v).
// True when the scan ended inside the profile.
template <class Cond>
bool ScanUp(int n, int& j, Cond cond) {
  const int count = ProfileStore.count[n];
  int v;
  do {
    v = At(n, j);
    ++j;
  } while (!(j >= count || cond(v)));
  return j < count;
}

template <class Cond>
bool ScanDown(int n, int& j, Cond cond) {
  int v;
  do {
    v = At(n, j);
    --j;
  } while (!(j <= 2 || cond(v)));
  return j > 2;
}

bool NonZero(int v) {
  return v > 0;
}
bool Zero(int v) {
  return v == 0;
}

void ZeroOutside(int n, int first, int last) {
  for (int m = 1; m <= ProfileStore.count[n]; ++m)
    if (m < first || m > last) At(n, m) = 0;
}

}  // namespace

void ResetProfileStore() {
  ProfileStore = TProfileStore();
}

int ProfileValue(int camera, int j) {
  return At(camera, j);
}

int DecodeReadingCount(int h1, int h2, int h3) {
  return (h1 + 256 * h2 + 4096 * h3 - 2048) / 4;  // C++ division truncates toward zero
}

int DecodeReading(int b1, int b2, int b3, int b4) {
  const int r = (b1 + 256 * b2 + 4096 * b3 + 65536 * b4 - 2048) / 32;
  return (r < 0 || r > 2046) ? kNoReading : r;
}

int EffectiveMaxReadings() {
  return std::min(Settings.Hard.ProtectMaxZamer, kMaxReadings);
}

QString ProfileFileName(int camera) {
  return ProfileStore.filePrefix + CameraFileName(camera);
}
QString TraceFileName(int camera) {
  return QString("%1mmr%2.txt").arg(ProfileStore.filePrefix).arg(camera);
}

void LoadProfiles(uint8_t mode) {
  auto& s = ProfileStore;
  for (int n = 1; n <= 4; ++n) s.value[n].fill(0);
  s.mode = mode;
  s.faultCamera = 0;
  s.fault.clear();
  s.traceFault.clear();
  for (int n = 1; n <= 4; ++n) {
    if (CameraSkipped(n)) continue;
    s.count[n] = 0;
    if (!ReadCamera(n, 0)) return;
    const struct {
      bool on;
      int skip;
    } ladder[] = {{Settings.Mathem.LightShild, 3},
                  {Settings.Mathem.kp2, 2},
                  {Settings.Mathem.kp1, 1},
                  {Settings.Mathem.kp0, 0}};
    for (const auto& rung : ladder) {
      if (!rung.on) continue;
      const int limit = static_cast<int>(std::trunc(s.count[n] / 100.0 * Settings.Mathem.Kalp));
      if (BadReadings(n) > limit && !ReadCamera(n, rung.skip)) return;
    }
  }
}

void FilterBand() {
  for (int n = 1; n <= 4; ++n)
    for (int j = 1; j <= ProfileStore.count[n]; ++j) {
      const int v = At(n, j);
      if (v <= K(n, 1) || v > K(n, 2)) At(n, j) = 0;
    }
}

void FilterFloor() {
  for (int n = 1; n <= 4; ++n) {
    const int t = ProfileStore.mode == kOuterSpringMode ? K(n, 4) : K(n, 3);
    for (int j = 1; j <= ProfileStore.count[n]; ++j)
      if (At(n, j) <= t) At(n, j) = 0;
  }
}

void FilterIndexWindow() {
  for (int n = 1; n <= 4; ++n)
    for (int j = 1; j <= ProfileStore.count[n]; ++j)
      if (j < K(n, 5) || j >= K(n, 6)) At(n, j) = 0;
}

void BridgeGaps() {
  for (int n = 1; n <= 4; ++n) {
    const int gap = ProfileStore.mode == kOuterSpringMode ? K(n, 10) : K(n, 9);
    const int count = ProfileStore.count[n];
    int j = 2;
    do {
      if (!ScanUp(n, j, NonZero)) break;
      if (!ScanUp(n, j, Zero)) break;
      const int gapStart = j - 1;
      if (!ScanUp(n, j, NonZero)) break;
      const int gapEnd = j - 1;
      if (std::abs(gapEnd - gapStart) <= gap) {
        const int fill = At(n, gapStart - 1);
        for (int m = gapStart; m <= gapEnd; ++m) At(n, m) = fill;
      }
    } while (j < count);
  }
}

void DropThinRuns() {
  for (int n = 1; n <= 4; ++n) {
    const int width = ProfileStore.mode == kOuterSpringMode ? K(n, 8) : K(n, 7);
    const int count = ProfileStore.count[n];
    int j = 1;
    do {
      if (At(n, j) > 0) {
        const int s = j;
        int e = j;
        int len = 1;
        do {
          e = j;
          ++j;
          ++len;
        } while (!(At(n, j) == 0 || j >= count));
        if (At(n, j) == 0 && len <= width)
          for (int m = s; m <= e; ++m) At(n, m) = 0;
      }
      ++j;
    } while (j < count);
  }
}

void BridgeGapsTwice() {
  BridgeGaps();
  BridgeGaps();
}

void CleanProfiles() {
  for (auto step : kCleaningSteps) step();
}

void SelectSecondCoil() {
  for (int n = 1; n <= 4; ++n) {
    CoilWindow& w = ProfileStore.window[n];
    w = CoilWindow();
    int j = 2;
    int first = 0, last = 0;
    bool ok = ScanUp(n, j, NonZero);
    if (ok) first = j - 1, ok = ScanUp(n, j, Zero);
    if (ok) last = j - 1, ok = ScanUp(n, j, NonZero);
    if (ok) first = j - 1, ok = ScanUp(n, j, Zero);
    if (ok) last = j - 1;
    if (!ok) continue;  // the window stays cleared, the profile untouched
    w.first = first;
    w.last = last;
    ZeroOutside(n, first, last);
  }
}

void SelectLowerCoil() {
  for (int n = 1; n <= 4; ++n) {
    CoilWindow& w = ProfileStore.window[n];
    w = CoilWindow();
    int j = ProfileStore.count[n] - 1;
    int first = 0, last = 0;
    bool ok = ScanDown(n, j, NonZero);
    if (ok) first = j + 1, ok = ScanDown(n, j, Zero);
    if (ok) last = j + 1;
    if (ok && !Settings.Mathem.newmetod) {
      ok = ScanDown(n, j, NonZero);
      if (ok) first = j + 1, ok = ScanDown(n, j, Zero);
      if (ok) last = j + 1;
    }
    if (!ok) continue;
    std::swap(first, last);
    w.first = first;
    w.last = last;
    ZeroOutside(n, first, last);
  }
}

void CutTailCamera(int n) {
  const CoilWindow& w = ProfileStore.window[n];
  if (w.first == 0) return;
  const int product = (w.last - w.first) * K(n, 11);
  const double d = static_cast<double>(product) / K(n, 12);
  // A zero k12 gives no finite cut point: nothing is cut then.
  if (!std::isfinite(d)) return;
  const double from = std::max(w.first + std::trunc(d), 0.0);
  for (double m = from; m <= w.last; m += 1) At(n, static_cast<int>(m)) = 0;
}

void CutTail() {
  for (int n = 1; n <= 4; ++n) CutTailCamera(n);
}

void FindPeakCamera(int n) {
  CoilWindow& w = ProfileStore.window[n];
  if (w.first == 0) return;
  w.peak = At(n, w.first);
  w.peakIndex = w.first;
  for (int m = w.first + 1; m <= w.last; ++m)
    if (At(n, m) >= w.peak) {
      w.peak = At(n, m);
      w.peakIndex = m;
    }
}

void FindPeak() {
  for (int n = 1; n <= 4; ++n) FindPeakCamera(n);
}
