// The pitch engine: tie merging, bars that do not fit, the first note of a repeated motif, a
// whole melody with copied bars, and damaged forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "melody/note_length_generator.h"
#include "melody/pitch_generator.h"
#include "melody_fixture.h"

namespace vema {
namespace {

using testing::Lengths;

class Engine : public ::testing::Test {
 protected:
  testing::TestSession ts{".", 5};
  Session& s = *ts.session;
  PitchGenerator pg{s.Melody()};

  void SetUp() override {
    s.form = BlankForm();
    testing::UseSimpleDb(s.compositionDb);
    testing::UseChainStyle(s.style, {{10, 1}, {1, 2}, {2, 5}, {5, 1}});
  }
  int Compose() {
    NoteLengthGenerator(s.Melody()).Run();
    return PitchGenerator(s.Melody()).Run();
  }
};

TEST_F(Engine, TieMarksExtendTheNoteBeforeThemOrAreDropped) {
  const struct { std::vector<int32_t> in, out; } cases[] = {
      {{96, 0, 48, 48}, {144, 48}},
      {{96, 0, 0, 48, 48}, {96, 48, 48}},  // a tie mark consumes whatever follows it
      {{0, 96, 96}, {96, 96}},             // first in the bar: no note before it
      {{96, 96, 0}, {96, 96}}};
  for (const auto& c : cases) {
    testing::SetLengths(s, 0, c.in);
    pg.MergeTies(0);
    EXPECT_EQ(Lengths(s, 0), c.out);
  }
  for (BarNote& note : s.barNotes[2]) note = {10, 3, 4, 7};  // no end mark at all
  pg.MergeTies(2);
  EXPECT_EQ(Lengths(s, 2), std::vector<int32_t>(19, 10));
}

TEST_F(Engine, BarsThatDoNotEndAtTheirBarLineStopThePitchPhase) {
  for (const std::vector<int32_t>& lengths : {std::vector<int32_t>{96, 48},  // ends early
                                              {96, 120},                     // across the line
                                              {96, 96, 48},                  // notes after it
                                              {96, -7, 96}}) {               // no bar's length
    testing::SetLengths(s, 0, lengths);
    EXPECT_EQ(pg.DecideBarNotes(0, 0), 0);
  }
  for (int b = 0; b < 8; ++b) testing::SetLengths(s, b, {96, 48, 48});
  testing::SetLengths(s, 1, {96, 48});  // a bar repeating the melody of bar 0, lengths its own
  s.form.melodySource[1] = 0;
  EXPECT_EQ(pg.Run(), 0);
  EXPECT_EQ(ts.platform.messages.size(), 5u);
  for (const auto& message : ts.platform.messages) EXPECT_EQ(message.text, "音長合成ERROR");
}

TEST_F(Engine, RepeatedMotifStartsOnTheSameChordPosition) {
  for (int b : {2, 3}) testing::SetLengths(s, b, {192});
  s.barNotes[2][0] = {192, 5, 4, 0};  // e4: position 1 of C
  s.form.SetChord(3, "F");
  s.form.motifSource[3] = 2;
  ASSERT_EQ(pg.DecideBarNotes(0, 3), 1);
  EXPECT_EQ(s.barNotes[3][0].pitch, 10);  // a: position 1 of F, in the same octave
  EXPECT_EQ(s.barNotes[3][0].octave, 4);
}

TEST_F(Engine, EightBarMelodyWithCopiedBarsFromATinyDatabase) {
  for (int b = 5; b < 8; ++b) {  // bars 5..7 repeat bars 1..3 wholly
    s.form.melodySource[b] = s.form.motifSource[b] = s.form.noteLengthSource[b] = b - 4;
  }
  s.form.motifSource[4] = s.form.noteLengthSource[4] = 0;  // bar 4 only the motif of bar 0
  s.form.SetChord(1, "G/B");
  ASSERT_EQ(Compose(), 1);
  // The trace's lines are pinned by the reference set (work.txt); here how many notes it decides.
  const std::string_view log = s.log.text();
  EXPECT_EQ(testing::CountOf(log, "決定音："), 15);  // none for the copied bars
  for (int i = 0; i < 24; ++i) {  // voice 0 holds every note of every bar
    const BarNote& note = s.barNotes[i / 3][i % 3];
    EXPECT_EQ(s.noteTrack.at(i, 0).pitch, note.pitch);
    if (i < 15) continue;
    const BarNote& from = s.barNotes[i / 3 - 4][i % 3];  // bars 5..7 are copies of 1..3
    EXPECT_TRUE(note.pitch == from.pitch && note.octave == from.octave && note.rule == from.rule);
  }
  for (int b = 0; b < 8; ++b) EXPECT_EQ(Lengths(s, b), (std::vector<int32_t>{96, 48, 48}));
  EXPECT_EQ(s.noteTrack.at(24, 0).length, -1);
  EXPECT_EQ(s.noteTrack.at(64, 1).length, -1);  // voice 1: eight eighths a bar
  // The log ends with the octave check of every cell of voice 0.
  const std::string_view tail = log.substr(log.rfind("\n7:\nc,e,g,\nc,d,e,f,g,a,b,\n新tone="));
  EXPECT_EQ(testing::CountOf(tail, "新tone="), 24);
}

TEST_F(Engine, DamagedFormsAreReadSafelyAndRefusedChordsKeepTheOldVoice) {
  // Twelve periods at most; sources that are no earlier bar mean new bars: every note is
  // decided; keys outside the list are read safely.
  s.form.lastPeriod = 40;
  for (int b = 0; b < kMaxBars; ++b) {
    s.form.keyIndex[b] = b % 2 ? 77 : -3;
    s.form.melodySource[b] = b + 5;
    s.form.motifSource[b] = -b - 2;
    s.form.noteLengthSource[b] = b % 2 ? b : 1000;  // itself, or no bar at all
  }
  ASSERT_EQ(Compose(), 1);
  EXPECT_EQ(testing::CountOf(s.log.text(), "決定音："), 96 * 3);
  s.form.lastPeriod = -9;  // one period, but a chord that is refused: voice 0 stays as it was
  s.form.SetChord(3, "Cxx");
  EXPECT_EQ(Compose(), 0);
  EXPECT_EQ(s.noteTrack.at(24, 0).length, 96);
}

}  // namespace
}  // namespace vema
