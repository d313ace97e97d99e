// Live playback through the built-in synthesizer, with fluidsynth's file audio driver standing in
// for a sound device (it plays in real time into fluidsynth.wav of the current folder): the
// output closes by itself once the sound has died away, single notes sound without a song, and
// seeking moves the song.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "accomp/accompaniment.h"
#include "app/playback.h"
#include "app/player/fluid_player.h"
#include "app/player_loader.h"
#include "app/tiny_song_files.h"
#include "support/child_process.h"

namespace vema {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

class LiveSynth : public ::testing::Test {
 protected:
  LiveSynth() { fs::current_path(dir.path()); }
  ~LiveSynth() override { fs::current_path(before); }

  void QuarterNoteSong() { testing::WriteQuarterNoteSong(dir.str()); }
  // The loudest sample that the file driver wrote.
  int LoudestWritten() {
    const auto [peak, status] = testing::Shell(
        "/usr/bin/python3 -c \"import wave, array\n"
        "w = wave.open('fluidsynth.wav')\n"
        "print(max(map(abs, array.array('h', w.readframes(w.getnframes()))), default=0))\"");
    return status == 0 ? std::atoi(peak.c_str()) : -1;
  }

  fs::path before = fs::current_path();
  testing::TempDir dir;
};

TEST_F(LiveSynth, TheAudioOutputClosesOnceTheSongHasDiedAway) {
  QuarterNoteSong();
  FluidPlayer player(dir.str(), "file");
  const auto start = Clock::now();
  player.Command(kPlayerOpen);
  player.Command(kPlayerPlay);
  if (!player.started()) GTEST_SKIP() << "SKIP: the file audio driver did not start";
  EXPECT_TRUE(player.OutputOpen());
  ASSERT_TRUE(testing::WaitUntil([&] { return !player.OutputOpen(); }, 9000))
      << "still writing silence";
  EXPECT_GT(Clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(player.PlayingTick(), -1);
  // Nothing is written any more, and what was written holds the note.
  const auto size = fs::file_size("fluidsynth.wav");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(fs::file_size("fluidsynth.wav"), size);
  EXPECT_GT(LoudestWritten(), 1000);
  std::string error;
  EXPECT_TRUE(player.WaitUntilEnd(error)) << error;
  for (const char* command : {kPlayerStop, kPlayerSeekStart, kPlayerClose}) player.Command(command);
}

TEST_F(LiveSynth, ANoteSoundsWithoutASongThroughTheModuleAndTheOutputClosesAfterIt) {
  const auto player = LoadSongPlayer(dir.str(), "file", VEMA_PLAYER_MODULE);
  player->SoundNote(9, 0, 38, 100, 100);  // a snare drum
  player->SoundNote(0, 24, 60, 100, 300);
  if (!fs::exists("fluidsynth.wav")) GTEST_SKIP() << "SKIP: the file audio driver did not start";
  // The output stays open while the notes sound, then is let go: the file is complete.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto early = fs::file_size("fluidsynth.wav");
  ASSERT_TRUE(testing::WaitUntil(
      [&] {
        const auto size = fs::file_size("fluidsynth.wav");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return size == fs::file_size("fluidsynth.wav");
      },
      8000));
  EXPECT_GT(fs::file_size("fluidsynth.wav"), early);
  EXPECT_GT(LoudestWritten(), 1000);
}

TEST_F(LiveSynth, SeekJumpsWhilePlayingAndOtherwiseMovesTheNextStartOnce) {
  testing::WriteTinyFolder(dir.str());
  testing::ComposeIn(dir.str(), 11, kMarch);  // 8 bars of 192 ticks: 16 s
  const auto player = LoadSongPlayer(dir.str(), "file", VEMA_PLAYER_MODULE);
  const auto play = [&] {
    player->Command(kPlayerOpen);
    player->Command(kPlayerPlay);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return player->PlayingTick();
  };
  const auto stop = [&] {
    for (const char* command : {kPlayerStop, kPlayerSeekStart, kPlayerClose}) player->Command(command);
  };
  player->Seek(768);  // nothing plays: the next play starts there
  const int started = play();
  if (started < 0) GTEST_SKIP() << "SKIP: the file audio driver did not start";
  EXPECT_GE(started, 768);
  EXPECT_LT(started, 900);
  player->Seek(192);  // while playing: a jump back, made by the next block of sound
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const int jumped = player->PlayingTick();
  EXPECT_GE(jumped, 192);
  EXPECT_LT(jumped, 260);
  stop();
  EXPECT_LT(play(), 150);  // after a stop, from the start again
  stop();
}

}  // namespace
}  // namespace vema
