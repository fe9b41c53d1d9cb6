#pragma once
// The program's entry: options, module start-up, the windows and the message loop.

int RunProgram(int argc, char** argv);
