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
  QString error;
  CameraScan(type, storageName, steps, error);
}

ScanOutcome CameraScan(MeasurementType type, const QString& storageName,
                       const CameraScanSteps& steps, QString& error) {
  const auto initialise = [&steps] {
    if (steps.initialise)
      steps.initialise();
    else
      RunLineInitialisation();
  };
  const bool cameras = type == MeasurementType::Full;
  error.clear();

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
  const bool scanned = ControllerLongCommand(kCmdScan).ok;
  if (type != MeasurementType::Accelerated) {
    TerminalLine(QStringLiteral("Считывание данных."));
    if (cameras) {
      for (int n = 1; n <= 4; ++n) {
        QString diskError;
        CameraReadOut(n, storageName, diskError);
        if (error.isEmpty()) error = diskError;
      }
    }
  }
  if (steps.readOutEnded) steps.readOutEnded();
  if (cameras)
    for (int n = 1; n <= 4; ++n) CameraEnable(QString::number(n), false);
  TerminalLine(QStringLiteral("Замер завершен !"));
  if (ControllerLink.TerminalAutoInit && ControllerLink.TerminalAutoInit()) initialise();
  if (!error.isEmpty()) return ScanOutcome::DiskError;
  return scanned ? ScanOutcome::Done : ScanOutcome::Refused;
}
