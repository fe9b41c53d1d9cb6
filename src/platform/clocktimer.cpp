#include "platform/clocktimer.h"

#include <QTimer>
#include <algorithm>
#include <vector>

#include "platform/clock.h"

namespace plat {

namespace {

std::vector<const ClockTimer*>& Running() {
  static std::vector<const ClockTimer*> running;
  return running;
}

}  // namespace

ClockTimer::ClockTimer(int intervalMs, std::function<void()> onTimeout, QObject* parent)
    : QObject(parent), timer_(new QTimer(this)), intervalMs_(intervalMs), onTimeout_(std::move(onTimeout)) {
  connect(timer_, &QTimer::timeout, this, [this] { Look(); });
}

ClockTimer::~ClockTimer() { stop(); }

void ClockTimer::start() {
  startedAt_ = TickCount();
  timer_->start(IsVirtualClock() ? 1 : intervalMs_);
  if (std::find(Running().begin(), Running().end(), this) == Running().end()) Running().push_back(this);
}

void ClockTimer::stop() {
  timer_->stop();
  Running().erase(std::remove(Running().begin(), Running().end(), this), Running().end());
}

bool ClockTimer::isActive() const { return timer_->isActive(); }

void ClockTimer::Look() {
  if (IsVirtualClock()) {
    if (static_cast<int32_t>(TickCount() - startedAt_) < intervalMs_) return;
    startedAt_ = TickCount();
  }
  onTimeout_();
}

std::optional<uint32_t> NextClockTimerDueMs() {
  std::optional<uint32_t> next;
  const uint32_t now = TickCount();
  for (const ClockTimer* t : Running()) {
    if (t->needed_ && !t->needed_()) continue;
    const int32_t left = t->intervalMs_ - static_cast<int32_t>(now - t->startedAt_);
    const uint32_t due = static_cast<uint32_t>(std::max<int32_t>(left, 0));
    if (!next || due < *next) next = due;
  }
  return next;
}

}  // namespace plat
