#pragma once
// The program's own four-part file version, "major.minor.release.build".

#include <QString>

namespace plat {

QString FileVersion();

}  // namespace plat
