// The selection page "Подбор пружин": the operator tells the line which
// springs of one side frame are at hand, by kind and height group, and sees
// the set the line proposes from them. The assembly form fills the lists
// with ready-made sets while this page is open.

#include <optional>

#include "config/settings.h"
#include "database/records.h"
#include "pages/pages.h"
#include "screen/pageguard.h"
#include "screen/screen.h"
#include "sorting/springlists.h"
#include "springs/springtypes.h"

namespace {

const char* const kPositionLabels[kSetPositions] = {"3К", "5К", "1", "2", "4", "6", "7"};

// The groups of bogie types 1 and 2 in millimetres of free height.
QString LegendLine(int bogieType, int i) {
  const int lower = (bogieType == 1 ? 246 : 257) + i;
  return QStringLiteral("Группа %1:  от %2.0 до %3.0").arg(i + 1).arg(lower).arg(lower + 1);
}

void DrawTitle(const QString& subtitle, QRgb colour) {
  const int x = ScreenOffsetX();
  if (colour == kBlue) DrawPanelBox(x + 5, 8, x + 796, 100);
  SetFontBold(false);
  SetTextStyle("Impact", 30, colour);
  PutShadowText(x + 230, 8, "Подбор пружин", 2, 2, kSilver);
  PutShadowText(x + 170, 42, subtitle, 2, 2, kSilver);
}

void DrawPageKeys() {
  DisableAllKeys();
  for (int k : {3, 4, 5, 11, 12}) EnableKey(k);
  DrawKeyPanel();
  DrawKeyCaption("Пружина", "из зап.", 3);
  DrawKeyCaption("Группа", "пружин", 4);
  DrawKeyCaption("Новый", "компл.", 5);
  DrawKeyCaption("", "Возврат", 11);
  DrawKeyCaption("Продолжить", "", 12);  // above "Возврат" of the key beside it
}

// A question box over the left half of the page; the box keeps the page
// and the keys it covers and puts them back when the answer is given.
class QuestionBox {
 public:
  QuestionBox(const QString& name, const QString& question) : guard_(name) {
    const int x = ScreenOffsetX();
    DrawPanelBox(x + 30, 420, x + 500, 505);
    SetFontBold(false);
    SetTextStyle("Impact", 26, kBlack);
    PutShadowText(x + 50, 440, question, 2, 2, kSilver);
    DisableAllKeys();
  }
  ~QuestionBox() { LastKey() = 0; }
  void ShowValue(const QString& text) {
    const int x = ScreenOffsetX();
    FillBox(x + 330, 436, x + 495, 480, kWhite);
    SetTextStyle("Impact", 26, kNavy);
    PutShadowText(x + 340, 440, text, 2, 2, kSilver);
    RepaintScreen();
  }
  // Waits for one of the enabled keys.
  static KeyCode WaitKey() {
    KeyCode key;
    do {
      key = PollKey();
      LastKey() = key;
    } while (key == 0);
    return key;
  }

