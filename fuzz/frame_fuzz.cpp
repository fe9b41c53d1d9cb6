// Fuzz harness of the reply receiver: arbitrary byte streams from the line,
// received frame after frame into a buffer of exactly the given size (so that
// AddressSanitizer sees any write beyond it), with the receiver's promises
// checked after each frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/framing.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void ReceiveAll(const uint8_t* data, size_t size, std::vector<uint8_t>& buffer) {
  const int32_t capacity = static_cast<int32_t>(buffer.size());
  size_t pos = 0;
  const FrameByteSource read = [&]() -> std::optional<uint8_t> {
    if (pos >= size) return std::nullopt;  // the line falls silent
    return data[pos++];
  };
  // Like a long command listening again and again until the line is quiet.
  for (;;) {
    const size_t before = pos;
    const FrameReception r = ReceiveFrameBytes(buffer.data(), capacity, read);
    Check(r.length >= 0 && r.length <= capacity);
    if (r.complete) {
      Check(r.status == kFrameComplete);
      Check(r.length >= 3);
      Check(buffer[0] == kFrameDelimiter && buffer[r.length - 1] == kFrameDelimiter);
    } else if (r.length == 0) {
      Check(r.status == kFrameNoStart || r.status == kFrameNoBody || r.status == kFrameOverflow);
    } else {
      // Cut off by silence. The status byte wraps, so a long cut frame may
      // read like another outcome; the length tells them apart.
      Check(r.length >= 2);
      Check(r.status == static_cast<uint8_t>(kFrameCutBase + r.length));
      Check(buffer[0] == kFrameDelimiter && buffer[r.length - 1] != kFrameDelimiter);
    }
    if (pos >= size || pos == before) break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks a small buffer, so that frames longer than the
  // buffer are common; the rest is the line.
  std::vector<uint8_t> small(3 + data[0]);
  ReceiveAll(data + 1, size - 1, small);
  // The program's own buffer, made once: a fresh one of this size each run
  // is fresh pages of memory each run under AddressSanitizer, which cost the
  // run most of its time. Its end is still the end of the allocation.
  static std::vector<uint8_t> full(kFrameBufferSize);
  ReceiveAll(data + 1, size - 1, full);
  return 0;
}
