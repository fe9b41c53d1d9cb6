#pragma once
// The operator screen: one canvas on one window, the operations the pages
// (in pages/) draw with, the key panel with its mask, the key buffer fed by
// the keyboard and mouse, and the waits. Every page is laid out for a
// 1024 x 768 area; callers add ScreenOffsetX to their x coordinates
// (TitleBar adds it itself), except for FillScreen, the header picture and
// ShadeWorkArea.

#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>

class QFont;
class QPainter;

// Colours by RGB.
constexpr QRgb kWhite = 0xFFFFFF;
constexpr QRgb kBlack = 0x000000;
constexpr QRgb kSilver = 0xC0C0C0;
constexpr QRgb kLightGreen = 0xC0DCC0;
constexpr QRgb kGrey = 0xA0A0A4;
constexpr QRgb kDarkGrey = 0x808080;
constexpr QRgb kBlue = 0x0000FF;
constexpr QRgb kNavy = 0x000080;
constexpr QRgb kRed = 0xFF0000;
constexpr QRgb kDarkRed = 0x800000;
constexpr QRgb kGreen = 0x008000;
constexpr QRgb kCyan = 0x00FFFF;

// Key codes of the key panel: 1..9 the keys "1".."9", 10 "0", 11 "z" (the
// keypad "*"), 12 "#" ("/"), 13 "a" ("-"); 0 no key. 14..16 exist only in
// the mask and the picture names.
using KeyCode = uint8_t;
constexpr int kKeyCount = 16;

// The window that shows the canvas (the main form implements it).
class IScreenWindow {
 public:
  virtual ~IScreenWindow() = default;
  virtual void RepaintCanvas() = 0;            // show the canvas now
  virtual void SetWindowAlpha(int alpha) = 0;  // 0..255
  virtual void SetAlphaBlending(bool on) = 0;
  virtual void SetBorder(bool withCaption) = 0;
  virtual void SetCaption(const QString& caption) = 0;
  virtual void SetCursorHidden(bool hidden) = 0;
  virtual void SetGeometry(int x, int y, int width, int height) = 0;  // client size
  virtual void ResizeCanvas(int width, int height) = 0;
};

struct TScreenState {
  QImage canvas;  // the page being shown (RGB32)
  IScreenWindow* window = nullptr;
  int offsetX = 0;            // ScreenOffsetX
  QSize startScreenSize;      // screen size found at start-up
  QSize fillSize{1025, 769};  // canvas width + 1, height + 1 (FillScreen)
  // Current font of the canvas.
  QString fontName = "Times New Roman";
  int fontSize = 12;
  bool fontBold = false;
  QRgb fontColour = kBlack;
  // Key panel.
  std::array<bool, kKeyCount + 1> keyMask{};  // [1..16]
  // Masks saved in this run by name: the fallback when a mask file can't be
  // read back, so a page never returns with a panel of dead keys.
  QHash<QString, std::array<bool, kKeyCount + 1>> savedMasks;
  QString keyBuffer;    // at most 20 characters
  KeyCode lastKey = 0;  // LastKey
  bool clockBox = false;
  int mouseX = 0;
  int mouseY = 0;
  bool assemblyFormFlag = false;  // a right click opens the assembly form
  int pendingPrintCount = 0;      // results waiting on the unprinted print sheet (1..3; 4: a full one waits)
  // Service windows reached from PollKey and the canvas; set by the start-up
  // when those forms exist.
  std::function<void()> showTerminal;  // "_" : service terminal TForm4
  std::function<void()> showMathVis;   // "!" : mathematics visualiser TForm30
  std::function<void()> showAssembly;  // right click in sorting: TForm2
  std::function<void()> showParameterEditor;  // limits page with " Vred": TfVred, modal
  // Run by EndProgram before the process ends: the start-up switches the
  // line's press off here.
  std::function<void()> beforeEnd;
};

extern TScreenState ScreenState;

// Shorthands of the page code.
inline QImage& Screen() {
  return ScreenState.canvas;
}
inline int ScreenOffsetX() {
  return ScreenState.offsetX;
}
inline KeyCode& LastKey() {
  return ScreenState.lastKey;
}

