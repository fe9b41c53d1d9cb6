// A measurement on the line, in process over the simulated line on the
// virtual clock: the exchanges in their order, the modelled spring
// recovered, the recognised spring type, the stages reported, and the
// measurement stopped by a failed force step, a camera table that can't be
// read and a camera file that can't be written.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cmath>

#include "../link/fakeserial.h"
#include "config/settings.h"
#include "database/database.h"
#include "link/commands.h"
#include "link/link.h"
#include "mathem/coilgeometry.h"
#include "mathem/mathobserver.h"
#include "mathem/profiles.h"
#include "measurement/sequence.h"
#include "platform/clock.h"
#include "platform/random.h"
#include "sim/simcoilspring.h"
#include "sim/simline.h"
#include "springs/springtypes.h"
#include "testsupport.h"

namespace {

constexpr double kStiffness = 300;

class LineMeasurementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::UseVirtualClock();
    ResetSettingsModule();
    ResetControllerLink();
    ResetDatabaseModule();
    ResetSpringTypesModule();
    ResetProfileStore();
    ResetCoilResults();
    ResetMeasurementModule();
    MathemObserver = nullptr;
    plat::EmulationRandom().seed(3);
    Settings.Global.Emul = false;
    Settings.Mathem.k[13] = 168;
    Settings.Mathem.k[14] = 215;
    Settings.Mathem.k[15] = 225;
    Settings.Mathem.k[16] = 168;
    // The line's camera geometry and filter constants under which the
    // mathematics recovers a modelled spring (as the mathematics' tests).
    for (int n = 1; n <= 4; ++n) {
      Settings.Mathem.gx[n] = 120;
      auto& k = Settings.K[n];
      k[1] = 0;
      k[2] = 2046;
      k[3] = k[4] = 0;
      k[5] = 1;
      k[6] = 1801;
      k[7] = k[8] = 3;
      k[9] = k[10] = 3;
    }
    Settings.Mathem.Va = Settings.Mathem.Vb = 360;
    QDir(home.path()).mkdir("STORAGE");
    auto& t = SpringTypeTable();
    t.MaxChNum = 3;
    for (int b = 1; b <= 3; ++b) {
      t[b].MaxSprings = 3;
      for (int s = 1; s <= 3; ++s) {
        SpringType& T = t[b].springTypes[s];
        T.Adc3 = 3000 * s;
        T.Adc1 = 14000 + 1000 * s;
        T.Odf = 0.5;
        for (int p = 1; p <= 6; ++p) {
          T.parameters[p].Midl = 1000 * p;  // far from anything measured
          T.parameters[p].Mul = 1;
        }
      }
    }
    CurrentBogieType() = 1;
    ProfileStore.errorPage = [this](int code) { profileErrors.push_back(code); };
    auto& o = Measurement.observer;
    o.stage = [this](int n, StageState s) { stages << QString("%1:%2").arg(n).arg(int(s)); };
    o.errorPage = [this](int code) { errorPages.push_back(code); };
    o.stopped = [this](const QString& text) { stopped << text; };
    o.chooseSpringType = [this](int) {
      ++choices;
      return 3;
    };
  }
  void TearDown() override {
    ResetControllerLink();
    ResetMeasurementModule();
    ResetProfileStore();
    ResetSpringTypesModule();
    ResetSettingsModule();
  }

  void Start(double coilDiameter = 210, double height = 252.4) {
    SpringModel spring;
    spring.coilDiameter = coilDiameter;
    spring.height = height;
    const ModelCalibration cal;
    ASSERT_TRUE(WriteCalibrationTables(cal));
    sim = std::make_shared<SimLine>(
        std::make_shared<CoilSpringSimModel>(spring, LayoutFromSettings(), cal, kStiffness));
    linktest::OpenSimPorts(sim);
  }

  // The controller's commands in the order sent, with a force's level.
  QStringList Commands() const {
    QStringList out;
    for (const QByteArray& b : sim->Requests(kControllerPort)) {
      if (static_cast<uint8_t>(b[0]) != kControllerAddress) continue;
      const int code = static_cast<uint8_t>(b[1]);
      QString r = QString::number(code, 16);
      if (code == kCmdForce)
        r += "@" + QString::number(static_cast<uint8_t>(b[2]) + 256 * static_cast<uint8_t>(b[3]));
      out << r;
    }
    return out;
  }

  testsupport::ScratchHome home;
  std::shared_ptr<SimLine> sim;
  QStringList stages;
  QStringList stopped;
  std::vector<int> errorPages;
  std::vector<int> profileErrors;
  int choices = 0;
};

