#pragma once
// A complete bogie and spring-type file for a new installation: two bogie
// types laid out the way the parameter editor expects (bogie type 1 on
// [Spring1]..[Spring3], bogie type 2 on [Spring4] and [Spring5]), every key
// written, with working norms.

#include <QString>

// The file name an installation gives setup.ini's [Params] ChassieIniFilename.
inline constexpr const char* kDefaultSpringTypesFile = "chassie.ini";

QString DefaultSpringTypesIniText();
