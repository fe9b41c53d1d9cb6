#include <gtest/gtest.h>

#include <QFile>

#include "config/settings.h"
#include "flowsupport.h"
#include "platform/cp1251.h"
#include "platform/paths.h"
#include "sim/springmodel.h"

// The visualiser opened at start-up and driven by playback on the camera
// files of a modelled spring, read through the installed calibration tables.
TEST(Visualiser, OpenedAtStartRunsBothChainsAndWritesTheCoilReport) {
  QString setup = "[Mathem]\nMathVisEnable=1\nMathVisStart=1\ngx1=120\ngx2=120\ngx3=120\ngx4=120\n";
  for (int n = 1; n <= 4; ++n)
    setup += QString("[k%1]\nk1=0\nk2=2046\nk3=0\nk4=0\nk5=1\nk6=1801\nk7=3\nk8=3\nk9=3\nk10=3\n")
                 .arg(n);
  FlowHome home(setup);
  plat::SetHome(home.path());
  ModelCalibration cal;
  ASSERT_TRUE(LoadInstalledCalibration(&cal));
  CameraLayout layout;
  for (int n = 1; n <= 4; ++n) layout.gx[n] = 120;
  SpringModel spring;
  spring.coilDiameter = 200;
  spring.tilt = 8;
  ASSERT_TRUE(WriteModelledScan(spring, layout, cal));

  const auto r = home.Play(
      "wait 300\npress Button1\nwait 200\npress Button5\nwait 200\ndump diameter.txt\n"
      "press Button6\nwait 200\n"
      "press Button7\nwait 1500\ngrab vis.png\ndump vis.txt\npress Button4\n"
      "wait 13000\nsnap menu.png\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  QFile dump(home.file("vis.txt"));
  ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
  const QString text = plat::FromCp1251(dump.readAll()).remove(QChar(13));
  // The caption holds the last result: the non-perpendicularity of a
  // spring whose bottom is shifted by 8 mm.
  const QStringList lines = text.split('\n');
  ASSERT_GT(lines.size(), 2);
  EXPECT_EQ(lines[0], "TForm30");
  EXPECT_GT(lines[1].trimmed().toDouble(), 0.5) << lines[1].toStdString();
  EXPECT_TRUE(text.contains("Memo1\t")) << text.toStdString();
  // After the diameter chain the caption starts with the diameter.
  QFile diameterDump(home.file("diameter.txt"));
  ASSERT_TRUE(diameterDump.open(QIODevice::ReadOnly));
  const QString caption =
      plat::FromCp1251(diameterDump.readAll()).remove(QChar(13)).section('\n', 1, 1);
  EXPECT_NEAR(caption.section('(', 0, 0).trimmed().toDouble(), 200.0, 1.0) << caption.toStdString();
  const QImage picture(home.file("vis.png"));
  EXPECT_GT(picture.width(), 1000);
  EXPECT_GT(CountColour(picture, picture.rect(), 0x008000), 1000);  // the coil shapes
  // The start went on to the main menu after the form was closed.
  EXPECT_GT(CountColour(home.Snap("menu.png"), QRect(56, 450, 350, 140), 0x0000FF), 500);
}
