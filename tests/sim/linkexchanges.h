#pragma once
// The exchanges of the line's hardware tests through the program's link, in
// the order and with the pauses they are sent, for running them against the
// simulated line on whichever clock the test uses.

#include <utility>

#include "link/camera.h"
#include "link/commands.h"
#include "link/link.h"
#include "platform/clock.h"

namespace simtest {

// The synchronisation test: a scan started without waiting, 80 bursts of
// 100 pulses, D1 closed and opened again, camera 1 read out. Returns the
// scan length of the read-out.
inline int SynchronisationScanLength() {
  CameraSetup(1);
  CameraEnable("1", true);
  ControllerCommand(kCmdScan);
  plat::SleepMs(100);
  ControllerCommand(kCmdResetLir);
  plat::SleepMs(100);
  TestBoardCommand(0x6C, 2);
  for (int i = 0; i < 80; ++i) {
    TestBoardCommand(0x69, 100);
    plat::SleepMs(120);
  }
  TestBoardCommand(0x62, 0);
  plat::SleepMs(100);
  TestBoardCommand(0x62, 1);
  plat::SleepMs(100);
  ControllerLink.LastScanLength = 0;
  CameraReadOut(1, 0);
  CameraEnable("1", false);
  return ControllerLink.LastScanLength;
}

// The LIR test: the counts after 10 bursts forward and 9 back.
inline std::pair<int, int> LirCounts() {
  ControllerCommand(kCmdResetLir);
  TestBoardCommand(0x6C, 2);
  plat::SleepMs(200);
  for (int i = 0; i < 10; ++i) {
    TestBoardCommand(0x69, 100);
    plat::SleepMs(120);
  }
  const int forward = ControllerCommand(kCmdReadLir).Value();
  plat::SleepMs(100);
  for (int i = 0; i < 9; ++i) {
    TestBoardCommand(0x6B, 100);
    plat::SleepMs(120);
  }
  return {forward, ControllerCommand(kCmdReadLir).Value()};
}

}  // namespace simtest
