#include "sim/simline.h"

#include <algorithm>
#include <cmath>

#include "link/camera.h"
#include "link/commands.h"
#include "link/framing.h"

namespace {

// The controller's height reading counts down from this value at the press's
// top position, 0.03996 mm per count, for a spring of 259.2 mm.
constexpr double kHeightZeroCount = 65535.0 - 8733.0;
constexpr double kHeightZeroMm = 259.2;
constexpr double kHeightMmPerCount = 0.03996;
constexpr double kLirMmPerCount = 0.0396;
// The board's ADC imitation: one step of its level is 16 ADC units.
constexpr int kBoardAdcStep = 16;
// LIR pulses per camera reading while the encoder drives a scan.
constexpr int kPulsesPerReading = 8;

uint8_t At(const QByteArray& body, int i) {
  return i < body.size() ? static_cast<uint8_t>(body[i]) : 0;
}

QByteArray Body(std::initializer_list<int> bytes) {
  QByteArray b;
  for (int v : bytes) b.append(static_cast<char>(v & 0xFF));
  return b;
}

}  // namespace

QByteArray CameraReadOutBody(int camera, const std::vector<uint32_t>& points) {
  // The header counts four bytes per point above 2048; its three bytes are
  // weighted 1, 256 and 4096, so the middle one carries only four bits.
  const int header = 2048 + 4 * static_cast<int>(points.size());
  QByteArray b = Body({camera, kCamReadOut, header & 0xFF, (header >> 8) & 0x0F, header >> 12});
  for (uint32_t v : points) {
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>((v >> 8) & 0x0F));
    b.append(static_cast<char>((v >> 12) & 0x0F));
    b.append(static_cast<char>((v >> 16) & 0xFF));
  }
  return b;
}

SimLine::SimLine(std::shared_ptr<SimSpringModel> spring, SimFaults faults, SimTiming timing)
    : spring_(std::move(spring)), faults_(faults), timing_(timing), rng_(faults.seed) {}

QByteArray SimLine::EncodeFrame(const QByteArray& body) {
  QByteArray f;
  f.append(static_cast<char>(kFrameDelimiter));
  for (char c : body) {
    const uint8_t b = static_cast<uint8_t>(c);
    if (b == kFrameDelimiter) {
      f.append(static_cast<char>(kFrameEscape));
      f.append(static_cast<char>(kFrameEscapedDelimiter));
    } else if (b == kFrameEscape) {
      f.append(static_cast<char>(kFrameEscape));
      f.append(static_cast<char>(kFrameEscapedEscape));
    } else {
      f.append(c);
    }
  }
  f.append(static_cast<char>(kFrameDelimiter));
  return f;
}

int SimLine::ExpectedBodyLength(const QByteArray& body) const {
  const uint8_t address = At(body, 0);
  const uint8_t code = At(body, 1);
  if (address == kControllerAddress || address == kTestBoardAddress) return 5;
  if (address >= 1 && address <= 4) {
    if (code == kCamThreshold || code == kCamEnable) return 4;  // 0x8B may have a fifth
    return 5;
  }
  return 0;
}

void SimLine::Receive(int port, uint8_t b, uint32_t nowMs) {
  if (port < 1 || port > 2) return;
  Parser& p = parsers_[port];
  using S = Parser::Stage;
  switch (p.stage) {
    case S::Idle:
      if (b == kFrameLeadIn) p.stage = S::LeadIn;
      break;
    case S::LeadIn:
      if (b == kFrameDelimiter) {
        p.stage = S::Body;
        p.body.clear();
      } else if (b != kFrameLeadIn) {
        p.stage = S::Idle;
      }
      break;
    case S::Body: {
      p.body.append(static_cast<char>(b));
      const int expected = p.body.size() >= 2 ? ExpectedBodyLength(p.body) : -1;
      if (expected > 0 && p.body.size() >= expected) {
        p.stage = S::End;
      } else if (expected == 0 && b == kFrameDelimiter) {
        p.body.chop(1);
        Dispatch(port, p.body, nowMs);
        p.stage = S::Idle;
      } else if (p.body.size() > 16) {
        p.stage = S::Idle;
      }
      break;
    }
    case S::End:
      if (b == kFrameDelimiter) {
        Dispatch(port, p.body, nowMs);
        p.stage = S::Idle;
      } else if (p.body.size() == 4 && At(p.body, 1) == kCamEnable && At(p.body, 0) >= 1 &&
                 At(p.body, 0) <= 4) {
        // The enable command carries a fifth byte where the presence check ends.
        p.body.append(static_cast<char>(b));
      } else {
        p.stage = b == kFrameLeadIn ? S::LeadIn : S::Idle;
      }
      break;
  }
}

