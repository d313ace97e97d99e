// The file writes of one command in the working folder, made as one set.  While they happen the
// folder is locked against other runs (other windows, vema-cli), so that concurrent runs write
// their sets of files one after another; the writers put their files into a set that is
// committed as one (all new or all old); the messages the writers show wait until the folder is
// free again, so that no run keeps the folder while a person reads a message box.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/writer_context.h"
#include "song/file_io.h"
#include "song/platform.h"
#include "song/tables.h"

namespace vema {

struct Session;

class FolderWrites {
 public:
  // Takes the folder's lock, waiting while another run holds it.  When the lock cannot be had
  // (the platform has said why), nothing is written.
  explicit FolderWrites(Session& session);
  // Commits the set when that has not been done.
  ~FolderWrites();
  FolderWrites(const FolderWrites&) = delete;
  FolderWrites& operator=(const FolderWrites&) = delete;

  // The writers' context: their files go into the set and their messages are held.
  WriterContext Writers();

  // Replaces every file of the set, releases the folder and shows the held messages.  When any
  // file could not be written, none is replaced: "File could not created! " names that file,
  // the MIDI image is the one from before and the completion message is not shown.  True when
  // every file was written.  whileLocked runs after a complete set has been replaced and before
  // the folder is released (the song history is written there with its files).
  bool Commit(const std::function<void()>& whileLocked = {});

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
    std::unique_ptr<FolderWait> WaitForFolder(const std::string& dir) override {
      return platform_.WaitForFolder(dir);
    }
    void ShowFolderProblem(FolderProblem problem, const std::string& dir) override {
      platform_.ShowFolderProblem(problem, dir);
    }
    // Drops the held messages of this text.
    void Withdraw(const std::string& text);
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
  FileSet files_;
  MidiImage imageBefore_;
  std::optional<bool> committed_;
};

}  // namespace vema
