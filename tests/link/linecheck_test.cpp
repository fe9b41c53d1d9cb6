#include "link/linecheck.h"

#include <gtest/gtest.h>

#include "config/settings.h"
#include "fakeserial.h"
#include "link/camera.h"
#include "link/commands.h"
#include "link/link.h"
#include "pages/pages.h"
#include "sim/simline.h"
#include "testsupport.h"

namespace {

int ErrorCode(const SystemCheckResult& r) {
  return r.AllPassed() ? 0 : SystemCheckErrorCode(r.controller, r.camera);
}

class LineCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsModule();
    ResetControllerLink();
    Settings.Global.Emul = false;
    spring = std::make_shared<SimpleSpringModel>();
    sim = std::make_shared<SimLine>(spring);
    linktest::OpenSimPorts(sim);
  }
  void TearDown() override { ResetControllerLink(); }

  std::vector<std::pair<CheckLine, bool>> Check(bool fastMode, SystemCheckResult* out = nullptr) {
    std::vector<std::pair<CheckLine, bool>> lines;
    const SystemCheckResult r =
        CheckLineDevices(fastMode, [&](CheckLine l, bool ok) { lines.emplace_back(l, ok); });
    if (out) *out = r;
    return lines;
  }

  testsupport::ScratchHome home;
  std::shared_ptr<SimpleSpringModel> spring;
  std::shared_ptr<SimLine> sim;
};

TEST_F(LineCheckTest, AllDevicesAnswering) {
  SystemCheckResult r;
  const auto lines = Check(false, &r);
  EXPECT_TRUE(r.AllPassed());
  EXPECT_EQ(ErrorCode(r), 0);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], std::make_pair(CheckLine::Controller, true));
  EXPECT_EQ(lines[4], std::make_pair(CheckLine::Camera4, true));
  EXPECT_TRUE(InitialiseLine());
}

TEST_F(LineCheckTest, CameraTwoIsAskedButAlwaysPasses) {
  sim->Faults().silentCamera[2] = true;
  SystemCheckResult r;
  const auto lines = Check(false, &r);
  EXPECT_EQ(ErrorCode(r), 0);
  EXPECT_EQ(lines[2], std::make_pair(CheckLine::Camera2, true));
  int askedCamera2 = 0;
  for (const QByteArray& b : sim->Requests(1))
    askedCamera2 += b.startsWith(QByteArray("\x02\x8B", 2));
  EXPECT_EQ(askedCamera2, 1);
}

TEST_F(LineCheckTest, SilentControllerWithSomeCamerasGivesTheFallbackCode) {
  sim->Faults().silentController = true;
  sim->Faults().silentCamera[2] = true;
  sim->Faults().silentCamera[4] = true;
  SystemCheckResult r;
  Check(false, &r);
  EXPECT_FALSE(r.controller);
  EXPECT_EQ(ErrorCode(r), 8);
  EXPECT_FALSE(InitialiseLine());
}

TEST_F(LineCheckTest, FastModeLeavesTheCamerasAlone) {
  for (int n = 1; n <= 4; ++n) sim->Faults().silentCamera[n] = true;
  SystemCheckResult r;
  const auto lines = Check(true, &r);
  EXPECT_FALSE(r.camerasAsked);
  EXPECT_EQ(ErrorCode(r), 0);
  EXPECT_EQ(lines.size(), 1u);
  EXPECT_EQ(sim->Requests(1).size(), 1u);
}

TEST(SystemCheckErrorCodeTest, Table) {
  auto code = [](bool c, bool k1, bool k2, bool k3, bool k4) {
    SystemCheckResult r;
    r.controller = c;
    r.camera = {false, k1, k2, k3, k4};
    return ErrorCode(r);
  };
  EXPECT_EQ(code(true, true, true, true, true), 0);
  EXPECT_EQ(code(false, false, false, false, false), 2);
  EXPECT_EQ(code(false, true, true, true, true), 3);
  EXPECT_EQ(code(true, false, true, true, true), 4);
  EXPECT_EQ(code(true, true, true, false, true), 6);
  EXPECT_EQ(code(true, true, true, true, false), 7);
  EXPECT_EQ(code(false, true, true, true, false), 8);
  EXPECT_EQ(code(true, false, true, false, true), 8);
  EXPECT_EQ(code(true, true, false, true, true), 8);
}

// Records the names and order the ports are opened with.
struct OpenLog {
  std::vector<QString> names;
  std::vector<std::shared_ptr<linktest::FakeLine>> lines;
};

