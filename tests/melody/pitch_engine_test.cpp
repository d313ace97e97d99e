// The pitch engine: tie merging, the motif pass, copy modes, the first notes of bars, the
// flattened melody, the bass voice, the octave correction and whole melodies with their trace.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "melody/chord.h"
#include "melody/melody_state.h"
#include "melody/note_length_generator.h"
#include "melody/pitch_generator.h"
#include "melody_fixture.h"

namespace vema {
namespace {

using testing::CountOf;
using testing::Lengths;
using testing::SetLengths;
using testing::TestSession;
using testing::UseChainStyle;

class Engine : public ::testing::Test {
 protected:
  TestSession ts{".", 5};
  Session& s = *ts.session;
  PitchGenerator pg{s};

  void SetUp() override {
    s.form = BlankForm();
    testing::UseSimpleDb(s.compositionDb);
    UseChainStyle(s.style, {{10, 1}, {1, 2}, {2, 5}, {5, 1}});
  }
};

// --- Tie merging --------------------------------------------------------------------------

TEST_F(Engine, TieMarkExtendsTheNoteBeforeIt) {
  SetLengths(s, 0, {96, 0, 48, 48});
  pg.MergeTies(0);
  EXPECT_EQ(Lengths(s, 0), (std::vector<int32_t>{144, 48}));
}

TEST_F(Engine, TieMarkConsumesWhateverFollowsIt) {
  SetLengths(s, 0, {96, 0, 0, 48, 48});
  pg.MergeTies(0);
  EXPECT_EQ(Lengths(s, 0), (std::vector<int32_t>{96, 48, 48}));
}

TEST_F(Engine, TieMarkWithoutANoteBeforeOrAfterIsDropped) {
  SetLengths(s, 0, {0, 96, 96});
  pg.MergeTies(0);
  EXPECT_EQ(Lengths(s, 0), (std::vector<int32_t>{96, 96}));
  SetLengths(s, 1, {96, 96, 0});
  pg.MergeTies(1);
  EXPECT_EQ(Lengths(s, 1), (std::vector<int32_t>{96, 96}));
  // A bar of zeros (a fresh table) ends up empty.
  pg.MergeTies(5);
  EXPECT_EQ(Lengths(s, 5), (std::vector<int32_t>{}));
}

TEST_F(Engine, TieMergingLeavesTheOtherFieldsAndNeverPassesNineteenNotes) {
  for (int n = 0; n < kBarEntries; ++n) {
    s.barNotes[2][static_cast<size_t>(n)] = {10, 3, 4, 7};
  }
  pg.MergeTies(2);
  EXPECT_EQ(Lengths(s, 2).size(), 19u);
  EXPECT_EQ(s.barNotes[2][19].length, -1);
  EXPECT_EQ(s.barNotes[2][0].pitch, 3);
  EXPECT_EQ(s.barNotes[2][0].rule, 7);
}

// --- Motif pass --------------------------------------------------------------------------

TEST_F(Engine, TableIndexComesFromTheNextLengthAndTheBeat) {
  // Table k always draws rule k, so the next rule shows the index used.
  s.style = MelodyStyleDb{};
  for (int k = 0; k < kStyleTables; ++k) {
    for (int row = 0; row < kRuleSlots; ++row) s.style.table[k][row][k] = 100;
  }
  s.style.settings[2] = 100;
  SetLengths(s, 0, {36, 12, 48, 96});
  SetLengths(s, 1, {16, 176});
  s.form.motifSource[2] = 1;
  SetLengths(s, 2, {16, 176});
  pg.GenerateMotifBar(0);
  EXPECT_EQ(s.barNotes[0][0].rule, 10);
  EXPECT_EQ(s.barNotes[0][1].rule, 3);  // on the beat, next 12: class 3
  EXPECT_EQ(s.barNotes[0][2].rule, 4);  // off the beat (36), next 48: 4 + class 0
  EXPECT_EQ(s.barNotes[0][3].rule, 0);  // on the beat, next 96: class 0
  EXPECT_EQ(pg.nextprogressmode, 2);    // last note: next is bar 1's first length, 16
  EXPECT_EQ(CountOf(s.log.text(), "次回音長= 12\n"), 1);
  EXPECT_EQ(CountOf(s.log.text(), "次回音長= 16\n"), 1);
  pg.GenerateMotifBar(1);  // bar 2 repeats a motif: the last note (t = 16) looks at 192
  EXPECT_EQ(CountOf(s.log.text(), "次回音長=192\n"), 1);
  EXPECT_EQ(pg.nextprogressmode, 4);  // off the beat: 4 + class 0
}

TEST_F(Engine, CopiedMotifCopiesRulesByPositionAndEndsThem) {
  SetLengths(s, 0, {48, 48, 96});
  s.barNotes[0][0].rule = 4;
  s.barNotes[0][1].rule = 8;
  s.barNotes[0][2].rule = 1;
  SetLengths(s, 3, {48, 48, 48, 48});
  s.barNotes[3][3].rule = 9;
  s.form.motifSource[3] = 0;
  pg.CopyMotifBar(3);
  EXPECT_EQ(s.barNotes[3][0].rule, 4);
  EXPECT_EQ(s.barNotes[3][1].rule, 8);
  EXPECT_EQ(s.barNotes[3][2].rule, 1);
  EXPECT_EQ(s.barNotes[3][3].rule, -1);
  EXPECT_EQ(Lengths(s, 3).size(), 4u);
}

TEST_F(Engine, MotifPhaseTraceListsLengthsAndRules) {
  SetLengths(s, 0, {96, 48, 48});
  for (int b = 1; b < 8; ++b) SetLengths(s, b, {192});
  s.form.motifSource[1] = 0;  // a copy that is no earlier bar's would be 1, 5, ...
  s.form.motifSource[2] = 2;  // not an earlier bar: chained
  pg.RunMotifPhase();
  const std::string& log = s.log.text();
  EXPECT_EQ(CountOf(log, "gaku="), 3 + 6);
  EXPECT_NE(log.find("------------------モチーフ音長フェーズ------------------\n"
                     "96(10)→48(1)→48(2)→\n192(10)→\n192(5)→\n"),
            std::string::npos);
}

// --- Melody pass -------------------------------------------------------------------------

TEST_F(Engine, FirstNoteOfTheSongIsTheRootInOctaveFive) {
  s.form.SetChord(0, "F/A");
  SetLengths(s, 0, {192});
  ASSERT_EQ(pg.DecideBarNotes(0, 0), 1);
  EXPECT_EQ(s.barNotes[0][0].pitch, 10);  // the bass of the slash chord: a
  EXPECT_EQ(s.barNotes[0][0].octave, 5);
  EXPECT_EQ(pg.edu, 2);
  EXPECT_EQ(s.log.text(),
            "\n0:\na,f,c,\nlen=  0:ProgressAnyChord**************\n初っぱなの音だぜっ！\n"
            "決定音：tone_bak=a  oct_bak=5  edu=Up\n");
}

TEST_F(Engine, RepeatedMotifStartsOnTheSameChordPosition) {
  SetLengths(s, 2, {192});
  s.barNotes[2][0].pitch = 5;  // e: position 1 of C
  s.barNotes[2][0].octave = 4;
  s.form.SetChord(3, "F");
  s.form.keyIndex[3] = 8;
  s.form.motifSource[3] = 2;
  SetLengths(s, 3, {192});
  ASSERT_EQ(pg.DecideBarNotes(0, 3), 1);
  EXPECT_EQ(s.barNotes[3][0].pitch, 10);  // a: position 1 of F
  EXPECT_EQ(s.barNotes[3][0].octave, 4);
  EXPECT_EQ(s.keyScale, ScaleOfKey(8));
  EXPECT_EQ(s.log.text(),
            "\n3:\nf,a,c,\nlen=  0:ProgressAnyChord**************\n"
            "モチーフのコピー！はじめの音は？\n\n2:\nc,e,g,\n\n3:\nf,a,c,\n"
            "決定音：tone_bak=a  oct_bak=4  edu=Equal\n");
}

TEST_F(Engine, RepeatedMotifOnASmallerChordMayStartWithARest) {
  s.form.SetChord(2, "C9");
  SetLengths(s, 2, {192});
  s.barNotes[2][0].pitch = 3;  // d: position 4 of C9
  s.barNotes[2][0].octave = 5;
  s.form.motifSource[3] = 2;
  SetLengths(s, 3, {192});
  ASSERT_EQ(pg.DecideBarNotes(0, 3), 1);
  EXPECT_EQ(s.barNotes[3][0].pitch, 0);
}

TEST_F(Engine, RepeatedMotifFromANoteOutsideTheChordAppliesTheRule) {
  SetLengths(s, 2, {192});
  s.barNotes[2][0].pitch = 3;  // d is no tone of C
  s.barNotes[2][0].octave = 5;
  s.barNotes[0][0].octave = 5;
  s.form.motifSource[3] = 2;
  SetLengths(s, 3, {192});
  s.barNotes[3][0].rule = 8;
  pg.tone_bak = 6;
  pg.oct_bak = 5;
  ASSERT_EQ(pg.DecideBarNotes(0, 3), 1);
  EXPECT_EQ(s.barNotes[3][0].pitch, 6);
  EXPECT_NE(s.log.text().find("\n規則NO 8  CALL\nProgressEqual"), std::string::npos);
}

TEST_F(Engine, PositionLinesFollowTheStartTime) {
  SetLengths(s, 1, {36, 12, 48, 96});
  for (int n = 0; n < 4; ++n) s.barNotes[1][static_cast<size_t>(n)].rule = 8;
  s.barNotes[0][0].octave = 5;
  pg.oct_bak = 5;
  ASSERT_EQ(pg.DecideBarNotes(0, 1), 1);
  const std::string& log = s.log.text();
  const size_t a = log.find("len< 48:ProgressNonFiger**************\n");
  const size_t b = log.find("len= 48:ProgressFiger*****************\n");
  const size_t c = log.find("len= 96:ProgressFiger*****************\n");
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(b, std::string::npos);
  ASSERT_NE(c, std::string::npos);
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
  EXPECT_EQ(CountOf(log, "決定音："), 4);
}

TEST_F(Engine, BarEndingBeforeItsLastTickFails) {
  SetLengths(s, 0, {96, 48});
  EXPECT_EQ(pg.DecideBarNotes(0, 0), 0);
  ASSERT_EQ(ts.platform.messages.size(), 1u);
  EXPECT_EQ(ts.platform.messages[0].text, "音長合成ERROR");
}

TEST_F(Engine, BarsThatDoNotEndAtTheirBarLineFailToo) {
  // Only a damaged database gives such bars; the melody would run out of step with the
  // accompaniment, so the pitch phase stops as for a bar that ends early.
  for (const auto& lengths : {std::vector<int32_t>{96, 120},     // across the bar line
                              std::vector<int32_t>{96, 96, 48},  // notes after it
                              std::vector<int32_t>{96, -7, 96}}) {  // a length no bar holds
    ts.platform.messages.clear();
    int n = 0;
    for (int32_t v : lengths) s.barNotes[0][static_cast<size_t>(n++)].length = v;
    s.barNotes[0][static_cast<size_t>(n)].length = -1;
    EXPECT_EQ(pg.DecideBarNotes(0, 0), 0);
    ASSERT_EQ(ts.platform.messages.size(), 1u);
    EXPECT_EQ(ts.platform.messages[0].text, "音長合成ERROR");
  }
}

TEST_F(Engine, RepeatedMelodyOnABrokenBarStopsThePitchPhase) {
  // A damaged form: bar 1 repeats the melody of bar 0 but has lengths of its own.
  for (int b = 0; b < 8; ++b) SetLengths(s, b, {96, 48, 48});
  SetLengths(s, 1, {96, 48});
  s.form.melodySource[1] = 0;
  s.noteTrack.at(0, 0).length = 0;
  EXPECT_EQ(pg.Run(), 0);
  EXPECT_EQ(ts.platform.messages.back().text, "音長合成ERROR");
  EXPECT_EQ(s.noteTrack.at(0, 0).length, 0);  // nothing flattened
}

TEST_F(Engine, RuleOutsideTheElevenKeepsTheNote) {
  SetLengths(s, 0, {96, 96});
  s.barNotes[0][0].octave = 5;
  s.barNotes[0][1] = {96, 7, 6, 11};
  pg.nextprogressmode = 11;
  pg.ApplyRule(0, 0, 1);
  EXPECT_EQ(s.barNotes[0][1].pitch, 7);
  EXPECT_EQ(s.barNotes[0][1].octave, 6);
  ASSERT_EQ(ts.platform.messages.size(), 1u);
  EXPECT_EQ(ts.platform.messages[0].text, "ERROR1:nextprogressmode=11\n");
  EXPECT_EQ(s.log.text(), "\n規則NO11  CALL\nERROR1:nextprogressmode=11\n");
}

TEST_F(Engine, DirectionIsResetWhenTheMelodyLeavesItsOctaves) {
  s.barNotes[0][0].octave = 5;
  SetLengths(s, 0, {96, 96});
  s.barNotes[0][1].rule = 8;
  pg.edu = 2;
  pg.tone_bak = 1;
  pg.oct_bak = 4;
  pg.ApplyRule(0, 0, 1);
  EXPECT_EQ(pg.edu, 1);
  EXPECT_NE(s.log.text().find("進行方向ＥＤＵ逆変換\n"), std::string::npos);
  pg.oct_bak = 7;
  pg.ApplyRule(0, 0, 1);
  EXPECT_EQ(pg.edu, 2);
  pg.edu = 1;
  pg.oct_bak = 6;  // one octave above the first note: no reset
  pg.ApplyRule(0, 0, 1);
  EXPECT_EQ(pg.edu, 1);
}

TEST_F(Engine, CopiedMelodyTakesPitchesAndOctaves) {
  SetLengths(s, 0, {96, 48, 48});
  s.barNotes[0][0].pitch = 1;
  s.barNotes[0][0].octave = 5;
  s.barNotes[0][1].pitch = 5;
  s.barNotes[0][1].octave = 5;
  s.barNotes[0][2].pitch = 8;
  s.barNotes[0][2].octave = 4;
  SetLengths(s, 4, {96, 48, 48});
  s.form.melodySource[4] = 0;
  pg.CopyBarMelody(4);
  EXPECT_EQ(s.barNotes[4][2].pitch, 8);
  EXPECT_EQ(s.barNotes[4][2].octave, 4);
  EXPECT_EQ(s.barNotes[4][3].pitch, -1);
  EXPECT_EQ(s.barNotes[4][3].octave, -1);
  EXPECT_EQ(s.barNotes[4][3].length, -1);
}

TEST_F(Engine, WithoutADatabaseNoPeriodIsDecided) {
  s.compositionDb.loaded = 0;
  EXPECT_EQ(pg.GeneratePeriod(0), 0);
  ASSERT_EQ(ts.platform.messages.size(), 1u);
  EXPECT_EQ(ts.platform.messages[0].text, "音長生成を起動してください。");
}

// --- Output voices ------------------------------------------------------------------------

TEST_F(Engine, CorrectOctavesPullsStrayNotesBackByOneOctave) {
  const std::vector<TrackNote> cells = {
      {96, 1, 5}, {48, 8, 4}, {48, 9, 4}, {48, 3, 6}, {48, 2, 6}, {48, 1, 7}, {48, 1, 6}};
  for (size_t i = 0; i < cells.size(); ++i) s.noteTrack.at(static_cast<int>(i), 0) = cells[i];
  pg.noteCount = static_cast<int32_t>(cells.size());
  pg.CorrectOctaves();
  EXPECT_EQ(s.noteTrack.at(1, 0).octave, 5);  // g4 is 5 below c5: raised
  EXPECT_EQ(s.noteTrack.at(2, 0).octave, 4);  // g+4 is 4 below: kept
  EXPECT_EQ(s.noteTrack.at(3, 0).octave, 5);  // d6 is 14 above: lowered
  EXPECT_EQ(s.noteTrack.at(4, 0).octave, 5);  // c+6 is 13 above: lowered
  EXPECT_EQ(s.noteTrack.at(5, 0).octave, 6);  // c7 is 24 above: one correction only
  EXPECT_EQ(s.noteTrack.at(6, 0).octave, 6);  // c6 is 12 above: kept
  EXPECT_EQ(CountOf(s.log.text(), "新tone="), 7);
}

TEST_F(Engine, BassVoiceHoldsEightEighthsPerBar) {
  s.form.SetChord(1, "G/B");
  pg.BuildBassVoice();
  for (int i = 0; i < 64; ++i) {
    const TrackNote& cell = s.noteTrack.at(i, 1);
    EXPECT_EQ(cell.length, 24);
    EXPECT_EQ(cell.octave, 3);
    EXPECT_EQ(cell.pitch, i / 8 == 1 ? 12 : 1) << i;
  }
  EXPECT_EQ(s.noteTrack.at(64, 1).length, -1);
  // The scale shown is the one prepared last (a minor in a fresh session).
  EXPECT_EQ(s.log.text().rfind("\n0:\nc,e,g,\na,b,c,d,e,f,g,\n\n1:\nb,g,d,\n", 0), 0u);
}

// --- Whole melodies ----------------------------------------------------------------------

// Compose the form in the session: note lengths, then pitches.
int Compose(Session& s) {
  NoteLengthGenerator(s).Run();
  return PitchGenerator(s).Run();
}

TEST_F(Engine, EightBarMelodyFromATinyDatabaseWithItsTrace) {
  ASSERT_EQ(Compose(s), 1);
  EXPECT_TRUE(ts.platform.messages.empty());
  const std::string& log = s.log.text();

  // The motif pass of bar 0: rule 10 leads to 1, 1 to 2, 2 to 5 (which reverses hightmode).
  const std::string motif0 =
      " 0小節***********************\n"
      "次回音長= 48\ngaku=1  bar=1  pcnt=0\n"
      "\tｺﾏﾝﾄﾞ0-3=1  ｺﾏﾝﾄﾞ4-7=0  ｺﾏﾝﾄﾞ8-10=0  予想音高値=1  hightmode=0  逆行欲求度=0\n"
      "\t\tprogress=10  nextprogressmode=1\n"
      "次回音長= 48\ngaku=1  bar=1  pcnt=1\n"
      "\tｺﾏﾝﾄﾞ0-3=2  ｺﾏﾝﾄﾞ4-7=0  ｺﾏﾝﾄﾞ8-10=0  予想音高値=2  hightmode=0  逆行欲求度=0\n"
      "\t\tprogress=1  nextprogressmode=2\n"
      "次回音長= 96\ngaku=1  bar=1  pcnt=2\n"
      "\tｺﾏﾝﾄﾞ0-3=0  ｺﾏﾝﾄﾞ4-7=1  ｺﾏﾝﾄﾞ8-10=0  予想音高値=1  hightmode=1  逆行欲求度=0\n"
      "\t\tprogress=2  nextprogressmode=5\n"
      " 1小節***********************\n";
  EXPECT_NE(log.find(motif0), std::string::npos);

  // The melody of bar 0: the root, then rule 1 over the scale left from start-up (a minor,
  // whose skipped pitch is c+), then rule 2, which prepares C major.
  const std::string melody0 =
      "96(10)→48(1)→48(2)→\n";
  EXPECT_NE(log.find("------------------モチーフ音長フェーズ------------------\n" + melody0),
            std::string::npos);
  const std::string decide0 =
      "\n0:\nc,e,g,\nlen=  0:ProgressAnyChord**************\n初っぱなの音だぜっ！\n"
      "決定音：tone_bak=c  oct_bak=5  edu=Up\n"
      "len= 96:ProgressFiger*****************\n"
      "\n規則NO 1  CALL\nProgressSeChord-------------\n"
      "前音：tone_bak=c  oct_bak=5\n// tone=e oct=5\n"
      "決定音：tone_bak=e  oct_bak=5  edu=Up\n"
      "len=144:ProgressFiger*****************\n"
      "\n規則NO 2  CALL\nProgressSequal--------------\n tone=f oct=5\n"
      "決定音：tone_bak=f  oct_bak=5  edu=Up\n"
      "\n1:\nc,e,g,\n";
  EXPECT_NE(log.find(decide0), std::string::npos);

  // Every bar is filled: three notes adding up to a bar, each with a pitch.
  for (int b = 0; b < 8; ++b) {
    const std::vector<int32_t> lengths = Lengths(s, b);
    EXPECT_EQ(std::accumulate(lengths.begin(), lengths.end(), 0), 192) << b;
    for (size_t n = 0; n < lengths.size(); ++n) {
      EXPECT_GE(s.barNotes[b][n].pitch, 1);
      EXPECT_LE(s.barNotes[b][n].pitch, 12);
    }
  }
  EXPECT_EQ(CountOf(log, "決定音："), 24);
  EXPECT_EQ(CountOf(log, "gaku="), 24);

  // Voice 0: 24 cells and the end mark; voice 1: 64 cells and the end mark.
  for (int i = 0; i < 24; ++i) {
    EXPECT_EQ(s.noteTrack.at(i, 0).length, Lengths(s, i / 3)[static_cast<size_t>(i % 3)]);
    EXPECT_EQ(s.noteTrack.at(i, 0).pitch, s.barNotes[i / 3][i % 3].pitch);
  }
  EXPECT_EQ(s.noteTrack.at(24, 0).length, -1);
  EXPECT_EQ(s.noteTrack.at(0, 0).pitch, 1);
  EXPECT_EQ(s.noteTrack.at(0, 0).octave, 5);
  EXPECT_EQ(s.noteTrack.at(64, 1).length, -1);
  // The log ends with the bass voice's chord and scale lines and the octave check of
  // every cell (the last one is traced without a line break).
  EXPECT_NE(log.find("\n7:\nc,e,g,\nc,d,e,f,g,a,b,\n新tone=c[oct: 5] 旧tone=c[oct: 5]：\n"),
            std::string::npos);
  EXPECT_EQ(CountOf(log.substr(log.find("\n7:\nc,e,g,\nc,d,e,f,g,a,b,\n")), "新tone="), 24);
}

TEST_F(Engine, SameFormSameDatabasesSameSeedSameSong) {
  TestSession other(".", 5);
  other.session->form = s.form;
  other.session->compositionDb = s.compositionDb;
  other.session->style = s.style;
  // A style with real choices, so the draws matter.
  for (Session* x : {&s, other.session.get()}) {
    for (auto& table : x->style.table) {
      for (auto& row : table) {
        row.fill(0);
        for (int j = 0; j < 10; ++j) row[static_cast<size_t>(j)] = 10;
      }
    }
    x->style.settings = {30, 20, 3, 0, 0, 0, 0, 0};
  }
  ASSERT_EQ(Compose(s), 1);
  ASSERT_EQ(Compose(*other.session), 1);
  EXPECT_EQ(s.log.text(), other.session->log.text());
  // A second composition continues the chain state and the random sequence.
  const std::string first = s.log.text();
  ASSERT_EQ(Compose(s), 1);
  EXPECT_NE(s.log.text(), first);
}

TEST_F(Engine, CopiedBarsInAFormRepeatTheirSource) {
  // Bars 4..7 repeat bars 0..3 wholly; bar 2 repeats only the motif of bar 0.
  for (int b = 4; b < 8; ++b) {
    s.form.melodySource[b] = b - 4;
    s.form.motifSource[b] = b - 4;
    s.form.noteLengthSource[b] = b - 4;
  }
  s.form.motifSource[2] = 0;
  s.form.noteLengthSource[2] = 0;
  s.form.SetChord(2, "Am");
  ASSERT_EQ(Compose(s), 1);
  for (int b = 4; b < 8; ++b) {
    for (int n = 0; n < 3; ++n) {
      EXPECT_EQ(s.barNotes[b][n].pitch, s.barNotes[b - 4][n].pitch);
      EXPECT_EQ(s.barNotes[b][n].octave, s.barNotes[b - 4][n].octave);
      EXPECT_EQ(s.barNotes[b][n].rule, s.barNotes[b - 4][n].rule);
    }
  }
  EXPECT_EQ(s.barNotes[2][0].pitch, 10);  // c (root of C) -> a (root of Am)
  EXPECT_EQ(s.barNotes[2][0].octave, 5);
  EXPECT_EQ(CountOf(s.log.text(), "決定音："), 12);
}

TEST_F(Engine, RefusedChordStopsThePitchPhaseAndKeepsTheOldVoice) {
  s.noteTrack.at(0, 0) = {77, 3, 3};
  s.form.SetChord(3, "Cxx");
  EXPECT_EQ(Compose(s), 0);
  EXPECT_EQ(s.noteTrack.at(0, 0).length, 77);
  EXPECT_EQ(ts.platform.StopMessageCount(), 1);
}

TEST_F(Engine, DamagedFormFieldsAreReadSafely) {
  s.form.lastPeriod = 40;  // clamped to twelve periods
  for (int b = 0; b < kMaxBars; ++b) {
    s.form.keyIndex[b] = b % 2 ? 77 : -3;
    s.form.melodySource[b] = b + 5;
    s.form.motifSource[b] = -b - 2;
    s.form.noteLengthSource[b] = 1000;
  }
  ASSERT_EQ(Compose(s), 1);
  EXPECT_EQ(CountOf(s.log.text(), "決定音："), 96 * 3);
  EXPECT_EQ(s.noteTrack.at(96 * 3, 0).length, -1);
  EXPECT_EQ(s.noteTrack.at(96 * 8, 1).length, -1);
  s.form.lastPeriod = -9;  // one period
  ASSERT_EQ(Compose(s), 1);
  EXPECT_EQ(s.noteTrack.at(24, 0).length, -1);
}

}  // namespace
}  // namespace vema
