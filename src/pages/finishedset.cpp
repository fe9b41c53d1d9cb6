// The page "Сортировка пружин завершена": the assembled set of both side
// frames as it will be stored, before the operator saves it.

#include "database/database.h"
#include "database/records.h"
#include "pages/pages.h"
#include "screen/screen.h"
#include "sorting/springlists.h"

namespace {

const char* const kPositionLabels[kSetPositions] = {"3K", "5K", "1", "2", "4", "6", "7"};

// "Гр.№ 3(249.0)": the group and the upper free height of bogie type 1's
// group; a group outside 1..9 has no bound.
QString GroupCell(uint8_t group) {
  const QString bound =
      group >= 1 && group <= 9 ? QString::number(246 + group) + QStringLiteral(".0") : QString();
  return QStringLiteral("Гр.№ ") + QString::number(group) + "(" + bound + ")";
}

void DrawSideHeader(int x, int y, const QString& title) {
  PutText(x + 620, y, title);
  PutText(x + 620, y + 14, "№        Наружняя                Внутренняя");
  for (int k = 0; k < kSetPositions; ++k) PutText(x + 620, y + 33 + 14 * k, kPositionLabels[k]);
}

// The cells stand 120 px apart in 14 px rows: the installed face of
// "Courier" is wider than the one the page was laid out for, so they take the
// next smaller size, in navy, to stay apart and readable on the silver panel.
void DrawSideGroups(int x, int y, const SideFrameSet& side) {
  SetTextStyle("Courier", 11, kNavy);
  for (int i = 1; i <= kSetPositions; ++i) {
    PutText(x + 678, y + 14 * i, GroupCell(side.Outer[i]));
    PutText(x + 798, y + 14 * i, GroupCell(side.Inner[i]));
  }
}

}  // namespace

void DrawFinishedSet(const SetRecord& record) {
  const int x = ScreenOffsetX();
  DrawPanelBox(x + 590, 200, x + 1000, 508);
  SetFontBold(false);
  SetTextStyle("Impact", 12, kBlack);
  PutText(x + 620, 200, "Параметры тележки №");
  SetTextStyle("Impact", 12, kSilver);
  DrawSideHeader(x, 225, "Левая  боковина №");
  DrawSideHeader(x, 365, "Правая боковина №");

  SetFontBold(false);
  SetTextStyle("Courier", 12, kGrey);
  PutText(x + 780, 200, record.BogieNumber + "(" + record.BogieYear + ")" + record.BogieWorks);
  PutText(x + 760, 225, record.Left.Number + "(" + record.Left.Year + ")" + record.Left.Works);
  PutText(x + 760, 365, record.Right.Number + "(" + record.Right.Year + ")" + record.Right.Works);
  DrawSideGroups(x, 244, record.Left);
  DrawSideGroups(x, 384, record.Right);
}

void ShowSetSaved() {
  const int x = ScreenOffsetX();
  DrawPanelBox(x + 30, 530, x + 1000, 590);
  SetFontBold(false);
  SetTextStyle("Impact", 20, kGreen);
  PutShadowText(x + 40, 533, QStringLiteral("Комплект сохранен в архиве комплектов"), 1, 1, kSilver);
  SetTextStyle("Times New Roman", 12, kBlack);
  PutText(x + 40, 565, QStringLiteral("%1, комплектов в архиве: %2").arg(kTelFile).arg(SetCount()));
  DisableAllKeys();
  DrawKeyPanel();
  RepaintScreen();
  Pause(kSetSavedMs);
}

int FinishedSetPage(const SetRecord& record, const QString& notStored) {
  const int x = ScreenOffsetX();
  TitleBar("Сортировка пружин завершена", 21, kBlue);
  FillWorkArea();
  DrawPicture("prug2.bmp", x + 150, 190);
  DrawFinishedSet(record);
  if (!notStored.isEmpty()) {
    DrawPanelBox(x + 30, 530, x + 1000, 590);
    SetTextStyle("Times New Roman", 12, kRed);
    PutText(x + 40, 535, QStringLiteral("Комплект не сохранен:"));
    SetFontColour(kBlack);
    PutWrappedText(x + 40, 553, 950, 16, 2, notStored);
  }
  DisableAllKeys();
  for (int k : {1, 5, 11}) EnableKey(k);
  DrawKeyPanel();
  DrawKeyCaption("Повторить", "ввод", 1);
  DrawKeyCaption("Сохранить", "данные", 5);
  DrawKeyCaption("", "Возврат", 11);
  RepaintScreen();
  KeyCode key;
  do {
    key = PollKey();
    LastKey() = key;
  } while (key != 1 && key != 5 && key != 11);
  return key;
}
