// The fluidsynth player: rendering to WAV, the five commands, and never hanging or crashing
// without a sound device or on bad files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "app/compose_command.h"
#include "app/player/fluid_player.h"
#include "app/playback.h"
#include "app/tiny_song_files.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::TempDir;
using testing::TestSession;

struct Wav {
  int channels = 0;
  int rate = 0;
  int bits = 0;
  std::vector<int16_t> samples;
  double Seconds() const {
    return channels > 0 && rate > 0 ? static_cast<double>(samples.size()) / channels / rate : 0;
  }
  int Peak() const {
    int peak = 0;
    for (int16_t s : samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    return peak;
  }
  // Root mean square of the samples from one time to another.
  double Rms(double from, double to) const {
    const size_t a = static_cast<size_t>(from * rate) * static_cast<size_t>(channels);
    const size_t b = std::min(samples.size(), static_cast<size_t>(to * rate) * channels);
    double sum = 0;
    for (size_t i = a; i < b; ++i) sum += static_cast<double>(samples[i]) * samples[i];
    return b > a ? std::sqrt(sum / static_cast<double>(b - a)) : 0;
  }
};

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<size_t>(i)];
  return v;
}

// A RIFF WAVE reader for 16-bit PCM.
Wav ReadWav(const std::string& path) {
  const std::vector<uint8_t> b = testing::ReadAll(path);
  Wav wav;
  if (b.size() < 12 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
      std::string(b.begin() + 8, b.begin() + 12) != "WAVE") {
    return wav;
  }
  size_t at = 12;
  while (at + 8 <= b.size()) {
    const std::string id(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + 4));
    const size_t size = Le(b, at + 4, 4);
    const size_t body = at + 8;
    if (id == "fmt " && body + 16 <= b.size()) {
      wav.channels = static_cast<int>(Le(b, body + 2, 2));
      wav.rate = static_cast<int>(Le(b, body + 4, 4));
      wav.bits = static_cast<int>(Le(b, body + 14, 2));
    } else if (id == "data") {
      const size_t end = std::min(b.size(), body + size);
      for (size_t i = body; i + 1 < end; i += 2) {
        wav.samples.push_back(static_cast<int16_t>(Le(b, i, 2)));
      }
    }
    at = body + size + (size & 1);
  }
  return wav;
}

// A composed song of the tiny folder: 8 bars (16 seconds at 120 beats a minute).
void ComposeTinySong(const std::string& dir, int feel) {
  testing::WriteTinyFolder(dir);
  TestSession t(dir, 11);
  StartUp(*t.session);
  t.platform.feelAnswers = {feel};
  ComposeCommand(*t.session);
  ASSERT_EQ(t.platform.StopMessageCount(), 0);
}

// A one-track file with one quarter note (half a second).
void WriteShortSong(const std::string& path) {
  testing::WriteAll(path, {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 48,
                           'M', 'T', 'r', 'k', 0, 0, 0, 13,
                           0x00, 0x90, 60, 100, 0x30, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00, 0x00});
}

std::string RunShell(const std::string& command, int& status) {
  std::string output;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return output;
  }
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int raw = ::pclose(pipe);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return output;
}

// ---- rendering -----------------------------------------------------------------------------

TEST(RenderWav, AComposedSongIsAudibleAndLastsAsLongAsTheSong) {
  TempDir dir;
  ComposeTinySong(dir.str(), 1);
  FluidPlayer player(dir.str());
  std::string error;
  ASSERT_TRUE(player.RenderWav(dir.File("out.mid"), dir.File("song.wav"), error)) << error;
  const Wav wav = ReadWav(dir.File("song.wav"));
  EXPECT_EQ(wav.channels, 2);
  EXPECT_EQ(wav.bits, 16);
  EXPECT_EQ(wav.rate, 44100);
  // 8 bars of 192 ticks, 48 ticks to a beat of half a second.
  EXPECT_NEAR(wav.Seconds(), 16.0, 0.05);
  EXPECT_GT(wav.Peak(), 1000);
  // Sound in every second of the song, not only at its start.
  for (int second = 0; second < 16; ++second) {
    EXPECT_GT(wav.Rms(second, second + 1), 30.0) << "second " << second;
  }
}

TEST(RenderWav, ABrokenFileOrSoundfontGivesAReasonAndNoHang) {
  TempDir dir;
  std::string error;
  FluidPlayer player(dir.str());
  EXPECT_FALSE(player.RenderWav(dir.File("out.mid"), dir.File("a.wav"), error));
  EXPECT_EQ(error, "ファイルを開けません[" + dir.File("out.mid") + "]");

  testing::WriteAll(dir.File("out.mid"), {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 9});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(player.RenderWav(dir.File("out.mid"), dir.File("b.wav"), error));
  EXPECT_FALSE(error.empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));

  // A "default.sf2" of the working directory comes first, even when it is no soundfont.
  WriteShortSong(dir.File("out.mid"));
  testing::WriteAll(dir.File("default.sf2"), {'n', 'o', 't', ' ', 's', 'f', '2'});
  EXPECT_EQ(FindSoundFont(dir.str()), dir.File("default.sf2"));
  EXPECT_FALSE(player.RenderWav(dir.File("out.mid"), dir.File("c.wav"), error));
  EXPECT_NE(error.find("default.sf2"), std::string::npos) << error;
}

