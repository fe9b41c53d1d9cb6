// The measurement page: where the operator works during a shift. It runs
// measurements (RunMeasurement), shows the result of the one measured or
// chosen, and steps through the measurements of the shift.

#include <algorithm>
#include <cstdio>

#include "config/settings.h"
#include "database/database.h"
#include "measurement/sequence.h"
#include "pages/pages.h"
#include "print/printsheet.h"
#include "screen/pageguard.h"
#include "screen/screen.h"

namespace {

enum class Entry { Measuring, Viewing };

void DrawMeasurementKeys(Entry entry) {
  DisableAllKeys();
  if (entry == Entry::Measuring) EnableKey(1);
  for (int key : {3, 4, 5, 7, 9, 11, 13}) EnableKey(key);
  DrawKeyPanel();
  if (entry == Entry::Measuring) DrawKeyCaption("Провести", "замер", 1);
  DrawKeyCaption("", "<==", 3);
  DrawKeyCaption("", "==>", 4);
  DrawKeyCaption("Выбор", "замера", 5);
  DrawKeyCaption("Печать", "замера", 7);
  DrawKeyCaption("Новый", "лист", 9);
  DrawKeyCaption("Статистика", "", 11);
  DrawKeyCaption("Возврат", "", 13);
  RepaintScreen();
}

int& CurrentIndex() {
  return Database.ShiftState.CurrentIndex;
}

// The stored measurement at CurrentIndex on the result page, shown as
// stored, with the shift's count written over the page's own.
void ShowCurrentMeasurement() {
  MeasurementRecord record;
  if (!ReadShiftMeasurement(CurrentIndex(), record)) {
    ShowMeasurementStopped(DatabaseError());
    return;
  }
  ShowResultPage(record, ResultShown::Stored);
  ShowShiftCounter();
}

// The day has no measurement yet: the result area says so.
void ShowNoMeasurement() {
  const int off = ScreenOffsetX();
  DrawPanelBox(off + 436, 120, off + 1005, 604);
  SetTextStyle("Times New Roman", 22, kBlack);
  PutShadowText(off + 520, 340, "За смену замеров нет", 1, 1, kSilver);
  ShowShiftCounter();
}

// Key 1 with [Depo] Confirmation: the operator confirms the measurement
// with key 3 or cancels it with key 5, which puts the page back as it was.
bool ConfirmMeasurement() {
  SavePage("ZZamC");
  SaveKeyMask("ZZamC");
  DrawProcessPage();
  const int off = ScreenOffsetX();
  DrawPanelBox(off + 8, 464, off + 420, 604);
  SetTextStyle("Impact", 36, kBlack);
  PutShadowText(off + 70, 472, "Подтвердите", 1, 1, kSilver);
  PutShadowText(off + 140, 530, "ЗАМЕР", 1, 1, kSilver);
  DisableAllKeys();
  EnableKey(3);
  EnableKey(5);
  DrawKeyPanel();
  DrawKeyCaption("Провести", "замер", 3);
  DrawKeyCaption("Отменить", "замер", 5);
  RepaintScreen();
  KeyCode key = 0;
  do key = PollKey();
  while (key != 3 && key != 5);
  if (key == 3) return true;
  RestorePage("ZZamC");
  LoadKeyMask("ZZamC");
  RepaintScreen();
  return false;
}

void MeasurementKeyLoop(Entry entry) {
  for (;;) {
    KeyCode key = PollKey();
    if (key == 1 && entry == Entry::Measuring) {
      if (!Settings.Depo.Confirmation || ConfirmMeasurement()) RunMeasurement();
      continue;
    }
    const int count = ShiftMeasurementCount();
    switch (key) {
      case 3:
        if (count > 0 && CurrentIndex() >= 1) {
          --CurrentIndex();
          ShowCurrentMeasurement();
        }
        break;
      case 4:
        if (count > 0 && CurrentIndex() < count - 1) {
          ++CurrentIndex();
          ShowCurrentMeasurement();
        }
        break;
      case 5: {
        if (count == 0) break;
        const int n = MeasurementNumberPage();
        if (n >= 1 && n <= ShiftMeasurementCount()) CurrentIndex() = n - 1;
        ShowCurrentMeasurement();
        break;
      }
      case 7: {
        // A record that cannot be read is not printed; the page says why.
        // After a measurement that was not stored nothing is shown.
        if (count == 0 || CurrentIndex() >= count) break;
        MeasurementRecord record;
        if (!ReadShiftMeasurement(CurrentIndex(), record)) {
          ShowMeasurementStopped(DatabaseError());
          break;
        }
        AddMeasurementReport(record);
        break;
      }
      case 9:
        PrintPendingSheet();
        break;
      case 11:
        ShowShiftStatistics();
        break;
      case 13:
        return;
      default:
        break;
    }
  }
}

}  // namespace

void ShowShiftCounter() {
  const int off = ScreenOffsetX();
  FillBox(off + 8, 555, off + 420, 604, kWhite);
  SetTextStyle("Impact", 24, kGreen);
  PutShadowText(off + 16, 554, "Всего замеров за смену:" + QString::number(ShiftMeasurementCount()),
                1, 1, kSilver);
  RepaintScreen();
}

bool RunMeasurement() {
  // A measurement whose camera files, shift state and record cannot be
  // written is not begun. A shift change that failed may leave the move of
  // the shift in doubt: nothing may go into the shift file then.
  QString reason;
  const bool writable = InstallationFolderWritable(reason);
  if (!writable || !CheckShiftChange()) {
    // The process page clears the shift change's notice from under the box.
    if (writable) reason = DatabaseError();
    DrawProcessPage();
    ShowMeasurementStopped(reason);
    DrawMeasurementKeys(Entry::Measuring);
    return false;
  }
  CurrentIndex() = ShiftMeasurementCount();
  DrawProcessPage();
  MeasurementRecord record;
  bool stored = MeasureSpring(record, CurrentIndex() + 1);
  if (stored && !SaveShiftState()) {
    ShowMeasurementStopped(DatabaseError());
    stored = false;
  }
  // The result is shown only once the record is in the shift file: a
  // measurement that could not be stored shows no result to print or to
  // sort by, and CurrentIndex stays behind the last stored record.
  if (stored && !AppendShiftMeasurement(record)) {
    ShowMeasurementStopped(DatabaseError());
    stored = false;
  }
  if (stored) ShowResultPage(record);
  DrawMeasurementKeys(Entry::Measuring);
  return stored;
}

void MeasurementPage() {
  const PageGuard guard("ZZmain");
  InstallMeasurementObserver();
  RunMeasurement();
  MeasurementKeyLoop(Entry::Measuring);
  LastKey() = 0;
}

void ViewMeasurementsPage() {
  const PageGuard guard("ZZmain");
  InstallMeasurementObserver();
  const int count = ShiftMeasurementCount();
  // With no measurement of the day there is none to point at: the index
  // stays at the first position rather than before it.
  CurrentIndex() = std::max(0, count - 1);
  DrawProcessPage();
  if (count > 0)
    ShowCurrentMeasurement();
  else
    ShowNoMeasurement();
  DrawMeasurementKeys(Entry::Viewing);
  MeasurementKeyLoop(Entry::Viewing);
  LastKey() = 0;
}
