// The song history on the command line: `vema-cli history`, `recall`, `reroll` and `edit`.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

namespace vema {

struct HistoryOptions {
  std::string dir = ".";
};

struct RecallOptions {
  std::string dir = ".";
  long long number = 0;
};

struct RerollOptions {
  std::string dir = ".";
  bool melody = false;
  bool rhythm = false;
  std::optional<int> feel;
  std::optional<std::pair<int, int>> bars;  // 1-based, first..last
  std::optional<long long> seed;
  std::optional<int> bestOf;  // default: the current song's
};

struct EditOptions {
  std::string dir = ".";
  int bar = 1;   // 1-based
  int note = 1;  // 1-based
  std::optional<int> semitones, steps, octaves, key;
  bool rest = false;
};

// "A-B" or "A" (1-based bars, A <= B); nullopt for anything else.
std::optional<std::pair<int, int>> ParseBarRange(const std::string& text);

// Exit status as every command: 0, 1 after an error message.
int RunHistoryCommand(const HistoryOptions& options, std::ostream& out, std::ostream& err);
int RunRecallCommand(const RecallOptions& options, std::ostream& out, std::ostream& err);
int RunRerollCommand(const RerollOptions& options, std::ostream& out, std::ostream& err);
int RunEditCommand(const EditOptions& options, std::ostream& out, std::ostream& err);

}  // namespace vema
