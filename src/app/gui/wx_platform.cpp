#include "app/gui/wx_platform.h"

#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>
// After msgdlg.h, which it builds on.
#include <wx/generic/msgdlgg.h>

#include "accomp/gui/feel_dlg.h"
#include "app/export_command.h"
#include "app/gui/name_prompt_dlg.h"
#include "app/gui/resources.h"
#include "app/gui/vema_dlg.h"

namespace vema::gui {

void WxPlatform::ShowMessage(const std::string& text, MessageIcon icon) {
  const long style = wxOK | wxCENTRE | (icon == MessageIcon::kStop ? wxICON_ERROR : 0);
  // A plain box has no icon flag at all (wxICON_NONE would draw the error icon here).
  // wx's own box: it shows the stop icon on every desktop and centres itself on the main
  // window, or on the screen before the main window exists (start-up messages).
  wxWindow* parent = mainWindow_ && mainWindow_->IsShown() ? mainWindow_ : nullptr;
  wxGenericMessageDialog box(parent, U8(text), "VEMA", style);
  box.ShowModal();
}

void WxPlatform::ShowStatus(const std::string& status) {
  if (mainWindow_) mainWindow_->DrawStatusNow(status);
}

std::optional<std::string> WxPlatform::PromptLine() {
  NamePrompt prompt(mainWindow_);
  return prompt.Run();
}

std::optional<int> WxPlatform::ChooseFeel() {
  CFeelDlg dialog(nullptr);
  return dialog.Run();
}

std::optional<std::string> WxPlatform::ChooseFile(const FileDialogRequest& request) {
  // "Name (*.x)|*.x|" lists end with a separator that wx does not want.
  wxString filter = U8(request.filter);
  while (filter.EndsWith("|")) filter.RemoveLast();
  wxFileName dir = wxFileName::DirName(U8(workingDir_));
  dir.MakeAbsolute();
  const long style = request.save ? wxFD_SAVE | wxFD_OVERWRITE_PROMPT
                                  : wxFD_OPEN | wxFD_FILE_MUST_EXIST;
  wxFileDialog dialog(mainWindow_, request.save ? U8("名前を付けて保存") : U8("ファイルを開く"),
                      dir.GetPath(), U8(request.initialName), filter, style);
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  wxFileName chosen(dialog.GetPath());
  // A name without extension takes the one of the file type chosen.
  const int type = dialog.GetFilterIndex();
  if (request.chosenType) *request.chosenType = type;
  std::string extension = FilterExtension(request.filter, type);
  if (extension.empty() || extension == "*") extension = request.defaultExtension;
  if (!extension.empty() && !chosen.HasExt()) chosen.SetExt(U8(extension));
  return std::string(chosen.GetFullPath().utf8_str());
}

void WxPlatform::SendPlayerCommand(const std::string& command) {
  if (player_) player_(command);
}

}  // namespace vema::gui
