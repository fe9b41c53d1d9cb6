#include "mathem/mathobserver.h"

#include <vector>

#include "mathemsupport.h"

namespace {

using S = MathemStep;

// The visualiser is not watching: the test is the observer.
class MathObserverTest : public MathemTest {
 protected:
  void SetUp() override {
    MathemTest::SetUp();
    for (int n = 1; n <= 4; ++n) {
      Settings.Mathem.gx[n] = 120;
      auto& k = Settings.K[n];
      k[1] = 0, k[2] = 2046, k[3] = k[4] = 0, k[5] = 1, k[6] = 1801;
      k[7] = k[8] = k[9] = k[10] = 3;
    }
    ASSERT_TRUE(WriteCalibrationTables(cal));
    ASSERT_TRUE(WriteModelledScan(spring, LayoutFromSettings(), cal));
    MathemObserver = [this](MathemStep step) {
      steps.push_back(step);
      if (step == S::DiameterFound) diameterSeen = CoilResults.MeasuredDiameter;
      if (step == S::NonPerpendicularityFound)
        nonPerpendicularitySeen = CoilResults.MeasuredNonPerpendicularity;
      if (step == S::PeaksFound) peakSeen = ProfileStore.window[1].peak;
    };
  }
  ModelCalibration cal;
  SpringModel spring;
  std::vector<MathemStep> steps;
  float diameterSeen = -1;
  float nonPerpendicularitySeen = -1;
  double peakSeen = -1;
};

// The five cleaning steps, the coil selection and the tail cut each report
// new profiles; the peaks, the result and the spring search follow.
const std::vector<MathemStep> kDiameterChain = {
    S::ProfilesChanged, S::ProfilesChanged, S::ProfilesChanged, S::ProfilesChanged,
    S::ProfilesChanged, S::ProfilesChanged, S::ProfilesChanged, S::PeaksFound,
    S::DiameterFound,   S::SpringSearched};

TEST_F(MathObserverTest, DiameterChainReportsEveryStepAfterItRan) {
  LoadProfiles(0);
  ComputeDiameter();
  EXPECT_EQ(steps, kDiameterChain);
  // Each report comes once its step has put its result in place.
  EXPECT_EQ(diameterSeen, CoilResults.MeasuredDiameter);
  EXPECT_NEAR(diameterSeen, spring.coilDiameter, 0.5);
  EXPECT_EQ(peakSeen, ProfileStore.window[1].peak);
  EXPECT_GT(peakSeen, 0);
}

TEST_F(MathObserverTest, NonPerpendicularityChainReportsTheDiameterChainFirst) {
  ComputeNonPerpendicularity();
  std::vector<MathemStep> expected = kDiameterChain;
  // The redraw after the diameter, the second load, then the lower coil.
  for (int i = 0; i < 2 + 5 + 2; ++i) expected.push_back(S::ProfilesChanged);
  expected.push_back(S::PeaksFound);
  expected.push_back(S::NonPerpendicularityFound);
  EXPECT_EQ(steps, expected);
  EXPECT_EQ(nonPerpendicularitySeen, CoilResults.MeasuredNonPerpendicularity);
}

TEST_F(MathObserverTest, SingleStepsReportThePeaksOrNewProfiles) {
  LoadProfiles(0);
  RunStepAndReport(FilterBand);
  RunStepAndReport(SelectSecondCoil);
  RunStepAndReport(FindPeak);
  EXPECT_EQ(steps,
            (std::vector<MathemStep>{S::ProfilesChanged, S::ProfilesChanged, S::PeaksFound}));
}

TEST_F(MathObserverTest, WithoutAnObserverTheChainsGiveTheSameResults) {
  ComputeNonPerpendicularity();
  const float d = CoilResults.MeasuredDiameter;
  const float np = CoilResults.MeasuredNonPerpendicularity;
  const QString caption = Visualiser.caption;
  MathemObserver = nullptr;
  ResetCoilResults();
  ComputeNonPerpendicularity();
  EXPECT_EQ(CoilResults.MeasuredDiameter, d);
  EXPECT_EQ(CoilResults.MeasuredNonPerpendicularity, np);
  // Nothing reached the visualiser either time.
  EXPECT_EQ(Visualiser.caption, caption);
  EXPECT_EQ(Visualiser.caption, QString(kVisualiserCaption));
}

}  // namespace
