#include "editors/style_select.h"

#include <algorithm>
#include <filesystem>

#include "critic/melody_choice.h"

namespace vema {

const std::array<DbKindInfo, kDbKinds> kDbKindInfo = {{
    {"主旋律音長進行ＤＢ", "mld", "音長進行 Files (*.mld)|*.mld|", true},
    {"旋律規則使用頻度ＤＢ", "ton", "旋律進行 Files (*.ton)|*.ton|", true},
    {"コード進行ＤＢ", "chd", "コード進行 Files (*.chd)|*.chd|", false},
    {"ドラムパタンＤＢ", "drm", "ドラム進行 Files (*.drm)|*.drm|", false},
    {"伴奏スタイルＤＢ", "bns", "伴奏進行 Files (*.bns)|*.bns|", false},
}};

std::string BareFileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

StyleSelect::StyleSelect(const EditorContext& context) : context_(context) {
  nameField[0].text = BareFileName(context.dbFiles[0]);
  nameField[1].text = BareFileName(context.dbFiles[1]);
  for (int k = 0; k < kDbKinds; ++k) {
    nameField[static_cast<size_t>(k)].enabled = kDbKindInfo[static_cast<size_t>(k)].shown;
  }
}

bool StyleSelect::ChooseDbFile(int kind) {
  if (kind < 0 || kind >= kDbKinds) return false;
  dbKind = kind;
  const DbKindInfo& info = kDbKindInfo[static_cast<size_t>(kind)];
  FileDialogRequest request;
  request.save = false;
  request.defaultExtension = info.extension;
  request.filter = info.filter;
  const std::optional<std::string> path = context_.platform.ChooseFile(request);
  if (!path || path->empty()) return false;
  const std::string bare = BareFileName(*path);
  bool loaded = false;
  if (kind == 0) {
    loaded = CompositionDbLoader(*path).Load(context_.compositionDb, context_.platform,
                                             context_.dir);
  } else if (kind == 1) {
    loaded = context_.style.Load(*path, context_.platform, context_.dir);
  }
  if (!loaded) return false;
  context_.dbFiles[static_cast<size_t>(kind)] = bare;
  nameField[static_cast<size_t>(kind)].text = bare;
  return true;
}

int StyleSelect::SetBestOf(int count) {
  context_.bestOf = std::clamp(count, kMinBestOf, kMaxBestOf);
  return context_.bestOf;
}

}  // namespace vema
