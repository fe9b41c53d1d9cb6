#pragma once
// Inside the set archive page: the state of the open page, so that the tests
// can watch it.

#include <QString>

#include "database/records.h"

// The set archive while it is open, and the set shown last.
struct TSetArchiveView {
  int count = 0;   // sets listed: SetCount() on entry
  int cursor = 0;  // 0-based position of the selected set (0 when count is 0)
  int page = 0;    // cursor / 14
  int row = 0;     // row of the cursor on its page, 1..14; 0 when none is marked
  // The set under the cursor as DrawSetDetails showed it; key 10 prints
  // this copy. It stays after the page returns, as the last set shown.
  SetRecord selected;
  // False while the selected set is not one of the list shown: an empty
  // archive, or a set that could not be read.
  bool selectedValid = false;
  // Why Report\Tel.bin cannot be read (a folder in its place, no right to
  // read it); empty when it can, also when it does not exist.
  QString error;
};

extern TSetArchiveView SetArchive;
