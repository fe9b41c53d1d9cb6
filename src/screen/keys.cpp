#include <QHash>
#include <cstdio>

#include "config/settings.h"
#include "desktop/desktop.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "platform/random.h"
#include "platform/textfile.h"
#include "screen/keycaptions.h"
#include "screen/screen.h"

namespace {

constexpr int kKeyBufferSize = 20;
const QString kKeyChars = "1234567890z#abcd";

QString KeyPictureName(int key, int state) {
  const QChar c = kKeyChars[key - 1];
  switch (state) {
    case 0: return QString("_") + c + "np.bmp";
    case 2: return QString(c) + "p.bmp";
    default: return QString(c) + "np.bmp";
  }
}

std::array<QRect, 14> CaptionBoxes;

KeyCode CodeOfChar(QChar ch) {
  if (ch >= '1' && ch <= '9') return static_cast<KeyCode>(ch.unicode() - '0');
  if (ch == '0') return 10;
  if (ch == '*') return 11;
  if (ch == '/') return 12;
  if (ch == '-') return 13;
  return 0;
}

}  // namespace

void FadeOut() {
  if (!Settings.Visual.AlphaEnable || !ScreenState.window) return;
  const int step = std::max(1, Settings.Visual.AlphaKo);
  for (int v = 255; v > 0; v -= step) {
    ScreenState.window->SetWindowAlpha(v);
    plat::SleepMs(5);
    plat::ProcessMessages();
  }
  ScreenState.window->SetWindowAlpha(0);
}

void DisableAllKeys() { ScreenState.keyMask.fill(false); }
void EnableAllKeys() {
  ScreenState.keyMask.fill(true);
  ScreenState.keyMask[0] = false;
}

void EnableKey(int key, bool enabled) {
  if (key >= 1 && key <= kKeyCount) ScreenState.keyMask[key] = enabled;
}

bool KeyEnabled(int key) { return key >= 1 && key <= kKeyCount && ScreenState.keyMask[key]; }

void SaveKeyMask(const QString& name) {
  ScreenState.savedMasks.insert(name.toLower(), ScreenState.keyMask);
  QStringList lines;
  for (int k = 1; k <= kKeyCount; ++k) lines << (ScreenState.keyMask[k] ? "1" : "0");
  QString reason;
  if (!plat::WriteTextLines("TEMP\\" + name + ".msk", lines, &reason, false))
    std::fprintf(stderr, "kalvor: cannot write TEMP\\%s.msk: %s\n", qPrintable(name),
                 qPrintable(reason));
}

void LoadKeyMask(const QString& name) {
  const auto bytes = plat::ReadFileBytes("TEMP\\" + name + ".msk");
  std::array<bool, kKeyCount + 1> mask{};
  bool ok = false;
  if (bytes) {
    const QList<QByteArray> words = bytes->simplified().split(' ');
    if (words.size() >= kKeyCount) {
      ok = true;
      for (int k = 1; k <= kKeyCount; ++k) {
        bool isInt = false;
        const int v = words[k - 1].toInt(&isInt);
        if (!isInt) ok = false;
        mask[k] = isInt && v == 1;
      }
    }
  }
  if (!ok) {
    // A missing or short mask file: the mask saved in memory, or every key
    // disabled when this run never saved one under that name.
    const auto it = ScreenState.savedMasks.constFind(name.toLower());
    mask = it != ScreenState.savedMasks.constEnd() ? *it : std::array<bool, kKeyCount + 1>{};
    std::fprintf(stderr, "kalvor: TEMP\\%s.msk is missing or damaged\n", qPrintable(name));
  }
  ScreenState.keyMask = mask;
}

void DrawKeyButton(int key, int state) {
  if (key < 1 || key > kKeyCount) return;
  DrawPicture(KeyPictureName(key, state), ScreenOffsetX() + 74 * key - 28, 679);
}

