// The set archive "Работа с базой комплектов": the spring sets that the
// sorting mode stored in Report\Tel.bin, listed by their bogie numbers, 14 to
// a page, the selected set in full on the right, and printing it on the
// print sheet.

#include <cstdio>

#include "config/settings.h"
#include "database/database.h"
#include "pages/pages.h"
#include "pages/recordlist.h"
#include "pages/setarchive.h"
#include "print/printsheet.h"
#include "screen/pageguard.h"
#include "screen/screen.h"

TSetArchiveView SetArchive;

namespace {

// The position labels of one side frame, eight characters each, in the
// order of the record's group numbers.
const char* const kPositionLabels[7] = {"3K      ", "5K      ", "1       ", "2       ",
                                        "4       ", "6       ", "7       "};
const QString kColumnHeads = QStringLiteral("№        Наружняя                Внутренняя");

// An empty archive lights only the keys that work without a set.
void DrawSetArchiveKeys(bool empty) {
  DisableAllKeys();
  for (int key : {1, 2, 7, 8, 9, 10, 13})
    if (!empty || key == 9 || key == 13) EnableKey(key);
  DrawKeyPanel();
  DrawKeyCaption("", "Вниз", 1);
  DrawKeyCaption("Страница", "вниз", 2);
  DrawKeyCaption("Вверх", "", 7);
  DrawKeyCaption("Страница", "вверх", 8);
  DrawKeyCaption("Новый", "лист", 9);
  DrawKeyCaption("Печать", "подбора", 10);
  DrawKeyCaption("Возврат", "", 13);
}

void DrawSetArchivePage() {
  const int x = ScreenOffsetX();
  FillScreen(kGrey);
  DrawPanelBox(x + 5, 8, x + 796, 100);
  DrawPanelBox(x + 10, 130, x + 1010, 590);
  SetFontBold(false);
  SetTextStyle("Impact", 40, kBlue);
  PutText(x + 92, 18, "Работа с базой комплектов");
  SetFontColour(kSilver);
  PutText(x + 90, 16, "Работа с базой комплектов");
  DrawPicture("dorlen.bmp", x + 810, 470);
}

// The seven positions of one side frame under their column heads.
void DrawSideFrame(const SideFrameSet& side, int y) {
  const int x = ScreenOffsetX();
  SetTextStyle("Impact", 12, kSilver);
  PutText(x + 620, y + 14, kColumnHeads);
  SetTextStyle("Courier", 12, kSilver);
  for (int k = 1; k <= 7; ++k)
    PutText(x + 620, y + 19 + 14 * k,
            QString::fromLatin1(kPositionLabels[k - 1]) + QString::number(side.Outer[k]) +
                QString(12, ' ') + QString::number(side.Inner[k]));
}

// The wagon lines below the details, with VNenable.
void DrawSetWagonNumbers(const SetRecord& record) {
  const int x = ScreenOffsetX();
  FillBox(x + 440, 509, x + 770, 560, kWhite);
  SetTextStyle("Times New Roman", 12, kBlack);
  PutShadowText(x + 450, 510, "Пружина снята с вагона № " + record.WagonFrom, 1, 1, kSilver);
  PutShadowText(x + 450, 528, "Пружина установлена на вагон № " + record.WagonTo, 1, 1,
                kSilver);
}

// In place of the details: why there is no selected set.
void PutNoSetLine(const QString& text) {
  SetTextStyle("Impact", 12, kBlack);
  PutText(ScreenOffsetX() + 460, 160, text);
}

void MoveTo(int to) {
  UnhighlightRow(SetArchive.row);
  SetArchive.cursor = to;
  SetArchive.page = to / kListLines;
  SetArchive.row = ListRow(to);
  DrawSetList();
  HighlightRow(SetArchive.row);
  RepaintScreen();
}

// Key 2: a page further; from within two pages of the last set, the last.
int PageDownTarget(int cursor, int count) {
  int to = cursor;
  if (cursor + kListLines < count - 1) to = cursor + kListLines;
  if (cursor + 2 * kListLines >= count - 1) to = count - 1;
  return to;
}

// Key 8: a page back; from within two pages of the first set, the first.
int PageUpTarget(int cursor) {
  int to = cursor;
  if (cursor >= kListLines + 1) to = cursor - kListLines;
  if (cursor < 2 * kListLines + 1) to = 0;
  return to;
}

}  // namespace

void HighlightRow(int row) { HighlightListRow(row, true); }

void UnhighlightRow(int row) { HighlightListRow(row, false); }

void DrawSetDetails(const SetRecord& record) {
  SetArchive.selected = record;
  SetArchive.selectedValid = true;
  const int x = ScreenOffsetX();
  SetFontBold(false);
  SetTextStyle("Impact", 12, kBlack);
  PutText(x + 620, 160,
          "Параметры тележки №" + record.BogieNumber + " (" + record.BogieYear + ") " +
              record.BogieWorks);
  SetTextStyle("Impact", 12, kSilver);
  PutText(x + 620, 185,
          "Левая  боковина №" + record.Left.Number + " (" + record.Left.Year + ") " +
              record.Left.Works);
  DrawSideFrame(record.Left, 185);
  SetTextStyle("Impact", 12, kSilver);
  PutText(x + 620, 325,
          "Правая боковина № " + record.Right.Number + " (" + record.Right.Year + ") " +
              record.Right.Works);
  DrawSideFrame(record.Right, 325);
}

