#pragma once
// A clock shared with the simulated line (`linesim --clock FILE`), so that
// the program on its virtual clock and the line on the other end of the
// pseudo-terminals keep one time: a reply the line owes at 1000 ms comes when
// the program's clock reaches 1000 ms, however fast the program runs through
// its waits, and a wait for a reply that never comes costs no real time.
//
// The two processes share a small block in a file mapped by both. The
// program publishes the moment its clock has reached and how many bytes it
// has written to each port; the line serves that moment (takes the bytes,
// sends what is due) and answers with how many bytes it has written and when
// its next event is due. The program only waits for the line when it has
// written something since, or its clock has passed that next event, so an
// idle page costs nothing.

#include <QString>
#include <atomic>
#include <cstdint>
#include <optional>

namespace plat {

struct LineClockBlock {
  static constexpr uint32_t kMagic = 0x4B4C434Bu;  // "KCLK", layout 1
  static constexpr int kPorts = 3;                  // ports 1 and 2 are used
  uint32_t magic;
  char path[kPorts][64];                    // the line's device of each port
  std::atomic<uint32_t> attach;             // the program: counts its starts
  std::atomic<uint32_t> requestMs;          // the program: the clock to serve
  std::atomic<uint32_t> requestSeq;         // the program: one more per request
  std::atomic<uint32_t> doneSeq;            // the line: the last request served
  std::atomic<uint32_t> hasNext;            // the line: 1 when nextMs holds an event
  std::atomic<uint32_t> nextMs;             // the line: its next event, program time
  std::atomic<uint64_t> sent[kPorts];       // the program: bytes written to each port
  std::atomic<uint64_t> written[kPorts];    // the line: bytes written to each port
};

// The program's side. With the virtual clock on, maps FILE and makes every
// advance of the clock wait for the line; an empty string, or why not.
QString FollowLineClock(const QString& file);
// The port of the shared block whose device is `devicePath`, or 0 when the
// line does not follow the clock on it.
int LineClockPort(const QString& devicePath);
// The program has written one more byte to the port.
void LineClockSent(int port);
// Bytes the line has written to the port so far.
uint64_t LineClockWritten(int port);
// When the line's next event falls, if it has one.
std::optional<uint32_t> LineClockNextEvent();

// The line's side: creates FILE with the ports' devices; the caller serves
// requests from the returned block. nullptr and *error on failure.
LineClockBlock* CreateLineClock(const QString& file, const QString paths[LineClockBlock::kPorts],
                                QString* error);
// Waits up to timeoutMs for a request beyond `seen`; its sequence number.
std::optional<uint32_t> WaitLineClockRequest(LineClockBlock* block, uint32_t seen, int timeoutMs);
// Marks request `seq` served and wakes the program.
void ServeLineClockRequest(LineClockBlock* block, uint32_t seq);

}  // namespace plat
