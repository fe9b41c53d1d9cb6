#include <gtest/gtest.h>

#include "platform/cp1251.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "testsupport.h"

using plat::IniFile;
using plat::ParseFloat;
using plat::ParseInteger;

TEST(IniNumbers, IntegersInDecimalAndBothHexadecimalForms) {
  EXPECT_EQ(ParseInteger("10"), 10);
  EXPECT_EQ(ParseInteger("-5"), -5);
  EXPECT_EQ(ParseInteger("+5"), 5);
  EXPECT_EQ(ParseInteger("$1F"), 31);
  EXPECT_EQ(ParseInteger("0x1F"), 31);
  EXPECT_EQ(ParseInteger("0X1f"), 31);
  EXPECT_EQ(ParseInteger("$FFFFFFFF"), -1);
  EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
  EXPECT_FALSE(ParseInteger("2147483648"));
  EXPECT_FALSE(ParseInteger("$1FFFFFFFF"));
  EXPECT_FALSE(ParseInteger(""));
  EXPECT_FALSE(ParseInteger("yes"));
  EXPECT_FALSE(ParseInteger("1.5"));
  EXPECT_FALSE(ParseInteger("12abc"));
  EXPECT_FALSE(ParseInteger("$"));
  EXPECT_FALSE(ParseInteger("0x"));
  EXPECT_FALSE(ParseInteger("١٢"));  // digits of another script are not numbers here
}

TEST(IniNumbers, RealsTakeOnlyThePoint) {
  EXPECT_DOUBLE_EQ(*ParseFloat("1.5"), 1.5);
  EXPECT_DOUBLE_EQ(*ParseFloat("-2e3"), -2000.0);
  EXPECT_DOUBLE_EQ(*ParseFloat(".5"), 0.5);
  EXPECT_DOUBLE_EQ(*ParseFloat("80"), 80.0);
  EXPECT_FALSE(ParseFloat("1,5"));
  EXPECT_FALSE(ParseFloat("1.5.2"));
  EXPECT_FALSE(ParseFloat("abc"));
  EXPECT_FALSE(ParseFloat(""));
  EXPECT_FALSE(ParseFloat("nan"));
  EXPECT_FALSE(ParseFloat("inf"));
}

TEST(IniRead, NamesMatchWithoutCaseAndBlanks) {
  const IniFile ini = IniFile::FromText(
      "; a comment=1\r\n"
      "[ Debug ]\r\n"
      "Vred=1\r\n"
      "  KeyPressDelay  =  250  \r\n"
      "Name=\"  quoted  \"\r\n"
      "[debug]\r\n"
      "Vred=0\r\n"
      "[Other]\r\n"
      "vred=7\r\n");
  EXPECT_EQ(ini.ReadInteger("DEBUG", " Vred", 0), 1);  // the first section wins
  EXPECT_EQ(ini.ReadInteger("debug", "keypressdelay", 100), 250);
  EXPECT_EQ(ini.ReadString("Debug", "Name", ""), "  quoted  ");
  EXPECT_EQ(ini.ReadInteger("Other", "Vred", 0), 7);
  EXPECT_EQ(ini.ReadInteger("Missing", "Vred", 42), 42);
  EXPECT_EQ(ini.ReadInteger("Debug", "Missing", 42), 42);
  EXPECT_FALSE(ini.HasKey("Debug", "; a comment"));
  EXPECT_TRUE(ini.ReadBool("Debug", "Vred", false));
  EXPECT_EQ(ini.Keys("Debug"), QStringList({"Vred", "KeyPressDelay", "Name"}));
}

TEST(IniRead, UnreadableValuesTakeTheDefault) {
  const IniFile ini = IniFile::FromText("[A]\nb=yes\ni=12x\nf=1,5\ng=2.25\n");
  EXPECT_TRUE(ini.ReadBool("A", "b", true));
  EXPECT_FALSE(ini.ReadBool("A", "b", false));
  EXPECT_EQ(ini.ReadInteger("A", "i", 3), 3);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("A", "f", 9.5), 9.5);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("A", "g", 9.5), 2.25);
}

TEST(IniWrite, OneKeyChangesAndEveryOtherLineStays) {
  testsupport::ScratchHome home;
  const QByteArray original =
      "; Настройки\r\n"
      "[Global]\r\n"
      "Emul=1\r\n"
      "; ниже - версия\r\n"
      "SoftVer=1.0\r\n"
      "\r\n"
      "[Depo]\r\n"
      "DepoName=Депо\r\n";
  home.write("a.ini", plat::ToCp1251(QString::fromUtf8(original)));
  const QString path = home.file("a.ini");

  ASSERT_TRUE(plat::IniWriteString(path, "global", " emul ", "0"));
  EXPECT_EQ(plat::FromCp1251(home.read("a.ini")),
            QString::fromUtf8(original).replace("Emul=1", "emul=0"));

  // A new key joins the end of its section, before the blank line.
  ASSERT_TRUE(plat::IniWriteString(path, "Global", "Turbo", "2"));
  // A new section and key go to the end of the file.
  ASSERT_TRUE(plat::IniWriteString(path, "Visual", "HD", "1"));
  EXPECT_EQ(plat::FromCp1251(home.read("a.ini")),
            QString::fromUtf8("; Настройки\r\n[Global]\r\nemul=0\r\n; ниже - версия\r\n"
                              "SoftVer=1.0\r\nTurbo=2\r\n\r\n[Depo]\r\nDepoName=Депо\r\n"
                              "\r\n[Visual]\r\nHD=1\r\n"));

  // A missing file is created.
  ASSERT_TRUE(plat::IniWriteString(home.file("sub/new.ini"), "S", "k", "v"));
  EXPECT_EQ(home.read("sub/new.ini"), QByteArray("[S]\r\nk=v\r\n"));
}
