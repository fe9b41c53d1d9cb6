#include "sim/simline.h"

#include <algorithm>
#include <cmath>

#include "link/camera.h"
#include "link/commands.h"
#include "link/framing.h"

namespace {

uint8_t At(const QByteArray& body, int i) {
  return i < body.size() ? static_cast<uint8_t>(body[i]) : 0;
}

QByteArray Body(std::initializer_list<int> bytes) {
  QByteArray b;
  for (int v : bytes) b.append(static_cast<char>(v & 0xFF));
  return b;
}

int PortOf(SimDevice d) {
  return d == SimDevice::Board ? 2 : 1;
}

}  // namespace

QString SimDeviceName(SimDevice d) {
  switch (d) {
    case SimDevice::Controller:
      return "controller";
    case SimDevice::Board:
      return "board";
    default:
      return QString("camera%1").arg(static_cast<int>(d));
  }
}

std::optional<SimDevice> SimDeviceFromName(const QString& name) {
  for (int i = 0; i < kSimDeviceCount; ++i)
    if (SimDeviceName(static_cast<SimDevice>(i)) == name) return static_cast<SimDevice>(i);
  return std::nullopt;
}

bool SimFaults::Silent(SimDevice d) const {
  switch (d) {
    case SimDevice::Controller:
      return silentController;
    case SimDevice::Board:
      return silentBoard;
    default:
      return silentCamera[static_cast<int>(d)];
  }
}

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