void DrawKeyPanel() {
  const int off = ScreenOffsetX();
  DrawPicture("panel1024.bmp", off + 1, 618);
  if (Settings.Visual.KeyLight) FillBox(off + 10, 636, off + 1018, 680, kWhite);
  for (int k = 1; k <= 13; ++k) DrawKeyButton(k, KeyEnabled(k) ? 1 : 0);
  CaptionBoxes.fill(QRect());
  SetFontBold(false);
  SetTextStyle("CourierNew", 6, kGrey);
  const struct {
    const char* text;
    int x;
  } labels[] = {{"[End]", 65},  {"[PgDn]", 211}, {"[Home]", 507},  {"[PgUp]", 655},
                {"[Ins]", 734}, {"[Enter]", 1100}, {"[.]", 1183}};
  for (const auto& l : labels) PutText(off + l.x, 742, l.text);
  PutText(off + 7, 749, "v." + Settings.Global.SoftVer);
  RepaintScreen();
}

void DrawKeyCaption(const QString& line1, const QString& line2, int key) {
  switch (Settings.Visual.KeyFont) {
    case 1:
      ScreenState.fontName = "Times new roman";
      ScreenState.fontSize = 14;
      SetFontBold(true);
      break;
    case 2:
      ScreenState.fontName = "Impact";
      ScreenState.fontSize = 13;
      SetFontBold(false);
      break;
    case 3:
      ScreenState.fontName = "Courier New";
      ScreenState.fontSize = 12;
      SetFontBold(false);
      break;
    default: break;
  }
  const int centre = ScreenOffsetX() + 74 * key;
  const int size = ScreenState.fontSize;
  const QString lines[2] = {line1, line2};
  int sizes[2] = {size, size};
  int xs[2] = {0, 0};
  QRect box;
  for (int i = 0; i < 2; ++i) {
    if (lines[i].isEmpty()) continue;
    while (TextWidth(lines[i]) > kKeyCaptionWidth && ScreenState.fontSize > 6) --ScreenState.fontSize;
    sizes[i] = ScreenState.fontSize;
    const int w = TextWidth(lines[i]);
    xs[i] = centre - w / 2;
    box |= QRect(xs[i], 635 + 20 * i, w, TextHeight(lines[i]) + 1);
    ScreenState.fontSize = size;
  }
  // Black text with a white edge below: every white first, then the black.
  for (QRgb colour : {kWhite, kBlack}) {
    SetFontColour(colour);
    for (int i = 0; i < 2; ++i) {
      ScreenState.fontSize = sizes[i];
      PutText(xs[i], 635 + 20 * i + (colour == kWhite ? 1 : 0), lines[i]);
    }
  }
  ScreenState.fontSize = size;
  if (key >= 1 && key <= 13) CaptionBoxes[key] = box;
  SetFontBold(false);
}

QRect KeyCaptionBox(int key) { return key >= 1 && key <= 13 ? CaptionBoxes[key] : QRect(); }

void Pause(uint32_t ms) { plat::WaitMs(ms); }

void ScaledPause(uint32_t ms) { Pause(ScaledPauseMs(ms)); }

void SetClockBox(bool on) { ScreenState.clockBox = on; }

void KeyCharTyped(QChar ch) {
  if (ScreenState.keyBuffer.size() >= kKeyBufferSize) {
    plat::Beep();
    return;
  }
  ScreenState.keyBuffer.append(ch);
}

QChar KeyCharAt(int x, int y) {
  if (!(y > 678 && y <= 741)) return QChar(0);
  static const char chars[] = "1234567890*/-";
  for (int k = 1; k <= 13; ++k) {
    const int centre = ScreenOffsetX() + 74 * k;
    if (x >= centre - 28 && x <= centre + 28) return QChar(chars[k - 1]);
  }
  return QChar(0);
}

