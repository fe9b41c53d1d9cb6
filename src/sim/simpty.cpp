#include "sim/simpty.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

SimPty::SimPty(std::shared_ptr<SimLine> sim)
    : sim_(std::move(sim)), start_(std::chrono::steady_clock::now()) {}

SimPty::~SimPty() {
  for (int fd : master_)
    if (fd >= 0) ::close(fd);
  for (int fd : slave_)
    if (fd >= 0) ::close(fd);
}

bool SimPty::Open(int port) {
  if (port < 1 || port > 2) return false;
  int master = -1;
  int slave = -1;
  char name[256] = {};
  termios raw{};
  cfmakeraw(&raw);
  cfsetispeed(&raw, B57600);
  cfsetospeed(&raw, B57600);
  if (::openpty(&master, &slave, name, &raw, nullptr) != 0) {
    error_ = QString::fromLocal8Bit(strerror(errno));
    return false;
  }
  // The slave stays open here so that the pair outlives the program closing
  // and reopening its end; raw mode keeps the line from echoing the replies.
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  master_[port] = master;
  slave_[port] = slave;
  path_[port] = QString::fromLocal8Bit(name);
  return true;
}

QString SimPty::DevicePath(int port) const {
  return port >= 1 && port <= 2 ? path_[port] : QString();
}

uint32_t SimPty::Now() const {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - start_)
                                   .count());
}

void SimPty::Pump(int ms, const std::atomic<bool>* stop) {
  const uint32_t end = Now() + static_cast<uint32_t>(std::max(0, ms));
  while (!(stop && stop->load())) {
    const uint32_t now = Now();
    // Replies that are due go out first.
    for (int port = 1; port <= 2; ++port)
      if (master_[port] >= 0) Write(port, sim_->TakeOutput(port, now));
    if (static_cast<int32_t>(end - now) <= 0) return;
    int timeout = static_cast<int>(end - now);
    for (int port = 1; port <= 2; ++port) {
      if (const auto next = sim_->NextOutputTime(port))
        timeout =
            std::min(timeout, std::max(0, static_cast<int>(static_cast<int32_t>(*next - now))));
    }
    // Short turns so that a stop request is seen soon.
    timeout = std::min(timeout, 50);
    std::vector<pollfd> fds;
    std::vector<int> ports;
    for (int port = 1; port <= 2; ++port) {
      if (master_[port] < 0) continue;
      fds.push_back({master_[port], POLLIN, 0});
      ports.push_back(port);
    }
    if (fds.empty()) return;
    if (::poll(fds.data(), fds.size(), timeout) <= 0) continue;
    for (size_t i = 0; i < fds.size(); ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      char buf[512];
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      const uint32_t at = Now();
      for (ssize_t k = 0; k < n; ++k) sim_->Receive(ports[i], static_cast<uint8_t>(buf[k]), at);
      if (n > 0) read_[ports[i]] += static_cast<uint64_t>(n);
    }
  }
}

void SimPty::Write(int port, const QByteArray& out) {
  qsizetype done = 0;
  while (done < out.size()) {
    const ssize_t n = ::write(master_[port], out.constData() + done, out.size() - done);
    if (n > 0) {
      done += n;
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd w{master_[port], POLLOUT, 0};
      ::poll(&w, 1, 10);
    } else {
      break;
    }
  }
  written_[port] += static_cast<uint64_t>(done);
  if (clock_) clock_->written[port].store(written_[port], std::memory_order_release);
}

bool SimPty::ShareClock(const QString& file) {
  QString paths[plat::LineClockBlock::kPorts];
  for (int port = 1; port <= 2; ++port) paths[port] = path_[port];
  clock_ = plat::CreateLineClock(file, paths, &error_);
  return clock_ != nullptr;
}

void SimPty::Run(int ms, const std::atomic<bool>* stop) {
  const uint32_t end = Now() + static_cast<uint32_t>(std::max(0, ms));
  while (!(stop && stop->load()) && static_cast<int32_t>(end - Now()) > 0) {
    if (!clock_ || clock_->attach.load() == 0) {
      Pump(std::min(50, static_cast<int>(end - Now())), stop);
      continue;
    }
    if (const auto seq = plat::WaitLineClockRequest(clock_, clockSeen_, 50)) ServeClock(*seq);
  }
}

void SimPty::ServeClock(uint32_t seq) {
  clockSeen_ = seq;
  const uint32_t programMs = clock_->requestMs.load(std::memory_order_relaxed);
  const uint32_t attach = clock_->attach.load();
  if (attach != attachSeen_) {
    // A program (again) follows: its time from here on counts from the
    // line's own, so the line's time never runs back.
    attachSeen_ = attach;
    programBase_ = programMs;
    lineBase_ = std::max(lineNow_, Now());
    // Bytes of a program that went before count on neither side.
    for (int port = 1; port <= 2; ++port)
      readBase_[port] = read_[port] - clock_->sent[port].load(std::memory_order_acquire);
  }
  const uint32_t at = lineBase_ + (programMs - programBase_);
  if (static_cast<int32_t>(at - lineNow_) > 0) lineNow_ = at;
  // Every byte the program has written so far arrived by now.
  for (int port = 1; port <= 2; ++port) {
    if (master_[port] < 0) continue;
    const uint64_t sent = clock_->sent[port].load(std::memory_order_acquire) + readBase_[port];
    const auto t0 = std::chrono::steady_clock::now();
    while (read_[port] < sent && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(1)) {
      pollfd r{master_[port], POLLIN, 0};
      if (::poll(&r, 1, 20) <= 0) continue;
      char buf[512];
      const ssize_t n = ::read(master_[port], buf, sizeof buf);
      for (ssize_t k = 0; k < n; ++k) sim_->Receive(port, static_cast<uint8_t>(buf[k]), lineNow_);
      if (n > 0) read_[port] += static_cast<uint64_t>(n);
    }
  }
  std::optional<uint32_t> next;
  for (int port = 1; port <= 2; ++port) {
    if (master_[port] < 0) continue;
    Write(port, sim_->TakeOutput(port, lineNow_));
    if (const auto due = sim_->NextOutputTime(port);
        due && (!next || static_cast<int32_t>(*due - *next) < 0))
      next = due;
  }
  if (next) {
    const int32_t ahead = std::max(0, static_cast<int32_t>(*next - lineNow_));
    clock_->nextMs.store(programMs + static_cast<uint32_t>(ahead), std::memory_order_relaxed);
  }
  clock_->hasNext.store(next ? 1 : 0, std::memory_order_release);
  plat::ServeLineClockRequest(clock_, seq);
}
