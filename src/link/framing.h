#pragma once
// The reply framing of the line's serial protocol, free of any port or window
// code so that it can be exercised on its own (the fuzz harness builds it
// alone): a reply is a run of bytes between 0x7E delimiters in which the pair
// 7D 5E stands for 7E and the pair 7D 5D for 7D.

#include <cstdint>
#include <functional>
#include <optional>

// Size of the shared frame buffer of the link.
constexpr int32_t kFrameBufferSize = 131072;

constexpr uint8_t kFrameLeadIn = 0xFF;
constexpr uint8_t kFrameDelimiter = 0x7E;
constexpr uint8_t kFrameEscape = 0x7D;
constexpr uint8_t kFrameEscapedDelimiter = 0x5E;
constexpr uint8_t kFrameEscapedEscape = 0x5D;

// Outcomes of a reception (FrameStatus). A frame cut off by silence after n
// stored bytes reports kFrameCutBase + n, kept in one byte.
constexpr uint8_t kFrameComplete = 0;
constexpr uint8_t kFrameNoStart = 1;    // no start delimiter came
constexpr uint8_t kFrameNoBody = 2;     // silence right after the delimiters
constexpr uint8_t kFrameOverflow = 3;   // longer than the buffer: dropped
constexpr uint8_t kFrameCutBase = 100;

// A reception reads at most this many bytes while it looks for the opening
// delimiter, and as many again over a run of delimiters: a line that babbles
// without ever opening a frame (noise, a device at another speed) then ends
// the reception as silence would, instead of holding the program forever.
constexpr int32_t kFrameSkipLimit = kFrameBufferSize;

struct FrameReception {
  int32_t length = 0;     // FrameLength
  uint8_t status = 0;     // FrameStatus
  bool complete = false;  // the end delimiter arrived (status alone can't
                          // tell: a cut after 156 bytes also reads 0)
};

// One byte from the line, or nothing when the read timed out.
using FrameByteSource = std::function<std::optional<uint8_t>()>;

// Reads one reply into buffer[0 .. capacity-1]: bytes before the first
// delimiter are skipped, a run of delimiters opens the frame, the body is
// stored from position 1 up to and including the end delimiter and then
// un-escaped in place. A frame that would not fit is not stored beyond the
// buffer; it is reported as kFrameOverflow with length 0, so that every
// caller treats it as no reply.
FrameReception ReceiveFrameBytes(uint8_t* buffer, int32_t capacity, const FrameByteSource& read);

// Collapses the escape pairs of buffer[1 .. length-1] in place; returns the
// new length (the old one less one per collapsed pair).
int32_t UnescapeFrame(uint8_t* buffer, int32_t length);
