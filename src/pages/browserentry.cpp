// The two entry pages of the database browser: the number box of the search
// and the value entry, with the date range built from six value entries.

#include <QDate>
#include <algorithm>
#include <cstdio>

#include "database/database.h"
#include "pages/browser.h"
#include "pages/pages.h"
#include "screen/pageguard.h"
#include "screen/screen.h"

namespace {

// The value of the characters [from, from + n) of an identifier, or -1 when
// one of them is not a decimal digit or the identifier is too short. The
// identifier is the record's CP1251 bytes, whose digits are ASCII.
int Digits(QByteArrayView text, int from, int n) {
  if (text.size() < from + n) return -1;
  int value = 0;
  for (int k = from; k < from + n; ++k) {
    const char c = text[k];
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The day an identifier "NNNN-DDMMYYYY" names: day, month and year from its
// characters 6-7, 8-9 and 10-13; an invalid date when they are not digits of
// a calendar date.
QDate IdentifierDate(QByteArrayView identifier) {
  const int day = Digits(identifier, 5, 2);
  const int month = Digits(identifier, 7, 2);
  const int year = Digits(identifier, 9, 4);
  if (day < 0 || month < 0 || year < 1) return QDate();
  return QDate(year, month, day);
}

void DrawValueBox(int value) {
  const int x = ScreenOffsetX();
  FillBox(x + 695, 482, x + 857, 576, kWhite);
  SetTextStyle("Impact", 52, kGreen);
  PutText(x + 705, 486, QString::number(value));
  RepaintScreen();
}

struct RangeStep {
  const char* prompt;
  int initial, min, max, continueKey;
};

constexpr RangeStep kRangeSteps[6] = {
    {"Введите год начала диапазона:", 2008, 2000, 2100, 11},
    {"Введите месяц начала диапазона:", 1, 1, 12, 12},
    {"Введите день начала диапазона:", 1, 1, 31, 11},
    {"Введите год конца диапазона:", 2008, 2000, 2100, 12},
    {"Введите месяц конца диапазона:", 1, 1, 12, 11},
    {"Введите день конца диапазона:", 1, 1, 31, 12},
};

}  // namespace

void ShowSearchNumber(const QString& text) {
  const int x = ScreenOffsetX();
  FillBox(x + 10, 470, x + 769, 600, kBlack);
  FillBox(x + 11, 471, x + 768, 599, kWhite);
  SetFontBold(false);
  SetTextStyle("Impact", 38, kBlue);
  PutText(x + 22, 500, "Номер замера:");
  PutText(x + 422, 500, text);
}

int EnterValue(const QString& prompt, int initial, int min, int max, int continueKey,
               int cancelKey, int decreaseKey, int increaseKey) {
  const int x = ScreenOffsetX();
  DrawPanelBox(x + 10, 470, x + 860, 590);
  DisableAllKeys();
  for (int key : {continueKey, cancelKey, decreaseKey, increaseKey}) EnableKey(key);
  SetFontBold(false);
  SetTextStyle("Impact", 32, kBlue);
  PutText(x + 33, 500, prompt);
  int value = initial;
  DrawValueBox(value);
  DrawKeyPanel();
  DrawKeyCaption("Увеличить", "значение", increaseKey);
  DrawKeyCaption("Уменьшить", "значение", decreaseKey);
  DrawKeyCaption("", "Отменить", cancelKey);
  DrawKeyCaption("Продолжить", "", continueKey);
  RepaintScreen();
  for (;;) {
    const KeyCode key = PollKey();
    if (key == 0) continue;
    if (key == continueKey) return value;
    if (key == cancelKey) return 0;
    if (key == increaseKey && value < max) {
      ++value;
      DrawValueBox(value);
    } else if (key == decreaseKey && value > min) {
      --value;
      DrawValueBox(value);
    }
  }
}

bool MeasurementsInDateRange(const QDate& start, const QDate& end, std::vector<int>& positions) {
  positions.clear();
  const int count = MeasurementCount();
  if (!DatabaseError().isEmpty()) return false;
  // Whole days: the time of a record's day does not matter.
  const qint64 from = start.toJulianDay(), to = end.toJulianDay();
  // Only the identifier's characters are looked at, undecoded.
  return ScanMeasurements(0, count, [&](const char* record, int position) {
    const QDate date = IdentifierDate(MeasurementIdentifierBytes(record));
    if (!date.isValid()) return;
    const qint64 day = date.toJulianDay();
    if (day >= from && day <= to) positions.push_back(position);
  });
}

bool EnterDateRange() {
  const PageGuard guard("diap", "lamer");
  ShadeWorkArea();
  DisableAllKeys();
  int values[6];
  for (int step = 0; step < 6; ++step) {
    const RangeStep& s = kRangeSteps[step];
    values[step] = EnterValue(s.prompt, s.initial, s.min, s.max, s.continueKey, 13, 7, 4);
    if (values[step] == 0) return false;
  }

  SetRecordFilter({});
  RecordFilterOff();
  const QDate start(values[0], values[1], values[2]);
  const QDate end(values[3], values[4], values[5]);
  // A day that does not exist (31 February) is refused without a word; the
  // list stays as it was.
  if (!start.isValid() || !end.isValid()) return false;
  std::vector<int> positions;
  if (!MeasurementsInDateRange(start, end, positions)) {
    std::fprintf(stderr, "kalvor: %s\n", DatabaseError().toLocal8Bit().constData());
    return false;
  }
  if (positions.empty()) return false;
  SetRecordFilter(std::move(positions));
  return true;
}
