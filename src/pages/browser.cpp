// The database browser "Работа с базой данных замеров": the measurements of
// Report\base.bin (or of the date range while the record filter is on) as a
// list of their names, 14 to a page, the measurement sheet of the current
// one beside it, the number search and the date range.

#include <QImage>
#include <algorithm>
#include <cstdio>

#include "config/settings.h"
#include "database/database.h"
#include "measurement/judgement.h"
#include "pages/browser.h"
#include "pages/pages.h"
#include "pages/recordlist.h"
#include "print/printsheet.h"
#include "screen/pageguard.h"
#include "screen/screen.h"
#include "springs/springtypes.h"

TBrowserView Browser;

namespace {

constexpr int kSearchDigits = 7;

// --- Keys that belong to the print sheet and the statistics ------------------

// Key 9 "Новый" / "лист": the pending print sheet is printed now.
void BrowserKey9() { PrintPendingSheet(); }

// Key 10 "Печать" / "замера": the current record's report goes on the sheet.
void BrowserKey10(const MeasurementRecord& record) { AddMeasurementReport(record); }

// Key 11 "Выдача" / "статистики": the statistics of the listed positions.
void BrowserKey11(int count) { ShowPeriodStatistics(count); }

// --- Drawing ------------------------------------------------------------------

// Without a record to move to, search, print or count, only the date
// range, the pending sheet and the return act, and only they are lit.
void DrawBrowserKeys(bool records) {
  struct Caption {
    int key;
    const char* line1;
    const char* line2;
    bool needsRecord;
  };
  static const Caption kCaptions[] = {
      {1, "", "Вниз", true},           {2, "Страница", "вниз", true},
      {4, "Поиск", "", true},          {5, "Диап.", "дат", false},
      {7, "Вверх", "", true},          {8, "Страница", "вверх", true},
      {9, "Новый", "лист", false},     {10, "Печать", "замера", true},
      {11, "Выдача", "статистики", true}, {13, "Возврат", "", false}};
  DisableAllKeys();
  for (const Caption& c : kCaptions) EnableKey(c.key, records || !c.needsRecord);
  DrawKeyPanel();
  for (const Caption& c : kCaptions)
    if (records || !c.needsRecord) DrawKeyCaption(c.line1, c.line2, c.key);
}

// The count below the list and the black frame around it. While the list is
// a date range its count stands in a blue box, which stays for the visit.
void DrawBrowserListFrame(int count) {
  const int x = ScreenOffsetX();
  DrawListFrame(328);
  if (Database.RecordFilter.On) {
    FillBox(x + 95, 530, x + 330, 550, kBlue);
    FillBox(x + 96, 531, x + 329, 549, kWhite);
  }
  // A large database's count gets a smaller size rather than cross the box.
  const QString total = "Всего замеров: " + QString::number(count);
  int size = 16;
  do SetTextStyle("Arial", size--, kDarkGrey);
  while (TextWidth(total) > 226 && size >= 8);
  PutText(x + 100, 528, total);
}

void DrawWagonNumbers(const MeasurementRecord& record) {
  const int x = ScreenOffsetX();
  FillBox(x + 440, 379, x + 840, 450, kWhite);
  SetTextStyle("Times New Roman", 12, kBlack);
  PutShadowText(x + 450, 380, "Пружина снята с вагона № " + record.WagonFrom, 1, 1, kSilver);
  PutShadowText(x + 450, 398, "Пружина установлена на вагон № " + record.WagonTo, 1, 1, kSilver);
}

// The line below the list names the current record, or says why there is
// none.
void PutRecordLine(const QString& text) {
  SetTextStyle("Courier", 12, kBlack);
  PutWrappedText(ScreenOffsetX() + 70, 550, 370, 13, 3, text);
}

// --- Keys -----------------------------------------------------------------------

void Move(int to) {
  Browser.current = to;
  RedrawBrowser();
}

// Key 2: a page further, or to the last record when less than a page is left
// beyond it; nothing when the last record is within a page.
void PageDown() {
  const int last = Browser.count - 1;
  if (Browser.current + kBrowserLines < last) {
    int to = Browser.current + kBrowserLines;
    if (to + kBrowserLines >= last) to = last;
    Move(to);
  }
}

// Key 8: a page back, or to the first record when less than a page is left
// before it; nothing when the first record is within a page.
void PageUp() {
  if (Browser.current - kBrowserLines > 0) {
    int to = Browser.current - kBrowserLines;
    if (to - kBrowserLines <= 0) to = 0;
    Move(to);
  }
}

// Key 4: the operator types the 1-based position in the list shown and
// jumps there with key 12; a number beyond the list leaves the current one.
void NumberSearch() {
  HighlightBrowserRow(Browser.row, false);
  Browser.row = 0;
  {
    const PageGuard guard("base1");
    EnableAllKeys();
    DrawKeyPanel();
    ShadeWorkArea();
    DrawKeyCaption("Отмена", "", 11);
    DrawKeyCaption("Переход", "по номеру", 12);
    DrawKeyCaption("Удаление", "номера", 13);
    QString typed;
    ShowSearchNumber(typed);
    RepaintScreen();
    for (;;) {
      const KeyCode key = PollKey();
      if (key >= 1 && key <= 10) {
        if (typed.size() < kSearchDigits) {
          typed += QChar(key == 10 ? '0' : '0' + key);
          ShowSearchNumber(typed);
          RepaintScreen();
        }
      } else if (key == 13) {
        typed.clear();
        ShowSearchNumber(typed);
        RepaintScreen();
      } else if (key == 12) {
        if (!typed.isEmpty() && typed.toInt() <= Browser.count) Browser.current = typed.toInt() - 1;
        break;
      } else if (key == 11) {
        break;
      }
    }
  }
  Browser.current = std::max(Browser.current, 0);
  RedrawBrowser();
}

// Key 5: once per visit, the list becomes the records of a date range.
void DateRange() {
  if (Database.RecordFilter.On) return;
  if (!EnterDateRange()) return;
  Browser.count = MeasurementCount();
  Browser.current = Browser.count - 1;
  RedrawBrowser();
}

}  // namespace

