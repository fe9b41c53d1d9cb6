#pragma once
// The link to the line's hardware: the table of serial ports, single-byte
// reads and writes with fixed time-outs, the request and reply framing over
// the one shared frame buffer, and the wait that keeps the window alive.
// Port 1 carries the central controller and the four cameras, port 2 the
// CKT test board. Everything runs on the user-interface thread.

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>

#include "desktop/serial.h"
#include "link/framing.h"

constexpr int kControllerPort = 1;
constexpr int kTestBoardPort = 2;
constexpr int kPortCount = 2;

// What ReadByte returns when no byte came.
constexpr uint8_t kNoByte = 198;
// A read of one byte gives up after this long.
constexpr int kByteTimeoutMs = 100;
// A drain stops after this many bytes even if the line keeps talking, so a
// babbling device cannot hold the program forever.
constexpr int kDrainLimit = kFrameBufferSize;

struct TControllerLink {
  // Port table, indexed by port number 1..kPortCount; an empty entry was
  // never opened and every operation on it fails at once.
  std::array<std::unique_ptr<plat::SerialDevice>, kPortCount + 1> Ports;

  // Shared by request building (body at 1..FrameLength) and reception
  // (delimiter at 0, body at 1..FrameLength-2, delimiter at FrameLength-1).
  std::array<uint8_t, kFrameBufferSize> FrameBuffer{};
  int32_t FrameLength = 0;
  uint8_t FrameStatus = 0;
  bool FrameComplete = false;  // the last reception ended with its delimiter

  bool LinkOk = false;         // cleared when the last ReadByte got nothing
  bool CktPortOpen = false;    // the test board's port opened at start-up
  bool CameraNoReply = false;  // the last camera enable/disable went unanswered
  int LastScanLength = 0;      // scan length of the last camera read out

  // Where the ports come from (tests put a fake device here); empty means
  // the real serial device of the platform.
  std::function<std::unique_ptr<plat::SerialDevice>()> DeviceFactory;
  // Debug messages; the start-up installs the program's message box, empty
  // shows nothing.
  std::function<void(const QString&)> ShowMessage;
  // The service terminal's caption and indicator list, when it is there.
  std::function<void(const QString&)> TerminalCaption;
  std::function<void(const QString&)> TerminalMemo;
  // Whether the terminal's "Авто инит" box is ticked: a camera scan then
  // initialises the line once more at its end. Empty counts as unticked.
  std::function<bool()> TerminalAutoInit;
};

extern TControllerLink ControllerLink;

// Tests: closes every port and puts the whole link state back to its start.
void ResetControllerLink();

// Opens the named device as port `port` at 57600 8N1 and keeps it in the
// table (even when it failed, as the line's devices are never reopened).
bool OpenPort(int port, const QString& name);
bool PortIsOpen(int port);

// Writes one byte, then sleeps 1 ms (so a request takes 1 ms per byte).
void WriteByte(int port, uint8_t b);
// One byte within kByteTimeoutMs; sets LinkOk, or clears it and returns kNoByte.
uint8_t ReadByte(int port);
// Waits while processing window messages.
void Delay(uint32_t ms);
// Reads until one read times out, so a request starts on an empty line.
void DrainInput(int port);

// Puts a request body (address, command, arguments) at FrameBuffer[1..].
void PutRequestBody(std::initializer_list<uint8_t> body);
// Writes FF 7E, FrameBuffer[1..FrameLength], 7E (the body is not escaped).
void SendRequest(int port);
// Waits 20 ms, then reads one reply into FrameBuffer (see framing.h).
void ReceiveFrame(int port);
// Whether the last reply arrived whole: its end delimiter came, and its body
// has bodyLength bytes (any length from one on when bodyLength is 0). A
// frame cut short by silence is no reply: what the buffer holds beyond the
// bytes that came belongs to an earlier one.
bool ReplyIsComplete(int bodyLength = 0);
// Whether the last reply names the device and the command of the request
// (reply bytes 1 and 2); false for a reply that is not complete.
bool ReplyEchoes(uint8_t address, uint8_t code);

// Adds a line to the service terminal's indicator list, when there is one.
void TerminalLine(const QString& text);

// The link's message boxes appear only with [Debug] DebugMessages.
void LinkMessage(const QString& text);
// A file of the link that could not be written: always shown through
// ShowMessage (whatever DebugMessages says) and written to standard error.
void LinkDiskError(const QString& text);
