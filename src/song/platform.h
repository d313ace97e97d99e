// Everything the core needs from a person or the desktop.  Three implementations: the windows,
// the console (vema-cli) and a scripted one for tests.
#pragma once

#include <optional>
#include <string>

namespace vema {

enum class MessageIcon { kPlain, kStop };

struct FileDialogRequest {
  bool save = false;
  std::string defaultExtension;  // e.g. "mid"
  std::string initialName;       // e.g. "vema01.mid"
  std::string filter;            // e.g. "MIDI Files (*.mid)|*.mid|"
  int* chosenType = nullptr;     // where a dialog puts the index of the file type chosen
};

class Platform {
 public:
  virtual ~Platform() = default;

  // A modal message box (stop icon for errors, plain for information).
  virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
  // Draws the 20-byte status line of the main window.
  virtual void ShowStatus(const std::string& status) = 0;
  // The one-line input dialog; nullopt when cancelled, else the whole field text.
  virtual std::optional<std::string> PromptLine() = 0;
  // The accompaniment feel dialog; 0..3 when confirmed, nullopt when closed without a choice.
  virtual std::optional<int> ChooseFeel() = 0;
  // An open or save file dialog; nullopt when cancelled.
  virtual std::optional<std::string> ChooseFile(const FileDialogRequest& request) = 0;
  // A command string for the MIDI file player (alias "tada").
  virtual void SendPlayerCommand(const std::string& command) = 0;
};

}  // namespace vema