int BrowserRow(int current) { return ListRow(current); }

void HighlightBrowserRow(int row, bool on) { HighlightListRow(row, on); }

void RedrawBrowser() {
  const int x = ScreenOffsetX();
  HighlightBrowserRow(Browser.row, false);
  Browser.row = 0;
  SetFontBold(false);
  FillBox(x + 100, 200, x + 320, 520, kWhite);
  FillBox(x + 62, 550, x + 440, 590, kWhite);
  FillBox(x + 452, 466, x + 829, 549, kWhite);
  FillBox(x + 444, 174, x + 1003, 387, kWhite);

  if (Browser.count <= 0) {
    // Nothing to list: no current record, no thumb. A database that could
    // not be counted says why.
    const QString error = DatabaseError();
    DrawBrowserListFrame(0);
    DrawListScrollBar(0, 0);
    PutRecordLine(error.isEmpty() ? QStringLiteral("Замеров в базе нет") : error);
    RepaintScreen();
    return;
  }

  const int first = (Browser.current / kBrowserLines) * kBrowserLines;
  SetTextStyle("Courier", 18, kBlack);
  MeasurementRecord listed;
  for (int line = 1; line <= kBrowserLines && first + line - 1 < Browser.count; ++line) {
    // An accelerated measurement is told apart in the list.
    if (ReadMeasurement(first + line - 1, listed))
      PutText(x + 120, line * 23 + 177,
              listed.Identifier + (RecordAccelerated(listed) ? QStringLiteral(" уск") : QString()));
  }

  MeasurementRecord record;
  if (ReadMeasurement(Browser.current, record)) {
    DrawMeasurementSheet(record);
    if (Settings.Global.VNenable) DrawWagonNumbers(record);
  } else {
    // The file changed under the page (cut short by another program): the
    // sheet stays empty and the line below the list says what failed.
    const QString error = DatabaseError();
    std::fprintf(stderr, "kalvor: %s\n", error.toLocal8Bit().constData());
    DrawBrowserListFrame(MeasurementCount());
    PutRecordLine(error.isEmpty() ? QStringLiteral("Замер не прочитан") : error);
  }
  DrawListScrollBar(Browser.count, Browser.current);

  Browser.row = BrowserRow(Browser.current);
  HighlightBrowserRow(Browser.row, true);
  RepaintScreen();
}

