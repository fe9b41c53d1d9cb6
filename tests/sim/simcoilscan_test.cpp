// The simulated line's camera scan through the program's own camera
// operations and profile mathematics: the spring linesim models is scanned,
// read out into the camera files and computed as a measurement computes it,
// with a new installation's settings and calibration tables and the filter
// constants of a commissioned line.
#include <gtest/gtest.h>

#include <algorithm>

#include "../link/fakeserial.h"
#include "DALNOMER/calibration.h"
#include "config/settings.h"
#include "linefilters.h"
#include "link/camera.h"
#include "link/camerascan.h"
#include "link/link.h"
#include "mathem/coilgeometry.h"
#include "mathem/profiles.h"
#include "platform/clock.h"
#include "sim/simcoilspring.h"
#include "testsupport.h"

namespace {

class SimCoilScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::UseVirtualClock();
    ResetSettingsModule();
    ResetControllerLink();
    ResetProfileStore();
    ResetCoilResults();
    Settings.Global.Emul = false;
    testsupport::CommissionFilters();
    ProfileStore.errorPage = [this](int code) { errorPages.push_back(code); };
    ProfileStore.message = [](const QString&) {};
    ASSERT_TRUE(WriteCalibrationTables(InstalledCalibration()));
  }
  void TearDown() override {
    ResetControllerLink();
    ResetProfileStore();
  }

  struct Result {
    float diameter;
    float nonPerpendicularity;
  };

  // One measurement's scan of the spring and the two chains on its files.
  Result Measure(const SimpleSpring& s, int storageIndex = 1) {
    sim = std::make_shared<SimLine>(MakeLineSpring(s));
    linktest::OpenSimPorts(sim);
    QString error;
    EXPECT_EQ(CameraScan(MeasurementType::Full, QString::number(storageIndex), {}, error),
              ScanOutcome::Done)
        << error.toStdString();
    LoadProfiles(0);
    ComputeDiameter();
    const float d = CoilResults.MeasuredDiameter;
    ComputeNonPerpendicularity();
    EXPECT_TRUE(CoilResults.geometryFault.isEmpty()) << CoilResults.geometryFault.toStdString();
    ResetControllerLink();
    return {d, CoilResults.MeasuredNonPerpendicularity};
  }

  testsupport::ScratchHome home;
  std::shared_ptr<SimLine> sim;
  std::vector<int> errorPages;
};

}  // namespace

// The cameras read through the very tables mkinstall writes into a new
// installation, line for line.
TEST_F(SimCoilScanTest, InstalledCalibrationIsTheOneMkinstallWrites) {
  testsupport::ScratchHome install;
  ASSERT_TRUE(testsupport::MakeInstallation(install.path() + "/inst"));
  const ModelCalibration cal = InstalledCalibration();
  for (int n = 1; n <= 4; ++n) {
    ASSERT_EQ(cal.tables[n].size(), 2048u);
    const QStringList written =
        QString::fromLatin1(install.read(QString("inst/Tabl1/cal%1.txt").arg(n)))
            .remove('\r')
            .split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(written, CalibrationTableLines(cal, n)) << "camera " << n;
  }
  // A reading put out for a distance reads back within a table step.
  for (double d : {45.0, 120.0, 190.0}) {
    const int r = ReadingForDistance(cal, d, 3);
    ASSERT_NE(r, kNoReading);
    EXPECT_NEAR(cal.tables[3][r + 65], d, 0.06);
  }
}

