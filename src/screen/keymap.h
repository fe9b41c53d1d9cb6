#pragma once
// Keyboard events to the characters of the key buffer.

#include <QString>
#include <Qt>

// The characters a key press puts into the key buffer. Keypad keys count as
// their digits whatever the Num Lock state: with Num Lock off the desktop
// reports End, Down, PageDown, Left, Clear, Right, Home, Up, PageUp, Insert
// with the keypad modifier and no text.
QString KeyEventChars(int key, Qt::KeyboardModifiers modifiers, const QString& text);
