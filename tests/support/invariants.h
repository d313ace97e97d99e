// What every composition must hold, checked by the stress test and the fuzz targets.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/session.h"

namespace vema::testing {

struct MidiTrackSummary {
  int64_t ticks = 0;    // sum of the deltas up to the end of track
  int noteOns = 0;      // note-on events with velocity > 0
  int noteOffs = 0;     // note-off events (and note-ons with velocity 0)
};

struct MidiSummary {
  int format = -1;
  int division = 0;
  std::vector<MidiTrackSummary> tracks;
};

// Reads a Standard MIDI File strictly: every chunk length, every event and every data byte
// (< 128) is checked.  Returns an empty string and fills summary, or says what is wrong.
std::string ReadMidi(std::span<const uint8_t> bytes, MidiSummary& summary);

// After a composition that started with an empty voice 0: when a melody was composed, every
// bar's notes add up to 192 ticks, voice 0 holds exactly the notes of the bars, and the chord
// and bass tracks of the MIDI image last 192 ticks per bar.  The MIDI image, when written, is
// always a well-formed file.  Empty string when all holds, else the first problem.
std::string CheckComposition(const Session& session);

}  // namespace vema::testing
