// The wagon numbers: the page "vselect" of main-menu key 8 and its entry box
// "vpass". The wagon the springs are taken from (the source) and the wagon
// they are fitted to (the receiver) go into the shift state, from which every
// measurement takes them.

#include <cstdio>

#include "database/database.h"
#include "pages/digitkeys.h"
#include "pages/pages.h"
#include "screen/pageguard.h"
#include "screen/screen.h"

namespace {

constexpr int kWagonDigits = 8;
const QString kNoWagonNumber = QStringLiteral("НЕ ЗАДАН");

// The entry font: "Impact", black, with a silver shadow.
void PutEntryText(int x, int y, int size, const QString& text) {
  SetFontBold(false);
  SetTextStyle("Impact", size, kBlack);
  PutShadowText(x, y, text, 2, 2, kSilver);
}

void DrawWagonNumbersPage() {
  const int x = ScreenOffsetX();
  TitleBar("Ввод номеров вагонов", 21, kBlue);
  ShadeWorkArea();
  DisableAllKeys();
  EnableKey(1);
  EnableKey(7);
  EnableKey(13);
  DrawKeyPanel();
  StatusStrip();

  FillBox(x + 20, 532, x + 470, 613, kBlack);
  FillBox(x + 21, 533, x + 469, 612, kWhite);
  SetFontBold(false);
  SetTextStyle("Times New Roman", 12, kGrey);
  PutText(x + 40, 534, "Вагон, с которого снимаются пружины является");
  SetTextStyle("Arial", 12, kBlack);
  PutText(x + 40, 552, "ИСТОЧНИКОМ");
  SetTextStyle("Times New Roman", 12, kGrey);
  PutText(x + 40, 570, "Вагон, на который устанавливаются пружины является");
  SetTextStyle("Arial", 12, kBlack);
  PutText(x + 40, 588, "ПРИЕМНИКОМ");

  DrawKeyCaption("Ввод №", "источника", 1);
  DrawKeyCaption("Ввод №", "приемника", 7);
  DrawKeyCaption("", "Возврат", 13);
  RepaintScreen();
}

}  // namespace

void WagonNumbersPage() {
  {
    const PageGuard guard("vselect");
    KeyCode key;
    do {
      DrawWagonNumbersPage();
      do {
        LastKey() = PollKey();
      } while (LastKey() != 13 && LastKey() != 7 && LastKey() != 1);
      key = LastKey();
      if (key == 1) Database.ShiftState.WagonFrom = WagonNumberEntry().left(kWagonDigits);
      if (key == 7) Database.ShiftState.WagonTo = WagonNumberEntry().left(kWagonDigits);
      // Saved after every key, the return too. A file that can't be written
      // is named with the reason on standard error; the strip re-reads the
      // file and so shows the numbers the next measurement gets.
      if (!SaveShiftState())
        std::fprintf(stderr, "kalvor: %s\n", DatabaseError().toLocal8Bit().constData());
      StatusStrip();
    } while (key != 13);
  }
  StatusStrip();
  LastKey() = 0;
}

QString WagonNumberEntry() {
  QString entry;
  {
    const PageGuard guard("vpass");
    const int x = ScreenOffsetX();
    KeyCode key;
    do {
      // A fresh box and an empty entry, also after "Стереть".
      entry.clear();
      DrawPanelBox(x + 8, 438, x + 849, 603);
      PutEntryText(x + 20, 480, 46, "Введите № вагона: ");
      EnableAllKeys();
      EnableKey(12, false);
      DrawKeyPanel();
      DrawKeyCaption("", "Применить", 13);
      DrawKeyCaption("", "Стереть", 11);
      RepaintScreen();
      key = ReadDigitKeys(entry, kWagonDigits, {13, 11}, [&] {
        // Over the earlier text: the longer text covers it.
        PutEntryText(x + 20, 480, 46, "Введите № вагона:" + entry);
        RepaintScreen();
      });
    } while (key != 13);
  }
  LastKey() = 0;
  StatusStrip();
  return entry.isEmpty() ? kNoWagonNumber : entry;
}
