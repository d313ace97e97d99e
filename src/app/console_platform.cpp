#include "app/console_platform.h"

#include <cstdio>
#include <ostream>

namespace vema {

std::string FormatConsoleMessage(const std::string& text, MessageIcon icon) {
  std::string line = icon == MessageIcon::kStop ? "error: " : "info: ";
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  return line;
}

void ConsolePlatform::ShowMessage(const std::string& text, MessageIcon icon) {
  if (icon == MessageIcon::kStop) ++stopMessages_;
  err_ << FormatConsoleMessage(text, icon) << '\n';
  err_.flush();
}

void ConsolePlatform::ShowStatus(const std::string& status) {
  if (verbose_ && status.find_first_not_of(' ') != std::string::npos) {
    err_ << "status: " << status << '\n';
  }
}

namespace {

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", seconds);
  return text;
}

}  // namespace

std::unique_ptr<FolderWait> ConsolePlatform::WaitForFolder(const std::string& dir) {
  ShowMessage("another run is writing in " + (dir.empty() ? "." : dir) + "; waiting up to " +
                  Seconds(folderWaitSeconds_) + " for it to finish",
              MessageIcon::kPlain);
  return std::make_unique<TimedFolderWait>(folderWaitSeconds_);
}

void ConsolePlatform::ShowFolderProblem(FolderProblem problem, const std::string& dir) {
  std::string text = FolderProblemText(problem, dir);
  if (problem == FolderProblem::kBusy) {
    text += " (waited " + Seconds(folderWaitSeconds_) + "; --wait SECONDS waits longer)";
  }
  ShowMessage(text, MessageIcon::kStop);
}

void ConsolePlatform::SendPlayerCommand(const std::string& command) {
  if (player_) player_(command);
}

}  // namespace vema
