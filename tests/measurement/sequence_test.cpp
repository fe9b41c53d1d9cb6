// The measurement sequence's own arithmetic and the simulated record: the
// readings of the controller's replies on their edge numbers, the choice of
// the spring type by diameter, the chart points, the corrections and
// BuildSimulatedRecord field by field.
#include "measurement/sequence.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "config/settings.h"
#include "database/database.h"
#include "platform/clock.h"
#include "platform/random.h"
#include "springs/springtypes.h"

namespace {

class SequenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsModule();
    ResetSpringTypesModule();
    ResetDatabaseModule();
    ResetMeasurementModule();
    plat::EmulationRandom().seed(7);
    auto& t = SpringTypeTable();
    t.MaxChNum = 3;
    for (int b = 1; b <= 3; ++b) {
      t[b].MaxSprings = 3;
      for (int s = 1; s <= 3; ++s) {
        SpringType& T = t[b].springTypes[s];
        for (int p = 1; p <= 6; ++p) {
          SpringParameter& P = T.parameters[p];
          P.Midl = 100 * p + 10 * s;
          P.t = 0;
          P.Mul = 1;
          P.Add = 0;
        }
      }
    }
    CurrentBogieType() = 1;
    Settings.Mathem.k[13] = 168;
    Settings.Mathem.k[14] = 215;
    Settings.Mathem.k[15] = 225;
    Settings.Mathem.k[16] = 168;
  }
  void TearDown() override {
    ResetMeasurementModule();
    ResetDatabaseModule();
    ResetSpringTypesModule();
    ResetSettingsModule();
  }
  SpringParameter& Param(int b, int s, int p) {
    return SpringTypeTable()[b].springTypes[s].parameters[p];
  }
};

TEST(SequenceReadings, ControllerRepliesOnTheirEdgeNumbers) {
  // A displacement count above 32000 is negative: its complement counts.
  EXPECT_DOUBLE_EQ(DisplacementMm(32001), 33534 * 0.0396);
  EXPECT_DOUBLE_EQ(DisplacementMm(32000), 32000 * 0.0396);
  EXPECT_DOUBLE_EQ(DisplacementMm(65535), 0.0);
  // The press at the zero of its height scale reads 65535 - 8733.
  EXPECT_NEAR(FreeHeightMm(56802), 259.2, 1e-9);
  EXPECT_NEAR(FreeHeightMm(56802 - 100), 259.2 - 100 * 0.03996, 1e-9);
  EXPECT_DOUBLE_EQ(DeflectionMm(1167), 1167 * 0.04);
  // Only a displacement greater than Odf is kept.
  const double odf = 33534 * 0.0396;
  EXPECT_EQ(ThresholdDisplacement(DisplacementMm(32001), odf), 0.0);
  EXPECT_EQ(ThresholdDisplacement(odf - 0.01, odf), 0.0);
  EXPECT_DOUBLE_EQ(ThresholdDisplacement(odf + 0.01, odf), odf + 0.01);
  EXPECT_EQ(ThresholdDisplacement(0.0, 0.0), 0.0);
}

TEST(SequenceReadings, TurboDividesScaledPausesAndBelowOneCountsAsOne) {
  ResetSettingsModule();
  EXPECT_EQ(ScaledPauseMs(1000), 1000u);
  Settings.Global.Turbo = 2;
  EXPECT_EQ(ScaledPauseMs(1000), 500u);
  EXPECT_EQ(ScaledPauseMs(500), 250u);
  Settings.Global.Turbo = 3;
  EXPECT_EQ(ScaledPauseMs(1000), 333u);  // whole milliseconds
  Settings.Global.Turbo = 0;
  EXPECT_EQ(ScaledPauseMs(1000), 1000u);
  Settings.Global.Turbo = -4;
  EXPECT_EQ(ScaledPauseMs(1000), 1000u);
  ResetSettingsModule();
}

