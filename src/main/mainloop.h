#pragma once
// The spine of the program: the start-up sequence (start page, ports,
// service windows, shift change, check of the line) and the main-menu loop
// that hands each key to its page. The pages themselves live in pages/.

void MainLoop();