void DrawSetList() {
  const int x = ScreenOffsetX();
  const int count = SetArchive.count;
  SetFontBold(false);
  FillBox(x + 100, 200, x + 320, 520, kWhite);
  FillBox(x + 444, 154, x + 1003, 466, kWhite);
  SetArchive.selectedValid = false;

  // Only positions below the count are read, and the count holds whole
  // records only, so nothing is read past the end of the file; a set that
  // still cannot be read (the file cut short meanwhile) is left out.
  SetTextStyle("Courier", 18, kBlack);
  const int first = SetArchive.page * kListLines;
  SetRecord listed;
  for (int q = 1; q <= kListLines && first + q - 1 < count; ++q)
    if (ReadSet(first + q - 1, listed)) PutText(x + 120, 23 * q + 177, listed.BogieNumber);

  SetRecord record;
  bool shown = false;
  if (!SetArchive.error.isEmpty()) {
    // Not the same as an empty archive: the sets may be there.
    SetTextStyle("Impact", 12, kRed);
    PutText(x + 460, 160, QStringLiteral("Архив комплектов не прочитан:"));
    SetTextStyle("Arial", 11, kBlack);
    const QStringList lines = WrapText(SetArchive.error, 530);
    for (int i = 0; i < lines.size() && i < 12; ++i) PutText(x + 460, 186 + 18 * i, lines[i]);
  } else if (count <= 0) {
    PutNoSetLine(QStringLiteral("Комплектов в базе нет"));
  } else if (ReadSet(SetArchive.cursor, record)) {
    DrawSetDetails(record);
    shown = true;
  } else {
    const QString error = DatabaseError();
    std::fprintf(stderr, "kalvor: %s\n", error.toLocal8Bit().constData());
    PutNoSetLine(error.isEmpty() ? QStringLiteral("Комплект не прочитан") : error);
  }

  DrawListFrame(348);
  SetTextStyle("Arial", 16, kDarkGrey);
  PutText(x + 100, 528,
          "Всего комплектов: " +
              (SetArchive.error.isEmpty() ? QString::number(count) : QStringLiteral("?")));
  DrawListScrollBar(count, SetArchive.cursor);

  if (Settings.Global.VNenable) {
    if (shown)
      DrawSetWagonNumbers(record);
    else
      FillBox(x + 440, 509, x + 770, 560, kWhite);
  }
}

void SetArchivePage() {
  {
    const PageGuard guard("tbase");
    const SetRecord lastShown = SetArchive.selected;
    SetArchive = TSetArchiveView{};
    SetArchive.selected = lastShown;
    SetArchive.count = SetCount();
    if (const QString countError = DatabaseError();
        !countError.isEmpty() || !SetArchiveReadable()) {
      SetArchive.error = countError.isEmpty() ? DatabaseError() : countError;
      SetArchive.count = 0;
      std::fprintf(stderr, "kalvor: %s\n", SetArchive.error.toLocal8Bit().constData());
    }
    SetArchive.cursor = SetArchive.count > 0 ? SetArchive.count - 1 : 0;
    SetArchive.page = SetArchive.cursor / kListLines;
    // An empty archive has no row to mark.
    SetArchive.row = SetArchive.count > 0 ? ListRow(SetArchive.cursor) : 0;

    DrawSetArchivePage();
    DrawSetArchiveKeys(SetArchive.count == 0);
    DrawSetList();
    HighlightRow(SetArchive.row);
    RepaintScreen();

    for (;;) {
      const KeyCode key = PollKey();
      LastKey() = key;
      if (key == 13) break;
      if (key == 9) PrintPendingSheet();
      // The other keys need a set.
      if (SetArchive.count <= 0) continue;
      const int cursor = SetArchive.cursor;
      switch (key) {
        case 1:
          if (cursor < SetArchive.count - 1) MoveTo(cursor + 1);
          break;
        case 7:
          if (cursor >= 1) MoveTo(cursor - 1);
          break;
        case 2:
          if (PageDownTarget(cursor, SetArchive.count) != cursor)
            MoveTo(PageDownTarget(cursor, SetArchive.count));
          break;
        case 8:
          if (PageUpTarget(cursor) != cursor) MoveTo(PageUpTarget(cursor));
          break;
        case 10:
          if (SetArchive.selectedValid) AddSetReport(SetArchive.selected);
          break;
        default:
          break;
      }
    }
  }
  // The last set shown stays; the rest of the page is gone.
  const SetRecord lastShown = SetArchive.selected;
  SetArchive = TSetArchiveView{};
  SetArchive.selected = lastShown;
  LastKey() = 0;
}
