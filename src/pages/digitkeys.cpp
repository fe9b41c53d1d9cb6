#include "pages/digitkeys.h"

#include <algorithm>

KeyCode ReadDigitKeys(QString& digits, int maxDigits, std::initializer_list<KeyCode> endKeys,
                      const std::function<void()>& typed) {
  for (;;) {
    const KeyCode key = PollKey();
    LastKey() = key;
    if (std::find(endKeys.begin(), endKeys.end(), key) != endKeys.end()) return key;
    if (key >= 1 && key <= 10 && digits.size() < maxDigits) {
      digits += QChar(key == 10 ? '0' : '0' + key);
      typed();
    }
  }
}
