// Calibrate.txt and the height scale: the reading of the press's position,
// the file's number format, the correction stored and applied, a file that
// can't be used, and a rewrite cut off by a kill.
#include "DALNOMER/calibrate.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "testsupport.h"

namespace {

const QByteArray kInstalledFile = " 2.50000000000000E+0002\r\n 0.00000000000000E+0000\r\n";

TEST(CalibrationHeight, RawReadingGivesTheHeightOfTheScale) {
  // The zero count of the scale is the table's top plus the offset, and each
  // count below it is 0.03996 mm.
  EXPECT_NEAR(CalibrationHeight(56802), 259.2f, 1e-4f);
  EXPECT_NEAR(CalibrationHeight(56802 - 100), 255.204f, 1e-4f);
  EXPECT_EQ(QString::asprintf("%.1f", CalibrationHeight(56802)), "259.2");
  EXPECT_EQ(QString::asprintf("%.3f", CalibrationHeight(56702)), "255.204");
  // Above the zero count the height grows on.
  EXPECT_NEAR(CalibrationHeight(56902), 263.196f, 1e-3f);
}

TEST(CalibrateFile, RealsAreWrittenTwentyThreeWideWithFourDigitExponent) {
  EXPECT_EQ(FormatCalibrateReal(250.0), " 2.50000000000000E+0002");
  EXPECT_EQ(FormatCalibrateReal(0.5), " 5.00000000000000E-0001");
  EXPECT_EQ(FormatCalibrateReal(-0.5), "-5.00000000000000E-0001");
  EXPECT_EQ(FormatCalibrateReal(0.0), " 0.00000000000000E+0000");
  EXPECT_EQ(FormatCalibrateReal(9.999999999999999), " 1.00000000000000E+0001");
  EXPECT_EQ(FormatCalibrateReal(-12.25).size(), 23);
}

TEST(CalibrateFile, ReferenceStoresTheCorrectionAndTheCheckAddsIt) {
  testsupport::ScratchHome home;
  home.write("Calibrate.txt", kInstalledFile);
  QString error;
  ASSERT_TRUE(StoreReferenceCorrection(249.5f, &error)) << error.toStdString();
  EXPECT_EQ(home.read("Calibrate.txt"), " 2.50000000000000E+0002\r\n 5.00000000000000E-0001\r\n");

  const auto corrected = CorrectedHeight(249.5f, &error);
  ASSERT_TRUE(corrected);
  EXPECT_FLOAT_EQ(*corrected, 250.0f);

  // A cylinder that measures high gets a negative correction; the known
  // height stays as written at installation.
  ASSERT_TRUE(StoreReferenceCorrection(250.75f));
  EXPECT_EQ(home.read("Calibrate.txt"), " 2.50000000000000E+0002\r\n-7.50000000000000E-0001\r\n");
  EXPECT_FLOAT_EQ(*CorrectedHeight(250.75f), 250.0f);
}

TEST(CalibrateFile, PlainDecimalsAndLinesBeyondTheSecondAreRead) {
  testsupport::ScratchHome home;
  home.write("Calibrate.txt", "249.75\n-0.125\nnotes\n");
  const auto v = ReadCalibrateFile();
  ASSERT_TRUE(v);
  EXPECT_FLOAT_EQ(v->knownHeight, 249.75f);
  EXPECT_FLOAT_EQ(v->correction, -0.125f);
}

TEST(CalibrateFile, UnusableFileIsNamedAndNeverWrittenWithAMadeUpHeight) {
  testsupport::ScratchHome home;
  QString error;
  EXPECT_FALSE(StoreReferenceCorrection(249.5f, &error));
  EXPECT_TRUE(error.contains("Calibrate.txt")) << error.toStdString();
  EXPECT_FALSE(QFile::exists(home.file("Calibrate.txt")));
  EXPECT_FALSE(CorrectedHeight(249.5f));

  for (const QByteArray& bad : {QByteArray(""), QByteArray(" 2.50000000000000E+0002\r\n"),
                                QByteArray("250,0\r\n0\r\n"), QByteArray("250\r\nnone\r\n")}) {
    home.write("Calibrate.txt", bad);
    error.clear();
    EXPECT_FALSE(StoreReferenceCorrection(249.5f, &error)) << bad.toStdString();
    EXPECT_TRUE(error.contains("Calibrate.txt")) << error.toStdString();
    EXPECT_EQ(home.read("Calibrate.txt"), bad);
    EXPECT_FALSE(CorrectedHeight(249.5f)) << bad.toStdString();
  }
}

// A child process rewrites the file over and over with ever new corrections
// and is killed at a random moment; every time the file is found whole: the
// known height and one correction, each in the file's own number format.
TEST(CalibrateFile, KillDuringTheRewriteLeavesAWholeFile) {
  testsupport::ScratchHome home;
  home.write("Calibrate.txt", kInstalledFile);
  const QRegularExpression whole(
      R"(^ 2\.50000000000000E\+0002\r\n[ -]\d\.\d{14}E[+-]\d{4}\r\n$)");
  std::mt19937 rng(7);
  int killedWhileWriting = 0;
  for (int round = 0; round < 30; ++round) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      float measured = 240.0f + round;
      bool told = false;
      for (int i = 0; i < 100000; ++i) {
        if (!StoreReferenceCorrection(measured)) _exit(2);
        measured += 0.01f;
        if (!told) {
          (void)!write(ready[1], "x", 1);
          told = true;
        }
      }
      _exit(0);
    }
    close(ready[1]);
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);  // the child has written at least once
    close(ready[0]);
    usleep(std::uniform_int_distribution<int>(0, 20000)(rng));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) ++killedWhileWriting;
    const QByteArray now = home.read("Calibrate.txt");
    ASSERT_TRUE(whole.match(QString::fromLatin1(now)).hasMatch())
        << "round " << round << ": " << now.toStdString();
    ASSERT_TRUE(ReadCalibrateFile());
  }
  // The kills came in the middle of the rewriting, not after it.
  EXPECT_GT(killedWhileWriting, 20);
}

}  // namespace