TEST_F(LineMeasurementTest, MeasuresTheModelledSpringInOrder) {
  Start(210, 252.4);
  Database.ShiftState.CurrentIndex = 4;
  MeasurementRecord r;
  QString error;
  ASSERT_TRUE(MeasureSpring(r, 5, error)) << error.toStdString();
  EXPECT_TRUE(errorPages.empty());
  EXPECT_TRUE(stopped.empty());
  EXPECT_EQ(choices, 0);
  EXPECT_TRUE(r.Identifier.startsWith("0005-"));
  // 168 < 210 <= 215: an inner spring of type 2, its diameter as measured.
  EXPECT_EQ(r.SpringType, 2);
  EXPECT_EQ(r.BogieType, 1);
  EXPECT_EQ(r.Kind, 0);
  EXPECT_NEAR(r.Param[1].Value, 210, 1.0);
  EXPECT_NEAR(r.Param[2].Value, 252.4, 0.05);
  EXPECT_NEAR(r.Param[6].Value, 16000 / kStiffness, 0.05);  // Adc1 of type 2
  EXPECT_LT(r.Param[3].Value, 5);
  EXPECT_EQ(r.Chart[3], static_cast<int>(std::trunc(std::trunc(r.Param[6].Value) * 1.8)));
  // The camera files of the measurement are kept under its index.
  for (int n = 1; n <= 4; ++n)
    EXPECT_TRUE(QFile::exists(home.file(QString("STORAGE/4-cmr%1.txt").arg(n)))) << n;
  EXPECT_EQ(stages.join(" "), "1:2 1:3 2:2 2:3 3:2 3:3 4:2 4:3");

  // Initialise, scan, pre-load twice at Adc3 of the working type, LIR
  // reset, load, travel, second level at Adc1 of the recognised type,
  // raise, height, initialise.
  const QStringList c = Commands();
  const int scan = c.indexOf("c");
  ASSERT_GE(scan, 0);
  EXPECT_EQ(c.first(), "b");
  const QStringList tail = c.mid(scan + 1).filter(QRegularExpression("^(b|e@.*|9|f|2|11)$"));
  ASSERT_GE(tail.size(), 9);
  const QStringList last = tail.mid(tail.size() - 9);
  EXPECT_EQ(last.join(" "), "e@6000 e@6000 9 e@6000 f e@16000 2 11 b");
}

TEST_F(LineMeasurementTest, AnOuterSpringIsRecognisedAndItsDiameterSubstituted) {
  Start(240, 250);
  MeasurementRecord r;
  QString error;
  ASSERT_TRUE(MeasureSpring(r, 1, error)) << error.toStdString();
  // d > k15: type 3, and the substitution of its diameter follows.
  EXPECT_EQ(r.SpringType, 3);
  EXPECT_GE(r.Param[1].Value, 137.5f);
  EXPECT_LE(r.Param[1].Value, 138.2f + 1e-4);
  EXPECT_NEAR(r.Param[6].Value, 17000 / kStiffness, 0.05);
}

