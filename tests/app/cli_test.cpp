// The console front end's contract: exit codes, message lines and the options of compose and play.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/cli.h"
#include "app/tiny_song_files.h"
#include "song/text.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::ReadAll;
using testing::TempDir;

struct CliResult {
  int status;
  std::string out;
  std::string err;
};

CliResult Cli(std::vector<std::string> args, const SongPlayerFactory& players = {}) {
  args.insert(args.begin(), "vema-cli");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  std::ostringstream out, err;
  const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err, players);
  return {status, out.str(), err.str()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class CliCompose : public ::testing::Test {
 protected:
  void SetUp() override { testing::WriteTinyFolder(dir.str()); }
  CliResult Compose(std::vector<std::string> extra) {
    std::vector<std::string> args = {"compose", "--dir", dir.str(), "--seed", "4"};
    args.insert(args.end(), extra.begin(), extra.end());
    return Cli(args);
  }
  std::vector<uint8_t> Mid() { return ReadAll(dir.File("out.mid")); }
  TempDir dir;
};

TEST_F(CliCompose, ASuccessfulCompositionExitsZeroWithItsInfoLine) {
  const CliResult r = Compose({"--feel", "blues"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err), (std::vector<std::string>{"info: 作曲完了！！"}));
  EXPECT_TRUE(r.out.empty());
  for (const char* name : {"out.mid", "out.mml", "work.txt"}) {
    EXPECT_TRUE(std::filesystem::exists(dir.File(name))) << name;
  }
}

TEST_F(CliCompose, AnErrorMessageGivesExitOne) {
  testing::WriteTinyDatabase(dir.str(), 2);  // a kind that melody generation refuses
  const CliResult r = Compose({});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err),
            (std::vector<std::string>{"error: 現在使用中のＤＢではこの関数は使用できません。"}));
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.mid")));
}

TEST_F(CliCompose, MissingDatabaseShowsEveryMessageOnItsOwnLine) {
  std::filesystem::remove(dir.File("default.mld"));
  const CliResult r = Compose({});
  EXPECT_EQ(r.status, 1);
  const auto lines = Lines(r.err);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "error: ファイルを開けません[default.mld]");
  // The no-melody message becomes one line; the accompaniment is still written.
  bool noMelody = false;
  for (const std::string& line : lines) {
    noMelody = noMelody || line == "info: メロディーはまだ生成されていません。 伴奏パタンのみ作成します。";
  }
  EXPECT_TRUE(noMelody) << r.err;
  EXPECT_EQ(Mid()[11], 4);
}

TEST_F(CliCompose, UsageErrorsExitTwo) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--feel", "polka"}, {"--feel", "4"}, {"--seed", "-1"}, {"--form", "3"},
           {"--form", "x"}, {"--melody-program", "128"}, {"--bogus", "1"}, {"--dir"}}) {
    const CliResult r = Compose(args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_TRUE(r.err.starts_with("vema-cli: ")) << r.err;
  }
  EXPECT_EQ(Cli({}).status, 2);
  EXPECT_EQ(Cli({"sing"}).status, 2);
  EXPECT_EQ(Cli({"compose", "--dir", dir.File("nowhere")}).status, 2);
  const CliResult help = Cli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("vema-cli play [--dir DIR] [--wav FILE]"), std::string::npos);
}

TEST_F(CliCompose, TheSeedFixesTheSongAndTheFeelPicksTheDrums) {
  ASSERT_EQ(Compose({"--feel", "rock"}).status, 0);
  const auto first = Mid();
  ASSERT_EQ(Compose({"--feel", "3"}).status, 0);
  EXPECT_EQ(Mid(), first);
  ASSERT_EQ(Compose({"--feel", "march"}).status, 0);
  const auto march = Mid();
  EXPECT_NE(march, first);
  // Only the accompaniment differs: the melody track is the same.
  const size_t melodyStart = 14 + 44;
  const size_t melodyLength = (first[melodyStart + 6] << 8) | first[melodyStart + 7];
  EXPECT_TRUE(std::equal(first.begin() + melodyStart,
                         first.begin() + static_cast<long>(melodyStart + 8 + melodyLength),
                         march.begin() + melodyStart));
  ASSERT_EQ(Compose({}).status, 0);  // no --feel: the dialog closes without a choice (march)
  EXPECT_EQ(Mid(), march);
}

