#include "app/cli.h"

#include <filesystem>
#include <array>
#include <charconv>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/compose_command.h"
#include "app/console_platform.h"
#include "app/export_command.h"
#include "app/playback.h"
#include "app/session.h"
#include "critic/melody_choice.h"
#include "song/song_file.h"

namespace vema {
namespace {

constexpr const char* kDescription =
    "vema-cli composes songs the way the window program does, plays them, renders them and "
    "writes them as scores.";
constexpr const char* kFooter =
    "Every message box is printed on stderr as one line, \"error: TEXT\" for an error and\n"
    "\"info: TEXT\" for information.  Exit status: 0 without errors, 1 when an error message\n"
    "was shown, 2 for a usage error.  'vema-cli COMMAND --help' explains a command.";

struct ComposeOptions {
  std::string dir = ".";
  std::optional<long long> seed;
  std::optional<std::string> feel;
  std::optional<long long> form;
  std::array<std::optional<int>, 3> programs;
  int bestOf = 1;
  std::optional<std::string> melodyOctave;
};

struct PlayOptions {
  std::string dir = ".";
  std::optional<std::string> wav;
};

constexpr size_t kHelpColumn = 24;
constexpr size_t kHelpWidth = 96;

// A help text broken into lines that fit beside the option names.
std::string Wrap(std::string_view text) {
  std::string out;
  size_t column = 0;
  while (!text.empty()) {
    const size_t end = text.find(' ');
    const std::string_view word = text.substr(0, end);
    if (column > 0 && column + 1 + word.size() > kHelpWidth - kHelpColumn) {
      out += '\n';
      column = 0;
    } else if (column > 0) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return out;
}

// The feel names and numbers that --feel accepts.
std::optional<int> ParseFeel(std::string_view text) {
  static const std::map<std::string_view, int> kNames = {
      {"march", 0}, {"standard", 1}, {"blues", 2}, {"rock", 3},
      {"0", 0},     {"1", 1},        {"2", 2},     {"3", 3}};
  if (auto it = kNames.find(text); it != kNames.end()) return it->second;
  return std::nullopt;
}

// The melody octave settings that --melody-octave accepts.
std::optional<int32_t> ParseMelodyOctave(std::string_view text) {
  static const std::map<std::string_view, int32_t> kNames = {
      {"auto", kAutoMelodyOctave}, {"-1", -1}, {"0", 0}, {"1", 1}, {"+1", 1}, {"2", 2}, {"+2", 2}};
  if (auto it = kNames.find(text); it != kNames.end()) return it->second;
  return std::nullopt;
}

// A check that a value is a whole number in low..high, with the message of a person.
CLI::Validator WholeNumber(long long low, long long high, const std::string& range) {
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        long long value = 0;
        const char* end = text.data() + text.size();
        const auto result = std::from_chars(text.data(), end, value);
        if (text.empty() || result.ec != std::errc() || result.ptr != end || value < low ||
            value > high) {
          return "'" + text + "' is not " + range;
        }
        return "";
      },
      "");
}

CLI::Option* AddDirOption(CLI::App& command, std::string& dir, const char* what) {
  return command.add_option("--dir", dir, Wrap(what))
      ->type_name("DIR")
      ->check(CLI::Validator(
          [](std::string& path) -> std::string {
            std::error_code error;
            return std::filesystem::is_directory(path, error) ? ""
                                                              : "no such directory: " + path;
          },
          ""));
}

int RunCompose(const ComposeOptions& options, std::ostream& err) {
  ConsolePlatform platform(err);
  if (options.feel) platform.SetFeelAnswer(ParseFeel(*options.feel));
  std::optional<uint32_t> seed;
  if (options.seed) seed = static_cast<uint32_t>(*options.seed);
  Session session(platform, SessionOptions{options.dir, seed});
  StartUp(session);

  if (options.form) {
    if (const int status = CheckStoredFormNumber(session, *options.form, err)) return status;
    LoadCustomForm(session.Editors(), static_cast<int>(*options.form));
  }
  for (size_t slot = 0; slot < 3; ++slot) {
    if (options.programs[slot]) session.instrumentPrograms[slot] = *options.programs[slot];
  }

  session.bestOf = options.bestOf;
  session.melodyOctave = options.melodyOctave ? *ParseMelodyOctave(*options.melodyOctave)
                         : options.bestOf > 1 ? kAutoMelodyOctave
                                              : 0;
  if (const std::optional<double> score = ComposeCommand(session)) {
    char line[96];
    std::snprintf(line, sizeof line, "the melody is the best of %d, score %.1f of 100",
                  options.bestOf, *score);
    platform.ShowMessage(line, MessageIcon::kPlain);
  }
  return platform.stopMessages() > 0 ? 1 : 0;
}

int RunPlay(const PlayOptions& options, std::ostream& out, std::ostream& err,
            const SongPlayerFactory& players) {
  const std::string& dir = options.dir;
  const std::optional<std::string>& wav = options.wav;
  ConsolePlatform platform(err);
  if (!players) {
    platform.ShowMessage("playback is not available in this program", MessageIcon::kStop);
    return 1;
  }
  const std::string midiPath = ResolvePath(dir, "out.mid");
  std::string problem;
  if (!ReadSongFile(midiPath, "out.mid", problem)) {
    platform.ShowMessage(problem, MessageIcon::kStop);
    return 1;
  }
  std::unique_ptr<SongPlayer> player = players(dir);
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
  CLI::App app(kDescription, "vema-cli");
  app.footer(kFooter);
  app.require_subcommand(1);
  app.get_formatter()->column_width(kHelpColumn);

  ComposeOptions compose;
  CLI::App* composeCommand = app.add_subcommand(
      "compose", Wrap("composes one song the way the window program does and writes out.mid, "
                      "out.mml and work.txt into DIR"));
  AddDirOption(*composeCommand, compose.dir,
               "working directory (default: the current one): default.mld, default.ton and "
               "default.db are read from it and the outputs are written into it");
  composeCommand
      ->add_option("--seed", compose.seed,
                   Wrap("fixes the random sequence (0..4294967295); without it the time of the "
                        "first draw seeds it"))
      ->type_name("N")
      ->check(WholeNumber(0, 4294967295LL, "a seed 0..4294967295"));
  composeCommand
      ->add_option("--feel", compose.feel,
                   Wrap("answers the accompaniment dialog: march, standard, blues, rock or 0..3; "
                        "without it the dialog is closed without a choice (march)"))
      ->type_name("F")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            return ParseFeel(text) ? "" : "'" + text + "' is not march, standard, blues, rock or 0..3";
          },
          ""));
  composeCommand
      ->add_option("--form", compose.form,
                   Wrap("loads stored form N (0-based) of default.db before composing"))
      ->type_name("N")
      ->check(WholeNumber(0, 1000000, "a form number 0 or more"));
  composeCommand
      ->add_option("--best-of", compose.bestOf,
                   Wrap("composes N melodies (1..1000, default 1) and keeps the one the melody "
                        "critic scores highest; 1 is the single composition"))
      ->type_name("N")
      ->check(WholeNumber(kMinBestOf, kMaxBestOf, "a count 1..1000"));
  composeCommand
      ->add_option("--melody-octave", compose.melodyOctave,
                   Wrap("moves the melody by octaves over the accompaniment: -1, 0, 1, 2, or "
                        "auto (the melody critic chooses per song, keeping the melody above the "
                        "chords); the default is auto with --best-of above 1 and 0 (the single "
                        "composition as it is) otherwise; notes stay within keys 36..96"))
      ->type_name("O")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            return ParseMelodyOctave(text) ? "" : "'" + text + "' is not auto, -1, 0, 1 or 2";
          },
          ""));
  const char* programNames[] = {"--melody-program", "--bass-program", "--chord-program"};
  const char* programHelp[] = {"General MIDI program 0..127 of the melody track",
                               "General MIDI program 0..127 of the bass track",
                               "General MIDI program 0..127 of the chord track"};
  for (size_t slot = 0; slot < 3; ++slot) {
    composeCommand->add_option(programNames[slot], compose.programs[slot], programHelp[slot])
        ->type_name("P")
        ->check(WholeNumber(0, 127, "a program 0..127"));
  }

  PlayOptions play;
  CLI::App* playCommand = app.add_subcommand(
      "play", Wrap("plays DIR/out.mid to its end through the sound device, with "
                   "DIR/default.sf2 or the system's General MIDI soundfont"));
  AddDirOption(*playCommand, play.dir, "the folder of out.mid (default: the current one)");
  playCommand
      ->add_option("--wav", play.wav,
                   Wrap("renders the song into the WAV file FILE instead (no sound device "
                        "needed)"))
      ->type_name("FILE")
      ->check(
          CLI::Validator([](std::string& v) { return v.empty() ? "an empty name" : ""; }, ""));

  ExportOptions exportOptions;
  CLI::App* exportCommand = app.add_subcommand(
      "export", Wrap("writes the song of DIR/out.mid (the one composed there last) as a MusicXML "
                     "score: the melody with its chord symbols, the bass and the chords, with the "
                     "instruments and the tempo of out.mid and the keys and chord names of the "
                     "form it was composed with; out.mid is not changed"));
  AddDirOption(*exportCommand, exportOptions.dir, "the folder of out.mid and default.db "
                                                  "(default: the current one)");
  exportCommand
      ->add_option("--musicxml", exportOptions.musicxml,
                   Wrap("the MusicXML file to write (relative to the current folder, not DIR); "
                        "an existing file is replaced"))
      ->type_name("FILE")
      ->required()
      ->check(
          CLI::Validator([](std::string& v) { return v.empty() ? "an empty name" : ""; }, ""));
  exportCommand
      ->add_option("--form", exportOptions.form,
                   Wrap("the stored form N (0-based) of default.db that the song was composed "
                        "with, as given to compose (default 0); the export is refused when the "
                        "chords of out.mid are not those of the form (the window's SAVE writes "
                        "a song of a form that is not stored)"))
      ->type_name("N")
      ->check(WholeNumber(0, 1000000, "a form number 0 or more"));
  exportCommand
      ->add_option("--title", exportOptions.title, Wrap("the title of the score (default: none)"))
      ->type_name("TEXT");

  const auto usageError = [&err](const std::string& problem) {
    err << "vema-cli: " << problem << "\n"
        << "Run 'vema-cli --help' for the commands and their options.\n";
    return 2;
  };
  // A first word that is neither an option nor a command is named as such.
  if (argc < 2) return usageError("no command given (compose, play or export)");
  const std::string first = argv[1];
  const auto commands = app.get_subcommands([&first](CLI::App* c) { return c->check_name(first); });
  if (first[0] != '-' && commands.empty()) return usageError("unknown command: " + first);
  for (CLI::App* command : {composeCommand, playCommand, exportCommand}) command->allow_extras();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    const std::string message = e.what();
    return usageError(message.empty() ? "bad command line" : message);
  }
  for (CLI::App* command : {composeCommand, playCommand, exportCommand}) {
    const std::vector<std::string> extras = command->remaining();
    if (!extras.empty()) return usageError("unknown option or argument: " + extras.front());
  }
  if (composeCommand->parsed()) return RunCompose(compose, err);
  if (exportCommand->parsed()) return RunExportCommand(exportOptions, out, err);
  return RunPlay(play, out, err, players);
}

}  // namespace vema
