// The fluidsynth player: rendering to WAV, and never hanging or crashing without a sound device
// or on bad files.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "accomp/accompaniment.h"
#include "app/compose_command.h"
#include "app/playback.h"
#include "app/player/fluid_player.h"
#include "app/player_loader.h"
#include "app/tiny_song_files.h"
#include "support/child_process.h"

namespace vema {
namespace {

using testing::Shell;

// Composes the tiny folder's eight bars into out.mid.
void ComposeTinySong(const std::string& dir, int feel) {
  testing::WriteTinyFolder(dir);
  testing::ComposeIn(dir, 11, feel);
}

TEST(RenderWav, AComposedSongIsAudibleThroughoutThenDiesAwayBelowMinus60dBFS) {
  testing::TempDir dir;
  ComposeTinySong(dir.str(), kStandard);
  std::string error;
  ASSERT_TRUE(FluidPlayer(dir.str()).RenderWav(dir.File("out.mid"), dir.File("s.wav"), error))
      << error;
  // Python's wave module: channels and rate; whether each second of the song (8 bars of 4
  // beats at 120 a minute: 16 s) is audible; the peaks in dBFS of the 10 ms before the song's
  // end, of the last 10 ms and of the 10 ms two blocks earlier (the samples end as soon as they
  // are quiet); the seconds of sound after the song's end.
  const auto [summary, status] = Shell(
      "/usr/bin/python3 -c \"import sys, wave, array, math\n"
      "w = wave.open(sys.argv[1]); r = w.getframerate()\n"
      "a = array.array('h', w.readframes(w.getnframes())); n = r * 2\n"
      "rms = [math.sqrt(sum(x * x for x in a[i:i + n]) / n) for i in range(0, 16 * n, n)]\n"
      "db = lambda s: 20 * math.log10(max(1, max(abs(x) for x in s)) / 32767)\n"
      "print(w.getnchannels(), r, min(rms) > 30, db(a[16 * n - n // 100:16 * n]) > -40,"
      " db(a[-(n // 100):]) < -60, db(a[-(n // 100) - 256:-256]) > -60, 0 < len(a) / n - 16 < 5)\" " +
      dir.File("s.wav"));
  EXPECT_EQ(summary, "2 44100 True True True True True\n");
}

TEST(RenderWav, ReportsItsProgressAndStopsWhenAsked) {
  testing::TempDir dir;
  ComposeTinySong(dir.str(), kMarch);
  FluidPlayer player(dir.str());
  std::string error;
  std::vector<double> shares;
  ASSERT_TRUE(player.RenderWav(dir.File("out.mid"), dir.File("a.wav"), error, [&](double share) {
    shares.push_back(share);
    return true;
  })) << error;
  // 16 seconds of sound, a report about every 1.5 seconds of it.
  EXPECT_GE(shares.size(), 8u);
  EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));
  EXPECT_GT(shares.front(), 0.0);
  EXPECT_LE(shares.back(), 1.0);
  // A stopped rendering leaves the file it was to replace as it was, and nothing beside it.
  std::filesystem::copy_file(dir.File("out.mid"), dir.File("b.wav"));
  const auto before = std::distance(std::filesystem::directory_iterator(dir.path()), {});
  int calls = 0;
  EXPECT_FALSE(player.RenderWav(dir.File("out.mid"), dir.File("b.wav"), error,
                                [&calls](double) { return ++calls < 2; }));
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(error, "stopped");
  EXPECT_EQ(testing::ReadAll(dir.File("b.wav")), testing::ReadAll(dir.File("out.mid")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), before);
  // A missing or broken song gives a reason and no hang.
  EXPECT_FALSE(player.RenderWav(dir.File("none.mid"), dir.File("c.wav"), error));
  EXPECT_EQ(error, "ファイルを開けません[" + dir.File("none.mid") + "]");
  testing::WriteAll(dir.File("out.mid"), {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 9});
  EXPECT_FALSE(player.RenderWav(dir.File("out.mid"), dir.File("c.wav"), error));
  EXPECT_FALSE(error.empty());
}

