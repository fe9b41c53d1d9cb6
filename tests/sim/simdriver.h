#pragma once
// Drives the simulated line directly: request frames written as the program
// writes them, time moved by hand, reply bytes taken as they fall due and
// decoded with the link's own framing.

#include <QByteArray>
#include <memory>
#include <optional>

#include "link/commands.h"
#include "link/framing.h"
#include "sim/simline.h"
#include "sim/simspring.h"

namespace simtest {

inline QByteArray Bytes(std::initializer_list<int> v) {
  QByteArray b;
  for (int x : v) b.append(static_cast<char>(x & 0xFF));
  return b;
}

// The body of a reply frame (without its delimiters), or nothing when the
// bytes hold no complete frame.
inline std::optional<QByteArray> DecodeFrame(const QByteArray& raw) {
  std::vector<uint8_t> buffer(kFrameBufferSize);
  int next = 0;
  const FrameReception r =
      ReceiveFrameBytes(buffer.data(), kFrameBufferSize, [&]() -> std::optional<uint8_t> {
        if (next >= raw.size()) return std::nullopt;
        return static_cast<uint8_t>(raw[next++]);
      });
  if (!r.complete) return std::nullopt;
  return QByteArray(reinterpret_cast<const char*>(buffer.data()) + 1, r.length - 2);
}

// The 16-bit reading of a controller reply body (bytes 4 and 5, high first).
inline int Reading(const QByteArray& body) {
  return body.size() < 5 ? -1 : static_cast<uint8_t>(body[3]) * 256 + static_cast<uint8_t>(body[4]);
}

class SimDriver {
 public:
  explicit SimDriver(SimFaults faults = {}, SimpleSpring spring = {})
      : spring(std::make_shared<SimpleSpringModel>(spring)),
        sim(std::make_shared<SimLine>(this->spring, faults)) {}

  // Writes FF 7E body 7E on a port at the present time.
  void Send(int port, const QByteArray& body) {
    const QByteArray frame =
        Bytes({kFrameLeadIn, kFrameDelimiter}) + body + Bytes({kFrameDelimiter});
    for (char c : frame) sim->Receive(port, static_cast<uint8_t>(c), now);
  }
  // Moves the time on and takes what came out of the port meanwhile.
  QByteArray Wait(int port, uint32_t ms) {
    now += ms;
    return sim->TakeOutput(port, now);
  }
  // A request and the raw bytes that came back within waitMs.
  QByteArray Exchange(int port, const QByteArray& body, uint32_t waitMs = 20) {
    Send(port, body);
    return Wait(port, waitMs);
  }
  QByteArray ControllerRaw(uint8_t code, int a1 = 0, int a2 = 0, uint32_t waitMs = 20) {
    return Exchange(1, Bytes({kControllerAddress, code, a1, a2, 0}), waitMs);
  }
  // The decoded reply body of a controller command (empty: none came).
  QByteArray Controller(uint8_t code, int a1 = 0, int a2 = 0, uint32_t waitMs = 20) {
    return DecodeFrame(ControllerRaw(code, a1, a2, waitMs)).value_or(QByteArray());
  }
  int ControllerReading(uint8_t code, int a1 = 0, int a2 = 0, uint32_t waitMs = 20) {
    return Reading(Controller(code, a1, a2, waitMs));
  }
  QByteArray BoardRaw(uint8_t code, int a1 = 0, uint32_t waitMs = 20) {
    return Exchange(2, Bytes({kTestBoardAddress, code, a1, 0, 0}), waitMs);
  }
  QByteArray Board(uint8_t code, int a1 = 0, uint32_t waitMs = 20) {
    return DecodeFrame(BoardRaw(code, a1, waitMs)).value_or(QByteArray());
  }
  QByteArray Camera(int n, uint8_t code, int a1 = 0, uint32_t waitMs = 20) {
    return DecodeFrame(Exchange(1, Bytes({n, code, a1, 0, 0}), waitMs)).value_or(QByteArray());
  }

  std::shared_ptr<SimpleSpringModel> spring;
  std::shared_ptr<SimLine> sim;
  uint32_t now = 1000;
};

}  // namespace simtest
