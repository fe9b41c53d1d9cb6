#pragma once
// The program's own four-part file version, set by the build.

#include <QString>

namespace plat {

inline QString FileVersion() {
#ifdef KALVOR_VERSION_MAJOR
  return QString("%1.%2.%3.%4")
      .arg(KALVOR_VERSION_MAJOR)
      .arg(KALVOR_VERSION_MINOR)
      .arg(KALVOR_VERSION_PATCH)
      .arg(KALVOR_VERSION_TWEAK);
#else
  return QString();
#endif
}

}  // namespace plat
