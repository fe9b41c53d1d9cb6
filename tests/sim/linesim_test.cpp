// The linesim program: its command line, its output and its request log,
// with the program's link on the pseudo-terminals it makes.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "config/settings.h"
#include "linefilters.h"
#include "link/camerascan.h"
#include "link/commands.h"
#include "link/link.h"
#include "linkexchanges.h"
#include "mathem/coilgeometry.h"
#include "mathem/profiles.h"
#include "platform/clock.h"
#include "platform/lineclock.h"
#include "sim/simcoilspring.h"
#include "sim/simoptions.h"
#include "testsupport.h"
#include "testpaths.h"

namespace {

QString Linesim() {
  return QFileInfo(KALVOR_MKINSTALL).absolutePath() + "/linesim";
}

// linesim running for the length of a test, with the lines it printed
// until it was ready.
class RunningLinesim {
 public:
  explicit RunningLinesim(const QStringList& options) {
    process_.start(Linesim(), QStringList{"--for", "120"} + options);
    if (!process_.waitForStarted(5000)) return;
    QElapsedTimer t;
    t.start();
    while (!(lines.size() && lines.last().contains("ready")) && t.elapsed() < 10000) {
      process_.waitForReadyRead(200);
      while (process_.canReadLine()) lines << QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
  }
  ~RunningLinesim() {
    ResetControllerLink();
    process_.kill();
    process_.waitForFinished(5000);
  }
  // The device of "[Hard] Com=" or "[Ckt] Port=".
  QString Device(const QString& key) const {
    const QRegularExpression line("^\\[\\w+\\] " + key + "=(/dev/\\S+)$");
    for (const QString& l : lines)
      if (const auto m = line.match(l); m.hasMatch()) return m.captured(1);
    return {};
  }
  // Opens both ports of the program's link on the line.
  bool Connect() const {
    return OpenPort(kControllerPort, Device("Com")) && OpenPort(kTestBoardPort, Device("Port"));
  }

  QStringList lines;

 private:
  QProcess process_;
};

TEST(LinesimOptions, EveryOptionSetsItsFault) {
  const LinesimParse p = ParseLinesimOptions({"--silent",
                                              "camera2",
                                              "--silent",
                                              "board",
                                              "--late",
                                              "controller",
                                              "250",
                                              "--cut-device",
                                              "camera4",
                                              "9",
                                              "--garble-device",
                                              "board",
                                              "0.25",
                                              "--fail",
                                              "board",
                                              "0x65",
                                              "--fail",
                                              "camera1",
                                              "140",
                                              "--fail-nth",
                                              "controller",
                                              "0x0E",
                                              "4",
                                              "--fail-nth",
                                              "controller",
                                              "11",
                                              "2",
                                              "--stuck-input",
                                              "d1",
                                              "open",
                                              "--stuck-input",
                                              "d0",
                                              "closed",
                                              "--dead-adc",
                                              "--lir-error",
                                              "-6",
                                              "--log",
                                              "requests.log",
                                              "--for",
                                              "2.5"});
  ASSERT_TRUE(p.ok) << p.error.toStdString();
  const SimFaults& f = p.options.faults;
  EXPECT_TRUE(f.silentCamera[2]);
  EXPECT_TRUE(f.silentBoard);
  EXPECT_FALSE(f.silentController);
  EXPECT_EQ(f.Of(SimDevice::Controller).lateMs, 250u);
  EXPECT_EQ(f.Of(SimDevice::Camera4).cutAfter, 9);
  EXPECT_EQ(f.Of(SimDevice::Board).garble, 0.25);
  EXPECT_EQ(f.Of(SimDevice::Board).fail, std::set<uint8_t>{0x65});
  EXPECT_EQ(f.Of(SimDevice::Camera1).fail, std::set<uint8_t>{0x8C});
  EXPECT_EQ(f.Of(SimDevice::Controller).failNth,
            (std::set<std::pair<uint8_t, int>>{{0x0E, 4}, {0x0B, 2}}));
  EXPECT_TRUE(f.Of(SimDevice::Controller).fail.empty());
  EXPECT_EQ(f.stuckInputClosed[1], std::optional<bool>(false));
  EXPECT_EQ(f.stuckInputClosed[0], std::optional<bool>(true));
  EXPECT_TRUE(f.deadAdc);
  EXPECT_EQ(f.lirError, -6);
  EXPECT_EQ(p.options.logFile, "requests.log");
  EXPECT_EQ(p.options.runForSeconds, 2.5);
  EXPECT_TRUE(p.options.board);
}

TEST(LinesimOptions, TheEarlierOptionsKeepTheirMeaning) {
  const LinesimParse p = ParseLinesimOptions({"--no-board",
                                              "--silent-controller",
                                              "--silent-camera",
                                              "2",
                                              "--silent-camera",
                                              "4",
                                              "--silent-board",
                                              "--cut",
                                              "4",
                                              "--garble",
                                              "0.5",
                                              "--seed",
                                              "7",
                                              "--points",
                                              "400",
                                              "--height",
                                              "251.5",
                                              "--diameter",
                                              "200",
                                              "--wire",
                                              "28",
                                              "--pitch",
                                              "50",
                                              "--tilt",
                                              "1.5",
                                              "--stiffness",
                                              "163",
                                              "--for",
                                              "120"});
  ASSERT_TRUE(p.ok) << p.error.toStdString();
  const LinesimOptions& o = p.options;
  EXPECT_FALSE(o.board);
  EXPECT_TRUE(o.faults.silentController && o.faults.silentBoard);
  EXPECT_TRUE(o.faults.silentCamera[2] && o.faults.silentCamera[4]);
  EXPECT_FALSE(o.faults.silentCamera[1] || o.faults.silentCamera[3]);
  EXPECT_EQ(o.faults.cutAfter, 4);
  EXPECT_EQ(o.faults.garble, 0.5);
  EXPECT_EQ(o.faults.seed, 7u);
  EXPECT_EQ(o.spring.scanPoints, 400);
  EXPECT_EQ(o.spring.freeHeight, 251.5);
  EXPECT_EQ(o.spring.coilDiameter, 200);
  EXPECT_EQ(o.spring.wireDiameter, 28);
  EXPECT_EQ(o.spring.pitch, 50);
  EXPECT_EQ(o.spring.tiltDegrees, 1.5);
  EXPECT_EQ(o.spring.stiffness, 163);
  EXPECT_EQ(o.runForSeconds, 120);
}

TEST(LinesimOptions, BadOptionsAreNamed) {
  const std::vector<std::pair<QStringList, QString>> cases = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"--silent", "camera5"}, "--silent takes a device"},
      {{"--late", "board"}, "--late takes milliseconds"},
      {{"--late", "board", "-3"}, "--late takes milliseconds"},
      {{"--cut-device", "camera1", "0"}, "--cut-device takes a byte count"},
      {{"--garble-device", "controller", "1.5"}, "--garble-device takes a chance"},
      {{"--fail", "board", "0x100"}, "--fail takes a command code"},
      {{"--fail", "board", "6g"}, "--fail takes a command code"},
      {{"--fail-nth", "controller", "0x0E", "0"}, "--fail-nth takes a request number"},
      {{"--fail-nth", "controller", "0x0E"}, "--fail-nth takes a request number"},
      {{"--fail-nth", "controller", "0x1FF", "2"}, "--fail-nth takes a command code"},
      {{"--stuck-input", "d2", "open"}, "--stuck-input takes d0 or d1"},
      {{"--stuck-input", "d1", "shut"}, "--stuck-input takes d0 or d1"},
      {{"--lir-error", "1001"}, "--lir-error takes a whole number"},
      {{"--lir-error", "2.5"}, "--lir-error takes a whole number"},
      {{"--silent-camera", "5"}, "--silent-camera takes a camera 1..4"},
      {{"--cut"}, "--cut takes a byte count"},
      {{"--points", "30001"}, "--points takes 0..30000"},
      {{"--height", "x"}, "--height takes millimetres"},
  };
  for (const auto& [args, message] : cases) {
    const LinesimParse p = ParseLinesimOptions(args);
    EXPECT_FALSE(p.ok) << args.join(' ').toStdString();
    EXPECT_TRUE(p.error.startsWith(message)) << p.error.toStdString();
  }
}

