#pragma once
// The pages that frame the life of the program: the about box on the start
// page, the error page and the shutdown page.

#include <QStringList>

// Draws the about box with its corner at (ScreenOffsetX + x, y).
void AboutBox(int x, int y);

// Shows the error page of a fault of the line and ends through the shutdown
// page; never returns.
[[noreturn]] void ShowErrorPage(int code);

// The lines the error page shows for a code: the lines of Errors\<code>.err,
// or a line saying why they can't be shown.
QStringList ErrorPageLines(int code);

// The last page of every run but the Escape key; never returns.
[[noreturn]] void ShutdownPage();

// The maker's lines of the about box.
extern const char* const kMakerLines[3];
