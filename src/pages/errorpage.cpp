// The error page: a fault of the line, its code and the text of
// Errors\<code>.err; its one key leads to the shutdown page.

#include <QFileInfo>
#include <cstdio>

#include "config/settings.h"
#include "link/commands.h"
#include "pages/pages.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "screen/pageguard.h"
#include "screen/screen.h"

QStringList ErrorPageLines(int code) {
  const QString file = QString("Errors\\%1.err").arg(code);
  const auto lines = plat::ReadTextLines(file);
  if (!lines) {
    const bool exists = QFileInfo::exists(plat::MapPath(file));
    return {QString(exists ? "Не удалось прочитать описание ошибки:" : "Нет описания ошибки:"),
            file};
  }
  // At least one line is drawn, even for an empty file.
  if (lines->isEmpty()) return {QString()};
  return *lines;
}

void ShowErrorPage(int code) {
  const int off = ScreenOffsetX();
  // The service engineer finds the code in the program's output too.
  std::fprintf(stderr, "kalvor: error page %d\n", code);
  // The operator may take a while to come: the press is stopped now, not
  // when the program ends.
  SwitchLineOff();
  {
    const PageGuard guard("preerror", "error");
    DisableAllKeys();
    EnableKey(11);
    FillBox(off + 0, 0, off + 1024, 768, kBlue);
    SetTextStyle("Impact", 72, kWhite);
    PutText(off + 310, 127, "Внимание ! ");
    SetTextStyle("Impact", 48, kWhite);
    PutText(off + 30, 220, "Обнаружена аварийная ситуация !");
    PutText(off + 347, 485, "Код ошибки:" + QString::number(code));
    // The advice goes below the code, above the key panel: as one line it
    // would run past the page's right edge, and at the panel's height the
    // panel would cover it.
    SetTextStyle("Courier", 16, kWhite);
    PutText(off + 100, 566, "Перезагрузите установку, и если ошибка повторится -");
    PutText(off + 100, 588, "cвяжитесь со службой поддержки !");
    const QStringList lines = ErrorPageLines(code);
    for (int i = 0; i < lines.size(); ++i) PutText(off + 340, 327 + 18 * i, lines[i]);
    DrawKeyPanel();
    DrawKeyCaption("Выключить", "установку", 11);
    while (PollKey() != 11) {
    }
  }
  LastKey() = 0;
  ShutdownPage();
}
