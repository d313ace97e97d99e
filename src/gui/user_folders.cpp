#include "gui/user_folders.h"

#include <wx/fileconf.h>
#include <wx/memconf.h>
#include <wx/stdpaths.h>
#include <wx/utils.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "song/file_io.h"

namespace vema::gui {
namespace {

// Settings are a few lines; anything larger is not ours.
constexpr size_t kMaxOldSettingsBytes = 1 << 20;

std::string Utf8(const wxString& text) { return std::string(text.utf8_str()); }

// A folder of the settings path, made with the folders above it; "" or the system's reason.
std::string MakeFolder(const std::filesystem::path& folder) {
  std::error_code error;
  if (std::filesystem::is_directory(folder, error)) return "";
  std::filesystem::create_directories(folder, error);
  if (error) return error.message();
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);
  return "";
}

}  // namespace

std::string UseDesktopSettingsFile() {
  wxStandardPaths& paths = wxStandardPaths::Get();
  paths.SetFileLayout(wxStandardPaths::FileLayout_XDG);
  const std::filesystem::path folder =
      std::filesystem::path(Utf8(paths.GetUserConfigDir())) / kSettingsFolder;
  const std::filesystem::path file = folder / kSettingsFile;

  if (const std::string reason = MakeFolder(folder); !reason.empty()) {
    wxConfigBase::Set(new wxMemoryConfig);
    return "設定のフォルダ[" + folder.string() + "]を作れません（" + reason +
           "）。\n設定はこの回だけ使われ、保存されません。";
  }
  // The settings file of earlier versions, in the home folder, is copied over once and left.
  const std::filesystem::path old = std::filesystem::path(Utf8(wxGetHomeDir())) / ".vema";
  if (KindOf(file) == FileKind::kMissing && KindOf(old) == FileKind::kRegular) {
    if (const std::optional<std::vector<uint8_t>> bytes = ReadFileBytes(old, kMaxOldSettingsBytes)) {
      WriteFileAtomically(file, *bytes);
    }
  }
  wxConfigBase::Set(new wxFileConfig("vema", wxEmptyString, wxString::FromUTF8(file.string()),
                                     wxEmptyString, wxCONFIG_USE_LOCAL_FILE));
  return "";
}

std::string SongFolderMessage(const SongFolderSetup& setup) {
  using Problem = SongFolderSetup::Problem;
  const std::string because = setup.reason.empty() ? "" : "（" + setup.reason + "）";
  const std::string other = "\n--dir で別のフォルダを指定できます。";
  switch (setup.problem) {
    case Problem::kNone:
      return "";
    case Problem::kCannotCreate:
      return "曲のフォルダ[" + setup.path + "]を作れません" + because + "。" + other;
    case Problem::kNotAFolder:
      return "曲のフォルダ[" + setup.path + "]の場所にフォルダでないものがあります。" + other;
    case Problem::kNotWritable:
      return "曲のフォルダ[" + setup.path + "]に書き込めません" + because + "。" + other;
    case Problem::kNoDefaults:
      return "インストールされた既定のファイル[" + setup.path +
             "]を読めません。\nプログラムをインストールし直してください。" + other;
    case Problem::kCannotCopy:
      return "既定のファイル[" + setup.path + "]を書き込めません。" + other;
    case Problem::kNoHome:
      return "曲のフォルダが決まりません（XDG_DATA_HOME も HOME もフォルダを指していません）。" +
             other;
  }
  return "";
}

}  // namespace vema::gui
