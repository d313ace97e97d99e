#include "app/player/fluid_player.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "app/playback.h"
#include "app/player/player_module.h"
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
// Rendered blocks handed on together (256 blocks of 64 frames: 64 KiB).
constexpr size_t kBlocksPerChunk = 256;
// Louder than fluidsynth's default of 0.2, still far from clipping with four tracks.
constexpr double kGain = 0.5;
// How often the keeper looks at the playing song and the notes.
constexpr auto kKeeperPeriod = std::chrono::milliseconds(20);
// The audio output is closed once nothing has sounded for this long after the song's end or the
// last note, or at the latest this long after them.
constexpr auto kSilenceBeforeClosing = std::chrono::milliseconds(500);
constexpr auto kLongestRingOut = std::chrono::seconds(5);

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

// The loudest sample of a block, as a magnitude.
int Peak(const int16_t* samples, size_t count) {
  int peak = 0;
  for (size_t i = 0; i < count; ++i) peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
  return peak;
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
  {
    std::lock_guard lock(mutex_);
    Close();
    quit_ = true;
  }
  wake_.notify_all();
  if (keeper_.joinable()) keeper_.join();
  if (synth_ != nullptr) delete_fluid_synth(synth_);
  if (settings_ != nullptr) delete_fluid_settings(settings_);
}

void FluidPlayer::Command(const std::string& command) {
  std::lock_guard lock(mutex_);
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
  wake_.notify_all();
}

bool FluidPlayer::Prepare(std::string& error) {
  std::lock_guard lock(mutex_);
  if (EnsureSynth()) return true;
  error = error_;
  return false;
}

bool FluidPlayer::started() const {
  std::lock_guard lock(mutex_);
  return started_;
}

bool FluidPlayer::OutputOpen() const {
  std::lock_guard lock(mutex_);
  return driver_ != nullptr;
}

