#include <cmath>

#include "linefilters.h"
#include "mathemsupport.h"
#include "platform/textfile.h"
#include "sim/simcoilspring.h"

namespace {

// Camera geometry and filter constants under which the modelled spring's
// coils come through the chain whole.
void LineSettings() {
  auto& m = Settings.Mathem;
  for (int n = 1; n <= 4; ++n) m.gx[n] = 120;
  m.Va = m.Vb = 360;
  testsupport::CommissionFilters();
}

struct Measured {
  float diameter;
  float nonPerpendicularity;
};

Measured MeasureModel(const SpringModel& spring) {
  const ModelCalibration cal;
  EXPECT_TRUE(WriteCalibrationTables(cal));
  EXPECT_TRUE(WriteModelledScan(spring, LayoutFromSettings(), cal));
  LoadProfiles(0);
  ComputeDiameter();
  const float d = CoilResults.MeasuredDiameter;
  ComputeNonPerpendicularity();
  EXPECT_EQ(CoilResults.MeasuredDiameter, d);  // the chain recomputes the same diameter
  return {d, CoilResults.MeasuredNonPerpendicularity};
}

}  // namespace

TEST_F(MathemTest, SpringTypeByDiameterOfBogieTypeOne) {
  Settings.Mathem.k[13] = 200;
  Settings.Mathem.k[14] = 220;
  Settings.Mathem.k[15] = 240;
  EXPECT_EQ(SpringTypeByDiameter(200), 1);
  EXPECT_EQ(SpringTypeByDiameter(210), 2);
  EXPECT_EQ(SpringTypeByDiameter(220), 2);
  EXPECT_EQ(SpringTypeByDiameter(230), 1);  // between k14 and k15
  EXPECT_EQ(SpringTypeByDiameter(240), 1);
  EXPECT_EQ(SpringTypeByDiameter(241), 3);
  EXPECT_EQ(SpringTypeByDiameter(240.5), 3);
}

TEST_F(MathemTest, SpringTypeByDiameterOfOtherBogieTypes) {
  Settings.Mathem.k[16] = 150;
  CurrentBogieType() = 2;
  EXPECT_EQ(SpringTypeByDiameter(150), 1);
  EXPECT_EQ(SpringTypeByDiameter(150.5), 2);
  CurrentBogieType() = 3;
  EXPECT_EQ(SpringTypeByDiameter(1000), 1);
}

TEST_F(MathemTest, DiameterCaptionNamesTheSpringTypeAndTheBogieType) {
  // The bogie file is CP1251, as the installation holds it.
  ASSERT_TRUE(plat::WriteTextLines(
      "types.ini",
      {"[Global]", "MaxChNum=2", "[Chassie1]", "Name=Тележка А", "MaxSprings=2", "Spring1=1",
       "Spring2=2", "[Chassie2]", "Name=Тележка Б", "MaxSprings=2", "Spring1=2", "Spring2=1",
       "[Spring1]", "AltName=Нар", "[Spring2]", "AltName=Вн"}));
  LoadSpringTypesFrom(home.file("types.ini"));
  ASSERT_TRUE(WriteCalibrationTables(ModelCalibration()));
  Settings.Mathem.k[13] = 0;  // every diameter above k13 and up to k14: type 2
  Settings.Mathem.k[14] = 10000;
  DiameterStep();
  const QString d = DiameterText(CoilResults.MeasuredDiameter);
  EXPECT_EQ(Visualiser.caption, d + "(Вн) т.Тележка А");
  CurrentBogieType() = 2;  // k16 at its default: type 1
  DiameterStep();
  EXPECT_EQ(Visualiser.caption, d + "(Вн) т.Тележка Б");
}

TEST_F(MathemTest, DiameterCaptionText) {
  EXPECT_EQ(DiameterText(7.5), " 7.50");
  EXPECT_EQ(DiameterText(235.4f), "235.40");
  EXPECT_EQ(DiameterText(0), " 0.00");
}

