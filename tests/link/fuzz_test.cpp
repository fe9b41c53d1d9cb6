// The frame receiver against arbitrary line bytes: a short random-stream run
// in this program, and the libFuzzer harness under AddressSanitizer, built
// with clang and run for a bounded number of inputs by fuzz/run.sh.
#include <QCoreApplication>
#include <QProcess>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "link/framing.h"
#include "testpaths.h"

namespace {

TEST(FrameFuzzTest, RandomStreamsKeepTheReceiversPromises) {
  std::mt19937 rng(20261207);
  // Streams rich in delimiters and escapes, received into small buffers with
  // a guard zone behind them that must stay untouched.
  const uint8_t alphabet[] = {0x7E, 0x7D, 0x5E, 0x5D, 0x00, 0x41, 0xFF};
  for (int round = 0; round < 3000; ++round) {
    const int capacity = 3 + static_cast<int>(rng() % 64);
    std::vector<uint8_t> stream(rng() % 200);
    for (auto& b : stream) b = rng() % 3 ? alphabet[rng() % 7] : static_cast<uint8_t>(rng());
    std::vector<uint8_t> buffer(capacity + 16, 0xAA);
    size_t pos = 0;
    int frames = 0;
    while (pos < stream.size() && frames++ < 1000) {
      const FrameReception r = ReceiveFrameBytes(buffer.data(), capacity, [&]() -> std::optional<uint8_t> {
        if (pos >= stream.size()) return std::nullopt;
        return stream[pos++];
      });
      ASSERT_GE(r.length, 0);
      ASSERT_LE(r.length, capacity);
      if (r.complete) {
        ASSERT_EQ(buffer[r.length - 1], kFrameDelimiter);
        ASSERT_EQ(r.status, kFrameComplete);
      } else if (r.length > 0) {
        ASSERT_EQ(r.status, static_cast<uint8_t>(kFrameCutBase + r.length));
      }
    }
    for (int k = capacity; k < capacity + 16; ++k) ASSERT_EQ(buffer[k], 0xAA) << "round " << round;
  }
}

// The harness is kept beside this program and built again only when its
// sources change; the run is bounded by its number of inputs from a fixed
// seed (some fifty thousand, about a second on the development machine, by
// which the inputs have grown well past the smallest frames).
TEST(FrameFuzzTest, LibFuzzerRunFindsNothing) {
  const QString out = QCoreApplication::applicationDirPath() + "/frame-fuzz";
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start("sh", {KALVOR_SOURCE_DIR + "/fuzz/run.sh", out, "50000"});
  ASSERT_TRUE(p.waitForStarted(5000));
  const bool finished = p.waitForFinished(240000);
  const QByteArray log = p.readAll();
  if (!finished) p.kill();
  ASSERT_TRUE(finished) << "the fuzz run did not end";
  EXPECT_EQ(p.exitCode(), 0) << log.right(4000).toStdString();
  EXPECT_TRUE(log.contains("Done ")) << log.right(4000).toStdString();
}

}  // namespace
