#pragma once
// The print sheet: every paper output of the line. A sheet is a 4000 x 5600
// bitmap on which up to four reports (a measurement, the statistics of the
// shift or of a period, an assembled spring set) are drawn one under the
// other. It is printed when the fourth report is added or when the operator
// asks for a new sheet. Every sheet that goes to the printer, and every sheet
// that cannot be printed, is also kept as a PDF under Report\ so that a lost
// page can be printed again.

#include <QImage>
#include <QString>
#include <functional>

struct MeasurementRecord;
struct SetRecord;

enum class StatisticsKind {
  Shift,   // Temp\norms.txt, "Статистика за смену"
  Period,  // Temp\Ynorms.txt, "Статистика"
};

struct TPrintSheet {
  QImage Sheet;              // the pending sheet; null while no report waits
  int SheetReportCount = 0;  // reports on the pending sheet, 0..3 between operations
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
};

extern TPrintSheet PrintSheet;

// Each adds one report to the pending sheet, starting a sheet with its header
// when none is pending, and finishes and prints the sheet with its fourth
// report. False (and nothing added) when the report could not be made: a
// missing texts\pparam.txt or norms file, a missing emblem; the reason is
// in PrintSheet.LastError and was shown.
bool AddMeasurementReport(const MeasurementRecord& record);
bool AddStatisticsReport(StatisticsKind kind);
bool AddSetReport(const SetRecord& record);

// Finishes and prints the pending sheet when it holds a report; else nothing.
// With [Global] Print_in_file the sheet goes to Temp\printpage.bmp and is
// opened with the desktop's program instead of being printed.
void PrintPendingSheet();

// Tests: drop the pending sheet and forget all state.
void ResetPrintSheet();
