// Best of N: composes the melody (note lengths and pitches) N times out of sight, each time from
// the same state, with the random source running on from one to the next, and keeps the melody
// that the critic scores highest.
#pragma once

#include <vector>

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
};

// Composes max(1, candidates) melodies from the context's present state and scores them.  The
// tables, the melody state and the random source are left exactly as they were; the trace and
// the person see nothing.  Composing again from that state with the random source set to
// chosenStart gives the chosen melody.
MelodyChoice ChooseMelody(const MelodyContext& context, int candidates);

// The critic's score of the melody now in voice 0 of the context's note track.
double ScoreComposedMelody(const MelodyContext& context);

}  // namespace vema
