// The file writes of one command in the working folder.  While they happen the folder is locked
// against other runs (other windows, vema-cli), so that concurrent runs write their sets of files
// one after another; the messages the writers show wait until the folder is free again, so that
// no run keeps the folder while a person reads a message box.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "output/writer_context.h"
#include "song/file_io.h"
#include "song/platform.h"

namespace vema {

struct Session;

class FolderWrites {
 public:
  explicit FolderWrites(Session& session);
  // Releases the folder, then shows the held messages in their order.
  ~FolderWrites();
  FolderWrites(const FolderWrites&) = delete;
  FolderWrites& operator=(const FolderWrites&) = delete;

  // The writers' context, whose messages are held.
  WriterContext Writers();

 private:
  // Passes everything on to the session's platform except the messages, which it keeps.
  class HeldMessages : public Platform {
   public:
    explicit HeldMessages(Platform& platform) : platform_(platform) {}
    void ShowMessage(const std::string& text, MessageIcon icon) override {
      held_.push_back({text, icon});
    }
    void ShowStatus(const std::string& status) override { platform_.ShowStatus(status); }
    std::optional<std::string> PromptLine() override { return platform_.PromptLine(); }
    std::optional<int> ChooseFeel() override { return platform_.ChooseFeel(); }
    std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
      return platform_.ChooseFile(request);
    }
    void SendPlayerCommand(const std::string& command) override {
      platform_.SendPlayerCommand(command);
    }
    void ShowHeld();

   private:
    struct Message {
      std::string text;
      MessageIcon icon;
    };
    Platform& platform_;
    std::vector<Message> held_;
  };

  Session& session_;
  HeldMessages messages_;
  FolderLock lock_;
};

}  // namespace vema
