#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/pump.h"
#include "screen/playback.h"
#include "testsupport.h"

namespace {

// Runs a script on the virtual clock while the program waits `ms`, then ends
// with code 7 unless the harness ended it first.
void PlayWhileWaiting(const QByteArray& script, uint32_t ms) {
  testsupport::ScratchHome home;
  home.write("s.play", script);
  plat::UseVirtualClock(QDateTime(QDate(2026, 3, 1), QTime(10, 0)));
  QString error;
  if (!StartPlayback(home.file("s.play"), &error)) plat::EndProcess(9);
  plat::WaitMs(ms);
  plat::EndProcess(7);
}

}  // namespace

TEST(PlaybackDeathTest, AScriptRunsOutThirtySecondsAfterItsLastStepOrTrailingWait) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(PlayWhileWaiting("snap a.png\n", 25000), ::testing::ExitedWithCode(7), "");
  EXPECT_EXIT(PlayWhileWaiting("snap a.png\n", 35000), ::testing::ExitedWithCode(kExitScriptRanOut),
              "ran out");
  // A trailing wait of 40 s is served in full: the script runs out at 70 s.
  EXPECT_EXIT(PlayWhileWaiting("wait 40000\n", 60000), ::testing::ExitedWithCode(7), "");
  EXPECT_EXIT(PlayWhileWaiting("wait 40000\n", 80000),
              ::testing::ExitedWithCode(kExitScriptRanOut), "ran out");
}
