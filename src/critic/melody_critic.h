// The melody critic: measures of a finished melody against its form's keys and chords, and one
// score that rewards what simple human tunes show (a final cadence, steps rather than leaps,
// runs up and down the scale, chord tones on the strong beats, phrase ends on chord tones).
//
// What is measured (every measure is defined here and nowhere else):
//   - A note is a cell of the melody with a pitch 1..12; a cell with any other pitch is a rest.
//     Time runs on through rests.  Each cell is one note: a note tied over a beat or a bar line
//     is one long cell, so it sounds on the beats it covers and is never a repeated note.
//   - A move is the step from one note to the next note, in semitones (MIDI keys); rests in
//     between are passed over (a breath does not break the line).
//   - Last note: the last note of the melody, judged in the key of the bar in which it starts.
//     "Tonic": its pitch class is the key's tonic.  "Tonic triad": it is degree 1, 3 or 5 of
//     the key's scale (major keys major, minor keys natural minor).
//   - Sevenths and ninths: moves of 10, 11, 13 or 14 semitones up or down, of all moves.
//   - Leaps beyond a fifth: moves of more than 7 semitones up or down, of all moves.
//   - Reversals: of the pairs of neighbouring moves that are both non-zero, those whose
//     directions differ (up then down, or down then up).
//   - Repeated notes: moves of 0 semitones, of all moves.
//   - Chord tones on beats 1 and 3: of the notes sounding at the start of beat 1 and of beat 3
//     of every bar (a note started earlier and still held counts; a rest counts nowhere), those
//     whose pitch class is a tone of that bar's chord.
//   - Phrase ends: the last note that sounds in each bar 4, 8, 12 ... (counted from 1; a note
//     held into the bar counts when none starts in it); the share of them that are tones of
//     that bar's chord.
//   - Degrees 1-3-5: of all notes, those on degree 1, 3 or 5 of the key of the bar in which
//     they start.
//   - Range: highest minus lowest note, in semitones (0 for fewer than two notes).
//   - Signed intervals: the moves from -12 to +12 semitones; larger moves count at -12 / +12.
//   Register and rhythm, what a listener hears besides the pitches:
//   - Above the chords: of all notes, those whose key is strictly above the chord track's
//     highest sounding note in the bar where they start, i.e. the highest key of that bar's
//     chord voicing (every feel plays the bar's whole voicing); the same of the notes that
//     start on beat 1 or 3.  A bar without a voicing counts nowhere.
//   - Melody keys: how many notes have each MIDI key; their median is the median melody key.
//   - Final note: whether the last note starts on beat 1 or 3 of its bar and lasts at least a
//     half note (96 ticks).
//   - Falls at bar lines: of the bar lines between two bars in which notes start, those where
//     the first note of the later bar lies 5 or more semitones (a fourth or more) below the
//     last note of the earlier bar.
//   - Sparse bars: of the bars before the last, those in which only one or two notes start.
//   - Off the eighth grid: of all notes, those that start at a tick within the bar that is not a
//     multiple of 24 (sixteenths, triplets).
//   - Phrase-end lengthening: the mean length of the longest note starting in each bar 4, 8,
//     12 ... divided by the same mean of the other bars (bars where no note starts are left
//     out); over many songs, both means are taken over all their bars.
//   - Note-length entropy: of the notes' lengths in classes (a 16th, an 8th, a dotted 8th, a
//     quarter, a dotted quarter, a half, a dotted half, a whole or longer, anything else such
//     as triplets), the entropy of the shares in bits; over many songs, the mean of the songs'.
// Bars whose chord the chord parser refuses have no known chord: their notes count in no chord
// measure (neither as chord tones nor as others), and in every other measure as usual.  Notes
// that start after the form's last bar are left out.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "song/form.h"
#include "song/tables.h"

