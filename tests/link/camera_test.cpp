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

TEST_F(CameraTest, OkNeedsTheCamerasOwnNumberExceptForTheSecondReset) {
  reply = SimLine::EncodeFrame(Bytes({1, 0x8A, 0, 0, 0}));
  EXPECT_FALSE(CameraReset(3));
  EXPECT_TRUE(CameraResetB(3));
  EXPECT_FALSE(CameraSetThreshold(3));
  EXPECT_FALSE(CameraSetShutter(3));
  EXPECT_FALSE(CameraPresent(3));
  EXPECT_TRUE(CameraReset(1));
  EXPECT_EQ(messages,
            (std::vector<QString>{"Ошибка сброса камеры №3", "Ошибка установки порога камеры №3",
                                  "Ошибка установки шаттера камеры №3"}));
  // The enable command takes any reply, and notes when there is none.
  CameraEnable("3", true);
  EXPECT_FALSE(ControllerLink.CameraNoReply);
  reply.clear();
  CameraEnable("3", true);
  EXPECT_TRUE(ControllerLink.CameraNoReply);
  EXPECT_EQ(messages.size(), 3u);
}

TEST_F(CameraTest, CameraTimingFollowsItsPauses) {
  reply = SimLine::EncodeFrame(Bytes({1, 0x8C, 0x00, 0x08, 0x00}));
  const uint32_t t0 = plat::TickCount();
  EXPECT_TRUE(CameraReadOut(1, kIndex));
  // 100 before, a 100 ms drain, 8 bytes of 1 ms, 500 after, 20 before reception.
  EXPECT_EQ(plat::TickCount() - t0, 100u + 100u + 8u + 500u + 20u);
}

TEST_F(CameraTest, ReadOutWritesBothFilesAndTheScanLength) {
  reply = SimLine::EncodeFrame(Bytes({1, 0x8C, 0xA0, 0x0F, 0x01}));
  EXPECT_TRUE(CameraReadOut(1, kIndex));
  EXPECT_EQ(ControllerLink.LastScanLength, 1512);
  EXPECT_EQ(home.read("cmr1.txt"), QByteArray("160\r\n15\r\n1\r\n"));
  EXPECT_EQ(home.read("STORAGE/41-cmr1.txt"), QByteArray("160\r\n15\r\n1\r\n"));
  EXPECT_EQ(memo, (std::vector<QString>{"Камера №1   1512"}));

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

TEST_F(CameraTest, ReadOutCutShortKeepsWhatArrived) {
  // Silence after the first header byte: the bytes that came, still escaped.
  reply = Bytes({0x7E, 0x02, 0x8C, 0xA0, 0x7D, 0x5E});
  EXPECT_TRUE(CameraReadOut(2, kIndex));
  EXPECT_EQ(ControllerLink.FrameStatus, 106);
  EXPECT_EQ(home.read("cmr2.txt"), QByteArray("160\r\n125\r\n94\r\n"));
  // A wrong camera's reply is still written, but counts as a failure.
  reply = SimLine::EncodeFrame(Bytes({1, 0x8C, 0x00, 0x08, 0x00}));
  EXPECT_FALSE(CameraReadOut(2, kIndex));
  EXPECT_EQ(home.read("cmr2.txt"), QByteArray("0\r\n8\r\n0\r\n"));
  EXPECT_EQ(ControllerLink.LastScanLength, 0);
}

// A read-out file that can't be written is a disk error naming the file,
// shown even without the debug messages; the camera's answer still counts.
TEST_F(CameraTest, AnUnwritableReadOutFileIsADiskErrorNotACameraFault) {
  Settings.Debug.DebugMessages = false;
  home.write("STORAGE/41-cmr1.txt", "1\r\n2\r\n3\r\n");
  // STORAGE\41-cmr1.txt can't be replaced: a folder stands in its place.
  ASSERT_TRUE(QFile::remove(home.file("STORAGE/41-cmr1.txt")));
  ASSERT_TRUE(QDir(home.path()).mkpath("STORAGE/41-cmr1.txt/x"));
  reply = SimLine::EncodeFrame(Bytes({1, 0x8C, 0xA0, 0x0F, 0x01}));
  EXPECT_TRUE(CameraReadOut(1, 41));
  EXPECT_EQ(home.read("cmr1.txt"), QByteArray("160\r\n15\r\n1\r\n"));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].startsWith("Ошибка записи на диск")) << qPrintable(messages[0]);
  EXPECT_TRUE(messages[0].contains("41-cmr1.txt")) << qPrintable(messages[0]);
  EXPECT_EQ(ControllerLink.DiskError, messages[0]);
  // The next read-out that can write its files clears it.
  EXPECT_TRUE(CameraReadOut(1, 42));
  EXPECT_TRUE(ControllerLink.DiskError.isEmpty());
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