TEST(Playback, ThePlayingTickMovesOnWhilePlayingAndIsMinusOneOtherwise) {
  testing::TempDir dir;
  ComposeTinySong(dir.str(), kMarch);
  // The file driver plays in real time into fluidsynth.wav of the current folder.
  struct InFolder {
    explicit InFolder(const std::filesystem::path& dir) { std::filesystem::current_path(dir); }
    ~InFolder() { std::filesystem::current_path(before); }
    std::filesystem::path before = std::filesystem::current_path();
  } inFolder(dir.path());
  FluidPlayer player(dir.str(), "file");
  EXPECT_EQ(player.PlayingTick(), -1);
  player.Command(kPlayerOpen);
  EXPECT_EQ(player.PlayingTick(), -1);
  player.Command(kPlayerPlay);
  if (!player.started()) {
    GTEST_SKIP() << "SKIP: the file audio driver did not start: " << player.lastError();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  const int first = player.PlayingTick();
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  const int second = player.PlayingTick();
  EXPECT_GT(first, 0);
  EXPECT_GT(second, first);
  EXPECT_LT(second, 8 * 192);
  for (const char* command : {kPlayerStop, kPlayerSeekStart, kPlayerClose}) player.Command(command);
  EXPECT_EQ(player.PlayingTick(), -1);
}

TEST(CliPlay, PlaysToTheEndOrReportsTheMissingDeviceWithoutHanging) {
  testing::TempDir dir;
  testing::WriteQuarterNoteSong(dir.str());
  const auto [output, status] =
      Shell("timeout 60 " + std::string(VEMA_CLI) + " play --dir " + dir.str());
  // 0 where a sound device played it, 1 with an error line where there is none.
  const bool errorLine = ("\n" + output).find("\nerror: ") != std::string::npos;
  EXPECT_TRUE(status == 0 || (status == 1 && errorLine)) << status << output;
}

TEST(PlayerModule, ComposingLoadsNoAudioLibraryAndRenderingLoadsTheModule) {
  testing::TempDir dir;
  testing::WriteTinyFolder(dir.str());
  const std::string cli = std::string(VEMA_CLI);
  // The dynamic loader names every library it loads.
  const auto [composed, status] =
      Shell("LD_DEBUG=libs " + cli + " compose --seed 3 --dir " + dir.str());
  ASSERT_EQ(status, 0) << composed;
  EXPECT_NE(composed.find("libc.so"), std::string::npos) << "LD_DEBUG printed nothing";
  EXPECT_EQ(composed.find("fluidsynth"), std::string::npos);
  EXPECT_EQ(composed.find("libvema_fluid"), std::string::npos);
#ifndef VEMA_SANITIZED  // the sanitizers bring their runtimes and the shared C++ runtime
  // Nothing but the C library: the C++ runtime and the XML writer are inside the program.
  const std::string found = "find library=";
  for (size_t at = composed.find(found); at != std::string::npos;
       at = composed.find(found, at + 1)) {
    const size_t start = at + found.size();
    const std::string name = composed.substr(start, composed.find_first_of(" ;\n", start) - start);
    EXPECT_TRUE(name == "libc.so.6" || name == "libm.so.6") << name;
  }
#endif
  const auto [rendered, renderStatus] =
      Shell("LD_DEBUG=libs " + cli + " play --dir " + dir.str() + " --wav " + dir.File("x.wav"));
  EXPECT_EQ(renderStatus, 0) << rendered;
  EXPECT_NE(rendered.find("libvema_fluid"), std::string::npos);
  EXPECT_NE(rendered.find("libfluidsynth"), std::string::npos);
}

TEST(PlayerModule, WorksThroughItsPlainCFaceAndAMissingModuleIsNamed) {
  testing::TempDir dir;
  testing::WriteTinyFolder(dir.str());
  testing::TestSession t(dir.str(), 5);
  StartUp(*t.session);
  ComposeCommand(*t.session);
  std::string error;
  const auto player = LoadSongPlayer(dir.str(), "", VEMA_PLAYER_MODULE);
  EXPECT_TRUE(player->Prepare(error)) << error;
  int told = 0;
  ASSERT_TRUE(player->RenderWav(dir.File("out.mid"), dir.File("m.wav"), error, [&](double) {
    ++told;
    return true;
  })) << error;
  EXPECT_GT(told, 0);  // the progress crosses over
  EXPECT_GT(testing::ReadAll(dir.File("m.wav")).size(), 44u);
  EXPECT_FALSE(player->RenderWav(dir.File("out.mid"), dir.File("s.wav"), error,
                                 [](double) { return false; }));  // and can stop it
  EXPECT_EQ(player->PlayingTick(), -1);
  EXPECT_FALSE(player->RenderWav(dir.File("none.mid"), dir.File("n.wav"), error));
  EXPECT_EQ(error, "ファイルを開けません[" + dir.File("none.mid") + "]");  // the reason crosses over

  const auto missing = LoadSongPlayer(dir.str(), "", dir.File("libvema_fluid.so"));
  for (bool ok : {missing->Prepare(error), missing->WaitUntilEnd(error),
                  missing->RenderWav(dir.File("out.mid"), dir.File("w.wav"), error)}) {
    EXPECT_FALSE(ok);
    EXPECT_TRUE(error.starts_with("playback is not available")) << error;
    EXPECT_NE(error.find("libvema_fluid.so"), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace vema
