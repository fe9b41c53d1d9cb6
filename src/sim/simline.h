#pragma once
// The simulated line: the central controller with its press, the four
// cameras and the CKT test board as the program sees them over the serial
// link. It takes the bytes the program writes, parses the requests and
// schedules the reply frames on a millisecond time line. The pseudo-terminal
// front end (tools/linesim) and the tests drive it; the program never links
// it.
//
// The model, device by device:
//
// Controller (0xF0, port 1). 0x01 switches the hydraulic station (A1 = 1
// on), 0x02 and 0x03 the UP and DN relays (A1 = 0 runs, 1 stops); running
// UP raises the press off the spring. 0x06 reads the ADC: the force on the
// spring, or the level the test board imitates once 0x64 set one. 0x07
// reads the inputs in R3, bit 0 D0 and bit 3 D1, set when the contact is
// closed. 0x08 reads the LIR count, 0x09 zeroes it; the LIR counts the
// board's pulses and the travel of the press, 0.0396 mm per count. 0x0B
// initialises the line: the press goes up, the relays stop, a running scan
// is dropped. 0x0C starts a camera scan (below) and answers when it ends.
// 0x0E presses the spring until the ADC reaches the level A1 + 256 × A2 and
// answers with the deflection of the spring under that load, from its free
// height, in counts of 0.04 mm (R2, R3): the measurement's p6 = count × 0.04
// is the deflection under the working load in millimetres, which is how the
// installed spring types judge parameter 6. 0x0F answers the LIR count
// since the last 0x09 (a negative count as its 16-bit two's complement), so
// p5 = count × 0.0396 is the press's travel in millimetres. 0x11 answers the
// position of the press: 65535 − 8733 − (259.2 − h) / 0.03996 counts for a
// press standing at height h, so after 0x02 has raised the press the
// measurement's p2 = 258.5 − (65535 − raw − 8733) × 0.03996 + 0.7 gives back
// the spring's free height. Every other code is answered without effect.
// Replies are F0, code, 0, high byte, low byte.
//
// Camera scan. 0x0C empties the buffers of the enabled cameras and starts a
// scan. When the test board sends LIR pulses during it, the encoder drives
// the scan: every camera in it takes one reading per kLirCountsPerReading LIR
// counts (80 bursts of 100 pulses: 1000 readings) until D1 closes, whichever
// command closes it; the readings follow the modelled spring's profile.
// When no board pulse has come within scanMs of the start (or of the
// board's last request, which means the board is about to drive the
// encoder), the scan completes by itself with the spring's whole modelled
// profiles: the measurement's path, where the press turns the spring. The
// reply to 0x0C comes when the scan ends; a camera read out before that
// has no readings.
//
// The spring (SimSpringModel) is linesim's choice: linesim puts the coil
// spring of simcoilspring.h there, whose camera readings come from the
// helix of springmodel.h seen along each camera's line of sight and put
// back into camera positions through the calibration tables of a new
// installation, so that the program's mathematics recovers the modelled
// diameter and non-perpendicularity; the press compresses the same spring.
// Tests of the exchanges use the simple spring of simspring.h.
//
// Cameras (1..4, port 1). Reset (0x8A) disables the camera and empties its
// buffer; shutter, threshold and enable are kept; 0x8D takes one look at
// the spring; read-out (0x8C) answers with the scan header and four bytes
// per reading. Other replies echo the camera and the code.
//
// Test board (0x61, port 2). 0x60 answers "2.01" (reply bytes 1..4). 0x61
// and 0x62 drive the inputs D0 and D1 active low: A1 = 0 closes the contact
// (the controller's bit is set), A1 = 1 opens it; the board starts with
// both open. 0x64 imitates the ADC at A1 × 16 units. 0x65, 0x66 and 0x67
// read the hydraulics, UP and DN outputs of the controller as the lines
// stand: an output that is on pulls its line low and reads "0", an output
// that is off reads "1" (reply byte 1). 0x68 and 0x6A send one LIR pulse
// forward and back, 0x69 and 0x6B a burst of A1 pulses. 0x6C sets the pause
// between imitated pulses: it is kept and echoed but changes nothing the
// program can see, because the board counts a burst at once and answers at
// once (a real board would take A1 × pause ms, longer than the program
// waits after a burst). 0x46 and 0x47 keep the dev values, 0x42 and 0x44
// count pulses on the second output, 0x45 sets that output up. Every reply
// but those of 0x60 and 0x65..0x67 echoes the request body.

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "link/camera.h"
#include "link/commands.h"
#include "sim/simspring.h"

// The devices that faults can be given to, by their linesim names.
enum class SimDevice { Controller = 0, Camera1, Camera2, Camera3, Camera4, Board };
constexpr int kSimDeviceCount = 6;
// "controller", "camera1".."camera4", "board".
QString SimDeviceName(SimDevice d);
std::optional<SimDevice> SimDeviceFromName(const QString& name);

// Faults of one device.
struct SimDeviceFaults {
  uint32_t lateMs = 0;     // every reply comes this much later
  int cutAfter = 0;        // when > 0, reply frames stop after this many bytes
  double garble = 0.0;     // chance of each reply byte being replaced by a random one
  std::set<uint8_t> fail;  // command codes the device neither carries out nor answers
  // Single requests the device neither carries out nor answers: the n-th
  // request (from 1) with the code, e.g. the second-level force of a
  // measurement, the fourth 0x0E.
  std::set<std::pair<uint8_t, int>> failNth;
};