std::string FluidPlayer::lastError() const {
  std::lock_guard lock(mutex_);
  return error_;
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

bool FluidPlayer::EnsureOutput() {
  if (driver_ != nullptr) return true;
  if (!EnsureSynth()) return false;
  // Returns NULL at once when there is no sound device.
  driver_ = new_fluid_audio_driver(settings_, synth_);
  if (driver_ == nullptr) return false;
  idleSince_.reset();
  silentSince_.reset();
  if (!keeper_.joinable()) keeper_ = std::thread([this] { Keep(); });
  return true;
}

void FluidPlayer::CloseOutput() {
  // The audio thread goes first, so that nothing plays while the player is taken down.
  if (driver_ != nullptr) {
    delete_fluid_audio_driver(driver_);
    driver_ = nullptr;
  }
  if (player_ != nullptr && fluid_player_get_status(player_) == FLUID_PLAYER_PLAYING) {
    fluid_player_stop(player_);
  }
  noteOffs_.clear();
  songOver_ = true;
}

bool FluidPlayer::SongOver() {
  if (songOver_ || player_ == nullptr) return true;
  if (fluid_player_get_status(player_) != FLUID_PLAYER_PLAYING) return true;
  // The player reads the song when it starts playing; counting its ticks walks every event.
  if (totalTicks_ <= 0) totalTicks_ = fluid_player_get_total_ticks(player_);
  return totalTicks_ > 0 && fluid_player_get_current_tick(player_) >= totalTicks_;
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
  if (!EnsureOutput()) {
    error_ = "no audio device could be opened";
    return;
  }
  if (pendingSeek_ >= 0) {
    fluid_player_seek(player_, static_cast<int>(std::min<int64_t>(pendingSeek_, INT_MAX)));
    pendingSeek_ = -1;
  }
  if (fluid_player_play(player_) == FLUID_OK) {
    started_ = true;
    songOver_ = false;
  }
}

void FluidPlayer::Stop() {
  if (player_ == nullptr) return;
  fluid_player_stop(player_);
  fluid_synth_all_sounds_off(synth_, -1);
  songOver_ = true;
}

void FluidPlayer::Rewind() {
  if (player_ != nullptr) fluid_player_seek(player_, 0);
}

void FluidPlayer::Close() {
  CloseOutput();
  if (player_ != nullptr) {
    fluid_player_stop(player_);
    delete_fluid_player(player_);
    player_ = nullptr;
  }
  if (synth_ != nullptr) fluid_synth_system_reset(synth_);
  started_ = false;
  songOver_ = false;
  totalTicks_ = 0;
}

void FluidPlayer::Seek(int64_t tick) {
  std::lock_guard lock(mutex_);
  tick = std::max<int64_t>(tick, 0);
  if (started_ && !SongOver()) {
    // Not past the end, once the player has read the song and knows it.
    const int64_t last = totalTicks_ > 0 ? totalTicks_ : INT_MAX;
    fluid_player_seek(player_, static_cast<int>(std::min(tick, last)));
  } else {
    pendingSeek_ = tick;
  }
}

void FluidPlayer::SoundNote(int channel, int program, int key, int velocity, int milliseconds) {
  if (channel < 0 || channel > 15 || key < 0 || key > 127) return;
  std::lock_guard lock(mutex_);
  if (!EnsureOutput()) return;
  if (channel != 9) fluid_synth_program_change(synth_, channel, std::clamp(program, 0, 127));
  fluid_synth_noteon(synth_, channel, key, std::clamp(velocity, 1, 127));
  noteOffs_.push_back(
      {Clock::now() + std::chrono::milliseconds(std::clamp(milliseconds, 1, 60000)), channel, key});
  idleSince_.reset();
  wake_.notify_all();
}

void FluidPlayer::Keep() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    if (driver_ == nullptr) {
      wake_.wait(lock);
      continue;
    }
    wake_.wait_for(lock, kKeeperPeriod);
    if (quit_ || driver_ == nullptr) continue;
    const auto now = Clock::now();
    std::erase_if(noteOffs_, [this, now](const NoteOff& off) {
      if (off.at > now) return false;
      fluid_synth_noteoff(synth_, off.channel, off.key);
      return true;
    });
    if (started_ && !songOver_) songOver_ = SongOver();
    const bool idle = (!started_ || songOver_) && noteOffs_.empty();
    if (!idle) {
      idleSince_.reset();
      silentSince_.reset();
      continue;
    }
    if (!idleSince_) idleSince_ = now;
    if (fluid_synth_get_active_voice_count(synth_) > 0) {
      silentSince_.reset();
    } else if (!silentSince_) {
      silentSince_ = now;
    }
    if ((silentSince_ && now - *silentSince_ >= kSilenceBeforeClosing) ||
        now - *idleSince_ >= kLongestRingOut) {
      CloseOutput();
      wake_.notify_all();
    }
  }
}

