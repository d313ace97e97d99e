// The platform of the window program: wx message boxes, dialogs and the main window's status.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "song/platform.h"

class CVemaDlg;
class wxWindow;

namespace vema::gui {

// Asked before a save replaces an existing file, after its name.
inline constexpr const char* kOverwriteQuestion = " は既に存在します。\n上書きしますか？";

// Message boxes, prompts and file dialogs open over the window that asks: the innermost modal
// dialog shown, else the main window.
class WxPlatform : public Platform {
 public:
  // The main window (nullptr before it exists and after it is gone).
  void SetMainWindow(CVemaDlg* window) { mainWindow_ = window; }
  // The folder that file dialogs start in.
  void SetWorkingDir(const std::string& dir) { workingDir_ = dir; }
  // Where the MIDI file player's commands go.
  void SetPlayer(std::function<void(const std::string&)> player) { player_ = std::move(player); }

  void ShowMessage(const std::string& text, MessageIcon icon) override;
  void ShowStatus(const std::string& status) override;
  std::optional<std::string> PromptLine() override;
  std::optional<int> ChooseFeel() override;
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override;
  void SendPlayerCommand(const std::string& command) override;
  // The wait in a dialog that can cancel it; the messages in Japanese.
  std::unique_ptr<FolderWait> WaitForFolder(const std::string& dir) override;
  void ShowFolderProblem(FolderProblem problem, const std::string& dir) override;

 private:
  wxWindow* Owner() const;

  CVemaDlg* mainWindow_ = nullptr;
  std::string workingDir_ = ".";
  std::function<void(const std::string&)> player_;
};

}  // namespace vema::gui
