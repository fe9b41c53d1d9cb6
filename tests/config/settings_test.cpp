#include <gtest/gtest.h>

#include "config/settings.h"
#include "platform/cp1251.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "testsupport.h"

namespace {
TSettings Read(const char* text) {
  return ReadSettings(plat::IniFile::FromText(QString::fromUtf8(text)));
}
}  // namespace

TEST(Settings, AnEmptyFileGivesEveryDefault) {
  const TSettings s = Read("");
  EXPECT_TRUE(s.Global.Emul);
  EXPECT_EQ(s.Hard.Com, "COM0");
  EXPECT_FALSE(s.Depo.PasswordEnable);
  EXPECT_GE(s.Depo.Password, 0);
  EXPECT_LE(s.Depo.Password, 9);
  EXPECT_FALSE(s.Visual.HD);
  EXPECT_FALSE(s.Visual.CaptionEnable);
  EXPECT_EQ(s.Global.SoftVer, "1.0");
  EXPECT_EQ(s.Global.Turbo, 1);
  EXPECT_EQ(s.Ckt.Port, "Com99");
  EXPECT_EQ(s.Depo.DepoName, "Не назначен");
  EXPECT_EQ(s.Params.ChassieIniFilename, "Не назначен");
  EXPECT_EQ(s.Hard.Shutter[4], 1000);
  EXPECT_EQ(s.Hard.Porog[1], 100);
  EXPECT_EQ(s.Mathem.k[16], 100500);
  EXPECT_DOUBLE_EQ(s.Mathem.gx[3], 80.0);
  EXPECT_DOUBLE_EQ(s.Mathem.Va, 360.0);
  EXPECT_EQ(s.K[4][12], 100500);
  EXPECT_EQ(SettingsText(s), SettingsText(TSettings()));
}

TEST(Settings, ValuesFollowTheFileRules) {
  const TSettings s = Read(
      "[Global]\nEmul=yes\nTurbo=$2\nMatixScale=1,5\nZam19=5\n"
      "[Visual]\nKeyFont=7\nHD=1\n"
      "[Hard]\nCom=COM3\nShutter3=0x3E8\nPorog2=300\n"
      "[Mathem]\ngx2=75.5\nk14=210\ndmm3=1.5\n"
      "[k2]\nk7=123\n"
      "[DEBUG]\nVred=1\n"
      "[Depo]\nDepoName=Депо Лихая\nPassword=abc\n");
  EXPECT_TRUE(s.Global.Emul);  // not an integer: the default
  EXPECT_EQ(s.Global.Turbo, 2);
  EXPECT_DOUBLE_EQ(s.Global.MatixScale, 1.0);  // a comma is not a decimal point
  EXPECT_TRUE(s.Global.Zam19);                 // any integer but 0 is on
  EXPECT_EQ(s.Visual.KeyFont, 7);
  EXPECT_TRUE(s.Visual.HD);
  EXPECT_EQ(s.Hard.Com, "COM3");
  EXPECT_EQ(s.Hard.Shutter[3], 1000);
  EXPECT_EQ(s.Hard.Porog[2], 300);
  EXPECT_DOUBLE_EQ(s.Mathem.gx[2], 75.5);
  EXPECT_EQ(s.Mathem.k[14], 210);
  EXPECT_DOUBLE_EQ(s.Mathem.dmm[3], 1.5);
  EXPECT_EQ(s.K[2][7], 123);
  EXPECT_EQ(s.K[1][7], 100500);
  EXPECT_TRUE(s.Debug.Vred);  // the key " Vred" is found by "Vred=1"
  EXPECT_EQ(s.Depo.DepoName, "Депо Лихая");
  EXPECT_EQ(s.Depo.Password, kDefaultPassword);
  EXPECT_FALSE(Read("[Global]\nEmul=0\n").Global.Emul);
}

TEST(Settings, TheDefaultFileReadsBackToTheDefaults) {
  const QString text = DefaultSetupIniText();
  EXPECT_TRUE(text.contains("Vred=0"));
  EXPECT_TRUE(text.contains("[k4]"));
  EXPECT_EQ(SettingsText(ReadSettings(plat::IniFile::FromText(text))), SettingsText(TSettings()));
}

TEST(Settings, LoadedOnceFromTheProgramFolderInCp1251) {
  testsupport::ScratchHome home;
  home.write("setup.ini",
             plat::ToCp1251(QString::fromUtf8("[Depo]\r\nDepo1Name=Северная\r\n[Global]\r\nEmul=0\r\n")));
  ResetSettingsModule();
  LoadSettings();
  EXPECT_FALSE(Settings.Global.Emul);
  EXPECT_EQ(Settings.Depo.Depo1Name, "Северная");
  home.write("setup.ini", "[Global]\r\nEmul=1\r\n");
  LoadSettings();  // a second call changes nothing
  EXPECT_FALSE(Settings.Global.Emul);
  ResetSettingsModule();
  EXPECT_TRUE(Settings.Global.Emul);
}

TEST(Settings, AMissingFileGivesEveryDefault) {
  testsupport::ScratchHome home;
  ResetSettingsModule();
  LoadSettings();
  EXPECT_EQ(SettingsText(Settings), SettingsText(TSettings()));
  ResetSettingsModule();
}

TEST(Settings, EveryValueThatDoesNotReadIsNamedWithTheDefaultTaken) {
  std::vector<TUnreadableSetting> bad;
  const TSettings s = ReadSettings(
      plat::IniFile::FromText(QString::fromUtf8("[Global]\nEmul=0 ; линия\nTurbo=2\nMatixScale=1,5\n"
                                                "SoftVer=слово\n[Hard]\nPorog3=сто\n[debug]\nVred=\n")),
      &bad);
  EXPECT_TRUE(s.Global.Emul);  // the default stays as the file's rules give it
  ASSERT_EQ(bad.size(), 4u);  // in the order of the keys, SoftVer is text
  EXPECT_EQ(bad[0].key, "Emul");
  EXPECT_EQ(bad[0].value, "0 ; линия");
  EXPECT_EQ(bad[0].taken, "1");
  EXPECT_EQ(bad[1].key, "MatixScale");
  EXPECT_EQ(bad[1].taken, "1.0");
  EXPECT_EQ(bad[2].section + bad[2].key + bad[2].taken, "DebugVred0");  // empty is no number
  EXPECT_EQ(bad[3].section + bad[3].key + bad[3].taken, "HardPorog3100");

  testsupport::ScratchHome home;
  home.write("setup.ini", "[Global]\r\nEmul=false\r\nTurbo=2\r\n");
  ResetSettingsModule();
  LoadSettings();
  EXPECT_EQ(UnreadableSettingsLines(),
            QStringList{QString::fromUtf8("[Global] Emul = \"false\": не число, взято по умолчанию 1")});
  ResetSettingsModule();
  EXPECT_TRUE(UnreadableSettingsLines().isEmpty());
}
