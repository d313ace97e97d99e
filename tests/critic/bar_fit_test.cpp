// How well a drawn bar fits, on hand-made bars: each thing it judges, one at a time, and the
// notes it judges where the final octave correction will put them.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "critic/melody_choice.h"

namespace vema {
namespace {

constexpr int kRest = -1;

// A bar from (MIDI key or kRest, length) pairs.
BarNotes Bar(const std::vector<std::pair<int, int>>& notes) {
  BarNotes bar{};
  size_t n = 0;
  for (const auto& [key, length] : notes) {
    bar[n].length = length;
    bar[n].pitch = key == kRest ? 0 : key % 12 + 1;
    bar[n].octave = key == kRest ? 0 : key / 12;
    ++n;
  }
  bar[n].length = -1;
  return bar;
}

uint16_t Bits(std::initializer_list<int> classes) {
  uint16_t bits = 0;
  for (int c : classes) bits = static_cast<uint16_t>(bits | (1u << c));
  return bits;
}

// C major over a D minor chord: the chord tones (D F A) and degrees 1-3-5 (C E G) are apart,
// so each counts alone.
BarHarmony CMajorOverDMinor() {
  BarHarmony h;
  h.tonic = 0;
  h.scale = Bits({0, 2, 4, 5, 7, 9, 11});
  h.triad = Bits({0, 4, 7});
  h.chord = Bits({2, 5, 9});
  h.chordKnown = true;
  return h;
}

constexpr int C4 = 48, E4 = 52, G4 = 55, B4 = 59, C5 = 60, Cs5 = 61, D5 = 62, E5 = 64, F5 = 65,
              Gs4 = 56, G5 = 67, Gs5 = 68, B5 = 71, D6 = 74, C8 = 96;

struct Side {
  std::vector<std::pair<int, int>> notes;
  bool phraseEnd = false;
  bool lastBar = false;
};

double Fit(int previous, int previousMove, const Side& side, bool chordKnown = true) {
  BarFit fit;
  fit.previous = previous;
  fit.previousMove = previousMove;
  BarHarmony h = CMajorOverDMinor();
  h.chordKnown = chordKnown;
  return fit.Add(Bar(side.notes), h, side.phraseEnd, side.lastBar);
}

TEST(BarFit, EachThingJudgedMakesABarFitBetter) {
  struct Case {
    const char* what;
    int previous, previousMove;
    Side better, worse;
  };
  const std::vector<Case> cases = {
      {"a chord tone on beats 1 and 3", -1, 0, {{{D5, 192}}}, {{{B4, 192}}}},
      {"a note held over beat 3 counts there", -1, 0,
       {{{B4, 48}, {D5, 144}}}, {{{B4, 144}, {D5, 48}}}},
      {"a note on degree 1, 3 or 5", -1, 0, {{{C5, 192}}}, {{{B4, 192}}}},
      {"a step rather than a seventh", C5, 0, {{{B4, 192}}}, {{{B5, 192}}}},
      {"a step rather than a ninth", C5, 0, {{{Cs5, 192}}}, {{{Cs5 + 12, 192}}}},
      {"a step rather than a minor seventh", C5, 0, {{{B4 - 1, 192}}}, {{{B5 - 1, 192}}}},
      {"a step rather than a major ninth", C5 + 1, 0, {{{B4 + 1, 192}}}, {{{Cs5 + 14, 192}}}},
      {"a third rather than a leap beyond a fifth", C5, 0, {{{Gs4, 192}}}, {{{Gs5, 192}}}},
      {"a run rather than a turn", C5, 2, {{{Cs5, 192}}}, {{{B4, 192}}}},
      {"a turn inside the bar counts too", -1, 0,
       {{{B4, 64}, {Cs5, 64}, {Cs5 + 2, 64}}}, {{{B4, 64}, {Cs5, 64}, {B4, 64}}}},
      {"a phrase end on a chord tone", -1, 0,
       {{{B4, 96}, {D5, 96}}, true}, {{{B4, 96}, {D5, 96}}, false}},
      {"the song's last note on the tonic", -1, 0,
       {{{B4, 96}, {C5, 96}}, false, true}, {{{B4, 96}, {E5, 96}}, false, true}},
      {"the song's last note in the tonic triad", -1, 0,
       {{{B4, 96}, {E5, 96}}, false, true}, {{{B4, 96}, {F5 + 1, 96}}, false, true}},
      {"within a voice's reach", -1, 0, {{{C5, 192}}}, {{{C8, 192}}}},
  };
  for (const Case& c : cases) {
    EXPECT_GT(Fit(c.previous, c.previousMove, c.better), Fit(c.previous, c.previousMove, c.worse))
        << c.what;
  }
  // Without its last-bar or phrase-end flag, or without a known chord, the same notes fit alike.
  EXPECT_EQ(Fit(-1, 0, {{{B4, 96}, {C5, 96}}}), Fit(-1, 0, {{{B4, 96}, {E5, 96}}}));
  EXPECT_EQ(Fit(-1, 0, {{{D5, 96}, {B4, 96}}, true}), Fit(-1, 0, {{{D5, 96}, {B4, 96}}, false}));
  EXPECT_EQ(Fit(-1, 0, {{{D5, 192}}}, false), Fit(-1, 0, {{{B4, 192}}}, false));
  // A turn needs a move before it, and a repeated note turns nowhere.
  EXPECT_EQ(Fit(C5, 0, {{{Cs5, 192}}}), Fit(C5, 0, {{{B4, 192}}}));
  EXPECT_EQ(Fit(C5, 2, {{{C5, 192}}}), Fit(C5, -2, {{{C5, 192}}}));
  // A bar of rests ends no phrase and no song.
  EXPECT_EQ(Fit(-1, 0, {{{kRest, 192}}, true, true}), 0.0);
}

TEST(BarFit, NotesAreJudgedWhereTheOctaveCorrectionPutsThem) {
  // The song's first note is the reference: a note more than 4 semitones below it goes up an
  // octave, one more than 12 above it goes down one.
  struct Case {
    std::vector<std::pair<int, int>> notes;
    int previous, previousMove;  // afterwards
  };
  const std::vector<Case> cases = {
      {{{C5, 96}, {G4, 96}}, G5, 7},   // 5 below: raised
      {{{C5, 96}, {G4 + 1, 96}}, G4 + 1, -4},  // 4 below: kept
      {{{C5, 96}, {D6, 96}}, D5, 2},   // 14 above: lowered
      {{{C5, 96}, {C5 + 12, 96}}, C5 + 12, 12},  // 12 above: kept
      {{{C5, 96}, {kRest, 48}, {E4, 48}}, E5, 4},  // rests pass over
      {{{C5, 96}, {C5, 96}}, C5, 0},  // a repeat keeps no move
  };
  for (const Case& c : cases) {
    BarFit fit;
    fit.Add(Bar(c.notes), CMajorOverDMinor(), false, false);
    EXPECT_EQ(fit.previous, c.previous) << c.notes[1].first;
    EXPECT_EQ(fit.previousMove, c.previousMove) << c.notes[1].first;
  }
  // The reference stays the song's first note in later bars; an empty bar changes nothing.
  BarFit fit;
  fit.Add(Bar({{C5, 192}}), CMajorOverDMinor(), false, false);
  fit.Add(Bar({{kRest, 192}}), CMajorOverDMinor(), false, false);
  EXPECT_EQ(fit.previous, C5);
  fit.Add(Bar({{C4, 192}}), CMajorOverDMinor(), false, false);
  EXPECT_EQ(fit.previous, C5);  // an octave below the first note: raised onto it
  EXPECT_EQ(fit.previousMove, 0);
  // A step that the correction turns into a seventh is judged as a seventh: B4 after C5 is a
  // step when the song began on D5 and a seventh (raised to B5) when it began on E5.
  double fits[2];
  for (int e : {0, 1}) {
    BarFit fit;
    fit.started = true;
    fit.firstPitch = e == 1 ? E5 % 12 + 1 : D5 % 12 + 1;
    fit.firstOctave = 5;
    fit.previous = C5;
    fits[e] = fit.Add(Bar({{B4, 192}}), CMajorOverDMinor(), false, false);
    EXPECT_EQ(fit.previous, e == 1 ? B5 : B4);
  }
  EXPECT_LT(fits[1], fits[0]);
}

}  // namespace
}  // namespace vema
