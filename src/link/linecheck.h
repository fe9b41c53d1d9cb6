#pragma once
// The hardware half of the start-up: opening the two ports, the check of the
// controller and the cameras, and the line initialisation. The system-check
// page draws the results; these functions only talk to the line.

#include <array>
#include <functional>

// Opens port 2 on [Ckt] Port when [Ckt] Enable is on (its outcome goes to
// CktPortOpen, silently), then port 1 on [Hard] Com. Does nothing in
// emulation. Returns true when port 1 failed, i.e. the error page 1 is due.
bool OpenLinePorts();

// The error page code of a failed check comes from the start-up's
// SystemCheckErrorCode(result.controller, result.camera).

// The lines of the start page's system check, top to bottom.
enum class CheckLine {
  FileSystem = 1,
  Database = 2,
  Controller = 3,
  Camera1 = 4,
  Camera2 = 5,
  Camera3 = 6,
  Camera4 = 7,
  Initialisation = 8,
};

struct SystemCheckResult {
  bool fileSystem = true;  // passes without a test
  bool database = true;    // passes without a test
  bool controller = false;
  std::array<bool, 5> camera{false, false, false, false, false};  // [1..4]
  bool camerasAsked = false;  // false in fast mode: the camera lines stay empty

  bool AllPassed() const;
};

// Called as each result becomes known, so the page can write "Ок." or "X"
// on that line while the check goes on.
using CheckReport = std::function<void(CheckLine line, bool passed)>;

// The controller's presence and, unless fastMode, each camera's. Camera 2
// is asked but always passes; in fast mode the cameras count as passed
// without being asked and are not reported. File system and database pass
// without a test and are not reported either (the page writes them with
// its own pauses).
SystemCheckResult CheckLineDevices(bool fastMode, const CheckReport& report = {});

// Error page code when the line initialisation fails.
constexpr int kInitialisationErrorCode = 9;
// Error page code when port 1 can't be opened.
constexpr int kPortErrorCode = 1;

// Long command 0x0B; false means the line is not ready (error page 9).
bool InitialiseLine();