TEST_F(SequenceTest, SpringTypeByDiameterOnBogieTypeOne) {
  // Strict comparisons: a diameter equal to k13 is type 1, equal to k14
  // still type 2, equal to k15 not yet type 3.
  EXPECT_EQ(RecogniseSpringType(150, 2).springType, 1);
  EXPECT_EQ(RecogniseSpringType(168, 2).springType, 1);
  EXPECT_EQ(RecogniseSpringType(168.5, 1).springType, 2);
  EXPECT_EQ(RecogniseSpringType(215, 1).springType, 2);
  EXPECT_EQ(RecogniseSpringType(220, 1).springType, 1);
  EXPECT_EQ(RecogniseSpringType(225, 1).springType, 1);
  const RecognisedType outer = RecogniseSpringType(225.5, 1);
  EXPECT_EQ(outer.springType, 3);
  EXPECT_DOUBLE_EQ(outer.diameter, 225.5 - 60);
  EXPECT_DOUBLE_EQ(RecogniseSpringType(200, 1).diameter, 200);
}

TEST_F(SequenceTest, SpringTypeByDiameterOnOtherBogieTypes) {
  CurrentBogieType() = 2;
  EXPECT_EQ(RecogniseSpringType(168, 3).springType, 1);
  const RecognisedType outer = RecogniseSpringType(190, 1);
  EXPECT_EQ(outer.springType, 2);
  EXPECT_DOUBLE_EQ(outer.diameter, 190 - 56);
  // Bogie types beyond 2 keep the type they measure with.
  CurrentBogieType() = 3;
  const RecognisedType kept = RecogniseSpringType(300, 3);
  EXPECT_EQ(kept.springType, 3);
  EXPECT_DOUBLE_EQ(kept.diameter, 300);
}

TEST_F(SequenceTest, ChartPointsFollowTheDeflectionWithinItsLimits) {
  MeasurementRecord r;
  r.SpringType = 1;
  r.Param[6].Value = 80;  // limited to 70
  FillChartAndAux(r);
  EXPECT_EQ(r.Chart[3], 126);
  EXPECT_GE(r.Chart[1], 42);
  EXPECT_LE(r.Chart[1], 51);
  EXPECT_GE(r.Chart[2], 84);
  EXPECT_LE(r.Chart[2], 93);
  r.Param[6].Value = 5;  // limited to 15
  FillChartAndAux(r);
  EXPECT_EQ(r.Chart[3], 27);
  EXPECT_GE(r.Chart[1], 9);
  EXPECT_LE(r.Chart[1], 18);
  EXPECT_GE(r.Chart[2], 18);
  EXPECT_LE(r.Chart[2], 27);
  r.Param[6].Value = 46.7f;  // the whole part counts
  FillChartAndAux(r);
  EXPECT_EQ(r.Chart[3], 82);  // 46 x 1.8 = 82.8
  for (int i = 4; i <= 10; ++i) EXPECT_EQ(r.Chart[i], 0) << i;
}

TEST_F(SequenceTest, AuxiliaryValuesByTheSpringType) {
  // Lower bounds and spreads of the auxiliary values 1..9 (types 1, 2, 4)
  // and 1..6 (types 3, 5).
  const int innerBase[10] = {0, 10, 20, 20, 20, 20, 20, 15, 3, 2};
  const int innerSpread[10] = {0, 4, 7, 8, 10, 10, 5, 8, 10, 2};
  const int outerBase[7] = {0, 15, 40, 40, 32, 15, 10};
  const int outerSpread[7] = {0, 5, 7, 5, 8, 10, 5};
  for (int type = 1; type <= 8; ++type) {
    std::array<int, 11> lowest{}, highest{};
    lowest.fill(1000);
    highest.fill(-1000);
    for (int round = 0; round < 300; ++round) {
      MeasurementRecord r;
      r.SpringType = static_cast<uint8_t>(type);
      r.Aux.fill(-1);
      r.Param[6].Value = 40;
      FillChartAndAux(r);
      for (int i = 1; i <= 10; ++i) {
        lowest[i] = std::min(lowest[i], r.Aux[i]);
        highest[i] = std::max(highest[i], r.Aux[i]);
      }
    }
    for (int i = 1; i <= 10; ++i) {
      int lo = 0, hi = 0;
      if ((type == 1 || type == 2 || type == 4) && i <= 9) {
        lo = innerBase[i];
        hi = innerBase[i] + innerSpread[i] - 1;
      } else if ((type == 3 || type == 5) && i <= 6) {
        lo = outerBase[i];
        hi = outerBase[i] + outerSpread[i] - 1;
      }
      // 300 draws reach both ends of spreads of at most 10.
      EXPECT_EQ(lowest[i], lo) << "type " << type << " value " << i;
      EXPECT_EQ(highest[i], hi) << "type " << type << " value " << i;
    }
  }
}