TEST_F(CliCompose, TheFormOptionLoadsAStoredForm) {
  ASSERT_EQ(Compose({"--form", "1"}).status, 0);
  const auto mml = ReadAll(dir.File("out.mml"));
  const std::string text(mml.begin(), mml.end());
  EXPECT_NE(text.find(";bar=15 ---------------\r\nA "), std::string::npos);
  EXPECT_EQ(text.find(";bar=17 "), std::string::npos);
  const auto work = ReadAll(dir.File("work.txt"));
  EXPECT_NE(Cp932ToUtf8(std::string(work.begin(), work.end())).find("mae=Am,ato=Am"),
            std::string::npos);
}

TEST_F(CliCompose, ProgramsGoIntoTheirTracks) {
  ASSERT_EQ(Compose({"--melody-program", "73", "--bass-program", "33", "--chord-program", "0"})
                .status,
            0);
  const auto mid = Mid();
  EXPECT_EQ(mid[14 + 44 + 10], 73);  // melody program change C0 73
  EXPECT_EQ(mid[14 + 44 + 9], 0xC0);
}

// ---- play --------------------------------------------------------------------------------------

class FakePlayer : public SongPlayer {
 public:
  explicit FakePlayer(std::vector<std::string>& log) : log_(log) {}
  void Command(const std::string& command) override { log_.push_back(command); }
  bool WaitUntilEnd(std::string& error) override {
    log_.push_back("wait");
    if (failWait) error = "no audio device could be opened";
    return !failWait;
  }
  bool RenderWav(const std::string& midi, const std::string& wav, std::string&) override {
    log_.push_back("render " + midi + " " + wav);
    return true;
  }
  bool failWait = false;

 private:
  std::vector<std::string>& log_;
};

TEST(CliPlayCommand, PlaysThroughTheFiveCommandStrings) {
  TempDir dir;
  testing::WriteAll(dir.File("out.mid"), {'M', 'T', 'h', 'd'});
  std::vector<std::string> log;
  std::string madeFor;
  const SongPlayerFactory players = [&](const std::string& d) {
    madeFor = d;
    return std::make_unique<FakePlayer>(log);
  };
  const CliResult r = Cli({"play", "--dir", dir.str()}, players);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(madeFor, dir.str());
  EXPECT_EQ(log, (std::vector<std::string>{"open out.mid type sequencer alias tada", "play tada",
                                           "wait", "stop tada", "seek tada to start",
                                           "close tada"}));
}

TEST(CliPlayCommand, AFailedPlaybackIsAnErrorLine) {
  TempDir dir;
  testing::WriteAll(dir.File("out.mid"), {'M'});
  std::vector<std::string> log;
  const SongPlayerFactory players = [&](const std::string&) {
    auto p = std::make_unique<FakePlayer>(log);
    p->failWait = true;
    return p;
  };
  const CliResult r = Cli({"play", "--dir", dir.str()}, players);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: no audio device could be opened\n");
  EXPECT_EQ(log.back(), "close tada");
}

TEST(CliPlayCommand, WavRenderingAndUsage) {
  TempDir dir;
  std::vector<std::string> log;
  const SongPlayerFactory players = [&](const std::string&) {
    return std::make_unique<FakePlayer>(log);
  };
  CliResult r = Cli({"play", "--dir", dir.str(), "--wav", dir.File("x.wav")}, players);
  EXPECT_EQ(r.status, 1);  // no out.mid yet
  EXPECT_EQ(r.err, "error: ファイルを開けません[out.mid]\n");
  testing::WriteAll(dir.File("out.mid"), {'M'});
  r = Cli({"play", "--dir", dir.str(), "--wav", dir.File("x.wav")}, players);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, dir.File("x.wav") + "\n");
  EXPECT_EQ(log, (std::vector<std::string>{"render " + dir.File("out.mid") + " " +
                                           dir.File("x.wav")}));
  EXPECT_EQ(Cli({"play", "--dir", dir.str(), "--speed", "2"}, players).status, 2);
  EXPECT_EQ(Cli({"play", "--dir", dir.File("nowhere")}, players).status, 2);
  // A front end without a player says so.
  r = Cli({"play", "--dir", dir.str()});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.starts_with("error: ")) << r.err;
}

}  // namespace
}  // namespace vema
