// Re-making a stretch of a finished song: bars A..B get new note lengths and pitches, drawn by
// the same phases as a composition, and so do the later bars that the form ties to them (those
// that repeat their melody, motif or note lengths); every other note of the melody stays exactly
// as it is.  Several draws are made and the one that fits best is kept, its joins into and out of
// the stretch included.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "melody/melody_context.h"

namespace vema {

// The bars that re-making first..last changes, in order: those of the song's bars and every
// later bar that repeats the melody, motif or note lengths of one of them (at any remove).
std::vector<int> BarsTiedTo(const SongForm& form, int first, int last);

struct BarRemake {
  std::vector<int> bars;      // every bar re-made, in order
  std::vector<double> fits;   // the fit of every draw; -1e9 where the draw failed
  int chosen = 0;             // the draw kept (the first of equal fits)
};

// The number of draws of a re-make at best of N: four per candidate, 4..256.
int RemakeDraws(int bestOf);

// Re-makes bars first..last (0-based, inside the song) of the song in the context: the bar table
// and voice 0 of the note track change for the re-made bars only; the cells of voice 0 of every
// other bar are kept as they stand (hand edits included).  `draws` draws are made from the
// context's random source, which runs on past all of them; the trace gets the kept draw's
// phases, the fit of every draw and how every bar of the song was made.  nullopt when the song
// has no melody, the selection is outside it or no draw could be decided: then every table is as
// it was (the random source has still run on).
std::optional<BarRemake> RemakeBars(const MelodyContext& context, int first, int last, int draws);

// A move across a bar line from the last note of a bar to the first of the next that falls a
// fourth (5 semitones) or more.
inline bool FallsAFourthOrMore(int fromKey, int toKey) { return toKey - fromKey <= -5; }

}  // namespace vema
