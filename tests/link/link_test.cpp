#include <QFile>
#include <gtest/gtest.h>

#include "config/settings.h"
#include "fakeserial.h"
#include "link/camera.h"
#include "link/commands.h"
#include "link/link.h"
#include "platform/clock.h"
#include "testsupport.h"

using linktest::Bytes;
using linktest::FakeLine;

namespace {

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsModule();
    ResetControllerLink();
    ControllerLink.ShowMessage = [this](const QString& m) { messages.push_back(m); };
  }
  void TearDown() override { ResetControllerLink(); }

  // Port 1 on a fake line that answers every request with `reply`.
  std::shared_ptr<FakeLine> LineAnswering(const QByteArray& reply, uint32_t delayMs = 0) {
    auto line = linktest::OpenFakePort();
    line->responder = [reply, delayMs](const QByteArray&) { return FakeLine::Reply{reply, delayMs}; };
    return line;
  }
  // Receives one frame from the given raw line bytes.
  std::shared_ptr<FakeLine> Receive(const QByteArray& raw) {
    auto line = linktest::OpenFakePort();
    line->Queue(raw, plat::TickCount());
    ReceiveFrame(kControllerPort);
    return line;
  }
  QByteArray Body(int from, int to) const {
    QByteArray b;
    for (int k = from; k <= to; ++k) b.append(static_cast<char>(ControllerLink.FrameBuffer[k]));
    return b;
  }

  testsupport::ScratchHome home;
  std::vector<QString> messages;
};

TEST_F(LinkTest, RequestsGoOnTheWireByteForByte) {
  auto line = LineAnswering(SimLine::EncodeFrame(Bytes({0xF0, 0xFF, 0, 0, 0})));
  EXPECT_TRUE(ControllerCommand(kCmdPresence).ok);
  EXPECT_EQ(line->writes.back(), Bytes({0xFF, 0x7E, 0xF0, 0xFF, 0, 0, 0, 0x7E}));

  CameraReset(2);
  EXPECT_EQ(line->writes.back(), Bytes({0xFF, 0x7E, 0x02, 0x8A, 0, 0, 0, 0x7E}));
  CameraPresent(1);
  EXPECT_EQ(line->writes.back(), Bytes({0xFF, 0x7E, 0x01, 0x8B, 0, 0, 0x7E}));
  ForceCommand(400);
  EXPECT_EQ(line->writes.back(), Bytes({0xFF, 0x7E, 0xF0, 0x0E, 0x90, 0x01, 0, 0x7E}));

  Settings.Hard.Shutter[1] = 1000;
  CameraSetShutter(1);
  EXPECT_EQ(line->writes.back(), Bytes({0xFF, 0x7E, 0x01, 0x86, 0xE8, 0x03, 0x01, 0x7E}));
  Settings.Hard.Porog[1] = 300;
  CameraSetThreshold(1);
  EXPECT_EQ(line->writes.back(), Bytes({0xFF, 0x7E, 0x01, 0x84, 0x2C, 0, 0x7E}));
  // A body byte equal to the delimiter is not escaped on the way out.
  Settings.Hard.Porog[3] = 0x7E;
  CameraSetThreshold(3);
  EXPECT_EQ(line->writes.back(), Bytes({0xFF, 0x7E, 0x03, 0x84, 0x7E, 0, 0x7E}));
  // Any text but "2".."4" addresses camera 1.
  CameraEnable("7", true);
  EXPECT_EQ(line->writes.back(), Bytes({0xFF, 0x7E, 0x01, 0x8B, 0x01, 0, 0, 0x7E}));
  CameraEnable("4", false);
  EXPECT_EQ(line->writes.back(), Bytes({0xFF, 0x7E, 0x04, 0x8B, 0x00, 0, 0, 0x7E}));

  auto board = linktest::OpenFakePort(kTestBoardPort);
  TestBoardCommand(0x6C, 2);
  EXPECT_EQ(board->writes.back(), Bytes({0xFF, 0x7E, 0x61, 0x6C, 0x02, 0, 0, 0x7E}));
}

TEST_F(LinkTest, ReceptionSkipsNoiseAndDelimiterRuns) {
  Receive(Bytes({0x11, 0xFF, 0x7E, 0x7E, 0x7E, 0x01, 0x02, 0x03, 0x7E}));
  EXPECT_EQ(ControllerLink.FrameStatus, 0);
  EXPECT_EQ(ControllerLink.FrameLength, 5);
  EXPECT_EQ(ControllerLink.FrameBuffer[0], 0x7E);
  EXPECT_EQ(Body(1, 4), Bytes({0x01, 0x02, 0x03, 0x7E}));
}

