#include "main/mainloop.h"

#include <QMessageBox>
#include <cstdio>

#include "main/program.h"

#include "config/settings.h"
#include "database/database.h"
#include "link/linecheck.h"
#include "main/form1.h"
#include "DALNOMER/form40.h"
#include "mathem/form30.h"
#include "springs/springtypes.h"
#include "pages/pages.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/pump.h"
#include "screen/screen.h"

namespace {

constexpr int kCheckLineY[8] = {470, 486, 502, 518, 534, 550, 566, 582};

void WriteCheckResult(int line, bool passed, bool withPoint = true) {
  SetTextStyle("Times New Roman", 12, passed ? kGreen : kRed);
  const QString text = passed ? (withPoint ? "Ок." : "Ок") : "X";
  PutShadowText(ScreenOffsetX() + 370, kCheckLineY[line], text, 1, 1, kSilver);
  RepaintScreen();
}

void FadeIn() {
  IScreenWindow* w = ScreenState.window;
  if (!w) return;
  if (Settings.Visual.AlphaEnable) {
    const int step = std::max(1, Settings.Visual.AlphaKo);
    int v = 0;
    do {
      w->SetWindowAlpha(v & 0xFF);
      v += step;
      plat::SleepMs(5);
      plat::ProcessMessages();
    } while (v < 255);
    w->SetWindowAlpha(255);
  }
  w->SetAlphaBlending(false);
}

// A shift change that failed at start-up: the move may be in doubt, so no
// measurement may go into the shift file. The operator is told which file and
// why, and the program ends; the next start finishes or sets aside the move.
[[noreturn]] void StopOnFileError(const QString& text) {
  std::fprintf(stderr, "kalvor: %s\n", text.toLocal8Bit().constData());
  QMessageBox box(QMessageBox::Critical, QString(kApplicationTitle),
                  text + QStringLiteral("\n\nРабота программы будет завершена."), QMessageBox::Ok);
  box.exec();
  RestoreDisplayMode();
  plat::EndProcess(1);
}

// What the loaders could not take as written (the bogie and spring-type
// file): shown beside the about box, so the operator and the service
// engineer see it without a dialog stopping the start.
void DrawLoadReport() {
  QString report = SpringTypesLoadReport();
  if (const QString db = DatabaseStartupReport(); !db.isEmpty())
    report += (report.isEmpty() ? QString() : QStringLiteral("\n")) + db;
  if (report.isEmpty()) return;
  SetFontBold(false);
  SetTextStyle("Times New Roman", 12, kRed);
  // Word-wrapped into the free space right of the about box.
  QStringList lines;
  for (const QString& paragraph : report.split('\n', Qt::SkipEmptyParts)) {
    QString line;
    for (const QString& word : paragraph.split(' ', Qt::SkipEmptyParts)) {
      const QString longer = line.isEmpty() ? word : line + ' ' + word;
      if (!line.isEmpty() && TextWidth(longer) > 560) {
        lines << line;
        line = word;
      } else {
        line = longer;
      }
    }
    lines << line;
  }
  for (int i = 0; i < lines.size() && i < 16; ++i)
    PutText(ScreenOffsetX() + 440, 130 + 18 * i, lines[i]);
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

void DrawMainMenuCaptions() {
  DrawKeyCaption("Произвести", "замер", 2);
  DrawKeyCaption("Настройка", "системы", 4);
  if (Settings.Global.VNenable) DrawKeyCaption("Задать", "№ вагона", 8);
  DrawKeyCaption("Работа", "с замерами", 10);
  DrawKeyCaption("Заверш.", "работы", 12);
  DrawKeyCaption("Подбор", "компл.", 13);
  if (Settings.Depo.ProgressChassieEnabled) DrawKeyCaption("Изменить", "тип тележки", 6);
}

void DrawStartPage() {
  FillScreen(kSilver);
  DrawPicture(Settings.Visual.HD ? "HD2.bmp" : "hst.bmp", 0, 0);
  TitleBar(Settings.Depo.Depo1Name + ":" + Settings.Depo.DepoName, 21, kBlue);
  // The status strip's state: the shift (with the stored wagon numbers, which
  // the settings loader set to "?") and the mode, read afresh before the
  // shift change saves the shift state.
  LoadShiftState();
  LoadModeState();
  AboutBox(8, 120);
  DrawLoadReport();
  SetClockBox(true);
  DisableAllKeys();
  DrawKeyPanel();
  DrawMainMenuCaptions();
}

bool SystemCheckPage() {
  const int off = ScreenOffsetX();
  DrawPanelBox(off + 8, 438, off + 410, 603);
  SetFontBold(false);
  SetTextStyle("Impact", 20, kBlue);
  PutShadowText(off + 30, 438, "Идет проверка системы", 2, 2, kSilver);
  static const char* const kLines[8] = {
      "Проверка файловой системы:",   "Проверка целостности БД:",
      "Проверка связи с центральным контроллером:",
      "Проверка связи с камерой №1:", "Проверка связи с камерой №2:",
      "Проверка связи с камерой №3:", "Проверка связи с камерой №4:",
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
  const SystemCheckResult result =
      CheckLineDevices(Database.ModeState.FastMode, [](CheckLine line, bool passed) {
        WriteCheckResult(static_cast<int>(line) - 1, passed);
      });
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

void LineReadyPage() {
  const int off = ScreenOffsetX();
  DrawPanelBox(off + 8, 438, off + 410, 603);
  SetTextStyle("Impact", 32, kBlue);
  PutShadowText(off + 146, 450, "Линия", 2, 2, kSilver);
  PutShadowText(off + 56, 520, "готова к работе !", 2, 2, kSilver);
  RepaintScreen();
}

void MainLoop() {
  IScreenWindow* w = ScreenState.window;
  if (w) {
    w->SetAlphaBlending(true);
    w->SetWindowAlpha(0);
  }
  SetupMainWindow(Settings.Visual.HD ? 3 : 1);
  DrawStartPage();
  SavePage("cash");
  RestorePage("cash");
  FadeIn();

  // Test board first, then the controller's port (nothing in emulation).
  if (OpenLinePorts()) ShowErrorPage(kPortErrorCode);
  if (Settings.Mathem.MathVisEnable && Settings.Mathem.MathVisStart) ShowMathVisualiser();
  if (Settings.Mathem.DalnomerEnable && Form40) Form40->exec();

  SavePage("per");
  if (!CheckShiftChange()) StopOnFileError(DatabaseError());
  Pause(100);
  RestorePage("per");

  SystemCheckPage();
  LineReadyPage();

  EnableKey(2);
  EnableKey(4);
  EnableKey(10);
  EnableKey(12);
  EnableKey(13);
  EnableKey(8, Settings.Global.VNenable);
  EnableKey(6, Settings.Depo.ProgressChassieEnabled);
  DrawKeyPanel();
  DrawMainMenuCaptions();
  if (Settings.Global.Zam19) {
    SetTextStyle("Impact", 12, kNavy);
    PutShadowText(ScreenOffsetX() + 763, 76, "(19)", 1, 1, kSilver);
  }
  RepaintScreen();

  do {
    LastKey() = PollKey();
  } while (LastKey() != 12);
  ShutdownPage();
}
