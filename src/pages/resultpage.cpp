// The result page of a measurement: drawn over the process page when a
// measurement ends, and by the pages that show a stored measurement again.
// Every verdict on it comes from JudgeMeasurement.

#include <algorithm>
#include <vector>

#include "config/settings.h"
#include "database/database.h"
#include "measurement/judgement.h"
#include "platform/clock.h"
#include "pages/pages.h"
#include "screen/screen.h"
#include "sorting/heightgroup.h"
#include "springs/springtypes.h"

namespace {

constexpr QRgb kCream = 0xF5F5DC;
constexpr QRgb kOrange = 0xFF8C00;

// With CalEnable1 the set of bogie type 1 is neither measured nor listed.
bool SetLeftOut(const MeasurementRecord& r) {
  return Settings.Debug.CalEnable1 && r.BogieType == 1;
}

// The text of a parameter's cell.
QString CellText(const MeasurementRecord& r, int p, bool good) {
  // What the line did not measure is no value of this spring.
  if (!ValueMeasured(r, p)) return QString();
  const ParameterSlot& slot = r.Param[p];
  if (slot.JudgeMode == 0) return QString::asprintf("%4.1f", static_cast<double>(slot.Value));
  if (good) return QStringLiteral("Норма");
  return p == 1 ? QStringLiteral("Не норма") : QStringLiteral("Брак");
}

void PutResultText(int x, int y, const QString& text) {
  PutShadowText(x, y, text, 1, 1, kSilver);
}

// The height group of a good spring of bogie types 1 and 2 (bogie type 2 is
// grouped ten millimetres lower); -1 for every other spring.
int ResultGroup(const MeasurementRecord& r, const TJudgement& j) {
  if (!j.SpringGood) return -1;
  if (r.BogieType == 1) return HeightGroup(r.Param[2].Value);
  if (r.BogieType == 2) return HeightGroup(r.Param[2].Value - 10.0f);
  return -1;
}

// A stored measurement ran long ago: where the stages of a running one
// stand, the column says which measurement it is and when it was made.
void DrawStoredColumn(const MeasurementRecord& r) {
  const int x = ScreenOffsetX();
  FillBox(x + 12, 124, x + 164, 440, kWhite);
  const QDateTime made = plat::DaysToDateTime(r.Date);
  SetTextStyle("Impact", 20, kNavy);
  PutResultText(x + 20, 140, QStringLiteral("Замер"));
  PutResultText(x + 20, 170, "№" + r.Identifier.left(4));
  SetTextStyle("Impact", 16, kBlack);
  PutResultText(x + 20, 230, QStringLiteral("выполнен"));
  SetTextStyle("Impact", 20, kNavy);
  PutResultText(x + 20, 256, made.toString("dd.MM.yyyy"));
  PutResultText(x + 20, 286, made.toString("HH:mm:ss"));
}

}  // namespace