TEST_F(LinkTest, ReceptionCollapsesEscapePairs) {
  Receive(Bytes({0x7E, 0x7E, 0x01, 0x7D, 0x5E, 0x05, 0x7E}));
  EXPECT_EQ(ControllerLink.FrameLength, 5);
  EXPECT_EQ(Body(1, 4), Bytes({0x01, 0x7E, 0x05, 0x7E}));

  Receive(Bytes({0x7E, 0x01, 0x7D, 0x5D, 0x7D, 0x41, 0x7D, 0x5E, 0x7D, 0x7E}));
  // Two pairs collapse; 7D 41 stays two bytes; a 7D before the end delimiter stays.
  EXPECT_EQ(ControllerLink.FrameLength, 8);
  EXPECT_EQ(Body(1, 7), Bytes({0x01, 0x7D, 0x7D, 0x41, 0x7E, 0x7D, 0x7E}));
  EXPECT_TRUE(ControllerLink.FrameComplete);
}

TEST_F(LinkTest, SilenceGivesItsStatusAndTiming) {
  linktest::OpenFakePort();
  const uint32_t t0 = plat::TickCount();
  ReceiveFrame(kControllerPort);
  EXPECT_EQ(ControllerLink.FrameStatus, 1);
  EXPECT_EQ(ControllerLink.FrameLength, 0);
  // A silent device is detected 20 ms + one read time-out after the start.
  EXPECT_EQ(plat::TickCount() - t0, 120u);

  Receive(Bytes({0x33, 0x7E, 0x7E}));
  EXPECT_EQ(ControllerLink.FrameStatus, 2);
  EXPECT_EQ(ControllerLink.FrameLength, 0);

  Receive(Bytes({0x7E, 0x01, 0x02, 0x03}));
  EXPECT_EQ(ControllerLink.FrameStatus, 104);
  EXPECT_EQ(ControllerLink.FrameLength, 4);
  EXPECT_FALSE(ControllerLink.FrameComplete);
  EXPECT_EQ(Body(1, 3), Bytes({0x01, 0x02, 0x03}));
}

TEST_F(LinkTest, NeverOpenedPortFailsAtOnce) {
  const uint32_t t0 = plat::TickCount();
  EXPECT_EQ(ReadByte(kTestBoardPort), 198);
  EXPECT_FALSE(ControllerLink.LinkOk);
  EXPECT_EQ(plat::TickCount(), t0);
  EXPECT_FALSE(TestBoardCommand(0x60).ok);
  EXPECT_FALSE(ControllerCommand(kCmdPresence).ok);
  EXPECT_TRUE(messages.empty());
}

TEST_F(LinkTest, FrameLongerThanTheBufferIsDroppedAtItsEnd) {
  // A body that exactly fills the buffer with its end delimiter still fits.
  QByteArray fits(kFrameBufferSize - 2, '\x01');
  Receive(QByteArray("\x7E") + fits + QByteArray("\x7E"));
  EXPECT_EQ(ControllerLink.FrameStatus, kFrameComplete);
  EXPECT_EQ(ControllerLink.FrameLength, kFrameBufferSize);
  EXPECT_EQ(ControllerLink.FrameBuffer[kFrameBufferSize - 1], 0x7E);

  // One byte more and the reply counts as missing; the rest stays unread.
  QByteArray longer(kFrameBufferSize - 1, '\x02');
  auto line = Receive(QByteArray("\x7E") + longer + QByteArray("\x03\x04\x7E"));
  EXPECT_EQ(ControllerLink.FrameStatus, kFrameOverflow);
  EXPECT_EQ(ControllerLink.FrameLength, 0);
  EXPECT_EQ(ControllerLink.FrameBuffer[kFrameBufferSize - 1], 0x02);
  EXPECT_EQ(line->input.size(), 2u);
}

TEST(FramingTest, ALineThatNeverOpensAFrameEndsTheReception) {
  // Endless noise, then an endless run of delimiters: each reception ends
  // as silence would, after a bounded number of reads.
  std::vector<uint8_t> buffer(64);
  for (uint8_t babble : {uint8_t{0x41}, uint8_t{0x7E}}) {
    int64_t reads = 0;
    const FrameReception r = ReceiveFrameBytes(buffer.data(), static_cast<int32_t>(buffer.size()),
                                               [&]() -> std::optional<uint8_t> {
                                                 ++reads;
                                                 return babble;
                                               });
    EXPECT_EQ(r.status, babble == 0x7E ? kFrameNoBody : kFrameNoStart);
    EXPECT_EQ(r.length, 0);
    EXPECT_FALSE(r.complete);
    EXPECT_LE(reads, 2 * int64_t{kFrameSkipLimit});
  }
}

