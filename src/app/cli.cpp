#include "app/cli.h"

#include <charconv>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/compose_command.h"
#include "app/console_platform.h"
#include "app/playback.h"
#include "app/session.h"

namespace vema {
namespace {

constexpr const char* kUsage =
    "使い方 / usage:\n"
    "  vema-cli compose [--dir DIR] [--seed N] [--feel march|standard|blues|rock|0..3]\n"
    "                   [--form N] [--melody-program P] [--bass-program P] [--chord-program P]\n"
    "  vema-cli play [--dir DIR] [--wav FILE]\n"
    "  vema-cli --help\n"
    "\n"
    "compose: composes one song the way the window program does and writes out.mid, out.mml\n"
    "and work.txt into DIR (default: the current directory).\n"
    "  --dir DIR            working directory: default.mld, default.ton and default.db are read\n"
    "                       from it and the outputs are written into it\n"
    "  --seed N             fixes the random sequence (0..4294967295); without it the time of\n"
    "                       the first draw seeds it\n"
    "  --feel F             answers the accompaniment dialog: march, standard, blues, rock or\n"
    "                       0..3; without it the dialog is closed without a choice (march)\n"
    "  --form N             loads stored form N (0-based) of default.db before composing\n"
    "  --melody-program P, --bass-program P, --chord-program P\n"
    "                       General MIDI programs 0..127 of the melody, bass and chord tracks\n"
    "\n"
    "play: plays DIR/out.mid to its end through the sound device, with DIR/default.sf2 or the\n"
    "system's General MIDI soundfont.\n"
    "  --wav FILE           renders the song into the WAV file FILE instead (no sound device\n"
    "                       needed)\n"
    "\n"
    "Every message box is printed on stderr as one line, \"error: TEXT\" for an error and\n"
    "\"info: TEXT\" for information.  Exit status: 0 without errors, 1 when an error message\n"
    "was shown, 2 for a usage error.\n";

std::optional<long long> ParseInteger(std::string_view text) {
  long long value = 0;
  const auto* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end || text.empty()) return std::nullopt;
  return value;
}

std::optional<int> ParseFeel(std::string_view text) {
  static const std::map<std::string_view, int> kNames = {
      {"march", 0}, {"standard", 1}, {"blues", 2}, {"rock", 3}};
  if (auto it = kNames.find(text); it != kNames.end()) return it->second;
  const auto value = ParseInteger(text);
  if (value && *value >= 0 && *value <= 3) return static_cast<int>(*value);
  return std::nullopt;
}

struct ComposeOptions {
  std::string dir = ".";
  std::optional<uint32_t> seed;
  std::optional<int> feel;
  std::optional<long long> form;
  std::array<std::optional<int>, 3> programs;
};

int UsageError(std::ostream& err, const std::string& problem) {
  err << "vema-cli: " << problem << "\n" << kUsage;
  return 2;
}

int RunCompose(const std::vector<std::string_view>& args, std::ostream& err) {
  ComposeOptions options;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string_view name = args[i];
    if (i + 1 >= args.size()) return UsageError(err, "missing value for " + std::string(name));
    const std::string_view value = args[++i];
    if (name == "--dir") {
      options.dir = std::string(value);
    } else if (name == "--seed") {
      const auto seed = ParseInteger(value);
      if (!seed || *seed < 0 || *seed > 0xFFFFFFFFLL) return UsageError(err, "bad --seed");
      options.seed = static_cast<uint32_t>(*seed);
    } else if (name == "--feel") {
      options.feel = ParseFeel(value);
      if (!options.feel) return UsageError(err, "bad --feel: " + std::string(value));
    } else if (name == "--form") {
      options.form = ParseInteger(value);
      if (!options.form) return UsageError(err, "bad --form: " + std::string(value));
    } else if (name == "--melody-program" || name == "--bass-program" ||
               name == "--chord-program") {
      const auto program = ParseInteger(value);
      if (!program || *program < 0 || *program > 127) {
        return UsageError(err, "bad " + std::string(name) + ": " + std::string(value));
      }
      const size_t slot = name == "--melody-program" ? 0 : name == "--bass-program" ? 1 : 2;
      options.programs[slot] = static_cast<int>(*program);
    } else {
      return UsageError(err, "unknown option: " + std::string(name));
    }
  }

  std::error_code error;
  if (!std::filesystem::is_directory(options.dir, error)) {
    return UsageError(err, "no such directory: " + options.dir);
  }

  ConsolePlatform platform(err);
  platform.SetFeelAnswer(options.feel);
  Session session(platform, SessionOptions{options.dir, options.seed});
  StartUp(session);

  if (options.form) {
    if (*options.form < 0 || *options.form >= session.customForms.Count()) {
      return UsageError(err, "--form " + std::to_string(*options.form) +
                                 " is not a stored form (there are " +
                                 std::to_string(session.customForms.Count()) + ")");
    }
    LoadCustomForm(session.Editors(), static_cast<int>(*options.form));
  }
  for (size_t slot = 0; slot < 3; ++slot) {
    if (options.programs[slot]) session.instrumentPrograms[slot] = *options.programs[slot];
  }

  ComposeCommand(session);
  return platform.stopMessages() > 0 ? 1 : 0;
}

int RunPlay(const std::vector<std::string_view>& args, std::ostream& out, std::ostream& err,
            const SongPlayerFactory& players) {
  std::string dir = ".";
  std::optional<std::string> wav;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string_view name = args[i];
    if (i + 1 >= args.size()) return UsageError(err, "missing value for " + std::string(name));
    const std::string_view value = args[++i];
    if (name == "--dir") {
      dir = std::string(value);
    } else if (name == "--wav") {
      if (value.empty()) return UsageError(err, "bad --wav");
      wav = std::string(value);
    } else {
      return UsageError(err, "unknown option: " + std::string(name));
    }
  }
  std::error_code error;
  if (!std::filesystem::is_directory(dir, error)) {
    return UsageError(err, "no such directory: " + dir);
  }

  ConsolePlatform platform(err);
  if (!players) {
    platform.ShowMessage("playback is not available in this program", MessageIcon::kStop);
    return 1;
  }
  const std::string midiPath = ResolvePath(dir, "out.mid");
  if (!std::filesystem::is_regular_file(midiPath, error)) {
    platform.ShowMessage("ファイルを開けません[out.mid]", MessageIcon::kStop);
    return 1;
  }
  std::unique_ptr<SongPlayer> player = players(dir);
  std::string problem;
  if (wav) {
    if (!player->RenderWav(midiPath, *wav, problem)) {
      platform.ShowMessage(problem, MessageIcon::kStop);
    } else {
      out << *wav << '\n';
    }
    return platform.stopMessages() > 0 ? 1 : 0;
  }

  platform.SetPlayer([&player](const std::string& command) { player->Command(command); });
  Session session(platform, SessionOptions{dir, std::nullopt});
  PlayCommand(session);
  if (!player->WaitUntilEnd(problem)) platform.ShowMessage(problem, MessageIcon::kStop);
  StopCommand(session);
  return platform.stopMessages() > 0 ? 1 : 0;
}

}  // namespace

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
  return RunCli(argc, argv, out, err, SongPlayerFactory());
}

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err,
           const SongPlayerFactory& players) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  for (std::string_view a : args) {
    if (a == "--help" || a == "-h") {
      out << kUsage;
      return 0;
    }
  }
  if (args.empty()) return UsageError(err, "no command given");
  if (args[0] == "compose") return RunCompose(args, err);
  if (args[0] == "play") return RunPlay(args, out, err, players);
  return UsageError(err, "unknown command: " + std::string(args[0]));
}

}  // namespace vema
