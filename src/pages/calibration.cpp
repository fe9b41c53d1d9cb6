// The calibration pages of the settings menu: the mode page "mcal" and its
// two measurements of the reference cylinder, the reference measurement
// "mcal1", which stores the correction of the height scale in Calibrate.txt,
// and the check measurement "mcal2", which shows the corrected height for
// the operator to compare with the cylinder's known height.

#include <QStringList>
#include <cstdio>

#include "DALNOMER/calibrate.h"
#include "config/settings.h"
#include "link/camerascan.h"
#include "link/commands.h"
#include "measurement/sequence.h"
#include "pages/pages.h"
#include "platform/clock.h"
#include "platform/random.h"
#include "screen/pageguard.h"
#include "screen/screen.h"

namespace {

// The pages keep [Global] VNenable as they found it.
class WagonSettingKeeper {
 public:
  WagonSettingKeeper() : kept_(Settings.Global.VNenable) {}
  ~WagonSettingKeeper() { Settings.Global.VNenable = kept_; }

 private:
  bool kept_;
};

// The white box with the blue frame that the three pages draw in.
void DrawCalibrationBox() {
  const int x = ScreenOffsetX();
  ShadeWorkArea();
  FillBox(x + 34, 117, x + 995, 506, kBlue);
  FillBox(x + 35, 118, x + 994, 505, kWhite);
}

void PutImpactText(int x, int y, QRgb colour, const QString& text) {
  SetFontBold(false);
  SetTextStyle("Impact", 42, colour);
  PutShadowText(ScreenOffsetX() + x, y, text, 2, 2, kSilver);
}

// Clears the instructions' place in the box for what the measurement ends
// with.
void ClearInstructions() {
  const int x = ScreenOffsetX();
  FillBox(x + 410, 242, x + 900, 500, kWhite);
}

// Waits for key 10 ("Возврат") after the page has shown its outcome.
void WaitForReturnKey() {
  DisableAllKeys();
  EnableKey(10);
  DrawKeyPanel();
  DrawKeyCaption("", "Возврат", 10);
  RepaintScreen();
  do {
    LastKey() = PollKey();
  } while (LastKey() != 10);
  LastKey() = 0;
}

// Why the measurement stored or showed nothing, in red where the
// instructions stood, one line under the other, then the return key. Also
// on standard error for the service engineer.
void ShowCalibrateFault(const QString& text) {
  ClearInstructions();
  SetFontBold(false);
  SetTextStyle("Times New Roman", 21, kRed);
  PutWrappedText(ScreenOffsetX() + 410, 362, 490, 26, 5, text);
  fprintf(stderr, "kalvor: %s\n", qPrintable(QString(text).replace('\n', ' ')));
  WaitForReturnKey();
}

// What the line read of the cylinder: its height, or why there is none.
struct CylinderReading {
  std::optional<float> height;
  QString fault;
};

// The height of the cylinder measured on the line: the line initialised, a
// camera scan, the press raised and its position read, the line initialised
// again. A failed initialisation is a fault of the line (error page 9). A
// scan, press or position command the controller did not answer leaves no
// height: the reply bytes would be those of an older frame. The sequence
// still runs to its end, so that the press is raised and the line
// initialised whatever failed.
CylinderReading MeasureCylinderOnLine() {
  QString fault;
  const auto exchange = [&fault](uint8_t code) {
    const ControllerReply reply = ControllerLongCommand(code);
    if (!reply.ok && fault.isEmpty()) fault = CalibrationExchangeFault(code);
    return reply;
  };
  ScaledPause(1000);
  if (!RunLineInitialisation()) ShowErrorPage(kLineInitError);
  ScaledPause(1000);
  exchange(kCmdScan);
  ScaledPause(1000);
  exchange(kCmdRelayUp);
  plat::SleepMs(300);
  const ControllerReply position = exchange(kCmdPosition);
  ScaledPause(1000);
  if (!RunLineInitialisation()) ShowErrorPage(kLineInitError);
  if (!fault.isEmpty()) return {std::nullopt, fault};
  return {CalibrationHeight(position.Value()), {}};
}

enum class CalibrationKind { Reference, Check };

// The part both measurement pages share: the picture of the cylinder in
// place, the title, the instructions and keys 2 and 13. False when the
// operator returned with key 13; otherwise the cylinder was measured and,
// on the line, *reading holds what the line read.
bool MeasureCylinder(CalibrationKind kind, CylinderReading* reading) {
  const bool reference = kind == CalibrationKind::Reference;
  const int x = ScreenOffsetX();
  DrawCalibrationBox();
  DrawPicture("nori.bmp", x + 40, 142);
  PutImpactText(440, 142, kBlack, reference ? "Режим привязки" : "Режим проверки");
  SetTextStyle("Times New Roman", 21, kBlack);
  PutText(x + 410, 242, "Установите  привязочный цилиндр так,");
  PutText(x + 410, 270, "как показано на рисунке и нажмите [2].");
  DisableAllKeys();
  EnableKey(2);
  EnableKey(13);
  DrawKeyPanel();
  DrawKeyCaption("Произвести", reference ? "привязку" : "проверку", 2);
  DrawKeyCaption("", "Возврат", 13);
  StatusStrip();
  RepaintScreen();
  do {
    LastKey() = PollKey();
  } while (LastKey() != 13 && LastKey() != 2);
  if (LastKey() == 13) return false;

  PutImpactText(480, 362, Settings.Global.Emul ? kRed : kBlue, "Идет замер !");
  RepaintScreen();
  PollKey();
  DisableAllKeys();
  DrawKeyPanel();
  RepaintScreen();
  if (Settings.Global.Emul) {
    plat::SleepMs(2000);
    *reading = {};
  } else {
    *reading = MeasureCylinderOnLine();
  }
  return true;
}

void CloseCalibrationPage() {
  LastKey() = 0;
}

// A reference measurement that stored its correction: the heights and the
// correction as Calibrate.txt now holds them, then the return key.
void ShowStoredCorrection(float measured) {
  QString error;
  const auto stored = ReadCalibrateFile(&error);
  if (!stored) {
    ShowCalibrateFault(error);
    return;
  }
  const auto mm = [](float v) { return QString::asprintf("%.2f", static_cast<double>(v)); };
  ClearInstructions();
  SetFontBold(false);
  SetTextStyle("Times New Roman", 21, kBlack);
  const int x = ScreenOffsetX();
  PutText(x + 410, 242, "Привязка выполнена, поправка записана.");
  PutText(x + 410, 270, "Измерено H= " + mm(measured) + ", цилиндр " + mm(stored->knownHeight));
  PutImpactText(440, 362, kBlue, "Поправка= " + mm(stored->correction));
  WaitForReturnKey();
}

}  // namespace

