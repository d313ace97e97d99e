// The built-in synthesizer: "out.mid" of the working directory played through libfluidsynth with
// a General MIDI soundfont, driven by the five command strings of the alias "tada"; single notes
// sounded on request; and a song rendered into samples for WAV files.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <fluidsynth.h>

#include "app/song_player.h"

namespace vema {

// The soundfont to play with: "default.sf2" of the working directory when it is there, else the
// system's General MIDI soundfont; "" when there is none.
std::string FindSoundFont(const std::string& dir);

// Receives rendered samples (interleaved 16-bit little-endian stereo) in order; false stops.
using SampleSink = std::function<bool(std::span<const uint8_t> samples)>;

// A rendering goes on after the song's last tick until its last 10 ms peak below -60 dBFS
// (|sample| <= 32), for at most this long.
inline constexpr double kMaxTailSeconds = 5;
inline constexpr int kQuietPeak = 32;

class FluidPlayer : public SongPlayer {
 public:
  // audioDriver: the fluidsynth audio driver to play through ("" for the system's default; "file"
  // plays in real time into fluidsynth's default file, for tests).
  explicit FluidPlayer(std::string dir, std::string audioDriver = "");
  ~FluidPlayer() override;
  FluidPlayer(const FluidPlayer&) = delete;
  FluidPlayer& operator=(const FluidPlayer&) = delete;

  void Command(const std::string& command) override;
  bool WaitUntilEnd(std::string& error) override;
  int PlayingTick() override;
  bool RenderWavTo(const std::string& midiPath, WavSink& wav, std::string& error,
                   const RenderProgress& progress = {}) override;
  // Sets up the synthesizer and loads the soundfont now instead of at the first "open"; false,
  // with the reason, when that fails.
  bool Prepare(std::string& error) override;
  // Milliseconds from the last "open" (the PLAY command) to the first MIDI event the
  // synthesizer rendered for it (the first block of sound), or -1 before that.
  double FirstBlockLatencyMs() const override { return firstBlockMs_.load(); }
  void SoundNote(int channel, int program, int key, int velocity, int milliseconds) override;
  void Seek(int64_t tick) override;

  // The samples of a song: rate and frame count are set when it succeeds.
  bool RenderSamples(const std::string& midiPath, const SampleSink& sink, uint32_t& rate,
                     uint64_t& frames, std::string& error, const RenderProgress& progress = {});

  // True between a successful "play tada" and "close tada".
  bool started() const;
  // True while the audio output is open: a song or a note sounding or dying away.
  bool OutputOpen() const;
  // Why the last open or play did not start the song ("" when it did).
  std::string lastError() const;

 private:
  using Clock = std::chrono::steady_clock;
  struct NoteOff {
    Clock::time_point at;
    int channel;
    int key;
  };

  // All below with mutex_ held.
  bool EnsureSynth();
  bool EnsureOutput();
  void CloseOutput();
  bool SongOver();
  void Open();
  void Play();
  void Stop();
  void Rewind();
  void Close();
  // The thread that ends notes and closes the audio output once everything has died away.
  void Keep();

  std::string dir_;
  std::string audioDriver_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::thread keeper_;
  bool quit_ = false;
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  fluid_audio_driver_t* driver_ = nullptr;
  fluid_player_t* player_ = nullptr;
  int totalTicks_ = 0;  // of the song opened, once the player has read it
  bool started_ = false;
  bool songOver_ = false;  // reached its end or was stopped
  int64_t pendingSeek_ = -1;
  std::vector<NoteOff> noteOffs_;
  std::optional<Clock::time_point> silentSince_;
  std::optional<Clock::time_point> idleSince_;
  std::string error_;
  Clock::time_point playedAt_;
  std::atomic<double> firstBlockMs_{-1};  // written by the audio thread

  static int HandleEvent(void* data, fluid_midi_event_t* event);
};

}  // namespace vema
