// The calibration pages of the settings menu: the mode page "mcal" and its
// two measurements of the reference cylinder, the reference measurement
// "mcal1", which stores the correction of the height scale in Calibrate.txt,
// and the check measurement "mcal2", which shows the corrected height for
// the operator to compare with the cylinder's known height.

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

// Why Calibrate.txt could not be used, in the box, then the return key.
// Also on standard error for the service engineer.
void ShowCalibrateFault(const QString& text) {
  ClearInstructions();
  SetFontBold(false);
  SetTextStyle("Times New Roman", 21, kRed);
  PutText(ScreenOffsetX() + 410, 362, text);
  fprintf(stderr, "kalvor: %s\n", qPrintable(text));
  WaitForReturnKey();
}

// The height of the cylinder measured on the line: the line initialised, a
// camera scan, the press raised and its position read, the line initialised
// again. A failed initialisation is a fault of the line (error page 9); the
// other commands' replies are taken as they come.
float MeasureCylinderOnLine() {
  ScaledPause(1000);
  if (!RunLineInitialisation()) ShowErrorPage(kLineInitError);
  ScaledPause(1000);
  ControllerLongCommand(kCmdScan);
  ScaledPause(1000);
  ControllerLongCommand(kCmdRelayUp);
  plat::SleepMs(300);
  const float height = CalibrationHeight(ControllerLongCommand(kCmdPosition).Value());
  ScaledPause(1000);
  if (!RunLineInitialisation()) ShowErrorPage(kLineInitError);
  return height;
}

enum class CalibrationKind { Reference, Check };

// The part both measurement pages share: the picture of the cylinder in
// place, the title, the instructions and keys 2 and 13. False when the
// operator returned with key 13; otherwise the cylinder was measured and,
// on the line, *height holds what the line read.
bool MeasureCylinder(CalibrationKind kind, float* height) {
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
    *height = 0;
  } else {
    *height = MeasureCylinderOnLine();
  }
  return true;
}

void CloseCalibrationPage() {
  LastKey() = 0;
}

}  // namespace

void ReferenceMeasurementPage() {
  {
    const WagonSettingKeeper keeper;
    const PageGuard guard("mcal1");
    float height = 0;
    // In emulation nothing was measured, so nothing is stored.
    if (MeasureCylinder(CalibrationKind::Reference, &height) && !Settings.Global.Emul) {
      QString error;
      if (!StoreReferenceCorrection(height, &error)) ShowCalibrateFault(error);
    }
  }
  CloseCalibrationPage();
  StatusStrip();
}

void CheckMeasurementPage() {
  {
    const WagonSettingKeeper keeper;
    const PageGuard guard("mcal2");
    float height = 0;
    if (MeasureCylinder(CalibrationKind::Check, &height)) {
      std::optional<float> shown;
      QString error;
      if (Settings.Global.Emul)
        shown = static_cast<float>(plat::Random(9)) / 10.0f + 247.5f;
      else
        shown = CorrectedHeight(height, &error);
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
