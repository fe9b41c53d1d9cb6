// The about box on the start page: what the line is, the program's name (red
// and with the words of emulation in emulation) and the maker's lines.

#include "config/settings.h"
#include "pages/pages.h"
#include "screen/screen.h"

const char* const kEmulationText = "РЕЖИМ ЭМУЛЯЦИИ: линия не подключена";

const char* const kMakerLines[3] = {
    "Сервисная служба, г. Энск",
    "тел.: +7 (000) 000-00-00",
    "e-mail: service@line.local",
};

void AboutBox(int x, int y) {
  const int ax = ScreenOffsetX() + x;
  DrawPanelBox(ax, y, ax + 400, y + 300);
  SetTextStyle("Times New Roman", 18, kBlue);
  PutShadowText(ax + 50, y + 20, "Автоматизированная линия", 2, 2, kSilver);
  PutShadowText(ax + 70, y + 40, "измерения и сортировки", 2, 2, kSilver);
  PutShadowText(ax + 34, y + 60, "пружин рессорного комплекта", 2, 2, kSilver);
  PutShadowText(ax + 96, y + 80, "грузовых вагонов", 2, 2, kSilver);
  SetTextStyle("Impact", 42, Settings.Global.Emul ? kRed : kNavy);
  PutShadowText(ax + 80, y + 114, "Kalvor-М", 2, 2, kSilver);
  // Not only by its colour: the operator must not take emulated
  // measurements for real ones.
  if (Settings.Global.Emul) {
    SetTextStyle("Impact", 16, kRed);
    PutShadowText(ax + 80, y + 168, "РЕЖИМ ЭМУЛЯЦИИ", 1, 1, kSilver);
  }
  SetTextStyle("Times New Roman", 12, kBlack);
  PutShadowText(ax + 160, y + 194, "Разработка и производство:", 1, 1, kSilver);
  PutShadowText(ax + 160, y + 210, kMakerLines[0], 1, 1, kSilver);
  PutShadowText(ax + 160, y + 226, kMakerLines[1], 1, 1, kSilver);
  PutShadowText(ax + 160, y + 242, kMakerLines[2], 1, 1, kSilver);
  DrawPicture("emblem.bmp", ScreenOffsetX() + 40, 312);
  SetTextStyle("Times New Roman", 12, kBlack);
}