TEST(LinesimProgram, HelpNamesEveryOption) {
  const auto r = testsupport::Run(Linesim(), {"--help"}, 10000);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0);
  for (const char* option : {"--no-board",      "--silent-controller",
                             "--silent-camera", "--silent-board",
                             "--cut",           "--garble",
                             "--seed",          "--points",
                             "--height",        "--diameter",
                             "--wire",          "--pitch",
                             "--tilt",          "--stiffness",
                             "--for",           "--silent",
                             "--late",          "--cut-device",
                             "--garble-device", "--fail",
                             "--stuck-input",   "--dead-adc",
                             "--lir-error",     "--log",
                             "--fail-nth",      "--clock",
                             "--help"}) {
    // The option at the start of its line, its explanation on the next.
    const QRegularExpression line(QString("\\n  %1( [^\\n]*)?\\n {6}\\S").arg(option));
    EXPECT_TRUE(line.match(r.out).hasMatch()) << option;
  }
}

TEST(LinesimProgram, ABadCommandLineEndsWithTwo) {
  for (const QStringList& args : {QStringList{"--bogus"}, QStringList{"--fail", "camera9", "1"},
                                  QStringList{"--lir-error"}}) {
    const auto r = testsupport::Run(Linesim(), args, 10000);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(r.err.startsWith("linesim: ")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(args[0])) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
  }
  const auto r = testsupport::Run(Linesim(), {"--log", "/nonexistent-dir/x.log"}, 10000);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(r.err.contains("/nonexistent-dir/x.log")) << r.err.toStdString();
}

