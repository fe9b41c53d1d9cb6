#pragma once
// What the two record lists of the archive pages share (the database
// browser and the set archive): 14 records to a page, the cursor's row, the
// cyan band of the cursor's row, the frame around the list
// and the scroll bar beside it.

// Records on one page of a list.
constexpr int kListLines = 14;

// The row of the list (1..14) that shows 0-based position `cursor`.
int ListRow(int cursor);

// Turns the white pixels of a row's band cyan (on) or its cyan pixels back
// to white (off); the text in the band is left as it is. Row 0 does nothing.
void HighlightListRow(int row, bool on);

// Clears the line of the total below the list and draws the black frame
// around the list, whose bottom is open from x + 96 to x + gapEnd for the
// total.
void DrawListFrame(int gapEnd);

// The scroll bar at the right edge of the list; no thumb when the list is
// empty.
void DrawListScrollBar(int count, int cursor);
