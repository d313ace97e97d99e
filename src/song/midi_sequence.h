// The channel messages of a Standard MIDI File as a player sends them: every track merged into
// one list by time, each message with its tick and its time from the tempo changes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vema {

struct TimedMidiMessage {
  int64_t tick = 0;          // in the file's own ticks
  int64_t microseconds = 0;  // from the start of the song
  uint8_t bytes[3] = {};     // status and data bytes (running status written out)
  uint8_t size = 0;          // 2 or 3

  uint8_t Kind() const { return bytes[0] & 0xF0; }
  int Channel() const { return bytes[0] & 0x0F; }
  // A note-on with a velocity above 0.
  bool StartsNote() const { return Kind() == 0x90 && bytes[2] > 0; }
  // A note-off, or a note-on with velocity 0.
  bool EndsNote() const { return Kind() == 0x80 || (Kind() == 0x90 && bytes[2] == 0); }
};

class MidiSequence {
 public:
  // In time order; messages at one tick in the order of their tracks, then of the track.
  std::vector<TimedMidiMessage> messages;
  // The latest end of a track, and its time.
  int64_t endTick = 0;
  int64_t endMicroseconds = 0;
  // The channels that carry any message, one bit each.
  uint16_t channelsUsed = 0;

  // The time of a tick, and the tick reached at a time (both clamped at 0).
  int64_t MicrosecondsAt(int64_t tick) const;
  int64_t TickAt(int64_t microseconds) const;
  // The first message at or after a tick.
  size_t FirstAt(int64_t tick) const;

  // The tempo from one tick on: microseconds per tick.  Sorted by tick; the first at tick 0.
  struct Tempo {
    int64_t tick = 0;
    double microseconds = 0;  // the time of that tick
    double perTick = 0;
  };
  std::vector<Tempo> tempos;
};

// The messages of a whole Standard MIDI File (IsCompleteSmf): channel messages only; tempo
// changes set the times; system exclusive and other meta events are left out.  nullopt when
// the bytes are not a whole file.
std::optional<MidiSequence> ReadMidiSequence(std::span<const uint8_t> bytes);

}  // namespace vema
