// Chord names, chord tones and the voicing of every bar's chord.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "song/form.h"
#include "song/platform.h"
#include "song/tables.h"

namespace vema {

inline constexpr int32_t kListEnd = -999;

// Fills the chord-tone table from a chord name; 0 on success, -1 (after the refusal message)
// when the name is refused, leaving the root alone in the table.
int ParseChord(ChordToneTable& table, Platform& platform, std::string_view name);

// Index of a pitch class in the table, or -1.
int FindChordTone(const ChordToneTable& tones, int pitchClass);

// Removes the first pair of neighbouring keys a semitone apart: the lower one when it has the
// pitch class of the first key, else the upper one.
void RemoveSemitoneClash(std::vector<int32_t>& keys);

// Voices the chord of every bar of the form: voicings[b] holds the MIDI keys of bar b, lowest
// first, followed by -999, and voicings[N] is {-999}; bassNotes[b] is the bass key of bar b and
// bassNotes[N] is -999.  Traces "mae=..,ato=.." for every bar after the first.
void BuildChordVoicing(const SongForm& form, ChordToneTable& chordTones, Platform& platform,
                       GenerationLog& log, std::vector<std::vector<int32_t>>& voicings,
                       std::vector<int32_t>& bassNotes);

}  // namespace vema
