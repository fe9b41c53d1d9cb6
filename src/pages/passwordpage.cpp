// The password box "pass" in front of the settings menu: digits show as "#".

#include "pages/pages.h"
#include "screen/pageguard.h"
#include "screen/screen.h"

int PasswordPage() {
  constexpr int kDigits = 8;
  QString digits;
  {
    const PageGuard guard("pass");
    const int x = ScreenOffsetX();
    QString mask;
    const auto prompt = [&] {
      SetFontBold(false);
      SetTextStyle("Impact", 46, kBlack);
      PutShadowText(x + 30, 480, "Введите пароль:" + mask, 2, 2, kSilver);
    };
    DrawPanelBox(x + 8, 438, x + 810, 603);
    prompt();
    EnableAllKeys();
    EnableKey(11, false);
    EnableKey(12, false);
    DrawKeyPanel();
    DrawKeyCaption("", "Применить", 13);
    RepaintScreen();
    KeyCode key;
    do {
      key = PollKey();
      LastKey() = key;
      if (key >= 1 && key <= 10 && digits.size() < kDigits) {
        digits += QChar(key == 10 ? '0' : '0' + key);
        mask += '#';
        prompt();
        RepaintScreen();
      }
    } while (key != 13);
  }
  LastKey() = 0;
  StatusStrip();
  // At most eight digits: always within an int.
  return digits.isEmpty() ? -1 : digits.toInt();
}
