// The camera scan of controller command 0x0C: driven by the board's LIR
// pulses until D1 closes, or completing by itself with the modelled
// profiles.
#include <gtest/gtest.h>

#include "link/camera.h"
#include "simdriver.h"

using simtest::SimDriver;

namespace {

QByteArray Hex(const char* hex) {
  return QByteArray::fromHex(hex);
}
const QByteArray kScanReply = Hex("7E F0 0C 00 00 00 7E");

void Enable(SimDriver& d, int camera) {
  d.Camera(camera, kCamEnable, 1);
}

// The scan length a read-out's header announces, as the link computes it.
int ScanLength(const QByteArray& body) {
  if (body.size() < 5) return -1;
  const int header = static_cast<uint8_t>(body[2]) + 256 * static_cast<uint8_t>(body[3]) +
                     4096 * static_cast<uint8_t>(body[4]);
  return ScanLengthFromHeader(header);
}

uint32_t Point(const QByteArray& body, int j) {
  auto b = [&](int k) { return static_cast<uint32_t>(static_cast<uint8_t>(body[5 + 4 * j + k])); };
  return b(0) + 256 * b(1) + 4096 * b(2) + 65536 * b(3);
}

// 80 bursts of 100 pulses, 130 ms apart, as the board sends them.
void Bursts(SimDriver& d, int count = 80) {
  for (int i = 0; i < count; ++i) {
    d.Board(0x69, 100);
    EXPECT_TRUE(d.Wait(1, 110).isEmpty()) << "burst " << i;
  }
}

TEST(SimScan, PulsesDriveTheScanUntilDOneCloses) {
  SimDriver d;
  Enable(d, 1);
  d.Controller(kCmdScan, 0, 0, 120);  // no reply yet
  EXPECT_TRUE(d.sim->ScanState().running);
  Bursts(d);
  // Opening D1, already open, changes nothing; closing it ends the scan.
  EXPECT_EQ(d.BoardRaw(0x62, 1), Hex("7E 61 62 01 00 00 7E"));
  EXPECT_TRUE(d.Wait(1, 100).isEmpty());
  d.Board(0x62, 0);
  EXPECT_EQ(d.Wait(1, 0), kScanReply);
  EXPECT_FALSE(d.sim->ScanState().running);
  d.Board(0x62, 1);
  EXPECT_TRUE(d.Wait(1, 5000).isEmpty());

  const QByteArray readOut = d.Camera(1, kCamReadOut, 0, 50);
  // 8000 pulses, one reading per 8: header 2048 + 4 × 1000 = 0x17A0.
  EXPECT_EQ(readOut.left(5), Hex("01 8C A0 07 01"));
  EXPECT_EQ(ScanLength(readOut), 1000);
  EXPECT_EQ(readOut.size(), 5 + 4 * 1000);
  // The readings follow the modelled profile.
  const auto full = d.spring->ScanPoints(1);
  for (int j : {0, 1, 333, 999}) EXPECT_EQ(Point(readOut, j), full[j * full.size() / 1000]) << j;
  // A camera outside the scan has nothing.
  EXPECT_EQ(ScanLength(d.Camera(2, kCamReadOut, 0, 50)), 0);
}

TEST(SimScan, ReadingsArePulsesOverEight) {
  for (int bursts : {1, 8, 40, 81}) {
    SimDriver d;
    Enable(d, 3);
    d.Controller(kCmdScan, 0, 0, 120);
    Bursts(d, bursts);
    for (int i = 0; i < 7; ++i) d.Board(0x68);  // short of one more reading
    d.Board(0x62, 0);
    EXPECT_EQ(d.Wait(1, 0), kScanReply);
    EXPECT_EQ(ScanLength(d.Camera(3, kCamReadOut, 0, 50)), (bursts * 100 + 7) / 8) << bursts;
  }
}

// A lossy LIR drives the scan with the pulses it counts.
TEST(SimScan, ALossyLirTakesFewerReadings) {
  SimFaults f;
  f.lirError = -20;
  SimDriver d(f);
  Enable(d, 1);
  d.Controller(kCmdScan, 0, 0, 120);
  Bursts(d);
  d.Board(0x62, 0);
  EXPECT_EQ(d.Wait(1, 0), kScanReply);
  EXPECT_EQ(ScanLength(d.Camera(1, kCamReadOut, 0, 50)), 7840 / 8);
}

TEST(SimScan, WithoutPulsesTheScanCompletesWithTheModelledProfiles) {
  SimpleSpring s;
  s.scanPoints = 600;
  SimDriver d({}, s);
  for (int n = 1; n <= 4; ++n) Enable(d, n);
  d.Camera(2, kCamReset);  // camera 2 stays out of the scan
  d.Send(1, simtest::Bytes({0xF0, kCmdScan, 0, 0, 0}));
  const uint32_t scanMs = d.sim->Timing().scanMs;
  EXPECT_EQ(d.sim->NextOutputTime(1), d.now + scanMs);
  // A read-out while the scan runs finds no readings.
  EXPECT_EQ(ScanLength(d.Camera(1, kCamReadOut, 0, 50)), 0);
  EXPECT_TRUE(d.Wait(1, scanMs - 51).isEmpty());
  EXPECT_EQ(d.Wait(1, 1), kScanReply);
  for (int n : {1, 3, 4}) {
    const QByteArray body = d.Camera(n, kCamReadOut, 0, 50);
    ASSERT_EQ(ScanLength(body), 600) << n;
    const auto full = d.spring->ScanPoints(n);
    for (int j : {0, 150, 599}) EXPECT_EQ(Point(body, j), full[j]) << n << " " << j;
  }
  EXPECT_EQ(ScanLength(d.Camera(2, kCamReadOut, 0, 50)), 0);
}

// The board in use during the wait (the pause set before the bursts)
// gives it time: the pulses that follow still drive the scan.
TEST(SimScan, TheBoardInUseHoldsTheScanForItsPulses) {
  SimDriver d;
  Enable(d, 1);
  const uint32_t scanMs = d.sim->Timing().scanMs;
  d.Controller(kCmdScan, 0, 0, scanMs - 100);
  d.Board(0x6C, 2);
  EXPECT_TRUE(d.Wait(1, scanMs - 100).isEmpty());
  Bursts(d, 80);
  EXPECT_TRUE(d.Wait(1, 10000).isEmpty());
  d.Board(0x62, 0);
  EXPECT_EQ(d.Wait(1, 0), kScanReply);
  EXPECT_EQ(ScanLength(d.Camera(1, kCamReadOut, 0, 50)), 1000);
}

TEST(SimScan, InitialisingTheLineDropsTheScan) {
  SimDriver d;
  Enable(d, 1);
  d.Controller(kCmdScan, 0, 0, 100);
  d.Board(0x69, 100);
  d.Controller(kCmdInitLine, 0, 0, 400);
  d.Board(0x62, 0);
  EXPECT_TRUE(d.Wait(1, 5000).isEmpty());
  EXPECT_FALSE(d.sim->ScanState().running);
}

// Closing D1 before any pulse ends the scan with no readings.
TEST(SimScan, DOneClosedBeforeAnyPulseEndsTheScanEmpty) {
  SimDriver d;
  Enable(d, 1);
  d.Controller(kCmdScan, 0, 0, 100);
  d.Board(0x62, 0);
  EXPECT_EQ(d.Wait(1, 0), kScanReply);
  EXPECT_EQ(ScanLength(d.Camera(1, kCamReadOut, 0, 50)), 0);
}

}  // namespace
