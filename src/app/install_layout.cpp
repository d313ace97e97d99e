#include "app/install_layout.h"

#include <filesystem>
#include <system_error>

#include "app/player_loader.h"

// Set by the build for this file only: the version and the installed folders relative to the
// programs' folder.
#ifndef VEMA_VERSION
#error "VEMA_VERSION is set by the build"
#endif
#ifndef VEMA_BIN_TO_PKGLIB
#error "VEMA_BIN_TO_PKGLIB is set by the build"
#endif
#ifndef VEMA_BIN_TO_PKGDATA
#error "VEMA_BIN_TO_PKGDATA is set by the build"
#endif

namespace vema {
namespace {

namespace fs = std::filesystem;

bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::exists(path, error);
}

bool IsFolder(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

constexpr const char* kHelpBook = "vema.hhp";

}  // namespace

const char* VersionText() { return VEMA_VERSION; }

std::string ProgramDir() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.parent_path().string();
}

std::optional<std::string> InstalledDataDir(const std::string& programDir) {
  if (programDir.empty()) return std::nullopt;
  const fs::path data = (fs::path(programDir) / VEMA_BIN_TO_PKGDATA).lexically_normal();
  if (!IsFolder(data)) return std::nullopt;
  return data.string();
}

std::string InstalledDefaultsDir(const std::string& dataDir) {
  return (fs::path(dataDir) / "data").string();
}

std::string PlayerModulePath(const std::string& programDir) {
  if (programDir.empty()) return kPlayerModuleName;
  const fs::path beside = fs::path(programDir) / kPlayerModuleName;
  if (Exists(beside)) return beside.string();
  const fs::path installed =
      (fs::path(programDir) / VEMA_BIN_TO_PKGLIB / kPlayerModuleName).lexically_normal();
  // Where neither is found, the loader's message names the place beside the program.
  return Exists(installed) ? installed.string() : beside.string();
}

std::string HelpBookDir(const std::string& programDir) {
  if (programDir.empty()) return "";
  const fs::path beside = fs::path(programDir) / "help";
  if (Exists(beside / kHelpBook)) return beside.string();
  if (const std::optional<std::string> data = InstalledDataDir(programDir)) {
    const fs::path installed = fs::path(*data) / "help";
    if (Exists(installed / kHelpBook)) return installed.string();
  }
  return "";
}

}  // namespace vema
