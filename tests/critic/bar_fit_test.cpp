// How well a drawn bar fits, on hand-made bars: each thing it judges, one at a time, and the
// notes it judges where the final octave correction will put them; the same for a drawn bar of
// note lengths and the roles it is judged for.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "critic/melody_choice.h"
#include "app/session.h"
#include "critic/melody_critic.h"
#include "song/form.h"
#include "support/test_support.h"

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

// The fit of a bar in a song that began on `first`, with the note after the bar known (or -1).
double FitAfter(int first, const std::vector<std::pair<int, int>>& notes, int nextKey = -1) {
  BarFit fit;
  fit.started = true;
  fit.firstPitch = first % 12 + 1;
  fit.firstOctave = first / 12;
  BarHarmony h = CMajorOverDMinor();
  h.chordKnown = false;
  return fit.Add(Bar(notes), h, false, false, nextKey);
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
  EXPECT_EQ(Fit(-1, 0, {{{D5, 96}, {C5, 96}}}), Fit(-1, 0, {{{D5, 96}, {E5, 96}}}));
  EXPECT_GT(Fit(-1, 0, {{{D5, 96}, {C5, 96}}, false, true}),
            Fit(-1, 0, {{{D5, 96}, {E5, 96}}, false, true}));
  EXPECT_EQ(Fit(-1, 0, {{{D5, 96}, {B4, 96}}, true}), Fit(-1, 0, {{{D5, 96}, {B4, 96}}, false}));
  EXPECT_EQ(Fit(-1, 0, {{{D5, 192}}}, false), Fit(-1, 0, {{{B4, 192}}}, false));
  // A turn needs a move before it, and a repeated note turns nowhere.
  EXPECT_EQ(Fit(C5, 0, {{{Cs5, 192}}}), Fit(C5, 0, {{{B4, 192}}}));
  EXPECT_EQ(Fit(C5, 2, {{{C5, 192}}}), Fit(C5, -2, {{{C5, 192}}}));
  // A bar of rests ends no phrase and no song.
  EXPECT_EQ(Fit(-1, 0, {{{kRest, 192}}, true, true}), 0.0);
}

