// Best of N: composes the melody (note lengths and pitches) N times out of sight, each time from
// the same state, with the random source running on from one to the next, and keeps the melody
// that the critic scores highest.  Inside each of those candidates it may also choose bar by
// bar: the rules and pitches of a new bar are drawn several times from the same state, the draw
// that fits its bar best (see BarFit) is kept, and the next bar goes on from there.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "critic/melody_critic.h"
#include "melody/melody_context.h"
#include "song/random.h"

namespace vema {

inline constexpr int kMinBestOf = 1;
inline constexpr int kMaxBestOf = 1000;

struct MelodyChoice {
  int chosen = 0;              // index of the chosen candidate (the first of equal scores)
  double score = -1;           // its score
  std::vector<double> scores;  // every candidate's score; -1 where the pitch phase failed
  RandomSource chosenStart;    // the random source as the chosen candidate began
  RandomSource end;            // the random source after the last candidate
  // With bar-wise choice, for every bar of the form: the random source as the chosen draw began
  // the bar's rules, and its pitches.  Empty when only whole melodies were chosen.
  std::vector<RandomSource> ruleStarts;
  std::vector<RandomSource> pitchStarts;
  std::vector<double> barFits;  // the fit of every kept bar (BarFit), in order
  // With bar-wise choice, for every bar of the form: the random source as the chosen draw began
  // the bar's note lengths (drawn in new mode only), and the fit of the kept lengths
  // (LengthFit; a bar that copies another's lengths counts as its only draw).  Empty when only whole melodies
  // were chosen.
  std::vector<RandomSource> lengthStarts;
  std::vector<double> lengthFits;
};

// The draws per bar that best of `candidates` makes; 0 (whole melodies only, each the single
// composition) for one candidate.
int DefaultBarDraws(int candidates);

// Composes max(1, candidates) melodies from the context's present state, each bar of each the
// best of `barDraws` draws (each the single composition for 0), and scores them.  The tables,
// the melody state and the random source are left exactly as they were; the trace and the
// person see nothing.  Composing again
// from that state with the random source set to chosenStart, the pitch phase run by
// RunChosenPitches, gives the chosen melody.
MelodyChoice ChooseMelody(const MelodyContext& context, int candidates, int barDraws);
inline MelodyChoice ChooseMelody(const MelodyContext& context, int candidates) {
  return ChooseMelody(context, candidates, DefaultBarDraws(candidates));
}

// The same choice over the pitches only: the note lengths in the bar table stay as they are (a
// finished song's, ties merged) and every candidate draws the rules and pitches anew; composing
// again means the pitch phase alone, run by RunChosenPitches from chosenStart.
MelodyChoice ChoosePitches(const MelodyContext& context, int candidates, int barDraws);
inline MelodyChoice ChoosePitches(const MelodyContext& context, int candidates) {
  return ChoosePitches(context, candidates, DefaultBarDraws(candidates));
}
// The note-length phase (NoteLengthGenerator::Run) of the chosen melody: each bar's draws start
// from the random source that the choice kept for it (no change without bar-wise choice).
void RunChosenLengths(const MelodyContext& context, const MelodyChoice& choice);

// The pitch phase (PitchGenerator::Run) of the chosen melody: each bar's draws start from the
// random source that the choice kept for it (no change without bar-wise choice).  1 on success.
int RunChosenPitches(const MelodyContext& context, const MelodyChoice& choice);

// The first note of bar `bar` (MIDI key as composed, before the octave correction) when the
// bars before it fix it: a repeated melody starts as its model; a repeated motif starts on the
// same position of its own chord as the model's first note, in the model's octave.  -1 when the
// note is drawn (or is a rest).  The pitch fit counts the seam into it (BarFit::Add's nextKey).
int FirstNoteFixedByRepeat(const MelodyContext& context, int bar);

// Where a bar's note lengths are heard: the roles of the bar itself and of every later bar that
// repeats its lengths (directly or through another repeat).
struct LengthRole {
  bool phraseEnd = false;  // bar 4, 8, 12 ... (counted from 1)
  bool lastBar = false;    // the song's last bar
};
std::vector<LengthRole> LengthRolesOfForm(const SongForm& form);

// How well one drawn bar of note lengths (as the length phase writes them, tie marks included)
// fits its place (higher is better): everywhere, plain lengths (eighths, quarters, dotted
// quarters, halves and longer) rather than sixteenths, dotted eighths, triplets and odd tied
// lengths, onsets on the eighth grid, and the lengths the song has used so far (a tune keeps
// to a few note values); at a phrase end a long last note and a bar of one or two notes (a
// breath), inside a phrase more notes than that and no note of a half or longer; in the last
// bar a last note of a half or longer on beat 1 or 3.
struct LengthFit {
  std::array<int, kLengthKinds> used{};  // the song's notes so far in each length class
  // Adds the bar's notes and returns the bar's fit.
  double Add(const BarNotes& notes, LengthRole role);
};

// How well one drawn bar fits (higher is better), from its notes as the final octave correction
// will leave them: chord tones on beats 1 and 3, notes on degrees 1, 3 and 5, moves without
// sevenths, ninths and leaps beyond a fifth, runs rather than turns, a seam without a fall of a
// fourth or more from the note before the bar, a phrase end (bars 4, 8 ...) on a chord tone,
// the song's last note on the tonic, notes within a voice's reach and not far above the song's
// first note (so that the melody, lifted over the chords, stays singable).
struct BarFit {
  bool started = false;   // whether the song's first note (the correction's reference) is known
  int firstPitch = 0;     // its pitch 1..12 and octave
  int firstOctave = 0;
  int previous = -1;      // the last note before the bar (MIDI key), or -1; the move from it
                          // onto the bar's first note is the bar's seam
  int previousMove = 0;   // the move onto it, in semitones
  // Adds the bar's notes (lengths, pitches and octaves of the bar table) and returns its fit;
  // afterwards `previous` and `previousMove` are those after the bar.  `nextKey` is the first
  // note after the bar when it is already known (MIDI key as composed, before the octave
  // correction; a repeated melody or motif fixes it), or -1: the seam into it counts too.
  double Add(const BarNotes& notes, const BarHarmony& harmony, bool phraseEnd, bool lastBar,
             int nextKey = -1);
  // The MIDI key of a note as the final octave correction will leave it (once started).
  int Corrected(int pitch, int octave) const;
};
// The critic's score of the melody now in voice 0 of the context's note track.
double ScoreComposedMelody(const MelodyContext& context);

// The melody octave: -1..2 a fixed shift of the composed melody in octaves (0: the literal
// composition), or kAutoMelodyOctave: the shift is chosen per song by the critic.
inline constexpr int32_t kAutoMelodyOctave = 100;
inline constexpr int32_t kMinMelodyOctave = -1;
inline constexpr int32_t kMaxMelodyOctave = 2;
// The keys that a shifted melody keeps within.
inline constexpr int kLowestMelodyKey = 36;
inline constexpr int kHighestMelodyKey = 96;

// How well a melody sits over its chords when shifted by `octaves` (higher is better): the
// share of notes above the chord track's top (MelodyMeasures::aboveChords) in percent, less 6
// for every semitone by which its median key lies outside 67..75 (melodies sung or played over
// an accompaniment mostly sit there), less half the median's distance from 72.
double RegisterFit(std::span<const CriticNote> melody, std::span<const BarHarmony> bars,
                   int octaves);

// The shift in octaves that a melody octave setting gives a composed melody.  0 for 0.  Auto:
// of the shifts -1..2 that keep every note within keys 36..96, the one with the best register
// fit (the nearer to 0 of equal fits); 0 when none does.  A fixed shift: that shift, or the
// nearest one toward 0 that keeps every note within 36..96.
int MelodyOctaveFor(int32_t setting, std::span<const CriticNote> melody,
                    std::span<const BarHarmony> bars);

// Moves every note of voice 0 of the note track by `octaves` octaves (rests stay rests).
void ShiftMelody(NoteTrackTable& track, int octaves);

// The melody octave setting applied to the melody in voice 0 of the context's note track, once
// the pitch phase has made it; returns the shift made in octaves.
int ApplyMelodyOctave(const MelodyContext& context, int32_t setting);

}  // namespace vema
