#pragma once
// The message pump: every wait of the program processes pending window
// messages through ProcessMessages(), so key presses and mouse clicks reach the
// key buffer and service windows stay alive in the middle of long operations.

#include <cstdint>
#include <functional>

namespace plat {

// Processes pending window messages once, then runs the pump hook.
void ProcessMessages();

// A function run on every turn of the pump (the playback harness uses it to
// play its steps whatever page or form is in front). Pass {} to remove it.
void SetPumpHook(std::function<void()> hook);

// Runs the pump hook alone (without processing messages); a timer of the
// hook's owner calls it, since a timer's slot must not process messages: the
// start-up timer fired from there would hold that timer for the whole run.
void RunPumpHook();

// Waits ms milliseconds on the program's clock while processing messages.
// Under the virtual clock each turn advances the clock by one millisecond
// step of at most `ms`, so a wait costs no real time.
void WaitMs(uint32_t ms);

}  // namespace plat
