#include <QFile>
#include <gtest/gtest.h>

#include "flowsupport.h"
#include "platform/cp1251.h"

TEST(ServiceForms, TheRangeFormOpensAtStartWhenAskedForAndTheStartGoesOn) {
  FlowHome home("[Mathem]\nDalnomerEnable=1\n");
  const auto r = home.Play(
      "wait 300\ndump form40.txt\npress RadioButton3\nwait 100\ndump form40b.txt\n"
      "press Button2\nwait 13000\nsnap menu.png\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  QFile dump(home.file("form40.txt"));
  ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
  const QString text = plat::FromCp1251(dump.readAll());
  EXPECT_TRUE(text.startsWith("TForm40")) << text.toStdString();
  EXPECT_TRUE(text.contains("Button1\tЗамер"));
  EXPECT_TRUE(text.contains("RadioButton1\tКамера 1\t[x]"));
  QFile after(home.file("form40b.txt"));
  ASSERT_TRUE(after.open(QIODevice::ReadOnly));
  EXPECT_TRUE(plat::FromCp1251(after.readAll()).contains("RadioButton3\tКамера 3\t[x]"));
  // The start went on to the main menu after the form was closed.
  EXPECT_GT(CountColour(home.Snap("menu.png"), QRect(56, 450, 350, 140), 0x0000FF), 500);
}

TEST(ServiceForms, AMissingBogieFileIsReportedOnTheStartPage) {
  FlowHome home("[Params]\nChassieIniFilename=no-such-file.ini\n");
  const auto r = home.Play("wait 3000\nsnap start.png\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.err.contains("no-such-file.ini"));
  EXPECT_GT(CountColour(home.Snap("start.png"), QRect(440, 130, 570, 40), 0xFF0000), 100);
  FlowHome fine;
  ASSERT_TRUE(fine.Play("wait 3000\nsnap start.png\nexit\n").finished);
  EXPECT_EQ(CountColour(fine.Snap("start.png"), QRect(440, 130, 570, 40), 0xFF0000), 0);
}
