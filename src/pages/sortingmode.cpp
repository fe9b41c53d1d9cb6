// The sorting mode of main-menu key 13: the bogie's data, then the springs of
// each side frame on the selection page, then the finished set, which the
// operator saves into the set archive Report\Tel.bin.

#include <cstdio>

#include "database/database.h"
#include "pages/pages.h"
#include "platform/clock.h"
#include "screen/pageguard.h"
#include "screen/screen.h"
#include "sorting/springlists.h"

namespace {

const QString kHint = QStringLiteral("Для нецифровых значений параметра введите 00");
// A works number that is not digits is entered as "00" and kept as this.
const QString kNoWorksNumber = QStringLiteral("____");

enum class Kind { Number, Year, Works };  // a works number takes "00" for none

struct Question {
  const char* prompt;
  int y;
  int maximum;
  Kind kind;
  QString SetRecord::*bogie;
  QString SideFrameSet::*side;
  bool right;
};

const Question kQuestions[] = {
    {"Введите номер тележки", 90, 12, Kind::Number, &SetRecord::BogieNumber, nullptr, false},
    {"Введите год выпуска тележки", 100, 4, Kind::Year, &SetRecord::BogieYear, nullptr, false},
    {"Введите завод изготовитель тележки", 110, 4, Kind::Works, &SetRecord::BogieWorks, nullptr,
     false},
    {"Введите номер левой боковины", 200, 11, Kind::Number, nullptr, &SideFrameSet::Number, false},
    {"Введите год выпуска левой боковины", 210, 4, Kind::Year, nullptr, &SideFrameSet::Year, false},
    {"Введите завод изгот. левой боковины", 220, 4, Kind::Works, nullptr, &SideFrameSet::Works,
     false},
    {"Введите номер правой боковины", 270, 11, Kind::Number, nullptr, &SideFrameSet::Number, true},
    {"Введите год выпуска правой боковины", 280, 4, Kind::Year, nullptr, &SideFrameSet::Year, true},
    {"Введите завод изгот. правой боковины", 290, 4, Kind::Works, nullptr, &SideFrameSet::Works,
     true},
};

// The first year a bogie or side frame of the line's wagons was made in.
constexpr int kFirstYear = 1950;

// A year of manufacture: four digits from kFirstYear to this year.
bool YearAccepted(const QString& typed, QString& error) {
  const int thisYear = plat::CurrentDateTime().date().year();
  const int year = typed.toInt();
  if (typed.size() == 4 && year >= kFirstYear && year <= thisYear) return true;
  error = QStringLiteral("Допустим год от %1 до %2").arg(kFirstYear).arg(thisYear);
  return false;
}

QString& Field(SetRecord& record, const Question& q) {
  if (q.bogie) return record.*q.bogie;
  return (q.right ? record.Right : record.Left).*q.side;
}

// The box "Данные по тележке" with the values entered so far.
void DrawBogieData(const SetRecord& r) {
  const int x = ScreenOffsetX();
  DrawPanelBox(x + 480, 130, x + 1000, 345);
  SetFontBold(false);
  SetTextStyle("Impact", 20, kBlue);
  PutShadowText(x + 500, 135, "Данные по тележке", 1, 1, kSilver);
  const QString yearWorks = QStringLiteral("Год выпуска:                     Завод №");
  SetTextStyle("Time News Roman", 14, kBlue);
  const int yearX = x + 500 + TextWidth(QStringLiteral("Год выпуска: "));
  const int worksX = x + 506 + TextWidth(yearWorks);
  struct Row {
    const char* label;
    int y;
    const QString& number;
    const QString& year;
    const QString& works;
  };
  const Row rows[] = {{"Тележка №", 180, r.BogieNumber, r.BogieYear, r.BogieWorks},
                      {"Левая  боковина № ", 240, r.Left.Number, r.Left.Year, r.Left.Works},
                      {"Правая боковина № ", 300, r.Right.Number, r.Right.Year, r.Right.Works}};
  for (const Row& row : rows) {
    SetFontColour(kBlue);
    PutText(x + 500, row.y, row.label);
    PutText(x + 500, row.y + 20, yearWorks);
    const int numberX = x + 506 + TextWidth(QString::fromUtf8(row.label));
    SetFontColour(kNavy);
    PutText(numberX, row.y, row.number);
    PutText(yearX, row.y + 20, row.year);
    PutText(worksX, row.y + 20, row.works);
  }
  RepaintScreen();
}

void DrawModePage(const SetRecord& record) {
  TitleBar("Режим сортировки пружин", 21, kBlue);
  FillWorkArea();
  DrawBogieData(record);
}

// The nine values, one question after the other; a cancel goes back one
// question. False when the first question is cancelled.
bool EnterBogieData(SetRecord& record) {
  constexpr int kCount = sizeof(kQuestions) / sizeof(kQuestions[0]);
  int q = 0;
  while (q < kCount) {
    const Question& question = kQuestions[q];
    const bool works = question.kind == Kind::Works;
    const QString typed =
        EnterDigits(QString::fromUtf8(question.prompt), question.y, question.maximum,
                    works ? kHint : QString(), question.kind == Kind::Year ? YearAccepted : nullptr);
    if (typed.isEmpty()) {
      if (q == 0) return false;
      --q;
      Field(record, kQuestions[q]).clear();
    } else {
      Field(record, question) = works && typed == "00" ? kNoWorksNumber : typed;
      ++q;
    }
    DrawBogieData(record);
  }
  return true;
}

// Key 10 goes on, key 7 leaves the mode, key 1 enters the data again.
KeyCode ConfirmBogieData() {
  DisableAllKeys();
  for (int k : {1, 7, 10}) EnableKey(k);
  DrawKeyPanel();
  DrawKeyCaption("Повторить", "ввод", 1);
  DrawKeyCaption("Отменить", "подбор", 7);
  DrawKeyCaption("", "Продолжить", 10);
  RepaintScreen();
  KeyCode key;
  do {
    key = PollKey();
    LastKey() = key;
  } while (key != 1 && key != 7 && key != 10);
  return key;
}

}  // namespace

