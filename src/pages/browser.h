#pragma once
// Inside the database browser: the state of the open page and the steps it
// draws with, so that the tests and the benchmarks can watch and time them.

#include <vector>

#include "pages/recordlist.h"

class QDate;

// The browser while it is open.
struct TBrowserView {
  int count = 0;    // records listed: MeasurementCount() on entry and after a date range
  int current = 0;  // 0-based position of the current record (0 when count is 0)
  int row = 0;      // highlighted line 1..14; 0 when none is highlighted
};

extern TBrowserView Browser;

// Lines of the list on one page.
constexpr int kBrowserLines = kListLines;

// The line of the list that shows position `current`, 1..14.
int BrowserRow(int current);

// Removes the highlight, draws the list of the page of Browser.current, the
// measurement sheet of the current record, the scroll bar and (with
// VNenable) the wagon numbers, and highlights the current line. An empty
// database gets an empty list and sheet, a line that says so and no thumb.
void RedrawBrowser();

// Turns the white pixels of a line of the list cyan (on) or its cyan pixels
// back to white (off). Row 0 does nothing.
void HighlightBrowserRow(int row, bool on);

// Positions of Report\base.bin (the filter off) whose identifier names a day
// from `start` to `end`, both included, in file order. An identifier whose
// date is not eight digits of a calendar date names no day and is left out.
// False when the file could not be read (DatabaseError() says why).
bool MeasurementsInDateRange(const QDate& start, const QDate& end, std::vector<int>& positions);
