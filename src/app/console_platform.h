// The platform of the console front end: messages on stderr, dialogs answered by options.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "song/platform.h"

namespace vema {

class ConsolePlatform : public Platform {
 public:
  explicit ConsolePlatform(std::ostream& err) : err_(err) {}

  // The answer of the feel dialog: a feel, or nullopt to close it without a choice.
  void SetFeelAnswer(std::optional<int> feel) { feel_ = feel; }
  // Where player commands go (nothing when unset).
  void SetPlayer(std::function<void(const std::string&)> player) { player_ = std::move(player); }
  void SetVerbose(bool verbose) { verbose_ = verbose; }
  // How long a write waits for another run writing in the same folder.
  void SetFolderWaitSeconds(double seconds) { folderWaitSeconds_ = seconds; }

  int stopMessages() const { return stopMessages_; }

  void ShowMessage(const std::string& text, MessageIcon icon) override;
  void ShowStatus(const std::string& status) override;
  std::optional<std::string> PromptLine() override { return std::nullopt; }
  std::optional<int> ChooseFeel() override { return feel_; }
  std::optional<std::string> ChooseFile(const FileDialogRequest&) override { return std::nullopt; }
  void SendPlayerCommand(const std::string& command) override;
  // Says once that it waits, then waits as long as set.
  std::unique_ptr<FolderWait> WaitForFolder(const std::string& dir) override;
  // The English text, with the time waited and how to wait longer.
  void ShowFolderProblem(FolderProblem problem, const std::string& dir) override;

 private:
  std::ostream& err_;
  std::optional<int> feel_;
  std::function<void(const std::string&)> player_;
  bool verbose_ = false;
  double folderWaitSeconds_ = kDefaultFolderWaitSeconds;
  int stopMessages_ = 0;
};

// One line for a message box: "error: TEXT" or "info: TEXT", line breaks as blanks.
std::string FormatConsoleMessage(const std::string& text, MessageIcon icon);

}  // namespace vema
