#include "editors/style_select.h"

#include <filesystem>

#include "app/session.h"

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

StyleSelect::StyleSelect(Session& session) : session_(session) {
  nameField[0].text = BareFileName(session.dbFiles[0]);
  nameField[1].text = BareFileName(session.dbFiles[1]);
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
  const std::optional<std::string> path = session_.platform().ChooseFile(request);
  if (!path || path->empty()) return false;
  const std::string bare = BareFileName(*path);
  bool loaded = false;
  if (kind == 0) {
    loaded = CompositionDbLoader(*path).Load(session_.compositionDb, session_.platform(),
                                             session_.dir);
  } else if (kind == 1) {
    loaded = session_.style.Load(*path, session_.platform(), session_.dir);
  }
  if (!loaded) return false;
  session_.dbFiles[static_cast<size_t>(kind)] = bare;
  nameField[static_cast<size_t>(kind)].text = bare;
  return true;
}

}  // namespace vema
