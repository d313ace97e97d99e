#include "app/player/fluid_player.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <thread>

#include "app/playback.h"
#include "song/composition_db.h"
#include "song/file_io.h"
#include "song/song_file.h"

namespace vema {
namespace {

constexpr const char* kSystemSoundFonts[] = {
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
};

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

// The header of a 16-bit stereo PCM WAV file of so many frames.
constexpr size_t kWavHeaderBytes = 44;
std::vector<uint8_t> WavHeader(uint64_t frames, uint32_t rate) {
  const auto dataBytes = static_cast<uint32_t>(frames * 4);
  std::vector<uint8_t> header;
  const auto add = [&header](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) header.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  const auto tag = [&header](const char* text) { header.insert(header.end(), text, text + 4); };
  tag("RIFF");
  add(36 + dataBytes, 4);
  tag("WAVE");
  tag("fmt ");
  add(16, 4);
  add(1, 2);  // PCM
  add(2, 2);  // channels
  add(rate, 4);
  add(rate * 4, 4);  // bytes a second
  add(4, 2);         // bytes a frame
  add(16, 2);        // bits a sample
  tag("data");
  add(dataBytes, 4);
  return header;
}

bool ReachedEnd(fluid_player_t* player) {
  const int total = fluid_player_get_total_ticks(player);
  return total > 0 && fluid_player_get_current_tick(player) >= total;
}

}  // namespace

std::string FindSoundFont(const std::string& dir) {
  // Anything named default.sf2 is the soundfont to use: a folder, a FIFO or a link to nothing
  // there is refused with the message of a damaged soundfont, never replaced by the system's.
  const std::string local = ResolvePath(dir, "default.sf2");
  std::error_code error;
  if (std::filesystem::symlink_status(local, error).type() != std::filesystem::file_type::not_found) {
    return local;
  }
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

bool FluidPlayer::Prepare(std::string& error) {
  if (EnsureSynth()) return true;
  error = error_;
  return false;
}

int FluidPlayer::HandleEvent(void* data, fluid_midi_event_t* event) {
  auto* self = static_cast<FluidPlayer*>(data);
  if (self->firstBlockMs_.load() < 0) {
    self->firstBlockMs_ = std::chrono::duration<double, std::milli>(
                              std::chrono::steady_clock::now() - self->playedAt_)
                              .count();
  }
  return fluid_synth_handle_midi_event(self->synth_, event);
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
  // Locking the samples in memory makes loading slow and fails under small limits; a General
  // MIDI soundfont of a few megabytes stays in memory anyway.
  fluid_settings_setint(settings_, "synth.lock-memory", 0);
  synth_ = new_fluid_synth(settings_);
  if (synth_ == nullptr || !IsFile(soundFont) ||
      fluid_synth_sfload(synth_, soundFont.c_str(), 1) == FLUID_FAILED) {
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
  playedAt_ = std::chrono::steady_clock::now();
  firstBlockMs_ = -1;
  error_.clear();
  const std::optional<std::vector<uint8_t>> song =
      ReadSongFile(ResolvePath(dir_, "out.mid"), "out.mid", error_);
  if (!song || !EnsureSynth()) return;
  player_ = new_fluid_player(synth_);
  if (player_ == nullptr || fluid_player_add_mem(player_, song->data(), song->size()) != FLUID_OK) {
    error_ = "ファイルを開けません[out.mid]";
    if (player_ != nullptr) delete_fluid_player(player_);
    player_ = nullptr;
    return;
  }
  fluid_player_set_playback_callback(player_, &FluidPlayer::HandleEvent, this);
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
  // The samples go into a new file that replaces the old one only when it is complete.
  FileReplacement wav(wavPath);
  if (!wav.ok()) {
    error = "File could not created! " + wavPath;
    return false;
  }
  if (!RenderWavInto(midiPath, wav.fd(), wavPath, error, progress)) return false;
  if (!wav.Commit()) {
    error = "File could not created! " + wavPath;
    return false;
  }
  return true;
}

bool FluidPlayer::RenderWavInto(const std::string& midiPath, int wavFd, const std::string& wavName,
                                std::string& error, const RenderProgress& progress) {
  const std::optional<std::vector<uint8_t>> song = ReadSongFile(midiPath, midiPath, error);
  if (!song) return false;
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
  fluid_settings_setstr(s.settings, "player.timing-source", "sample");
  fluid_settings_setint(s.settings, "synth.lock-memory", 0);
  fluid_settings_setnum(s.settings, "synth.gain", kGain);
  s.synth = new_fluid_synth(s.settings);
  if (s.synth == nullptr || !IsFile(soundFont) ||
      fluid_synth_sfload(s.synth, soundFont.c_str(), 1) == FLUID_FAILED) {
    error = "the soundfont could not be loaded: " + soundFont;
    return false;
  }
  fluid_player_t* player = new_fluid_player(s.synth);
  if (player == nullptr || fluid_player_add_mem(player, song->data(), song->size()) != FLUID_OK) {
    if (player != nullptr) delete_fluid_player(player);
    error = "ファイルを開けません[" + midiPath + "]";
    return false;
  }
  int period = 64;
  double rate = 44100;
  fluid_settings_getint(s.settings, "audio.period-size", &period);
  fluid_settings_getnum(s.settings, "synth.sample-rate", &rate);
  period = period > 0 ? period : 64;
  const long maxBlocks = static_cast<long>(kMaxRenderSeconds * rate / period);
  std::vector<int16_t> samples(static_cast<size_t>(period) * 2);
  std::vector<uint8_t> block(samples.size() * 2);
  bool ok = WriteAll(wavFd, std::vector<uint8_t>(kWavHeaderBytes));
  if (!ok) {
    error = "File could not created! " + wavName;
  } else if (fluid_player_play(player) != FLUID_OK) {
    error = "no song could be read from " + midiPath;
    ok = false;
  }
  long blocks = 0;
  while (ok && fluid_player_get_status(player) == FLUID_PLAYER_PLAYING && !ReachedEnd(player)) {
    fluid_synth_write_s16(s.synth, period, samples.data(), 0, 2, samples.data(), 1, 2);
    for (size_t i = 0; i < samples.size(); ++i) {
      const auto bits = static_cast<uint16_t>(samples[i]);
      block[2 * i] = static_cast<uint8_t>(bits);
      block[2 * i + 1] = static_cast<uint8_t>(bits >> 8);
    }
    if (!WriteAll(wavFd, block)) {
      error = "File could not created! " + wavName;
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
  delete_fluid_player(player);
  if (ok && total <= 0) {
    error = "no song could be read from " + midiPath;
    ok = false;
  }
  const uint64_t frames = static_cast<uint64_t>(blocks) * static_cast<uint64_t>(period);
  if (ok && !WriteAllAt(wavFd, 0, WavHeader(frames, static_cast<uint32_t>(rate)))) {
    error = "File could not created! " + wavName;
    ok = false;
  }
  return ok;
}

}  // namespace vema
