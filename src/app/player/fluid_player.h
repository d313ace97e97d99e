// The MIDI file player of the front ends: "out.mid" of the working directory played through
// libfluidsynth with a General MIDI soundfont, driven by the five command strings of the alias
// "tada"; and the same song rendered into a WAV file for machines without speakers.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include <fluidsynth.h>

#include "app/song_player.h"

namespace vema {

// The soundfont to play with: "default.sf2" of the working directory when it is there, else the
// system's General MIDI soundfont; "" when there is none.
std::string FindSoundFont(const std::string& dir);

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
  bool RenderWav(const std::string& midiPath, const std::string& wavPath, std::string& error,
                 const RenderProgress& progress = {}) override;
  // The same into an empty file open for writing at its start (the header is written last, at
  // offset 0), named wavName in messages; the file is neither synced nor closed.
  bool RenderWavInto(const std::string& midiPath, int wavFd, const std::string& wavName,
                     std::string& error, const RenderProgress& progress = {});

  // Sets up the synthesizer and loads the soundfont now instead of at the first "open"; false,
  // with the reason, when that fails.
  bool Prepare(std::string& error);
  // Milliseconds from the last "open" (the PLAY command) to the first MIDI event the
  // synthesizer rendered for it (the first block of sound), or -1 before that.
  double FirstBlockLatencyMs() const { return firstBlockMs_.load(); }

  // True between a successful "play tada" and "close tada".
  bool started() const { return started_; }
  // Why the last open or play did not start the song ("" when it did).
  const std::string& lastError() const { return error_; }

 private:
  bool EnsureSynth();
  void Open();
  void Play();
  void Stop();
  void Rewind();
  void Close();

  std::string dir_;
  std::string audioDriver_;
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  fluid_audio_driver_t* driver_ = nullptr;
  fluid_player_t* player_ = nullptr;
  bool started_ = false;
  std::string error_;
  std::chrono::steady_clock::time_point playedAt_;
  std::atomic<double> firstBlockMs_{-1};  // written by the audio thread

  static int HandleEvent(void* data, fluid_midi_event_t* event);
};

}  // namespace vema
