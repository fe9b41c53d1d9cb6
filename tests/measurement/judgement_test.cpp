#include "measurement/judgement.h"

#include <gtest/gtest.h>

#include "config/settings.h"
#include "platform/cp1251.h"
#include "springs/springtypes.h"
#include "testsupport.h"

namespace {

// Bogie type 1 holds two spring types, bogie type 2 the first of them again.
// Spring type 1: E 0.5, diameter 10..20, height 246..255, non-perpendicularity
// 0..5 not analysed, coil gap 10..16, set 0..2, deflection 44..54.
// Spring type 2: E 0.3, diameter 10.1..20 and no other limit in the file.
const char* kFile =
    "[Global]\r\nMaxChNum=2\r\n"
    "[Chassie1]\r\nName=18-100\r\nMaxSprings=2\r\nSpring1=1\r\nSpring2=2\r\n"
    "[Chassie2]\r\nName=18-578\r\nMaxSprings=1\r\nSpring1=1\r\n"
    "[Spring1]\r\nE=0.5\r\nNparam=6\r\n"
    "P1Max=20\r\nP1Min=10\r\nP1Analiz=1\r\n"
    "P2Max=255\r\nP2Min=246\r\nP2Analiz=1\r\n"
    "P3Max=5\r\nP3Min=0\r\nP3Analiz=0\r\n"
    "P4Max=16\r\nP4Min=10\r\nP4Analiz=1\r\n"
    "P5Max=2\r\nP5Min=0\r\nP5Analiz=1\r\n"
    "P6Max=54\r\nP6Min=44\r\nP6Analiz=1\r\n"
    "[Spring2]\r\nE=0.3\r\nNparam=6\r\nP1Max=20\r\nP1Min=10.1\r\nP1Analiz=1\r\n";

class JudgementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsModule();
    ResetSpringTypesModule();
    ResetJudgement();
    home.write("chassie.ini", plat::ToCp1251(kFile));
    Settings.Params.ChassieIniFilename = "chassie.ini";
    LoadSpringTypes();
  }
  void TearDown() override {
    ResetJudgement();
    ResetSpringTypesModule();
    ResetSettingsModule();
  }
  // A spring of type 1 with every value inside its norm.
  static MeasurementRecord GoodRecord(int bogie = 1) {
    MeasurementRecord r;
    r.BogieType = static_cast<uint8_t>(bogie);
    r.SpringType = 1;
    const float values[7] = {0, 15.0f, 250.0f, 1.0f, 12.0f, 0.5f, 48.0f};
    for (int p = 1; p <= 6; ++p) r.Param[p].Value = values[p];
    return r;
  }
  static std::array<bool, 7> AllGood() { return {false, true, true, true, true, true, true}; }

  testsupport::ScratchHome home;
};

TEST_F(JudgementTest, ToleranceWidensTheLimitsWithStrictComparisons) {
  MeasurementRecord r = GoodRecord();
  JudgeMeasurement(r);
  EXPECT_TRUE(Judgement.Judged);
  EXPECT_TRUE(Judgement.SpringGood);
  EXPECT_EQ(Judgement.Verdicts, AllGood());

  // Min 10, Max 20, E 0.5.
  const struct {
    float value;
    bool good;
  } cases[] = {{9.5f, false}, {9.6f, true}, {20.4f, true}, {20.5f, false}};
  for (const auto& c : cases) {
    r.Param[1].Value = c.value;
    JudgeMeasurement(r);
    EXPECT_EQ(Judgement.Verdicts[1], c.good) << c.value;
    EXPECT_EQ(Judgement.SpringGood, c.good) << c.value;
    for (int p = 2; p <= 6; ++p) EXPECT_TRUE(Judgement.Verdicts[p]) << c.value << " p" << p;
  }
}

TEST_F(JudgementTest, ValueIsComparedWithTheLimitsSummedInDoublePrecision) {
  // E 0.3: the 32-bit 20.3 lies below the 64-bit 20 + 0.3 and the 32-bit 9.8
  // above 10.1 - 0.3; limits summed or rounded in 32 bits would make both
  // equal to the value and so bad.
  MeasurementRecord r = GoodRecord();
  r.SpringType = 2;
  r.Param[1].Value = 20.3f;
  JudgeMeasurement(r);
  EXPECT_TRUE(Judgement.Verdicts[1]);
  r.Param[1].Value = 9.8f;
  JudgeMeasurement(r);
  EXPECT_TRUE(Judgement.Verdicts[1]);
  r.Param[1].Value = 20.31f;
  JudgeMeasurement(r);
  EXPECT_FALSE(Judgement.Verdicts[1]);
  // Limits the file does not give are its defaults, no limit.
  r.Param[1].Value = 15.0f;
  JudgeMeasurement(r);
  EXPECT_TRUE(Judgement.SpringGood);
}

