// Everything the core needs from a person or the desktop.  Three implementations: the windows,
// the console (vema-cli) and a scripted one for tests.
#pragma once

#include <memory>
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

// Why a write into a folder was not made (see FolderLock in file_io.h).
enum class FolderProblem {
  kBusy,      // another run kept writing there for longer than this one waited
  kLockFile,  // the folder's lock file cannot be made or locked (a link, a folder, a FIFO, ...)
};

// How long a run waits by default for another run that writes in the same folder.
inline constexpr double kDefaultFolderWaitSeconds = 5;

// One wait for a folder in which another run is writing, shown to the person while it lasts and
// over when the object is destroyed.
class FolderWait {
 public:
  virtual ~FolderWait() = default;
  // Asked about ten times a second: true to wait on after so many seconds of waiting.
  virtual bool KeepWaiting(double waitedSeconds) = 0;
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

  // A write into the folder dir has to wait for another run that is writing there.  By default
  // the wait is quiet and lasts kDefaultFolderWaitSeconds.
  virtual std::unique_ptr<FolderWait> WaitForFolder(const std::string& dir);
  // Says that nothing was written into the folder dir, and why (a stop message in English by
  // default).
  virtual void ShowFolderProblem(FolderProblem problem, const std::string& dir);
};

// A wait that gives up after so many seconds and shows nothing.
class TimedFolderWait : public FolderWait {
 public:
  explicit TimedFolderWait(double seconds) : seconds_(seconds) {}
  bool KeepWaiting(double waitedSeconds) override { return waitedSeconds < seconds_; }

 private:
  double seconds_;
};

// The English text of a folder problem, as the command line shows it.
std::string FolderProblemText(FolderProblem problem, const std::string& dir);

}  // namespace vema
