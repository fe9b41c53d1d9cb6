// The simulated line: the central controller with its press, the four
// cameras and the CKT test board on pseudo-terminals, so that the program
// runs its hardware path (Emul=0) without the line.
//
//   linesim [options]
//     --no-board            no test board port
//     --silent-controller   the controller never answers
//     --silent-camera N     camera N (1..4) never answers; may be repeated
//     --silent-board        the test board never answers
//     --cut N               every reply frame stops after N bytes
//     --garble P            each reply byte is replaced at random with chance P (0..1)
//     --seed S              seed of the random faults and readings
//     --points N            readings per camera scan (default 1000)
//     --height MM --diameter MM --wire MM --pitch MM --tilt DEG --stiffness K
//                           the spring (K: ADC units per mm)
//     --for SECONDS         end after this long (default: until interrupted)

#include <QString>
#include <QStringList>
#include <atomic>
#include <csignal>
#include <cstdio>

#include "sim/simline.h"
#include "sim/simpty.h"
#include "sim/simspring.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
  g_stop = true;
}

int Usage(const QString& problem) {
  std::fprintf(stderr, "linesim: %s\n", problem.toLocal8Bit().constData());
  std::fprintf(stderr,
               "usage: linesim [--no-board] [--silent-controller] [--silent-camera N]... "
               "[--silent-board]\n"
               "               [--cut N] [--garble P] [--seed S] [--points N] [--height MM] "
               "[--diameter MM]\n"
               "               [--wire MM] [--pitch MM] [--tilt DEG] [--stiffness K] "
               "[--for SECONDS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);

  SimFaults faults;
  SimpleSpring spring;
  bool board = true;
  double runFor = -1;
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    auto number = [&](double& out) {
      bool ok = false;
      if (i + 1 < args.size()) out = args[++i].toDouble(&ok);
      return ok;
    };
    double v = 0;
    if (a == "--no-board") {
      board = false;
    } else if (a == "--silent-controller") {
      faults.silentController = true;
    } else if (a == "--silent-board") {
      faults.silentBoard = true;
    } else if (a == "--silent-camera") {
      if (!number(v) || v < 1 || v > 4) return Usage("--silent-camera takes a camera 1..4");
      faults.silentCamera[static_cast<int>(v)] = true;
    } else if (a == "--cut") {
      if (!number(v) || v < 1) return Usage("--cut takes a byte count of at least 1");
      faults.cutAfter = static_cast<int>(v);
    } else if (a == "--garble") {
      if (!number(v) || v < 0 || v > 1) return Usage("--garble takes a chance 0..1");
      faults.garble = v;
    } else if (a == "--seed") {
      if (!number(v)) return Usage("--seed takes a number");
      faults.seed = static_cast<uint32_t>(v);
    } else if (a == "--points") {
      if (!number(v) || v < 0 || v > 30000) return Usage("--points takes 0..30000");
      spring.scanPoints = static_cast<int>(v);
    } else if (a == "--height") {
      if (!number(v) || v <= 0) return Usage("--height takes millimetres");
      spring.freeHeight = v;
    } else if (a == "--diameter") {
      if (!number(v) || v <= 0) return Usage("--diameter takes millimetres");
      spring.coilDiameter = v;
    } else if (a == "--wire") {
      if (!number(v) || v <= 0) return Usage("--wire takes millimetres");
      spring.wireDiameter = v;
    } else if (a == "--pitch") {
      if (!number(v) || v <= 0) return Usage("--pitch takes millimetres");
      spring.pitch = v;
    } else if (a == "--tilt") {
      if (!number(v)) return Usage("--tilt takes degrees");
      spring.tiltDegrees = v;
    } else if (a == "--stiffness") {
      if (!number(v) || v <= 0) return Usage("--stiffness takes ADC units per mm");
      spring.stiffness = v;
    } else if (a == "--for") {
      if (!number(v) || v <= 0) return Usage("--for takes seconds");
      runFor = v;
    } else {
      return Usage("unknown option " + a);
    }
  }

  auto sim = std::make_shared<SimLine>(std::make_shared<SimpleSpringModel>(spring), faults);
  SimPty pty(sim);
  if (!pty.Open(1) || (board && !pty.Open(2))) {
    std::fprintf(stderr, "linesim: cannot open a pseudo-terminal: %s\n",
                 pty.Error().toLocal8Bit().constData());
    return 1;
  }
  std::printf("[Hard] Com=%s\n", pty.DevicePath(1).toLocal8Bit().constData());
  if (board) std::printf("[Ckt] Port=%s\n", pty.DevicePath(2).toLocal8Bit().constData());
  std::printf("linesim: the line is ready; Ctrl+C ends it\n");
  std::fflush(stdout);

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  const uint32_t end = runFor > 0 ? pty.Now() + static_cast<uint32_t>(runFor * 1000) : 0;
  while (!g_stop) {
    pty.Pump(200, &g_stop);
    if (end && static_cast<int32_t>(pty.Now() - end) >= 0) break;
  }
  return 0;
}