void ShowResultPage(const MeasurementRecord& record, ResultShown shown) {
  const int x = ScreenOffsetX();
  const BogieType* bogie = RecordBogieType(record);
  const SpringType* type = RecordSpringType(record);
  SetFontBold(false);

  DrawPanelBox(x + 436, 120, x + 1005, 604);
  DrawPanelBox(x + 8, 464, x + 420, 604);
  FillBox(x + 438, 122, x + 1003, 160, kBlue);

  SetTextStyle("Impact", 24, kGreen);
  if (shown == ResultShown::Stored) {
    DrawStoredColumn(record);
    PutResultText(x + 70, 468, QStringLiteral("Сохраненный замер"));
  } else {
    PutResultText(x + 92, 468, "Замер закончен");
  }
  SetTextStyle("Times New Roman", 22, kBlack);
  PutResultText(x + 490, 168, "Наименование");
  PutResultText(x + 790, 168, "Значение");

  JudgeMeasurement(record);
  const TJudgement judgement = Judgement;
  if (!judgement.Judged) {
    // Neither good nor bad: the table has no norms for this spring.
    SetTextStyle("Impact", 24, kNavy);
    PutResultText(x + 26, 510, "Замер не оценен");
  } else if (judgement.SpringGood) {
    SetTextStyle("Impact", 24, kGreen);
    PutResultText(x + 26, 510, "Параметры замера:НОРМА");
  } else {
    SetTextStyle("Impact", 24, kRed);
    PutResultText(x + 26, 510, "Параметры замера: БРАК");
  }
  // The measurement is stored before its page is drawn: the count holds it.
  SetTextStyle("Impact", 24, kGreen);
  PutResultText(x + 16, 554, "Всего замеров за смену:" + QString::number(ShiftMeasurementCount()));

  const std::vector<int> rows = ListedParameters(record);
  for (int r = 1; r <= static_cast<int>(rows.size()); ++r) {
    const int p = rows[r - 1];
    const int y = 32 * r;
    const QString name = type ? type->parameters[p].Name : QStringLiteral("Параметр %1").arg(p);
    SetTextStyle("Times New Roman", 14, kBlack);
    PutResultText(x + 490, y + 206, name);
    const bool good = judgement.Verdicts[p];
    FillBox(x + 782, y + 204, x + 964, y + 234, kCream);
    if (judgement.Judged && !good) FillBox(x + 782, y + 204, x + 964, y + 234, kOrange);
    // A record that was not judged shows its values without a verdict.
    SetTextStyle("Times New Roman", 18, !judgement.Judged ? kBlack : good ? kGreen : kRed);
    PutResultText(x + 850, y + 206, CellText(record, p, good));
  }

  // The title, with the height group of a good spring of bogie types 1 and 2.
  const int group = ResultGroup(record, judgement);
  const QString groupText = QStringLiteral("Гр:№") + QString::number(group);
  QString title = "Результат замера пружины №:" + record.Identifier + "(" +
                  (bogie ? bogie->Name : QStringLiteral("?")) + ")";
  if (group >= 0) title += " " + groupText;
  SetTextStyle("Times New Roman", 16, kWhite);
  PutShadowText(x + 444, 128, title, 1, 1, kBlack);

  FillBox(x + 782, 204, x + 964, 234, kCream);
  SetTextStyle("Times New Roman", 14, kBlue);
  PutResultText(x + 790, 206,
                type ? type->AltName : QStringLiteral("№%1 нет в таблице").arg(record.SpringType));
  SetTextStyle("Times New Roman", 14, kBlack);
  PutResultText(x + 490, 206, "Тип пружины");

  // The grid: a line under the head, the spring type and every row (with
  // Zam19 the listed rows vary, and each one needs its line below).
  int lines = SetLeftOut(record) ? 7 : 8;
  if (Settings.Global.Zam19 && type) lines = static_cast<int>(rows.size()) + 2;
  const int bottom = 170 + 32 * lines;
  for (int i = 1; i <= lines; ++i) DrawLine(x + 480, 32 * i + 170, x + 964, 32 * i + 170, kBlack);
  for (int vx : {480, 780, 964}) DrawLine(x + vx, 170, x + vx, bottom, kBlack);
  DrawLine(x + 480, 170, x + 964, 170, kBlack);

  if (!Database.ModeState.AcceleratedMode && !RecordAccelerated(record)) DrawLoadChart(record);
  // An accelerated measurement loads no spring: in place of the chart the
  // page says what kind of measurement it was.
  if (RecordAccelerated(record)) {
    SetTextStyle("Times New Roman", 16, kNavy);
    PutResultText(x + 490, 440, RecordKindNote(record));
  }
  // The group is what the sorter acts on: large, in the free left part of
  // the chart's box, beside the values it comes from.
  if (group >= 0) {
    SetTextStyle("Impact", 54, kGreen);
    PutShadowText(x + 480, 462, groupText, 2, 2, kSilver);
  }

  if (Settings.Global.VNenable) {
    SetTextStyle("Times New Roman", 12, kBlack);
    PutResultText(x + 450, 560, "Пружина снята с вагона № " + record.WagonFrom);
    PutResultText(x + 450, 578, "Пружина установлена на вагон № " + record.WagonTo);
  }
  RepaintScreen();
}

void DrawLoadChart(const MeasurementRecord& record) {
  const int x = ScreenOffsetX();
  if (record.Kind != 1) FillBox(x + 460, 430, x + 982, 600, kWhite);
  DrawLine(x + 790, 586, x + 790, 446, kBlack);
  DrawLine(x + 790, 586, x + 960, 586, kBlack);

  SetFontBold(false);
  const SpringType* type = RecordSpringType(record);
  if (type && type->PrVisible) {
    SetTextStyle("Times New Roman", 12, kBlack);
    PutText(x + 880, 568, QString::number(type->PrValue) + type->PrEd);
  }
  SetTextStyle("Times New Roman", 10, kBlack);
  for (int i = 0; i <= 7; ++i) {
    PutText(x + 770, 570 - 18 * i, QString::number(10 * i));
    if (i >= 1) DrawLine(x + 792, 586 - 18 * i, x + 960, 586 - 18 * i, kSilver);
  }

  // A chart point is a height in pixels above the base line; a damaged
  // record's point is held to the chart's axis so that the line stays in it.
  auto y = [&](int point) { return 583 - std::clamp(record.Chart[point], 0, 583 - 446); };
  DrawLine(x + 792, 583, x + 846, y(1), kBlue);
  DrawLine(x + 846, y(1), x + 900, y(2), kBlue);
  DrawLine(x + 900, y(2), x + 955, y(3), kBlue);

  PutText(x + 800, 586, "(1)");
  PutText(x + 845, 586, "(2)");
  PutText(x + 890, 586, "(3)");
  PutText(x + 935, 586, "(4)");
}
