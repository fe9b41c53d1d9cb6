// The test board and what the controller reports of it: request frames as
// the program writes them, reply frames byte for byte.
#include <gtest/gtest.h>

#include <cctype>

#include "simdriver.h"

using simtest::SimDriver;

namespace {

// Frames written as hexadecimal with blanks between the bytes.
QByteArray Hex(const char* hex) {
  return QByteArray::fromHex(hex);
}

TEST(SimBoard, VersionIsFourPrintableCharacters) {
  SimDriver d;
  const QByteArray raw = d.BoardRaw(0x60);
  EXPECT_EQ(raw, Hex("7E 32 2E 30 31 60 7E"));
  const QByteArray body = simtest::DecodeFrame(raw).value();
  for (int k = 0; k < 4; ++k) EXPECT_TRUE(std::isprint(static_cast<uint8_t>(body[k]))) << k;
}

// The board pulls the inputs low: A1 = 0 closes the contact, and the
// controller's 0x07 then sets bit 0 (D0) or bit 3 (D1). Both start open.
TEST(SimBoard, InputsAreDrivenActiveLow) {
  SimDriver d;
  EXPECT_EQ(d.ControllerRaw(kCmdReadInputs), Hex("7E F0 07 00 00 00 7E"));

  EXPECT_EQ(d.BoardRaw(0x61, 0), Hex("7E 61 61 00 00 00 7E"));
  EXPECT_EQ(d.ControllerRaw(kCmdReadInputs), Hex("7E F0 07 00 00 01 7E"));
  EXPECT_EQ(d.BoardRaw(0x62, 0), Hex("7E 61 62 00 00 00 7E"));
  EXPECT_EQ(d.ControllerRaw(kCmdReadInputs), Hex("7E F0 07 00 00 09 7E"));
  EXPECT_EQ(d.BoardRaw(0x61, 1), Hex("7E 61 61 01 00 00 7E"));
  EXPECT_EQ(d.ControllerRaw(kCmdReadInputs), Hex("7E F0 07 00 00 08 7E"));
  d.Board(0x62, 1);
  EXPECT_EQ(d.ControllerRaw(kCmdReadInputs), Hex("7E F0 07 00 00 00 7E"));
  EXPECT_EQ(d.sim->BoardState().d0, 1);
  EXPECT_EQ(d.sim->BoardState().d1, 1);
}

TEST(SimBoard, AdcLevelIsWhatTheControllerReads) {
  SimDriver d;
  // Before the board sets a level the ADC reads the press's force.
  d.Controller(kCmdForce, 400 & 0xFF, 400 >> 8, 500);
  EXPECT_EQ(d.ControllerReading(kCmdReadAdc), 400);
  EXPECT_EQ(d.BoardRaw(0x64, 15), Hex("7E 61 64 0F 00 00 7E"));
  EXPECT_EQ(d.ControllerRaw(kCmdReadAdc), Hex("7E F0 06 00 00 F0 7E"));  // 15 × 16
  d.Board(0x64, 0);
  EXPECT_EQ(d.ControllerRaw(kCmdReadAdc), Hex("7E F0 06 00 00 00 7E"));
  d.Board(0x64, 255);
  EXPECT_EQ(d.ControllerReading(kCmdReadAdc), 4080);
}

// The board reads the controller's outputs as their lines stand: an output
// that is on pulls its line low and reads "0".
TEST(SimBoard, OutputsReadZeroWhenOn) {
  struct Output {
    uint8_t controllerCode;
    int onA1, offA1;
    uint8_t boardCode;
  };
  for (const Output& o : {Output{kCmdHydraulics, 1, 0, 0x65}, Output{kCmdRelayUp, 0, 1, 0x66},
                          Output{kCmdRelayDown, 0, 1, 0x67}}) {
    SimDriver d;
    EXPECT_EQ(d.Board(o.boardCode)[0], '1') << int(o.boardCode);
    d.Controller(o.controllerCode, o.onA1);
    const QByteArray on = d.BoardRaw(o.boardCode);
    EXPECT_EQ(on, Hex("7E 30 00 00 00 00 7E").replace(2, 1, QByteArray(1, char(o.boardCode))))
        << on.toHex(' ').toStdString();
    d.Controller(o.controllerCode, o.offA1);
    EXPECT_EQ(d.Board(o.boardCode)[0], '1') << int(o.boardCode);
  }
  // Each output is its own line.
  SimDriver d;
  d.Controller(kCmdRelayUp, 0);
  EXPECT_EQ(d.Board(0x65)[0], '1');
  EXPECT_EQ(d.Board(0x66)[0], '0');
  EXPECT_EQ(d.Board(0x67)[0], '1');
}

TEST(SimBoard, LirCountsThePulsesAndIsReset) {
  SimDriver d;
  EXPECT_EQ(d.BoardRaw(0x69, 100), Hex("7E 61 69 64 00 00 7E"));
  for (int i = 1; i < 10; ++i) d.Board(0x69, 100);
  EXPECT_EQ(d.ControllerRaw(kCmdReadLir), Hex("7E F0 08 00 03 E8 7E"));  // 1000
  for (int i = 0; i < 9; ++i) d.Board(0x6B, 100);
  EXPECT_EQ(d.ControllerReading(kCmdReadLir), 100);
  d.Board(0x68);
  d.Board(0x68);
  EXPECT_EQ(d.ControllerReading(kCmdReadLir), 102);
  d.Board(0x6A);
  EXPECT_EQ(d.ControllerReading(kCmdReadLir), 101);
  EXPECT_EQ(d.ControllerRaw(kCmdResetLir), Hex("7E F0 09 00 00 00 7E"));
  EXPECT_EQ(d.ControllerReading(kCmdReadLir), 0);
  // Below zero the count is its 16-bit two's complement.
  d.Board(0x6A);
  EXPECT_EQ(d.ControllerRaw(kCmdReadLir), Hex("7E F0 08 00 FF FF 7E"));
}

// --lir-error N: 1000 pulses in a row count exactly 1000 + N wherever they
// start, and the error is spread over single pulses too.
TEST(SimBoard, LirErrorCountsEvenly) {
  for (int error : {-6, -5, 6, 17, -1000}) {
    SimFaults faults;
    faults.lirError = error;
    SimDriver d(faults);
    // Earlier pulses leave the spreading at some odd phase.
    for (int i = 0; i < 37; ++i) d.Board(0x68);
    d.Controller(kCmdResetLir);
    for (int i = 0; i < 10; ++i) d.Board(0x69, 100);
    EXPECT_EQ(d.ControllerReading(kCmdReadLir), 1000 + error) << error;
    for (int i = 0; i < 9; ++i) d.Board(0x6B, 100);
    const int back = d.ControllerReading(kCmdReadLir);
    EXPECT_GE(back, 100 + error / 10 - 1) << error;
    EXPECT_LE(back, 100 + error / 10 + 1) << error;

    d.Controller(kCmdResetLir);
    for (int i = 0; i < 1000; ++i) d.Board(0x68);
    EXPECT_EQ(d.ControllerReading(kCmdReadLir), 1000 + error) << error;
  }
}

// The pause between imitated pulses is kept, but a burst counts and
// answers at once.
TEST(SimBoard, PauseChangesNeitherTheCountNorTheReplyTime) {
  SimDriver d;
  EXPECT_EQ(d.BoardRaw(0x6C, 50), Hex("7E 61 6C 32 00 00 7E"));
  EXPECT_EQ(d.sim->BoardState().pauseMs, 50);
  d.Send(2, simtest::Bytes({0x61, 0x69, 200, 0, 0}));
  EXPECT_EQ(d.Wait(2, d.sim->Timing().replyMs), Hex("7E 61 69 C8 00 00 7E"));
  EXPECT_EQ(d.ControllerReading(kCmdReadLir), 200);
}

TEST(SimBoard, DevValuesAndTheSecondOutputAreKeptAndEchoed) {
  SimDriver d;
  EXPECT_EQ(d.BoardRaw(0x46, 7), Hex("7E 61 46 07 00 00 7E"));
  EXPECT_EQ(d.BoardRaw(0x47, 200), Hex("7E 61 47 C8 00 00 7E"));
  EXPECT_EQ(d.sim->BoardState().dev0, 7);
  EXPECT_EQ(d.sim->BoardState().dev1, 200);
  EXPECT_EQ(d.BoardRaw(0x45, 2), Hex("7E 61 45 02 00 00 7E"));
  EXPECT_EQ(d.BoardRaw(0x42, 100), Hex("7E 61 42 64 00 00 7E"));
  d.Board(0x42, 100);
  EXPECT_EQ(d.BoardRaw(0x44, 100), Hex("7E 61 44 64 00 00 7E"));
  EXPECT_EQ(d.sim->BoardState().secondOutput, 100);
  EXPECT_EQ(d.sim->BoardState().secondSetup, 2);
  // The second output is not the controller's LIR.
  EXPECT_EQ(d.ControllerReading(kCmdReadLir), 0);
}

}  // namespace