void ReferenceMeasurementPage() {
  {
    const WagonSettingKeeper keeper;
    const PageGuard guard("mcal1");
    CylinderReading reading;
    // In emulation nothing was measured, so nothing is stored.
    if (MeasureCylinder(CalibrationKind::Reference, &reading) && !Settings.Global.Emul) {
      QString error;
      if (!reading.height)
        ShowCalibrateFault("Привязка не выполнена:\n" + reading.fault + ".\nФайл " +
                           kCalibrateFile + " не изменен.");
      else if (!StoreReferenceCorrection(*reading.height, &error))
        ShowCalibrateFault("Привязка не выполнена:\n" + error);
      else
        ShowStoredCorrection(*reading.height);
    }
  }
  CloseCalibrationPage();
  StatusStrip();
}

void CheckMeasurementPage() {
  {
    const WagonSettingKeeper keeper;
    const PageGuard guard("mcal2");
    CylinderReading reading;
    if (MeasureCylinder(CalibrationKind::Check, &reading)) {
      std::optional<float> shown;
      QString error;
      if (Settings.Global.Emul)
        shown = static_cast<float>(plat::Random(9)) / 10.0f + 247.5f;
      else if (!reading.height)
        error = "Проверка не выполнена:\n" + reading.fault + ".";
      else
        shown = CorrectedHeight(*reading.height, &error);
      if (!shown) {
        ShowCalibrateFault(error);
      } else {
        ClearInstructions();
        PutImpactText(520, 362, kBlue, "H= " + CheckHeightText(*shown));
        WaitForReturnKey();
      }
    }
  }
  CloseCalibrationPage();
  StatusStrip();
}

void CalibrationModePage() {
  {
    const WagonSettingKeeper keeper;
    const PageGuard guard("mcal");
    DrawCalibrationBox();
    DrawPicture("redj.bmp", ScreenOffsetX() + 40, 122);
    DisableAllKeys();
    EnableKey(1);
    EnableKey(5);
    EnableKey(13);
    DrawKeyPanel();
    DrawKeyCaption("Привязка", "к цилиндру", 1);
    DrawKeyCaption("Проверка", "цилиндром", 5);
    DrawKeyCaption("", "Возврат", 13);
    StatusStrip();
    RepaintScreen();
    do {
      LastKey() = PollKey();
    } while (LastKey() != 13 && LastKey() != 1 && LastKey() != 5);
    if (LastKey() == 1) ReferenceMeasurementPage();
    else if (LastKey() == 5) CheckMeasurementPage();
  }
  CloseCalibrationPage();
  StatusStrip();
}

QString CheckHeightText(float height) {
  return QString::asprintf("%4.1f", static_cast<double>(height));
}
