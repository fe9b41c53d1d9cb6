#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "database/database.h"
#include "flowsupport.h"
#include "platform/paths.h"

namespace {

constexpr int kCheckY[8] = {470, 486, 502, 518, 534, 550, 566, 582};

bool LineHasResult(const QImage& img, int line) {
  return CountColour(img, QRect(370, kCheckY[line], 30, 16), 0x008000) > 5 ||
         CountColour(img, QRect(370, kCheckY[line], 30, 16), 0xFF0000) >= 3;
}

}  // namespace

TEST(LineStart, EverythingAnsweringGivesALineReadyToWork) {
  SimulatedLine line({});
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home(QString("[Global]\nEmul=0\n[Hard]\nCom=%1\n").arg(line.port()));
  const auto r = home.Play("wait 8000\nsnap check.png\nwait 30000\nsnap ready.png\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_FALSE(r.err.contains("error page"));
  EXPECT_GT(CountColour(home.Snap("ready.png"), QRect(56, 450, 350, 140), 0x0000FF), 500);
}

TEST(LineStart, SilentControllerWithCamerasOneAndThreeGivesErrorEight) {
  SimulatedLine line({"--silent-controller", "--silent-camera", "2", "--silent-camera", "4"});
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home(QString("[Global]\nEmul=0\n[Hard]\nCom=%1\n").arg(line.port()));
  const auto r = home.Play("wait 30000\nsnap error.png\nkey 11\nwait 20000\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.err.contains("error page 8")) << r.err.toStdString();
  EXPECT_EQ(Rgb(home.Snap("error.png"), 5, 300), 0x0000FFu);
}

TEST(LineStart, AMissingPortGivesErrorOne) {
  FlowHome home("[Global]\nEmul=0\n[Hard]\nCom=/dev/kalvor-missing\n");
  const auto r = home.Play("wait 3000\nkey 11\nwait 20000\n");
  ASSERT_TRUE(r.finished);
  EXPECT_TRUE(r.err.contains("error page 1\n")) << r.err.toStdString();
}

TEST(LineStart, FastModeLeavesTheCameraLinesEmpty) {
  // A silent controller holds the finished check on screen for 3 s before
  // its error page: the camera lines must be empty, and the cameras count as
  // passed (code 3: controller failed, cameras 1..4 passed).
  SimulatedLine line({"--silent-controller", "--silent-camera", "1", "--silent-camera", "3"});
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home(QString("[Global]\nEmul=0\n[Hard]\nCom=%1\n").arg(line.port()));
  plat::SetHome(home.path());
  ASSERT_TRUE(InitDatabaseModule().isEmpty());
  ASSERT_TRUE(InitModeState().isEmpty());
  Database.ModeState.FastMode = true;
  ASSERT_TRUE(SaveModeState());
  const auto r = home.Play("wait 3800\nsnap check.png\nwait 30000\nkey 11\nwait 20000\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains("error page 3\n")) << r.err.toStdString();
  const QImage check = home.Snap("check.png");
  EXPECT_TRUE(LineHasResult(check, 0));
  EXPECT_TRUE(LineHasResult(check, 1));
  EXPECT_GE(CountColour(check, QRect(370, kCheckY[2], 30, 16), 0xFF0000), 3);  // the "X"
  for (int camera = 1; camera <= 4; ++camera) EXPECT_FALSE(LineHasResult(check, 2 + camera));
}

TEST(LineStart, TheRangeFormMeasuresWithOneCameraOfTheLine) {
  SimulatedLine line({});
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home(QString("[Global]\nEmul=0\n[Hard]\nCom=%1\n[Mathem]\nDalnomerEnable=1\ndmm3=1.5\n")
                    .arg(line.port()));
  // Camera 3's table reads 100.25 mm on every line.
  QFile table(home.file("Tabl1/cal3.txt"));
  ASSERT_TRUE(table.open(QIODevice::WriteOnly));
  for (int i = 0; i < 2048; ++i) table.write("100.25\r\n");
  table.close();
  const auto r = home.Play(
      "wait 300\npress RadioButton3\nwait 100\npress Button1\nwait 3000\ndump range.txt\n"
      "press Button2\nwait 30000\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  QFile dump(home.file("range.txt"));
  ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
  const QString text = QString::fromLatin1(dump.readAll());
  const auto units = QRegularExpression("Label2\\t(\\d+)").match(text);
  ASSERT_TRUE(units.hasMatch()) << text.toStdString();
  const int value = units.captured(1).toInt();
  EXPECT_GT(value, 0);
  EXPECT_LE(value, 2047);
  EXPECT_TRUE(text.contains("Label4\t101.75")) << text.toStdString();
  // The read-out left its profile files.
  EXPECT_TRUE(QFile::exists(home.file("cmr3.txt")));
}

// A STORAGE folder the program may not write to: the camera's read-out is
// kept in cmr3.txt, and the copy that can't be written is a disk error that
// names the file, not a fault of the camera.
TEST(LineStart, AReadOnlyStorageFolderGivesTheDiskErrorMessage) {
  SimulatedLine line({});
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home(QString("[Global]\nEmul=0\n[Hard]\nCom=%1\n[Mathem]\nDalnomerEnable=1\n")
                    .arg(line.port()));
  ASSERT_TRUE(QFile::setPermissions(home.file("STORAGE"), QFile::ReadOwner | QFile::ExeOwner));
  home.RunAsOrdinaryUser(true);
  const auto r = home.Play(
      "wait 300\npress RadioButton3\nwait 100\npress Button1\nwait 3000\ndump box.txt\n"
      "press OK\nwait 300\ndump range.txt\npress Button2\nwait 30000\nexit\n");
  QFile::setPermissions(home.file("STORAGE"),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains("Ошибка записи на диск")) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains("cmr3.txt")) << r.err.toStdString();
  const QString text = home.Text("box.txt");
  EXPECT_TRUE(text.contains("QMessageBox") && text.contains("text\tОшибка записи на диск") &&
              text.contains("STORAGE"))
      << text.toStdString();
  EXPECT_TRUE(QFile::exists(home.file("cmr3.txt")));
  EXPECT_FALSE(r.err.contains("error page"));
}
