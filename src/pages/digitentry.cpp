// The digit-entry box of the sorting mode: every number of the bogie and of
// its side frames is typed here. The questions of one block stand each a
// little lower than the one before; a box that stayed on the page would show
// the top of its prompt, cut off, above the next one. So the box keeps the
// page it covers and gives it back with the key mask when the answer is
// given, and the next question opens on the clean page.

#include "pages/pages.h"
#include "screen/pageguard.h"
#include "screen/screen.h"

namespace {

void DrawTyped(int x, int y, const QString& typed) {
  FillBox(x + 46, y + 76, x + 238, y + 112, kWhite);
  SetFontBold(false);
  SetTextStyle("Time News Roman", 20, kNavy);
  PutText(x + 52, y + 80, typed + "_");
}

// Why the digits typed are refused, beside the field where a hint would be.
void ShowRefusal(int x, int y, const QString& reason) {
  FillBox(x + 245, y + 76, x + 440, y + 128, kWhite);
  SetTextStyle("Time News Roman", 10, kRed);
  PutWrappedText(x + 250, y + 80, 185, 15, 3, reason);
}

}  // namespace

QString EnterDigits(const QString& prompt, int y, int maximum, const QString& hint,
                    DigitsCheck accept) {
  const int x = ScreenOffsetX();
  const PageGuard guard("111");
  EnableAllKeys();
  EnableKey(13, false);
  DrawKeyPanel();
  DrawKeyCaption("", "Далее", 11);
  DrawKeyCaption("Отмена", "ввода", 12);

  DrawPanelBox(x + 20, y + 30, x + 442, y + 130);
  FillBox(x + 45, y + 75, x + 239, y + 113, kBlack);
  SetFontBold(false);
  SetTextStyle("Time News Roman", 16, kBlack);
  PutText(x + 45, y + 31, prompt);
  if (!hint.isEmpty()) {
    // Beside the field, where the box has room for two short lines.
    SetTextStyle("Time News Roman", 10, kDarkGrey);
    const qsizetype cut = hint.indexOf(QStringLiteral(" параметра"));
    PutText(x + 250, y + 80, cut > 0 ? hint.left(cut) : hint);
    if (cut > 0) PutText(x + 250, y + 95, hint.mid(cut + 1));
  }
  QString typed;
  DrawTyped(x, y, typed);
  RepaintScreen();

  // "Далее" takes a value only once a digit is typed, so that an empty
  // answer always means a cancel to the caller.
  bool cancelled = false;
  KeyCode key;
  do {
    key = PollKey();
    LastKey() = key;
    if (key == 11 && typed.isEmpty()) {
      key = 0;
      continue;
    }
    if (QString reason; key == 11 && accept && !accept(typed, reason)) {
      ShowRefusal(x, y, reason);
      RepaintScreen();
      key = 0;
      continue;
    }
    if (key >= 1 && key <= 10) {
      if (typed.size() < maximum) typed += QChar(key == 10 ? '0' : '0' + key);
    } else if (key == 12) {
      if (typed.isEmpty())
        cancelled = true;
      else
        typed.chop(1);
    } else {
      continue;
    }
    DrawTyped(x, y, typed);
    RepaintScreen();
  } while (key != 11 && !cancelled);

  LastKey() = 0;
  return cancelled ? QString() : typed;
}
