#pragma once
// The program folder, the working folder, and the mapping of the system's
// Windows-style relative paths ("Report\base.bin", "TEMP\setup.msk") onto the
// file system. Nothing else in the program builds paths by hand.

#include <QString>

namespace plat {

// Sets both the program folder and the working folder (--home DIR).
void SetHome(const QString& dir);

// The folder setup.ini is read from: the executable's folder unless --home.
QString ProgramDir();
// The folder every relative path of the system is taken from.
QString WorkDir();
void SetProgramDir(const QString& dir);
void SetWorkDir(const QString& dir);

// Maps a system path to a file-system path. Backslashes become separators
// and every component of a relative path is matched without regard to letter
// case against what exists, so "TEMP\x.msk" finds the folder "Temp". Missing
// components are kept as written (the file is then created under that name).
// A relative path is taken from the working folder; an absolute one is
// matched from the root.
QString MapPath(const QString& systemPath);

// Same, relative to the program folder (setup.ini).
QString MapProgramPath(const QString& systemPath);

// Makes sure the folder that holds the mapped file exists.
bool EnsureParentDir(const QString& mappedPath);

}  // namespace plat
