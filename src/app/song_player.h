// What the front ends need from a MIDI file player.  The implementation that sounds lives outside
// the core (src/app/player/); the core only knows this interface.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "song/wav_file.h"

namespace vema {

// The longest song rendered into a WAV file (a 96-bar song lasts about 3 minutes at its tempo).
inline constexpr double kMaxRenderSeconds = 30 * 60;

// Told now and then how much of a song has been rendered (0..1); returning false stops it.
using RenderProgress = std::function<bool(double share)>;

// What a player has to tell the person, once (the front end words it).
struct PlayerNotice {
  enum class Kind {
    kNone,
    kPortMissing,  // the chosen MIDI output was not there: the built-in synthesizer played
    kPortLost,     // the MIDI output went away while playing: playback ended
  };
  Kind kind = Kind::kNone;
  std::string port;  // the MIDI output's name
};

class SongPlayer {
 public:
  virtual ~SongPlayer() = default;

  // One of the five command strings of the alias "tada" ("open out.mid type sequencer alias
  // tada", "play tada", "stop tada", "seek tada to start", "close tada"); anything else is
  // ignored.  Failures are remembered for WaitUntilEnd, never thrown.
  virtual void Command(const std::string& command) = 0;

  // Blocks until the song opened and played last has ended and its sound has died away (or
  // was stopped).  False, with the reason, when nothing could be played or playback broke off.
  virtual bool WaitUntilEnd(std::string& error) = 0;

  // Where the song played last has got to, in ticks of its file; -1 while none is playing (also
  // once it has reached its end).
  virtual int PlayingTick() = 0;

  // Renders a MIDI file into a WAV file: the song, then its sound dying away.  False, with the
  // reason, on failure or when the progress callback asked to stop; the file is then unchanged.
  virtual bool RenderWav(const std::string& midiPath, const std::string& wavPath,
                         std::string& error, const RenderProgress& progress = {}) {
    WavFile file(wavPath);
    return RenderWavTo(midiPath, file, error, progress);
  }
  // The same into any WAV sink (a file, a stream).
  virtual bool RenderWavTo(const std::string& midiPath, WavSink& wav, std::string& error,
                           const RenderProgress& progress = {}) {
    (void)midiPath, (void)wav, (void)progress;
    error = "this player renders no WAV files";
    return false;
  }

  // Gets ready to sound (synthesizer and soundfont) ahead of the first command, so that PLAY
  // starts at once.  False, with the reason, when playback cannot work.
  virtual bool Prepare(std::string& error) {
    error.clear();
    return true;
  }

  // Milliseconds from the last PLAY to the first block of sound rendered for it; -1 when
  // unknown.
  virtual double FirstBlockLatencyMs() const { return -1; }

  // Sounds one note now on a channel (0..15; 9 is drums, program ignored) with a General MIDI
  // program, also when no song plays; the note ends after so many milliseconds.
  virtual void SoundNote(int channel, int program, int key, int velocity, int milliseconds) {
    (void)channel, (void)program, (void)key, (void)velocity, (void)milliseconds;
  }

  // Moves the playing position of the song opened last to a tick of its file: while it plays
  // it jumps there; otherwise the next "play tada" starts there (and once that song has been
  // stopped or closed, the one after starts from the beginning again).
  virtual void Seek(int64_t tick) { (void)tick; }

  // The MIDI outputs of the system by name, in the order they are offered.  Empty (with a
  // reason, when there is one) where there are none.
  virtual std::vector<std::string> ListOutputs(std::string& error) {
    error.clear();
    return {};
  }
  // Where the next song opened and the next notes go: a MIDI output by name, or "" for the
  // built-in synthesizer.
  virtual void SetOutput(const std::string& port) { (void)port; }
  // What happened since the last call that the person should be told (at most one thing).
  virtual PlayerNotice TakeNotice() { return {}; }
};

// Makes a player for the files of a working directory.
using SongPlayerFactory = std::function<std::unique_ptr<SongPlayer>(const std::string& dir)>;

}  // namespace vema
