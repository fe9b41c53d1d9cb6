// The system-check page: the box in which the check of the line writes its
// lines one after the other, each with "Ок." or a red "X"; a failed check or
// initialisation leads to the error page.

#include "config/settings.h"
#include "database/database.h"
#include "link/linecheck.h"
#include "pages/pages.h"
#include "screen/screen.h"

namespace {

constexpr int kCheckLineY[8] = {470, 486, 502, 518, 534, 550, 566, 582};

void WriteCheckResult(int line, bool passed, bool withPoint = true) {
  SetTextStyle("Times New Roman", 12, passed ? kGreen : kRed);
  const QString text = passed ? (withPoint ? "Ок." : "Ок") : "X";
  PutShadowText(ScreenOffsetX() + 370, kCheckLineY[line], text, 1, 1, kSilver);
  RepaintScreen();
}

}  // namespace

int SystemCheckErrorCode(bool controller, const std::array<bool, 5>& cam) {
  const bool allFail = !cam[1] && !cam[2] && !cam[3] && !cam[4];
  const bool allPass = cam[1] && cam[2] && cam[3] && cam[4];
  if (!controller && allFail) return 2;
  if (!controller && allPass) return 3;
  if (controller && !cam[1] && cam[2] && cam[3] && cam[4]) return 4;
  if (controller && cam[1] && cam[2] && !cam[3] && cam[4]) return 6;
  if (controller && cam[1] && cam[2] && cam[3] && !cam[4]) return 7;
  return 8;
}

bool SystemCheckPage() {
  const int off = ScreenOffsetX();
  DrawPanelBox(off + 8, 438, off + 410, 603);
  SetFontBold(false);
  SetTextStyle("Impact", 20, kBlue);
  PutShadowText(off + 30, 438, "Идет проверка системы", 2, 2, kSilver);
  static const char* const kLines[8] = {"Проверка файловой системы:",
                                        "Проверка целостности БД:",
                                        "Проверка связи с центральным контроллером:",
                                        "Проверка связи с камерой №1:",
                                        "Проверка связи с камерой №2:",
                                        "Проверка связи с камерой №3:",
                                        "Проверка связи с камерой №4:",
                                        "Инициализация "};
  SetTextStyle("Times New Roman", 12, kBlack);
  for (int i = 0; i < 8; ++i) PutShadowText(off + 20, kCheckLineY[i], kLines[i], 1, 1, kSilver);
  RepaintScreen();
  if (Settings.Global.Emul) {
    ScaledPause(1000);
    for (int i = 1; i <= 8; ++i) {
      WriteCheckResult(i - 1, true, false);
      ScaledPause(1000);
    }
    return true;
  }
  WriteCheckResult(0, true);
  ScaledPause(1000);
  WriteCheckResult(1, true);
  ScaledPause(1000);
  const SystemCheckResult result = CheckLineDevices(
      Database.ModeState.FastMode,
      [](CheckLine line, bool passed) { WriteCheckResult(static_cast<int>(line) - 1, passed); });
  if (!result.AllPassed()) {
    ScaledPause(3000);
    ShowErrorPage(SystemCheckErrorCode(result.controller, result.camera));
  }
  const bool ready = InitialiseLine();
  WriteCheckResult(static_cast<int>(CheckLine::Initialisation) - 1, ready);
  if (!ready) {
    ScaledPause(3000);
    ShowErrorPage(kInitialisationErrorCode);
  }
  return true;
}
