#include "app/main_window_logic.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string_view>

#include "app/export_command.h"
#include "app/session.h"
#include "song/file_io.h"
#include "song/text.h"

namespace vema {

std::string ShownTitle(const std::string& title) {
  return CutUtf8ToCp932Bytes(title, kTitleShownBytes);
}

std::string HistoryPlaceText(int index, int count) {
  if (count <= 0) return "";
  return (index > 0 ? std::to_string(index) : std::string("-")) + "/" + std::to_string(count);
}

SongKey SongKeyOf(int keyCode, bool alt, bool control, bool shift) {
  if (alt && !control && !shift) {
    if (keyCode == kLeftKey) return SongKey::kBack;
    if (keyCode == kRightKey) return SongKey::kForward;
    return SongKey::kNone;
  }
  if (!control || alt) return SongKey::kNone;
  if (keyCode == 'Z') return shift ? SongKey::kRedo : SongKey::kUndo;
  if (keyCode == 'Y' && !shift) return SongKey::kRedo;
  return SongKey::kNone;
}

ToolWindowAction ToggleToolWindow(bool created, int& shownFlag) {
  if (!created) {
    shownFlag = 1;
    return ToolWindowAction::kCreate;
  }
  if (shownFlag == 0) {
    shownFlag = 1;
    return ToolWindowAction::kShow;
  }
  shownFlag = 0;
  return ToolWindowAction::kHide;
}

std::string SaveSuggestion(const Session& session) {
  std::string name;
  for (const char c : FirstLine(session.title)) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unfit = byte < 0x20 || byte == 0x7F || std::string_view("/\\:*?\"<>|").find(c) !=
                                                          std::string_view::npos;
    name += unfit ? '_' : c;
  }
  // No blanks or dots at the ends (a leading dot hides a file), and a length files allow.
  const size_t first = name.find_first_not_of(" .");
  name = first == std::string::npos ? "" : name.substr(first);
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
  name = CutUtf8ToCp932Bytes(name, kSaveNameBytes);
  if (!name.empty()) return name + ".mid";
  for (int n = 1;; ++n) {
    char stem[16];
    std::snprintf(stem, sizeof stem, "vema%02d", n);
    bool taken = false;
    for (const char* ext : {".mid", ".musicxml", ".xml", ".wav"}) {
      std::error_code error;
      taken = taken || std::filesystem::exists(session.PathOf(stem + std::string(ext)), error);
    }
    if (!taken) return stem + std::string(".mid");
  }
}

std::string SavedStatus(const Session& session, const std::string& path) {
  const std::filesystem::path file(path);
  std::error_code error;
  const bool here = std::filesystem::equivalent(file.parent_path().empty() ? "." : file.parent_path(),
                                                session.dir.empty() ? "." : session.dir, error);
  std::string where = here && !error ? file.filename().string() : path;
  // The line holds about 28 half-width characters: a long path keeps its end.
  constexpr size_t kLineBytes = 28;
  if (Utf8ToCp932(where).size() > kLineBytes) {
    while (!where.empty() && Utf8ToCp932(where).size() > kLineBytes - 2) {
      where.erase(0, std::max<size_t>(1, Utf8SequenceLength(static_cast<unsigned char>(where[0]))));
    }
    where = "…" + where;
  }
  return "保存しました\n" + where;
}

bool SaveSongCommand(Session& session) { return SaveSongCommand(session, WavOutput{}); }

bool SaveSongCommand(Session& session, const WavOutput& wav) {
  Platform& platform = session.platform();
  const MidiImage& image = session.midiImage;
  if (image.count == kNoMidiImage || image.count < 0) {
    platform.ShowMessage("曲が生成されていません。", MessageIcon::kStop);
    return false;
  }
  FileDialogRequest request;
  request.save = true;
  request.defaultExtension = "mid";
  request.initialName = SaveSuggestion(session);
  request.filter = kSaveFilter;
  int chosenType = 0;
  request.chosenType = &chosenType;
  const std::optional<std::string> chosen = platform.ChooseFile(request);
  if (!chosen || chosen->empty()) return false;

  // A relative name is a file of the working directory.
  const std::string path = session.PathOf(*chosen);
  bool written = false;
  switch (SaveKindOf(path, chosenType)) {
    case SaveKind::kMusicXml:
      written = ExportMusicXml(session, path);
      break;
    case SaveKind::kWav:
      written = ExportWav(session, path, wav.render, wav.progress);
      break;
    case SaveKind::kMidi: {
      const size_t count = std::min(static_cast<size_t>(image.count), image.bytes.size());
      const std::span<const uint8_t> bytes(image.bytes.data(), count);
      {
        // Runs on one folder write one after another; the message waits until the folder is
        // free.
        const FolderLock lock(session.dir, platform);
        if (lock.refused()) return false;  // the platform has said why
        written = WriteFileAtomically(path, bytes);
      }
      if (!written) platform.ShowMessage("File could not created! ", MessageIcon::kStop);
      break;
    }
  }
  if (written) {
    session.statusText = SavedStatus(session, path);
    platform.ShowStatus(session.statusText);
  }
  return written;
}

}  // namespace vema
