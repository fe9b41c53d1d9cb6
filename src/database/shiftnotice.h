#pragma once
// What the operator sees while a shift change runs: the shade over the work
// area, and the notice "Идет перенос данных !" while records are moved. The
// page is not restored afterwards; the caller redraws.

void ShadeShiftChangePage();
void DrawTransferNotice();
