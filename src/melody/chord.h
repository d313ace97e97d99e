// Chord names, chord tones and the voicing of every bar's chord.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "song/form.h"
#include "song/platform.h"
#include "song/tables.h"

namespace vema {

inline constexpr int32_t kListEnd = -999;

// A chord name taken apart the way ParseChord reads it, without any message.
struct ChordParts {
  bool accepted = false;       // ParseChord returns 0 for it
  bool addChord = false;       // refused as an add chord ("Cadd9")
  char letter = '\0';          // the first character; 'A'..'G' when the root is a note letter
  int alter = 0;               // what "#" (+1) and "-" (-1, a flat) after the letter add
  int root = 0;                // pitch class of the root (an unknown letter counts as 11)
  std::string chordPart;       // the name before "/" or "on"
  std::string quality;         // the quality after the root, e.g. "m7" (accepted names)
  std::vector<int> intervals;  // semitones of the other tones above the root (accepted names)
  bool slash = false;          // a "/" or "on" chord
  char bassLetter = '\0';
  int bassAlter = 0;
  int bass = 0;                // pitch class of the bass note of a slash or "on" chord
};
ChordParts DescribeChord(std::string_view name);

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