TEST_F(MathemTest, PointsChosenByTheLeftOutCamera) {
  auto& m = Settings.Mathem;
  for (int n = 1; n <= 4; ++n) m.gx[n] = n;  // gx1..gx4 = 1..4
  m.Va = 100;
  m.Vb = 200;
  const float d[5] = {0, 10, 20, 30, 40};
  // The cameras' points: 1 (1, 10), 2 (20, 2), 3 (3, 170), 4 (60, 4).
  const QPointF c1(1, 10), c2(20, 2), c3(3, 170), c4(60, 4);
  struct Case {
    int nm;
    QPointF p1, p2, p3;
    float a1, a2;
  } cases[] = {{1, c2, c4, c3, 170, 60}, {2, c1, c4, c3, 10, 60},  {3, c1, c4, c2, 10, 60},
               {4, c1, c2, c3, 10, 20},  {0, c2, c4, c3, 170, 60},  // no such camera: as NMCam 1
               {7, c2, c4, c3, 170, 60}};
  for (const Case& c : cases) {
    m.NMCam = c.nm;
    const CoilPoints p = PointsFromDistances(d);
    EXPECT_EQ(p.p1, c.p1) << c.nm;
    EXPECT_EQ(p.p2, c.p2) << c.nm;
    EXPECT_EQ(p.p3, c.p3) << c.nm;
    EXPECT_EQ(p.a1, c.a1) << c.nm;
    EXPECT_EQ(p.a2, c.a2) << c.nm;
  }
  // Volhov moves camera 4 to u = d(4), only when camera 2 is left out.
  Settings.Global.Volhov = true;
  m.NMCam = 2;
  EXPECT_EQ(PointsFromDistances(d).p2, QPointF(40, 4));
  EXPECT_EQ(PointsFromDistances(d).a2, 40);
  m.NMCam = 3;
  EXPECT_EQ(PointsFromDistances(d).p2, c4);
}

TEST_F(MathemTest, CircleThroughThreePointsAndItsDegenerateCases) {
  // A circle of radius 50 about (180, 170).
  auto on = [](double deg) {
    return QPointF(180 + 50 * std::cos(deg * M_PI / 180), 170 + 50 * std::sin(deg * M_PI / 180));
  };
  bool collinear = true;
  EXPECT_NEAR(CircleDiameter(on(10), on(100), on(230), &collinear), 100, 0.01);
  EXPECT_FALSE(collinear);
  // P1P2 upright (x2 = x1): the 0.0001 in the slope keeps it finite.
  EXPECT_NEAR(CircleDiameter(QPointF(0, 0), QPointF(0, 10), QPointF(5, 5)), 10, 0.01);
  // P1P2 level (slope 0): the centre comes from the other chord.
  EXPECT_NEAR(CircleDiameter(QPointF(0, 0), QPointF(10, 0), QPointF(5, 5)), 10, 0.01);
  EXPECT_NEAR(CircleDiameter(QPointF(5, 5), QPointF(0, 0), QPointF(10, 0)), 10, 0.01);
  // Three points in a line, or three times one point: no circle, diameter 0.
  EXPECT_EQ(CircleDiameter(QPointF(0, 0), QPointF(10, 5), QPointF(20, 10), &collinear), 0);
  EXPECT_TRUE(collinear);
  EXPECT_EQ(CircleDiameter(QPointF(0, 3), QPointF(10, 3), QPointF(20, 3), &collinear), 0);
  EXPECT_TRUE(collinear);
  EXPECT_EQ(CircleDiameter(QPointF(4, 4), QPointF(4, 4), QPointF(4, 4), &collinear), 0);
  EXPECT_TRUE(collinear);
}

TEST_F(MathemTest, DiameterStepWithEmptyWindowsUsesTableLine65AndReportsNoCircle) {
  ModelCalibration cal;
  ASSERT_TRUE(WriteCalibrationTables(cal));
  // Every camera without a coil: all distances are line 65's, which puts
  // the three points on no common circle only by chance; here they are the
  // corners of a right triangle.
  DiameterStep();
  const float d65 = static_cast<float>(CalibrationDistance(cal, 65));
  // NMCam 1: cameras 2 (d, 80), 4 (360 - d, 80), 3 (80, 360 - d).
  const QPointF p1(d65, 80), p2(360 - d65, 80), p3(80, 360 - d65);
  EXPECT_NEAR(CoilResults.MeasuredDiameter, CircleDiameter(p1, p2, p3), 1e-3);
  EXPECT_TRUE(std::isfinite(CoilResults.MeasuredDiameter));
  EXPECT_TRUE(Visualiser.caption.startsWith(DiameterText(CoilResults.MeasuredDiameter) + "("));
  EXPECT_EQ(CoilResults.T1, 360 - d65);
  EXPECT_EQ(CoilResults.T2, 360 - d65);

  // Points in a line: the diameter is 0, and why is kept.
  Settings.Mathem.gx[2] = Settings.Mathem.gx[4] = 80;
  Settings.Mathem.Vb = 80 + d65;  // camera 3's point moves onto v = 80
  DiameterStep();
  EXPECT_EQ(CoilResults.MeasuredDiameter, 0);
  EXPECT_FALSE(CoilResults.geometryFault.isEmpty());
}

