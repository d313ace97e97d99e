// What the window shows while a write waits for another run that is writing in the same folder
// (a second window, vema-cli): the wait appears after a moment, says how long it will go on and
// can be cancelled; and the window's words when nothing was written.  The wx dialog only shows
// this.
#pragma once

#include <string>

#include "song/platform.h"

namespace vema {

// How long the window waits for the folder (the person can cancel before).
inline constexpr double kWindowFolderWaitSeconds = 30;
// A wait shorter than this shows nothing.
inline constexpr double kFolderWaitShownAfterSeconds = 0.3;
inline constexpr const char* kFolderWaitTitle = "書き込みの順番待ち";

class FolderWaitView {
 public:
  explicit FolderWaitView(std::string dir, double limitSeconds = kWindowFolderWaitSeconds)
      : dir_(std::move(dir)), limit_(limitSeconds) {}

  // Whether the wait is shown after so many seconds.
  bool Shown(double waitedSeconds) const { return waitedSeconds >= kFolderWaitShownAfterSeconds; }
  // How far the wait has gone, 0..100.
  int Progress(double waitedSeconds) const;
  // The text of the wait after so many seconds.
  std::string Text(double waitedSeconds) const;
  // Whether to wait on.
  bool KeepWaiting(double waitedSeconds, bool cancelled) const {
    return !cancelled && waitedSeconds < limit_;
  }

 private:
  std::string dir_;
  double limit_;
};

// The window's message when nothing was written into a folder.
std::string FolderProblemTextForWindow(FolderProblem problem, const std::string& dir);

}  // namespace vema