// A spring type the bogie file gives no norms for (a file cut inside its
// section, or no bogie file at all) is not judged: never "bad" on zero limits.
TEST_F(JudgementTest, ATypeWithoutNormsIsNotJudged) {
  home.write("chassie.ini", plat::ToCp1251(QString(kFile).replace(
                                "[Spring2]\r\nE=0.3\r\nNparam=6", "[Spring2]\r\nE=0.3\r\nNpa")));
  LoadSpringTypes();
  MeasurementRecord r = GoodRecord();
  r.SpringType = 2;
  JudgeMeasurement(r);
  EXPECT_FALSE(Judgement.Judged);
  EXPECT_FALSE(Judgement.SpringGood);
  Settings.Params.ChassieIniFilename = "Не назначен";
  LoadSpringTypes();
  JudgeMeasurement(GoodRecord());
  EXPECT_FALSE(Judgement.Judged);
}

TEST_F(JudgementTest, PresetVerdictStandsForOtherJudgeModes) {
  MeasurementRecord r = GoodRecord();
  r.Param[2].JudgeMode = 1;
  r.Param[2].Value = 1000.0f;  // far outside, ignored
  r.Param[2].Verdict = 1;
  r.Param[6].JudgeMode = 2;
  r.Param[6].Value = 48.0f;  // inside, ignored
  r.Param[6].Verdict = 0;
  JudgeMeasurement(r);
  EXPECT_TRUE(Judgement.Verdicts[2]);
  EXPECT_FALSE(Judgement.Verdicts[6]);
  EXPECT_FALSE(Judgement.SpringGood);
  r.Param[6].Verdict = 7;  // any non-zero byte is within the norm
  JudgeMeasurement(r);
  EXPECT_TRUE(Judgement.Verdicts[6]);
  EXPECT_TRUE(Judgement.SpringGood);
}

TEST_F(JudgementTest, Zam19PassesParametersThatAreNotAnalysed) {
  MeasurementRecord r = GoodRecord();
  r.Param[3].Value = 500.0f;  // non-perpendicularity, Analiz 0
  JudgeMeasurement(r);
  EXPECT_FALSE(Judgement.Verdicts[3]);
  EXPECT_FALSE(Judgement.SpringGood);

  Settings.Global.Zam19 = true;
  JudgeMeasurement(r);
  EXPECT_TRUE(Judgement.Verdicts[3]);
  EXPECT_TRUE(Judgement.SpringGood);
  // An analysed parameter is still judged.
  r.Param[2].Value = 200.0f;
  JudgeMeasurement(r);
  EXPECT_FALSE(Judgement.Verdicts[2]);
  EXPECT_FALSE(Judgement.SpringGood);
}

TEST_F(JudgementTest, FastModeCountsTheUnmeasuredParametersGood) {
  MeasurementRecord r = GoodRecord();
  r.Param[1].Value = 0.0f;
  r.Param[3].Value = 99.0f;
  r.Param[4].Value = -3.0f;
  JudgeMeasurement(r);
  EXPECT_FALSE(Judgement.Verdicts[1]);
  EXPECT_FALSE(Judgement.Verdicts[3]);
  EXPECT_FALSE(Judgement.Verdicts[4]);
  EXPECT_FALSE(Judgement.SpringGood);

  r.Kind = 1;
  JudgeMeasurement(r);
  EXPECT_EQ(Judgement.Verdicts, AllGood());
  EXPECT_TRUE(Judgement.SpringGood);
  // Height, set and deflection are measured in the fast mode too.
  for (int p : {2, 5, 6}) {
    MeasurementRecord bad = r;
    bad.Param[p].Value = 1000.0f;
    JudgeMeasurement(bad);
    EXPECT_FALSE(Judgement.Verdicts[p]) << p;
    EXPECT_FALSE(Judgement.SpringGood) << p;
  }
}