// The diameter comes back within 0.5 mm for the springs of both bogie types:
// the inner (about 135 mm) and outer (about 190..200 mm) springs keep it,
// as their types' corrections are neutral (Mul 1, Add 0); the wedge spring
// (above k15 = 225 mm) is the one the measurement reports reduced by 60 mm.
TEST_F(SimCoilScanTest, ScanThroughTheLinkGivesBackTheModelledDiameter) {
  struct Case {
    double diameter, wire, pitch;
  };
  for (const Case c : {Case{190, 30, 48}, Case{135, 16, 40}, Case{200, 30, 52}, Case{240, 32, 56},
                       Case{146, 20, 44}}) {
    SimpleSpring s;
    s.coilDiameter = c.diameter;
    s.wireDiameter = c.wire;
    s.pitch = c.pitch;
    s.tiltDegrees = 0;
    const Result r = Measure(s);
    EXPECT_NEAR(r.diameter, c.diameter, 0.5) << "diameter " << c.diameter;
    EXPECT_LT(r.nonPerpendicularity, 1.0) << "diameter " << c.diameter;
  }
  EXPECT_TRUE(errorPages.empty());
  // The read-out wrote every camera's file and its copy for the measurement.
  for (int n = 1; n <= 4; ++n) {
    EXPECT_FALSE(home.read(QString("cmr%1.txt").arg(n)).isEmpty()) << n;
    EXPECT_FALSE(home.read(QString("STORAGE/1-cmr%1.txt").arg(n)).isEmpty()) << n;
  }
}

TEST_F(SimCoilScanTest, NonPerpendicularityGrowsWithTheModelledTilt) {
  float last = -0.001f;
  for (double tilt : {0.0, 0.5, 1.0, 2.0, 3.0}) {
    SimpleSpring s;
    s.tiltDegrees = tilt;
    const Result r = Measure(s);
    EXPECT_GT(r.nonPerpendicularity, last) << "tilt " << tilt;
    EXPECT_NEAR(r.diameter, s.coilDiameter, 0.5) << "tilt " << tilt;
    last = r.nonPerpendicularity;
  }
  // A straight spring reads 0; the value grows about in proportion to the
  // tilt (some 0.6 per degree between the coils the chain compares).
  EXPECT_GT(last, 1.5) << "at 3 degrees";
}

// The press sees the same spring as the cameras.
TEST_F(SimCoilScanTest, ThePressAndTheCamerasShareTheSpring) {
  SimpleSpring s;
  s.freeHeight = 252.4;
  s.stiffness = 250;
  s.scanPoints = 800;
  const auto spring = MakeLineSpring(s);
  EXPECT_EQ(spring->FreeHeight(), 252.4);
  EXPECT_DOUBLE_EQ(spring->Deflection(14000), 56.0);
  EXPECT_EQ(spring->Deflection(0), 0.0);
  for (int n = 1; n <= 4; ++n) {
    const auto points = spring->ScanPoints(n);
    ASSERT_EQ(points.size(), 800u);
    // Every camera sees coils and gaps.
    const auto seen = std::count_if(points.begin(), points.end(), [](uint32_t p) { return p; });
    EXPECT_GT(seen, 100) << n;
    EXPECT_LT(seen, 700) << n;
  }
  EXPECT_TRUE(spring->ScanPoints(0).empty());
  EXPECT_TRUE(spring->ScanPoints(5).empty());
}

// The range form's single look (0x8D) finds wire on every camera, although
// the middle of a scan may fall between two coils.
TEST_F(SimCoilScanTest, ASingleLookSeesTheWireNearestTheMiddle) {
  SimpleSpring s;
  sim = std::make_shared<SimLine>(MakeLineSpring(s));
  linktest::OpenSimPorts(sim);
  const auto spring = MakeLineSpring(s);
  int middleInAGap = 0;
  for (int n = 1; n <= 4; ++n) {
    CameraSetup(n);
    CameraEnable(QString::number(n), true);
    ASSERT_TRUE(CameraResetB(n));
    ASSERT_EQ(sim->CameraState(n).points.size(), 1u);
    const uint32_t look = sim->CameraState(n).points[0];
    EXPECT_NE(look, 0u) << n;
    const auto scan = spring->ScanPoints(n);
    EXPECT_NE(std::find(scan.begin(), scan.end(), look), scan.end()) << n;
    if (scan[scan.size() / 2] == 0) ++middleInAGap;
  }
  // The case the search is for happens with the default spring.
  EXPECT_GT(middleInAGap, 0);
}
