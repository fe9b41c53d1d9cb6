#pragma once
// The print sheet: every paper output of the line. A sheet is a 4000 x 5600
// bitmap on which up to four reports (a measurement, the statistics of the
// shift or of a period, an assembled spring set) are drawn one under the
// other. It is printed when the fourth report is added or when the operator
// asks for a new sheet. Every sheet that goes to the printer, and every sheet
// that cannot be printed, is also kept as a PDF under Report\ so that a lost
// page can be printed again.

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <functional>
#include <vector>

class QPainter;

struct MeasurementRecord;
struct SetRecord;

enum class StatisticsKind {
  Shift,   // Temp\norms.txt, "Статистика за смену"
  Period,  // Temp\Ynorms.txt, "Статистика"
};

// The size of a sheet in its own pixels.
constexpr int kSheetWidth = 4000;
constexpr int kSheetHeight = 5600;  // width x 1.4

// One drawing operation of a sheet, in sheet pixels. The sheet is kept as
// these as well as in its bitmap: the printer and the PDF copy replay them,
// so that their text stays text and their lines stay sharp.
struct SheetOp {
  QPoint at;      // top left corner of the text cell or of the picture
  QString text;   // one line of text; empty for a picture
  QFont font;
  QImage picture;
};

struct TPrintSheet {
  QImage Sheet;              // the pending sheet; null while no report waits
  // Reports on the pending sheet, 0..3 between operations; 4 when a full
  // sheet could not be kept (its copy not written) and waits for a retry.
  int SheetReportCount = 0;
  // The Report\ PDF copy of the last finished sheet, and what became of it.
  QString LastArchivePath;
  QString LastError;         // empty when the last operation went through
  // What the operator must be told (a sheet that could not be printed and
  // where its copy is, a missing text file). Installed by the program; unset,
  // the message goes to stderr only.
  std::function<void(const QString& text)> ShowMessage;
  // Called after a sheet went to the printer (the service terminal's timer is
  // switched off then).
  std::function<void()> AfterPrint;
  // The pending sheet's drawing, in the order it was drawn on Sheet.
  std::vector<SheetOp> Drawing;
  // The sheet's current font (name of the font table and size in points);
  // the separator line is written in it.
  QString FontName = QStringLiteral("TimesNewRoman");
  int FontSize = 72;
};

extern TPrintSheet PrintSheet;

// Each adds one report to the pending sheet, starting a sheet with its header
// when none is pending, and finishes and prints the sheet with its fourth
// report. False (and nothing added) when the report could not be made: a
// missing or short texts\pparam.txt or norms file; the reason is in
// PrintSheet.LastError and was shown. A missing emblem does not stop the
// report: the sheet is started without it, and the message names the file.
bool AddMeasurementReport(const MeasurementRecord& record);
bool AddStatisticsReport(StatisticsKind kind);
bool AddSetReport(const SetRecord& record);

// Finishes and prints the pending sheet when it holds a report; else nothing.
// With [Global] Print_in_file the sheet goes to Temp\printpage.bmp and is
// opened with the desktop's program instead of being printed.
// A sheet whose PDF copy cannot be written is not printed and stays pending
// with its reports (the reason in PrintSheet.LastError, and shown).
void PrintPendingSheet();
// The end of the program: the pending sheet is kept as its PDF copy under
// Report\ without being printed. Returns the copy's name; empty when no
// sheet was pending, or with the reason in PrintSheet.LastError when the
// copy could not be written.
QString KeepPendingSheet();

// Text on the pending sheet in its current font at (x, y), the top left of
// the first line's cell. Lines are separated by CR, LF or CR LF; each further
// line goes one text height lower. Returns the y below the last line.
int SheetText(int x, int y, const QString& text);
// The same with each line centred on the sheet.
int SheetCentredText(int y, const QString& text);

// Replays the drawing of the pending sheet in sheet pixels (white paper,
// clipped to the sheet).
void PaintSheet(QPainter& painter, const std::vector<SheetOp>& drawing);

// Tests: drop the pending sheet and forget all state.
void ResetPrintSheet();
