// The melody critic on hand-made melodies: every measure, with rests, ties, key changes, a song
// of one bar and refused chords, the divergence and the score.
#include "critic/melody_critic.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "song/form.h"

namespace vema {
namespace {

constexpr int kRest = -1;
constexpr int kC = 0, kMajorG = 1, kMinorA = 15;  // key indices

// A form of `bars` bars (rounded up to whole periods) with one key and chord per bar; bars past
// the given ones repeat the last.
SongForm MakeForm(const std::vector<std::pair<int, std::string>>& keyAndChord) {
  SongForm form = BlankForm();
  form.lastPeriod = static_cast<int32_t>((keyAndChord.size() + 7) / 8) - 1;
  for (int b = 0; b < kMaxBars; ++b) {
    const auto& [key, chord] = keyAndChord[std::min<size_t>(b, keyAndChord.size() - 1)];
    form.keyIndex[static_cast<size_t>(b)] = key;
    form.SetChord(b, chord);
  }
  return form;
}

// A melody from (key, length) pairs played one after the other from tick 0.
std::vector<CriticNote> Melody(const std::vector<std::pair<int, int>>& notes) {
  std::vector<CriticNote> melody;
  int start = 0;
  for (const auto& [key, length] : notes) {
    melody.push_back({key, start, length});
    start += length;
  }
  return melody;
}

MelodyMeasures Measure(const std::vector<std::pair<int, int>>& notes,
                       const std::vector<std::pair<int, std::string>>& bars) {
  const SongForm form = MakeForm(bars);
  std::vector<BarHarmony> harmony = HarmonyOfForm(form);
  harmony.resize(bars.size());  // only the bars given
  return MeasureMelody(Melody(notes), harmony);
}

std::pair<int, int> Counts(const Share& s) { return {s.count, s.total}; }

TEST(MelodyCritic, TheLastNoteIsJudgedInTheKeyOfItsOwnBar) {
  struct Case {
    int key;         // of the last bar (the first bar is always C major)
    int lastNote;    // MIDI key
    bool tonic, triad;
  } cases[] = {
      {kC, 72, true, true},       {kC, 64, false, true},      {kC, 67, false, true},
      {kC, 62, false, false},     {kC, 71, false, false},     {kMajorG, 67, true, true},
      {kMajorG, 71, false, true}, {kMajorG, 60, false, false}, {kMinorA, 57, true, true},
      {kMinorA, 60, false, true}, {kMinorA, 68, false, false},
  };
  for (const Case& c : cases) {
    // The last note is held into a rest; the rest after it changes nothing.
    const MelodyMeasures m = Measure({{60, 192}, {c.lastNote, 96}, {kRest, 96}},
                                     {{kC, "C"}, {c.key, "C"}});
    EXPECT_TRUE(m.hasLastNote);
    EXPECT_EQ(m.lastIsTonic, c.tonic) << c.key << " " << c.lastNote;
    EXPECT_EQ(m.lastInTonicTriad, c.triad) << c.key << " " << c.lastNote;
  }
}

TEST(MelodyCritic, MovesAreCountedBetweenNotesAcrossRests) {
  // Moves: +2, +10 (a seventh), -13 (a ninth, beyond a fifth), 0, +7 (a fifth: no leap), rest,
  // +8 (beyond a fifth), -14 (ninth), +11 (seventh), -20 (an octave and more: bin -12).  Every
  // seventh and ninth is also beyond a fifth.
  const MelodyMeasures m =
      Measure({{60, 24}, {62, 24}, {72, 24}, {59, 24}, {59, 24}, {66, 24}, {kRest, 24},
               {74, 24}, {60, 48}, {71, 48}, {51, 96}},
              {{kC, "C"}, {kC, "C"}});
  EXPECT_EQ(m.notes, 10);
  EXPECT_EQ(m.moves, 9);
  EXPECT_EQ(Counts(m.seventhsAndNinths), std::make_pair(4, 9));
  EXPECT_EQ(Counts(m.leapsBeyondFifth), std::make_pair(6, 9));
  EXPECT_EQ(Counts(m.repeatedNotes), std::make_pair(1, 9));
  EXPECT_EQ(m.range, 74 - 51);
  std::array<int, kIntervalBins> expected{};
  for (int move : {2, 10, -12, 0, 7, 8, -12, 11, -12}) ++expected[static_cast<size_t>(move + 12)];
  EXPECT_EQ(m.intervals, expected);
}

TEST(MelodyCritic, ReversalsCountOnlyNeighbouringMovesThatBothMove) {
  struct Case {
    std::vector<int> keys;
    std::pair<int, int> reversals;
  } cases[] = {
      {{60, 62, 64, 65, 67}, {0, 3}},          // a run up the scale
      {{60, 64, 60, 64, 60}, {3, 3}},          // a zigzag
      {{60, 62, 62, 60}, {0, 0}},              // a repeated note stands between the moves
      {{60, 62, 64, 62, 62, 60, 64}, {2, 3}},  // +2 +2 -2 0 -2 +4
      {{60}, {0, 0}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<int, int>> notes;
    for (int key : c.keys) notes.emplace_back(key, 24);
    EXPECT_EQ(Counts(Measure(notes, {{kC, "C"}}).reversals), c.reversals) << c.keys.size();
  }
}

TEST(MelodyCritic, StrongBeatsTakeTheNoteSoundingThereTiedNotesIncluded) {
  // Bar 0 (C): beat 1 c (chord tone), beat 3 d (not).  A g held from beat 4 of bar 0 over the
  // bar line sounds on beat 1 of bar 1 (G7: a chord tone there); a rest on beat 3 of bar 1 is
  // not counted.  Bar 2 (Am): f on beat 1 is no tone of Am; e held over beat 3 is one.
  const MelodyMeasures m = Measure(
      {{60, 96}, {62, 48}, {67, 96}, {65, 48}, {kRest, 96}, {65, 48}, {64, 96}, {69, 48}},
      {{kC, "C"}, {kC, "G7"}, {kC, "Am"}});
  EXPECT_EQ(Counts(m.strongBeatChordTones), std::make_pair(3, 5));
  EXPECT_EQ(m.notes, 7);
}

TEST(MelodyCritic, PhraseEndsAreTheLastNotesSoundingInBarsFourEightAndSoOn) {
  struct Case {
    std::vector<std::pair<int, int>> bar4;  // the notes of bar 4 (index 3)
    bool heldFromBar3;                      // bar 3 ends with a note held into bar 4
    std::pair<int, int> phraseEnds;
  } cases[] = {
      {{{67, 96}, {65, 96}}, false, {0, 1}},       // ends on f over C
      {{{65, 96}, {64, 96}}, false, {1, 1}},       // ends on e
      {{{64, 96}, {kRest, 96}}, false, {1, 1}},    // a rest after the last note
      {{{kRest, 192}}, true, {1, 1}},              // only the g held from bar 3 sounds
      {{{kRest, 192}}, false, {0, 0}},             // no note at all: not counted
  };
  for (const Case& c : cases) {
    std::vector<std::pair<int, int>> notes = {{60, 192}, {62, 192}};
    if (c.heldFromBar3) {
      notes.insert(notes.end(), {{65, 96}, {67, 192}});
      notes.emplace_back(kRest, 96);
    } else {
      notes.emplace_back(64, 192);
      notes.insert(notes.end(), c.bar4.begin(), c.bar4.end());
    }
    const MelodyMeasures m = Measure(notes, {{kC, "C"}, {kC, "C"}, {kC, "C"}, {kC, "C"}});
    EXPECT_EQ(Counts(m.phraseEndChordTones), c.phraseEnds) << c.bar4.size();
  }
  // Bars 4 and 8 both count (not the first note of the bar after them); a song of one bar has
  // no phrase end at all.
  std::vector<std::pair<int, int>> eight(8, {60, 192});
  eight[4] = {62, 192};
  eight[7] = {62, 192};
  EXPECT_EQ(Counts(Measure(eight, std::vector<std::pair<int, std::string>>(8, {kC, "C"}))
                       .phraseEndChordTones),
            std::make_pair(1, 2));
  const MelodyMeasures one = Measure({{60, 96}, {64, 96}}, {{kC, "C"}});
  EXPECT_FALSE(one.phraseEndChordTones.Known());
  EXPECT_EQ(Counts(one.strongBeatChordTones), std::make_pair(2, 2));
  EXPECT_TRUE(one.lastIsTonic == false && one.lastInTonicTriad);
}

TEST(MelodyCritic, DegreesFollowTheKeyOfEachBar) {
  // C major: c e g b -> 3 of 4; G major: g b d f# c -> 3 of 5 (c is degree 4 there).
  const MelodyMeasures m = Measure({{60, 48}, {64, 48}, {67, 48}, {71, 48}, {67, 48}, {71, 48},
                                    {74, 32}, {66, 32}, {72, 32}},
                                   {{kC, "C"}, {kMajorG, "G"}});
  EXPECT_EQ(Counts(m.triadDegrees), std::make_pair(6, 9));
}

TEST(MelodyCritic, BarsWithARefusedChordCountInNoChordMeasure) {
  // Bar 1's chord is refused: its beats and its notes count for nothing chord-wise, but its
  // notes still make moves and degrees.  No message reaches anyone.
  const MelodyMeasures m =
      Measure({{60, 192}, {61, 96}, {62, 96}, {64, 96}, {62, 96}, {65, 192}},
              {{kC, "C"}, {kC, "Cadd9"}, {kC, "C"}, {kC, "Xq"}});
  EXPECT_EQ(Counts(m.strongBeatChordTones), std::make_pair(3, 4));  // bar 0 c c, bar 2 e d
  EXPECT_FALSE(m.phraseEndChordTones.Known());                     // bar 4 is refused
  EXPECT_EQ(m.moves, 5);
  EXPECT_EQ(Counts(m.triadDegrees), std::make_pair(2, 6));
  const std::vector<BarHarmony> bars = HarmonyOfForm(MakeForm({{kC, "C"}, {kC, "Cadd9"}}));
  EXPECT_TRUE(bars[0].chordKnown);
  EXPECT_FALSE(bars[1].chordKnown);
  EXPECT_EQ(bars[1].chord, 0);
  EXPECT_EQ(bars[0].chord, (1u << 0) | (1u << 4) | (1u << 7));
}

TEST(MelodyCritic, NotesPastTheFormAndEmptyMelodiesMeasureNothing) {
  const MelodyMeasures past = Measure({{60, 192}, {90, 192}}, {{kC, "C"}});
  EXPECT_EQ(past.notes, 1);
  EXPECT_EQ(past.range, 0);
  EXPECT_TRUE(past.lastIsTonic);
  const MelodyMeasures none = Measure({{kRest, 192}}, {{kC, "C"}});
  EXPECT_EQ(none.notes, 0);
  EXPECT_FALSE(none.hasLastNote);
  EXPECT_EQ(ScoreMelody(none), 0.0);
}

TEST(MelodyCritic, TheTrackIsReadUpToItsEndMark) {
  NoteTrackTable track;
  // Pitches outside 1..12 are rests.
  const int cells[][3] = {{96, 1, 5}, {24, 0, 5}, {24, 13, 5}, {48, 12, 4}, {-1, 1, 5}, {48, 1, 5}};
  for (int i = 0; i < 6; ++i) track.at(i, 0) = {cells[i][0], cells[i][1], int8_t(cells[i][2])};
  const std::vector<CriticNote> melody = MelodyOfTrack(track);
  ASSERT_EQ(melody.size(), 4u);
  EXPECT_EQ(melody[0].key, 60);
  EXPECT_EQ(melody[1].key, kRest);
  EXPECT_EQ(melody[2].key, kRest);
  EXPECT_EQ(melody[3].key, 59);
  EXPECT_EQ(melody[3].start, 144);
  EXPECT_TRUE(MelodyOfTrack(NoteTrackTable()).empty());  // length 0: no melody yet
}

TEST(MelodyCritic, JensenShannonDivergence) {
  const std::vector<double> a = {1, 0}, half = {0.5, 0.5}, b = {0, 3};
  EXPECT_DOUBLE_EQ(JensenShannon(a, a), 0.0);
  EXPECT_NEAR(JensenShannon(a, b), 1.0, 1e-12);
  EXPECT_NEAR(JensenShannon(a, half), 0.311278, 1e-6);
  EXPECT_NEAR(JensenShannon(half, a), 0.311278, 1e-6);
  const std::vector<double> none = {0, 0};
  EXPECT_DOUBLE_EQ(JensenShannon(none, half), 0.0);  // no weights at all: uniform
  MelodyMeasures human;
  for (size_t k = 0; k < kHumanIntervalPercent.size(); ++k) {
    human.intervals[k] = static_cast<int>(kHumanIntervalPercent[k] * 10 + 0.5);
  }
  EXPECT_LT(IntervalDivergence(human), 1e-4);
}

TEST(MelodyCritic, RegisterRhythmAndSeams) {
  // Chord tops: C 60 64 67, F 65 69 72, G7 55 59 62 65, Am 57 60 64.
  const MelodyMeasures m = Measure(
      {{72, 48}, {67, 48}, {69, 96},            // bar 1: 67 is not above 67
       {60, 192},                               // bar 2: one note, a fall of a ninth into it
       {67, 36}, {69, 12}, {71, 48}, {72, 96},  // bar 3: 69 starts off the eighth grid
       {67, 96}, {60, 96},                      // bar 4 (a phrase end): a fall of a fourth
       {kRest, 48}, {64, 48}, {60, 96}},        // bar 5: the last note, a half on beat 3
      {{kC, "C"}, {kC, "F"}, {kC, "G7"}, {kC, "Am"}, {kC, "C"}});
  EXPECT_EQ(m.notes, 12);
  EXPECT_EQ(Counts(m.aboveChords), std::make_pair(7, 12));
  EXPECT_EQ(Counts(m.aboveChordsOnBeats13), std::make_pair(5, 8));
  EXPECT_EQ(MedianKey(m.keys), 67);
  EXPECT_TRUE(m.finalLong);
  EXPECT_EQ(Counts(m.barLineFalls), std::make_pair(2, 4));
  EXPECT_EQ(Counts(m.sparseBars), std::make_pair(2, 4));  // the last bar is left out
  EXPECT_EQ(Counts(m.offEighthGrid), std::make_pair(1, 12));
  EXPECT_EQ(std::make_pair(m.phraseEndLongest.sum, m.phraseEndLongest.count),
            std::make_pair(96.0, 1));
  EXPECT_EQ(std::make_pair(m.otherLongest.sum, m.otherLongest.count), std::make_pair(480.0, 4));
  EXPECT_DOUBLE_EQ(PhraseEndLengthening(m.phraseEndLongest, m.otherLongest), 0.8);
  EXPECT_EQ(m.lengthClasses, (std::array<int, kLengthKinds>{1, 0, 1, 4, 0, 5, 0, 1, 0}));

  // The last note: long enough and on beat 1 or 3, or not.
  struct Ending {
    std::vector<std::pair<int, int>> notes;
    bool finalLong;
  } endings[] = {
      {{{60, 192}}, true},
      {{{60, 96}, {64, 96}}, true},
      {{{60, 144}, {64, 48}}, false},
      {{{60, 48}, {64, 144}}, false},  // long, but from beat 2
      {{{60, 96}, {64, 96}, {kRest, 96}}, true},
  };
  for (const Ending& e : endings) {
    EXPECT_EQ(Measure(e.notes, {{kC, "C"}}).finalLong, e.finalLong) << e.notes.size();
  }
  // Length classes and their entropy.
  for (const auto& [length, kind] : std::vector<std::pair<int, int>>{
           {12, 0}, {24, 1}, {36, 2}, {48, 3}, {72, 4}, {96, 5}, {144, 6}, {192, 7}, {384, 7},
           {16, 8}, {32, 8}, {120, 8}}) {
    EXPECT_EQ(LengthClassOf(length), kind) << length;
  }
  MelodyMeasures lengths;
  EXPECT_EQ(LengthEntropy(lengths), 0.0);
  lengths.lengthClasses[3] = 8;
  EXPECT_EQ(LengthEntropy(lengths), 0.0);
  lengths.lengthClasses[1] = 8;
  EXPECT_DOUBLE_EQ(LengthEntropy(lengths), 1.0);
  lengths.lengthClasses[5] = lengths.lengthClasses[8] = 8;
  EXPECT_DOUBLE_EQ(LengthEntropy(lengths), 2.0);
  EXPECT_EQ(PhraseEndLengthening({}, {96, 1}), 0.0);
  EXPECT_EQ(MedianKey({}), -1);
}

TEST(MelodyCritic, EveryPartOfTheScoreCountsTowardWhatHumansDo) {
  // Measures as in human tunes score 100; each change away from them scores less.
  MelodyMeasures human;
  human.notes = 100;
  human.moves = 100;
  human.hasLastNote = human.lastIsTonic = human.lastInTonicTriad = true;
  human.seventhsAndNinths = {0, 100};
  human.leapsBeyondFifth = {2, 100};
  human.reversals = {40, 90};
  human.repeatedNotes = {10, 100};
  human.strongBeatChordTones = {50, 50};
  human.phraseEndChordTones = {6, 6};
  human.triadDegrees = {70, 100};
  human.range = 15;
  for (size_t k = 0; k < kIntervalBins; ++k) {
    human.intervals[k] = static_cast<int>(kHumanIntervalPercent[k] * 10 + 0.5);
  }
  human.finalLong = true;
  human.barLineFalls = {2, 40};
  human.sparseBars = {6, 40};
  human.offEighthGrid = {1, 100};
  human.phraseEndLongest = {960, 10};
  human.otherLongest = {2400, 30};
  human.lengthClasses[1] = 70;  // eighths and quarters: 0.88 bits
  human.lengthClasses[3] = 30;
  EXPECT_DOUBLE_EQ(ScoreMelody(human), 100.0);
  struct Case {
    const char* what;
    void (*change)(MelodyMeasures&);
    bool lower;
  } cases[] = {
      {"ends in the triad", [](MelodyMeasures& m) { m.lastIsTonic = false; }, true},
      {"ends outside the triad",
       [](MelodyMeasures& m) { m.lastIsTonic = m.lastInTonicTriad = false; }, true},
      {"sevenths", [](MelodyMeasures& m) { m.seventhsAndNinths = {2, 99}; }, true},
      {"leaps", [](MelodyMeasures& m) { m.leapsBeyondFifth = {8, 99}; }, true},
      {"zigzag", [](MelodyMeasures& m) { m.reversals = {60, 90}; }, true},
      {"few repeats", [](MelodyMeasures& m) { m.repeatedNotes = {3, 99}; }, true},
      {"many repeats", [](MelodyMeasures& m) { m.repeatedNotes = {17, 99}; }, true},
      {"weak beats", [](MelodyMeasures& m) { m.strongBeatChordTones = {35, 50}; }, true},
      {"open phrases", [](MelodyMeasures& m) { m.phraseEndChordTones = {3, 6}; }, true},
      {"few triad notes", [](MelodyMeasures& m) { m.triadDegrees = {45, 100}; }, true},
      {"range 11", [](MelodyMeasures& m) { m.range = 11; }, true},
      {"range 12", [](MelodyMeasures& m) { m.range = 12; }, false},
      {"range 18", [](MelodyMeasures& m) { m.range = 18; }, false},
      {"range 19", [](MelodyMeasures& m) { m.range = 19; }, true},
      {"only octave leaps", [](MelodyMeasures& m) { m.intervals = {}, m.intervals[24] = 99; },
       true},
      {"no phrase end to judge", [](MelodyMeasures& m) { m.phraseEndChordTones = {}; }, false},
      {"a short last note", [](MelodyMeasures& m) { m.finalLong = false; }, true},
      {"falls at the bar lines", [](MelodyMeasures& m) { m.barLineFalls = {6, 40}; }, true},
      {"no breath", [](MelodyMeasures& m) { m.sparseBars = {1, 40}; }, true},
      {"off the grid", [](MelodyMeasures& m) { m.offEighthGrid = {5, 100}; }, true},
      {"phrase ends as long as the rest",
       [](MelodyMeasures& m) { m.phraseEndLongest = {800, 10}; }, true},
      {"many note lengths",
       [](MelodyMeasures& m) { m.lengthClasses = {10, 20, 10, 20, 10, 20, 10, 0, 0}; }, true},
      {"no phrase-end bar", [](MelodyMeasures& m) { m.phraseEndLongest = {}; }, false},
      {"two notes a unison apart", [](MelodyMeasures& m) { m.notes = 2, m.range = 0; }, true},
  };
  for (const Case& c : cases) {
    MelodyMeasures m = human;
    c.change(m);
    const double score = ScoreMelody(m);
    if (c.lower) {
      EXPECT_LT(score, 99.9) << c.what;
    } else {
      EXPECT_DOUBLE_EQ(score, 100.0) << c.what;
    }
    EXPECT_GE(score, 0.0) << c.what;
  }
  // Beyond two octaves a melody loses up to half of its score.
  MelodyMeasures wide = human, justWider = human, wider = human, widest = human;
  wide.range = 24;
  justWider.range = 25;
  wider.range = 30;
  widest.range = 60;
  EXPECT_LT(ScoreMelody(justWider), ScoreMelody(wide));
  EXPECT_LT(ScoreMelody(wider), ScoreMelody(wide) * 0.8);
  EXPECT_NEAR(ScoreMelody(widest), ScoreMelody(wide) * 0.5, 1e-9);
  // Beyond four reversals in five, a zigzag cannot get worse.
  MelodyMeasures most = human, all = human;
  most.reversals = {80, 100};
  all.reversals = {100, 100};
  EXPECT_DOUBLE_EQ(ScoreMelody(most), ScoreMelody(all));
  // The ending weighs most: a song ending on the tonic's fifth loses more than one with every
  // seventh move a leap of a seventh.
  MelodyMeasures fifth = human, sevenths = human;
  fifth.lastIsTonic = false;
  sevenths.seventhsAndNinths = {33, 99};
  EXPECT_LT(ScoreMelody(fifth), ScoreMelody(sevenths));
}

}  // namespace
}  // namespace vema