void TakeProposedSet(SideFrameSet& side) {
  const TAvailableSprings& s = AvailableSprings;
  for (int k = 1; k <= kSetPositions; ++k) {
    side.Outer[k] = s.SetFound ? s.OuterGroups[s.OuterStart + k - 1] : 0;
    side.Inner[k] = s.SetFound ? s.InnerGroups[s.InnerStart + k - 1] : 0;
  }
}

void SortingMode() {
  {
    const PageGuard guard("119");
    for (;;) {
      SetRecord record;
      DrawModePage(record);
      if (!EnterBogieData(record)) break;
      const KeyCode choice = ConfirmBogieData();
      if (choice == 7) break;
      if (choice == 1) continue;

      // The set of each side frame is the one the operator saw proposed and
      // accepted, wherever it starts in the lists.
      if (!SelectionPage("    в левую боковину", record)) break;
      TakeProposedSet(record.Left);
      if (!SelectionPage("   в правую боковину", record)) break;
      TakeProposedSet(record.Right);

      int key;
      QString notStored;
      for (;;) {
        key = FinishedSetPage(record, notStored);
        if (key != 5) break;
        record.Date = MakeSetDate();
        record.WagonFrom = Database.ShiftState.WagonFrom;
        record.WagonTo = Database.ShiftState.WagonTo;
        if (AppendSet(record)) {
          ShowSetSaved();
          break;
        }
        // Not stored: the page stays with the reason, so the operator can
        // try again or leave.
        notStored = DatabaseError();
        std::fprintf(stderr, "kalvor: %s\n", notStored.toLocal8Bit().constData());
      }
      if (key != 1) break;
    }
  }
  LastKey() = 0;
}
