#pragma once
// The camera scan of a measurement, as the service terminal's "Демо замер"
// runs it and as every measurement runs it: the line is initialised, the
// cameras are set up and switched on, the controller runs the scan (long
// 0x0C) and the cameras are read out into their files. Each step is reported
// as a line of the terminal's indicator list (ControllerLink.TerminalMemo),
// so the terminal shows a measurement's scan as it shows its own.

#include <QString>
#include <functional>

// Full: cameras and force; fast: the operator names the spring type, no
// camera set-up or read-out; accelerated: no camera set-up, read-out or force.
enum class MeasurementType { Full, Fast, Accelerated };

// The type of the mode state's two flags (at most one is on; accelerated
// wins should both be).
MeasurementType MeasurementTypeOf(bool fastMode, bool acceleratedMode);

// Long command 0x0B between the lines "Инициализация начата !" and
// "Инициализация завершена !" or "ОШИБКА ИНИЦИАЛИЗАЦИИ !". False: the line
// is not ready.
bool RunLineInitialisation();

// What the caller runs at the scan's turning points. The terminal switches
// its sensor poll off when the scan proper starts and back on when the
// read-out is over, and initialises through its own button.
struct CameraScanSteps {
  // The line initialisation at the start, and at the end when the
  // terminal's "Авто инит" is ticked; empty runs RunLineInitialisation().
  std::function<void()> initialise;
  // After the first initialisation, before "Запущен замер !".
  std::function<void()> scanStarts;
  // After the read-out, before the cameras are switched off.
  std::function<void()> readOutEnded;
};

// How a scan ended. The exchanges of the set-up and the read-out are not
// judged here (the profile files tell); the scan itself is: a controller
// that does not carry out 0x0C has made no scan, whatever the cameras hold.
enum class ScanOutcome {
  Done,
  Refused,    // long command 0x0C got no reply that counts
  DiskError,  // a camera file could not be written; error names it
};

// The whole scan. The read-out files are named after the measurement
// (STORAGE\<storageName>-cmr<n>.txt, see CameraReadOut). Every camera is
// read out even after a refused scan or a disk error, so that no file of an
// earlier scan stays beside this one's; error names the first file that
// could not be written.
ScanOutcome CameraScan(MeasurementType type, const QString& storageName,
                       const CameraScanSteps& steps, QString& error);
// The same with the copies named after the measurement storageIndex, and
// the outcome left to the files (the terminal's and the tests' scans).
void CameraScan(MeasurementType type, int storageIndex, const CameraScanSteps& steps = {});
void CameraScan(MeasurementType type, const QString& storageName,
                const CameraScanSteps& steps = {});
