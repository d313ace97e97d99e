// Best of N: composes the melody (note lengths and pitches) N times out of sight, each time from
// the same state, with the random source running on from one to the next, and keeps the melody
// that the critic scores highest.  Inside each of those candidates it may also choose bar by
// bar: the rules and pitches of a new bar are drawn several times from the same state, the draw
// that fits its bar best (see BarFit) is kept, and the next bar goes on from there.
#pragma once

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

// The pitch phase (PitchGenerator::Run) of the chosen melody: each bar's draws start from the
// random source that the choice kept for it (no change without bar-wise choice).  1 on success.
int RunChosenPitches(const MelodyContext& context, const MelodyChoice& choice);

// How well one drawn bar fits (higher is better), from its notes as the final octave correction
// will leave them: chord tones on beats 1 and 3, notes on degrees 1, 3 and 5, moves without
// sevenths, ninths and leaps beyond a fifth, runs rather than turns, a phrase end (bars 4, 8 ...)
// on a chord tone, the song's last note on the tonic, and notes within a voice's reach.
struct BarFit {
  bool started = false;   // whether the song's first note (the correction's reference) is known
  int firstPitch = 0;     // its pitch 1..12 and octave
  int firstOctave = 0;
  int previous = -1;      // the last note before the bar (MIDI key), or -1
  int previousMove = 0;   // the move onto it, in semitones
  // Adds the bar's notes (lengths, pitches and octaves of the bar table) and returns its fit;
  // afterwards `previous` and `previousMove` are those after the bar.
  double Add(const BarNotes& notes, const BarHarmony& harmony, bool phraseEnd,
             bool lastBar);
};
// The critic's score of the melody now in voice 0 of the context's note track.
double ScoreComposedMelody(const MelodyContext& context);

}  // namespace vema
