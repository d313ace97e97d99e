// The song as notes on a time line, for the piano roll and the exports: what a Standard MIDI File
// holds (the notes of the melody, chord, bass and drum channels, the instruments and the tempo)
// joined with what only the form knows (the bars, their keys and chord names) and the title.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "song/form.h"

namespace vema {

struct ScoreNote {
  int32_t start = 0;   // ticks (48 to the quarter note) from the beginning of the song
  int32_t length = 0;  // ticks; 0 for a drum hit
  int key = 0;         // MIDI key 0..127
  bool operator==(const ScoreNote&) const = default;
};

// The notes of a Standard MIDI File by channel: 1 melody, 2 chords, 3 bass, 10 drums (the
// channels of the song's own file).  Each list is sorted by start, then key.
struct MidiNotes {
  std::vector<ScoreNote> melody, chords, bass, drums;
  std::array<int, 3> programs{};  // General MIDI programs of melody, bass and chords
  int32_t microsecondsPerQuarter = 500000;
  int32_t endTick = 0;  // where the last note or hit ends
};

// The most notes a song of this program sounds at once on one channel: the most keys a chord
// has (ChordToneTable), also for drum hits at one tick.
inline constexpr int kMaxNotesAtOnce = 12;

// Reads a Standard MIDI File (format 0 or 1, ticks per quarter note) into its notes, scaled to
// 48 ticks to the quarter note.  A damaged track is read as far as it goes.  nullopt, with the
// reason, when the bytes are no Standard MIDI File or hold what no song of this program holds:
// a note after bar 96, more than kMaxNotesAtOnce notes at once on a channel, or more notes on a
// channel than the 96 bars have ticks.  Time and memory grow linearly with the file.
std::optional<MidiNotes> ReadMidiNotes(std::span<const uint8_t> bytes, std::string& error);

struct SongScore {
  std::string title;                // UTF-8; empty when the song has no name
  int bars = 0;                     // 4/4 bars of 192 ticks
  std::vector<int> keys;            // per bar: the key, an index into KeyList
  std::vector<std::string> chords;  // per bar: the chord name as the form has it, in UTF-8
  MidiNotes notes;                  // cut to the bars

  int32_t EndTick() const { return bars * kTicksPerBar; }
  // The key and the chord name of a bar (C major and no chord outside the lists).
  int KeyOf(int bar) const;
  const std::string& ChordOf(int bar) const;
  double QuarterNotesPerMinute() const;
  // True where bar b has another key than bar b - 1 (bar 0 never).
  bool KeyChangesAt(int bar) const;
};

// The score of a song from its MIDI file, the form it was composed with and its title.  Notes
// past the form's last bar are dropped and notes held past it are cut at its end.
std::optional<SongScore> MakeSongScore(std::span<const uint8_t> midi, const SongForm& form,
                                       const std::string& title, std::string& error);
SongScore MakeSongScore(MidiNotes notes, const SongForm& form, const std::string& title);

// The key signature of a key of KeyList: sharps (> 0) or flats (< 0), and the mode.  A key index
// outside the list counts as C major.
struct KeySignature {
  int fifths = 0;
  bool minor = false;
};
KeySignature KeySignatureOf(int keyIndex);

// How a MIDI key is written in a key: a letter 'A'..'G', an alteration in semitones and the
// octave (key 60 is C4).
struct Spelling {
  char step = 'C';
  int alter = 0;
  int octave = 4;
};
Spelling SpellKey(int midiKey, int keyIndex);

// A text fit for XML and for drawing: invalid UTF-8 and control characters (other than tab and
// line feed) become "?".
std::string CleanText(std::string_view utf8);

}  // namespace vema
