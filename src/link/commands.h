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

// Input bits of command 0x07 (R3): set when the contact is closed.
constexpr int kInputD0Bit = 0;
constexpr int kInputD1Bit = 3;

// CKT test board command codes, for the service terminal that sends them
// and the simulated line that answers them.
constexpr uint8_t kBoardIdentify = 0x60;          // reply bytes 1..4: the version
constexpr uint8_t kBoardD0 = 0x61;                // A1: 0 or 1
constexpr uint8_t kBoardD1 = 0x62;                // A1: 0 or 1
constexpr uint8_t kBoardAdcLevel = 0x64;          // A1: the imitated ADC level
constexpr uint8_t kBoardHydraulicsOutput = 0x65;  // reply byte 1: "0" or "1"
constexpr uint8_t kBoardUpOutput = 0x66;
constexpr uint8_t kBoardDownOutput = 0x67;
constexpr uint8_t kBoardLirStepForward = 0x68;
constexpr uint8_t kBoardLirForward = 0x69;  // A1: pulses of the burst
constexpr uint8_t kBoardLirStepBack = 0x6A;
constexpr uint8_t kBoardLirBack = 0x6B;  // A1: pulses of the burst
constexpr uint8_t kBoardLirPause = 0x6C;  // A1: ms between imitated pulses
constexpr uint8_t kBoardLir2Forward = 0x42;
constexpr uint8_t kBoardLir2Back = 0x44;
constexpr uint8_t kBoardLir2Setup = 0x45;
constexpr uint8_t kBoardDev0 = 0x46;
constexpr uint8_t kBoardDev1 = 0x47;

// Arguments of the hydraulic station (0x01) and the relays (0x02, 0x03).
constexpr uint8_t kHydraulicsOn = 1;
constexpr uint8_t kHydraulicsOff = 0;
constexpr uint8_t kRelayRun = 0;
constexpr uint8_t kRelayStop = 1;

// A controller reply carries five body bytes: its address, the request's
// command, R1, R2, R3.
constexpr int kControllerReplyBody = 5;
// A test board reply carries five body bytes, R1..R5.
constexpr int kTestBoardReplyBody = 5;

// What the press can read. The press opens to kPressTopMm over the table;
// no spring, and no travel or deflection of one, is longer.
constexpr double kPressTopMm = 400.0;
// The position scale (0x11): 65535 - 8733 counts with the press at 259.2 mm,
// one count less per 0.03996 mm below. Its range is the press's, from the
// table to the top.
constexpr int kPositionReferenceCount = 65535 - 8733;
constexpr double kPositionReferenceMm = 259.2;
constexpr double kPositionMmPerCount = 0.03996;
constexpr int kPositionCountMin =
    kPositionReferenceCount - static_cast<int>(kPositionReferenceMm / kPositionMmPerCount) - 1;
constexpr int kPositionCountMax =
    kPositionReferenceCount +
    static_cast<int>((kPressTopMm - kPositionReferenceMm) / kPositionMmPerCount) + 1;
// The LIR counts 0.0396 mm of the press's travel; a displacement (0x0F) is
// at most the whole travel either way.
constexpr double kLirMmPerCount = 0.0396;
constexpr int kDisplacementCountMax = static_cast<int>(kPressTopMm / kLirMmPerCount) + 1;
// The force step (0x0E) answers the spring's deflection in steps of 0.04 mm.
constexpr double kDeflectionMmPerCount = 0.04;
constexpr int kDeflectionCountMax = static_cast<int>(kPressTopMm / kDeflectionMmPerCount) + 1;

// Whether a 16-bit reading (R2 x 256 + R3) of a controller command lies
// within what the line can give; commands without a bound take any value.
bool ControllerValuePossible(uint8_t code, int value);

// A reply counts only when its frame is complete, it carries the controller's
// address and the request's command, and its reading is possible (see
// ControllerValuePossible); a reply that does not count is no reply, and
// leaves R1..R3 at 0.
struct ControllerReply {
  bool ok = false;
  uint8_t R1 = 0, R2 = 0, R3 = 0;  // reply bytes 3, 4, 5 (0 without a reply)
  // The 16-bit reading carried in R2 (high) and R3 (low).
  int Value() const { return R2 * 256 + R3; }
};

// A test board reply counts when its frame is complete with its five bytes.
struct TestBoardReply {
  bool ok = false;
  std::array<uint8_t, 6> R{};  // R[1..5]: reply bytes 1..5
};

// Short exchange: one request, one reception at once.
ControllerReply ControllerCommand(uint8_t code, uint8_t a1 = 0, uint8_t a2 = 0, uint8_t a3 = 0);
// Long exchange: one request, then up to [Hard] TimeoutCk receptions (at
// least one) of 10 + 20 + 100 ms each, for commands that answer when the
// line has done its work. A reception whose reply does not count is one more
// attempt without an answer. With [Debug] DebugMessages the service
// terminal's caption counts the attempts left and a failure is shown in a
// message box.
ControllerReply ControllerLongCommand(uint8_t code, uint8_t a1 = 0, uint8_t a2 = 0, uint8_t a3 = 0);
// Test board exchange on port 2.
TestBoardReply TestBoardCommand(uint8_t code, uint8_t a1 = 0, uint8_t a2 = 0, uint8_t a3 = 0);

// Long command 0x0E: press the spring until the ADC reaches `level`, sent
// low byte first.
ControllerReply ForceCommand(int level);
// The displacement reading of long command 0x0F: a raw value above 32000 is
// a negative count and is replaced by its 16-bit complement.
int DisplacementFromRaw(int raw);

// The hydraulic station off and both relays of the press stopped, on a line
// that is attached (not in emulation, port 1 open): every way out of the
// program runs it first, so that nothing of the press keeps running once
// the program has gone.
void SwitchLineOff();