QString SimLine::RequestLogLine(uint32_t ms, int port, const QByteArray& body) {
  return QString("%1 %2 %3").arg(ms).arg(port).arg(QString::fromLatin1(body.toHex(' ').toUpper()));
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
  Advance(nowMs);
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

void SimLine::Reply(SimDevice device, const QByteArray& body, uint32_t at) {
  const SimDeviceFaults& own = faults_.Of(device);
  const int cut = own.cutAfter > 0 ? own.cutAfter : faults_.cutAfter;
  const double garble = own.garble > 0 ? own.garble : faults_.garble;
  QByteArray frame = EncodeFrame(body);
  if (cut > 0 && frame.size() > cut) frame.truncate(cut);
  if (garble > 0) {
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::uniform_int_distribution<int> value(0, 255);
    for (auto& c : frame)
      if (chance(rng_) < garble) c = static_cast<char>(value(rng_));
  }
  at += own.lateMs;
  // The queue stays in time order; a frame goes behind every byte due no
  // later than it, so frames never mix and one late device does not hold
  // back the others on its line.
  auto& q = output_[PortOf(device)];
  auto pos = std::find_if(q.begin(), q.end(),
                          [at](const Pending& p) { return static_cast<int32_t>(p.at - at) > 0; });
  std::vector<Pending> bytes;
  for (char c : frame) bytes.push_back({at, static_cast<uint8_t>(c)});
  q.insert(pos, bytes.begin(), bytes.end());
}

bool SimLine::Fails(SimDevice device, uint8_t code) {
  const int nth = ++counts_[static_cast<int>(device)][code];
  const SimDeviceFaults& f = faults_.Of(device);
  return f.fail.count(code) || f.failNth.count({code, nth});
}

std::optional<uint32_t> SimLine::ScanDeadline() const {
  if (!scan_.running || scan_.driven) return std::nullopt;
  return scan_.waitFromMs + timing_.scanMs;
}

void SimLine::Advance(uint32_t nowMs) {
  const auto deadline = ScanDeadline();
  if (deadline && static_cast<int32_t>(nowMs - *deadline) >= 0) EndScan(true, *deadline);
}

QByteArray SimLine::TakeOutput(int port, uint32_t nowMs) {
  QByteArray out;
  if (port < 1 || port > 2) return out;
  Advance(nowMs);
  auto& q = output_[port];
  while (!q.empty() && static_cast<int32_t>(nowMs - q.front().at) >= 0) {
    out.append(static_cast<char>(q.front().byte));
    q.pop_front();
  }
  return out;
}

std::optional<uint32_t> SimLine::NextOutputTime(int port) const {
  if (port < 1 || port > 2) return std::nullopt;
  std::optional<uint32_t> next;
  if (!output_[port].empty()) next = output_[port].front().at;
  // The reply of a scan that completes by itself.
  if (const auto deadline = ScanDeadline(); deadline && port == 1) {
    const uint32_t at = *deadline + faults_.Of(SimDevice::Controller).lateMs;
    if (!next || static_cast<int32_t>(at - *next) < 0) next = at;
  }
  return next;
}

void SimLine::Dispatch(int port, const QByteArray& body, uint32_t nowMs) {
  requests_[port].push_back(body);
  if (observer_) observer_(port, body, nowMs);
  const uint8_t address = At(body, 0);
  if (port == 1 && address == kControllerAddress)
    ControllerRequest(body, nowMs);
  else if (port == 1 && address >= 1 && address <= 4)
    CameraRequest(body, nowMs);
  else if (port == 2 && address == kTestBoardAddress)
    BoardRequest(body, nowMs);
}

int SimLine::AdcReading() const {
  if (faults_.deadAdc) return 0;
  return board_.adcLevel ? *board_.adcLevel * kBoardAdcStep : press_.force;
}

bool SimLine::InputClosed(int input) const {
  if (const auto stuck = faults_.stuckInputClosed[input]) return *stuck;
  // The board pulls the inputs low: its value 0 closes the contact.
  return (input == 0 ? board_.d0 : board_.d1) == 0;
}

int SimLine::Inputs() const {
  return (InputClosed(0) ? 1 << kInputD0Bit : 0) | (InputClosed(1) ? 1 << kInputD1Bit : 0);
}

int SimLine::CountPulses(int pulses) {
  if (faults_.lirError == 0) return pulses;
  // Of every pulse the encoder has given, the LIR has counted
  // floor(seen × (1000 + error) / 1000): the error falls evenly, and any
  // 1000 pulses in a row count exactly 1000 + error.
  const int64_t rate = 1000 + faults_.lirError;
  const int64_t before = lirPulsesSeen_ * rate / 1000;
  lirPulsesSeen_ += std::abs(pulses);
  const int counted = static_cast<int>(lirPulsesSeen_ * rate / 1000 - before);
  return pulses < 0 ? -counted : counted;
}

void SimLine::BoardPulses(int pulses) {
  const int counted = CountPulses(pulses);
  press_.lir += counted;
  if (scan_.running) {
    scan_.driven = true;
    scan_.pulses += counted;
  }
}

void SimLine::MovePress(double deflection) {
  const int counts = static_cast<int>(std::lround(deflection / kLirMmPerCount));
  press_.lir += CountPulses(counts - pressCounts_);
  pressCounts_ = counts;
  press_.deflection = deflection;
}

void SimLine::EndScan(bool fromModel, uint32_t at) {
  const int readings = std::max(0, scan_.pulses) / kLirCountsPerReading;
  for (int n = 1; n <= 4; ++n) {
    if (!scan_.cameras[n]) continue;
    const std::vector<uint32_t> full = spring_->ScanPoints(n);
    if (fromModel) {
      cameras_[n].points = full;
      continue;
    }
    // The readings taken along the encoder's travel, spread over the
    // modelled profile.
    std::vector<uint32_t> pts(static_cast<size_t>(readings), 0);
    for (size_t i = 0; i < pts.size() && !full.empty(); ++i)
      pts[i] = full[i * full.size() / pts.size()];
    cameras_[n].points = std::move(pts);
  }
  scan_.running = false;
  Reply(SimDevice::Controller, Body({kControllerAddress, kCmdScan, 0, 0, 0}), at);
}

void SimLine::ControllerRequest(const QByteArray& body, uint32_t nowMs) {
  if (faults_.silentController) return;
  const uint8_t code = At(body, 1);
  if (Fails(SimDevice::Controller, code)) return;
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
      scan_.running = false;
      delay = timing_.initMs;
      break;
    case kCmdScan:
      scan_ = Scan{};
      scan_.running = true;
      scan_.startMs = scan_.waitFromMs = nowMs;
      for (int n = 1; n <= 4; ++n) {
        scan_.cameras[n] = cameras_[n].enabled;
        if (cameras_[n].enabled) cameras_[n].points.clear();
      }
      return;  // the reply comes when the scan ends
    case kCmdForce: {
      const int level = a1 + 256 * a2;
      // A dead ADC never shows the level reached: the press gives up
      // without a reply.
      if (faults_.deadAdc && level > 0) return;
      press_.force = level;
      MovePress(spring_->Deflection(level));
      value = std::clamp(static_cast<int>(std::lround(press_.deflection / kDeflectionMmPerCount)),
                         0, 0xFFFF);
      delay = timing_.forceMs;
      break;
    }
    case kCmdPosition: {
      const double height = spring_->FreeHeight() - press_.deflection;
      const double raw = kPositionReferenceCount - (kPositionReferenceMm - height) / kPositionMmPerCount;
      value = std::clamp(static_cast<int>(std::lround(raw)), 0, 0xFFFF);
      break;
    }
    default:
      break;
  }
  Reply(SimDevice::Controller,
        Body({kControllerAddress, code, 0, (value >> 8) & 0xFF, value & 0xFF}), nowMs + delay);
}

