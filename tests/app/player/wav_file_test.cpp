// play and play --wav against bad files: a WAV that cannot be written whole leaves the previous
// one; a song that cannot be read and a soundfont that cannot be loaded end in an error line and
// exit status 1, never in silence or a hang.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include "accomp/accompaniment.h"
#include "app/compose_command.h"
#include "support/child_process.h"
#include "app/player/fluid_player.h"
#include "app/tiny_song_files.h"

namespace vema {
namespace {

namespace fs = std::filesystem;
using testing::ReadAll;
using testing::TempDir;
using testing::WriteAll;

using testing::Shell;

std::string Cli(const std::string& arguments) {
  return "timeout 60 " + std::string(VEMA_CLI) + " " + arguments;
}

struct SongFolder : ::testing::Test {
  void SetUp() override {
    testing::WriteTinyFolder(dir.str());
    testing::ComposeIn(dir.str(), 11);
  }
  TempDir dir;
};

// Rendered by vema-cli on a disk with room for so many bytes (fluidsynth's threads rule out
// rendering in a forked child of this test).
testing::ShellResult RenderOnFullDisk(const std::string& dir, const std::string& wav, size_t room) {
  return Shell("bash -c 'trap \"\" XFSZ; exec prlimit --fsize=" + std::to_string(room) + " " +
               Cli("play --dir " + dir + " --wav " + wav) + "'");
}

TEST_F(SongFolder, AWavThatCannotBeWrittenWholeLeavesThePreviousOne) {
  const std::string wav = dir.File("song.wav");
  ASSERT_EQ(Shell(Cli("play --dir " + dir.str() + " --wav " + wav)).status, 0);
  const auto previous = ReadAll(wav);
  ASSERT_GT(previous.size(), 100000u);
  const auto names = [this] { return std::distance(fs::directory_iterator(dir.path()), {}); };
  const auto count = names();
  for (const size_t room : {size_t{0}, size_t{44}, size_t{4096}, previous.size() - 1}) {
    const auto [output, status] = RenderOnFullDisk(dir.str(), wav, room);
    EXPECT_EQ(status, 1) << room << output;
    EXPECT_NE(output.find("error: File could not created! " + wav), std::string::npos) << output;
    EXPECT_EQ(ReadAll(wav), previous) << room;
    EXPECT_EQ(names(), count) << room;  // no temporary file left
  }
  EXPECT_EQ(RenderOnFullDisk(dir.str(), wav, previous.size()).status, 0);
  EXPECT_EQ(ReadAll(wav), previous);
}

TEST_F(SongFolder, PlayReportsSongsAndSoundfontsThatCannotBeUsed) {
  const auto song = ReadAll(dir.File("out.mid"));
  struct Case {
    const char* what;
    std::function<void()> spoil;
    std::string message;
  };
  const Case cases[] = {
      {"cut song", [&] { WriteAll(dir.File("out.mid"), {song.begin(), song.end() - 40}); },
       "error: ファイルが壊れています["},
      {"header only", [&] { WriteAll(dir.File("out.mid"), {song.begin(), song.begin() + 14}); },
       "error: ファイルが壊れています["},
      {"fifo", [&] { fs::remove(dir.File("out.mid")); ::mkfifo(dir.File("out.mid").c_str(), 0600); },
       "error: ファイルを開けません["},
      {"folder", [&] { fs::remove(dir.File("out.mid")); fs::create_directory(dir.File("out.mid")); },
       "error: ファイルを開けません["},
      {"soundfont", [&] { WriteAll(dir.File("default.sf2"), {'R', 'I', 'F', 'F', 1, 2, 3}); },
       "error: the soundfont could not be loaded: "},
  };
  for (const Case& c : cases) {
    c.spoil();
    for (const std::string& wav : {std::string(), " --wav " + dir.File("x.wav")}) {
      const auto [output, status] = Shell(Cli("play --dir " + dir.str() + wav));
      EXPECT_EQ(status, 1) << c.what << wav << ": " << output;
      EXPECT_NE(output.find(c.message), std::string::npos) << c.what << wav << ": " << output;
      EXPECT_FALSE(fs::exists(dir.File("x.wav"))) << c.what;
    }
    fs::remove_all(dir.File("out.mid"));
    fs::remove(dir.File("default.sf2"));
    WriteAll(dir.File("out.mid"), song);
  }
}

TEST_F(SongFolder, AWavIntoAPipeHasTheBytesOfTheWavFile) {
  std::string error;
  FluidPlayer player(dir.str());
  ASSERT_TRUE(player.RenderWav(dir.File("out.mid"), dir.File("file.wav"), error)) << error;
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  std::vector<uint8_t> piped;
  std::thread reader([&] {
    uint8_t buffer[65536];
    for (ssize_t n; (n = ::read(ends[0], buffer, sizeof buffer)) > 0;) {
      piped.insert(piped.end(), buffer, buffer + n);
    }
  });
  WavStream stream(ends[1], "-");
  const bool ok = player.RenderWavTo(dir.File("out.mid"), stream, error);
  ::close(ends[1]);
  reader.join();
  ::close(ends[0]);
  ASSERT_TRUE(ok) << error;
  EXPECT_EQ(piped, ReadAll(dir.File("file.wav")));
  // A stream that cannot be written says so by its name.
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  std::signal(SIGPIPE, SIG_IGN);
  WavStream closed(ends[1], "-");
  EXPECT_FALSE(player.RenderWavTo(dir.File("out.mid"), closed, error));
  EXPECT_EQ(error, "File could not created! -");
  ::close(ends[1]);
}

}  // namespace
}  // namespace vema
