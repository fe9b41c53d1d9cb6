#include "platform/pump.h"

#include <QCoreApplication>
#include <algorithm>

#include "platform/clock.h"

namespace plat {
namespace {
std::function<void()>& Hook() {
  static std::function<void()> hook;
  return hook;
}
bool& InHook() {
  static bool busy = false;
  return busy;
}
}  // namespace

void RunPumpHook() {
  // The hook may itself wait (a playback step that draws); never re-enter it.
  if (Hook() && !InHook()) {
    InHook() = true;
    Hook()();
    InHook() = false;
  }
}

void ProcessMessages() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
  RunPumpHook();
}

void SetPumpHook(std::function<void()> hook) { Hook() = std::move(hook); }

void WaitMs(uint32_t ms) {
  const uint32_t t0 = TickCount();
  while (static_cast<uint32_t>(TickCount() - t0) < ms) {
    ProcessMessages();
    const uint32_t elapsed = TickCount() - t0;
    if (elapsed >= ms) break;
    // Real clock: a short sleep keeps an idle wait off the processor.
    // Virtual clock: the sleep advances time, in steps that still let the
    // playback harness run its steps at their moments.
    SleepMs(std::min<uint32_t>(ms - elapsed, 5));
  }
}

}  // namespace plat
