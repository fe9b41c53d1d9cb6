#include "springs/springtypes.h"

#include <gtest/gtest.h>

#include "config/settings.h"
#include "database/database.h"
#include "platform/cp1251.h"
#include "testsupport.h"

namespace {

class SpringTypesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsModule();
    ResetSpringTypesModule();
    Settings.Params.ChassieIniFilename = "Config\\chassie.ini";
  }
  void TearDown() override {
    ResetSpringTypesModule();
    ResetSettingsModule();
  }
  void Load(const QString& text) {
    home.write("Config/chassie.ini", plat::ToCp1251(text));
    LoadSpringTypes();
  }
  testsupport::ScratchHome home;
};

const char* kTwoBogies =
    "[Global]\r\nMaxChNum=2\r\n"
    "[Chassie1]\r\nName=18-100\r\nManualSet=1\r\nMaxSprings=2\r\nSpring1=1\r\nSpring2=3\r\n"
    "[Chassie2]\r\nName=18-578\r\nMaxSprings=1\r\nSpring1=3\r\n"
    "[Spring1]\r\nTip=7\r\nName=Наружная\r\nAltName=ПН-1\r\nKeyMini=0x0A\r\nE=0.25\r\n"
    "Adc3=1200\r\nAdc1=$300\r\nOdf=12.5\r\nLine=1\r\nScanLine=2\r\nLineValue=3\r\n"
    "Gst=4\r\nGpt=5\r\nNparam=2\r\nPrValue=42\r\nPrEd=кг\r\nPrVisible=1\r\nprm=3\r\n"
    "P1Name=Диаметр\r\nP1Show=1\r\nP1Analiz=1\r\nP1Max=250.5\r\nP1Min=240\r\nP1e=1\r\n"
    "P1Midl=245\r\nP1t=3\r\nP1Mul=1.01\r\nP1Add=-0.5\r\n"
    "P2Name=Высота\r\nP2Max=260\r\n"
    "[Spring3]\r\nAltName=ПВ-3\r\nKeyMini=300\r\nNparam=1\r\nP1Min=1,5\r\nP1Max=12\r\n";

TEST_F(SpringTypesTest, ReadsEveryFieldWithDefaultsAndNumberForms) {
  Load(kTwoBogies);
  EXPECT_TRUE(SpringTypesLoadReport().isEmpty()) << SpringTypesLoadReport().toStdString();
  const TSpringTypeTable& t = SpringTypeTable();
  ASSERT_EQ(t.MaxChNum, 2);
  EXPECT_EQ(t[1].Name, "18-100");
  EXPECT_TRUE(t[1].ManualSet);
  EXPECT_EQ(t[1].MaxSprings, 2);
  EXPECT_FALSE(t[2].ManualSet);

  const SpringType& s = t[1].springTypes[1];
  EXPECT_EQ(s.Tip, 7);
  EXPECT_EQ(s.Name, "Наружная");
  EXPECT_EQ(s.AltName, "ПН-1");
  EXPECT_EQ(s.KeyMini, 10);  // hexadecimal 0x0A
  EXPECT_DOUBLE_EQ(s.E, 0.25);
  EXPECT_EQ(s.Adc3, 1200);
  EXPECT_EQ(s.Adc1, 0x300);
  EXPECT_DOUBLE_EQ(s.Odf, 12.5);
  EXPECT_EQ(s.Line, 1);
  EXPECT_EQ(s.ScanLine, 2);
  EXPECT_EQ(s.LineValue, 3);
  EXPECT_EQ(s.Gst, 4);
  EXPECT_EQ(s.Gpt, 5);
  EXPECT_EQ(s.Nparam, 2);
  EXPECT_EQ(s.PrValue, 42);
  EXPECT_EQ(s.PrEd, "кг");
  EXPECT_TRUE(s.PrVisible);
  EXPECT_EQ(s.prm, 3);

  const SpringParameter& p1 = s.parameters[1];
  EXPECT_EQ(p1.Name, "Диаметр");
  EXPECT_TRUE(p1.Show);
  EXPECT_TRUE(p1.Analiz);
  EXPECT_DOUBLE_EQ(p1.Max, 250.5);
  EXPECT_DOUBLE_EQ(p1.Min, 240);
  EXPECT_TRUE(p1.e);
  EXPECT_DOUBLE_EQ(p1.Midl, 245);
  EXPECT_EQ(p1.t, 3);
  EXPECT_DOUBLE_EQ(p1.Mul, 1.01);
  EXPECT_DOUBLE_EQ(p1.Add, -0.5);

  // Parameter 2 names only its upper limit: the rest are the key defaults.
  const SpringParameter& p2 = s.parameters[2];
  EXPECT_EQ(p2.Name, "Высота");
  EXPECT_FALSE(p2.Show);
  EXPECT_DOUBLE_EQ(p2.Max, 260);
  EXPECT_DOUBLE_EQ(p2.Min, -1000);
  EXPECT_DOUBLE_EQ(p2.Mul, 1);
  EXPECT_DOUBLE_EQ(p2.Add, 0);

  // Parameters beyond Nparam were never read: still zero from start-up, so
  // their limits are Max = 0 and Min = 0.
  for (int p = 3; p <= kMaxParameters; ++p) EXPECT_EQ(s.parameters[p], SpringParameter()) << p;

  // [Spring3] named by both bogie types; KeyMini 300 keeps its low 8 bits;
  // a comma decimal does not parse and takes the default.
  for (const SpringType* st : {&t[1].springTypes[2], &t[2].springTypes[1]}) {
    EXPECT_EQ(st->AltName, "ПВ-3");
    EXPECT_EQ(st->KeyMini, 44);
    EXPECT_EQ(st->Name, "-");
    EXPECT_EQ(st->Tip, 1);
    EXPECT_DOUBLE_EQ(st->E, 0.1);
    EXPECT_DOUBLE_EQ(st->Odf, 10.0);
    EXPECT_EQ(st->PrEd, "-");
    EXPECT_DOUBLE_EQ(st->parameters[1].Min, -1000);
    EXPECT_DOUBLE_EQ(st->parameters[1].Max, 12);
  }
  // Each bogie type holds its own copy.
  EXPECT_EQ(t[1].springTypes[2], t[2].springTypes[1]);
  EXPECT_NE(&t[1].springTypes[2], &t[2].springTypes[1]);
}

