// The console front end's contract: exit codes, message lines and the options of compose and play.
#include "app/cli.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/tiny_song_files.h"
#include "support/recording_player.h"

namespace vema {
namespace {

using CliResult = testing::CliRun;

constexpr auto Cli = [](const std::string& line, const SongPlayerFactory& players = {}) {
  return testing::RunCliLine(line, players);
};

struct CliCompose : ::testing::Test {
  void SetUp() override { testing::WriteTinyFolder(dir.str()); }
  CliResult Compose(const std::string& options) {
    return Cli("compose --dir " + dir.str() + " --seed 4 " + options);
  }
  std::vector<uint8_t> Read(const char* name) { return testing::ReadAll(dir.File(name)); }
  testing::TempDir dir;
};

TEST_F(CliCompose, ExitCodesAndMessageLines) {
  CliResult r = Compose("--feel blues");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "info: 作曲完了！！\n");
  std::filesystem::remove(dir.File("default.mld"));
  r = Compose("");  // every message on its own line; the accompaniment is still written
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.starts_with("error: ファイルを開けません[default.mld]\n")) << r.err;
  EXPECT_NE(r.err.find("\ninfo: メロディーはまだ生成されていません。 伴奏パタンのみ作成します。\n"),
            std::string::npos);
}

TEST_F(CliCompose, UsageErrorsExitTwoWithALineNamingTheProblem) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"--feel polka", "--feel: 'polka' is not march"},
      {"--feel 4", "--feel: '4' is not"},
      {"--seed -1", "--seed: '-1' is not a seed"},
      {"--seed 4294967296", "--seed: '4294967296' is not a seed"},
      {"--form 3", "--form 3 is not a stored form (there are 2)"},
      {"--form x", "--form: 'x' is not"},
      {"--melody-program 128", "--melody-program: '128' is not a program 0..127"},
      {"--bogus 1", "unknown option or argument: --bogus"},
      {"--dir", "--dir"},
      {"--dir " + dir.File("nowhere"), "no such directory: " + dir.File("nowhere")}};
  for (const auto& [options, problem] : cases) {
    const CliResult r = Compose(options);
    EXPECT_EQ(r.status, 2) << options;
    EXPECT_TRUE(r.err.starts_with("vema-cli: ")) << r.err;
    EXPECT_NE(r.err.find(problem), std::string::npos) << options << ": " << r.err;
  }
  for (const auto& [line, problem] : std::vector<std::pair<std::string, std::string>>{
           {"", "no command given"}, {"sing", "unknown command: sing"},
           {"play --speed 2", "unknown option or argument: --speed"}}) {
    const CliResult r = Cli(line);
    EXPECT_EQ(r.status, 2) << line;
    EXPECT_NE(r.err.find("vema-cli: " + problem), std::string::npos) << r.err;
  }
  // --help, of the program and of each command, explains it and succeeds.
  for (const auto& [line, option] : std::vector<std::pair<std::string, std::string>>{
           {"--help", "compose"}, {"compose --help", "--melody-program P"},
           {"play --help", "--wav FILE"}}) {
    const CliResult r = Cli(line);
    EXPECT_EQ(r.status, 0) << line;
    EXPECT_NE(r.out.find(option), std::string::npos) << r.out;
  }
}

TEST_F(CliCompose, SeedFeelAndFormOptions) {
  // Each feel by name and by number gives the same song; the four songs differ.
  std::vector<std::vector<uint8_t>> songs;
  for (const auto& [name, number] : {std::pair{"march", "0"}, std::pair{"standard", "1"},
                                     std::pair{"blues", "2"}, std::pair{"rock", "3"}}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(Compose(std::string("--feel ") + name).status, 0);
    songs.push_back(Read("out.mid"));
    ASSERT_EQ(Compose(std::string("--feel ") + number).status, 0);
    EXPECT_EQ(Read("out.mid"), songs.back());
    for (size_t other = 0; other + 1 < songs.size(); ++other) EXPECT_NE(songs[other], songs.back());
  }
  ASSERT_EQ(Compose("").status, 0);  // no --feel: the dialog closes without a choice (march)
  EXPECT_EQ(Read("out.mid"), songs.front());
  // Another seed, another song (the helper's seed is 4).
  ASSERT_EQ(Cli("compose --dir " + dir.str() + " --seed 5").status, 0);
  EXPECT_NE(Read("out.mid"), songs.front());
  ASSERT_EQ(Compose("--form 1").status, 0);  // two periods: bars 0..15
  const auto mml = Read("out.mml");
  const std::string text(mml.begin(), mml.end());
  EXPECT_NE(text.find(";bar=15 ---------------\r\nA "), std::string::npos);
  EXPECT_EQ(text.find(";bar=17 "), std::string::npos);
}

