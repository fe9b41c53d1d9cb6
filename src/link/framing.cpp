#include "link/framing.h"

int32_t UnescapeFrame(uint8_t* buffer, int32_t length) {
  // Writing never overtakes reading, so the work copy can be the buffer itself.
  int32_t out = 1;
  int32_t in = 1;
  while (in < length) {
    const uint8_t b = buffer[in];
    if (b == kFrameEscape && in + 1 < length && buffer[in + 1] == kFrameEscapedDelimiter) {
      buffer[out++] = kFrameDelimiter;
      in += 2;
    } else if (b == kFrameEscape && in + 1 < length && buffer[in + 1] == kFrameEscapedEscape) {
      buffer[out++] = kFrameEscape;
      in += 2;
    } else {
      buffer[out++] = b;
      in += 1;
    }
  }
  return length < 1 ? length : out;
}

FrameReception ReceiveFrameBytes(uint8_t* buffer, int32_t capacity, const FrameByteSource& read) {
  FrameReception r;
  // Skip whatever precedes the start delimiter.
  for (int32_t skipped = 0;; ++skipped) {
    const auto b = skipped < kFrameSkipLimit ? read() : std::nullopt;
    if (!b) {
      r.status = kFrameNoStart;
      return r;
    }
    if (*b == kFrameDelimiter) break;
  }
  // A run of delimiters counts as one.
  uint8_t first = kFrameDelimiter;
  for (int32_t skipped = 0;; ++skipped) {
    const auto b = skipped < kFrameSkipLimit ? read() : std::nullopt;
    if (!b) {
      r.status = kFrameNoBody;
      return r;
    }
    if (*b != kFrameDelimiter) {
      first = *b;
      break;
    }
  }
  if (capacity < 3) {
    r.status = kFrameOverflow;
    return r;
  }
  buffer[0] = kFrameDelimiter;
  buffer[1] = first;
  int32_t length = 2;
  for (;;) {
    const auto b = read();
    if (!b) {
      r.length = length;
      r.status = static_cast<uint8_t>(kFrameCutBase + length);
      return r;
    }
    if (length >= capacity) {
      // The buffer is full and the frame goes on: nothing more is stored
      // and the reply counts as missing.
      r.length = 0;
      r.status = kFrameOverflow;
      return r;
    }
    buffer[length++] = *b;
    if (*b == kFrameDelimiter) break;
  }
  r.length = UnescapeFrame(buffer, length);
  r.status = kFrameComplete;
  r.complete = true;
  return r;
}
