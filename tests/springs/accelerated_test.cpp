#include <gtest/gtest.h>

#include <stdexcept>

#include "config/settings.h"
#include "platform/cp1251.h"
#include "springs/springtypes.h"
#include "testsupport.h"

namespace {

// Two bogie types, parameters with mixed Show/Analiz flags and values in
// every field, so that a lost or half-restored field shows.
const char* kFile =
    "[Global]\r\nMaxChNum=2\r\n"
    "[Chassie1]\r\nName=А\r\nManualSet=1\r\nMaxSprings=2\r\nSpring1=1\r\nSpring2=2\r\n"
    "[Chassie2]\r\nName=Б\r\nMaxSprings=1\r\nSpring1=2\r\n"
    "[Spring1]\r\nAltName=ПН\r\nKeyMini=1\r\nAdc3=900\r\nNparam=4\r\nprm=1\r\n"
    "P1Name=Д\r\nP1Show=1\r\nP1Analiz=1\r\nP1Max=250\r\nP1Min=240\r\nP1e=1\r\nP1Midl=245\r\nP1t="
    "2\r\n"
    "P2Name=Н\r\nP2Show=0\r\nP2Analiz=0\r\nP2Max=260\r\nP2Min=250\r\nP2Mul=1.5\r\nP2Add=0.25\r\n"
    "P3Name=Е\r\nP3Show=1\r\nP3Analiz=0\r\n"
    "P4Name=Ж\r\nP4Show=0\r\nP4Analiz=1\r\n"
    "[Spring2]\r\nAltName=ПВ\r\nKeyMini=2\r\nNparam=3\r\nP1Show=1\r\nP2Analiz=1\r\nP3Show="
    "1\r\nP3Analiz=1\r\n";

class AcceleratedModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsModule();
    ResetSpringTypesModule();
    home.write("chassie.ini", plat::ToCp1251(kFile));
    Settings.Params.ChassieIniFilename = "chassie.ini";
    LoadSpringTypes();
    // Something beyond the counts that the wrapper must neither touch nor lose.
    SpringTypeTable()[1].springTypes[1].parameters[7].Show = true;
    SpringTypeTable()[1].springTypes[1].parameters[7].Name = "вне счета";
    Settings.Global.ukz_enable = true;
    Settings.Global.Zam19 = false;
  }
  void TearDown() override {
    ResetSpringTypesModule();
    ResetSettingsModule();
  }
  testsupport::ScratchHome home;
};

// Every Show/Analiz flag within the counts is on for parameter 2 alone.
void ExpectOnlySecondParameter(const TSpringTypeTable& t) {
  for (int b = 1; b <= t.MaxChNum; ++b)
    for (int s = 1; s <= t[b].MaxSprings; ++s)
      for (int p = 1; p <= t[b].springTypes[s].Nparam; ++p) {
        const SpringParameter& P = t[b].springTypes[s].parameters[p];
        EXPECT_EQ(P.Show, p == 2) << b << "/" << s << "/" << p;
        EXPECT_EQ(P.Analiz, p == 2) << b << "/" << s << "/" << p;
      }
}

TEST_F(AcceleratedModeTest, InnerPageSeesOnlyParameterTwoAndTableComesBackExactly) {
  const TSpringTypeTable before = SpringTypeTable();
  bool ran = false;
  RunAcceleratedModeWrapper(true, [&] {
    ran = true;
    EXPECT_TRUE(Settings.Global.Zam19);
    const TSpringTypeTable& t = SpringTypeTable();
    ExpectOnlySecondParameter(t);
    // Only the two flags changed; limits, corrections and entries beyond the
    // counts are as loaded.
    EXPECT_DOUBLE_EQ(t[1].springTypes[1].parameters[2].Mul, 1.5);
    EXPECT_EQ(t[1].springTypes[1].parameters[7], before[1].springTypes[1].parameters[7]);
    // Whatever the inner page changes is dropped afterwards, a reload included.
    SpringTypeTable()[1].springTypes[1].parameters[1].Max = 1;
    SpringTypeTable()[2].Name = "изменено";
    home.write("chassie.ini", plat::ToCp1251("[Global]\r\nMaxChNum=3\r\n"));
    LoadSpringTypes();
  });
  EXPECT_TRUE(ran);
  EXPECT_FALSE(Settings.Global.Zam19);
  EXPECT_TRUE(SpringTypeTable() == before);
  // Spot checks of what the comparison covers.
  EXPECT_TRUE(SpringTypeTable()[1].springTypes[1].parameters[1].Show);
  EXPECT_FALSE(SpringTypeTable()[1].springTypes[1].parameters[2].Analiz);
  EXPECT_TRUE(SpringTypeTable()[1].springTypes[1].parameters[4].Analiz);
  EXPECT_EQ(SpringTypeTable().MaxChNum, 2);
}

TEST_F(AcceleratedModeTest, InactiveWithoutBothSwitches) {
  for (const auto& [ukz, accelerated] : {std::pair{false, true}, {true, false}, {false, false}}) {
    ResetSpringTypesModule();
    LoadSpringTypes();
    Settings.Global.ukz_enable = ukz;
    const TSpringTypeTable before = SpringTypeTable();
    bool ran = false;
    RunAcceleratedModeWrapper(accelerated, [&] {
      ran = true;
      EXPECT_FALSE(Settings.Global.Zam19);
      EXPECT_TRUE(SpringTypeTable() == before);
      // Without the wrapper a reload inside the page stays.
      SpringTypeTable()[1].Name = "после";
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(SpringTypeTable()[1].Name, "после");
  }
}

TEST_F(AcceleratedModeTest, RestoredWhenInnerPageThrowsOrNests) {
  const TSpringTypeTable before = SpringTypeTable();
  EXPECT_THROW(RunAcceleratedModeWrapper(true,
                                         [] {
                                           SpringTypeTable()[1].Name = "x";
                                           throw std::runtime_error("page failed");
                                         }),
               std::runtime_error);
  EXPECT_TRUE(SpringTypeTable() == before);
  EXPECT_FALSE(Settings.Global.Zam19);

  RunAcceleratedModeWrapper(true, [] {
    RunAcceleratedModeWrapper(true, [] { ExpectOnlySecondParameter(SpringTypeTable()); });
    ExpectOnlySecondParameter(SpringTypeTable());
    EXPECT_TRUE(Settings.Global.Zam19);
  });
  EXPECT_TRUE(SpringTypeTable() == before);
  EXPECT_FALSE(Settings.Global.Zam19);
}

}  // namespace
