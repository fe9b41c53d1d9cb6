// Files written whole on a full disk, made by the fault-injection library
// (tests/support/faultfs.cpp): the parameter editor's save into the bogie
// file, the reference calibration on the simulated line into Calibrate.txt
// and the statistics' counts file. Each leaves its file byte-identical, says
// which file could not be written and why, and the next start runs.
#include <gtest/gtest.h>

#include <QFile>

#include "flowsupport.h"

namespace {

QByteArray Bytes(const FlowHome& home, const QString& name) {
  QFile f(home.file(name));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

const QString kNoSpace = "No space left on device";

// The program starts, shows the main menu and ends.
void NextStartRuns(FlowHome& home, int startMs = 13000) {
  const auto r = home.Play(QString("wait %1\nexit\n").arg(startMs));
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
}

}  // namespace

TEST(FullDisk, TheEditorsSaveLeavesTheBogieFileAndNamesIt) {
  FlowHome home("[Global]\nRTedit=1\n");
  home.Set("Debug", " Vred", "1");
  const QByteArray before = Bytes(home, "Chassie.ini");
  home.InjectFaults({"KALVOR_FAULT_PATH=*/Chassie.ini.*"});
  const auto r = home.Play("wait 13000\nkey 4\nwait 500\nkey 5\nwait 1000\ndump editor.txt\n"
                           "set Edit1 4321\npress Button1\nwait 500\ndump box.txt\npress OK\nwait 300\nexit\n");
  home.InjectFaults({});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(home.Text("editor.txt").startsWith("TfVred")) << home.Text("editor.txt").toStdString();
  const QString box = home.Text("box.txt");
  EXPECT_TRUE(box.contains("Chassie.ini") && box.contains(kNoSpace)) << box.toStdString();
  EXPECT_EQ(Bytes(home, "Chassie.ini"), before);
  NextStartRuns(home);
}

TEST(FullDisk, TheReferenceCalibrationOnTheLineLeavesCalibrateTxtAndNamesIt) {
  SimulatedLine line({"--height", "249.5"});
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home(QString("[Global]\nEmul=0\n[Hard]\nCom=%1\n[Debug]\nCalEnable=1\n").arg(line.port()));
  const QByteArray before = Bytes(home, "Calibrate.txt");
  home.InjectFaults({"KALVOR_FAULT_PATH=*/Calibrate.txt.*", "KALVOR_FAULT_OPS=fsync",
                     "KALVOR_FAULT_ERRNO=EIO"});
  const auto r = home.Play("wait 40000\nkey 4\nwait 500\nkey 7\nwait 500\nkey 1\nwait 500\n"
                           "key 2\nwait 15000\nsnap fault.png\nkey 10\nwait 500\nexit\n");
  home.InjectFaults({});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains("Calibrate.txt") && r.err.contains("Input/output error"))
      << r.err.toStdString();
  EXPECT_GT(CountColour(home.Snap("fault.png"), QRect(410, 362, 600, 30), 0xFF0000), 100);
  EXPECT_EQ(Bytes(home, "Calibrate.txt"), before);
  NextStartRuns(home, 40000);
}

TEST(FullDisk, TheShiftStatisticsLeaveTheCountsFileAndNameIt) {
  FlowHome home;
  // Two measurements with room on the disk, counted once.
  auto r = home.Play("wait 13000\nkey 2\nwait 10000\nkey 1\nwait 10000\nkey 11\nwait 3000\n"
                     "key 12\nwait 300\nexit\n");
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QByteArray counts = Bytes(home, "Temp/norms.txt");
  ASSERT_TRUE(counts.startsWith("2\r\n")) << counts.constData();
  home.InjectFaults({"KALVOR_FAULT_PATH=*/Temp/norms.txt.*"});
  r = home.Play("wait 13000\nkey 2\nwait 10000\nkey 11\nwait 3000\nexit\n");
  home.InjectFaults({});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains("norms.txt") && r.err.contains(kNoSpace)) << r.err.toStdString();
  EXPECT_EQ(Bytes(home, "Temp/norms.txt"), counts);
  NextStartRuns(home);
}