TEST_F(MathemTest, NonPerpendicularityAgainstTheUpperReadings) {
  ModelCalibration cal;
  ASSERT_TRUE(WriteCalibrationTables(cal));
  Settings.Mathem.NMCam = 4;
  CoilResults.T1 = 10;
  CoilResults.T2 = 20;
  NonPerpendicularityStep();
  // NMCam 4: B1 = d(1), B2 = d(2) of the empty windows (line 65).
  const float d65 = static_cast<float>(CalibrationDistance(cal, 65));
  EXPECT_EQ(CoilResults.B1, d65);
  EXPECT_EQ(CoilResults.B2, d65);
  const float expected = static_cast<float>(1.3 * std::hypot(d65 - 10.0, d65 - 20.0));
  EXPECT_FLOAT_EQ(CoilResults.MeasuredNonPerpendicularity, expected);
  // The caption is the shortest text that reads back as the stored result.
  EXPECT_EQ(Visualiser.caption.toFloat(), CoilResults.MeasuredNonPerpendicularity);
  EXPECT_FALSE(Visualiser.caption.contains(' '));
}

TEST_F(MathemTest, ModelledSpringGivesBackItsDiameter) {
  LineSettings();
  SpringModel spring;
  for (int nm = 1; nm <= 4; ++nm) {
    Settings.Mathem.NMCam = nm;
    const Measured r = MeasureModel(spring);
    EXPECT_NEAR(r.diameter, spring.coilDiameter, 0.5) << "NMCam " << nm;
    EXPECT_LT(r.nonPerpendicularity, 0.5) << "NMCam " << nm;
    EXPECT_TRUE(CoilResults.geometryFault.isEmpty());
  }
  Settings.Mathem.NMCam = 1;
  spring.coilDiameter = 236;
  spring.wireDiameter = 26;
  spring.pitch = 52;
  spring.phaseDeg = 70;
  EXPECT_NEAR(MeasureModel(spring).diameter, 236, 0.5);
  // Dropouts and specks are mended by the filters.
  spring.noiseSeed = 5;
  EXPECT_NEAR(MeasureModel(spring).diameter, 236, 0.5);
}

TEST_F(MathemTest, ModelledTiltRaisesTheNonPerpendicularity) {
  LineSettings();
  SpringModel spring;
  float last = -1;
  for (double tilt : {0.0, 4.0, 8.0, 16.0}) {
    spring.tilt = tilt;
    const Measured r = MeasureModel(spring);
    EXPECT_GT(r.nonPerpendicularity, last) << "tilt " << tilt;
    last = r.nonPerpendicularity;
  }
  EXPECT_GT(last, 3.0);
}

TEST_F(MathemTest, SimulatedLineModelDeliversTheModelledReadings) {
  LineSettings();
  SpringModel spring;
  const ModelCalibration cal;
  const CoilSpringSimModel sim(spring, LayoutFromSettings(), cal);
  for (int n = 1; n <= 4; ++n) {
    const std::vector<int> readings = ModelProfile(spring, LayoutFromSettings(), cal, n);
    const std::vector<uint32_t> points = sim.ScanPoints(n);
    ASSERT_EQ(points.size(), readings.size());
    for (size_t i = 0; i < points.size(); ++i) {
      const uint32_t p = points[i];
      const int decoded = DecodeReading(p & 0xFF, (p >> 8) & 0xFF, 0, p >> 16);
      ASSERT_EQ(decoded, readings[i]) << "camera " << n << " reading " << i + 1;
    }
  }
  EXPECT_EQ(sim.FreeHeight(), spring.height);
  EXPECT_DOUBLE_EQ(sim.Deflection(400), 10.0);
}
