#include "app/song_folder.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/install_layout.h"
#include "critic/silent_platform.h"
#include "song/file_io.h"

namespace vema {
namespace {

namespace fs = std::filesystem;

// Far above any default file; a shipped file is read whole.
constexpr size_t kMaxDefaultFileBytes = size_t{256} << 20;

SongFolderSetup Failed(SongFolderSetup setup, SongFolderSetup::Problem problem, std::string path,
                       std::string reason) {
  setup.problem = problem;
  setup.path = std::move(path);
  setup.reason = std::move(reason);
  return setup;
}

}  // namespace

const char* ProcessEnvironment(const char* name) { return std::getenv(name); }

std::optional<std::string> UserSongFolder(const Environment& env) {
  const auto absolute = [&env](const char* name) -> std::optional<fs::path> {
    const char* value = env(name);
    if (value == nullptr || *value == '\0' || value[0] != '/') return std::nullopt;
    return fs::path(value);
  };
  if (const std::optional<fs::path> data = absolute("XDG_DATA_HOME")) {
    return (*data / "vema").lexically_normal().string();
  }
  if (const std::optional<fs::path> home = absolute("HOME")) {
    return (*home / ".local" / "share" / "vema").lexically_normal().string();
  }
  return std::nullopt;
}

SongFolderSetup PrepareSongFolder(const std::string& folder, const std::string& defaultsDir) {
  using Problem = SongFolderSetup::Problem;
  SongFolderSetup setup;
  setup.folder = folder;
  std::error_code error;
  const fs::file_status status = fs::status(folder, error);
  if (!fs::exists(status)) {
    if (!fs::create_directories(folder, error) && error) {
      return Failed(setup, Problem::kCannotCreate, folder, error.message());
    }
    setup.created = true;
  } else if (!fs::is_directory(status)) {
    return Failed(setup, Problem::kNotAFolder, folder, "");
  }
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    return Failed(setup, Problem::kNotWritable, folder, std::strerror(errno));
  }

  // A second program starting at the same moment waits here, then finds the files there.
  // The wait is quiet and bounded; a lock that cannot be had is this setup's own failure.
  SilentPlatform quiet;
  const FolderLock lock(folder, quiet);
  if (lock.refused()) {
    return Failed(setup, Problem::kCannotCopy, (fs::path(folder) / kFolderLockFile).string(),
                  "the folder is locked by another run or its lock file cannot be made");
  }
  for (const char* name : kDefaultFileNames) {
    const fs::path target = fs::path(folder) / name;
    if (KindOf(target) != FileKind::kMissing) continue;
    const fs::path source = fs::path(defaultsDir) / name;
    const std::optional<std::vector<uint8_t>> bytes = ReadFileBytes(source, kMaxDefaultFileBytes);
    if (!bytes) return Failed(setup, Problem::kNoDefaults, source.string(), "");
    if (!WriteFileAtomically(target, *bytes)) {
      return Failed(setup, Problem::kCannotCopy, target.string(), "");
    }
    setup.copied.emplace_back(name);
  }
  return setup;
}

SongFolderSetup PrepareDefaultSongFolder(const std::optional<std::string>& installedDataDir,
                                         const Environment& env) {
  SongFolderSetup setup;
  if (!installedDataDir) {
    setup.folder = ".";
    return setup;
  }
  const std::optional<std::string> folder = UserSongFolder(env);
  if (!folder) return Failed(setup, SongFolderSetup::Problem::kNoHome, "", "");
  return PrepareSongFolder(*folder, InstalledDefaultsDir(*installedDataDir));
}

std::string DescribeSongFolderProblem(const SongFolderSetup& setup) {
  using Problem = SongFolderSetup::Problem;
  const std::string because = setup.reason.empty() ? "" : " (" + setup.reason + ")";
  switch (setup.problem) {
    case Problem::kNone:
      return "";
    case Problem::kCannotCreate:
      return "the song folder " + setup.path + " could not be created" + because +
             "; name another folder with --dir";
    case Problem::kNotAFolder:
      return "the song folder " + setup.path +
             " is not a folder; move that file away or name another folder with --dir";
    case Problem::kNotWritable:
      return "the song folder " + setup.path + " is not writable" + because +
             "; name another folder with --dir";
    case Problem::kNoDefaults:
      return "the installed default file " + setup.path +
             " is missing or unreadable; reinstall the program or name a folder with --dir";
    case Problem::kCannotCopy:
      return "the default file " + setup.path +
             " could not be written; name another folder with --dir";
    case Problem::kNoHome:
      return "no song folder: neither XDG_DATA_HOME nor HOME is set to a folder; name one with "
             "--dir";
  }
  return "";
}

}  // namespace vema
