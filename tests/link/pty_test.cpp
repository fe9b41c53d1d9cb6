// The link over real pseudo-terminals and the platform's serial port, with
// the simulated line on the other end: in a thread of this test, and as the
// linesim program.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "config/settings.h"
#include "link/camera.h"
#include "link/commands.h"
#include "link/linecheck.h"
#include "link/link.h"
#include "platform/clock.h"
#include "platform/lineclock.h"
#include "sim/simline.h"
#include "sim/simpty.h"
#include "testsupport.h"
#include "testpaths.h"

namespace {

// The simulated line on a pty pair, pumped by a thread for the test's length.
class ThreadedLine {
 public:
  explicit ThreadedLine(SimFaults faults)
      : sim_(std::make_shared<SimLine>(std::make_shared<SimpleSpringModel>(), faults)), pty_(sim_) {
    ok_ = pty_.Open(1) && pty_.Open(2);
    if (ok_) thread_ = std::thread([this] { pty_.Pump(60000, &stop_); });
  }
  ~ThreadedLine() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool ok() const { return ok_; }
  QString path(int port) const { return pty_.DevicePath(port); }

 private:
  std::shared_ptr<SimLine> sim_;
  SimPty pty_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  bool ok_ = false;
};

class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsModule();
    ResetControllerLink();
    Settings.Global.Emul = false;
  }
  void TearDown() override { ResetControllerLink(); }
  testsupport::ScratchHome home;
};

TEST_F(PtyTest, PresenceAndTimeoutOverARealPort) {
  ThreadedLine line(SimFaults{});
  ASSERT_TRUE(line.ok());
  Settings.Hard.Com = line.path(1);
  Settings.Ckt.Enable = true;
  Settings.Ckt.Port = line.path(2);
  ASSERT_FALSE(OpenLinePorts());
  EXPECT_TRUE(ControllerLink.CktPortOpen);

  const ControllerReply presence = ControllerCommand(kCmdPresence);
  EXPECT_TRUE(presence.ok);
  EXPECT_EQ(ControllerLink.FrameLength, 7);
  EXPECT_EQ(ControllerLink.FrameBuffer[1], kControllerAddress);
  EXPECT_TRUE(CameraPresent(3));
  const TestBoardReply board = TestBoardCommand(0x60);
  ASSERT_TRUE(board.ok);
  EXPECT_EQ(board.R[1], '2');

  // Camera 5 is nobody on the line: the reception times out, and the
  // virtual clock moves on by at least the real time waited.
  QElapsedTimer real;
  real.start();
  const uint32_t t0 = plat::TickCount();
  EXPECT_FALSE(CameraPresent(5));
  EXPECT_EQ(ControllerLink.FrameStatus, kFrameNoStart);
  EXPECT_GE(real.elapsed(), 200);  // the drain and the reception each wait 100 ms
  EXPECT_GE(plat::TickCount() - t0, 100u + 100u + 120u + 100u);
}

TEST_F(PtyTest, SilentControllerTimesOut) {
  SimFaults faults;
  faults.silentController = true;
  ThreadedLine line(faults);
  ASSERT_TRUE(line.ok());
  ASSERT_TRUE(OpenPort(kControllerPort, line.path(1)));
  QElapsedTimer real;
  real.start();
  EXPECT_FALSE(ControllerCommand(kCmdPresence).ok);
  EXPECT_GE(real.elapsed(), 200);
  EXPECT_LT(real.elapsed(), 2000);
  EXPECT_EQ(ControllerLink.FrameStatus, kFrameNoStart);
  // The cameras on the same line still answer.
  EXPECT_TRUE(CameraPresent(1));
}

// The linesim program with its options; the device of its port 1.
QString StartLinesim(QProcess& p, const QStringList& options) {
  const QString linesim = QFileInfo(KALVOR_MKINSTALL).absolutePath() + "/linesim";
  p.start(linesim, QStringList{"--for", "60"} + options);
  if (!p.waitForStarted(5000)) return {};
  QString com;
  QElapsedTimer t;
  t.start();
  while (com.isEmpty() && t.elapsed() < 10000 && p.state() == QProcess::Running) {
    p.waitForReadyRead(200);
    while (p.canReadLine()) {
      const QString l = QString::fromLocal8Bit(p.readLine()).trimmed();
      if (l.startsWith("[Hard] Com=")) com = l.mid(11);
    }
  }
  return com;
}

// The linesim program with the clock shared: the line's delays and the
// link's time-outs pass on the program's virtual clock, so the check of the
// line, its initialisation and the scan that completes by itself after the
// line's full second cost no real time.
TEST_F(PtyTest, LinesimProgramServesAScanOnTheVirtualClock) {
  QTemporaryDir dir;
  QProcess p;
  Settings.Hard.Com =
      StartLinesim(p, {"--points", "400", "--silent-camera", "4", "--clock", dir.filePath("clock")});
  ASSERT_FALSE(Settings.Hard.Com.isEmpty());
  ASSERT_EQ(plat::FollowLineClock(dir.filePath("clock")), QString());
  ASSERT_FALSE(OpenLinePorts());
  QElapsedTimer real;
  real.start();
  uint32_t t0 = plat::TickCount();
  SystemCheckResult r = CheckLineDevices(false);
  EXPECT_FALSE(r.camera[4]);
  EXPECT_TRUE(r.controller && r.camera[1] && r.camera[2] && r.camera[3]);
  EXPECT_GE(plat::TickCount() - t0, 100u + 100u);  // camera 4's drain and reception
  EXPECT_TRUE(InitialiseLine());
  CameraSetup(1);
  CameraEnable("1", true);
  t0 = plat::TickCount();
  EXPECT_TRUE(ControllerLongCommand(kCmdScan).ok);
  EXPECT_GE(plat::TickCount() - t0, 1000u);
  EXPECT_LT(plat::TickCount() - t0, 1200u);
  EXPECT_TRUE(CameraReadOut(1, 1));
  EXPECT_EQ(ControllerLink.LastScanLength, 400);
  EXPECT_EQ(home.read("cmr1.txt").count('\n'), 3 + 4 * 400);
  EXPECT_LT(real.elapsed(), 1000);
  ResetControllerLink();
  p.kill();
  p.waitForFinished(5000);
}

}  // namespace