struct SimFaults {
  // A silent device neither carries out nor answers anything.
  bool silentController = false;
  std::array<bool, 5> silentCamera{};  // [1..4]
  bool silentBoard = false;
  // For every device (a device's own value, when set, takes precedence).
  int cutAfter = 0;
  double garble = 0.0;
  std::array<SimDeviceFaults, kSimDeviceCount> device{};
  // D0 ([0]) and D1 ([1]) stay closed (true) or open (false) whatever the
  // board sets.
  std::array<std::optional<bool>, 2> stuckInputClosed{};
  bool deadAdc = false;  // the ADC reads 0; a force level above 0 is never reached
  // The LIR counts this many pulses more per 1000 (negative: loses them),
  // spread evenly over the pulses: 1000 pulses always count 1000 + lirError.
  int lirError = 0;
  uint32_t seed = 1;

  bool Silent(SimDevice d) const;
  SimDeviceFaults& Of(SimDevice d) { return device[static_cast<int>(d)]; }
  const SimDeviceFaults& Of(SimDevice d) const { return device[static_cast<int>(d)]; }
};

struct SimTiming {
  uint32_t replyMs = 2;    // an ordinary reply
  uint32_t initMs = 300;   // 0x0B
  uint32_t scanMs = 1000;  // 0x0C without board pulses; a long command listens ~1.3 s
  uint32_t forceMs = 400;  // 0x0E
  uint32_t readOutMs = 10;
};

// The scales of the press and the cameras' readings per LIR count are the
// link's (commands.h, camera.h): the line answers as the program reads.
// One step of the board's ADC level, ADC units.
constexpr int kBoardAdcStep = 16;

class SimLine {
 public:
  explicit SimLine(std::shared_ptr<SimSpringModel> spring, SimFaults faults = {},
                   SimTiming timing = {});

  // A byte the program wrote on port 1 (controller and cameras) or port 2
  // (test board) at time nowMs.
  void Receive(int port, uint8_t b, uint32_t nowMs);
  // The reply bytes of a port that are due by nowMs; they leave the queue.
  QByteArray TakeOutput(int port, uint32_t nowMs);
  // When the next reply byte of a port is due (a scan that will complete
  // by itself counts).
  std::optional<uint32_t> NextOutputTime(int port) const;

  // The complete requests (bodies) taken so far, per port, for tests.
  const std::vector<QByteArray>& Requests(int port) const { return requests_[port]; }
  // Called with every complete request, before it is carried out.
  void SetRequestObserver(std::function<void(int port, const QByteArray& body, uint32_t ms)> f) {
    observer_ = std::move(f);
  }
  SimFaults& Faults() { return faults_; }
  const SimTiming& Timing() const { return timing_; }

  // The encoded reply frame for a body: delimiters and escape pairs.
  static QByteArray EncodeFrame(const QByteArray& body);
  // One line of linesim's request log: "<ms> <port> <body in hex>".
  static QString RequestLogLine(uint32_t ms, int port, const QByteArray& body);

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
  struct Board {
    int d0 = 1;  // A1 of the last 0x61 / 0x62: 0 closed, 1 open
    int d1 = 1;
    std::optional<int> adcLevel;  // set by 0x64
    int pauseMs = 2;              // 0x6C
    int dev0 = 0;
    int dev1 = 0;
    int secondOutput = 0;  // pulses sent on the second output, back ones negative
    int secondSetup = 0;   // A1 of 0x45
  };
  struct Scan {
    bool running = false;
    bool driven = false;  // board pulses came: D1 ends it
    uint32_t startMs = 0;
    uint32_t waitFromMs = 0;  // the wait for pulses counts from here
    int pulses = 0;           // LIR counts during the scan
    std::array<bool, 5> cameras{};
  };
  const Camera& CameraState(int n) const { return cameras_[n]; }
  const Press& PressState() const { return press_; }
  const Board& BoardState() const { return board_; }
  const Scan& ScanState() const { return scan_; }
  // The controller's input bits as 0x07 reports them.
  int Inputs() const;

 private:
  struct Parser {
    enum class Stage { Idle, LeadIn, Body, End } stage = Stage::Idle;
    QByteArray body;
  };
  struct Pending {
    uint32_t at;
    uint8_t byte;
  };

  void Advance(uint32_t nowMs);
  void Dispatch(int port, const QByteArray& body, uint32_t nowMs);
  void ControllerRequest(const QByteArray& body, uint32_t nowMs);
  void CameraRequest(const QByteArray& body, uint32_t nowMs);
  void BoardRequest(const QByteArray& body, uint32_t nowMs);
  void Reply(SimDevice device, const QByteArray& body, uint32_t at);
  // Counts the request and tells whether the device fails it.
  bool Fails(SimDevice device, uint8_t code);
  int ExpectedBodyLength(const QByteArray& body) const;
  int AdcReading() const;
  bool InputClosed(int input) const;
  int CountPulses(int pulses);
  void BoardPulses(int pulses);
  void MovePress(double deflection);
  std::optional<uint32_t> ScanDeadline() const;
  void EndScan(bool fromModel, uint32_t at);

  std::shared_ptr<SimSpringModel> spring_;
  SimFaults faults_;
  SimTiming timing_;
  std::mt19937 rng_;
  std::array<Parser, 3> parsers_;
  std::array<std::deque<Pending>, 3> output_;
  std::array<std::vector<QByteArray>, 3> requests_;
  std::function<void(int, const QByteArray&, uint32_t)> observer_;
  std::array<Camera, 5> cameras_;
  Press press_;
  int pressCounts_ = 0;        // the press's travel in whole LIR counts
  int64_t lirPulsesSeen_ = 0;  // every pulse the encoder gave, for the LIR error
  Board board_;
  Scan scan_;
  // Requests per device and code so far, for the faults of single requests.
  std::array<std::map<uint8_t, int>, kSimDeviceCount> counts_;
};

// The body of a camera's read-out reply for its points.
QByteArray CameraReadOutBody(int camera, const std::vector<uint32_t>& points);
