#include "link/camerascan.h"

#include <QString>

#include "link/camera.h"
#include "link/commands.h"
#include "link/link.h"

MeasurementType MeasurementTypeOf(bool fastMode, bool acceleratedMode) {
  if (acceleratedMode) return MeasurementType::Accelerated;
  return fastMode ? MeasurementType::Fast : MeasurementType::Full;
}

bool RunLineInitialisation() {
  TerminalLine(QStringLiteral("Инициализация начата !"));
  const bool ok = ControllerLongCommand(kCmdInitLine).ok;
  TerminalLine(ok ? QStringLiteral("Инициализация завершена !")
                  : QStringLiteral("ОШИБКА ИНИЦИАЛИЗАЦИИ !"));
  return ok;
}

void CameraScan(MeasurementType type, int storageIndex, const CameraScanSteps& steps) {
  CameraScan(type, QString::number(storageIndex), steps);
}

void CameraScan(MeasurementType type, const QString& storageName, const CameraScanSteps& steps) {
  const auto initialise = [&steps] {
    if (steps.initialise)
      steps.initialise();
    else
      RunLineInitialisation();
  };
  const bool cameras = type == MeasurementType::Full;
  ControllerLink.DiskError.clear();

  initialise();
  if (steps.scanStarts) steps.scanStarts();
  TerminalLine(QStringLiteral("Запущен замер !"));
  if (cameras) {
    for (int n = 1; n <= 4; ++n) {
      TerminalLine(QStringLiteral("Настройка камеры №") + QString::number(n));
      CameraSetup(n);
    }
    for (int n = 1; n <= 4; ++n) CameraEnable(QString::number(n), true);
  }
  ControllerLongCommand(kCmdScan);
  if (type != MeasurementType::Accelerated) {
    TerminalLine(QStringLiteral("Считывание данных."));
    if (cameras) {
      // Every camera is read out even after a disk error, so that no file
      // of the previous scan stays beside this one's; the first error is
      // the one kept for the caller.
      QString diskError;
      for (int n = 1; n <= 4; ++n) {
        CameraReadOut(n, storageName);
        if (diskError.isEmpty()) diskError = ControllerLink.DiskError;
      }
      ControllerLink.DiskError = diskError;
    }
  }
  if (steps.readOutEnded) steps.readOutEnded();
  if (cameras)
    for (int n = 1; n <= 4; ++n) CameraEnable(QString::number(n), false);
  TerminalLine(QStringLiteral("Замер завершен !"));
  if (ControllerLink.TerminalAutoInit && ControllerLink.TerminalAutoInit()) initialise();
}
