// The song as a MusicXML 4.0 partwise score: the melody with the form's chord symbols, the bass
// and the chords (one staff of a keyboard-style part), each with its General MIDI instrument;
// the key of every bar, 4/4, the tempo and the title.  Notes held across a bar line are tied,
// triplets carry their time modification and a bracket, and rests fill every gap.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "output/song_score.h"

namespace vema {

inline constexpr const char* kMusicXmlExtension = "musicxml";

// The whole document (UTF-8 XML with its declaration and document type).
std::string BuildMusicXml(const SongScore& score);

// One written note or rest of a bar.  Pieces of the same span are tied to each other.
struct NotePiece {
  size_t span = 0;        // the span of the bar it belongs to
  int32_t start = 0;      // ticks from the bar line
  int32_t duration = 0;   // ticks
  const char* type = "";  // "whole", "half", "quarter", "eighth", "16th", "32nd", "64th"
  int dots = 0;
  int32_t tuplet = 0;  // 0, or the length of its triplet group: 48 (eighths), 96 (quarters)
  bool tupletStart = false;
  bool tupletStop = false;
};

// Writes the spans of one bar as notes: `lines` are the bar-relative starts of the spans in
// increasing order, the first 0, followed by the bar's end (192).  Each span becomes one or more
// pieces of written note values: plain and dotted values on the beat grid, triplet groups of a
// beat (triplet eighths) or of a half bar (triplet quarters) where the spans need them.
std::vector<NotePiece> NotateBar(std::span<const int32_t> lines);

}  // namespace vema