namespace vema {

// One note or rest of a melody, in ticks from the start of the song.
struct CriticNote {
  int key = -1;  // MIDI key, or -1 for a rest
  int start = 0;
  int length = 0;
};

// The key and the chord of one bar.
struct BarHarmony {
  int tonic = 0;            // pitch class 0..11
  uint16_t scale = 0;       // bit k: pitch class k is in the key's scale
  uint16_t triad = 0;       // bit k: pitch class k is degree 1, 3 or 5 of the key
  uint16_t chord = 0;       // bit k: pitch class k is a chord tone
  bool chordKnown = false;  // false when the chord parser refused the bar's chord
  int chordTop = -1;        // the highest key of the bar's chord voicing, -1 for none
};

// A count of cases out of a total; the share is undefined (Known() false) without cases.
struct Share {
  int count = 0;
  int total = 0;
  bool Known() const { return total > 0; }
  double Value() const { return total > 0 ? static_cast<double>(count) / total : 0.0; }
  void Add(bool yes) {
    ++total;
    count += yes ? 1 : 0;
  }
  void Add(const Share& other) {
    count += other.count;
    total += other.total;
  }
};

inline constexpr int kIntervalBins = 25;  // -12 .. +12 semitones
inline constexpr int kLengthKinds = 9;  // 16th, 8th, dotted 8th ... whole or longer, other
inline constexpr int kKeys = 128;         // MIDI keys

// The class 0..8 of a note length in ticks (see "Note-length entropy" above).
int LengthClassOf(int length);

// The mean of some values.
struct Mean {
  double sum = 0;
  int count = 0;
  bool Known() const { return count > 0; }
  double Value() const { return count > 0 ? sum / count : 0.0; }
  void Add(double value) {
    sum += value;
    ++count;
  }
  void Add(const Mean& other) {
    sum += other.sum;
    count += other.count;
  }
};

struct MelodyMeasures {
  int notes = 0;
  int moves = 0;
  bool hasLastNote = false;
  bool lastIsTonic = false;
  bool lastInTonicTriad = false;
  Share seventhsAndNinths;
  Share leapsBeyondFifth;
  Share reversals;
  Share repeatedNotes;
  Share strongBeatChordTones;
  Share phraseEndChordTones;
  Share triadDegrees;
  int range = 0;
  std::array<int, kIntervalBins> intervals{};  // bin i: a move of i - 12 semitones
  // Register and rhythm.
  Share aboveChords;
  Share aboveChordsOnBeats13;
  std::array<int, kKeys> keys{};  // notes per MIDI key
  bool finalLong = false;
  Share barLineFalls;
  Share sparseBars;
  Share offEighthGrid;
  Mean phraseEndLongest;  // the longest note of each bar 4, 8, 12 ..., in ticks
  Mean otherLongest;      // ... of the other bars
  std::array<int, kLengthKinds> lengthClasses{};  // notes per length class
};

// The median of keys counted per key (the lower middle one of an even count); -1 for none.
int MedianKey(const std::array<int, kKeys>& keys);

// The entropy in bits of a song's note-length classes (0 without notes).
double LengthEntropy(const MelodyMeasures& measures);

// Mean longest note of the phrase-end bars over that of the other bars (0 when either is
// unknown).
double PhraseEndLengthening(const Mean& phraseEnds, const Mean& others);

// The shares of signed intervals -12..+12 (in percent) of 524 human dance tunes in 4/4.
extern const std::array<double, kIntervalBins> kHumanIntervalPercent;

// The melody of voice 0 of the note track: its cells up to the end mark (a length of -1, or 0,
// or the end of the table), with their start times.
std::vector<CriticNote> MelodyOfTrack(const NoteTrackTable& track);

// The keys and chords of the form's bars (8 x the number of periods), parsed silently.
std::vector<BarHarmony> HarmonyOfForm(const SongForm& form);

// The measures of a melody over its bars.
MelodyMeasures MeasureMelody(std::span<const CriticNote> melody,
                             std::span<const BarHarmony> bars);

// Jensen-Shannon divergence (base-2 logarithms, 0..1) between two distributions given as
// non-negative weights of the same length (each normalised to sum 1; an empty one is uniform).
double JensenShannon(std::span<const double> p, std::span<const double> q);

// The divergence of a song's signed intervals from the human shares.
double IntervalDivergence(const MelodyMeasures& measures);

// The score 0..100 of a melody: 100 where every measure is as in human tunes.  A melody that
// spans more than two octaves loses up to half of its score (at three octaves and more).
double ScoreMelody(const MelodyMeasures& measures);

}  // namespace vema