void SimLine::CameraRequest(const QByteArray& body, uint32_t nowMs) {
  const int n = At(body, 0);
  const SimDevice device = static_cast<SimDevice>(n);
  if (faults_.Silent(device)) return;
  const uint8_t code = At(body, 1);
  if (Fails(device, code)) return;
  Camera& cam = cameras_[n];
  switch (code) {
    case kCamReset:
      cam.enabled = false;
      cam.points.clear();
      break;
    case kCamResetB:
      // The second reset of the range form: the camera empties its buffer
      // and, when switched on, takes one look at the spring where it stands
      // (the wire nearest the middle of what a scan would show; the middle
      // itself when the camera sees no wire at all).
      cam.points.clear();
      if (const std::vector<uint32_t> scan =
              cam.enabled ? spring_->ScanPoints(n) : std::vector<uint32_t>();
          !scan.empty()) {
        const size_t mid = scan.size() / 2;
        size_t at = mid;
        for (size_t k = 0; k <= mid; ++k) {
          if (mid + k < scan.size() && scan[mid + k]) {
            at = mid + k;
            break;
          }
          if (scan[mid - k]) {
            at = mid - k;
            break;
          }
        }
        cam.points.push_back(scan[at]);
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
      Reply(device, CameraReadOutBody(n, cam.points), nowMs + timing_.readOutMs);
      return;
    default:
      break;
  }
  Reply(device, Body({n, code, 0, 0, 0}), nowMs + timing_.replyMs);
}

void SimLine::BoardRequest(const QByteArray& body, uint32_t nowMs) {
  if (faults_.silentBoard) return;
  const uint8_t code = At(body, 1);
  if (Fails(SimDevice::Board, code)) return;
  const uint8_t a1 = At(body, 2);
  // The board is in use: a scan waiting for pulses gives it time.
  if (scan_.running && !scan_.driven) scan_.waitFromMs = nowMs;
  QByteArray reply = body.left(5);
  switch (code) {
    case kBoardIdentify:
      reply = QByteArray("2.01") + static_cast<char>(code);
      break;
    case kBoardD0:
      board_.d0 = a1;
      break;
    case kBoardD1: {
      const bool wasClosed = InputClosed(1);
      board_.d1 = a1;
      // Closing D1 ends the scan.
      if (!wasClosed && InputClosed(1) && scan_.running) EndScan(false, nowMs + timing_.replyMs);
      break;
    }
    case kBoardAdcLevel:
      board_.adcLevel = a1;
      break;
    case kBoardHydraulicsOutput:
    case kBoardUpOutput:
    case kBoardDownOutput: {
      const bool on = code == kBoardHydraulicsOutput ? press_.hydraulics
                      : code == kBoardUpOutput       ? press_.up
                                               : press_.down;
      reply[0] = on ? '0' : '1';
      break;
    }
    case kBoardLirStepForward:
      BoardPulses(1);
      break;
    case kBoardLirForward:
      BoardPulses(a1);
      break;
    case kBoardLirStepBack:
      BoardPulses(-1);
      break;
    case kBoardLirBack:
      BoardPulses(-a1);
      break;
    case kBoardLirPause:
      board_.pauseMs = a1;
      break;
    case kBoardLir2Forward:
      board_.secondOutput += a1;
      break;
    case kBoardLir2Back:
      board_.secondOutput -= a1;
      break;
    case kBoardLir2Setup:
      board_.secondSetup = a1;
      break;
    case kBoardDev0:
      board_.dev0 = a1;
      break;
    case kBoardDev1:
      board_.dev1 = a1;
      break;
    default:
      break;
  }
  Reply(SimDevice::Board, reply, nowMs + timing_.replyMs);
}
