// Rule chaining: the plain chain and its four steering devices.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "melody/pitch_generator.h"
#include "melody_fixture.h"

namespace vema {
namespace {

using testing::CountOf;
using testing::TestSession;
using testing::UseChainStyle;

class Chaining : public ::testing::Test {
 protected:
  TestSession ts{".", 3};
  Session& s = *ts.session;
  PitchGenerator pg{s};

  void SetUp() override {
    s.form = BlankForm();
    testing::SetLengths(s, 0, {24, 24, 24, 24, 24, 24, 24, 24});
    testing::SetLengths(s, 1, {24, 24, 24, 24, 24, 24, 24, 24});
  }

  int Rule(int bar, int n) const { return s.barNotes[static_cast<size_t>(bar)][static_cast<size_t>(n)].rule; }

  std::vector<int> ChainBar(int bar, int notes) {
    std::vector<int> rules;
    for (int n = 0; n < notes; ++n) {
      pg.ChainRule(1, bar, n);
      rules.push_back(Rule(bar, n));
    }
    return rules;
  }
};

TEST_F(Chaining, FirstNoteOfTheSongTakesRuleTenAndDrawsTheNext) {
  UseChainStyle(s.style, {{10, 1}});
  pg.ChainRule(0, 0, 0);
  EXPECT_EQ(Rule(0, 0), 10);
  EXPECT_EQ(pg.nextprogressmode, 1);
  EXPECT_EQ(s.log.text(),
            "gaku=1  bar=1  pcnt=0\n"
            "\tｺﾏﾝﾄﾞ0-3=1  ｺﾏﾝﾄﾞ4-7=0  ｺﾏﾝﾄﾞ8-10=0  予想音高値=1  hightmode=0  逆行欲求度=0\n"
            "\t\tprogress=10  nextprogressmode=1\n");
}

TEST_F(Chaining, PlainChainTakesTheRuleDrawnAtThePreviousNote) {
  UseChainStyle(s.style, {{10, 8}, {8, 9}, {9, 10}});
  EXPECT_EQ(ChainBar(0, 5), (std::vector<int>{10, 8, 9, 10, 8}));
  EXPECT_EQ(pg.nextprogressmode, 9);
  EXPECT_EQ(s.chain.otherRun, 5);  // the state accounts for the rule drawn for the next note
  // The trace of the period and bar counts from 1; the note from 0.
  pg.ChainRule(1, 9, 3);
  EXPECT_NE(s.log.text().find("gaku=2  bar=2  pcnt=3\n"), std::string::npos);
}

TEST_F(Chaining, RowSummingBelowTheDrawKeepsTheNextRule) {
  UseChainStyle(s.style, {});
  pg.nextprogressmode = 7;
  pg.ChainRule(0, 0, 0);
  EXPECT_EQ(pg.nextprogressmode, 7);
  s.style.table[0][7][3] = 0;  // still nothing: a row of zeros never draws
  pg.ChainRule(0, 0, 1);
  EXPECT_EQ(Rule(0, 1), 7);
  EXPECT_EQ(pg.nextprogressmode, 7);
}

TEST_F(Chaining, RepetitionEveryOtherNoteWhenAlwaysWanted) {
  UseChainStyle(s.style, {{10, 8}, {8, 9}, {9, 10}}, /*repeat=*/100);
  ChainBar(0, 8);
  EXPECT_EQ(CountOf(s.log.text(), "同一パタンの再現\n"), 3);  // notes 3, 5 and 7 (from 1)
  EXPECT_EQ(Rule(0, 2), Rule(0, 0));
  EXPECT_EQ(Rule(0, 4), Rule(0, 2));
  EXPECT_EQ(s.chain.repeatedLast, 0);
  // With 0 no note is ever repeated.
  s.log.Reset("");
  UseChainStyle(s.style, {{10, 8}, {8, 9}, {9, 10}}, /*repeat=*/0);
  ChainBar(1, 8);
  EXPECT_EQ(CountOf(s.log.text(), "同一パタンの再現\n"), 0);
}

TEST_F(Chaining, RepetitionOfALongNoteTurnsScaleStepsIntoChordSteps) {
  UseChainStyle(s.style, {{10, 2}, {2, 6}, {6, 2}}, /*repeat=*/100);
  testing::SetLengths(s, 1, {24, 24, 48, 48, 24});
  s.chain = ChainState{};
  pg.nextprogressmode = 2;
  pg.ChainRule(1, 1, 0);  // takes 2, draws 6
  pg.ChainRule(1, 1, 1);  // takes 6, draws 2
  pg.ChainRule(1, 1, 2);  // repeats: copies 2 (length 48: becomes 1), next is 6
  EXPECT_EQ(Rule(1, 0), 2);
  EXPECT_EQ(Rule(1, 1), 6);
  EXPECT_EQ(Rule(1, 2), 1);
  EXPECT_EQ(pg.nextprogressmode, 6);
  pg.ChainRule(1, 1, 3);  // plain: a repetition never follows a repetition
  EXPECT_EQ(Rule(1, 3), 6);
  EXPECT_EQ(CountOf(s.log.text(), "同一パタンの再現\n"), 1);
}

TEST_F(Chaining, RunLimitBreaksALongRunWithRuleTen) {
  UseChainStyle(s.style, {{10, 1}, {1, 2}, {2, 1}}, 0, 0, /*limit=*/2);
  EXPECT_EQ(ChainBar(0, 4), (std::vector<int>{10, 1, 2, 10}));
  EXPECT_EQ(CountOf(s.log.text(), "連続使用：パタンを変更\n"), 1);
}

TEST_F(Chaining, ExpectedPitchFlipsTheFourthRiseIntoItsReverseTwin) {
  UseChainStyle(s.style, {{10, 1}, {1, 1}, {5, 1}});
  EXPECT_EQ(ChainBar(0, 3), (std::vector<int>{10, 1, 1}));
  EXPECT_EQ(s.chain.expectedPitch, 3);
  pg.ChainRule(1, 0, 3);
  EXPECT_EQ(pg.nextprogressmode, 5);
  EXPECT_EQ(s.chain.hightmode, 1);
  EXPECT_EQ(s.chain.expectedPitch, 2);
  EXPECT_EQ(s.chain.reverseDesire, 0);
  EXPECT_EQ(CountOf(s.log.text(), "予想音高値：パタンを反転する\n"), 1);
}

TEST_F(Chaining, ReverseDesireInARepetitionFlipsTheCopiedRule) {
  UseChainStyle(s.style, {}, /*repeat=*/100, /*rate=*/30);
  s.chain.reverseDesire = 90;
  s.barNotes[1][0].rule = 1;
  s.barNotes[1][1].rule = 1;
  pg.ChainRule(1, 1, 2);
  EXPECT_EQ(Rule(1, 2), 5);
  EXPECT_EQ(pg.nextprogressmode, 1);
  EXPECT_EQ(s.chain.reverseDesire, 30);
  EXPECT_EQ(s.chain.repeatedLast, 1);
  EXPECT_NE(s.log.text().find("同一パタンの再現\n逆行欲求：パタンを反転する\n"), std::string::npos);
}

TEST_F(Chaining, ReverseDesireInThePlainChainTurnsTheNextRule) {
  UseChainStyle(s.style, {{10, 1}, {1, 1}}, 0, /*rate=*/100);
  pg.ChainRule(0, 0, 0);
  EXPECT_EQ(s.chain.reverseDesire, 100);
  pg.ChainRule(0, 0, 1);  // prospect 200 beats every draw
  EXPECT_EQ(pg.nextprogressmode, 5);
  EXPECT_EQ(s.chain.reverseDesire, 0);
  EXPECT_EQ(CountOf(s.log.text(), "逆行欲求：パタンを反転する\n"), 1);
}

TEST_F(Chaining, StoredDesireIsCappedAtOneHundred) {
  // A drawn 5 is flipped to 1 by the expected pitch (-3 - 1 reaches -4); accounting 1 then
  // adds the whole rate of 127 to the cleared desire.
  UseChainStyle(s.style, {{10, 5}}, 0, /*rate=*/127);
  s.chain.expectedPitch = -3;
  pg.ChainRule(0, 1, 0);
  EXPECT_EQ(pg.nextprogressmode, 1);
  EXPECT_EQ(s.chain.reverseDesire, 100);
  EXPECT_NE(s.log.text().find("逆行欲求度=100\n"), std::string::npos);
}

TEST_F(Chaining, RateUsesTheLowByteAsASignedNumber) {
  UseChainStyle(s.style, {{10, 1}, {1, 1}}, 0, /*rate=*/200);  // read as -56
  pg.ChainRule(0, 0, 0);
  pg.ChainRule(0, 0, 1);
  EXPECT_EQ(s.chain.reverseDesire, -112);
  EXPECT_NE(s.log.text().find("逆行欲求度=-112\n"), std::string::npos);
  s.chain = ChainState{};
  UseChainStyle(s.style, {{10, 1}, {1, 1}}, 0, /*rate=*/256);  // read as 0
  pg.ChainRule(0, 0, 0);
  EXPECT_EQ(s.chain.reverseDesire, 0);
}

TEST_F(Chaining, RunsWrapInEightBits) {
  UseChainStyle(s.style, {{10, 1}, {1, 1}});
  s.chain.sameRun = 127;
  s.chain.hightmode = 1;
  s.chain.expectedPitch = 0;
  pg.nextprogressmode = 1;
  pg.ChainRule(0, 1, 0);
  EXPECT_EQ(s.chain.sameRun, -128);
  EXPECT_NE(s.log.text().find("ｺﾏﾝﾄﾞ0-3=-128"), std::string::npos);
}

TEST_F(Chaining, StateCarriesOverBetweenCompositions) {
  UseChainStyle(s.style, {{10, 1}, {1, 1}});
  ChainBar(0, 2);
  const ChainState after = s.chain;
  PitchGenerator second(s);
  second.ChainRule(1, 0, 0);
  EXPECT_EQ(s.chain.sameRun, after.sameRun + 1);
}

}  // namespace
}  // namespace vema
