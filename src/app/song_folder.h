// The user's own song folder, where an installed program works when no folder is named:
// $XDG_DATA_HOME/vema (by default ~/.local/share/vema), filled with the installed default files
// on the first start.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vema {

// The files a song folder starts with.
inline constexpr const char* kDefaultFileNames[] = {"default.mld", "default.ton", "default.db"};

// Looks up an environment variable (nullptr when unset).
using Environment = std::function<const char*(const char*)>;
// The process's own environment.
const char* ProcessEnvironment(const char* name);

// $XDG_DATA_HOME/vema, or $HOME/.local/share/vema when XDG_DATA_HOME is unset, empty or not an
// absolute path (as the desktop's conventions say); nullopt when HOME is not usable either.
std::optional<std::string> UserSongFolder(const Environment& env = ProcessEnvironment);

struct SongFolderSetup {
  enum class Problem {
    kNone,
    kCannotCreate,   // the folder (or one above it) could not be made
    kNotAFolder,     // something else is in its place
    kNotWritable,    // it exists but the program may not write in it
    kNoDefaults,     // an installed default file is missing or unreadable
    kCannotCopy,     // a default file could not be written into the folder
    kNoHome,         // neither XDG_DATA_HOME nor HOME names a folder
  };
  Problem problem = Problem::kNone;
  std::string folder;  // the song folder
  std::string path;    // the folder or the file the problem is about
  std::string reason;  // the system's words for it, where it gave some
  bool created = false;             // the folder did not exist before
  std::vector<std::string> copied;  // default files copied in, by name

  bool ok() const { return problem == Problem::kNone; }
};

// Makes sure the folder exists (with the folders above it), the program may write in it, and it
// holds every default file: those missing are copied from defaultsDir (a file that is there is
// never touched).  Copies go through the program's file writes, under the folder's lock.
SongFolderSetup PrepareSongFolder(const std::string& folder, const std::string& defaultsDir);

// Where a program works when no folder is named: the current folder for a program in its build
// folder (no installed data), otherwise the user's song folder, prepared from the installed
// default files.
SongFolderSetup PrepareDefaultSongFolder(const std::optional<std::string>& installedDataDir,
                                         const Environment& env = ProcessEnvironment);

// An English sentence for the command line about a failed setup.
std::string DescribeSongFolderProblem(const SongFolderSetup& setup);

}  // namespace vema