 private:
  PageGuard guard_;
};

// Key 13 cancels the type and the group questions.
constexpr int kCancelKey = 13;

void EnableCancel() {
  EnableKey(kCancelKey);
  DrawKeyPanel();
  DrawKeyCaption("", "Отмена", kCancelKey);
}

// The kind of spring, or none after "Отмена".
std::optional<SpringKind> AskKind() {
  QuestionBox box("ptype", "Введите тип пружины");
  EnableKey(3);
  EnableKey(5);
  EnableCancel();
  DrawKeyCaption("Внутренняя", "пружина", 3);
  DrawKeyCaption("Наружняя", "пружина", 5);
  RepaintScreen();
  const KeyCode key = QuestionBox::WaitKey();
  if (key == kCancelKey) return std::nullopt;
  return key == 3 ? SpringKind::Inner : SpringKind::Outer;
}

// The group 1..9, or none after "Отмена".
std::optional<int> AskGroup() {
  QuestionBox box("pgroup", "Введите группу пружины");
  for (int k = 1; k <= 9; ++k) EnableKey(k);
  EnableCancel();
  RepaintScreen();
  const KeyCode key = QuestionBox::WaitKey();
  if (key == kCancelKey) return std::nullopt;
  return key;
}

// The number of springs of one group: 1 to 31, 0 after "Отмена".
int AskNumber() {
  QuestionBox box("pcount", "Количество пружин:");
  for (int k : {3, 5, 11, 12}) EnableKey(k);
  DrawKeyPanel();
  DrawKeyCaption("    +1", "пружина", 3);
  DrawKeyCaption("   -1", "пружина", 5);
  DrawKeyCaption("", "Применить", 11);
  DrawKeyCaption("", "Отмена", 12);
  int n = 1;
  box.ShowValue(QString::number(n));
  for (;;) {
    const KeyCode key = QuestionBox::WaitKey();
    if (key == 3 && n <= 30) ++n;
    if (key == 5 && n > 1) --n;
    if (key == 12) return 0;
    if (key == 11) return n;
    box.ShowValue(QString::number(n));
  }
}

bool AskNewSet() {
  QuestionBox box("pnew", "Начать подбор нового комплекта?");
  EnableKey(1);
  EnableKey(12);
  DrawKeyPanel();
  DrawKeyCaption("", "Да", 1);
  DrawKeyCaption("", "Нет", 12);
  RepaintScreen();
  return QuestionBox::WaitKey() == 1;
}

void Refresh() {
  SortSpringLists();
  CountSpringGroups();
  DrawSelectionStatus();
  DrawSpringCount();
  RepaintScreen();
}

}  // namespace

void DrawSelectionPage(const QString& subtitle, const SetRecord& record) {
  const int x = ScreenOffsetX();
  DrawPageKeys();
  ResetAvailableSprings();
  FillWorkArea();

  SetFontBold(false);
  const int bogieType = CurrentBogieType();
  if (bogieType == 1 || bogieType == 2) {
    SetTextStyle("Impact", 12, kDarkGrey);
    for (int i = 0; i <= 8; ++i) PutText(x + 35, 275 + 22 * i, LegendLine(bogieType, i));
  }
  SetTextStyle("Impact", 32, kBlack);
  PutText(x + 50, 534, "KALVOR-М");
  SetFontColour(kRed);
  PutText(x + 49, 533, "KALVOR-М");

  TitleBar("", 0, kBlue);
  DrawPanelBox(x + 290, 120, x + 500, 399);
  DrawPicture("dorlen.bmp", x + 310, 185);
  FillBox(x + 291, 121, x + 499, 154, kBlue);
  SetFontBold(false);
  SetTextStyle("Time News Roman", 12, kWhite);
  PutText(x + 315, 121, "Схема расположения");
  PutText(x + 325, 133, "пружин в комплекте");
  SetFontColour(kGrey);
  PutText(x + 303, 338, "Пружины 3К и 5К предна-");
  PutText(x + 303, 354, "значены  для  установки");
  PutText(x + 303, 370, "под  фрикционные клинья.");

  DrawPanelBox(x + 18, 120, x + 270, 240);
  SetTextStyle("Time News Roman", 12, kBlue);
  PutText(x + 24, 130, "Тележка №             ");
  PutText(x + 24, 146, "Год выпуска           Зав.№  ");
  PutText(x + 24, 162, "Лев. боковина №     ");
  PutText(x + 24, 178, "Год выпуска            Зав.№  ");
  PutText(x + 24, 194, "Прав.боковина №      ");
  PutText(x + 24, 210, "Год выпуска           Зав.№  ");
  SetFontColour(kNavy);
  PutText(x + 120, 130, record.BogieNumber);
  PutText(x + 120, 146, record.BogieYear);
  PutText(x + 215, 146, record.BogieWorks);
  PutText(x + 155, 162, record.Left.Number);
  PutText(x + 120, 178, record.Left.Year);
  PutText(x + 215, 178, record.Left.Works);
  PutText(x + 155, 194, record.Right.Number);
  PutText(x + 120, 210, record.Right.Year);
  PutText(x + 215, 210, record.Right.Works);

  DrawSpringCount();

  DrawPanelBox(x + 520, 120, x + 1008, 590);
  SetTextStyle("Time News Roman", 16, kBlack);
  PutText(x + 530, 164, "№         Внутреняя        Наружняя");
  for (int k = 0; k < kSetPositions; ++k) PutText(x + 530, 183 + 19 * k, kPositionLabels[k]);
  PutText(x + 530, 350, "Введено для обработки");
  for (int g = 9; g >= 1; --g) PutText(x + 530, 369 + 19 * (9 - g), QString::number(g));

  DrawSelectionStatus();

  FillBox(x + 521, 121, x + 1007, 148, kBlue);
  SetTextStyle("Time News Roman", 16, kWhite);
  PutText(x + 555, 122, "Результат подбора рессорного комплекта");

  DrawPageKeys();
  DrawTitle(subtitle, kBlue);
  RepaintScreen();
}

