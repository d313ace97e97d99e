// Key scales, lookups in the scale and the chord of a bar, the traced interval between two
// notes and the chord trace of a bar.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "melody/melody_context.h"
#include "song/tables.h"

namespace vema {

// The scale of KeyList entry `key` (a key outside 0..29 counts as 0): seven pitch numbers,
// tonic first, major for 0..14 and natural minor for 15..29.
KeyScale ScaleOfKey(int key);

// The bar's source field when it names an earlier bar (0..bar-1), else -1.
int EarlierBar(int32_t source, int bar);

// keyScale = the scale of the bar's key.
void PrepareScale(const MelodyContext& context, int bar);

// Prepares the bar's scale; the degree 0..6 whose tone is the pitch number, or -1.
int FindScaleDegree(const MelodyContext& context, int bar, int pitch);

// The index of the first chord tone equal to pitch - 1, or -1 (the end mark stops the search).
int FindChordPitch(const ChordToneTable& tones, int pitch);

// The signed distance 12 x (newOctave - oldOctave) + newPitch - oldPitch as a signed 8-bit
// number; traces both notes and the interval.
int8_t Interval(const MelodyContext& context, int newPitch, int oldPitch, int newOctave,
                int oldOctave);

// Traces the bar index, parses its chord and traces its tones; -1 when the chord was refused.
int LogBarChord(const MelodyContext& context, int bar);

// The trace names of a direction: 0 "Equal", 1 "Down", 2 "Up".
std::string_view EduName(int edu);

}  // namespace vema
