#include "link/camera.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "config/settings.h"
#include "fakeserial.h"
#include "link/link.h"
#include "testsupport.h"

using linktest::Bytes;
using linktest::FakeLine;

namespace {

// The measurement the read-outs of the fixture belong to.
constexpr int kIndex = 41;

class CameraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsModule();
    ResetControllerLink();
    Settings.Debug.DebugMessages = true;
    ControllerLink.ShowMessage = [this](const QString& m) { messages.push_back(m); };
    ControllerLink.TerminalMemo = [this](const QString& m) { memo.push_back(m); };
    line = linktest::OpenFakePort();
    line->responder = [this](const QByteArray&) { return FakeLine::Reply{reply, 0}; };
  }
  void TearDown() override { ResetControllerLink(); }

  testsupport::ScratchHome home;
  std::shared_ptr<FakeLine> line;
  QByteArray reply;
  std::vector<QString> messages;
  std::vector<QString> memo;
};

TEST_F(CameraTest, SkippedCamerasSendAndWriteNothing) {
  Settings.Hard.Cam2off = true;
  for (int n : {12, 2}) {
    EXPECT_FALSE(CameraReset(n));
    EXPECT_FALSE(CameraResetB(n));
    EXPECT_FALSE(CameraSetThreshold(n));
    EXPECT_FALSE(CameraSetShutter(n));
    EXPECT_FALSE(CameraReadOut(n, kIndex));
    CameraSetup(n);
  }
  CameraEnable("2", true);
  EXPECT_TRUE(line->written.isEmpty());
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(memo.empty());
  EXPECT_FALSE(QFile::exists(home.file("cmr2.txt")));
  EXPECT_FALSE(QFile::exists(home.file("cmr12.txt")));

  // The presence check skips nothing.
  reply = SimLine::EncodeFrame(Bytes({2, 0x8B, 0, 0, 0}));
  EXPECT_TRUE(CameraPresent(2));
  EXPECT_EQ(line->writes.size(), 1u);
}

TEST_F(CameraTest, OkNeedsTheCamerasOwnNumberAndCommand) {
  reply = SimLine::EncodeFrame(Bytes({1, 0x8A, 0, 0, 0}));
  EXPECT_FALSE(CameraReset(3));
  EXPECT_FALSE(CameraResetB(1));  // camera 1, but the command of the first reset
  EXPECT_FALSE(CameraSetThreshold(3));
  EXPECT_FALSE(CameraSetShutter(3));
  EXPECT_FALSE(CameraPresent(3));
  EXPECT_TRUE(CameraReset(1));
  // A frame cut before its end delimiter is no reply.
  reply = Bytes({0x7E, 1, 0x8A, 0, 0, 0});
  EXPECT_FALSE(CameraReset(1));
  EXPECT_EQ(messages,
            (std::vector<QString>{"Ошибка сброса камеры №3", "Ошибка сброса камеры №1",
                                  "Ошибка установки порога камеры №3",
                                  "Ошибка установки шаттера камеры №3", "Ошибка сброса камеры №1"}));
  // The enable command notes when no reply of its camera came.
  reply = SimLine::EncodeFrame(Bytes({3, 0x8B, 0, 0, 0}));
  CameraEnable("3", true);
  EXPECT_FALSE(ControllerLink.CameraNoReply);
  reply.clear();
  CameraEnable("3", true);
  EXPECT_TRUE(ControllerLink.CameraNoReply);
  EXPECT_EQ(messages.size(), 5u);
}

TEST_F(CameraTest, CameraTimingFollowsItsPauses) {
  reply = SimLine::EncodeFrame(Bytes({1, 0x8C, 0x00, 0x08, 0x00}));
  const uint32_t t0 = plat::TickCount();
  EXPECT_TRUE(CameraReadOut(1, kIndex));
  // 100 before, a 100 ms drain, 8 bytes of 1 ms, 500 after, 20 before reception.
  EXPECT_EQ(plat::TickCount() - t0, 100u + 100u + 8u + 500u + 20u);
}

