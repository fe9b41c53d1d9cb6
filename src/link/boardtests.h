#pragma once
// The single tests of the line's controller that the service terminal runs
// with the CKT test board: the board drives an input of the controller (or
// reads one of its outputs), the controller is asked what it sees, and the
// two answers decide. Each test gives its verdict and the lines it reports,
// which also go to the caller as they come.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

// What the caller sees while a test runs: its lines, and the progress of
// the long ones (0..90, the terminal's ProgressBar1).
struct BoardTestReport {
  std::function<void(const QString& line)> line;
  std::function<void(int value)> progress;
};

struct BoardTestResult {
  bool passed = false;
  QStringList lines;
};

// Pulses of one burst, and the LIR pause the tests set on the board.
constexpr uint8_t kBoardBurst = 100;
constexpr uint8_t kBoardTestLirPause = 2;

// The pass bounds, each exclusive. The ADC reads below kAdcLowBelow with
// the board at level 0, above kAdcHighAbove at level 15 (240 units).
constexpr int kAdcLowBelow = 10;
constexpr int kAdcHighAbove = 150;
// The LIR counts 1000 after ten bursts forward and 100 after nine back,
// each within six and ten counts.
constexpr int kLirForwardAbove = 994;
constexpr int kLirForwardBelow = 1006;
constexpr int kLirBackAbove = 90;
constexpr int kLirBackBelow = 110;
// A scan driven by 80 bursts gives about 1000 readings.
constexpr int kSyncScanAbove = 990;
constexpr int kSyncScanBelow = 1010;

// The controller's outputs the board reads back.
enum class ControlOutput { Hydraulics, RelayUp, RelayDown };
// Output on, the board reads "0"; output off, it reads "1".
BoardTestResult ControlOutputTest(ControlOutput output, const BoardTestReport& report = {});
// The board imitates the ADC at level 0, then 15.
BoardTestResult AdcTest(const BoardTestReport& report = {});
// The LIR reset, ten bursts forward, nine back.
BoardTestResult LirTest(const BoardTestReport& report = {});
// The board closes the input (0) and opens it (1).
enum class ControlInput { D0, D1 };
BoardTestResult InputTest(ControlInput input, const BoardTestReport& report = {});
// Camera 1 scans while the board drives the LIR; closing D1 ends the scan.
// Its profile is read out into cmr1.txt and STORAGE\<storageName>-cmr1.txt.
BoardTestResult SyncTest(const QString& storageName, const BoardTestReport& report = {});
