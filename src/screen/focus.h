#pragma once
// The line's screen has no window manager: nobody gives the keyboard back
// when a service window, a message box or the visualiser closes. Once
// installed, each closing window hands it to the modal window still open
// below it, or else to the main window, so the keypad goes on working.

class QWidget;

void KeepKeyboardOnMainWindow(QWidget* mainWindow);
