#pragma once
// The program's entry: options, module start-up, the windows and the message loop.

// The application's title: the desktop's name for the program and the
// caption of its own message boxes. A fixed text of the program, not the
// file version (plat::FileVersion()): a new build leaves it as it is.
inline constexpr char kApplicationTitle[] = "Kalvor 4.89b1";

int RunProgram(int argc, char** argv);
