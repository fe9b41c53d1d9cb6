#include "platform/version.h"

// Written by the build from the project's version (CMakeLists.txt at the
// root), so a new version recompiles this file alone.
#include "kalvor_fileversion.h"

namespace plat {

QString FileVersion() {
  return QStringLiteral(KALVOR_FILE_VERSION);
}

}  // namespace plat
