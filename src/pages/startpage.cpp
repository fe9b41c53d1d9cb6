// The start page: the header with the depot's name, the status strip, the
// about box, what the loaders could not take as written and a failed backup,
// the clock box and the key panel with the main menu's captions (its keys not
// yet live).

#include "config/settings.h"
#include "database/database.h"
#include "database/backupflag.h"
#include "pages/pages.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "screen/screen.h"
#include "springs/springtypes.h"

namespace {

// A failed daily backup, from the flag the backup leaves in the installation
// folder until one succeeds: the operator passes it on to the engineer.
QString BackupFailureNotice() {
  const auto flag = plat::ReadTextLines(plat::MapPath(kBackupFailedFile));
  if (!flag) return QString();
  const QString when = flag->value(0).trimmed();
  return QStringLiteral("Резервная копия данных не сделана%1 — сообщите наладчику")
      .arg(when.isEmpty() ? QString() : " " + when);
}

// What the loaders could not take as written (the keys of setup.ini whose
// value did not read, the bogie and spring-type file, a transfer journal set
// aside): shown beside the about box, so the operator and the service
// engineer see it without a dialog stopping the start.
void DrawLoadReport() {
  QStringList parts;
  if (const QStringList keys = UnreadableSettingsLines(); !keys.isEmpty())
    parts << QStringLiteral("В setup.ini не прочитаны значения:\n") + keys.join('\n');
  parts << SpringTypesLoadReport() << DatabaseStartupReport() << BackupFailureNotice();
  parts.removeAll(QString());
  const QString report = parts.join('\n');
  if (report.isEmpty()) return;
  SetFontBold(false);
  SetTextStyle("Times New Roman", 12, kRed);
  // Word-wrapped into the free space right of the about box.
  QStringList lines = WrapText(report, 560);
  lines.removeAll(QString());
  // What does not fit is in the program's standard error output.
  constexpr int kLines = 16;
  if (lines.size() > kLines) {
    const int left = lines.size() - (kLines - 1);
    lines = lines.mid(0, kLines - 1);
    lines << QStringLiteral("... и ещё строк: %1 (в выводе ошибок программы)").arg(left);
  }
  for (int i = 0; i < lines.size(); ++i) PutText(ScreenOffsetX() + 440, 130 + 18 * i, lines[i]);
}

}  // namespace

void DrawStartPage() {
  FillScreen(kSilver);
  DrawPicture(Settings.Visual.HD ? "HD2.bmp" : "hst.bmp", 0, 0);
  TitleBar(Settings.Depo.Depo1Name + ":" + Settings.Depo.DepoName, 21, kBlue);
  StatusStrip();
  AboutBox(8, 120);
  DrawLoadReport();
  SetClockBox(true);
  DisableAllKeys();
  DrawKeyPanel();
  DrawMainMenuCaptions();
}
