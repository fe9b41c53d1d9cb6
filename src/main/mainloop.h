#pragma once
// The spine of the program: the start-up steps, the start page, the check of
// the line and the main-menu loop that hands each key to its page.

#include <array>

void MainLoop();

void DrawStartPage();
void DrawMainMenuCaptions();
// Draws the check box and runs the check of the line; a failure ends in the
// error page, so it returns true.
bool SystemCheckPage();
void LineReadyPage();

// The error page a failed check of the line leads to, from the results of
// the controller and cameras 1..4 (true = passed).
int SystemCheckErrorCode(bool controller, const std::array<bool, 5>& camera);
