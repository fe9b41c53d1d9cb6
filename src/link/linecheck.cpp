#include "link/linecheck.h"

#include "config/settings.h"
#include "link/camera.h"
#include "link/commands.h"
#include "link/link.h"

bool OpenLinePorts() {
  if (Settings.Global.Emul) return false;
  if (Settings.Ckt.Enable) ControllerLink.CktPortOpen = OpenPort(kTestBoardPort, Settings.Ckt.Port);
  return !OpenPort(kControllerPort, Settings.Hard.Com);
}

bool SystemCheckResult::AllPassed() const {
  return fileSystem && database && controller && camera[1] && camera[2] && camera[3] && camera[4];
}

SystemCheckResult CheckLineDevices(bool fastMode, const CheckReport& report) {
  SystemCheckResult r;
  r.controller = ControllerCommand(kCmdPresence).ok;
  if (report) report(CheckLine::Controller, r.controller);
  if (fastMode) {
    r.camera = {false, true, true, true, true};
    return r;
  }
  r.camerasAsked = true;
  for (int n = 1; n <= 4; ++n) {
    const bool present = CameraPresent(n);
    // Camera 2 may be missing on a line that works without it; it is asked
    // so that the line sees the same traffic, but never stops the start.
    r.camera[n] = n == 2 ? true : present;
    if (report) report(static_cast<CheckLine>(static_cast<int>(CheckLine::Camera1) + n - 1), r.camera[n]);
  }
  return r;
}

bool InitialiseLine() { return ControllerLongCommand(kCmdInitLine).ok; }