TEST_F(LinkTest, ShortCommandReadsItsReplyBytes) {
  LineAnswering(SimLine::EncodeFrame(Bytes({0xF0, 0x08, 0x11, 0x03, 0xE8})));
  const ControllerReply r = ControllerCommand(kCmdReadLir);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.R1, 0x11);
  EXPECT_EQ(r.Value(), 1000);
}

TEST_F(LinkTest, LongCommandListensTimeoutCkTimes) {
  auto line = LineAnswering({});
  // One read drains the line; every attempt is one more read.
  for (int timeoutCk : {1, 0, -3, 4}) {
    Settings.Hard.TimeoutCk = timeoutCk;
    const int before = line->reads;
    EXPECT_FALSE(ControllerLongCommand(kCmdInitLine).ok);
    EXPECT_EQ(line->reads - before, 1 + std::max(1, timeoutCk)) << timeoutCk;
  }
  // Nothing is shown without DebugMessages, and the request is never repeated.
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(line->writes.size(), 4u);
}

TEST_F(LinkTest, LongCommandWaitsForALateReplyAndCountsDown) {
  Settings.Debug.DebugMessages = true;
  std::vector<QString> captions;
  ControllerLink.TerminalCaption = [&](const QString& c) { captions.push_back(c); };
  // The reply starts 300 ms after the first attempt began: the third attempt gets it.
  LineAnswering(SimLine::EncodeFrame(Bytes({0xF0, 0x0E, 0, 0x01, 0x92})), 300);
  const ControllerReply r = ControllerLongCommand(kCmdForce, 0x90, 0x01);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.Value(), 402);
  EXPECT_EQ(captions, (std::vector<QString>{"Ожидание:9", "Ожидание:8"}));
  EXPECT_TRUE(messages.empty());

  // With no reply at all the default gives about 1.3 s, then the message.
  LineAnswering({});
  captions.clear();
  const uint32_t t0 = plat::TickCount();
  EXPECT_FALSE(ControllerLongCommand(kCmdInitLine).ok);
  const uint32_t spent = plat::TickCount() - t0;
  EXPECT_GE(spent, 1300u);
  EXPECT_LT(spent, 1500u);
  EXPECT_EQ(captions.size(), 10u);
  EXPECT_EQ(captions.back(), "Ожидание:0");
  EXPECT_EQ(messages, (std::vector<QString>{"Ошибка долгой команды №11"}));
}

TEST_F(LinkTest, DisplacementComplementRule) {
  EXPECT_EQ(DisplacementFromRaw(32000), 32000);
  EXPECT_EQ(DisplacementFromRaw(32001), 33534);
  EXPECT_EQ(DisplacementFromRaw(65535), 0);
  EXPECT_EQ(DisplacementFromRaw(0), 0);
}

TEST_F(LinkTest, TestBoardReplyBytesOneToFive) {
  auto board = linktest::OpenFakePort(kTestBoardPort);
  board->responder = [](const QByteArray&) {
    return FakeLine::Reply{SimLine::EncodeFrame(QByteArray("2.01\x60")), 0};
  };
  const TestBoardReply r = TestBoardCommand(0x60);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(&r.R[1]), 4), QByteArray("2.01"));
  EXPECT_EQ(r.R[5], 0x60);
}

TEST_F(LinkTest, MessagesOnlyWithDebugMessagesAndNeverWithoutAWindow) {
  LineAnswering({});
  Settings.Hard.TimeoutCk = 1;
  ControllerLongCommand(kCmdForce);
  EXPECT_TRUE(messages.empty());
  // With the setting on, the failed command's message reaches the window.
  Settings.Debug.DebugMessages = true;
  ControllerLongCommand(kCmdForce);
  EXPECT_EQ(messages, (std::vector<QString>{"Ошибка долгой команды №14"}));
  // Without a window to show it in (a tool; this test program has only a
  // core application) the message goes nowhere instead of crashing.
  ControllerLink.ShowMessage = {};
  ControllerLongCommand(kCmdForce);
  LinkMessage("x");
}