TEST_F(SpringTypesTest, MissingGlobalAndSpringKeysFallBackToFirstSections) {
  Load(
      "[Chassie1]\r\nName=Без глобальной\r\n"
      "[Spring1]\r\nAltName=Первая\r\nNparam=1\r\nP1Name=Диаметр\r\n");
  const TSpringTypeTable& t = SpringTypeTable();
  EXPECT_EQ(t.MaxChNum, 1);
  EXPECT_EQ(t[1].Name, "Без глобальной");
  EXPECT_EQ(t[1].MaxSprings, 1);
  EXPECT_EQ(t[1].springTypes[1].AltName, "Первая");
  EXPECT_EQ(t[1].springTypes[1].parameters[1].Name, "Диаметр");
  EXPECT_EQ(t[2], BogieType());
}

TEST_F(SpringTypesTest, MissingFileGivesDefaultsAndSaysWhy) {
  Settings.Params.ChassieIniFilename = "Не назначен";
  LoadSpringTypes();
  const TSpringTypeTable& t = SpringTypeTable();
  EXPECT_EQ(t.MaxChNum, 1);
  EXPECT_EQ(t[1].Name, "-");
  EXPECT_EQ(t[1].MaxSprings, 1);
  EXPECT_EQ(t[1].springTypes[1].AltName, "-");
  EXPECT_EQ(t[1].springTypes[1].KeyMini, 1);
  EXPECT_EQ(t[1].springTypes[1].Nparam, 0);
  EXPECT_TRUE(SpringTypesLoadReport().contains("Нет файла типов тележек и пружин"));
  EXPECT_TRUE(SpringTypesLoadReport().contains("Не назначен"));

  // The next good load clears the reason.
  Settings.Params.ChassieIniFilename = "Config\\chassie.ini";
  Load(kTwoBogies);
  EXPECT_TRUE(SpringTypesLoadReport().isEmpty());
}

// A type is judged only on norms the file gives: a missing limit key is no
// limit, but a missing section, parameters left out by Nparam (their limits
// would be zero) or no limit at all leave the type without norms.
TEST_F(SpringTypesTest, TypesWithoutNormsAreNamed) {
  Load("[Global]\r\nMaxChNum=1\r\n"
       "[Chassie1]\r\nName=18-100\r\nMaxSprings=4\r\nSpring1=1\r\nSpring2=2\r\n"
       "Spring3=3\r\nSpring4=4\r\n"
       "[Spring1]\r\nAltName=А\r\nNparam=6\r\nP2Max=255\r\n"
       "[Spring2]\r\nAltName=Б\r\nNparam=6\r\nP1Name=Диаметр\r\n"
       "[Spring4]\r\nAltName=Г\r\nNparam=2\r\nP1Max=20\r\nP1Min=10\r\n");
  EXPECT_TRUE(SpringTypeTable()[1].springTypes[1].MissingNorms.isEmpty());
  EXPECT_EQ(SpringTypesWithoutNorms(),
            QStringList({"т.18-100 Б: в [Spring2] нет ни одного P<n>Max и P<n>Min",
                         "т.18-100 -: нет раздела [Spring3]",
                         "т.18-100 Г: [Spring4] Nparam=2: нет параметров 3..6"}));
  // A bogie file cut inside a section, or none at all.
  Load("[Global]\r\nMaxChNum=1\r\n[Chassie1]\r\nName=18-100\r\nMaxSprings=1\r\n"
       "[Spring1]\r\nAltName=А\r\nE=0");
  EXPECT_EQ(SpringTypesWithoutNorms(), QStringList("т.18-100 А: [Spring1] Nparam=0: нет параметров 1..6"));
  Settings.Params.ChassieIniFilename = "Не назначен";
  LoadSpringTypes();
  EXPECT_EQ(SpringTypesWithoutNorms(), QStringList("т.- -: нет раздела [Spring1]"));
}

