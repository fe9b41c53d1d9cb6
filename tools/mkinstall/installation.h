#pragma once
// Writes an installation folder of the line's program.

#include <QString>
#include <QStringList>

struct TInstallResult {
  bool ok = false;
  bool refused = false;   // the folder already holds an installation
  QString message;        // what went wrong, for the operator
  QStringList written;    // system paths written
  QStringList kept;       // system paths that held data and were left alone
};

// Writes every file and folder of an installation into dir. A folder that
// already holds setup.ini is refused unless force is set. Files that hold the
// line's own settings and data (setup.ini, the bogie and spring-type file,
// the calibration files, the state files, the record files) are only created
// when missing and are never overwritten, also with force; the pictures, the
// error texts and the parameter names are written anew.
TInstallResult WriteInstallation(const QString& dir, bool force);