TEST_F(LinkTest, FaultyLineRepliesThroughTheSimulator) {
  auto sim = std::make_shared<SimLine>(std::make_shared<SimpleSpringModel>());
  linktest::OpenSimPorts(sim);
  // A reply cut short is no reply; the status tells where it stopped.
  sim->Faults().cutAfter = 4;
  EXPECT_FALSE(ControllerCommand(kCmdPresence).ok);
  EXPECT_EQ(ControllerLink.FrameStatus, 104);
  EXPECT_EQ(ControllerLink.FrameLength, 4);
  // Garbled replies give whatever they give, but the exchanges end.
  sim->Faults().cutAfter = 0;
  sim->Faults().garble = 0.3;
  for (int i = 0; i < 20; ++i) ControllerCommand(kCmdReadAdc);
  sim->Faults().garble = 0;
  EXPECT_TRUE(ControllerCommand(kCmdPresence).ok);
  EXPECT_EQ(ControllerLink.FrameStatus, 0);
}

// A controller reply counts only when it came whole, names the controller
// and the request's command, and reads what the press can give; one that
// does not count leaves no value, even with an earlier reply's bytes still
// in the buffer.
TEST_F(LinkTest, AControllerReplyCountsOnlyWhenWholeEchoedAndPossible) {
  const auto reply = [](uint8_t address, uint8_t code, int value) {
    return SimLine::EncodeFrame(Bytes({address, code, 0, (value >> 8) & 0xFF, value & 0xFF}));
  };
  const int height = 56547;  // 249 mm
  const struct {
    uint8_t command;
    QByteArray reply;
    bool ok;
  } cases[] = {
      {kCmdPosition, reply(0xF0, kCmdPosition, height), true},
      {kCmdPosition, reply(0xF0, kCmdPosition, height).left(6), false},  // no end delimiter
      {kCmdPosition, reply(0xF0, kCmdPosition, height).left(4) + Bytes({0x7E}), false},
      {kCmdPosition, SimLine::EncodeFrame(Bytes({0xF0, kCmdPosition, 0, 0xDC, 0xE3, 0})), false},
      {kCmdPosition, reply(0xF0, kCmdDisplacement, height), false},
      {kCmdPosition, reply(0x01, kCmdPosition, height), false},
      {kCmdPosition, reply(0xF0, kCmdPosition, kPositionCountMin), true},
      {kCmdPosition, reply(0xF0, kCmdPosition, kPositionCountMin - 1), false},
      {kCmdPosition, reply(0xF0, kCmdPosition, kPositionCountMax), true},
      {kCmdPosition, reply(0xF0, kCmdPosition, kPositionCountMax + 1), false},
      {kCmdDisplacement, reply(0xF0, kCmdDisplacement, kDisplacementCountMax), true},
      {kCmdDisplacement, reply(0xF0, kCmdDisplacement, kDisplacementCountMax + 1), false},
      {kCmdDisplacement, reply(0xF0, kCmdDisplacement, 65535 - kDisplacementCountMax), true},
      {kCmdDisplacement, reply(0xF0, kCmdDisplacement, 65534 - kDisplacementCountMax), false},
      {kCmdForce, reply(0xF0, kCmdForce, kDeflectionCountMax), true},
      {kCmdForce, reply(0xF0, kCmdForce, kDeflectionCountMax + 1), false},
      {kCmdReadAdc, reply(0xF0, kCmdReadAdc, 65535), true},
  };
  Settings.Hard.TimeoutCk = 2;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply.toHex(' ').toStdString());
    LineAnswering(reply(0xF0, kCmdReadLir, 0x1234));
    ASSERT_TRUE(ControllerCommand(kCmdReadLir).ok);
    auto line = LineAnswering(c.reply);
    const ControllerReply r = ControllerLongCommand(c.command);
    EXPECT_EQ(r.ok, c.ok);
    if (!c.ok) {
      EXPECT_EQ(r.Value(), 0);
    }
    // The request is never sent again for a damaged reply.
    EXPECT_EQ(line->writes.size(), 1u);
  }
  // The short command and the test board take the same rule on wholeness.
  LineAnswering(reply(0xF0, kCmdPresence, 0).left(6));
  EXPECT_FALSE(ControllerCommand(kCmdPresence).ok);
  auto board = linktest::OpenFakePort(kTestBoardPort);
  board->responder = [](const QByteArray&) {
    return FakeLine::Reply{SimLine::EncodeFrame(QByteArray("2.01")), 0};
  };
  EXPECT_FALSE(TestBoardCommand(kBoardIdentify).ok);
}

}  // namespace
