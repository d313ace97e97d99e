#include "app/console_platform.h"

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

void ConsolePlatform::SendPlayerCommand(const std::string& command) {
  if (player_) player_(command);
}

}  // namespace vema