// The coil gap is never measured: it is simulated for the type the record
// is stored as (not a type drawn before the recognition) and marked, as is
// the fixed diameter of the wedge spring.
TEST_F(LineMeasurementTest, UnmeasuredValuesBelongToTheStoredTypeAndAreMarked) {
  for (int s = 1; s <= 3; ++s) SpringTypeTable()[1].springTypes[s].parameters[4].Midl = 100 * s;
  for (const auto& [diameter, type] : {std::pair{210.0, 2}, std::pair{240.0, 3}}) {
    Start(diameter, 250);
    MeasurementRecord r;
    QString error;
    ASSERT_TRUE(MeasureSpring(r, 1, error)) << error.toStdString();
    ASSERT_EQ(r.SpringType, type);
    EXPECT_GE(r.Param[4].Value, 100 * type);
    EXPECT_LE(r.Param[4].Value, 100 * type + 0.4 + 1e-3);
    EXPECT_FALSE(RecordEmulated(r));
    EXPECT_FALSE(RecordAccelerated(r));
    for (int p = 1; p <= 6; ++p)
      EXPECT_EQ(ParameterMeasured(r, p), p != 4 && !(p == 1 && type == 3)) << type << " p" << p;
  }
}

TEST_F(LineMeasurementTest, ManualSetTakesTheOperatorsType) {
  SpringTypeTable()[1].ManualSet = true;
  Start(210, 250);
  MeasurementRecord r;
  ASSERT_TRUE(MeasureSpring(r, 1));
  EXPECT_EQ(choices, 1);
  EXPECT_EQ(r.SpringType, 3);  // the operator's, not the recognised 2
  EXPECT_EQ(r.Kind, 0);
  EXPECT_NEAR(r.Param[6].Value, 17000 / kStiffness, 0.05);
}

TEST_F(LineMeasurementTest, Demo34KeepsTheSimulatedValuesOfBogieTypeThree) {
  Settings.Global.DEMO34 = true;
  CurrentBogieType() = 3;
  for (int s = 1; s <= 3; ++s) {
    SpringTypeTable()[3].springTypes[s].parameters[2].Mul = 2;  // would double p2
    SpringTypeTable()[3].springTypes[s].parameters[6].Add = 50;
  }
  Start(210, 250);
  MeasurementRecord r;
  ASSERT_TRUE(MeasureSpring(r, 1));
  for (int p : {1, 2, 3, 6}) {
    EXPECT_GE(r.Param[p].Value, 1000 * p) << p;
    EXPECT_LE(r.Param[p].Value, 1000 * p + 0.4 + 1e-3) << p;
  }
  EXPECT_EQ(r.Param[5].Value, 0.0f);  // 0 is not above Odf
  EXPECT_EQ(r.BogieType, 3);
  EXPECT_EQ(r.Chart[3], 126);
  // The press was still worked.
  EXPECT_TRUE(Commands().contains("11"));
}

TEST_F(LineMeasurementTest, AFailedFirstForceStepShowsErrorPageEleven) {
  Start();
  sim->Faults().deadAdc = true;  // no force level above 0 is reached
  MeasurementRecord r;
  EXPECT_FALSE(MeasureSpring(r, 1));
  ASSERT_EQ(errorPages.size(), 1u);
  EXPECT_EQ(errorPages[0], kFirstForceError);
  EXPECT_FALSE(Commands().contains("11"));  // nothing after the error page
}

TEST_F(LineMeasurementTest, AFailedSecondForceStepShowsErrorPageTwelve) {
  for (int s = 1; s <= 3; ++s) SpringTypeTable()[1].springTypes[s].Adc3 = 0;
  Start();
  sim->Faults().deadAdc = true;
  MeasurementRecord r;
  EXPECT_FALSE(MeasureSpring(r, 1));
  ASSERT_EQ(errorPages.size(), 1u);
  EXPECT_EQ(errorPages[0], kSecondForceError);
}

TEST_F(LineMeasurementTest, ASilentControllerShowsErrorPageNine) {
  Start();
  sim->Faults().silentController = true;
  MeasurementRecord r;
  EXPECT_FALSE(MeasureSpring(r, 1));
  ASSERT_EQ(errorPages.size(), 1u);
  EXPECT_EQ(errorPages[0], kLineInitError);
  EXPECT_EQ(stages.join(" "), "1:2");
}

