#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/pump.h"
#include "screen/playback.h"

namespace {

// The script beside the test program: the child of a death test runs the
// test again from its start and ends without cleaning up, so no scratch
// folder is made per run.
QString ScriptPath(const char* name) {
  return QCoreApplication::applicationDirPath() + "/playback-test-" + name + ".play";
}

void WriteScript(const char* name, const QByteArray& text) {
  QFile f(ScriptPath(name));
  if (f.open(QIODevice::WriteOnly)) f.write(text);
}

// Plays a script on the virtual clock while the program waits `ms`, then ends
// with code 7 unless the harness ended it first.
void PlayWhileWaiting(const char* name, uint32_t ms) {
  plat::UseVirtualClock(QDateTime(QDate(2026, 3, 1), QTime(10, 0)));
  QString error;
  if (!StartPlayback(ScriptPath(name), &error)) plat::EndProcess(9);
  plat::WaitMs(ms);
  plat::EndProcess(7);
}

}  // namespace

TEST(PlaybackDeathTest, AScriptRunsOutThirtySecondsAfterItsLastStepOrTrailingWait) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  WriteScript("key", "key 1\n");
  WriteScript("wait", "wait 40000\n");
  EXPECT_EXIT(PlayWhileWaiting("key", 25000), ::testing::ExitedWithCode(7), "");
  EXPECT_EXIT(PlayWhileWaiting("key", 35000), ::testing::ExitedWithCode(kExitScriptRanOut),
              "ran out");
  // A trailing wait of 40 s is served in full: the script runs out at 70 s.
  EXPECT_EXIT(PlayWhileWaiting("wait", 60000), ::testing::ExitedWithCode(7), "");
  EXPECT_EXIT(PlayWhileWaiting("wait", 80000), ::testing::ExitedWithCode(kExitScriptRanOut),
              "ran out");
  QFile::remove(ScriptPath("key"));
  QFile::remove(ScriptPath("wait"));
}

// A control the operator can't see or use is marked so in a dump, whether it
// or the box around it was hidden or disabled; the window itself need not be
// on screen.
TEST(PlaybackDump, HiddenAndDisabledControlsAreMarked) {
  QDialog window;
  window.setObjectName("Window");
  window.setWindowTitle("Caption");
  auto* layout = new QVBoxLayout(&window);
  auto* plain = new QLabel("text");
  plain->setObjectName("Plain");
  auto* box = new QGroupBox("box");
  box->setObjectName("Box");
  auto* inner = new QCheckBox("inner", box);
  inner->setObjectName("Inner");
  inner->setChecked(true);
  auto* off = new QPushButton("off");
  off->setObjectName("Off");
  layout->addWidget(plain);
  layout->addWidget(box);
  layout->addWidget(off);
  box->setVisible(false);
  box->setEnabled(false);
  off->setEnabled(false);

  QStringList lines = DumpWindow(&window).split('\n');
  EXPECT_EQ(lines.value(0), "QDialog");
  EXPECT_EQ(lines.value(1), "Caption");
  EXPECT_TRUE(lines.contains("Plain\ttext")) << lines.join('|').toStdString();
  EXPECT_TRUE(lines.contains("Box\tbox\t(hidden)\t(disabled)")) << lines.join('|').toStdString();
  EXPECT_TRUE(lines.contains("Inner\tinner\t[x]\t(hidden)\t(disabled)"))
      << lines.join('|').toStdString();
  EXPECT_TRUE(lines.contains("Off\toff\t(disabled)")) << lines.join('|').toStdString();

  box->setVisible(true);
  box->setEnabled(true);
  lines = DumpWindow(&window).split('\n');
  EXPECT_TRUE(lines.contains("Box\tbox")) << lines.join('|').toStdString();
  EXPECT_TRUE(lines.contains("Inner\tinner\t[x]")) << lines.join('|').toStdString();
}