TEST_F(SequenceTest, SimulatedRecordFieldByField) {
  Database.ShiftState.WagonFrom = "12345678";
  Database.ShiftState.WagonTo = "8765";
  CurrentBogieType() = 2;
  Param(2, 3, 1).t = 3;  // spread 0.0 .. 0.2 + ... up to 2.9
  Param(2, 3, 1).Mul = 2;
  Param(2, 3, 1).Add = -5;
  Param(2, 3, 2).t = 0x102;  // only the low byte counts: 2
  Param(2, 3, 2).Mul = 3;    // the height is not corrected
  Param(2, 3, 6).Add = 7;    // nor the deflection
  const double before = plat::Now();
  for (int round = 0; round < 200; ++round) {
    const MeasurementRecord r = BuildSimulatedRecord("0042-06122026", 3);
    EXPECT_EQ(r.Identifier, "0042-06122026");
    EXPECT_EQ(r.SpringType, 3);
    EXPECT_EQ(r.BogieType, 2);
    EXPECT_EQ(r.Kind, 0);
    EXPECT_GE(r.Date, before);
    EXPECT_LE(r.Date, plat::Now());
    for (int p = 1; p <= 6; ++p) {
      EXPECT_EQ(r.Param[p].JudgeMode, 0) << p;
      EXPECT_EQ(r.Param[p].Verdict, 1) << p;
    }
    // p1 = (r + 130) x 2 - 5 with r in 0.0 .. 2.9.
    const double r1 = (r.Param[1].Value + 5) / 2 - 130;
    EXPECT_GE(r1, -1e-4);
    EXPECT_LE(r1, 2.9 + 1e-4);
    EXPECT_NEAR(r1 * 10, std::round(r1 * 10), 1e-3);
    // p2 = r + 230 with r in 0.0 .. 1.9, not corrected.
    EXPECT_GE(r.Param[2].Value, 230.0f);
    EXPECT_LE(r.Param[2].Value, 231.9f + 1e-4);
    // t = 0: r in 0.0 .. 0.4.
    EXPECT_GE(r.Param[3].Value, 330.0f);
    EXPECT_LE(r.Param[3].Value, 330.4f + 1e-4);
    EXPECT_GE(r.Param[4].Value, 430.0f);
    EXPECT_LE(r.Param[4].Value, 430.4f + 1e-4);
    EXPECT_EQ(r.Param[5].Value, 0.0f);
    EXPECT_GE(r.Param[6].Value, 630.0f);
    EXPECT_LE(r.Param[6].Value, 630.4f + 1e-4);
    EXPECT_EQ(r.Chart[3], 126);  // p6 beyond 70
    EXPECT_GE(r.Aux[1], 15);     // an outer spring's values
    EXPECT_EQ(r.Aux[7], 0);
    EXPECT_EQ(r.WagonFrom, "12345678");
    EXPECT_EQ(r.WagonTo, "8765");
  }
}

TEST_F(SequenceTest, SimulatedRecordIsTheSameForTheSameSeed) {
  plat::EmulationRandom().seed(99);
  const MeasurementRecord a = BuildSimulatedRecord("x", 1);
  plat::EmulationRandom().seed(99);
  const MeasurementRecord b = BuildSimulatedRecord("x", 1);
  for (int p = 1; p <= 6; ++p) EXPECT_EQ(a.Param[p].Value, b.Param[p].Value) << p;
  EXPECT_EQ(a.Chart, b.Chart);
  EXPECT_EQ(a.Aux, b.Aux);
}