// A scan the controller refuses is its own fault, not a camera's: the
// mathematics does not run on the cameras' files, no force step follows.
TEST_F(LineMeasurementTest, AScanTheControllerRefusesHasItsOwnErrorPage) {
  Start();
  sim->Faults().Of(SimDevice::Controller).fail.insert(kCmdScan);
  MeasurementRecord r;
  QString error;
  EXPECT_FALSE(MeasureSpring(r, 1, error));
  EXPECT_EQ(errorPages, std::vector<int>{kScanRefusedError});
  EXPECT_TRUE(profileErrors.empty());
  EXPECT_EQ(error, "Ошибка 21");
  EXPECT_TRUE(Commands().filter("e@").isEmpty());
}

TEST_F(LineMeasurementTest, AnUnreadableCalibrationTableStopsWithTheCamerasErrorPage) {
  Start();
  // Camera 1 is left out of the circle by default: camera 3's table is used.
  ASSERT_TRUE(QFile::remove(home.file("Tabl1/cal3.txt")));
  MeasurementRecord r;
  QString error;
  EXPECT_FALSE(MeasureSpring(r, 1, error));
  ASSERT_EQ(errorPages.size(), 1u);
  EXPECT_EQ(errorPages[0], kCameraErrorBase + 3);
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(Commands().contains("e@16000"));  // no force step after it
}

TEST_F(LineMeasurementTest, AMissingCameraProfileStopsWithTheCamerasErrorPage) {
  Start();
  sim->Faults().silentCamera[2] = true;  // no read-out: the file holds no profile
  MeasurementRecord r;
  EXPECT_FALSE(MeasureSpring(r, 1));
  ASSERT_FALSE(errorPages.empty());
  EXPECT_EQ(errorPages.back(), kCameraErrorBase + 2);
  EXPECT_FALSE(Commands().contains("11"));
}

TEST_F(LineMeasurementTest, ACameraFileThatCannotBeWrittenStopsWithItsName) {
  Start();
  Database.ShiftState.CurrentIndex = 2;
  // A folder where the kept copy of camera 1's file should go.
  ASSERT_TRUE(QDir(home.path()).mkpath("STORAGE/2-cmr1.txt"));
  MeasurementRecord r;
  EXPECT_FALSE(MeasureSpring(r, 3));
  EXPECT_TRUE(errorPages.empty());  // no fault of a camera
  ASSERT_EQ(stopped.size(), 1);
  EXPECT_TRUE(stopped[0].contains("2-cmr1.txt")) << stopped[0].toStdString();
  EXPECT_FALSE(Commands().contains("11"));
}

TEST_F(LineMeasurementTest, FastModeMeasuresNoProfilesAndTakesTheOperatorsType) {
  Database.ModeState.FastMode = true;
  Start(240, 250);
  MeasurementRecord r;
  ASSERT_TRUE(MeasureSpring(r, 1));
  EXPECT_EQ(choices, 1);
  EXPECT_EQ(r.Kind, 1);
  EXPECT_EQ(r.SpringType, 3);
  // No read-out, so no profile of this spring: the simulated
  // non-perpendicularity stays, and no camera file was written.
  EXPECT_GE(r.Param[3].Value, 3000);
  EXPECT_FALSE(QFile::exists(home.file("cmr1.txt")));
  EXPECT_NEAR(r.Param[2].Value, 250, 0.05);
  EXPECT_TRUE(profileErrors.empty());
}

TEST_F(LineMeasurementTest, AcceleratedModeSkipsTheForceSteps) {
  Database.ModeState.AcceleratedMode = true;
  Start(210, 251);
  MeasurementRecord r;
  ASSERT_TRUE(MeasureSpring(r, 1));
  EXPECT_FALSE(Commands().join(" ").contains("e@"));
  EXPECT_NEAR(r.Param[2].Value, 251, 0.05);
  // No profiles to tell the type by: the operator's, and only the free
  // height is measured.
  EXPECT_EQ(choices, 1);
  EXPECT_EQ(r.SpringType, 3);
  EXPECT_EQ(r.Kind, 0);
  EXPECT_TRUE(RecordAccelerated(r));
  for (int p = 1; p <= 6; ++p) EXPECT_EQ(ParameterMeasured(r, p), p == 2) << p;
}

}  // namespace