bool FluidPlayer::WaitUntilEnd(std::string& error) {
  std::unique_lock lock(mutex_);
  if (!started_ || player_ == nullptr) {
    error = error_.empty() ? "nothing is playing" : error_;
    return false;
  }
  // The keeper closes the audio output once the song is over and its sound has died away.
  int lastTick = -1;
  auto lastMove = Clock::now();
  while (started_ && driver_ != nullptr) {
    wake_.wait_for(lock, kKeeperPeriod);
    if (!started_ || songOver_ || player_ == nullptr) continue;
    const int tick = fluid_player_get_current_tick(player_);
    const auto now = Clock::now();
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
  std::lock_guard lock(mutex_);
  if (!started_ || SongOver()) return -1;
  const int tick = fluid_player_get_current_tick(player_);
  return totalTicks_ > 0 ? std::min(tick, totalTicks_) : tick;
}

bool FluidPlayer::RenderWavTo(const std::string& midiPath, WavSink& wav, std::string& error,
                              const RenderProgress& progress) {
  uint32_t rate = 0;
  uint64_t frames = 0;
  bool written = true;
  const SampleSink sink = [&wav, &written](std::span<const uint8_t> samples) {
    return written = wav.Write(samples);
  };
  if (!RenderSamples(midiPath, sink, rate, frames, error, progress)) {
    if (!written) error = wav.Failure();
    return false;
  }
  if (!wav.Finish(frames, rate)) {
    error = wav.Failure();
    return false;
  }
  return true;
}

bool FluidPlayer::RenderSamples(const std::string& midiPath, const SampleSink& sink,
                                uint32_t& rate, uint64_t& frames, std::string& error,
                                const RenderProgress& progress) {
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
  double sampleRate = 44100;
  fluid_settings_getint(s.settings, "audio.period-size", &period);
  fluid_settings_getnum(s.settings, "synth.sample-rate", &sampleRate);
  period = period > 0 ? period : 64;
  const long maxBlocks = static_cast<long>(kMaxRenderSeconds * sampleRate / period);
  const long maxTailBlocks = static_cast<long>(kMaxTailSeconds * sampleRate / period);
  const auto blockSamples = static_cast<size_t>(period) * 2;
  std::vector<int16_t> samples(blockSamples * kBlocksPerChunk);
  size_t filled = 0;  // blocks in samples
  // The peaks of the last blocks, enough of them to cover 10 ms.
  std::vector<int> peaks(static_cast<size_t>(std::ceil(sampleRate * 0.010 / period)), INT_MAX);
  size_t nextPeak = 0;
  long blocks = 0;
  int total = 0;
  bool ok = true;

  // Hands the blocks rendered so far on.
  const auto handOn = [&] {
    const size_t n = filled * blockSamples;
    filled = 0;
    if constexpr (std::endian::native == std::endian::big) {
      for (size_t i = 0; i < n; ++i) {
        const auto bits = static_cast<uint16_t>(samples[i]);
        samples[i] = static_cast<int16_t>(static_cast<uint16_t>(bits << 8 | bits >> 8));
      }
    }
    if (n > 0 && !sink(std::span(reinterpret_cast<const uint8_t*>(samples.data()), n * 2))) {
      error = kVemaSamplesNotWritten;
      return false;
    }
    return true;
  };
  // Renders one block; false once something went wrong.  One block a call: the synthesizer
  // would render several up to the song's next event in one, but not to the same samples.
  const auto render = [&] {
    int16_t* out = samples.data() + filled * blockSamples;
    fluid_synth_write_s16(s.synth, period, out, 0, 2, out, 1, 2);
    peaks[nextPeak] = Peak(out, blockSamples);
    nextPeak = (nextPeak + 1) % peaks.size();
    if (++filled == kBlocksPerChunk && !handOn()) return false;
    if (++blocks > maxBlocks) {
      error = "the song is too long to render";
      return false;
    }
    if (progress && blocks % kBlocksPerReport == 0) {
      const int tick = fluid_player_get_current_tick(player);
      const double share = total > 0 ? static_cast<double>(tick) / total : 0.0;
      if (!progress(std::min(share, 1.0))) {
        error = "stopped";
        return false;
      }
    }
    return true;
  };
  // The song's end: the player has read the song (its tick count walks every event, so it is
  // counted once) and has got to its last tick.
  const auto songEnded = [&] {
    if (total <= 0) total = fluid_player_get_total_ticks(player);
    return total > 0 && fluid_player_get_current_tick(player) >= total;
  };

  if (fluid_player_play(player) != FLUID_OK) {
    error = "no song could be read from " + midiPath;
    ok = false;
  }
  while (ok && fluid_player_get_status(player) == FLUID_PLAYER_PLAYING && !songEnded()) {
    ok = render();
  }
  // Then the sound dies away: the samples end once their last 10 ms are quiet.
  for (long tail = 0;
       ok && tail < maxTailBlocks && *std::max_element(peaks.begin(), peaks.end()) > kQuietPeak;
       ++tail) {
    ok = render();
  }
  ok = ok && handOn();
  total = fluid_player_get_total_ticks(player);
  fluid_player_stop(player);
  delete_fluid_player(player);
  if (ok && total <= 0) {
    error = "no song could be read from " + midiPath;
    ok = false;
  }
  rate = static_cast<uint32_t>(sampleRate);
  frames = static_cast<uint64_t>(blocks) * static_cast<uint64_t>(period);
  return ok;
}

}  // namespace vema
