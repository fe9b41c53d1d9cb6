// The simulated line through the program's own link, on the virtual clock:
// the exchanges of the hardware tests and of a measurement in the order and
// with the pauses they are sent, so that the line's timing is proved
// against the link's time-outs.
#include <gtest/gtest.h>

#include "../link/fakeserial.h"
#include "config/settings.h"
#include "link/boardtests.h"
#include "link/camera.h"
#include "link/commands.h"
#include "link/linecheck.h"
#include "link/link.h"
#include "linkexchanges.h"
#include "platform/clock.h"
#include "testsupport.h"

namespace {

using simtest::LirCounts;
using simtest::SynchronisationScanLength;

class SimLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::UseVirtualClock();
    ResetSettingsModule();
    ResetControllerLink();
    Settings.Global.Emul = false;
  }
  void TearDown() override { ResetControllerLink(); }

  void Start(SimFaults faults = {}, SimpleSpring s = {}) {
    spring = std::make_shared<SimpleSpringModel>(s);
    sim = std::make_shared<SimLine>(spring, faults);
    linktest::OpenSimPorts(sim);
  }

  testsupport::ScratchHome home;
  std::shared_ptr<SimpleSpringModel> spring;
  std::shared_ptr<SimLine> sim;
};

TEST_F(SimLinkTest, SynchronisationTestGetsAThousandReadings) {
  Start();
  EXPECT_EQ(SynchronisationScanLength(), 1000);
  EXPECT_EQ(home.read("cmr1.txt").count('\n'), 3 + 4 * 1000);
  // The scan's late reply was drained: the next exchange reads its own.
  const ControllerReply lir = ControllerCommand(kCmdReadLir);
  EXPECT_TRUE(lir.ok);
  EXPECT_EQ(ControllerLink.FrameBuffer[2], kCmdReadLir);
  EXPECT_EQ(lir.Value(), 8000);
  // A second run starts afresh.
  EXPECT_EQ(SynchronisationScanLength(), 1000);
}

// The terminal's tests with the board pass on a sound line, with their
// lines (their faults: the terminal's flow tests).
TEST_F(SimLinkTest, TheBoardTestsPassOnASoundLineAndFailOnTheirFault) {
  Start();
  EXPECT_EQ(ControlOutputTest(ControlOutput::Hydraulics).lines,
            QStringList{"Тест управления гидростанцией:ОК"});
  EXPECT_TRUE(ControlOutputTest(ControlOutput::RelayUp).passed);
  EXPECT_TRUE(ControlOutputTest(ControlOutput::RelayDown).passed);
  EXPECT_TRUE(AdcTest().passed);
  EXPECT_EQ(LirTest().lines, (QStringList{"LIR>>1000", "LIR<<100", "Тест LIR:ОК"}));
  EXPECT_TRUE(InputTest(ControlInput::D0).passed);
  EXPECT_TRUE(InputTest(ControlInput::D1).passed);
  EXPECT_EQ(SyncTest("0").lines, (QStringList{"Тест синхросигнала запущен.", "Тест синхро:ОК"}));

  // A LIR that counts 6 too many per 1000 fails at the bound.
  SimFaults f;
  f.lirError = 6;
  Start(f);
  EXPECT_EQ(LirTest().lines, (QStringList{"LIR>>1006", "LIR<<101", "Тест LIR:ERROR"}));
}

// The measurement's press steps, with its pauses and formulas.
TEST_F(SimLinkTest, MeasurementPressStepsRecoverTheSpring) {
  SimpleSpring s;
  s.freeHeight = 251.37;
  Start({}, s);
  const int first = 26000, second = 14000;
  ASSERT_TRUE(InitialiseLine());
  ASSERT_TRUE(ForceCommand(first).ok);
  Delay(300);
  ASSERT_TRUE(ForceCommand(first).ok);
  Delay(300);
  ControllerCommand(kCmdResetLir);
  Delay(200);
  ASSERT_TRUE(ForceCommand(first).ok);
  Delay(300);
  const ControllerReply disp = ControllerLongCommand(kCmdDisplacement);
  ASSERT_TRUE(disp.ok);
  EXPECT_EQ(DisplacementFromRaw(disp.Value()) * 0.0396, 0.0);
  const ControllerReply load = ForceCommand(second);
  ASSERT_TRUE(load.ok);
  EXPECT_NEAR(load.Value() * 0.04, second / kDefaultStiffness, 0.02);
  ControllerLongCommand(kCmdRelayUp);
  Delay(Settings.Hard.ups);
  const ControllerReply pos = ControllerLongCommand(kCmdPosition);
  ASSERT_TRUE(pos.ok);
  EXPECT_NEAR(258.5 - (65535 - pos.Value() - 8733) * 0.03996 + 0.7, 251.37, 0.05);
  EXPECT_TRUE(InitialiseLine());
}

// The measurement's scan: a long 0x0C that completes by itself within the
// link's default attempts, and four read-outs of the modelled profiles.
TEST_F(SimLinkTest, MeasurementScanCompletesWithinTheLongCommandsAttempts) {
  Start();
  ASSERT_EQ(Settings.Hard.TimeoutCk, 10);
  ASSERT_TRUE(InitialiseLine());
  for (int n = 1; n <= 4; ++n) CameraSetup(n);
  for (int n = 1; n <= 4; ++n) CameraEnable(QString::number(n), true);
  const uint32_t t0 = plat::TickCount();
  EXPECT_TRUE(ControllerLongCommand(kCmdScan).ok);
  EXPECT_GE(plat::TickCount() - t0, sim->Timing().scanMs);
  for (int n = 1; n <= 4; ++n) {
    EXPECT_TRUE(CameraReadOut(n, 0));
    EXPECT_EQ(ControllerLink.LastScanLength, 1000);
  }
  // The same long command with the controller late by more than the
  // attempts last fails, and the line answers the next command correctly.
  sim->Faults().Of(SimDevice::Controller).lateMs = 1500;
  EXPECT_FALSE(ControllerLongCommand(kCmdScan).ok);
  sim->Faults().Of(SimDevice::Controller).lateMs = 0;
  plat::SleepMs(3000);
  EXPECT_TRUE(ControllerCommand(kCmdReadAdc).ok);
  EXPECT_EQ(ControllerLink.FrameBuffer[2], kCmdReadAdc);
}

// Every fault, one at a time, through a round of every kind of exchange:
// each exchange ends, whatever it reads.
TEST_F(SimLinkTest, NoFaultHoldsTheLink) {
  std::vector<SimFaults> faults(9);
  faults[0].silentController = true;
  faults[1].Of(SimDevice::Camera1).lateMs = 700;
  faults[2].Of(SimDevice::Camera1).cutAfter = 9;
  faults[3].Of(SimDevice::Controller).garble = 0.5;
  faults[4].Of(SimDevice::Board).fail = {0x69, 0x62};
  faults[5].stuckInputClosed[1] = true;
  faults[6].deadAdc = true;
  faults[7].lirError = -300;
  faults[8].garble = 0.05;
  for (const SimFaults& f : faults) {
    Start(f);
    const uint32_t t0 = plat::TickCount();
    InitialiseLine();
    SynchronisationScanLength();
    LirCounts();
    ForceCommand(400);
    ControllerLongCommand(kCmdPosition);
    for (int n = 1; n <= 4; ++n) CameraReadOut(n, 0);
    EXPECT_LT(plat::TickCount() - t0, 120000u);
    ResetControllerLink();
  }
}

}  // namespace
