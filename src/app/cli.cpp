#include "app/cli.h"

#include <filesystem>
#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <tuple>
#include <thread>
#include <vector>

#include <pthread.h>
#include <signal.h>

#include <CLI/CLI.hpp>

#include "app/compose_command.h"
#include "app/console_platform.h"
#include "app/export_command.h"
#include "app/history_command.h"
#include "app/install_layout.h"
#include "app/playback.h"
#include "app/session.h"
#include "app/song_state.h"
#include "critic/melody_choice.h"
#include "song/file_io.h"
#include "song/song_file.h"

namespace vema {
namespace {

constexpr const char* kDescription =
    "vema-cli composes songs the way the window program does, plays them, renders them and "
    "writes them as scores.";
constexpr const char* kFooter =
    "Every message box is printed on stderr as one line, \"error: TEXT\" for an error and\n"
    "\"info: TEXT\" for information.  Exit status: 0 without errors, 1 when an error message\n"
    "was shown, 2 for a usage error, 130 for a play stopped with Ctrl-C.  'vema-cli COMMAND\n"
    "--help' explains a command.\n"
    "Without --dir an installed vema-cli works in the song folder $XDG_DATA_HOME/vema (by\n"
    "default ~/.local/share/vema), made with the default files on first use; run from its build\n"
    "folder it works in the current folder.";

struct ComposeOptions {
  std::string dir = ".";
  std::optional<long long> seed;
  std::optional<std::string> feel;
  std::optional<long long> form;
  std::array<std::optional<int>, 3> programs;
  int bestOf = 1;
  double wait = kDefaultFolderWaitSeconds;
  std::optional<std::string> melodyOctave;
};

struct PlayOptions {
  std::string dir = ".";
  std::optional<std::string> wav;
  std::optional<std::string> port;
};

// What --port takes to list the MIDI outputs instead of playing.
constexpr const char* kListPorts = "list";
// The exit status of a play stopped with Ctrl-C.
constexpr int kInterruptedStatus = 130;

// Ctrl-C while a song plays: instead of ending the process at once, which would leave the notes
// of a MIDI output sounding, the player is told to stop (its notes end) and play returns.  The
// signal is taken by a thread of its own, from the moment this is made on (so the player's
// threads, made later, never get it).
class StopOnInterrupt {
 public:
  explicit StopOnInterrupt(std::function<void()> stop) {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, kEndSignal);
    pthread_sigmask(SIG_BLOCK, &signals_, &before_);
    waiter_ = std::thread([this, stop = std::move(stop)] {
      int signal = 0;
      while (sigwait(&signals_, &signal) == 0 && signal == SIGINT) {
        interrupted_ = true;
        stop();
      }
    });
  }
  ~StopOnInterrupt() {
    pthread_kill(waiter_.native_handle(), kEndSignal);
    waiter_.join();
    // A Ctrl-C still pending would end the process once it is let through.
    const timespec none{};
    siginfo_t info;
    while (sigtimedwait(&signals_, &info, &none) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &before_, nullptr);
  }
  StopOnInterrupt(const StopOnInterrupt&) = delete;
  StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;

  bool interrupted() const { return interrupted_; }