void UseLoggingFactory(OpenLog& log, std::function<bool(const QString&)> opens) {
  ControllerLink.DeviceFactory = [&log, opens] {
    auto line = std::make_shared<linktest::FakeLine>();
    log.lines.push_back(line);
    struct Dev : linktest::FakeSerialDevice {
      Dev(std::shared_ptr<linktest::FakeLine> l, OpenLog& lg, std::function<bool(const QString&)> o)
          : FakeSerialDevice(l), line(l), log(lg), opens(o) {}
      bool Open(const QString& name) override {
        log.names.push_back(name);
        line->openOk = opens(name);
        return FakeSerialDevice::Open(name);
      }
      std::shared_ptr<linktest::FakeLine> line;
      OpenLog& log;
      std::function<bool(const QString&)> opens;
    };
    return std::make_unique<Dev>(line, log, opens);
  };
}

TEST(OpenLinePortsTest, OrderAndOutcome) {
  ResetSettingsModule();
  ResetControllerLink();
  OpenLog log;
  UseLoggingFactory(log, [](const QString& n) { return n != "/dev/nothing"; });

  // Emulation opens nothing.
  EXPECT_FALSE(OpenLinePorts());
  EXPECT_TRUE(log.names.empty());

  Settings.Global.Emul = false;
  Settings.Ckt.Enable = true;
  Settings.Ckt.Port = "/dev/nothing";
  Settings.Hard.Com = "COM3";
  EXPECT_FALSE(OpenLinePorts());
  EXPECT_EQ(log.names, (std::vector<QString>{"/dev/nothing", "COM3"}));
  EXPECT_FALSE(ControllerLink.CktPortOpen);
  EXPECT_TRUE(PortIsOpen(kControllerPort));

  ResetControllerLink();
  UseLoggingFactory(log, [](const QString& n) { return n != "COM3"; });
  log.names.clear();
  Settings.Ckt.Port = "Com99";
  EXPECT_TRUE(OpenLinePorts());  // port 1 failed: error page 1
  EXPECT_TRUE(ControllerLink.CktPortOpen);
  // A port that failed stays in the table and fails every exchange at once.
  EXPECT_FALSE(ControllerCommand(kCmdPresence).ok);
  ResetControllerLink();
}

TEST_F(LineCheckTest, ScanThroughTheSimulatedLine) {
  InitialiseLine();
  for (int n = 1; n <= 4; ++n) CameraSetup(n);
  for (int n = 1; n <= 4; ++n) CameraEnable(QString::number(n), true);
  EXPECT_EQ(sim->CameraState(1).shutter, 1000);
  EXPECT_EQ(sim->CameraState(1).threshold, 100);
  EXPECT_TRUE(ControllerLongCommand(kCmdScan).ok);
  for (int n = 1; n <= 4; ++n) {
    EXPECT_TRUE(CameraReadOut(n, 3)) << n;
    EXPECT_EQ(ControllerLink.LastScanLength, 1000);
  }
  const QByteArray file = home.read("cmr3.txt");
  EXPECT_EQ(file.count('\n'), 3 + 4 * 1000);
  EXPECT_EQ(file, home.read("STORAGE/3-cmr3.txt"));
  // The points written are the ones the camera saw.
  const auto points = spring->ScanPoints(3);
  const QList<QByteArray> lines = file.split('\n');
  for (int j : {0, 17, 500, 999}) {
    const uint32_t v =
        lines[3 + 4 * j].trimmed().toUInt() + 256 * lines[4 + 4 * j].trimmed().toUInt() +
        4096 * lines[5 + 4 * j].trimmed().toUInt() + 65536 * lines[6 + 4 * j].trimmed().toUInt();
    EXPECT_EQ(v, points[j]) << j;
  }
}

TEST_F(LineCheckTest, PressReadingsAreConsistent) {
  Settings.Hard.TimeoutCk = 10;
  ASSERT_TRUE(InitialiseLine());
  ASSERT_TRUE(ForceCommand(400).ok);
  ASSERT_TRUE(ControllerCommand(kCmdResetLir).ok);
  const ControllerReply f = ForceCommand(2000);
  ASSERT_TRUE(f.ok);
  // The force command answers the spring's deflection under the load in
  // steps of 0.04 mm.
  EXPECT_NEAR(f.Value() * 0.04, spring->Deflection(2000), 0.02);
  const ControllerReply d = ControllerLongCommand(kCmdDisplacement);
  const double mm = DisplacementFromRaw(d.Value()) * 0.0396;
  EXPECT_NEAR(mm, spring->Deflection(2000) - spring->Deflection(400), 0.05);
  ControllerLongCommand(kCmdRelayUp);
  const ControllerReply h = ControllerLongCommand(kCmdPosition);
  const double height = 258.5 - (65535 - h.Value() - 8733) * 0.03996 + 0.7;
  EXPECT_NEAR(height, spring->FreeHeight(), 0.05);
}

}  // namespace
