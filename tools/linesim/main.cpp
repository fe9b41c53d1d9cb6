// The simulated line: the central controller with its press, the four
// cameras and the CKT test board on pseudo-terminals, so that the program
// runs its hardware path (Emul=0) without the line. `linesim --help` lists
// the options (src/sim/simoptions.cpp holds them); the model is described in
// src/sim/simline.h, the spring the cameras and the press see in
// src/sim/simcoilspring.h.
//
// It prints the setup.ini lines first ("[Hard] Com=...", "[Ckt] Port=..."),
// then a hint, one line per injected fault and the ready line.

#include <QFile>
#include <QString>
#include <QStringList>
#include <atomic>
#include <csignal>
#include <cstdio>

#include "sim/simcoilspring.h"
#include "sim/simline.h"
#include "sim/simoptions.h"
#include "sim/simpty.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
  g_stop = true;
}

int Usage(const QString& problem) {
  std::fprintf(stderr, "linesim: %s\nlinesim: --help lists the options\n",
               problem.toLocal8Bit().constData());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);

  const LinesimParse parse = ParseLinesimOptions(args);
  if (!parse.ok) return Usage(parse.error);
  const LinesimOptions& o = parse.options;
  if (o.help) {
    std::fputs(LinesimHelpText().toLocal8Bit().constData(), stdout);
    return 0;
  }

  // The cameras see the coil spring of the profile mathematics, through the
  // calibration tables of a new installation.
  auto sim = std::make_shared<SimLine>(MakeLineSpring(o.spring), o.faults, o.timing);
  std::shared_ptr<QFile> log;
  if (!o.logFile.isEmpty()) {
    log = std::make_shared<QFile>(o.logFile);
    if (!log->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
      return Usage(QString("--log: cannot write %1: %2").arg(o.logFile, log->errorString()));
    sim->SetRequestObserver([log](int port, const QByteArray& body, uint32_t ms) {
      log->write((SimLine::RequestLogLine(ms, port, body) + "\n").toLatin1());
      log->flush();
    });
  }

  SimPty pty(sim);
  if (!pty.Open(1) || (o.board && !pty.Open(2))) {
    std::fprintf(stderr, "linesim: cannot open a pseudo-terminal: %s\n",
                 pty.Error().toLocal8Bit().constData());
    return 1;
  }
  if (!o.clockFile.isEmpty() && !pty.ShareClock(o.clockFile)) {
    std::fprintf(stderr, "linesim: --clock: %s\n", pty.Error().toLocal8Bit().constData());
    return 1;
  }
  std::printf("[Hard] Com=%s\n", pty.DevicePath(1).toLocal8Bit().constData());
  if (o.board) {
    std::printf("[Ckt] Port=%s\n", pty.DevicePath(2).toLocal8Bit().constData());
    std::printf(
        "linesim: set [Ckt] Enable=1 as well, so that the program opens the board's port\n");
  }
  for (const QString& l : LinesimFaultLines(o.faults))
    std::printf("linesim: fault: %s\n", l.toLocal8Bit().constData());
  std::printf("linesim: the line is ready; Ctrl+C ends it\n");
  std::fflush(stdout);

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  const uint32_t end =
      o.runForSeconds > 0 ? pty.Now() + static_cast<uint32_t>(o.runForSeconds * 1000) : 0;
  while (!g_stop) {
    pty.Run(200, &g_stop);
    if (end && static_cast<int32_t>(pty.Now() - end) >= 0) break;
  }
  return 0;
}
