#pragma once
// What the operator sees while a shift change runs: the shade over the work
// area, and the notice "Идет перенос данных !" while records are moved. The
// page is not restored afterwards; the caller redraws. The program hands both
// to the database module at start-up (InstallShiftChangePage).

void ShadeShiftChangePage();
void DrawTransferNotice();

// Lets the database module's shift change draw through the two above.
void InstallShiftChangePage();
