#pragma once
// The digit keys of the entry boxes (wagon number, password, measurement
// number): keys 1..9 type "1".."9", key 10 types "0".

#include <QString>
#include <functional>
#include <initializer_list>

#include "screen/screen.h"

// Polls keys until one of endKeys, appending the digit of a digit key while
// fewer than maxDigits are held and calling typed() after each. Every key
// polled is kept in LastKey; the end key is returned.
KeyCode ReadDigitKeys(QString& digits, int maxDigits, std::initializer_list<KeyCode> endKeys,
                      const std::function<void()>& typed);
