#include "keydriver.h"

#include "platform/pump.h"
#include "screen/screen.h"

namespace testsupport {

KeyDriver::~KeyDriver() {
  Stop();
}

void KeyDriver::Type(const QString& keys, Ready ready) {
  for (QChar c : keys) steps_.push_back({ready, [c] { KeyCharTyped(c); }});
}

void KeyDriver::Do(std::function<void()> action, Ready ready) {
  steps_.push_back({std::move(ready), std::move(action)});
}

void KeyDriver::Start() {
  plat::SetPumpHook([this] { Turn(); });
}

void KeyDriver::Stop() {
  plat::SetPumpHook({});
}

void KeyDriver::Run(const std::function<void()>& page) {
  Start();
  page();
  Stop();
}

void KeyDriver::Turn() {
  if (everyTurn) everyTurn();
  if (steps_.empty() || !ScreenState.keyBuffer.isEmpty()) return;
  if (steps_.front().ready && !steps_.front().ready()) return;
  if (beforeStep) beforeStep();
  const auto action = std::move(steps_.front().action);
  steps_.pop_front();
  action();
}

bool KeyOfCharLit(QChar c) {
  const int key = c == '*' ? 11 : c == '/' ? 12 : c == '-' ? 13 : c == '0' ? 10 : c.digitValue();
  return KeyEnabled(key);
}

}  // namespace testsupport
