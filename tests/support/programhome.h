#pragma once
// The program's modules opened on an installation as the start-up opens
// them, for the tests of pages and sheets (they link the print module and
// everything below it).

#include <QString>

namespace testsupport {

// A complete installation at dir made the program's home, every module of
// the program afresh, the settings and the bogie file loaded as the start-up
// loads them, and keys taken without delay: what a page meets after the
// start-up. False when the installation could not be written.
bool OpenProgramHome(const QString& dir);
// Every module of the program back to its state before the start-up, and
// no pump hook (a test's TearDown).
void ResetProgramModules();

}  // namespace testsupport