void SimLine::Reply(int port, const QByteArray& body, uint32_t at) {
  QByteArray frame = EncodeFrame(body);
  if (faults_.cutAfter > 0 && frame.size() > faults_.cutAfter) frame.truncate(faults_.cutAfter);
  if (faults_.garble > 0) {
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::uniform_int_distribution<int> value(0, 255);
    for (auto& c : frame)
      if (chance(rng_) < faults_.garble) c = static_cast<char>(value(rng_));
  }
  auto& q = output_[port];
  // Replies leave the device in the order they were made.
  const uint32_t start = q.empty() ? at : std::max(at, q.back().at);
  for (char c : frame) q.push_back({start, static_cast<uint8_t>(c)});
}

QByteArray SimLine::TakeOutput(int port, uint32_t nowMs) {
  QByteArray out;
  if (port < 1 || port > 2) return out;
  auto& q = output_[port];
  while (!q.empty() && static_cast<int32_t>(nowMs - q.front().at) >= 0) {
    out.append(static_cast<char>(q.front().byte));
    q.pop_front();
  }
  return out;
}

std::optional<uint32_t> SimLine::NextOutputTime(int port) const {
  if (port < 1 || port > 2 || output_[port].empty()) return std::nullopt;
  return output_[port].front().at;
}

void SimLine::Dispatch(int port, const QByteArray& body, uint32_t nowMs) {
  requests_[port].push_back(body);
  const uint8_t address = At(body, 0);
  if (port == 1 && address == kControllerAddress)
    ControllerRequest(body, nowMs);
  else if (port == 1 && address >= 1 && address <= 4)
    CameraRequest(body, nowMs);
  else if (port == 2 && address == kTestBoardAddress)
    BoardRequest(body, nowMs);
}

int SimLine::AdcReading() const {
  return boardAdc_ ? *boardAdc_ * kBoardAdcStep : press_.force;
}

int SimLine::Inputs() const {
  // The board pulls the inputs low: its value 0 reads as a closed contact.
  return (boardD0_ == 0 ? 0x01 : 0) | (boardD1_ == 0 ? 0x08 : 0);
}

void SimLine::MovePress(double deflection) {
  press_.lir += static_cast<int>(std::lround((deflection - press_.deflection) / kLirMmPerCount));
  press_.deflection = deflection;
}

void SimLine::ControllerRequest(const QByteArray& body, uint32_t nowMs) {
  if (faults_.silentController) return;
  const uint8_t code = At(body, 1);
  const uint8_t a1 = At(body, 2);
  const uint8_t a2 = At(body, 3);
  int value = 0;  // the 16-bit reading of the reply, if any
  uint32_t delay = timing_.replyMs;
  switch (code) {
    case kCmdHydraulics:
      press_.hydraulics = a1 == 1;
      break;
    case kCmdRelayUp:
      press_.up = a1 == 0;
      if (press_.up) {
        press_.force = 0;
        MovePress(0);
      }
      break;
    case kCmdRelayDown:
      press_.down = a1 == 0;
      break;
    case kCmdReadAdc:
      value = AdcReading();
      break;
    case kCmdReadInputs:
      value = Inputs();
      break;
    case kCmdReadLir:
    case kCmdDisplacement:
      value = press_.lir & 0xFFFF;
      break;
    case kCmdResetLir:
      press_.lir = 0;
      break;
    case kCmdInitLine:
      press_.force = 0;
      MovePress(0);
      press_.up = press_.down = false;
      scanRunning_ = false;
      delay = timing_.initMs;
      break;
    case kCmdScan:
      for (int n = 1; n <= 4; ++n)
        if (cameras_[n].enabled) cameras_[n].points = spring_->ScanPoints(n);
      scanRunning_ = true;
      scanPulses_ = 0;
      delay = timing_.scanMs;
      break;
    case kCmdForce: {
      const int level = a1 + 256 * a2;
      press_.force = level;
      MovePress(spring_->Deflection(level));
      std::uniform_int_distribution<int> noise(-2, 2);
      value = std::clamp(level + noise(rng_), 0, 0xFFFF);
      delay = timing_.forceMs;
      break;
    }
    case kCmdPosition: {
      const double height = spring_->FreeHeight() - press_.deflection;
      const double raw = kHeightZeroCount - (kHeightZeroMm - height) / kHeightMmPerCount;
      value = std::clamp(static_cast<int>(std::lround(raw)), 0, 0xFFFF);
      break;
    }
    default:
      break;
  }
  Reply(1, Body({kControllerAddress, code, 0, (value >> 8) & 0xFF, value & 0xFF}), nowMs + delay);
}

