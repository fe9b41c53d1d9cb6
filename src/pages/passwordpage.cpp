// The password box "pass" in front of the settings menu: digits show as "#".

#include "pages/digitkeys.h"
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
    // Wide and deep enough to cover the status strip's wagon box whole, so
    // no piece of its lines shows beside the question.
    DrawPanelBox(x + 8, 438, x + 850, 613);
    prompt();
    EnableAllKeys();
    EnableKey(11, false);
    EnableKey(12, false);
    DrawKeyPanel();
    DrawKeyCaption("", "Применить", 13);
    RepaintScreen();
    ReadDigitKeys(digits, kDigits, {13}, [&] {
      mask += '#';
      prompt();
      RepaintScreen();
    });
  }
  LastKey() = 0;
  StatusStrip();
  // At most eight digits: always within an int.
  return digits.isEmpty() ? -1 : digits.toInt();
}