void DrawMeasurementSheet(const MeasurementRecord& record) {
  const int x = ScreenOffsetX();
  const BogieType* bogie = RecordBogieType(record);
  const SpringType* type = RecordSpringType(record);
  JudgeMeasurement(record);
  const TJudgement judgement = Judgement;
  SetFontBold(false);

  SetTextStyle("NewTimes", 14, kBlack);
  PutText(x + 460, 200, "N");
  PutText(x + 500, 190, "Наименование");
  PutText(x + 500, 210, "параметра");
  PutText(x + 712, 200, "Значение");
  PutText(x + 862, 190, "Заключение");
  PutText(x + 878, 210, "контроля ");

  const std::vector<int> rows = ListedParameters(record);
  const int n = static_cast<int>(rows.size());
  for (int r = 1; r <= n; ++r) {
    const int p = rows[r - 1];
    const int y = r * 22 + 226;
    SetTextStyle("NewTimes", 10, kDarkGrey);
    PutText(x + 462, y, QString::number(r));
    PutText(x + 494, y, type ? type->parameters[p].Name : QStringLiteral("Параметр %1").arg(p));
    // What the line did not measure is left blank.
    if (!ValueMeasured(record, p)) continue;
    const bool good = judgement.Verdicts[p];
    // A record that was not judged shows its values in black, without verdicts.
    SetFontColour(!judgement.Judged ? kBlack : good ? kGreen : kRed);
    if (record.Param[p].JudgeMode == 0)
      PutText(x + 730, y, QString::asprintf("%6.1f", static_cast<double>(record.Param[p].Value)));
    if (judgement.Judged)
      PutText(x + 894, y, good ? QStringLiteral("Норма") : QStringLiteral("БРАК"));
  }

  // The grid ends at its last line: the head's when no parameter is listed.
  const int bottom = n > 0 ? 268 + 22 * (n - 1) : 243;
  DrawLine(x + 450, 180, x + 1000, 180, kDarkGrey);
  DrawLine(x + 450, 243, x + 1000, 243, kDarkGrey);
  for (int k = 0; k < n; ++k) DrawLine(x + 450, 268 + 22 * k, x + 1000, 268 + 22 * k, kDarkGrey);
  for (int vx : {450, 486, 680, 830, 1000})
    DrawLine(x + vx, 180, x + vx, bottom, kDarkGrey);

  DrawBrowserListFrame(MeasurementCount());
  PutRecordLine("Замер №" + record.Identifier + "(" + (bogie ? bogie->Name : QStringLiteral("?")) +
                ")");

  const QString note = RecordKindNote(record);
  if (!note.isEmpty()) {
    SetTextStyle("NewTimes", 14, kNavy);
    PutText(x + 460, 544, note);
  }
  if (!judgement.Judged) {
    // The table holds no norms for this record's spring: neither verdict.
    SetTextStyle("Impact", 26, kNavy);
    PutText(x + 460, 464, "Замер не оценен");
  } else if (judgement.SpringGood) {
    SetTextStyle("Impact", 26, kGreen);
    PutText(x + 460, 464, "Параметры замера");
    PutText(x + 466, 500, "в пределах нормы");
  } else {
    SetTextStyle("Impact", 26, kRed);
    PutText(x + 460, 464, "Параметры замера не");
    PutText(x + 465, 500, "соответствуют норме");
  }
}

void BrowseMeasurements() {
  {
    const PageGuard guard("base");
    Browser = TBrowserView{};
    Browser.count = MeasurementCount();
    Browser.current = std::max(0, Browser.count - 1);
    DrawPageTitle(2);
    DrawBrowserKeys(Browser.count > 0);
    RedrawBrowser();
    for (;;) {
      const KeyCode key = PollKey();
      LastKey() = key;
      if (key == 13) break;
      if (key == 5) DateRange();
      if (key == 9) BrowserKey9();
      // The other keys need a current record.
      if (Browser.count <= 0) continue;
      switch (key) {
        case 1:
          if (Browser.current < Browser.count - 1) Move(Browser.current + 1);
          break;
        case 7:
          if (Browser.current >= 1) Move(Browser.current - 1);
          break;
        case 2:
          PageDown();
          break;
        case 8:
          PageUp();
          break;
        case 4:
          NumberSearch();
          break;
        case 10: {
          MeasurementRecord record;
          if (ReadMeasurement(Browser.current, record)) BrowserKey10(record);
          break;
        }
        case 11:
          BrowserKey11(Browser.count);
          HighlightBrowserRow(Browser.row, true);
          RepaintScreen();
          break;
        default:
          break;
      }
    }
  }
  Browser = TBrowserView{};
  LastKey() = 0;
}