TEST(RenderWav, TheSystemSoundfontIsFoundWithoutALocalOne) {
  TempDir dir;
  const std::string font = FindSoundFont(dir.str());
  ASSERT_FALSE(font.empty());
  EXPECT_TRUE(font.starts_with("/usr/share/sounds/sf2/")) << font;
  EXPECT_TRUE(font.ends_with(".sf2")) << font;
}

// ---- the five commands ---------------------------------------------------------------------

// Runs a block in a folder of its own (the "file" audio driver writes into the current folder).
class InFolder {
 public:
  explicit InFolder(const std::filesystem::path& dir) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~InFolder() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

TEST(PlayerCommands, PlaysAShortSongToItsEndThroughTheCommandStrings) {
  TempDir dir;
  WriteShortSong(dir.File("out.mid"));
  InFolder folder(dir.path());
  FluidPlayer player(dir.str(), "file");
  player.Command(kPlayerOpen);
  player.Command(kPlayerPlay);
  ASSERT_TRUE(player.started()) << player.lastError();
  std::string error;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(player.WaitUntilEnd(error)) << error;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  player.Command(kPlayerStop);
  player.Command(kPlayerSeekStart);
  player.Command(kPlayerClose);
  EXPECT_FALSE(player.started());
  // Playing again after closing opens the song anew.
  player.Command(kPlayerOpen);
  player.Command(kPlayerPlay);
  EXPECT_TRUE(player.started());
  player.Command(kPlayerStop);
  player.Command(kPlayerSeekStart);
  player.Command(kPlayerClose);
}

TEST(PlayerCommands, AMissingSongOrOddOrderNeverCrashes) {
  TempDir dir;
  FluidPlayer player(dir.str(), "file");
  InFolder folder(dir.path());
  player.Command(kPlayerPlay);   // before any open
  player.Command(kPlayerStop);
  player.Command(kPlayerSeekStart);
  player.Command(kPlayerClose);
  player.Command(kPlayerClose);
  player.Command("open something else");
  player.Command(kPlayerOpen);   // there is no out.mid
  EXPECT_EQ(player.lastError(), "ファイルを開けません[out.mid]");
  player.Command(kPlayerPlay);
  EXPECT_FALSE(player.started());
  std::string error;
  EXPECT_FALSE(player.WaitUntilEnd(error));
  EXPECT_EQ(error, "ファイルを開けません[out.mid]");
}

TEST(PlayerCommands, WithoutASoundDeviceNothingHangs) {
  TempDir dir;
  WriteShortSong(dir.File("out.mid"));
  // An audio driver that cannot open a device behaves like a machine without one.
  FluidPlayer player(dir.str(), "alsa");
  const auto start = std::chrono::steady_clock::now();
  player.Command(kPlayerOpen);
  player.Command(kPlayerPlay);
  std::string error;
  if (!player.started()) {
    EXPECT_FALSE(player.WaitUntilEnd(error));
    EXPECT_FALSE(error.empty());
  } else {
    EXPECT_TRUE(player.WaitUntilEnd(error)) << error;  // a machine with speakers
  }
  player.Command(kPlayerStop);
  player.Command(kPlayerSeekStart);
  player.Command(kPlayerClose);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

// ---- vema-cli play -------------------------------------------------------------------------

TEST(CliPlay, RendersTheComposedSongIntoAWavFile) {
  TempDir dir;
  ComposeTinySong(dir.str(), 3);
  int status = 0;
  const std::string wav = dir.File("rock.wav");
  const std::string output =
      RunShell(std::string(VEMA_CLI) + " play --dir " + dir.str() + " --wav " + wav, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(output, wav + "\n");
  const Wav read = ReadWav(wav);
  EXPECT_NEAR(read.Seconds(), 16.0, 0.05);
  EXPECT_GT(read.Peak(), 1000);
  // sox measures the same length.
  if (std::filesystem::exists("/usr/bin/soxi")) {
    const std::string seconds = RunShell("/usr/bin/soxi -D " + wav, status);
    EXPECT_NEAR(std::stod(seconds), 16.0, 0.05);
  }
}

TEST(CliPlay, PlaysToTheEndOrReportsTheMissingDevice) {
  TempDir dir;
  WriteShortSong(dir.File("out.mid"));
  int status = 0;
  const std::string output = RunShell("timeout 60 " + std::string(VEMA_CLI) + " play --dir " +
                                          dir.str() + " 2>&1",
                                      status);
  // 0 where a sound device played it, 1 with an error line where there is none; never the
  // timeout's 124 or a crash.
  if (status == 1) {
    EXPECT_NE(output.find("error: "), std::string::npos) << output;
  } else {
    EXPECT_EQ(status, 0) << output;
  }
}

TEST(CliPlay, WithoutOutMidTheCommandFails) {
  TempDir dir;
  int status = 0;
  const std::string output =
      RunShell(std::string(VEMA_CLI) + " play --dir " + dir.str() + " 2>&1", status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(output, "error: ファイルを開けません[out.mid]\n");
}

}  // namespace
}  // namespace vema
