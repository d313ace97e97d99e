// A platform for tests: answers come from queues, everything shown is recorded.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "song/platform.h"

namespace vema {

class ScriptedPlatform : public Platform {
 public:
  struct Message {
    std::string text;
    MessageIcon icon;
  };

  std::vector<Message> messages;
  std::vector<std::string> statuses;
  std::vector<std::string> playerCommands;
  std::vector<FileDialogRequest> fileRequests;

  // Queued answers; an empty queue answers "cancelled".
  std::deque<std::optional<std::string>> promptAnswers;
  std::deque<std::optional<int>> feelAnswers;
  std::deque<std::optional<std::string>> fileAnswers;
  std::deque<int> fileTypeAnswers;  // the file type chosen in each file dialog (default 0)
  int feelDialogsShown = 0;
  double folderWaitSeconds = kDefaultFolderWaitSeconds;  // how long a write waits for the folder
  int folderWaits = 0;                                    // waits begun

  void ShowMessage(const std::string& text, MessageIcon icon) override {
    messages.push_back({text, icon});
  }
  void ShowStatus(const std::string& status) override { statuses.push_back(status); }
  std::optional<std::string> PromptLine() override { return Next(promptAnswers); }
  std::optional<int> ChooseFeel() override {
    ++feelDialogsShown;
    return Next(feelAnswers);
  }
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
    fileRequests.push_back(request);
    if (request.chosenType) {
      *request.chosenType = fileTypeAnswers.empty() ? 0 : fileTypeAnswers.front();
      if (!fileTypeAnswers.empty()) fileTypeAnswers.pop_front();
    }
    return Next(fileAnswers);
  }
  void SendPlayerCommand(const std::string& command) override {
    playerCommands.push_back(command);
  }
  std::unique_ptr<FolderWait> WaitForFolder(const std::string&) override {
    ++folderWaits;
    return std::make_unique<TimedFolderWait>(folderWaitSeconds);
  }

  int StopMessageCount() const {
    int n = 0;
    for (const Message& m : messages) n += m.icon == MessageIcon::kStop ? 1 : 0;
    return n;
  }

 private:
  template <typename T>
  static std::optional<T> Next(std::deque<std::optional<T>>& queue) {
    if (queue.empty()) return std::nullopt;
    std::optional<T> answer = queue.front();
    queue.pop_front();
    return answer;
  }
};

}  // namespace vema