void CanvasMouseDown(int button, int x, int y) {
  if (ScreenState.assemblyFormFlag && button == 2 && ScreenState.showAssembly)
    ScreenState.showAssembly();
  if (y <= 7 && x >= ScreenOffsetX() + 1016) KeyCharTyped(QChar(27));
  const QChar ch = KeyCharAt(x, y);
  if (!ch.isNull()) KeyCharTyped(ch);
}

void CanvasMouseMove(int x, int y) {
  ScreenState.mouseX = x;
  ScreenState.mouseY = y;
}

QChar TakeKeyChar() {
  if (ScreenState.keyBuffer.isEmpty()) return QChar(0);
  const QChar ch = ScreenState.keyBuffer.front();
  ScreenState.keyBuffer.remove(0, 1);
  return ch;
}

namespace {

QString WithLeadingZero(QString s, QChar separator) {
  if (s.size() > 1 && s[1] == separator) s.prepend('0');
  return s;
}

void DrawClockBox() {
  const int off = ScreenOffsetX();
  DrawPanelBox(off + 810, 8, off + 1006, 100);
  const QDateTime now = plat::CurrentDateTime();
  const QString time = WithLeadingZero(plat::LongTimeString(now), ':');
  const QString date = WithLeadingZero(plat::ShortDateString(now.date()), '.');
  SetFontBold(true);
  SetTextStyle("CourierNew", 32, kDarkGrey);
  PutText(off + 822, 16, time);
  SetFontColour(kLightGreen);
  PutText(off + 820, 14, time);
  SetTextStyle("CourierNew", 10, kDarkGrey);
  PutText(off + 874, 70, date);
  SetFontColour(kLightGreen);
  PutText(off + 873, 69, date);
  const int pending = ScreenState.pendingPrintCount;
  if (pending >= 1 && pending <= 4) {
    DrawPicture("Miniprinter.bmp", off + 964, 78);
    SetFontColour(kGrey);
    PutText(off + 993, 79, QString::number(pending));
  }
}

}  // namespace

KeyCode PollKey() {
  plat::SleepMs(50);
  plat::ProcessMessages();
  // The emulated measurements draw from the generator: seed it from the clock.
  plat::EmulationRandom().seed(plat::TickCount());
  KeyCode result = 0;
  // Num Lock is not forced on: KeyEventChars maps the keypad keys to their
  // digits whatever its state.
  plat::ProcessMessages();
  QChar ch = TakeKeyChar();
  if (!ch.isNull()) {
    if (ch == '_' && !Settings.Global.Emul && Settings.Hard.TerminalEnable) {
      if (ScreenState.showTerminal) ScreenState.showTerminal();
    } else if (ch == '!' && !Settings.Global.Emul && Settings.Mathem.MathVisEnable) {
      if (ScreenState.showMathVis) ScreenState.showMathVis();
    } else if (ch.unicode() == 27) {
      FadeOut();
      EndProgram(0);
    }
    const KeyCode code = CodeOfChar(ch);
    if (code != 0 && KeyEnabled(code)) {
      DrawKeyButton(code, 2);
      RepaintScreen();
      Pause(static_cast<uint32_t>(std::max(0, Settings.Debug.KeyPressDelay)));
      DrawKeyButton(code, 1);
      RepaintScreen();
      result = code;
    }
  }
  if (ScreenState.clockBox) DrawClockBox();
  const int off = ScreenOffsetX();
  ScreenState.fontName = "CourierNew";
  SetFontColour(kDarkGrey);
  PutText(off + 1015, -5, "x");
  SetFontColour(kBlack);
  PutText(off + 1014, -6, "x");
  if (Settings.Debug.ShowMousePos) {
    FillBox(8, 8, 160, 28, kWhite);
    SetTextStyle("Courier", 16, kBlack);
    PutText(10, 10,
            QString("%1 %2 %3")
                .arg(ScreenState.mouseX)
                .arg(ScreenState.mouseY)
                .arg(ch.isNull() ? QString() : QString::number(ch.unicode())));
  }
  RepaintScreen();
  return result;
}
