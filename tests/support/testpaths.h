// Where this build's programs, the sources and the depot tests' cluster lie.
// The values are this build's own (tests/CMakeLists.txt writes them into
// build/tests/paths/testpaths.cpp), kept out of every other object so
// that a clone in another folder takes the test files from the compiler
// cache and recompiles only that one small file.
#pragma once

#include <QString>

namespace testpaths {

QString BuiltExe();
QString Mkinstall();
QString Springdata();
QString Faultfs();
QString WholefileProbe();
QString SourceDir();
// The depot tests' private PostgreSQL cluster: its folder (the socket's
// host) and its port.
QString PgHost();
QString PgPort();
QString Dbtool();
QString Depot();

}  // namespace testpaths

#define KALVOR_BUILT_EXE testpaths::BuiltExe()
#define KALVOR_MKINSTALL testpaths::Mkinstall()
#define KALVOR_SPRINGDATA testpaths::Springdata()
#define KALVOR_FAULTFS testpaths::Faultfs()
#define KALVOR_WHOLEFILE_PROBE testpaths::WholefileProbe()
#define KALVOR_SOURCE_DIR testpaths::SourceDir()
#define KALVOR_PG_HOST testpaths::PgHost()
#define KALVOR_PG_PORT testpaths::PgPort()
#define KALVOR_DBTOOL testpaths::Dbtool()
#define KALVOR_DEPOT testpaths::Depot()