// linesim as one starts it: the setup.ini lines, the hint and the faults
// on its output, and a log line for every request the link writes to its
// pseudo-terminals, appended to what the file held.
TEST(LinesimProgram, LogsEveryRequestItReceives) {
  plat::UseVirtualClock();
  ResetSettingsModule();
  ResetControllerLink();
  testsupport::ScratchHome home;
  const QString log = home.file("requests.log");
  home.write("requests.log", "earlier line\n");
  {
    RunningLinesim line({"--log", log, "--fail", "board", "0x65"});
    const QStringList& lines = line.lines;
    ASSERT_EQ(lines.size(), 5) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith("[Hard] Com=/dev/"));
    EXPECT_TRUE(lines[1].startsWith("[Ckt] Port=/dev/"));
    EXPECT_FALSE(line.Device("Com").isEmpty());
    EXPECT_FALSE(line.Device("Port").isEmpty());
    EXPECT_TRUE(lines[2].contains("[Ckt] Enable=1"));
    EXPECT_EQ(lines[3], "linesim: fault: board does not answer 0x65");

    ASSERT_TRUE(line.Connect());
    EXPECT_TRUE(ControllerCommand(kCmdPresence).ok);
    EXPECT_FALSE(TestBoardCommand(0x65).ok);
    const TestBoardReply version = TestBoardCommand(0x60);
    ASSERT_TRUE(version.ok);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(&version.R[1]), 4), "2.01");
    ControllerCommand(kCmdForce, 0x90, 0x01);
  }
  const QStringList logged =
      QString::fromLatin1(home.read("requests.log")).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(logged.size(), 5) << logged.join('\n').toStdString();
  EXPECT_EQ(logged[0], "earlier line");
  const QStringList bodies = {"1 F0 FF 00 00 00", "2 61 65 00 00 00", "2 61 60 00 00 00",
                              "1 F0 0E 90 01 00"};
  int previous = -1;
  for (int i = 0; i < 4; ++i) {
    const auto m = QRegularExpression("^(\\d+) (.*)$").match(logged[i + 1]);
    ASSERT_TRUE(m.hasMatch()) << logged[i + 1].toStdString();
    EXPECT_EQ(m.captured(2), bodies[i]);
    EXPECT_GE(m.captured(1).toInt(), previous);
    previous = m.captured(1).toInt();
  }
}