// Over many simulated records with every record a defect: what each kind of
// defect does, and what the accelerated mode and CalEnable1 leave out.
struct DefectTally {
  int heightBy15 = 0;  // p2 lowered by 15..24
  int heightBy10 = 0;  // p2 lowered by 10..16 (and not 15.. as the other)
  int displacement = 0;
  int deflection = 0;
  int none = 0;
};

DefectTally Tally(int rounds) {
  DefectTally t;
  for (int i = 0; i < rounds; ++i) {
    const MeasurementRecord r = BuildSimulatedRecord("x", 1);
    const double dh = 210 - r.Param[2].Value;  // t = 0: r within 0.4
    const bool p5 = r.Param[5].Value != 0;
    const bool p6 = r.Param[6].Value > 610.4f + 1e-3;
    if (dh > 16.5) {
      ++t.heightBy15;
    } else if (dh > 9) {
      EXPECT_LE(dh, 16.0 + 1e-3);
      ++t.heightBy10;
    } else if (p5) {
      EXPECT_LE(r.Param[5].Value, 11.0f);
      ++t.displacement;
    } else if (p6) {
      EXPECT_LE(r.Param[6].Value, 610.4f + 18 + 1e-3);
      ++t.deflection;
    } else {
      ++t.none;
    }
    EXPECT_GE(dh, -0.5);
    EXPECT_LE(dh, 24.0 + 1e-3);
  }
  return t;
}

TEST_F(SequenceTest, SimulatedDefectsByKind) {
  // Without BrakGenerate no record has a defect.
  DefectTally t = Tally(200);
  EXPECT_EQ(t.none, 200);

  Settings.Params.BrakGenerate = true;
  Settings.Params.BrakPersent = 100;  // Random(100) <= 100: always
  t = Tally(500);
  EXPECT_GT(t.heightBy15, 40);
  EXPECT_GT(t.heightBy10, 40);
  EXPECT_GT(t.displacement, 40);
  EXPECT_GT(t.deflection, 40);
  EXPECT_GT(t.none, 40);  // k = 4, and the zero draws

  Settings.Params.BrakPersent = -1;  // never
  t = Tally(200);
  EXPECT_EQ(t.none, 200);
  // BrakPersent 0 still lets a draw of 0 through: about one in a hundred.
  Settings.Params.BrakPersent = 0;
  t = Tally(3000);
  EXPECT_GT(t.none, 2900);
  EXPECT_LT(t.none, 3000);
}

TEST_F(SequenceTest, AcceleratedModeAndCalibrationLeaveDefectsOut) {
  Settings.Params.BrakGenerate = true;
  Settings.Params.BrakPersent = 100;
  Database.ModeState.AcceleratedMode = true;
  DefectTally t = Tally(500);
  EXPECT_EQ(t.displacement, 0);
  EXPECT_EQ(t.deflection, 0);
  EXPECT_GT(t.heightBy10, 40);  // the one defect measured in that mode
  // The 15.. lowering is no longer drawn: nothing is lowered beyond 16.
  EXPECT_EQ(t.heightBy15, 0);

  Database.ModeState.AcceleratedMode = false;
  Settings.Debug.CalEnable1 = true;
  t = Tally(500);
  EXPECT_EQ(t.displacement, 0);
  EXPECT_GT(t.deflection, 40);
  EXPECT_GT(t.heightBy15, 40);
}

