// The start page: the header with the depot's name, the status strip, the
// about box, what the loaders could not take as written, the clock box and
// the key panel with the main menu's captions (its keys not yet live).

#include "config/settings.h"
#include "database/database.h"
#include "pages/pages.h"
#include "screen/screen.h"
#include "springs/springtypes.h"

namespace {

// What the loaders could not take as written (the bogie and spring-type
// file, a transfer journal set aside): shown beside the about box, so the operator and the service
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
