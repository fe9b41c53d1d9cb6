#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include "config/settings.h"
#include "flowsupport.h"
#include "main/form1.h"
#include "platform/cp1251.h"
#include "screen/screen.h"

namespace {
constexpr int kCheckY[8] = {470, 486, 502, 518, 534, 550, 566, 582};
// Lines of the system check that show their green result at x = 370.
int GreenCheckLines(const QImage& img, int offsetX = 0) {
  int n = 0;
  for (int y : kCheckY)
    if (CountColour(img, QRect(offsetX + 370, y, 30, 16), 0x008000) > 5) ++n;
  return n;
}
}  // namespace

TEST(StartUp, EmulatedStartCheckMenuAndShutdown) {
  FlowHome home;
  const auto r = home.Play(
      "wait 600\nsnap start.png\n"
      "wait 12000\nsnap menu.png\n"
      "key 12\nwait 1000\nsnap shutdown.png\n"
      "key 1\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();

  const QImage start = home.Snap("start.png");
  ASSERT_EQ(start.size(), QSize(1024, 768));
  EXPECT_EQ(Rgb(start, 13, 125), 0xFFFFFFu);  // the about box
  EXPECT_GT(CountColour(start, QRect(88, 234, 200, 60), 0xFF0000), 200);  // red product name
  EXPECT_EQ(GreenCheckLines(start), 0);

  const QImage menu = home.Snap("menu.png");
  EXPECT_EQ(GreenCheckLines(menu), 0);  // the ready box covers the check
  EXPECT_GT(CountColour(menu, QRect(56, 450, 350, 140), 0x0000FF), 500);  // "Линия готова"
  // Main-menu captions over keys 2, 4, 10, 12, 13; none over key 8 or 6.
  for (int key : {2, 4, 10, 12, 13})
    EXPECT_GT(CountColour(menu, QRect(74 * key - 36, 636, 72, 36), 0x000000), 20) << key;
  for (int key : {6, 8})
    EXPECT_EQ(CountColour(menu, QRect(74 * key - 20, 636, 40, 36), 0x000000), 0) << key;

  const QImage shutdown = home.Snap("shutdown.png");
  EXPECT_EQ(Rgb(shutdown, 3, 300), 0xA0A0A4u);
  EXPECT_GT(CountColour(shutdown, QRect(24, 347, 900, 100), 0x0000FF), 2000);
  EXPECT_TRUE(QFile::exists(home.file("Temp/cash.bmp")));
  EXPECT_TRUE(QFile::exists(home.file("Temp/per.bmp")));
}

TEST(StartUp, TheCheckWritesItsLinesOneSecondApartScaledByTurbo) {
  FlowHome slow;
  ASSERT_TRUE(slow.Play("wait 2700\nsnap a.png\nexit\n").finished);
  FlowHome fast("[Global]\nTurbo=2\n");
  ASSERT_TRUE(fast.Play("wait 2700\nsnap a.png\nexit\n").finished);
  const int slowLines = GreenCheckLines(slow.Snap("a.png"));
  const int fastLines = GreenCheckLines(fast.Snap("a.png"));
  // Line i is written 1 s (Turbo 1) or 0.5 s (Turbo 2) after the one before.
  EXPECT_GE(slowLines, 1);
  EXPECT_LE(slowLines, 2);
  EXPECT_GE(fastLines, 4);
  EXPECT_LE(fastLines, 5);
}

TEST(StartUp, EscapeAndTheCloseMarkEndTheProgramAtOnce) {
  FlowHome home;
  auto r = home.Play("wait 13000\ntype \\e\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0);
  r = home.Play("wait 13000\nclick 1020 3\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0);
  // A click just below the close mark band does nothing; the script runs out.
  r = home.Play("wait 13000\nclick 1020 8\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 3);
}

TEST(StartUp, HdShiftsThePagesAndCaptionEnableAddsTheBorder) {
  FlowHome hd("[Visual]\nHD=1\n");
  ASSERT_TRUE(hd.Play("wait 13000\nsnap hd.png\nexit\n").finished);
  const QImage img = hd.Snap("hd.png");
  ASSERT_EQ(img.size(), QSize(1360, 768));
  EXPECT_EQ(Rgb(img, 13 + 168, 125), 0xFFFFFFu);  // the about box moved right
  EXPECT_EQ(GreenCheckLines(img, 168), 0);
  EXPECT_GT(CountColour(img, QRect(56 + 168, 450, 350, 140), 0x0000FF), 500);

  FlowHome framed("[Visual]\nCaptionEnable=1\n");
  ASSERT_TRUE(framed.Play("wait 1000\ngrab window.png\nsnap canvas.png\nexit\n").finished);
  EXPECT_EQ(QImage(framed.file("window.png")).size(), QSize(1030, 775));
  EXPECT_EQ(framed.Snap("canvas.png").size(), QSize(1030, 775));
}

TEST(StartUp, TheBorderedWindowCannotBeResized) {
  ResetSettingsModule();
  Settings.Visual.CaptionEnable = true;
  ResetScreenModule();
  {
    TForm1 form;
    SetupMainWindow(1);
    EXPECT_EQ(form.minimumSize(), QSize(1030, 775));
    EXPECT_EQ(form.maximumSize(), QSize(1030, 775));
    EXPECT_TRUE(form.windowFlags() & Qt::MSWindowsFixedSizeDialogHint);
    EXPECT_FALSE(form.windowFlags() & Qt::FramelessWindowHint);
    AttachScreenWindow(nullptr);
  }
  ResetScreenModule();
  ResetSettingsModule();
}

TEST(ErrorPage, ShowsTheErrorTextEighteenPixelsApartAndEndsThroughShutdown) {
  FlowHome home("[Global]\nEmul=0\nPowerOFF=1\n[Hard]\nCom=/dev/kalvor-no-such-port\n");
  // Lines 1 and 3 have text, line 2 is empty.
  QFile err(home.file("Errors/1.err"));
  ASSERT_TRUE(err.open(QIODevice::WriteOnly));
  err.write(plat::ToCp1251(QString::fromUtf8("ЖЖЖЖЖЖЖЖ\r\n\r\nЖЖЖЖЖЖЖЖ\r\n")));
  err.close();
  // poweroff.exe leaves a line for each start.
  QFile power(home.file("poweroff.exe"));
  ASSERT_TRUE(power.open(QIODevice::WriteOnly));
  power.write(QString("#!/bin/sh\necho started >> '%1'\n").arg(home.file("power.log")).toUtf8());
  power.close();
  power.setPermissions(power.permissions() | QFileDevice::ExeOwner);

  const auto r = home.Play("wait 3000\nsnap error.png\nkey 3\nwait 500\nkey 11\nwait 30000\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QImage img = home.Snap("error.png");
  EXPECT_EQ(Rgb(img, 5, 5), 0x0000FFu);
  const QRect line1(340, 327, 300, 18), line2(340, 345, 300, 18), line3(340, 363, 300, 18);
  EXPECT_GT(CountColour(img, line1, 0xFFFFFF), 50);
  EXPECT_EQ(CountColour(img, line2, 0xFFFFFF), 0);
  EXPECT_GT(CountColour(img, line3, 0xFFFFFF), 50);
  // "Код ошибки:1" and the single key "Выключить установку".
  EXPECT_GT(CountColour(img, QRect(347, 485, 330, 70), 0xFFFFFF), 500);
  // The advice to restart, in both its lines above the key panel.
  EXPECT_GT(CountColour(img, QRect(100, 566, 600, 22), 0xFFFFFF), 300);
  EXPECT_GT(CountColour(img, QRect(100, 588, 400, 22), 0xFFFFFF), 200);

  QFile log(home.file("power.log"));
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  EXPECT_EQ(log.readAll().count("started"), 4);
}

TEST(ErrorPage, AMissingErrorTextIsSaidOnThePage) {
  FlowHome home("[Global]\nEmul=0\n[Hard]\nCom=/dev/kalvor-no-such-port\n");
  QFile::remove(home.file("Errors/1.err"));
  const auto r = home.Play("wait 3000\nsnap error.png\nkey 11\nwait 30000\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_GT(CountColour(home.Snap("error.png"), QRect(340, 327, 600, 36), 0xFFFFFF), 100);
}

TEST(StartUp, ASecondCopyRefusesToStart) {
  FlowHome home;
  QProcess first;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  first.setProcessEnvironment(env);
  QFile script(home.file("first.play"));
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write("wait 100\nsnap started.png\nwait 20000\nexit\n");
  script.close();
  first.start(KALVOR_EXE, {"--home", home.path(), "-platform", "offscreen", "--play",
                           home.file("first.play")});
  ASSERT_TRUE(first.waitForStarted());
  // The first copy runs its script once it is past its own start.
  QElapsedTimer started;
  started.start();
  while (!QFile::exists(home.file("started.png")) && started.elapsed() < 30000) QThread::msleep(20);
  ASSERT_TRUE(QFile::exists(home.file("started.png"))) << "the first copy did not start";
  // The refused copy must not touch the files of the running one, even with
  // a switch that empties the database at start-up.
  {
    QFile base(home.file("Report/base.bin"));
    ASSERT_TRUE(base.open(QIODevice::WriteOnly));
    base.write(QByteArray(298 * 3, 'x'));
  }
  home.Set("Global", "DestroyDbNow", "1");

  const auto second = testsupport::Run(
      KALVOR_EXE, {"--home", home.path(), "-platform", "offscreen", "--play",
                   [&] {
                     QFile s(home.file("second.play"));
                     s.open(QIODevice::WriteOnly);
                     s.write("wait 300\npress OK\n");
                     return home.file("second.play");
                   }()},
      60000);
  EXPECT_TRUE(second.finished);
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_TRUE(second.err.contains("Невозможно запустить 2й экземпляр программы !"));
  EXPECT_EQ(first.state(), QProcess::Running);
  EXPECT_EQ(QFileInfo(home.file("Report/base.bin")).size(), 298 * 3);
  // Under playback nobody answers a box: a copy whose script never ends
  // still ends at once, with exit code 1 and none of its steps run.
  QFile never(home.file("never.play"));
  ASSERT_TRUE(never.open(QIODevice::WriteOnly));
  never.write("wait 600000\nsnap never.png\n");
  never.close();
  const auto third = testsupport::Run(KALVOR_EXE,
                                      {"--home", home.path(), "-platform", "offscreen",
                                       "--virtual-clock", "--play", home.file("never.play")},
                                      15000);
  EXPECT_TRUE(third.finished);
  EXPECT_EQ(third.exitCode, 1);
  EXPECT_TRUE(third.err.contains("Невозможно запустить 2й экземпляр программы !"));
  EXPECT_FALSE(QFile::exists(home.file("never.png")));
  first.kill();
  first.waitForFinished();
}