// Fixes ScreenOffsetX from [Visual] HD (module start-up, after the settings).
void InitScreenModule();
// Tests: a fresh 1024 x 768 canvas, empty buffer and mask, no window.
void ResetScreenModule(int width = 1024, int height = 768);
void AttachScreenWindow(IScreenWindow* window);

// --- Window -----------------------------------------------------------------
void SetupMainWindow(int layout);
void SetDisplayModeSize(int width, int height);
void RestoreDisplayMode();  // back to the size remembered at start-up, when FullScreen
// Every way out of the program but the shutdown page (which does the same
// in its own order): beforeEnd, the screen mode back, the process ended.
[[noreturn]] void EndProgram(int code);
void RepaintScreen();
// Fades the window out when [Visual] AlphaEnable is on (alpha 255 down to 0
// in steps of AlphaKo every 5 ms); otherwise does nothing.
void FadeOut();

// --- Drawing ----------------------------------------------------------------
void FillScreen(QRgb colour);
void FillBox(int x1, int y1, int x2, int y2, QRgb colour);  // right/bottom exclusive
void DrawPanelBox(int x1, int y1, int x2, int y2);
void DrawLine(int x1, int y1, int x2, int y2, QRgb colour);  // end point excluded
void DrawPicture(const QString& file, int x, int y);
QSize PictureSize(const QString& file);  // (0,0) when missing
void SetTextStyle(const QString& fontName, int size, QRgb colour);
void SetFontBold(bool bold);
void SetFontColour(QRgb colour);
void PutText(int x, int y, const QString& text);
// The same with a painter of any device and a font of the font table: the
// pages and the print sheet place text alike.
void PutTextCell(QPainter& p, const QFont& font, QRgb colour, int x, int y, const QString& text);
void PutShadowText(int x, int y, const QString& text, int dx, int dy, QRgb shadow);
int TextWidth(const QString& text);
int TextHeight(const QString& text);
// The text broken into lines no wider than `width` in the current font: at
// blanks; a word wider than a line on its own (a file's path) after one of
// "/\-_.,:" where it has one, else where it must be; each line break of the
// text starts a new line.
QStringList WrapText(const QString& text, int width);
// The text wrapped to `width` and written from (x, y) in the current font,
// a line every `lineHeight` pixels, at most `maxLines` of them; a text that
// does not fit ends in "...". Returns the number of lines written.
int PutWrappedText(int x, int y, int width, int lineHeight, int maxLines, const QString& text);
void ShadeWorkArea();
// The silver ground of a page over the whole work area, from the canvas's
// left edge down to the key panel, so that nothing of the page before (the
// white rim of its boxes, the status strip's mode picture) shows at its edges.
void FillWorkArea();
void TitleBar(const QString& title, int titleX, QRgb colour);
void SavePage(const QString& name);
void RestorePage(const QString& name);

// --- Keys -------------------------------------------------------------------
void DisableAllKeys();
void EnableAllKeys();
void EnableKey(int key, bool enabled = true);
bool KeyEnabled(int key);
void SaveKeyMask(const QString& name);
void LoadKeyMask(const QString& name);
void DrawKeyButton(int key, int state);  // 0 disabled, 1 enabled, 2 pressed
void DrawKeyPanel();
void DrawKeyCaption(const QString& line1, const QString& line2, int key);
KeyCode PollKey();
void Pause(uint32_t ms);
void ScaledPause(uint32_t ms);
void SetClockBox(bool on);

// --- Input events -----------------------------------------------------------
// A typed character: appended to KeyBuffer (beep and drop beyond 20).
void KeyCharTyped(QChar ch);
// A mouse press on the canvas (button: 1 left, 2 right).
void CanvasMouseDown(int button, int x, int y);
void CanvasMouseMove(int x, int y);
// The character a key click area maps to, or 0 outside every area.
QChar KeyCharAt(int x, int y);
// Takes the first character of the key buffer (0 when empty).
QChar TakeKeyChar();