// The hardware tests' exchanges over linesim's pseudo-terminals, the line
// keeping the test's virtual clock, with a LIR that loses 6 pulses in 1000:
// the scan still gets its readings within 990..1010, the LIR's forward count
// is 994, and the scan's reply, which comes while the board is being talked
// to, disturbs no later exchange.
TEST(LinesimProgram, HardwareTestsOverThePseudoTerminals) {
  plat::UseVirtualClock();
  ResetSettingsModule();
  ResetControllerLink();
  testsupport::ScratchHome home;
  QTemporaryDir dir;
  RunningLinesim line({"--lir-error", "-6", "--clock", dir.filePath("clock")});
  ASSERT_EQ(plat::FollowLineClock(dir.filePath("clock")), QString());
  ASSERT_TRUE(line.Connect()) << line.lines.join('\n').toStdString();
  const int length = simtest::SynchronisationScanLength();
  EXPECT_GT(length, 990);
  EXPECT_LT(length, 1010);
  EXPECT_EQ(length, 7952 / 8);
  EXPECT_EQ(simtest::LirCounts().first, 994);
  const ControllerReply inputs = ControllerCommand(kCmdReadInputs);
  EXPECT_TRUE(inputs.ok);
  EXPECT_EQ(ControllerLink.FrameBuffer[2], kCmdReadInputs);
  EXPECT_EQ(inputs.R3, 0);
}

}  // namespace

// linesim's cameras see the coil spring of its options: a measurement's scan
// over the pseudo-terminal, read through a new installation's calibration
// tables, gives back the diameter, and the press the free height.
// On the virtual clock, which the line keeps, as the test above.
TEST(LinesimProgram, AMeasurementsScanGivesBackTheModelledSpring) {
  plat::UseVirtualClock();
  ResetSettingsModule();
  ResetControllerLink();
  ResetProfileStore();
  ResetCoilResults();
  Settings.Global.Emul = false;
  testsupport::CommissionFilters();
  testsupport::ScratchHome home;
  ASSERT_TRUE(WriteCalibrationTables(InstalledCalibration()));
  std::vector<int> errorPages;
  ProfileStore.errorPage = [&](int code) { errorPages.push_back(code); };
  ProfileStore.message = [](const QString&) {};
  {
    QTemporaryDir dir;
    RunningLinesim line({"--no-board", "--diameter", "203.5", "--height", "251.2", "--tilt", "0",
                         "--clock", dir.filePath("clock")});
    ASSERT_EQ(plat::FollowLineClock(dir.filePath("clock")), QString());
    ASSERT_TRUE(OpenPort(kControllerPort, line.Device("Com")));
    QString error;
    ASSERT_EQ(CameraScan(MeasurementType::Full, "7", {}, error), ScanOutcome::Done) << error.toStdString();
    LoadProfiles(0);
    ComputeDiameter();
    EXPECT_NEAR(CoilResults.MeasuredDiameter, 203.5, 0.5);
    ComputeNonPerpendicularity();
    EXPECT_LT(CoilResults.MeasuredNonPerpendicularity, 1.0);
    EXPECT_TRUE(ControllerLongCommand(kCmdRelayUp).ok);
    const ControllerReply pos = ControllerLongCommand(kCmdPosition);
    ASSERT_TRUE(pos.ok);
    EXPECT_NEAR(258.5 - (65535 - pos.Value() - 8733) * 0.03996 + 0.7, 251.2, 0.05);
  }
  EXPECT_TRUE(errorPages.empty());
  ResetProfileStore();
}