TEST_F(SequenceTest, CorrectionsInTheirOrder) {
  std::vector<MeasurementMarker> markers;
  Measurement.observer.marker = [&](MeasurementMarker m) { markers.push_back(m); };
  Param(1, 2, 1).Mul = 2;
  Param(1, 2, 1).Add = 1;
  Param(1, 2, 2).Mul = 0.5;
  Param(1, 2, 3).Mul = 10;
  Param(1, 2, 3).Add = 0.5;
  Param(1, 2, 6).Mul = 1;
  Param(1, 2, 6).Add = -2;
  MeasurementRecord r;
  r.Param[1].Value = 100;
  r.Param[2].Value = 250;
  r.Param[3].Value = 0.25f;
  r.Param[6].Value = 21;
  ApplyCorrections(r, 2);
  EXPECT_FLOAT_EQ(r.Param[1].Value, 201);
  EXPECT_FLOAT_EQ(r.Param[2].Value, 125);
  EXPECT_FLOAT_EQ(r.Param[3].Value, 3.0f);
  EXPECT_FLOAT_EQ(r.Param[6].Value, 19);  // not substituted without notiny
  EXPECT_TRUE(markers.empty());

  // notiny looks at the corrected deflection: 21 - 2 < 20.
  Settings.Debug.notiny = true;
  r.Param[6].Value = 21;
  ApplyCorrections(r, 2);
  const double midl6 = Param(1, 2, 6).Midl;
  EXPECT_GE(r.Param[6].Value, midl6);
  EXPECT_LE(r.Param[6].Value, midl6 + 0.375 + 1e-4);
  ASSERT_EQ(markers.size(), 1u);
  EXPECT_EQ(markers[0], MeasurementMarker::TinyDeflection);

  // nohard after notiny: a deflection below the type's minimum.
  Settings.Debug.notiny = false;
  Settings.Debug.nohard = true;
  Param(1, 2, 6).Min = 40;
  r.Param[6].Value = 32;
  markers.clear();
  ApplyCorrections(r, 2);
  EXPECT_GE(r.Param[6].Value, 40.2f - 1e-4);
  EXPECT_LE(r.Param[6].Value, 40.575f + 1e-4);
  ASSERT_EQ(markers.size(), 1u);
  EXPECT_EQ(markers[0], MeasurementMarker::SoftSpring);

  // nocurve replaces p3 before its correction: (0.6 .. 1.1) x 10 + 0.5.
  Settings.Debug.nohard = false;
  Settings.Debug.nocurve = true;
  markers.clear();
  r.Param[3].Value = 50;
  ApplyCorrections(r, 2);
  EXPECT_GE(r.Param[3].Value, 6.5f - 1e-4);
  EXPECT_LE(r.Param[3].Value, 11.5f + 1e-4);
  ASSERT_EQ(markers.size(), 1u);
  EXPECT_EQ(markers[0], MeasurementMarker::NonPerpendicular);
}

TEST_F(SequenceTest, InnerSpringDiametersAreSubstituted) {
  Settings.Mathem.debugB = true;
  for (int round = 0; round < 50; ++round) {
    MeasurementRecord r;
    r.Param[1].Value = 165;
    r.Param[3].Value = 9;
    ApplyCorrections(r, 3);  // bogie type 1, spring type 3
    EXPECT_GE(r.Param[1].Value, 137.5f);
    EXPECT_LE(r.Param[1].Value, 138.2f + 1e-4);
    EXPECT_GE(r.Param[3].Value, 0.1f - 1e-6);  // then x 1 + 0
    EXPECT_LE(r.Param[3].Value, 0.5f + 1e-4);
  }
  CurrentBogieType() = 2;
  MeasurementRecord r;
  r.Param[1].Value = 165;
  ApplyCorrections(r, 2);
  EXPECT_GE(r.Param[1].Value, 144.1f - 1e-4);
  EXPECT_LE(r.Param[1].Value, 144.8f + 1e-4);
  // Other pairs keep the measured diameter.
  r.Param[1].Value = 165;
  ApplyCorrections(r, 1);
  EXPECT_FLOAT_EQ(r.Param[1].Value, 165);
  CurrentBogieType() = 1;
  ApplyCorrections(r, 2);
  EXPECT_FLOAT_EQ(r.Param[1].Value, 165);
}

