// Each injected fault and what it does to the replies and the devices.
#include <gtest/gtest.h>

#include "link/camera.h"
#include "simdriver.h"

using simtest::Bytes;
using simtest::SimDriver;

namespace {

QByteArray Hex(const char* hex) {
  return QByteArray::fromHex(hex);
}
const QByteArray kPresence = Hex("7E F0 FF 00 00 00 7E");

TEST(SimFaultsTest, ASilentDeviceNeitherActsNorAnswers) {
  {
    SimFaults f;
    f.silentController = true;
    SimDriver d(f);
    EXPECT_TRUE(d.ControllerRaw(kCmdHydraulics, 1, 0, 2000).isEmpty());
    EXPECT_FALSE(d.sim->PressState().hydraulics);
    EXPECT_EQ(d.Camera(1, kCamEnable, 1), Bytes({1, kCamEnable, 0, 0, 0}));
  }
  {
    SimFaults f;
    f.silentCamera[3] = true;
    f.silentBoard = true;
    SimDriver d(f);
    EXPECT_TRUE(d.Camera(3, kCamEnable, 1, 2000).isEmpty());
    EXPECT_FALSE(d.sim->CameraState(3).enabled);
    EXPECT_FALSE(d.Camera(4, kCamEnable, 1).isEmpty());
    EXPECT_TRUE(d.BoardRaw(0x61, 0, 2000).isEmpty());
    EXPECT_EQ(d.ControllerReading(kCmdReadInputs), 0);
  }
}

TEST(SimFaultsTest, ALateDeviceAnswersThatMuchLater) {
  SimFaults f;
  f.Of(SimDevice::Controller).lateMs = 300;
  f.Of(SimDevice::Board).lateMs = 150;
  SimDriver d(f);
  // The command takes effect at once; only its reply waits.
  EXPECT_TRUE(d.ControllerRaw(kCmdHydraulics, 1, 0, 301).isEmpty());
  EXPECT_TRUE(d.sim->PressState().hydraulics);
  EXPECT_EQ(d.Wait(1, 1), Hex("7E F0 01 00 00 00 7E"));
  // A camera on the same line answers in its own time.
  d.Send(1, Bytes({0xF0, kCmdPresence, 0, 0, 0}));
  d.Send(1, Bytes({2, kCamEnable, 0, 0}));
  EXPECT_EQ(d.Wait(1, 10), Hex("7E 02 8B 00 00 00 7E"));
  EXPECT_EQ(d.sim->NextOutputTime(1), d.now - 10 + 302);
  EXPECT_EQ(d.Wait(1, 292), kPresence);
  EXPECT_TRUE(d.BoardRaw(0x60, 0, 151).isEmpty());
  EXPECT_FALSE(d.Wait(2, 1).isEmpty());
  // A scan that completes by itself answers late as well.
  d.Send(1, Bytes({0xF0, kCmdScan, 0, 0, 0}));
  EXPECT_EQ(d.sim->NextOutputTime(1), d.now + d.sim->Timing().scanMs + 300);
}

TEST(SimFaultsTest, CutFramesStopAfterTheirBytes) {
  SimFaults f;
  f.Of(SimDevice::Camera2).cutAfter = 4;
  SimDriver d(f);
  EXPECT_EQ(d.Exchange(1, Bytes({2, kCamEnable, 0, 0})), Hex("7E 02 8B 00"));
  EXPECT_EQ(d.Exchange(1, Bytes({1, kCamEnable, 0, 0})), Hex("7E 01 8B 00 00 00 7E"));
  EXPECT_EQ(d.ControllerRaw(kCmdPresence), kPresence);
  // A device's own cut goes before the one for every device.
  d.sim->Faults().cutAfter = 2;
  EXPECT_EQ(d.ControllerRaw(kCmdPresence), Hex("7E F0"));
  EXPECT_EQ(d.Exchange(1, Bytes({2, kCamEnable, 0, 0})), Hex("7E 02 8B 00"));
}

TEST(SimFaultsTest, GarbledBytesOnlyOnTheGarbledDevice) {
  SimFaults f;
  f.Of(SimDevice::Board).garble = 1.0;
  f.seed = 5;
  SimDriver d(f);
  int changed = 0;
  for (int i = 0; i < 20; ++i) {
    const QByteArray raw = d.BoardRaw(0x66);
    ASSERT_EQ(raw.size(), 7);
    changed += raw != Hex("7E 31 66 00 00 00 7E");
    EXPECT_EQ(d.ControllerRaw(kCmdPresence), kPresence);
  }
  EXPECT_EQ(changed, 20);
  // With a chance of 0.1 about a tenth of the bytes change.
  SimFaults some;
  some.Of(SimDevice::Controller).garble = 0.1;
  SimDriver e(some);
  const QByteArray clean = Hex("7E F0 08 00 00 00 7E");
  int bytes = 0;
  for (int i = 0; i < 400; ++i) {
    const QByteArray raw = e.ControllerRaw(kCmdReadLir);
    for (int k = 0; k < raw.size(); ++k) bytes += raw[k] != clean[k];
  }
  EXPECT_GT(bytes, 180);
  EXPECT_LT(bytes, 380);
}

TEST(SimFaultsTest, AFailingCommandIsNeitherCarriedOutNorAnswered) {
  SimFaults f;
  f.Of(SimDevice::Board).fail = {0x65};
  f.Of(SimDevice::Controller).fail = {kCmdRelayUp};
  f.Of(SimDevice::Camera1).fail = {kCamReadOut};
  SimDriver d(f);
  d.Controller(kCmdHydraulics, 1);
  EXPECT_TRUE(d.BoardRaw(0x65, 0, 2000).isEmpty());
  EXPECT_EQ(d.Board(0x66)[0], '1');
  EXPECT_TRUE(d.ControllerRaw(kCmdRelayUp, 0, 0, 2000).isEmpty());
  EXPECT_FALSE(d.sim->PressState().up);
  EXPECT_EQ(d.Board(0x66)[0], '1');
  EXPECT_FALSE(d.ControllerRaw(kCmdRelayDown, 0).isEmpty());
  EXPECT_TRUE(d.Camera(1, kCamReadOut, 0, 2000).isEmpty());
  EXPECT_FALSE(d.Camera(1, kCamReset).isEmpty());
  EXPECT_FALSE(d.Camera(2, kCamReadOut, 0, 50).isEmpty());
}

TEST(SimFaultsTest, AStuckInputIgnoresTheBoard) {
  SimFaults f;
  f.stuckInputClosed[0] = true;   // D0 closed
  f.stuckInputClosed[1] = false;  // D1 open
  SimDriver d(f);
  EXPECT_EQ(d.ControllerReading(kCmdReadInputs), 0x01);
  d.Board(0x61, 1);
  d.Board(0x62, 0);
  EXPECT_EQ(d.ControllerReading(kCmdReadInputs), 0x01);
  d.Board(0x62, 1);
  // D1 never closes, so a scan the pulses drive never ends.
  d.Camera(1, kCamEnable, 1);
  d.Controller(kCmdScan, 0, 0, 100);
  for (int i = 0; i < 80; ++i) d.Board(0x69, 100);
  d.Board(0x62, 0);
  d.Board(0x62, 1);
  EXPECT_TRUE(d.Wait(1, 10000).isEmpty());
  EXPECT_TRUE(d.sim->ScanState().running);

  SimFaults closed;
  closed.stuckInputClosed[1] = true;
  SimDriver e(closed);
  e.Board(0x62, 1);
  EXPECT_EQ(e.ControllerReading(kCmdReadInputs), 0x08);
}

TEST(SimFaultsTest, ADeadAdcReadsZeroAndTheLevelIsNeverReached) {
  SimFaults f;
  f.deadAdc = true;
  SimDriver d(f);
  d.Board(0x64, 15);
  EXPECT_EQ(d.ControllerRaw(kCmdReadAdc), Hex("7E F0 06 00 00 00 7E"));
  EXPECT_TRUE(d.ControllerRaw(kCmdForce, 400 & 0xFF, 400 >> 8, 5000).isEmpty());
  EXPECT_EQ(d.sim->PressState().deflection, 0.0);
  EXPECT_FALSE(d.ControllerRaw(kCmdForce, 0, 0, 500).isEmpty());
}

}  // namespace

