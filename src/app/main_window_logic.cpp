#include "app/main_window_logic.h"

#include <algorithm>
#include <span>

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
  request.initialName = kSaveInitialName;
  request.filter = kSaveFilter;
  int chosenType = 0;
  request.chosenType = &chosenType;
  const std::optional<std::string> chosen = platform.ChooseFile(request);
  if (!chosen || chosen->empty()) return false;

  // A relative name is a file of the working directory.
  const std::string path = session.PathOf(*chosen);
  switch (SaveKindOf(path, chosenType)) {
    case SaveKind::kMusicXml: return ExportMusicXml(session, path);
    case SaveKind::kWav: return ExportWav(session, path, wav.render, wav.progress);
    case SaveKind::kMidi: break;
  }
  const size_t count = std::min(static_cast<size_t>(image.count), image.bytes.size());
  const std::span<const uint8_t> bytes(image.bytes.data(), count);
  bool written = false;
  {
    // Runs on one folder write one after another; the message waits until the folder is free.
    const FolderLock lock(session.dir);
    written = WriteFileAtomically(path, bytes);
  }
  if (!written) platform.ShowMessage("File could not created! ", MessageIcon::kStop);
  return written;
}

}  // namespace vema
