#pragma once
// The exchanges with the central controller (address 0xF0, port 1) and the
// CKT test board (address 0x61, port 2). Every request body is five bytes:
// address, command, A1, A2, A3. Replies are read from the frame buffer.

#include <array>
#include <cstdint>

constexpr uint8_t kControllerAddress = 0xF0;
constexpr uint8_t kTestBoardAddress = 0x61;

// Controller command codes.
constexpr uint8_t kCmdHydraulics = 0x01;
constexpr uint8_t kCmdRelayUp = 0x02;
constexpr uint8_t kCmdRelayDown = 0x03;
constexpr uint8_t kCmdReadAdc = 0x06;
constexpr uint8_t kCmdReadInputs = 0x07;
constexpr uint8_t kCmdReadLir = 0x08;
constexpr uint8_t kCmdResetLir = 0x09;
constexpr uint8_t kCmdInitLine = 0x0B;
constexpr uint8_t kCmdScan = 0x0C;
constexpr uint8_t kCmdForce = 0x0E;
constexpr uint8_t kCmdDisplacement = 0x0F;
constexpr uint8_t kCmdPosition = 0x11;
constexpr uint8_t kCmdPresence = 0xFF;

struct ControllerReply {
  bool ok = false;
  uint8_t R1 = 0, R2 = 0, R3 = 0;  // reply bytes 3, 4, 5 (0 without a reply)
  // The 16-bit reading carried in R2 (high) and R3 (low).
  int Value() const { return R2 * 256 + R3; }
};

struct TestBoardReply {
  bool ok = false;
  std::array<uint8_t, 6> R{};  // R[1..5]: reply bytes 1..5
};

// Short exchange: one request, one reception at once.
ControllerReply ControllerCommand(uint8_t code, uint8_t a1 = 0, uint8_t a2 = 0, uint8_t a3 = 0);
// Long exchange: one request, then up to [Hard] TimeoutCk receptions (at
// least one) of 10 + 20 + 100 ms each, for commands that answer when the
// line has done its work. With [Debug] DebugMessages the service terminal's
// caption counts the attempts left and a failure is shown in a message box.
ControllerReply ControllerLongCommand(uint8_t code, uint8_t a1 = 0, uint8_t a2 = 0, uint8_t a3 = 0);
// Test board exchange on port 2.
TestBoardReply TestBoardCommand(uint8_t code, uint8_t a1 = 0, uint8_t a2 = 0, uint8_t a3 = 0);

// Long command 0x0E: press the spring until the ADC reaches `level`, sent
// low byte first.
ControllerReply ForceCommand(int level);
// The displacement reading of long command 0x0F: a raw value above 32000 is
// a negative count and is replaced by its 16-bit complement.
int DisplacementFromRaw(int raw);
