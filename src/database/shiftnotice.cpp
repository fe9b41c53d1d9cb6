#include "database/shiftnotice.h"

// Drawn by the page framework once it is part of the program.
void ShadeShiftChangePage() {}

void DrawTransferNotice() {}