 private:
  static constexpr int kEndSignal = SIGUSR1;
  sigset_t signals_;
  sigset_t before_;
  std::atomic<bool> interrupted_{false};
  std::thread waiter_;
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
  platform.SetFolderWaitSeconds(options.wait);
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
  session.song.english = true;
  if (const std::optional<double> score = ComposeAndRecord(session)) {
    char line[96];
    std::snprintf(line, sizeof line, "the melody is the best of %d, score %.1f of 100",
                  options.bestOf, *score);
    platform.ShowMessage(line, MessageIcon::kPlain);
  }
  return platform.stopMessages() > 0 ? 1 : 0;
}

// --port list: the MIDI outputs, one a line.
int ListPorts(SongPlayer& player, std::ostream& out, ConsolePlatform& platform) {
  std::string problem;
  const std::vector<std::string> names = player.ListOutputs(problem);
  for (const std::string& name : names) out << name << '\n';
  if (names.empty()) {
    platform.ShowMessage(problem.empty() ? "no MIDI output is available" : problem,
                         MessageIcon::kPlain);
  }
  return 0;
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
  if (options.port == kListPorts) return ListPorts(*players(dir), out, platform);
  const std::string midiPath = ResolvePath(dir, "out.mid");
  std::string problem;
  if (!ReadSongFile(midiPath, "out.mid", problem)) {
    platform.ShowMessage(problem, MessageIcon::kStop);
    return 1;
  }
  if (wav && IsStandardOutput(*wav)) {
    // Standard output is a stream: the sound is rendered into a scratch file first (its header
    // is completed at the end) and then copied out as it is.
    std::unique_ptr<SongPlayer> player = players(dir);
    ScratchFolder scratch;
    const std::string sound = scratch.ok() ? scratch.File("song.wav") : "";
    if (!scratch.ok()) {
      platform.ShowMessage("no scratch folder for the sound could be made", MessageIcon::kStop);
    } else if (!player->RenderWav(midiPath, sound, problem)) {
      platform.ShowMessage(problem, MessageIcon::kStop);
    } else if (!CopyFileToStream(sound, out)) {
      platform.ShowMessage("the sound could not be written to standard output", MessageIcon::kStop);
    }
    return platform.stopMessages() > 0 ? 1 : 0;
  }
  if (wav) {
    std::unique_ptr<SongPlayer> player = players(dir);
    if (!player->RenderWav(midiPath, *wav, problem)) {
      platform.ShowMessage(problem, MessageIcon::kStop);
    } else {
      out << *wav << '\n';
    }
    return platform.stopMessages() > 0 ? 1 : 0;
  }

  std::atomic<SongPlayer*> playing{nullptr};
  StopOnInterrupt interrupt([&playing] {
    if (SongPlayer* player = playing.load()) player->Command(kPlayerStop);
  });
  const std::unique_ptr<SongPlayer> player = players(dir);
  if (options.port) {
    const std::vector<std::string> names = player->ListOutputs(problem);
    if (std::find(names.begin(), names.end(), *options.port) == names.end()) {
      platform.ShowMessage("there is no MIDI output named \"" + *options.port +
                               "\" ('vema-cli play --port list' shows them)",
                           MessageIcon::kStop);
      return 1;
    }
    player->SetOutput(*options.port);
  }
  platform.SetPlayer([&player](const std::string& command) { player->Command(command); });
  Session session(platform, SessionOptions{dir, std::nullopt});
  if (interrupt.interrupted()) return kInterruptedStatus;
  PlayCommand(session);
  playing = player.get();
  if (interrupt.interrupted()) player->Command(kPlayerStop);  // Ctrl-C while it started
  if (const PlayerNotice notice = player->TakeNotice();
      notice.kind == PlayerNotice::Kind::kPortMissing) {
    platform.ShowMessage("the MIDI output \"" + notice.port +
                             "\" is gone: the built-in synthesizer plays instead",
                         MessageIcon::kPlain);
  }
  if (!player->WaitUntilEnd(problem)) platform.ShowMessage(problem, MessageIcon::kStop);
  StopCommand(session);
  if (interrupt.interrupted()) return kInterruptedStatus;
  return platform.stopMessages() > 0 ? 1 : 0;
}

}  // namespace

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
  return RunCli(argc, argv, out, err, SongPlayerFactory());
}

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err,
           const SongPlayerFactory& players) {
  return RunCli(argc, argv, out, err, players, DefaultFolder());
}

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err,
           const SongPlayerFactory& players, const DefaultFolder& defaultFolder) {
  CLI::App app(kDescription, "vema-cli");
  app.set_version_flag("--version", VersionText(), "prints the version and exits");
  app.footer(kFooter);
  app.require_subcommand(1);
  app.get_formatter()->column_width(kHelpColumn);

  ComposeOptions compose;
  CLI::App* composeCommand = app.add_subcommand(
      "compose", Wrap("composes one song the way the window program does and writes out.mid, "
                      "out.mml and work.txt into DIR"));
  CLI::Option* composeDir = AddDirOption(*composeCommand, compose.dir,
               "working directory (default: see below): default.mld, default.ton and "
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
      ->add_option("--wait", compose.wait,
                   Wrap("while another run writes in DIR, waits up to SECONDS (default 5) for it "
                        "to finish; then nothing is written and the exit status is 1"))
      ->type_name("SECONDS")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            return !text.empty() && end == text.c_str() + text.size() && value >= 0 &&
                           value <= 86400
                       ? ""
                       : "'" + text + "' is not a number of seconds 0..86400";
          },
          ""));
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
                   "DIR/default.sf2 or the system's General MIDI soundfont, or into a MIDI "
                   "output of the system"));
  CLI::Option* playDir =
      AddDirOption(*playCommand, play.dir, "the folder of out.mid (default: see below)");
  CLI::Option* wavOption =
      playCommand
          ->add_option("--wav", play.wav,
                       Wrap("renders the song into the WAV file FILE instead, until its sound has "
                            "died away (no sound device needed); - or /dev/stdout writes it to "
                             "standard output"))
          ->type_name("FILE")
          ->check(CLI::Validator([](std::string& v) { return v.empty() ? "an empty name" : ""; },
                                 ""));
  playCommand
      ->add_option("--port", play.port,
                   Wrap("plays into the MIDI output NAME (a synthesizer, a music program) "
                        "instead of the built-in synthesizer, and returns when the song ends; "
                        "Ctrl-C stops it, with all notes off (exit status 130); '--port list' "
                        "prints the MIDI outputs there are, one a line"))
      ->type_name("NAME|list")
      ->excludes(wavOption)
      ->check(
          CLI::Validator([](std::string& v) { return v.empty() ? "an empty name" : ""; }, ""));

  ExportOptions exportOptions;
  CLI::App* exportCommand = app.add_subcommand(
      "export", Wrap("writes the song of DIR/out.mid (the one composed there last) as a MusicXML "
                     "score: the melody with its chord symbols, the bass and the chords, with the "
                     "instruments and the tempo of out.mid and the keys and chord names of the "
                     "form it was composed with; out.mid is not changed"));
  CLI::Option* exportDir = AddDirOption(*exportCommand, exportOptions.dir,
                                        "the folder of out.mid and default.db (default: see below)");
  exportCommand
      ->add_option("--musicxml", exportOptions.musicxml,
                   Wrap("the MusicXML file to write (relative to the current folder, not DIR); "
                        "an existing file is replaced; - or /dev/stdout writes the score to "
                        "standard output"))
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

  // The song history: every song composed or re-made in a folder, stepped through and re-rolled.
  HistoryOptions historyOptions;
  CLI::App* historyCommand = app.add_subcommand(
      "history", Wrap("lists the songs composed and re-made in DIR, oldest first: number, time, "
                      "what made it, bars of the form, seed, score (* marks the current song)"));
  CLI::Option* historyDir = AddDirOption(*historyCommand, historyOptions.dir,
                                         "the song folder (default: as for compose)");

  RecallOptions recall;
  CLI::App* recallCommand = app.add_subcommand(
      "recall", Wrap("makes song N of the history the current song again: out.mid, out.mml and "
                     "work.txt are written again exactly as when it was made"));
  CLI::Option* recallDir =
      AddDirOption(*recallCommand, recall.dir, "the song folder (default: as for compose)");
  recallCommand->add_option("N", recall.number, Wrap("the song's number in the history"))
      ->required()
      ->check(WholeNumber(1, 2147483647LL, "an entry number 1 or more"));

  RerollOptions reroll;
  std::optional<std::string> rerollFeel, rerollBars;
  CLI::App* rerollCommand = app.add_subcommand(
      "reroll", Wrap("makes a new song from the current one, keeping what is not named, and "
                     "adds it to the history"));
  CLI::Option* rerollDir = AddDirOption(*rerollCommand, reroll.dir,
               "the song folder (default: as for compose); its default.mld and default.ton are "
               "used for the new draws");
  CLI::Option* rerollMelody = rerollCommand->add_flag(
      "--melody", reroll.melody, Wrap("new melody, same rhythm: the pitches are drawn again"));
  CLI::Option* rerollRhythm = rerollCommand->add_flag(
      "--rhythm", reroll.rhythm,
      Wrap("new rhythm and melody: the song's form composed again with its instruments and feel"));
  CLI::Option* rerollFeelOption =
      rerollCommand
          ->add_option("--feel", rerollFeel,
                       Wrap("another feel: the accompaniment is written again with march, "
                            "standard, blues, rock or 0..3, the melody unchanged"))
          ->type_name("F")
          ->check(CLI::Validator(
              [](std::string& text) -> std::string {
                return ParseFeel(text) ? ""
                                       : "'" + text + "' is not march, standard, blues, rock or 0..3";
              },
              ""));
  CLI::Option* rerollBarsOption =
      rerollCommand
          ->add_option("--bars", rerollBars,
                       Wrap("re-makes bars A to B (counted from 1; B may be left out) and the "
                            "bars the form ties to them; every other note stays"))
          ->type_name("A-B")
          ->check(CLI::Validator(
              [](std::string& text) -> std::string {
                return ParseBarRange(text) ? "" : "'" + text + "' is not a bar range such as 3-5";
              },
              ""));
  const std::vector<CLI::Option*> rerollKinds = {rerollMelody, rerollRhythm, rerollFeelOption,
                                                 rerollBarsOption};
  for (CLI::Option* a : rerollKinds) {
    for (CLI::Option* b : rerollKinds) {
      if (a != b) a->excludes(b);
    }
  }
  rerollCommand
      ->add_option("--seed", reroll.seed,
                   Wrap("fixes the random sequence of the new draws (0..4294967295)"))
      ->type_name("N")
      ->check(WholeNumber(0, 4294967295LL, "a seed 0..4294967295"));
  rerollCommand
      ->add_option("--best-of", reroll.bestOf,
                   Wrap("candidates of the new draws (1..1000; default: those the current song "
                        "was drawn with)"))
      ->type_name("N")
      ->check(WholeNumber(kMinBestOf, kMaxBestOf, "a count 1..1000"));

  EditOptions edit;
  CLI::App* editCommand = app.add_subcommand(
      "edit", Wrap("changes one melody note of the current song by hand (the song's history "
                   "entry keeps the edit) and writes its files again"));
  CLI::Option* editDir =
      AddDirOption(*editCommand, edit.dir, "the song folder (default: as for compose)");
  editCommand->add_option("--bar", edit.bar, Wrap("the bar, counted from 1"))
      ->type_name("B")
      ->required()
      ->check(WholeNumber(1, 96, "a bar 1..96"));
  editCommand->add_option("--note", edit.note, Wrap("the note or rest of the bar, counted from 1"))
      ->type_name("N")
      ->required()
      ->check(WholeNumber(1, 19, "a note 1..19"));
  std::vector<CLI::Option*> editKinds = {
      editCommand->add_option("--semitones", edit.semitones, Wrap("moves the note up (or down, negative) by K semitones"))
          ->type_name("K")->check(WholeNumber(-127, 127, "a move -127..127")),
      editCommand->add_option("--steps", edit.steps, Wrap("moves the note by K steps of the bar's key scale"))
          ->type_name("K")->check(WholeNumber(-127, 127, "a move -127..127")),
      editCommand->add_option("--octaves", edit.octaves, Wrap("moves the note by K octaves"))
          ->type_name("K")->check(WholeNumber(-10, 10, "a move -10..10")),
      editCommand->add_option("--key", edit.key, Wrap("gives the note or rest the MIDI key K (60 is middle C)"))
          ->type_name("K")->check(WholeNumber(0, 127, "a key 0..127")),
      editCommand->add_flag("--rest", edit.rest, Wrap("makes the note a rest"))};
  for (CLI::Option* a : editKinds) {
    for (CLI::Option* b : editKinds) {
      if (a != b) a->excludes(b);
    }
  }

  const auto usageError = [&err](const std::string& problem) {
    err << "vema-cli: " << problem << "\n"
        << "Run 'vema-cli --help' for the commands and their options.\n";
    return 2;
  };
  // A first word that is neither an option nor a command is named as such.
  if (argc < 2) {
    return usageError("no command given (compose, play, export, history, recall, reroll or edit)");
  }
  const std::string first = argv[1];
  const auto commands = app.get_subcommands([&first](CLI::App* c) { return c->check_name(first); });
  if (first[0] != '-' && commands.empty()) return usageError("unknown command: " + first);
  const std::vector<CLI::App*> allCommands = {composeCommand, playCommand,   exportCommand,
                                              historyCommand, recallCommand, rerollCommand,
                                              editCommand};
  for (CLI::App* command : allCommands) command->allow_extras();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return 0;
  } catch (const CLI::CallForVersion&) {
    out << "vema-cli " << VersionText() << "\n";
    return 0;
  } catch (const CLI::ParseError& e) {
    const std::string message = e.what();
    return usageError(message.empty() ? "bad command line" : message);
  }
  for (CLI::App* command : allCommands) {
    const std::vector<std::string> extras = command->remaining();
    if (!extras.empty()) return usageError("unknown option or argument: " + extras.front());
  }
  if (defaultFolder) {
    const std::tuple<CLI::App*, CLI::Option*, std::string*> dirs[] = {
        {composeCommand, composeDir, &compose.dir},
        {playCommand, playDir, &play.dir},
        {exportCommand, exportDir, &exportOptions.dir},
        {historyCommand, historyDir, &historyOptions.dir},
        {recallCommand, recallDir, &recall.dir},
        {rerollCommand, rerollDir, &reroll.dir},
        {editCommand, editDir, &edit.dir}};
    for (const auto& [command, option, dir] : dirs) {
      if (!command->parsed() || option->count() > 0) continue;
      ConsolePlatform platform(err);
      const std::optional<std::string> folder = defaultFolder(platform);
      if (!folder) return 1;
      *dir = *folder;
    }
  }
  if (composeCommand->parsed()) return RunCompose(compose, err);
  if (historyCommand->parsed()) return RunHistoryCommand(historyOptions, out, err);
  if (recallCommand->parsed()) return RunRecallCommand(recall, out, err);
  if (rerollCommand->parsed()) {
    if (rerollFeel) reroll.feel = ParseFeel(*rerollFeel);
    if (rerollBars) reroll.bars = ParseBarRange(*rerollBars);
    if (!reroll.melody && !reroll.rhythm && !reroll.feel && !reroll.bars) {
      return usageError("reroll needs one of --melody, --rhythm, --feel F or --bars A-B");
    }
    return RunRerollCommand(reroll, out, err);
  }
  if (editCommand->parsed()) {
    if (!edit.semitones && !edit.steps && !edit.octaves && !edit.key && !edit.rest) {
      return usageError("edit needs one of --semitones, --steps, --octaves, --key or --rest");
    }
    return RunEditCommand(edit, out, err);
  }
  if (exportCommand->parsed()) return RunExportCommand(exportOptions, out, err);
  return RunPlay(play, out, err, players);
}

}  // namespace vema
