// The statistics page "Выдача статистики": over the measurements of the
// shift (measurement page key 11) or over those the database browser lists
// (its key 11), how many springs were within the norm as a whole and per
// parameter. The counting is the measurement module's; this page shows its
// progress bar, the table of counts and the totals, and offers the report.

#include <cstdio>

#include "measurement/judgement.h"
#include "measurement/statistics.h"
#include "pages/pages.h"
#include "print/printsheet.h"
#include "screen/pageguard.h"
#include "screen/screen.h"
#include "springs/springtypes.h"

namespace {

// The bar runs from x 42 to 737 inside its frame.
constexpr int kBarLeft = 42;
constexpr int kBarRight = 737;

// Right end (exclusive) of the bar before record i of n. A single record
// has no span to divide: its bar is simply full.
int BarEnd(int i, int n) {
  if (n <= 1) return kBarRight;
  return static_cast<int>(static_cast<double>(i) * 694 / (n - 1) + kBarLeft) + 1;
}

// The parameter names of the table: those of the last record's spring type.
// With nothing counted there is no last record; the table then names the
// parameters of the first spring type of the bogie type in use, so that its
// zeros read as counts of something.
const SpringType* NamingType(const StatisticsCounts& counts) {
  if (counts.HaveLast) return RecordSpringType(counts.Last);
  const BogieType& bogie = CurrentBogie();
  return bogie.MaxSprings >= 1 ? &bogie.springTypes[1] : nullptr;
}

void DrawProgressArea() {
  const int off = ScreenOffsetX();
  FillBox(off + 11, 516, off + 768, 608, kWhite);
  SetFontBold(false);
  SetTextStyle("Impact", 14, kBlue);
  PutText(off + 42, 518, "Идет обработка");
  FillBox(off + 40, 546, off + 739, 606, kBlack);
  FillBox(off + 41, 547, off + 738, 605, kWhite);
}

void DrawResults(const StatisticsCounts& counts) {
  const int off = ScreenOffsetX();
  const SpringType* type = NamingType(counts);
  SetFontBold(false);
  SetTextStyle("Times New Roman", 18, kBlack);
  for (int p = 1; p <= 6; ++p) {
    const int y = 32 * p + 236;
    PutShadowText(off + 882, y, QString::number(counts.InNorm[p]), 1, 1, kSilver);
    if (type) PutShadowText(off + 451, y, type->parameters[p].Name, 1, 1, kSilver);
  }
  SetTextStyle("Times New Roman", 14, kBlack);
  PutText(off + 40, 460, "Всего замеров:" + QString::number(counts.N));
  PutText(off + 40, 476, "Замеров в норме:" + QString::number(counts.Good));
}

// A file of the statistics could not be read or written: the progress area
// says so (also on standard error) and the page offers only its way out.
void ShowStatisticsFailure(const QString& reason) {
  std::fprintf(stderr, "kalvor: статистика не выдана: %s\n", reason.toLocal8Bit().constData());
  const int off = ScreenOffsetX();
  FillBox(off + 11, 516, off + 768, 608, kWhite);
  SetFontBold(false);
  SetTextStyle("Impact", 14, kRed);
  PutText(off + 42, 518, "Статистика не выдана:");
  SetTextStyle("Times New Roman", 12, kBlack);
  PutWrappedText(off + 42, 550, 720, 16, 3, reason);
}

// Key 7: the statistics report of the variant onto the print sheet, from
// the counts file this page has just written.
void StatisticsPrintKey(StatisticsVariant variant) {
  AddStatisticsReport(variant == StatisticsVariant::Shift ? StatisticsKind::Shift
                                                          : StatisticsKind::Period);
}

void RunStatisticsPage(StatisticsVariant variant, int count) {
  const bool shift = variant == StatisticsVariant::Shift;
  const PageGuard guard(shift ? "dsbase" : "sbase");
  const int off = ScreenOffsetX();
  DrawPageTitle(3);
  DrawPicture("nopage.bmp", off + 120, 220);
  DrawPicture("perror.bmp", off + 72, 340);
  DisableAllKeys();
  DrawKeyPanel();
  DrawProgressArea();
  DrawStatisticsHeader();
  RepaintScreen();

  // The bar is drawn before every tenth record; it waits for the screen only
  // when its end has moved, which for a few thousand records is every time
  // and keeps a database of a million records from waiting on a bar that
  // stands still.
  int drawnEnd = 0;
  const StatisticsProgress progress = [&](int i, int n) {
    const int end = BarEnd(i, n);
    if (end == drawnEnd) return;
    drawnEnd = end;
    FillBox(off + kBarLeft, 548, off + end, 604, kBlue);
    RepaintScreen();
    Pause(10);
  };
  StatisticsCounts counts;
  QString error;
  bool ok = shift ? CountShiftStatistics(counts, progress, error)
                  : CountPeriodStatistics(count, counts, progress, error);
  if (ok) {
    FillBox(off + kBarLeft, 548, off + kBarRight, 604, kBlue);
    ok = WriteStatText(counts, error);
  }
  DisableAllKeys();
  if (ok) {
    DrawResults(counts);
    RepaintScreen();
    Pause(1500);
    EnableKey(12);
    EnableKey(7);
    DrawKeyPanel();
    DrawKeyCaption("Продолжить", "", 12);
    DrawKeyCaption("Печать", shift ? "Статистики" : "статистики", 7);
    FillBox(off + 11, 516, off + 768, 608, kGrey);
  } else {
    ShowStatisticsFailure(error);
    EnableKey(12);
    DrawKeyPanel();
    DrawKeyCaption("Продолжить", "", 12);
  }
  RepaintScreen();
  for (;;) {
    const KeyCode key = PollKey();
    if (key == 12) break;
    if (key == 7) StatisticsPrintKey(variant);
  }
  LastKey() = 0;
}

}  // namespace

void DrawStatisticsHeader() {
  const int off = ScreenOffsetX();
  SetFontBold(false);
  SetTextStyle("NewTimes", 16, kBlack);
  PutText(off + 450, 210, "Наименование");
  PutText(off + 450, 230, "параметра");
  PutText(off + 870, 200, "Число");
  PutText(off + 860, 220, "замеров");
  PutText(off + 855, 240, "\"в норме\"");
}

void ShowShiftStatistics() {
  RunStatisticsPage(StatisticsVariant::Shift, 0);
}

void ShowPeriodStatistics(int count) {
  RunStatisticsPage(StatisticsVariant::Period, count);
}
