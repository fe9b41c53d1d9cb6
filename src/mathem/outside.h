#pragma once
// What the profile mathematics takes from the rest of the program: the error
// page, a modal message, and the names of the bogie type in use and its
// spring types. Kept together so that each has one place to be wired.

#include <QString>

// Shows the error page of the code; it ends the program.
void RaiseErrorPage(int code);

// A modal message to the operator (no message without a window system).
void ShowMathemMessage(const QString& text);

// The bogie type in use (1-based) and its name.
int MathemBogieType();
QString MathemBogieName();
// The designation of spring type s of the bogie type in use.
QString MathemSpringDesignation(int springType);
