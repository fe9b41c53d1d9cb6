#pragma once
// The four camera profiles of one scan and the filter chain that isolates one
// coil per camera. A profile is the sequence of readings of one camera along
// the spring's height: every coil shows up as a run of non-zero readings
// between gaps. The filters set removed readings to 0, so that after them 0
// means "no coil here".

#include <QString>
#include <array>
#include <cstdint>
#include <functional>

// The most readings one profile holds.
constexpr int kMaxReadings = 1800;
// A reading the camera did not make.
constexpr int kNoReading = 2047;
// The outer-spring variant of LoadProfiles: filters 2, 4 and 5 take their
// second constant.
constexpr uint8_t kOuterSpringMode = 100;

// The coil chosen on one camera.
struct CoilWindow {
  int first = 0;  // lower index of the coil; 0 = no coil chosen
  int last = 0;   // upper index of the coil
  double peak = 0;
  int peakIndex = 0;
};

struct TProfileStore {
  std::array<int, 5> count{};  // [1..4]
  // value[n][j], readings at j = 1..kMaxReadings; index 0 and the one past
  // the end stay 0 so that the scans may look one step beyond a profile.
  std::array<std::array<int, kMaxReadings + 2>, 5> value{};
  std::array<CoilWindow, 5> window{};  // [1..4]
  uint8_t mode = 0;
  QString filePrefix;  // in front of every camera and trace file name

  // What went wrong with the last load, for the visualiser and the caller:
  // the camera whose file could not be used (0 = none) and why.
  int faultCamera = 0;
  QString fault;
  // A trace file that could not be written (the chain goes on without it).
  QString traceFault;

  // How faults reach the operator: errorPage shows the error page (which
  // ends the program), message a modal message. The start-up installs the
  // program's; tests put their own; empty ones report nothing.
  std::function<void(int code)> errorPage;
  std::function<void(const QString& text)> message;
};

extern TProfileStore ProfileStore;

// Tests: empty profiles and windows, no prefix, no fault reporting.
void ResetProfileStore();

// Reading j of camera n, 0 outside the profile's storage.
int ProfileValue(int camera, int j);

// Decoding of the camera file: header bytes to the number of readings, four
// reading bytes to a reading (2047 when outside 0..2046).
int DecodeReadingCount(int h1, int h2, int h3);
int DecodeReading(int b1, int b2, int b3, int b4);

// The largest accepted profile length: ProtectMaxZamer, never beyond the
// capacity of a profile.
int EffectiveMaxReadings();

// The camera file the read-out wrote for camera n, e.g. "cmr3.txt", with
// the store's prefix in front; and its trace file "mmr3.txt".
QString ProfileFileName(int camera);
QString TraceFileName(int camera);

void LoadProfiles(uint8_t mode);
void FilterBand();
void FilterFloor();
void FilterIndexWindow();
void BridgeGaps();
void DropThinRuns();

// The cleaning both chains and the coil report start with, in their order:
// FilterBand, FilterFloor, FilterIndexWindow, BridgeGaps twice, DropThinRuns.
void BridgeGapsTwice();
inline constexpr void (*kCleaningSteps[])() = {FilterBand, FilterFloor, FilterIndexWindow,
                                               BridgeGapsTwice, DropThinRuns};
void CleanProfiles();

void SelectSecondCoil();
void SelectLowerCoil();
void CutTail();
void FindPeak();

// The single-camera forms the coil report uses.
void CutTailCamera(int camera);
void FindPeakCamera(int camera);
