// What the front ends need from a MIDI file player.  The implementation that sounds lives outside
// the core (src/app/player/); the core only knows this interface.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vema {

// The longest song rendered into a WAV file (a 96-bar song lasts about 3 minutes at its tempo).
inline constexpr double kMaxRenderSeconds = 30 * 60;

// Told now and then how much of a song has been rendered (0..1); returning false stops it.
using RenderProgress = std::function<bool(double share)>;

class SongPlayer {
 public:
  virtual ~SongPlayer() = default;

  // One of the five command strings of the alias "tada" ("open out.mid type sequencer alias
  // tada", "play tada", "stop tada", "seek tada to start", "close tada"); anything else is
  // ignored.  Failures are remembered for WaitUntilEnd, never thrown.
  virtual void Command(const std::string& command) = 0;

  // Blocks until the song opened and played last has reached its end.  False, with the reason,
  // when nothing could be played.
  virtual bool WaitUntilEnd(std::string& error) = 0;

  // Where the song played last has got to, in ticks of its file; -1 while none is playing.
  virtual int PlayingTick() = 0;

  // Renders a MIDI file into a WAV file, as long as the song, replacing the file only when the
  // sound is complete.  False, with the reason, on failure or when the progress callback asked
  // to stop.
  virtual bool RenderWav(const std::string& midiPath, const std::string& wavPath,
                         std::string& error, const RenderProgress& progress = {}) = 0;

  // Gets ready to sound (synthesizer and soundfont) ahead of the first command, so that PLAY
  // starts at once.  False, with the reason, when playback cannot work.
  virtual bool Prepare(std::string& error) {
    error.clear();
    return true;
  }

  // Milliseconds from the last PLAY to the first block of sound rendered for it; -1 when
  // unknown.
  virtual double FirstBlockLatencyMs() const { return -1; }

  // Sounds one note now on a channel (0-based; 9 is the drums, whose program is ignored) with a
  // General MIDI program, also when no song plays.
  virtual void SoundNote(int /*channel*/, int /*program*/, int /*key*/, int /*velocity*/,
                         int /*milliseconds*/) {}

  // Moves the playing position of the song opened last: while playing it jumps there; otherwise
  // the next "play tada" starts there.
  virtual void Seek(int64_t /*tick*/) {}
};

// Makes a player for the files of a working directory.
using SongPlayerFactory = std::function<std::unique_ptr<SongPlayer>(const std::string& dir)>;

}  // namespace vema