// The emulated measurement on the virtual clock: its eight scaled pauses,
// the stages in order, and where the spring type comes from.
class EmulatedMeasurementTest : public SequenceTest {
 protected:
  void SetUp() override {
    SequenceTest::SetUp();
    plat::UseVirtualClock(QDateTime(QDate(2026, 12, 6), QTime(10, 0)));
    auto& o = Measurement.observer;
    o.measuringBox = [this] { events << "box"; };
    o.stage = [this](int n, StageState st) {
      events << QString("%1:%2@%3").arg(n).arg(int(st)).arg(plat::TickCount() - t0);
    };
    o.chooseSpringType = [this](int bogie) {
      events << QString("choose %1").arg(bogie);
      return chosen;
    };
  }
  MeasurementRecord Measure(int number = 42) {
    MeasurementRecord r;
    t0 = plat::TickCount();
    EXPECT_TRUE(MeasureSpring(r, number));
    elapsed = plat::TickCount() - t0;
    return r;
  }
  QStringList events;
  uint32_t t0 = 0;
  uint32_t elapsed = 0;
  int chosen = 2;
};

TEST_F(EmulatedMeasurementTest, StagesEverySecondAndTurboHalvesThem) {
  const MeasurementRecord r = Measure();
  EXPECT_EQ(events.join(" "),
            "box 1:2@1000 1:3@2000 2:2@3000 2:3@4000 3:2@5000 3:3@6000 4:2@7000 4:3@8000");
  EXPECT_EQ(elapsed, 8000u);
  EXPECT_EQ(r.Identifier, "0042-06122026");
  EXPECT_EQ(r.Kind, 0);
  EXPECT_GE(r.SpringType, 1);
  EXPECT_LE(r.SpringType, 3);

  Settings.Global.Turbo = 2;
  events.clear();
  Measure();
  EXPECT_EQ(events.join(" "),
            "box 1:2@500 1:3@1000 2:2@1500 2:3@2000 3:2@2500 3:3@3000 4:2@3500 4:3@4000");
  Settings.Global.Turbo = 0;  // counts as 1
  Measure();
  EXPECT_EQ(elapsed, 8000u);
}

TEST_F(EmulatedMeasurementTest, RandomTypesCoverTheBogieTypesSpringTypes) {
  std::set<int> types;
  for (int i = 0; i < 60; ++i) types.insert(Measure().SpringType);
  EXPECT_EQ(types, (std::set<int>{1, 2, 3}));
  EXPECT_FALSE(events.join(" ").contains("choose"));
}

// Every emulated record says so; the parameters its measurement type does
// not measure on the line are marked, the demonstration values of a full
// measurement (the coil gap too) are not.
TEST_F(EmulatedMeasurementTest, RecordsAreMarkedAsEmulatedWithTheirTypesUnmeasured) {
  const MeasurementRecord full = Measure();
  EXPECT_TRUE(RecordEmulated(full));
  EXPECT_FALSE(RecordAccelerated(full));
  for (int p = 1; p <= 6; ++p) EXPECT_TRUE(ParameterMeasured(full, p)) << p;
  Database.ModeState.AcceleratedMode = true;
  const MeasurementRecord accelerated = Measure();
  EXPECT_TRUE(RecordEmulated(accelerated));
  EXPECT_TRUE(RecordAccelerated(accelerated));
  for (int p = 1; p <= 6; ++p) EXPECT_EQ(ParameterMeasured(accelerated, p), p == 2) << p;
}

TEST_F(EmulatedMeasurementTest, TheOperatorNamesTheTypeWithManualSetOrInFastMode) {
  SpringTypeTable()[1].ManualSet = true;
  MeasurementRecord r = Measure();
  EXPECT_EQ(r.SpringType, 2);
  EXPECT_EQ(r.Kind, 0);
  EXPECT_TRUE(events.join(" ").contains("2:2@3000 choose 1 2:3@4000"));
  EXPECT_GE(r.Param[6].Value, 620.0f);  // built for type 2
  EXPECT_LE(r.Param[6].Value, 620.4f + 1e-4);

  SpringTypeTable()[1].ManualSet = false;
  Database.ModeState.FastMode = true;
  chosen = 3;
  r = Measure();
  EXPECT_EQ(r.SpringType, 3);
  EXPECT_EQ(r.Kind, 1);
  // A bogie type whose types no key can pick: a type of its own all the same.
  chosen = 0;
  for (int i = 0; i < 20; ++i) {
    r = Measure();
    EXPECT_GE(r.SpringType, 1);
    EXPECT_LE(r.SpringType, 3);
  }
}

}  // namespace