// A single failing request: the measurement's second-level force is its
// fourth 0x0E; the other force commands, and the same code on another
// device, go through.
TEST(SimFaultsTest, TheNthRequestOfACodeFailsAlone) {
  SimFaults f;
  f.Of(SimDevice::Controller).failNth = {{kCmdForce, 4}, {kCmdInitLine, 2}};
  SimDriver d(f);
  const int level = 14000;
  for (int i = 1; i <= 3; ++i)
    EXPECT_FALSE(d.ControllerRaw(kCmdForce, level & 0xFF, level >> 8, 500).isEmpty()) << i;
  EXPECT_TRUE(d.ControllerRaw(kCmdForce, 26000 & 0xFF, 26000 >> 8, 2000).isEmpty());
  // Failed: not carried out either, the press keeps the third one's load.
  EXPECT_EQ(d.sim->PressState().force, level);
  EXPECT_FALSE(d.ControllerRaw(kCmdForce, level & 0xFF, level >> 8, 500).isEmpty());
  EXPECT_FALSE(d.ControllerRaw(kCmdInitLine, 0, 0, 500).isEmpty());
  EXPECT_TRUE(d.ControllerRaw(kCmdInitLine, 0, 0, 2000).isEmpty());
  EXPECT_FALSE(d.ControllerRaw(kCmdInitLine, 0, 0, 500).isEmpty());
}
