// Where the programs find what they ship with (the version, the player module, the help book and
// the default files), whether they run from their build folder or installed.
//
// In the build folder the player module and the help book sit beside the programs.  Installed,
// the programs are in PREFIX/bin, the module in a private library folder (PREFIX/lib/vema) and
// the default files and the help book in PREFIX/share/vema; the programs find them from their own
// place, so an installation can be moved as a whole (a DESTDIR staging folder works too).
#pragma once

#include <optional>
#include <string>

namespace vema {

// The version of this build ("1.02").
const char* VersionText();

// The folder of the running program; "" when it cannot be told.
std::string ProgramDir();

// PREFIX/share/vema of a program installed in PREFIX/bin, when that folder exists; nullopt for a
// program in its build folder.
std::optional<std::string> InstalledDataDir(const std::string& programDir = ProgramDir());

// The default files (default.mld, default.ton, default.db) an installed program starts a new
// song folder with: the data folder of InstalledDataDir.
std::string InstalledDefaultsDir(const std::string& dataDir);

// The player module: beside the program when it is there (the build folder), otherwise in the
// private library folder of an installed program.
std::string PlayerModulePath(const std::string& programDir = ProgramDir());

// The folder holding the help book (vema.hhp): beside the program in the build folder, in the
// installed data otherwise; "" when neither has it.
std::string HelpBookDir(const std::string& programDir = ProgramDir());

}  // namespace vema