void DrawSelectionStatus() {
  const int x = ScreenOffsetX();
  CountSpringGroups();
  const TAvailableSprings& s = AvailableSprings;
  FillBox(x + 550, 372, x + 1005, 550, kWhite);
  SetFontBold(false);
  for (int g = 1; g <= 9; ++g) {
    const int y = 541 - 19 * g;
    SetTextStyle("Times New Roman", 16, s.InnerPerGroup[g] ? kBlue : kDarkGrey);
    PutText(x + 650, y, QString::number(s.InnerPerGroup[g]));
    SetFontColour(s.OuterPerGroup[g] ? kBlue : kDarkGrey);
    PutText(x + 800, y, QString::number(s.OuterPerGroup[g]));
  }
  FillBox(x + 560, 186, x + 1005, 350, kWhite);
  SelectSet();
  SetTextStyle("Times New Roman", 14, kBlack);
  for (int k = 1; k <= kSetPositions; ++k) {
    PutText(x + 640, 166 + 19 * k, s.ProposedInner[k]);
    PutText(x + 790, 166 + 19 * k, s.ProposedOuter[k]);
  }
}

void DrawSpringCount() {
  const int x = ScreenOffsetX();
  DrawPanelBox(x + 290, 529, x + 490, 590);
  SetFontBold(false);
  SetTextStyle("Times New Roman", 12, kBlack);
  PutText(x + 349, 531, "Замеров для");
  PutText(x + 362, 547, "подбора");
  const int n = SpringCount(SpringKind::Outer) + SpringCount(SpringKind::Inner);
  PutText(x + 373, 563,
          "  " + (n == 0 ? QStringLiteral("---") : QString("%1").arg(n, 3, 10, QChar('0'))));
}

bool AddReadySetToSelection(const std::array<uint8_t, 7>& groups) {
  // The assembly form stays on the desktop after the page has closed; its
  // buttons act only while the selection page is open.
  if (!ScreenState.assemblyFormFlag) return false;
  AppendReadySet(groups);
  DrawSelectionStatus();
  DrawSpringCount();
  RepaintScreen();
  return true;
}

bool SelectionPage(const QString& subtitle, const SetRecord& record) {
  bool accepted = false;
  {
    const PageGuard guard("39", "pod");
    DrawSelectionPage(subtitle, record);
    ScreenState.assemblyFormFlag = true;
    int polls = 0;
    int redraws = 0;
    for (;;) {
      const KeyCode key = PollKey();
      LastKey() = key;
      // The title blinks: redrawn every eighth poll, blue twice, navy twice.
      if (++polls % 8 == 0) {
        ++redraws;
        DrawTitle(subtitle, (redraws / 2) % 2 ? kNavy : kBlue);
        RepaintScreen();
      }
      if (key == 11) break;
      if (key == 12 && AvailableSprings.SetFound) {
        accepted = true;
        break;
      }
      if (key == 3 || key == 4) {
        const auto kind = AskKind();
        const auto group = kind ? AskGroup() : std::nullopt;
        if (group && key == 3) AppendSprings(*kind, *group, 1);  // nothing beyond the capacity
        // A group is taken whole, and only while the list then stays below
        // its capacity.
        if (const int n = group && key == 4 ? AskNumber() : 0;
            n > 0 && SpringCount(*kind) + n < kSpringListCapacity)
          AppendSprings(*kind, *group, n);
      } else if (key == 5) {
        if (AskNewSet()) ResetAvailableSprings();
      } else {
        continue;
      }
      DrawPageKeys();
      Refresh();
    }
    ScreenState.assemblyFormFlag = false;
  }
  LastKey() = 0;
  return accepted;
}