// A player that notes what it renders with its commands, and may find no sound device.
struct FakePlayer : testing::RecordingPlayer {
  bool WaitUntilEnd(std::string& error) override {
    if (fail) error = "no audio device could be opened";
    return !fail;
  }
  bool RenderWav(const std::string& midi, const std::string& wav, std::string&,
                 const RenderProgress&) override {
    commands.push_back("render " + midi + " " + wav);
    return true;
  }
  bool fail = false;
};

TEST(CliPlay, PlaysThroughTheCommandStringsOrRendersAWav) {
  testing::TempDir dir;
  FakePlayer player;
  const SongPlayerFactory players = [&](const std::string&) {
    return std::make_unique<testing::PlayerProxy>(player);
  };
  const std::string play = "play --dir " + dir.str(), wav = dir.File("x.wav");
  EXPECT_EQ(Cli(play + " --wav " + wav, players).err, "error: ファイルを開けません[out.mid]\n");
  testing::WriteAll(dir.File("out.mid"), {'M', 'T', 'h', 'd'});
  EXPECT_EQ(Cli(play, players).err, "error: ファイルが壊れています[out.mid]\n");
  EXPECT_TRUE(player.commands.empty());
  const char song[] = "MThd\0\0\0\6\0\0\0\1\0\x30MTrk\0\0\0\4\0\xFF\x2F\0";
  testing::WriteAll(dir.File("out.mid"), std::vector<uint8_t>(song, song + sizeof song - 1));
  EXPECT_EQ(Cli(play + " --wav " + wav, players).out, wav + "\n");
  EXPECT_EQ(player.commands, std::vector<std::string>{"render " + dir.File("out.mid") + " " + wav});
  player.commands.clear();
  EXPECT_EQ(Cli(play, players).status, 0);
  EXPECT_EQ(player.commands,
            (std::vector<std::string>{"open out.mid type sequencer alias tada", "play tada",
                                      "stop tada", "seek tada to start", "close tada"}));
  player.fail = true;
  EXPECT_EQ(Cli(play, players).err, "error: no audio device could be opened\n");
  EXPECT_EQ(Cli(play, players).status, 1);
  EXPECT_EQ(player.commands.back(), "close tada");
  EXPECT_TRUE(Cli(play).err.starts_with("error: "));  // a front end without a player says so
}

TEST(CliPlay, PortListsTheMidiOutputsAndPlaysIntoOneOfThem) {
  testing::TempDir dir;
  const char song[] = "MThd\0\0\0\6\0\0\0\1\0\x30MTrk\0\0\0\4\0\xFF\x2F\0";
  testing::WriteAll(dir.File("out.mid"), std::vector<uint8_t>(song, song + sizeof song - 1));
  testing::RecordingPlayer player;
  player.outputs = {"synth:in", "USB MIDI 1"};
  const SongPlayerFactory players = [&](const std::string&) {
    player.commands.clear();
    player.outputsChosen.clear();
    return std::make_unique<testing::PlayerProxy>(player);
  };
  const std::string play = "play --dir " + dir.str() + " --port ";
  struct Case {
    std::string port;
    int status;
    std::string out, err;
    std::vector<std::string> chosen;
  };
  const Case cases[] = {
      {"list", 0, "synth:in\nUSB MIDI 1\n", "", {}},
      {"synth:in", 0, "", "", {"synth:in"}},
      {"synth", 1, "",
       "error: there is no MIDI output named \"synth\" ('vema-cli play --port list' shows them)\n",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    const CliResult result = Cli(play + c.port, players);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(player.outputsChosen, c.chosen);
    EXPECT_EQ(player.commands.size(), c.status == 0 && c.port != "list" ? 5u : 0u);
  }
  // A port that went between the check and the start: the synthesizer plays, and says so.
  player.notices = {{PlayerNotice::Kind::kPortMissing, "synth:in"}};
  EXPECT_EQ(Cli(play + "synth:in", players).err,
            "info: the MIDI output \"synth:in\" is gone: the built-in synthesizer plays instead\n");
  player.outputs.clear();
  EXPECT_EQ(Cli(play + "list", players).err, "info: no MIDI output is available\n");
  const CliResult both = Cli(play + "synth:in --wav " + dir.File("x.wav"), players);
  EXPECT_EQ(both.status, 2);
  EXPECT_NE(both.err.find("excludes"), std::string::npos) << both.err;
}

}  // namespace
}  // namespace vema
