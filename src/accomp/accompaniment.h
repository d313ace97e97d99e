// The accompaniment: the feel chosen for each composition and the chord, bass and drum tracks
// built from its one-bar patterns over every bar of the form.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "song/platform.h"

namespace vema {

enum AccompanimentFeelValue : int { kMarch = 0, kStandard = 1, kBlues = 2, kRock = 3 };
inline constexpr int kFeelCount = 4;

// A feel outside 0..3 is read as march.
int ValidFeel(int feel);

// Per feel: positive values are chord hits of that many ticks, negative values silences.
std::span<const int32_t> ChordRhythm(int feel);
// Per feel: positive values are bass notes of that many ticks, 0 makes the next note the fifth,
// negative values would be silences.
std::span<const int32_t> BassRhythm(int feel);
// Per feel: the event bytes of one drum bar on channel 10, beginning with the delta 00.
std::span<const uint8_t> DrumBar(int feel);
// Per feel: the time from the last drum hit of a bar to the bar line.
int DrumClosingDelta(int feel);

// Asks the person for the feel of this composition.  A confirmed choice 0..3 is stored in
// feel; closing the dialog without one keeps the previous feel.
void ChooseAccompanimentFeel(Platform& platform, int8_t& feel);

// The MIDI keys of each bar's chord (rows ended by -999; the row after the last bar starts with
// -999) and each bar's bass key (-999 after the last bar).
using VoicingRows = std::vector<std::vector<int32_t>>;

// Track chunks ("MTrk", length, data).  program is the General MIDI program of the track.
std::vector<uint8_t> BuildChordTrackChunk(const VoicingRows& voicings, int feel, int32_t program);
std::vector<uint8_t> BuildBassTrackChunk(std::span<const int32_t> bassNotes, int feel,
                                         int32_t program);
std::vector<uint8_t> BuildDrumTrackChunk(int feel, int bars);

}  // namespace vema
