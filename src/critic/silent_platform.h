// A platform that shows nothing and answers every question with "cancelled": for work done
// out of sight, such as melodies composed only to be compared.
#pragma once

#include <optional>
#include <string>

#include "song/platform.h"

namespace vema {

class SilentPlatform : public Platform {
 public:
  void ShowMessage(const std::string&, MessageIcon) override {}
  void ShowStatus(const std::string&) override {}
  std::optional<std::string> PromptLine() override { return std::nullopt; }
  std::optional<int> ChooseFeel() override { return std::nullopt; }
  std::optional<std::string> ChooseFile(const FileDialogRequest&) override { return std::nullopt; }
  void SendPlayerCommand(const std::string&) override {}
};

}  // namespace vema
