// The system-check page: the box in which the check of the line writes its
// lines one after the other, each with "Ок." or a red "X"; a failed check or
// initialisation of the line leads to the error page. The file system and
// the database are checked for real, also in emulation; what they find is
// listed beside the box, and the operator goes on to the menu with a key.

#include <cstdio>

#include "config/settings.h"
#include "database/database.h"
#include "link/linecheck.h"
#include "pages/pages.h"
#include "screen/screen.h"
#include "springs/springtypes.h"

TStartCheck StartCheck;

namespace {

constexpr int kCheckLineY[8] = {470, 486, 502, 518, 534, 550, 566, 582};
constexpr int kContinueKey = 11;

void WriteCheckResult(int line, bool passed, bool withPoint = true) {
  SetTextStyle("Times New Roman", 12, passed ? kGreen : kRed);
  const QString text = passed ? (withPoint ? "Ок." : "Ок") : "X";
  PutShadowText(ScreenOffsetX() + 370, kCheckLineY[line], text, 1, 1, kSilver);
  RepaintScreen();
}

// The file system: the folders the program writes take a file, and the disk
// has room. Measuring is refused while a folder cannot be written.
bool CheckFileSystem(QStringList& findings) {
  QString reason;
  const bool writable = InstallationFolderWritable(reason);
  if (!writable) findings << reason + ". Замеры запрещены, пока в папку нельзя записать.";
  const bool room = InstallationHasFreeSpace(kMinFreeSpace, reason);
  if (!room) findings << reason + ".";
  return writable && room;
}

// The database: the record files whole, what this run dropped of them, and
// norms in the bogie file for every spring type it lists.
bool CheckDatabase(QStringList& findings) {
  QString damage;
  const bool whole = RecordFilesWhole(damage);
  if (!whole) findings << damage.split('\n');
  for (const QString& line : Database.Dropped) findings << line + ", см. " + kDroppedLogFile;
  const QStringList types = SpringTypesWithoutNorms();
  for (const QString& type : types)
    findings << "В файле типов тележек нет норм пружины " + type + ": её замеры не оцениваются.";
  return whole && Database.Dropped.isEmpty() && types.isEmpty();
}

// What failed, beside the check box, until the operator goes on.
void ShowFindings(const QStringList& findings) {
  const int off = ScreenOffsetX();
  DrawPanelBox(off + 430, 438, off + 845, 603);
  SetFontBold(false);
  SetTextStyle("Impact", 14, kRed);
  PutShadowText(off + 440, 440, "Замечания проверки системы:", 1, 1, kSilver);
  SetTextStyle("Arial", 9, kBlack);
  int y = 462;
  for (const QString& finding : findings) {
    std::fprintf(stderr, "kalvor: проверка системы: %s\n", finding.toLocal8Bit().constData());
    const int room = (600 - y) / 13;
    if (room > 0) y += 13 * PutWrappedText(off + 440, y, 395, 13, room, finding);
  }
  DisableAllKeys();
  EnableKey(kContinueKey);
  DrawKeyPanel();
  DrawKeyCaption("Продолжить", "работу", kContinueKey);
  RepaintScreen();
  while (PollKey() != kContinueKey) {
  }
  DisableAllKeys();
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
  StartCheck = TStartCheck{};
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
  const bool emulation = Settings.Global.Emul;
  QStringList& findings = StartCheck.findings;
  if (emulation) ScaledPause(1000);
  WriteCheckResult(0, CheckFileSystem(findings), !emulation);
  ScaledPause(1000);
  WriteCheckResult(1, CheckDatabase(findings), !emulation);
  ScaledPause(1000);
  if (emulation) {
    // No line to ask: the emulated devices answer as the emulation says.
    for (int i = 3; i <= 8; ++i) {
      WriteCheckResult(i - 1, true, false);
      ScaledPause(1000);
    }
  } else {
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
  }
  if (!findings.isEmpty()) ShowFindings(findings);
  return true;
}