// A value the line did not measure never rejects a spring, whatever it
// holds; a measured one beside it still does, and old records (no marks)
// are judged as before.
TEST_F(JudgementTest, AValueMarkedNotMeasuredNeverRejects) {
  MeasurementRecord r = GoodRecord();
  r.Param[4].Value = 99.0f;
  JudgeMeasurement(r);
  EXPECT_FALSE(Judgement.SpringGood);
  EXPECT_TRUE(ValueMeasured(r, 4));
  SetParameterMeasured(r, 4, false);
  EXPECT_FALSE(ValueMeasured(r, 4));
  JudgeMeasurement(r);
  EXPECT_EQ(Judgement.Verdicts, AllGood());
  EXPECT_TRUE(Judgement.SpringGood);
  r.Param[2].Value = 200.0f;
  JudgeMeasurement(r);
  EXPECT_FALSE(Judgement.Verdicts[2]);
  EXPECT_FALSE(Judgement.SpringGood);

  MeasurementRecord fast = GoodRecord();
  fast.Kind = 1;
  for (int p = 1; p <= 6; ++p) EXPECT_EQ(ValueMeasured(fast, p), p == 2 || p >= 5) << p;
  EXPECT_TRUE(RecordKindNote(fast).isEmpty());
  SetRecordAccelerated(fast, true);
  SetRecordEmulated(fast, true);
  EXPECT_EQ(RecordKindNote(fast), QString("Ускоренный замер, Режим эмуляции"));
}

TEST_F(JudgementTest, CalEnable1PassesTheSetOfBogieTypeOneOnly) {
  MeasurementRecord r = GoodRecord(1);
  r.Param[5].Value = 9.0f;
  JudgeMeasurement(r);
  EXPECT_FALSE(Judgement.Verdicts[5]);

  Settings.Debug.CalEnable1 = true;
  JudgeMeasurement(r);
  EXPECT_TRUE(Judgement.Verdicts[5]);
  EXPECT_TRUE(Judgement.SpringGood);

  // The same spring type under bogie type 2.
  r.BogieType = 2;
  JudgeMeasurement(r);
  EXPECT_FALSE(Judgement.Verdicts[5]);
  EXPECT_FALSE(Judgement.SpringGood);
}

TEST_F(JudgementTest, RecordOutsideTheTableIsNotJudged) {
  const struct {
    int bogie, spring;
  } outside[] = {{0, 1}, {3, 1}, {16, 1}, {17, 1}, {255, 1},
                 {1, 0}, {1, 3}, {2, 2},  {1, 9},  {1, 255}};
  for (const auto& o : outside) {
    // A good judgement first, so that stale results would show.
    JudgeMeasurement(GoodRecord());
    ASSERT_TRUE(Judgement.SpringGood);
    MeasurementRecord r = GoodRecord();
    r.BogieType = static_cast<uint8_t>(o.bogie);
    r.SpringType = static_cast<uint8_t>(o.spring);
    JudgeMeasurement(r);
    EXPECT_FALSE(Judgement.Judged) << o.bogie << "/" << o.spring;
    EXPECT_FALSE(Judgement.SpringGood) << o.bogie << "/" << o.spring;
    for (int p = 0; p <= 6; ++p) EXPECT_FALSE(Judgement.Verdicts[p]) << o.bogie << "/" << o.spring;
  }
  // Inside the table: the last bogie type and spring type the file gives.
  MeasurementRecord r = GoodRecord(2);
  JudgeMeasurement(r);
  EXPECT_TRUE(Judgement.Judged);
  r = GoodRecord(1);
  r.SpringType = 2;
  JudgeMeasurement(r);
  EXPECT_TRUE(Judgement.Judged);
}

TEST_F(JudgementTest, CountsBeyondTheTableRoomDoNotReachPastIt) {
  // A table whose counts claim more than it has room for (as a damaged
  // file would without the loader's cut).
  SpringTypeTable().MaxChNum = 40;
  SpringTypeTable()[1].MaxSprings = 40;
  MeasurementRecord r = GoodRecord();
  r.BogieType = 17;
  JudgeMeasurement(r);
  EXPECT_FALSE(Judgement.Judged);
  r.BogieType = 1;
  r.SpringType = 9;
  JudgeMeasurement(r);
  EXPECT_FALSE(Judgement.Judged);
}

}  // namespace