TEST_F(CameraTest, ReadOutWritesBothFilesAndTheScanLength) {
  // Two points: header 2048 + 8 = 0x808.
  reply = SimLine::EncodeFrame(Bytes({1, 0x8C, 0x08, 0x08, 0x00, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_TRUE(CameraReadOut(1, kIndex));
  EXPECT_EQ(ControllerLink.LastScanLength, 2);
  const QByteArray lines("8\r\n8\r\n0\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n");
  EXPECT_EQ(home.read("cmr1.txt"), lines);
  EXPECT_EQ(home.read("STORAGE/41-cmr1.txt"), lines);
  EXPECT_EQ(memo, (std::vector<QString>{"Камера №1   2"}));

  // A body byte that came escaped is written as its value.
  reply = SimLine::EncodeFrame(Bytes({4, 0x8C, 0x04, 0x08, 0x00, 0x7E, 0x7D, 0x00, 0x00}));
  EXPECT_TRUE(CameraReadOut(4, kIndex));
  EXPECT_EQ(ControllerLink.LastScanLength, 1);
  EXPECT_EQ(home.read("cmr4.txt"), QByteArray("4\r\n8\r\n0\r\n126\r\n125\r\n0\r\n0\r\n"));
  EXPECT_TRUE(messages.empty());
}

TEST_F(CameraTest, ReadOutWithoutReplyEmptiesBothFiles) {
  home.write("cmr3.txt", "1\r\n2\r\n3\r\n");
  home.write("STORAGE/41-cmr3.txt", "1\r\n2\r\n3\r\n");
  EXPECT_FALSE(CameraReadOut(3, kIndex));
  EXPECT_TRUE(QFile::exists(home.file("cmr3.txt")));
  EXPECT_EQ(home.read("cmr3.txt"), QByteArray());
  EXPECT_EQ(home.read("STORAGE/41-cmr3.txt"), QByteArray());
  EXPECT_EQ(ControllerLink.LastScanLength, 0);
  EXPECT_EQ(messages, (std::vector<QString>{"Ошибка считывания данных с камеры №3"}));
}

// A read-out that does not count writes both files empty: cut short, with
// fewer or more points than its header counts, more than a camera gives, or
// from another camera.
TEST_F(CameraTest, AReadOutThatDoesNotCountWritesNothingOfIt) {
  const QByteArray replies[] = {
      Bytes({0x7E, 0x02, 0x8C, 0x04, 0x08, 0x00, 1, 2, 3, 4}),            // no end delimiter
      SimLine::EncodeFrame(Bytes({2, 0x8C, 0xA0, 0x0F, 0x01})),           // 1512 points, none came
      SimLine::EncodeFrame(Bytes({2, 0x8C, 0x04, 0x08, 0x00, 1, 2, 3})),  // a point short
      SimLine::EncodeFrame(Bytes({2, 0x8C, 0x01, 0x08, 0x00})),           // not a whole point
      SimLine::EncodeFrame(Bytes({1, 0x8C, 0x00, 0x08, 0x00})),           // camera 1's
  };
  for (const QByteArray& r : replies) {
    home.write("cmr2.txt", "1\r\n2\r\n3\r\n");
    reply = r;
    EXPECT_FALSE(CameraReadOut(2, kIndex)) << r.toHex().toStdString();
    EXPECT_EQ(home.read("cmr2.txt"), QByteArray());
    EXPECT_EQ(ControllerLink.LastScanLength, 0);
  }
  // The most points a reply can carry pass.
  const int most = 2048 + 4 * kCameraMaxReadings;
  reply = SimLine::EncodeFrame(Bytes({2, 0x8C, most & 0xFF, (most >> 8) & 0x0F, most >> 12}) +
                               QByteArray(4 * kCameraMaxReadings, 1));
  EXPECT_TRUE(CameraReadOut(2, kIndex));
  EXPECT_EQ(ControllerLink.LastScanLength, kCameraMaxReadings);
}

// A read-out file that can't be written is a disk error naming the file,
// shown even without the debug messages; the camera's answer still counts.
TEST_F(CameraTest, AnUnwritableReadOutFileIsADiskErrorNotACameraFault) {
  Settings.Debug.DebugMessages = false;
  home.write("STORAGE/41-cmr1.txt", "1\r\n2\r\n3\r\n");
  // STORAGE\41-cmr1.txt can't be replaced: a folder stands in its place.
  ASSERT_TRUE(QFile::remove(home.file("STORAGE/41-cmr1.txt")));
  ASSERT_TRUE(QDir(home.path()).mkpath("STORAGE/41-cmr1.txt/x"));
  reply = SimLine::EncodeFrame(Bytes({1, 0x8C, 0x00, 0x08, 0x00}));
  QString diskError;
  EXPECT_TRUE(CameraReadOut(1, "41", diskError));
  EXPECT_EQ(home.read("cmr1.txt"), QByteArray("0\r\n8\r\n0\r\n"));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].startsWith("Ошибка записи на диск")) << qPrintable(messages[0]);
  EXPECT_TRUE(messages[0].contains("41-cmr1.txt")) << qPrintable(messages[0]);
  EXPECT_EQ(diskError, messages[0]);
  // The next read-out that can write its files clears it.
  EXPECT_TRUE(CameraReadOut(1, "42", diskError));
  EXPECT_TRUE(diskError.isEmpty());
  EXPECT_EQ(messages.size(), 1u);
}

}  // namespace

namespace {

TEST(CameraStorageTest, NamedAfterTheIndexTheCallerPasses) {
  testsupport::ScratchHome home;
  ResetSettingsModule();
  ResetControllerLink();
  linktest::OpenFakePort();
  CameraReadOut(1, 7);
  EXPECT_TRUE(QFile::exists(home.file("STORAGE/7-cmr1.txt")));
  EXPECT_TRUE(QFile::exists(home.file("cmr1.txt")));
  ResetControllerLink();
}

}  // namespace
