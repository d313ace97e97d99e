#include "app/player/fluid_player.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/playback.h"
#include "song/composition_db.h"

namespace vema {
namespace {

constexpr const char* kSystemSoundFonts[] = {
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
};

// Longest WAV rendered (a 96-bar song lasts about 3 minutes at its tempo).
constexpr double kMaxRenderSeconds = 30 * 60;
// A song whose position does not move for this long while playing is given up.
constexpr auto kStallTimeout = std::chrono::seconds(5);
// How often a rendering reports its progress (1024 blocks of 64 samples: about 1.5 s of sound).
constexpr long kBlocksPerReport = 1024;
// Louder than fluidsynth's default of 0.2, still far from clipping with four tracks.
constexpr double kGain = 0.5;

bool IsFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

// Settings, synthesizer and soundfont for one use; all or nothing.
struct Synth {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;

  ~Synth() {
    if (synth != nullptr) delete_fluid_synth(synth);
    if (settings != nullptr) delete_fluid_settings(settings);
  }
};

bool ReachedEnd(fluid_player_t* player) {
  const int total = fluid_player_get_total_ticks(player);
  return total > 0 && fluid_player_get_current_tick(player) >= total;
}

}  // namespace

std::string FindSoundFont(const std::string& dir) {
  const std::string local = ResolvePath(dir, "default.sf2");
  if (IsFile(local)) return local;
  for (const char* path : kSystemSoundFonts) {
    if (IsFile(path)) return path;
  }
  return "";
}

FluidPlayer::FluidPlayer(std::string dir, std::string audioDriver)
    : dir_(std::move(dir)), audioDriver_(std::move(audioDriver)) {}

FluidPlayer::~FluidPlayer() {
  Close();
  if (synth_ != nullptr) delete_fluid_synth(synth_);
  if (settings_ != nullptr) delete_fluid_settings(settings_);
}

void FluidPlayer::Command(const std::string& command) {
  if (command == kPlayerOpen) {
    Open();
  } else if (command == kPlayerPlay) {
    Play();
  } else if (command == kPlayerStop) {
    Stop();
  } else if (command == kPlayerSeekStart) {
    Rewind();
  } else if (command == kPlayerClose) {
    Close();
  }
}

bool FluidPlayer::EnsureSynth() {
  if (synth_ != nullptr) return true;
  const std::string soundFont = FindSoundFont(dir_);
  if (soundFont.empty()) {
    error_ = "no General MIDI soundfont (default.sf2 or /usr/share/sounds/sf2/*.sf2)";
    return false;
  }
  settings_ = new_fluid_settings();
  if (settings_ == nullptr) {
    error_ = "the synthesizer could not be set up";
    return false;
  }
  if (!audioDriver_.empty()) fluid_settings_setstr(settings_, "audio.driver", audioDriver_.c_str());
  fluid_settings_setnum(settings_, "synth.gain", kGain);
  synth_ = new_fluid_synth(settings_);
  if (synth_ == nullptr || fluid_synth_sfload(synth_, soundFont.c_str(), 1) == FLUID_FAILED) {
    error_ = "the soundfont could not be loaded: " + soundFont;
    if (synth_ != nullptr) delete_fluid_synth(synth_);
    synth_ = nullptr;
    delete_fluid_settings(settings_);
    settings_ = nullptr;
    return false;
  }
  return true;
}

void FluidPlayer::Open() {
  Close();
  error_.clear();
  const std::string path = ResolvePath(dir_, "out.mid");
  if (!IsFile(path)) {
    error_ = "ファイルを開けません[out.mid]";
    return;
  }
  if (!EnsureSynth()) return;
  player_ = new_fluid_player(synth_);
  if (player_ == nullptr || fluid_player_add(player_, path.c_str()) != FLUID_OK) {
    error_ = "ファイルを開けません[out.mid]";
    if (player_ != nullptr) delete_fluid_player(player_);
    player_ = nullptr;
  }
}

void FluidPlayer::Play() {
  if (player_ == nullptr) return;
  if (driver_ == nullptr) {
    // Returns NULL at once when there is no sound device.
    driver_ = new_fluid_audio_driver(settings_, synth_);
    if (driver_ == nullptr) {
      error_ = "no audio device could be opened";
      return;
    }
  }
  if (fluid_player_play(player_) == FLUID_OK) started_ = true;
}

void FluidPlayer::Stop() {
  if (player_ == nullptr) return;
  fluid_player_stop(player_);
  fluid_synth_all_sounds_off(synth_, -1);
}

void FluidPlayer::Rewind() {
  if (player_ != nullptr) fluid_player_seek(player_, 0);
}

void FluidPlayer::Close() {
  // The audio thread goes first, so that nothing plays while the player is taken down.
  if (driver_ != nullptr) {
    delete_fluid_audio_driver(driver_);
    driver_ = nullptr;
  }
  if (player_ != nullptr) {
    fluid_player_stop(player_);
    delete_fluid_player(player_);
    player_ = nullptr;
  }
  if (synth_ != nullptr) fluid_synth_system_reset(synth_);
  started_ = false;
}

bool FluidPlayer::WaitUntilEnd(std::string& error) {
  if (!started_ || player_ == nullptr) {
    error = error_.empty() ? "nothing is playing" : error_;
    return false;
  }
  int lastTick = -1;
  auto lastMove = std::chrono::steady_clock::now();
  while (fluid_player_get_status(player_) == FLUID_PLAYER_PLAYING && !ReachedEnd(player_)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const int tick = fluid_player_get_current_tick(player_);
    const auto now = std::chrono::steady_clock::now();
    if (tick != lastTick) {
      lastTick = tick;
      lastMove = now;
    } else if (now - lastMove > kStallTimeout) {
      error = "the player stopped moving";
      return false;
    }
  }
  return true;
}

int FluidPlayer::PlayingTick() {
  if (!started_ || player_ == nullptr) return -1;
  if (fluid_player_get_status(player_) != FLUID_PLAYER_PLAYING) return -1;
  const int total = fluid_player_get_total_ticks(player_);
  const int tick = fluid_player_get_current_tick(player_);
  return total > 0 ? std::min(tick, total) : tick;
}

bool FluidPlayer::RenderWav(const std::string& midiPath, const std::string& wavPath,
                            std::string& error, const RenderProgress& progress) {
  if (!IsFile(midiPath)) {
    error = "ファイルを開けません[" + midiPath + "]";
    return false;
  }
  const std::string soundFont = FindSoundFont(dir_);
  if (soundFont.empty()) {
    error = "no General MIDI soundfont (default.sf2 or /usr/share/sounds/sf2/*.sf2)";
    return false;
  }
  Synth s;
  s.settings = new_fluid_settings();
  if (s.settings == nullptr) {
    error = "the synthesizer could not be set up";
    return false;
  }
  fluid_settings_setstr(s.settings, "audio.file.name", wavPath.c_str());
  fluid_settings_setstr(s.settings, "audio.file.type", "wav");
  fluid_settings_setstr(s.settings, "player.timing-source", "sample");
  fluid_settings_setint(s.settings, "synth.lock-memory", 0);
  fluid_settings_setnum(s.settings, "synth.gain", kGain);
  s.synth = new_fluid_synth(s.settings);
  if (s.synth == nullptr || fluid_synth_sfload(s.synth, soundFont.c_str(), 1) == FLUID_FAILED) {
    error = "the soundfont could not be loaded: " + soundFont;
    return false;
  }
  fluid_player_t* player = new_fluid_player(s.synth);
  if (player == nullptr || fluid_player_add(player, midiPath.c_str()) != FLUID_OK) {
    if (player != nullptr) delete_fluid_player(player);
    error = "ファイルを開けません[" + midiPath + "]";
    return false;
  }
  fluid_file_renderer_t* renderer = new_fluid_file_renderer(s.synth);
  if (renderer == nullptr) {
    delete_fluid_player(player);
    error = "File could not created! " + wavPath;
    return false;
  }
  int period = 64;
  double rate = 44100;
  fluid_settings_getint(s.settings, "audio.period-size", &period);
  fluid_settings_getnum(s.settings, "synth.sample-rate", &rate);
  const long maxBlocks = static_cast<long>(kMaxRenderSeconds * rate / (period > 0 ? period : 64));
  bool ok = fluid_player_play(player) == FLUID_OK;
  long blocks = 0;
  while (ok && fluid_player_get_status(player) == FLUID_PLAYER_PLAYING && !ReachedEnd(player)) {
    if (fluid_file_renderer_process_block(renderer) != FLUID_OK) {
      error = "File could not created! " + wavPath;
      ok = false;
    } else if (++blocks > maxBlocks) {
      error = "the song is too long to render";
      ok = false;
    } else if (progress && blocks % kBlocksPerReport == 0) {
      const int total = fluid_player_get_total_ticks(player);
      const double share =
          total > 0 ? static_cast<double>(fluid_player_get_current_tick(player)) / total : 0.0;
      if (!progress(std::min(share, 1.0))) {
        error = "stopped";
        ok = false;
      }
    }
  }
  const int total = fluid_player_get_total_ticks(player);
  fluid_player_stop(player);
  delete_fluid_file_renderer(renderer);
  delete_fluid_player(player);
  if (ok && total <= 0) {
    error = "no song could be read from " + midiPath;
    ok = false;
  }
  return ok;
}

}  // namespace vema
