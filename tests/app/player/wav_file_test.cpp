// play and play --wav against bad files: a WAV that cannot be written whole leaves the previous
// one; a song that cannot be read and a soundfont that cannot be loaded end in an error line and
// exit status 1, never in silence or a hang; an absurdly long song is refused before any sound.
// Standard output takes the sound as a stream, and a signal that ends a render leaves no file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
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
  const std::string mid = dir.File("out.mid"), sf2 = dir.File("default.sf2");
  const std::string broken = "error: ファイルが壊れています[", unopened = "error: ファイルを開けません[",
                    soundfont = "error: the soundfont could not be loaded: " + sf2 + "\n";
  const Case cases[] = {
      {"cut song", [&] { WriteAll(mid, {song.begin(), song.end() - 40}); }, broken},
      {"header only", [&] { WriteAll(mid, {song.begin(), song.begin() + 14}); }, broken},
      {"fifo", [&] { fs::remove(mid), ::mkfifo(mid.c_str(), 0600); }, unopened},
      {"folder", [&] { fs::remove(mid), fs::create_directory(mid); }, unopened},
      {"soundfont", [&] { WriteAll(sf2, {'R', 'I', 'F', 'F', 1, 2, 3}); }, soundfont},
      // A soundfont that is no regular file is refused alike, never replaced by the system's.
      {"soundfont fifo", [&] { ::mkfifo(sf2.c_str(), 0600); }, soundfont},
      {"soundfont folder", [&] { fs::create_directory(sf2); }, soundfont},
      {"soundfont link to nothing", [&] { fs::create_symlink(dir.File("none.sf2"), sf2); }, soundfont},
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
    fs::remove_all(dir.File("default.sf2"));
    WriteAll(dir.File("out.mid"), song);
  }
}

// "-" and /dev/stdout are standard output: a log appended to keeps its contents and gets the
// sound (or the score) itself; /dev/fd/N names an open file, which is never replaced.
TEST_F(SongFolder, StandardOutputTakesTheSoundAndALogKeepsItsContents) {
  const std::string wav = dir.File("song.wav"), score = dir.File("song.musicxml");
  ASSERT_EQ(Shell(Cli("play --dir " + dir.str() + " --wav " + wav)).status, 0);
  ASSERT_EQ(Shell(Cli("export --dir " + dir.str() + " --musicxml " + score)).status, 0);
  const std::vector<uint8_t> kept = {'k', 'e', 'p', 't', '\n'};
  const std::string log = dir.File("log");
  for (const std::string target : {"-", "/dev/stdout"}) {
    for (const auto& [command, file] : {std::pair{"play --wav ", wav}, {"export --musicxml ", score}}) {
      SCOPED_TRACE(command + target);
      WriteAll(log, kept);
      const auto [output, status] =
          Shell(Cli(command + target + " --dir " + dir.str()) + " >> " + log);
      EXPECT_EQ(status, 0) << output;
      EXPECT_EQ(output, "");
      std::vector<uint8_t> expected = kept;
      const std::vector<uint8_t> written = ReadAll(file);
      expected.insert(expected.end(), written.begin(), written.end());
      EXPECT_EQ(ReadAll(log), expected);
    }
  }
  WriteAll(log, kept);
  const auto [output, status] = Shell(Cli("play --wav /dev/fd/3 --dir " + dir.str()) + " 3>> " + log);
  EXPECT_EQ(status, 1);
  EXPECT_NE(output.find("error: File could not created! /dev/fd/3"), std::string::npos) << output;
  EXPECT_EQ(ReadAll(log), kept);
  EXPECT_EQ(Shell("ls -A " + dir.str()).output,
            ".vema.lock\ndefault.db\ndefault.mld\ndefault.ton\nlog\nout.mid\nout.mml\nsong.musicxml\n"
            "song.wav\nwork.txt\n");
}

// A song of 44 bytes that lasts for weeks: refused from its length before any sound is made.
TEST_F(SongFolder, ASongOfAbsurdLengthIsRefusedBeforeRendering) {
  const char song[] =
      "MThd\0\0\0\6\0\0\0\1\0\x30MTrk\0\0\0\x16\0\x90\x3C\x64\xFF\xFF\xFF\x7F\x80\x3C\0"
      "\0\xFF\x51\3\x0F\x42\x40\0\xFF\x2F\0";
  WriteAll(dir.File("out.mid"), std::vector<uint8_t>(song, song + sizeof song - 1));
  const auto [output, status] = Shell(Cli("play --dir " + dir.str() + " --wav " + dir.File("x.wav")));
  EXPECT_EQ(status, 1);
  EXPECT_NE(output.find("error: the song is too long to render: it lasts 46603 minutes, at most "
                        "30 are rendered"),
            std::string::npos)
      << output;
  EXPECT_EQ(Shell("ls -A " + dir.str()).output,
            ".vema.lock\ndefault.db\ndefault.mld\ndefault.ton\nout.mid\nout.mml\nwork.txt\n");
}

// SIGINT, SIGTERM and SIGHUP during a render end it without its temporary file.
TEST(SignalledRender, LeavesNoTemporaryFile) {
  TempDir dir;
  testing::CopyShippedData(dir.str());
  ASSERT_EQ(Shell(Cli("compose --form 6 --seed 4 --dir " + dir.str())).status, 0);  // 96 bars
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    const pid_t pid = ::fork();
    if (pid == 0) {
      for (const int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);
      ::execl(VEMA_CLI, VEMA_CLI, "play", "--dir", dir.str().c_str(), "--wav",
              dir.File("song.wav").c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Once the temporary file is there, the signal.
    bool writing = false;
    for (int i = 0; i < 400 && !writing; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
      for (const auto& entry : fs::directory_iterator(dir.path())) {
        writing = writing || entry.path().filename().string().starts_with(".song.wav.");
      }
    }
    EXPECT_TRUE(writing);
    ::kill(pid, signal);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == signal) << raw;
    EXPECT_EQ(Shell("ls -A " + dir.str() + " | grep -v history").output,
              ".vema.lock\ndefault.db\ndefault.mld\ndefault.ton\nout.mid\nout.mml\nwork.txt\n");
  }
}

// The same bytes into a pipe as into a file; a pipe that cannot be written says so by its name.
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