void SimLine::CameraRequest(const QByteArray& body, uint32_t nowMs) {
  const int n = At(body, 0);
  if (faults_.silentCamera[n]) return;
  Camera& cam = cameras_[n];
  const uint8_t code = At(body, 1);
  switch (code) {
    case kCamReset:
      cam.enabled = false;
      cam.points.clear();
      break;
    case kCamResetB:
      // The second reset of the range form: the camera empties its buffer
      // and, when switched on, takes one look at the spring where it stands
      // (the middle of what a scan would show).
      cam.points.clear();
      if (cam.enabled) {
        const std::vector<uint32_t> scan = spring_->ScanPoints(n);
        if (!scan.empty()) cam.points.push_back(scan[scan.size() / 2]);
      }
      break;
    case kCamThreshold:
      cam.threshold = At(body, 2);
      break;
    case kCamShutter:
      cam.shutter = At(body, 2) + 256 * At(body, 3);
      break;
    case kCamEnable:
      if (body.size() >= 5) cam.enabled = At(body, 2) == 1;
      break;
    case kCamReadOut:
      Reply(1, CameraReadOutBody(n, cam.points), nowMs + timing_.readOutMs);
      return;
    default:
      break;
  }
  Reply(1, Body({n, code, 0, 0, 0}), nowMs + timing_.replyMs);
}

void SimLine::BoardRequest(const QByteArray& body, uint32_t nowMs) {
  if (faults_.silentBoard) return;
  const uint8_t code = At(body, 1);
  const uint8_t a1 = At(body, 2);
  QByteArray reply = Body({kTestBoardAddress, code, 0, 0, 0});
  switch (code) {
    case 0x60:
      reply = QByteArray("2.01") + static_cast<char>(code);
      break;
    case 0x61:
      boardD0_ = a1;
      break;
    case 0x62:
      // Closing D1 ends a scan that the encoder drives.
      if (a1 == 1 && boardD1_ != 1 && scanRunning_) {
        scanRunning_ = false;
        if (scanPulses_ > 0) {
          for (int n = 1; n <= 4; ++n) {
            if (!cameras_[n].enabled) continue;
            const std::vector<uint32_t> full = spring_->ScanPoints(n);
            const size_t count = static_cast<size_t>(scanPulses_ / kPulsesPerReading);
            std::vector<uint32_t> pts(count, 0);
            for (size_t i = 0; i < count && !full.empty(); ++i)
              pts[i] = full[i * full.size() / count];
            cameras_[n].points = pts;
          }
        }
      }
      boardD1_ = a1;
      break;
    case 0x64:
      boardAdc_ = a1;
      break;
    case 0x65:
    case 0x66:
    case 0x67: {
      const bool on = code == 0x65 ? press_.hydraulics : code == 0x66 ? press_.up : press_.down;
      reply[0] = on ? '1' : '0';
      break;
    }
    case 0x68:
      press_.lir += 1;
      break;
    case 0x69:
      press_.lir += a1;
      if (scanRunning_) scanPulses_ += a1;
      break;
    case 0x6A:
      press_.lir -= 1;
      break;
    case 0x6B:
      press_.lir -= a1;
      break;
    default:
      break;
  }
  Reply(2, reply, nowMs + timing_.replyMs);
}