TEST(BarFit, SeamsAndTheRegisterAboveTheFirstNote) {
  // Off the chord, off degrees 1-3-5, no leap: only the move onto the bar's first note differs.
  constexpr int As5 = 70, Fs5 = 66;
  EXPECT_GT(Fit(As5, 0, {{{Fs5, 192}}}, false), Fit(As5, 0, {{{F5, 192}}}, false))
      << "a fall of a fourth onto the bar's first note";
  EXPECT_EQ(Fit(C5, 0, {{{F5, 192}}}, false), Fit(C5, 0, {{{Fs5, 192}}}, false))
      << "rising a fourth is no fall";
  // Inside the bar the same fall costs nothing more than a third.
  EXPECT_EQ(Fit(-1, 0, {{{E5, 64}, {As5, 64}, {Fs5, 64}}}, false),
            Fit(-1, 0, {{{E5, 64}, {As5, 64}, {F5, 64}}}, false));
  // The seam into a known next note: the bar ends on F#5; falling a fourth (to C#5) costs, a
  // third (to D#5) or nothing known does not; the next note counts where the correction puts it
  // (C#4 in a song that began on C5 is raised to C#5).
  const std::vector<std::pair<int, int>> bar = {{Fs5, 192}};
  EXPECT_EQ(FitAfter(C5, bar, Cs5 + 2), FitAfter(C5, bar));
  EXPECT_EQ(FitAfter(C5, bar, D5), FitAfter(C5, bar));  // a major third down
  EXPECT_LT(FitAfter(C5, bar, Cs5), FitAfter(C5, bar));
  EXPECT_EQ(FitAfter(C5, bar, Cs5 - 12), FitAfter(C5, bar, Cs5));
  // Notes more than a major third above the song's first note cost more the higher they lie.
  EXPECT_EQ(FitAfter(C5, {{Fs5, 192}}), FitAfter(C5, {{Fs5 - 12, 192}}));
  EXPECT_GT(FitAfter(C5, {{Gs5, 192}}), FitAfter(C5, {{Gs5 + 2, 192}}));
  EXPECT_GT(FitAfter(C5, {{Gs5 + 2, 192}}), FitAfter(C5, {{Gs5 + 3, 192}}));
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

// A bar of note lengths as the length phase writes them (0: a tie mark).
BarNotes Lengths(const std::vector<int>& lengths) {
  BarNotes bar{};
  size_t n = 0;
  for (int length : lengths) bar[n++].length = length;
  bar[n].length = -1;
  return bar;
}

double LengthFitOf(const std::vector<int>& lengths, LengthRole role = {},
                   const std::vector<int>& before = {}) {
  LengthFit fit;
  if (!before.empty()) fit.Add(Lengths(before), {});
  return fit.Add(Lengths(lengths), role);
}

TEST(LengthFit, PlainLengthsOnTheGridAndTheEndsOfPhrasesAndSongs) {
  constexpr LengthRole kInner{}, kPhraseEnd{true, false}, kLast{false, true};
  struct Case {
    const char* what;
    LengthRole role;
    std::vector<int> better, worse;
  };
  const std::vector<Case> cases = {
      {"eighths rather than sixteenths", kInner, {48, 48, 48, 24, 24}, {48, 48, 48, 12, 12, 24}},
      {"quarters rather than triplets", kInner, {48, 48, 48, 48}, {48, 48, 48, 16, 16, 16}},
      {"no dotted eighth off the grid", kInner, {48, 48, 24, 24, 48}, {48, 48, 36, 12, 48}},
      {"onsets on the eighth grid", kInner, {36, 36, 24, 48, 48}, {36, 24, 36, 48, 48}},
      {"no odd tied length", kInner, {96, 48, 48}, {48, 0, 72, 72}},
      {"a phrase ends on a long note", kPhraseEnd, {48, 48, 96}, {96, 48, 48}},
      {"the song ends on a half on beat 3", kLast, {48, 48, 96}, {48, 96, 48}},
      {"or on a whole note", kLast, {96, 0, 96}, {48, 48, 48, 48}},
  };
  for (const Case& c : cases) {
    EXPECT_GT(LengthFitOf(c.better, c.role), LengthFitOf(c.worse, c.role)) << c.what;
  }
  // The same lengths in another order fit alike where no end is judged; a tie mark makes one
  // note of two lengths; a long last note off beats 1 and 3 ends no song.
  EXPECT_DOUBLE_EQ(LengthFitOf({48, 48, 96}), LengthFitOf({96, 48, 48}));
  EXPECT_DOUBLE_EQ(LengthFitOf({96, 0, 96}, kLast), LengthFitOf({192}, kLast));
  EXPECT_DOUBLE_EQ(LengthFitOf({48, 144}, kLast), LengthFitOf({144, 48}, kLast));
  // A breath (one or two notes) counts at a phrase end only.
  EXPECT_GT(LengthFitOf({96, 96}, kPhraseEnd) - LengthFitOf({48, 48, 96}, kPhraseEnd),
            LengthFitOf({96, 96}) - LengthFitOf({48, 48, 96}));
  // What a phrase end adds to the same bar: a long last note, a breath of one or two notes (not
  // three), and no cost for a held note (which costs inside a phrase).
  const auto atEnd = [&](const std::vector<int>& bar) {
    return LengthFitOf(bar, kPhraseEnd) - LengthFitOf(bar, kInner);
  };
  EXPECT_EQ(atEnd({48, 48, 48, 48}), 0.0);
  EXPECT_EQ(atEnd({72, 72, 48}), 0.0);
  EXPECT_GT(atEnd({96, 48, 48}), 0.0);
  EXPECT_GT(atEnd({48, 48, 24, 72}), atEnd({48, 48, 72, 24}));  // a dotted quarter counts
  EXPECT_GT(atEnd({24, 24, 72, 72}), atEnd({24, 24, 96, 48}));
  EXPECT_GT(atEnd({48, 48, 96}), atEnd({24, 24, 72, 72}));
  EXPECT_GT(atEnd({96, 96}), atEnd({48, 48, 96}));
  // A tune keeps to the lengths it has used: after a bar of quarters, quarters fit better
  // than before it, and dotted rhythms worse.
  const std::vector<int> quarters = {48, 48, 48, 48}, dotted = {72, 24, 72, 24};
  EXPECT_GT(LengthFitOf(quarters, kInner, quarters) - LengthFitOf(dotted, kInner, quarters),
            LengthFitOf(quarters) - LengthFitOf(dotted));
}

TEST(LengthFit, ABarIsJudgedForEveryBarThatRepeatsItsLengths) {
  SongForm form = BlankForm();
  form.lastPeriod = 0;
  for (int b = 0; b < kMaxBars; ++b) form.noteLengthSource[static_cast<size_t>(b)] = -1;
  form.noteLengthSource[7] = 5;  // the last bar repeats bar 5, which repeats bar 1
  form.noteLengthSource[5] = 1;
  form.noteLengthSource[6] = 6;  // itself: a new bar
  const std::vector<LengthRole> roles = LengthRolesOfForm(form);
  ASSERT_EQ(roles.size(), 8u);
  const std::vector<std::pair<bool, bool>> expected = {
      {false, false}, {true, true}, {false, false}, {true, false},
      {false, false}, {true, true}, {false, false}, {true, true}};
  for (size_t b = 0; b < roles.size(); ++b) {
    EXPECT_EQ(std::make_pair(roles[b].phraseEnd, roles[b].lastBar), expected[b]) << b;
  }
}

TEST(BarFit, TheFirstNoteOfARepeatedBarIsKnownBeforeItIsComposed) {
  testing::TestSession t;
  Session& s = *t.session;
  s.form = BlankForm();
  s.form.lastPeriod = 0;
  const char* chords[] = {"C", "Am", "C", "C7", "G", "F7", "F", "C"};
  for (int b = 0; b < 8; ++b) {
    s.form.SetChord(b, chords[b]);
    s.form.melodySource[static_cast<size_t>(b)] = s.form.motifSource[static_cast<size_t>(b)] = -1;
  }
  auto first = [&s](int bar, int pitch, int octave) {
    s.barNotes[static_cast<size_t>(bar)][0].pitch = pitch;
    s.barNotes[static_cast<size_t>(bar)][0].octave = octave;
  };
  first(0, 5, 5);   // e5 over C: the third
  first(2, 3, 5);   // d5 over C: no chord tone
  first(3, 11, 4);  // a+4 over C7: the seventh
  s.form.motifSource[1] = 0;  // the third of Am: c5
  s.form.melodySource[2] = 0;
  s.form.motifSource[4] = 0;  // the third of G: b5
  s.form.motifSource[5] = 3;  // the seventh of F7: d+4
  s.form.motifSource[6] = 3;  // F has no seventh: a rest
  s.form.motifSource[7] = 2;  // the model is no chord tone: drawn
  const int expected[] = {-1, 60, 64, -1, 71, 51, -1, -1};
  for (int b = 0; b < 8; ++b) EXPECT_EQ(FirstNoteFixedByRepeat(s.Melody(), b), expected[b]) << b;
  EXPECT_EQ(FirstNoteFixedByRepeat(s.Melody(), 8), -1);  // past the form
  first(3, 1, 4);  // c4 over C7: the root, and the root of C in bar 7
  s.form.motifSource[7] = 3;
  EXPECT_EQ(FirstNoteFixedByRepeat(s.Melody(), 7), 48);
}

// A melody of whole-bar notes (MIDI keys, kRest for a rest) over the bars, one note a bar.
std::vector<CriticNote> WholeNotes(const std::vector<int>& keys) {
  std::vector<CriticNote> melody;
  for (size_t b = 0; b < keys.size(); ++b) {
    melody.push_back({keys[b], static_cast<int>(b) * 192, 192});
  }
  return melody;
}

TEST(MelodyOctave, AutoLiftsTheMelodyOverTheChordsWithinReachAndFixedShiftsStayInReach) {
  std::vector<BarHarmony> bars(4);
  for (BarHarmony& h : bars) h.chordTop = 67;  // a C chord voiced 60 64 67
  struct Case {
    std::vector<int> keys;
    int32_t setting;
    int octaves;
  } cases[] = {
      {{60, 62, 64, 65}, kAutoMelodyOctave, 1},  // 72..77: above the chords, median 74
      {{72, 74, 76, 77}, kAutoMelodyOctave, 0},  // already there
      {{48, 50, 52, 53}, kAutoMelodyOctave, 2},  // two octaves up
      {{84, 86, 88, 91}, kAutoMelodyOctave, -1},  // too high: down, still above the chords
      {{30, 86, 88, 91}, kAutoMelodyOctave, 0},  // no shift keeps it in reach: none
      {{60, 62, 64, kRest}, kAutoMelodyOctave, 1},
      {{60, 62, 64, 65}, 0, 0},
      {{60, 62, 64, 65}, 2, 2},
      {{60, 62, 64, 89}, 2, 0},  // +2 and +1 would leave key 96
      {{60, 62, 64, 80}, 2, 1},
      {{40, 62, 64, 65}, -1, 0},  // 28 is out of reach
      {{48, 62, 64, 65}, -1, -1},
      {{60, 62, 64, 65}, 7, 2},  // out of range: the nearest setting
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MelodyOctaveFor(c.setting, WholeNotes(c.keys), bars), c.octaves)
        << c.keys[0] << " " << c.setting;
  }
  // The fit: every note above the chords and the median in 67..75 score highest.
  EXPECT_DOUBLE_EQ(RegisterFit(WholeNotes({70, 72, 74, 75}), bars, 0), 100.0 - 0.5 * 0);
  EXPECT_DOUBLE_EQ(RegisterFit(WholeNotes({60, 62, 64, 65}), bars, 0), 0.0 - 6 * 5 - 0.5 * 10);
  EXPECT_DOUBLE_EQ(RegisterFit(WholeNotes({60, 62, 64, 65}), bars, 1), 100.0 - 0.5 * 2);
  EXPECT_DOUBLE_EQ(RegisterFit(WholeNotes({74, 76, 77, 79}), bars, 0), 100.0 - 6 - 0.5 * 4);
  // Shifting moves notes, not rests.
  NoteTrackTable track;
  track.at(0, 0) = {48, 1, 5};
  track.at(1, 0) = {48, 0, 3};
  track.at(2, 0) = {96, 12, 4};
  track.at(3, 0) = {-1, 0, 0};
  ShiftMelody(track, 1);
  EXPECT_EQ(track.at(0, 0).octave, 6);
  EXPECT_EQ(track.at(1, 0).octave, 3);
  EXPECT_EQ(track.at(2, 0).octave, 5);
}

}  // namespace
}  // namespace vema