TEST_F(SpringTypesTest, ReloadKeepsEntriesBeyondTheNewCounts) {
  Load(kTwoBogies);
  const TSpringTypeTable before = SpringTypeTable();
  Load(
      "[Global]\r\nMaxChNum=1\r\n[Chassie1]\r\nName=Новая\r\nMaxSprings=1\r\n"
      "[Spring1]\r\nNparam=1\r\nP1Max=99\r\n");
  const TSpringTypeTable& t = SpringTypeTable();
  EXPECT_EQ(t.MaxChNum, 1);
  EXPECT_EQ(t[1].Name, "Новая");
  EXPECT_DOUBLE_EQ(t[1].springTypes[1].parameters[1].Max, 99);
  // Parameter 2 of spring type 1, spring type 2 and bogie type 2 are beyond
  // the new counts and keep the previous file's values.
  EXPECT_EQ(t[1].springTypes[1].parameters[2], before[1].springTypes[1].parameters[2]);
  EXPECT_EQ(t[1].springTypes[2], before[1].springTypes[2]);
  EXPECT_EQ(t[2], before[2]);
}

TEST_F(SpringTypesTest, CountsBeyondTheTableAreCutAndReported) {
  QString text = "[Global]\r\nMaxChNum=20\r\n";
  for (int b = 1; b <= 20; ++b)
    text += QString("[Chassie%1]\r\nName=Т%1\r\nMaxSprings=1\r\n").arg(b);
  text += "[Chassie1]\r\n";  // a second header of one section is ignored
  text.replace("[Chassie3]\r\nName=Т3\r\nMaxSprings=1\r\n",
               "[Chassie3]\r\nName=Т3\r\nMaxSprings=9\r\n");
  text += "[Spring1]\r\nNparam=12\r\n";
  for (int p = 1; p <= 12; ++p) text += QString("P%1Name=П%1\r\n").arg(p);
  Load(text);

  const TSpringTypeTable& t = SpringTypeTable();
  EXPECT_EQ(t.MaxChNum, kMaxBogieTypes);
  EXPECT_EQ(t[16].Name, "Т16");
  EXPECT_EQ(t[3].MaxSprings, kMaxSpringTypes);
  EXPECT_EQ(t[1].springTypes[1].Nparam, kMaxParameters);
  EXPECT_EQ(t[1].springTypes[1].parameters[10].Name, "П10");

  const QString report = SpringTypesLoadReport();
  EXPECT_TRUE(report.contains("[Global] MaxChNum=20")) << report.toStdString();
  EXPECT_TRUE(report.contains("[Chassie3] MaxSprings=9")) << report.toStdString();
  EXPECT_TRUE(report.contains("[Spring1] Nparam=12")) << report.toStdString();
}

TEST_F(SpringTypesTest, LongTextsAreCut) {
  const QString longName(300, QChar(0x0416));  // "Ж" x 300
  Load("[Chassie1]\r\nName=" + longName + "\r\n");
  EXPECT_EQ(SpringTypeTable()[1].Name, longName.left(kMaxSpringText));
}

TEST_F(SpringTypesTest, CurrentBogieIsTheModeStatesAndSafeOutsideTheTable) {
  ResetDatabaseModule();
  Load(kTwoBogies);
  CurrentBogieType() = 2;
  EXPECT_EQ(Database.ModeState.BogieType, 2);
  EXPECT_EQ(CurrentBogie().Name, "18-578");
  for (int damaged : {0, 17, -3}) {
    CurrentBogieType() = damaged;
    EXPECT_EQ(CurrentBogie().Name, "18-100") << damaged;
  }
  ResetDatabaseModule();
}

TEST(SpringTypeKeys, OnlyPanelKeysCanPickATypeAndOnlyWithinTheCount) {
  BogieType b;
  b.MaxSprings = 2;
  b.springTypes[1].KeyMini = 0;
  b.springTypes[2].KeyMini = 14;  // exists in the mask, never produced
  b.springTypes[3].KeyMini = 7;   // beyond MaxSprings
  EXPECT_FALSE(HasChoosableSpringType(b));
  EXPECT_EQ(SpringTypeForKey(b, 7), 0);
  b.springTypes[2].KeyMini = 13;
  EXPECT_TRUE(HasChoosableSpringType(b));
  EXPECT_EQ(SpringTypeForKey(b, 13), 2);
}

}  // namespace

namespace {

TEST(SpringTypesStartUp, LoadsTheFileSetupIniNames) {
  testsupport::ScratchHome home;
  ResetSettingsModule();
  ResetSpringTypesModule();
  home.write("setup.ini", plat::ToCp1251("[Params]\r\nChassieIniFilename=Типы.ini\r\n"));
  home.write("Типы.ini", plat::ToCp1251("[Chassie1]\r\nName=из setup.ini\r\n"));
  LoadSettings();
  // Reading setup.ini reads values only; the start-up loads the file next.
  EXPECT_EQ(SpringTypeTable()[1].Name, "");
  LoadSpringTypes();
  EXPECT_EQ(SpringTypeTable()[1].Name, "из setup.ini");
  ResetSpringTypesModule();
  ResetSettingsModule();
}

}  // namespace
