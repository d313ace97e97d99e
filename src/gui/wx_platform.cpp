#include "gui/wx_platform.h"

#include <algorithm>

#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/progdlg.h>
// After msgdlg.h, which it builds on.
#include <wx/generic/msgdlgg.h>

#include "gui/feel_dlg.h"
#include "app/export_command.h"
#include "app/folder_wait_view.h"
#include "gui/name_prompt_dlg.h"
#include "gui/resources.h"
#include "gui/vema_dlg.h"

namespace vema::gui {

namespace {

std::string ToUtf8(const wxString& text) { return std::string(text.utf8_str()); }

// wx's own box: it shows its icon on every desktop and centres itself on its parent, or on the
// screen when there is none (start-up messages).  Message boxes have no caption text.
int AskBox(wxWindow* parent, const std::string& text, long style) {
  wxGenericMessageDialog box(parent, U8(text), wxString(), style | wxCENTRE);
  return box.ShowModal();
}

// The wait for a folder in a progress dialog with a cancel button, shown after a moment.
class WxFolderWait : public FolderWait {
 public:
  WxFolderWait(wxWindow* owner, const std::string& dir) : owner_(owner), view_(dir) {}
  ~WxFolderWait() override {
    if (dialog_ != nullptr) dialog_->Destroy();
  }
  WxFolderWait(const WxFolderWait&) = delete;
  WxFolderWait& operator=(const WxFolderWait&) = delete;

  bool KeepWaiting(double waitedSeconds) override {
    bool cancelled = false;
    if (view_.Shown(waitedSeconds)) {
      const wxString text = U8(view_.Text(waitedSeconds));
      if (dialog_ == nullptr) {
        dialog_ = new wxGenericProgressDialog(U8(kFolderWaitTitle), text, 100, owner_,
                                              wxPD_CAN_ABORT | wxPD_APP_MODAL);
      }
      cancelled = !dialog_->Update(view_.Progress(waitedSeconds), text);
    }
    wxYield();  // the rest of the program goes on while it waits
    return view_.KeepWaiting(waitedSeconds, cancelled);
  }

 private:
  wxWindow* owner_;
  FolderWaitView view_;
  wxGenericProgressDialog* dialog_ = nullptr;
};

}  // namespace

std::unique_ptr<FolderWait> WxPlatform::WaitForFolder(const std::string& dir) {
  return std::make_unique<WxFolderWait>(Owner(), dir);
}

void WxPlatform::ShowFolderProblem(FolderProblem problem, const std::string& dir) {
  ShowMessage(FolderProblemTextForWindow(problem, dir), MessageIcon::kStop);
}

wxWindow* WxPlatform::Owner() const {
  // The innermost modal dialog is the one that asks (the custom form dialog, the style editor).
  for (auto node = wxTopLevelWindows.GetLast(); node; node = node->GetPrevious()) {
    auto* dialog = wxDynamicCast(node->GetData(), wxDialog);
    if (dialog != nullptr && dialog->IsModal() && dialog->IsShown()) return dialog;
  }
  return mainWindow_ && mainWindow_->IsShown() ? mainWindow_ : nullptr;
}

void WxPlatform::ShowMessage(const std::string& text, MessageIcon icon) {
  // A plain box has no icon flag at all (wxICON_NONE would draw the error icon here).
  AskBox(Owner(), text, wxOK | (icon == MessageIcon::kStop ? wxICON_ERROR : 0));
}

void WxPlatform::ShowStatus(const std::string& status) {
  if (mainWindow_) mainWindow_->DrawStatusNow(status);
}

std::optional<std::string> WxPlatform::PromptLine() {
  NamePrompt prompt(Owner());
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
  wxString folder = dir.GetPath();
  wxString name = U8(request.initialName);
  wxWindow* owner = Owner();
  // The save dialog does not ask about overwriting itself: it would ask about the name as typed,
  // before the extension of the chosen file type is added.  The question below is about the
  // final name.
  const long style = request.save ? wxFD_SAVE : wxFD_OPEN | wxFD_FILE_MUST_EXIST;
  // The dialog opens on the type of the proposed name.
  int type = std::max(0, FilterIndexOf(request.filter, request.initialName));
  for (;;) {
    wxFileDialog dialog(owner, request.save ? U8("名前を付けて保存") : U8("ファイルを開く"), folder,
                        name, filter, style);
    dialog.SetFilterIndex(type);
    if (dialog.ShowModal() != wxID_OK) return std::nullopt;
    const int opened = type;
    type = dialog.GetFilterIndex();
    if (request.chosenType) *request.chosenType = type;
    // A file picked to be opened is taken as it is named.
    if (!request.save) return ToUtf8(dialog.GetPath());
    // Another file type chosen sets the extension; a name without one takes the type's.
    const wxFileName chosen(U8(SavedFileName(ToUtf8(dialog.GetPath()), request.filter, opened,
                                             type, request.defaultExtension)));
    if (!chosen.FileExists() ||
        AskBox(owner, ToUtf8(chosen.GetFullName()) + kOverwriteQuestion,
               wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION) == wxID_YES) {
      return ToUtf8(chosen.GetFullPath());
    }
    // "いいえ": the dialog comes back with the name and type, as after any refused name.
    folder = chosen.GetPath();
    name = chosen.GetFullName();
  }
}

void WxPlatform::SendPlayerCommand(const std::string& command) {
  if (player_) player_(command);
}

}  // namespace vema::gui
