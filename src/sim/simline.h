#pragma once
// The simulated line: the central controller with its press, the four
// cameras and the CKT test board as the program sees them over the serial
// link. It takes the bytes the program writes, parses the requests and
// schedules the reply frames on a millisecond time line. The pseudo-terminal
// front end (tools/linesim) and the tests drive it; the program never links
// it.

#include <QByteArray>
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "sim/simspring.h"

struct SimFaults {
  bool silentController = false;
  std::array<bool, 5> silentCamera{};  // [1..4]
  bool silentBoard = false;
  int cutAfter = 0;     // when > 0, every reply frame stops after this many bytes
  double garble = 0.0;  // chance of each reply byte being replaced by a random one
  uint32_t seed = 1;
};

struct SimTiming {
  uint32_t replyMs = 2;    // an ordinary reply
  uint32_t initMs = 300;   // 0x0B
  uint32_t scanMs = 600;   // 0x0C
  uint32_t forceMs = 400;  // 0x0E
  uint32_t readOutMs = 10;
};

class SimLine {
 public:
  explicit SimLine(std::shared_ptr<SimSpringModel> spring, SimFaults faults = {},
                   SimTiming timing = {});

  // A byte the program wrote on port 1 (controller and cameras) or port 2
  // (test board) at time nowMs.
  void Receive(int port, uint8_t b, uint32_t nowMs);
  // The reply bytes of a port that are due by nowMs; they leave the queue.
  QByteArray TakeOutput(int port, uint32_t nowMs);
  // When the next reply byte of a port is due.
  std::optional<uint32_t> NextOutputTime(int port) const;

  // The complete requests (bodies) taken so far, per port, for tests.
  const std::vector<QByteArray>& Requests(int port) const { return requests_[port]; }
  SimFaults& Faults() { return faults_; }

  // The encoded reply frame for a body: delimiters and escape pairs.
  static QByteArray EncodeFrame(const QByteArray& body);

  // Device state, readable for tests.
  struct Camera {
    bool enabled = false;
    int shutter = 0;
    int threshold = 0;
    std::vector<uint32_t> points;  // last scan
  };
  struct Press {
    bool hydraulics = false;
    bool up = false;
    bool down = false;
    int force = 0;          // ADC units on the spring
    double deflection = 0;  // mm
    int lir = 0;            // encoder count
  };
  const Camera& CameraState(int n) const { return cameras_[n]; }
  const Press& PressState() const { return press_; }

 private:
  struct Parser {
    enum class Stage { Idle, LeadIn, Body, End } stage = Stage::Idle;
    QByteArray body;
  };
  struct Pending {
    uint32_t at;
    uint8_t byte;
  };

  void Dispatch(int port, const QByteArray& body, uint32_t nowMs);
  void ControllerRequest(const QByteArray& body, uint32_t nowMs);
  void CameraRequest(const QByteArray& body, uint32_t nowMs);
  void BoardRequest(const QByteArray& body, uint32_t nowMs);
  void Reply(int port, const QByteArray& body, uint32_t at);
  int ExpectedBodyLength(const QByteArray& body) const;
  int AdcReading() const;
  int Inputs() const;
  void MovePress(double deflection);

  std::shared_ptr<SimSpringModel> spring_;
  SimFaults faults_;
  SimTiming timing_;
  std::mt19937 rng_;
  std::array<Parser, 3> parsers_;
  std::array<std::deque<Pending>, 3> output_;
  std::array<std::vector<QByteArray>, 3> requests_;
  std::array<Camera, 5> cameras_;
  Press press_;
  // Test board imitation.
  std::optional<int> boardAdc_;
  int boardD0_ = 1;
  int boardD1_ = 1;
  bool scanRunning_ = false;
  int scanPulses_ = 0;
};

// The body of a camera's read-out reply for its points.
QByteArray CameraReadOutBody(int camera, const std::vector<uint32_t>& points);
