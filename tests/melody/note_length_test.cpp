// Note-length generation: new and copied bars, the pattern chain with its look-ahead, the pick
// rule and damaged databases.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "melody/note_length_generator.h"
#include "melody_fixture.h"

namespace vema {
namespace {

using testing::CountOf;
using testing::Lengths;
using testing::SetPattern;
using testing::SetLengths;
using testing::SetTransitions;
using testing::TestSession;

TEST(PickRule, CandidateIHasProbabilityIPlusOneOverN) {
  EXPECT_EQ(PickCandidate(0.0, 1), 0);
  EXPECT_EQ(PickCandidate(32767.0 / 32768.0, 1), 0);
  EXPECT_EQ(PickCandidate(0.0, 3), 0);
  EXPECT_EQ(PickCandidate(1.0 / 3.0, 3), 0);
  EXPECT_EQ(PickCandidate(0.3334, 3), 1);
  EXPECT_EQ(PickCandidate(32767.0 / 32768.0, 3), 1);  // the third is never picked
  EXPECT_EQ(PickCandidate(0.25, 4), 0);
  EXPECT_EQ(PickCandidate(0.26, 4), 1);
  EXPECT_EQ(PickCandidate(0.75, 4), 1);
  EXPECT_EQ(PickCandidate(0.76, 4), 2);
  EXPECT_EQ(PickCandidate(0.5, 0), 0);  // an empty group yields its first record
}

class NoteLengths : public ::testing::Test {
 protected:
  TestSession ts{".", 11};
  Session& s = *ts.session;

  void SetUp() override {
    s.form = BlankForm();
    testing::UseSimpleDb(s.compositionDb);
  }
  void Run() { NoteLengthGenerator(s).Run(); }
};

TEST_F(NoteLengths, EightNewBarsAndTheirTrace) {
  Run();
  const std::string& log = s.log.text();
  EXPECT_EQ(log.rfind("------------------音長進行生成フェーズ------------------\n 0小節：New mode\n", 0),
            0u);
  EXPECT_EQ(CountOf(log, "小節：New mode\n"), 8);
  EXPECT_NE(log.find(" 7小節：New mode\n1小節***********************\n"
                     "使用音長パタン番号：  0,   1\n 96→ 48→ 48→\n2小節"),
            std::string::npos);
  EXPECT_EQ(CountOf(log, "使用音長パタン番号：  0,   1\n 96→ 48→ 48→\n"), 8);
  for (int b = 0; b < 8; ++b) EXPECT_EQ(Lengths(s, b), (std::vector<int32_t>{96, 48, 48})) << b;
}

TEST_F(NoteLengths, CopiedBarRepeatsLengthsAndPatternsAndTheChainGoesOn) {
  // Pattern 2 = {192}; kind 3 leads 2 -> 3 and kind 0 3 -> 1: a copy of a bar ending on
  // pattern 2 makes the next even bar start with pattern 3.
  SetPattern(s.compositionDb, 2, {192});
  SetPattern(s.compositionDb, 3, {144, 0, 48});
  SetTransitions(s.compositionDb, 3, {{1, 0}, {2, 3}});
  SetTransitions(s.compositionDb, 0, {{0, 1}, {3, 1}});
  s.patternPairs[1] = {0, 2};
  SetLengths(s, 1, {7});  // what bar 1 held before must not matter: it is regenerated
  s.form.noteLengthSource[3] = 1;
  Run();
  EXPECT_EQ(Lengths(s, 3), Lengths(s, 1));
  EXPECT_EQ(s.patternPairs[3].first, s.patternPairs[1].first);
  EXPECT_EQ(s.patternPairs[3].second, s.patternPairs[1].second);
  EXPECT_NE(s.log.text().find(" 3小節：Copy mode\n"), std::string::npos);

  // Now the copy's second pattern is 2: bar 4 continues from it.
  s.form = BlankForm();
  s.form.noteLengthSource[3] = 1;
  NoteLengthGenerator gen(s);
  s.log.Reset("");
  s.patternPairs[1] = {0, 2};
  SetLengths(s, 1, {192});
  gen.GenerateCopyBar(3);
  gen.GenerateNewBar(4);
  EXPECT_EQ(s.patternPairs[4].first, 3);
  EXPECT_EQ(s.patternPairs[4].second, 1);
  EXPECT_EQ(Lengths(s, 4), (std::vector<int32_t>{144, 0, 48, 48, 48}));  // ties kept here
}

TEST_F(NoteLengths, SourceThatIsNotAnEarlierBarMeansANewBar) {
  s.form.noteLengthSource[2] = 2;
  s.form.noteLengthSource[4] = 6;
  s.form.noteLengthSource[5] = -7;
  s.form.noteLengthSource[6] = 1000;
  Run();
  EXPECT_EQ(CountOf(s.log.text(), "Copy mode"), 0);
  EXPECT_EQ(CountOf(s.log.text(), "New mode"), 8);
}

TEST_F(NoteLengths, FirstPatternOfTheSongIsDrawnBeforeTheLastRecord) {
  SetTransitions(s.compositionDb, 0, {{10, 1}, {11, 1}, {12, 1}});
  std::set<int> seen;
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    TestSession t(".", seed);
    t.session->compositionDb = s.compositionDb;
    NoteLengthGenerator(*t.session).ChoosePattern(0, 3);
    seen.insert(t.session->patternPairs[0].first);
  }
  EXPECT_EQ(seen, (std::set<int>{10, 11}));
}

TEST_F(NoteLengths, PickAmongThreeRecordsFavoursTheSecondAndNeverTheThird) {
  SetTransitions(s.compositionDb, 0, {{0, 20}, {0, 21}, {0, 22}});
  std::map<int, int> counts;
  for (uint32_t seed = 1; seed <= 600; ++seed) {
    TestSession t(".", seed);
    t.session->compositionDb = s.compositionDb;
    t.session->patternPairs[0].first = 0;
    NoteLengthGenerator(*t.session).ChoosePattern(0, 0);
    ++counts[t.session->patternPairs[0].second];
  }
  EXPECT_EQ(counts.count(22), 0u);
  EXPECT_NEAR(counts[20] / 600.0, 1.0 / 3.0, 0.07);
  EXPECT_NEAR(counts[21] / 600.0, 2.0 / 3.0, 0.07);
}

TEST_F(NoteLengths, PatternWithoutTransitionsFallsToTheKindsFirstRecord) {
  SetTransitions(s.compositionDb, 1, {{5, 30}, {6, 31}});
  s.patternPairs[0] = {0, 99};  // no group of kind 1 starts at 99
  NoteLengthGenerator(s).ChoosePattern(1, 1);
  EXPECT_EQ(s.patternPairs[1].first, 30);
  // An empty kind (L = -1) gives the record at the start of its block.
  s.compositionDb.lastTransitionIndex[2] = -1;
  s.compositionDb.transitions[1000] = {0, 44, 0};
  s.compositionDb.BuildTransitionGroups();
  NoteLengthGenerator(s).ChoosePattern(3, 1);
  EXPECT_EQ(s.patternPairs[3].first, 44);
}

TEST_F(NoteLengths, OnlyTheFirstRunOfAFromValueIsFound) {
  SetTransitions(s.compositionDb, 1, {{5, 30}, {6, 31}, {5, 32}});
  s.patternPairs[0] = {0, 5};
  NoteLengthGenerator(s).ChoosePattern(1, 1);
  EXPECT_EQ(s.patternPairs[1].first, 30);
}

class LookAhead : public NoteLengths {
 protected:
  // Pattern 0 leads (kind 0) to 1, 2 or 3; these lead (kind 1) to 5, 0 and 6.
  void SetUp() override {
    NoteLengths::SetUp();
    SetTransitions(s.compositionDb, 0, {{0, 1}, {0, 2}, {0, 3}});
    SetTransitions(s.compositionDb, 1, {{1, 5}, {2, 0}, {3, 6}});
    for (int p : {2, 3, 5, 6}) SetPattern(s.compositionDb, p, {96});
  }

  std::set<int> SecondPatternsOfBarZero(const SongForm& form) {
    std::set<int> seen;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
      TestSession t(".", seed);
      t.session->compositionDb = s.compositionDb;
      t.session->form = form;
      NoteLengthGenerator(*t.session).Run();
      seen.insert(t.session->patternPairs[0].second);
    }
    return seen;
  }
};

TEST_F(LookAhead, SecondPatternLeadsIntoTheBarTheNextBarRepeats) {
  SongForm form = BlankForm();
  form.noteLengthSource[1] = 0;  // bar 1 repeats bar 0, whose first pattern is 0
  EXPECT_EQ(SecondPatternsOfBarZero(form), (std::set<int>{2}));
  form.noteLengthSource[1] = -1;  // no target: the plain pick (never the third record)
  EXPECT_EQ(SecondPatternsOfBarZero(form), (std::set<int>{1, 2}));
}

TEST_F(LookAhead, NoQualifyingRecordMeansThePlainPick) {
  SetTransitions(s.compositionDb, 1, {{1, 5}, {2, 9}, {3, 6}});
  SongForm form = BlankForm();
  form.noteLengthSource[1] = 0;
  EXPECT_EQ(SecondPatternsOfBarZero(form), (std::set<int>{1, 2}));
}

TEST_F(LookAhead, LastBarOfTheFormHasNoTarget) {
  // Bar 7 (odd: kinds 1 and 2).  Kind 2 from 0 leads to 1, 2 or 3; only 3 leads (kind 3)
  // to pattern 0.  The stale source of bar 8 lies outside the form and is not looked at.
  SetTransitions(s.compositionDb, 2, {{0, 1}, {0, 2}, {0, 3}});
  SetTransitions(s.compositionDb, 3, {{1, 9}, {2, 9}, {3, 0}});
  SetTransitions(s.compositionDb, 1, {{1, 0}, {2, 0}, {3, 0}, {9, 0}});
  SetTransitions(s.compositionDb, 0, {{0, 1}, {9, 1}});
  std::set<int> seen;
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    TestSession t(".", seed);
    t.session->compositionDb = s.compositionDb;
    t.session->form = BlankForm();
    t.session->form.noteLengthSource[8] = 0;
    NoteLengthGenerator(*t.session).Run();
    seen.insert(t.session->patternPairs[7].second);
  }
  EXPECT_EQ(seen.count(3), 0u);
  // With one more period bar 8 exists and repeats bar 0: bar 7 now always leads into it.
  seen.clear();
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    TestSession t(".", seed);
    t.session->compositionDb = s.compositionDb;
    t.session->form = BlankForm();
    t.session->form.lastPeriod = 1;
    t.session->form.noteLengthSource[8] = 0;
    NoteLengthGenerator(*t.session).Run();
    seen.insert(t.session->patternPairs[7].second);
  }
  EXPECT_EQ(seen, (std::set<int>{3}));
}

TEST_F(NoteLengths, BarKeepsAtMostNineteenLengths) {
  SetPattern(s.compositionDb, 0, {12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12});
  SetPattern(s.compositionDb, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  Run();
  const std::vector<int32_t> bar0 = Lengths(s, 0);
  ASSERT_EQ(bar0.size(), 19u);
  EXPECT_EQ(bar0[14], 12);
  EXPECT_EQ(bar0[15], 1);
  EXPECT_EQ(bar0[18], 4);
  EXPECT_EQ(s.barNotes[0][19].length, -1);
}

TEST_F(NoteLengths, PatternWithoutEndMarkStopsAtThirtyValues) {
  int32_t* p0 = &s.compositionDb.noteLengthPatterns[0];
  for (int i = 0; i < kPatternLength; ++i) p0[i] = 6;
  Run();
  EXPECT_EQ(Lengths(s, 0).size(), 19u);
}

TEST_F(NoteLengths, PatternNumberOutsideTheTableIsAnEmptyPattern) {
  SetTransitions(s.compositionDb, 0, {{0, 5000}});
  SetTransitions(s.compositionDb, 3, {{5000, -3}});
  SetTransitions(s.compositionDb, 1, {{5000, 0}});
  SetTransitions(s.compositionDb, 2, {{0, 1}});
  Run();
  EXPECT_EQ(s.patternPairs[0].second, 5000);
  EXPECT_EQ(Lengths(s, 0), (std::vector<int32_t>{96}));
  EXPECT_EQ(s.patternPairs[2].first, -3);
  EXPECT_EQ(Lengths(s, 2), (std::vector<int32_t>{}));
}

TEST_F(NoteLengths, DamagedGroupsAndIndexesStayInBounds) {
  s.compositionDb.lastTransitionIndex[1] = 5000;   // clamped
  s.compositionDb.lastTransitionIndex[2] = -77;
  for (auto& kind : s.compositionDb.transitionGroups) {
    for (auto& g : kind) g = {123456, 0, 99999};
  }
  for (auto& t : s.compositionDb.transitions) t = {0, 1 << 30, 0};
  Run();  // must not read outside the tables
  EXPECT_EQ(CountOf(s.log.text(), "New mode"), 8);
}

TEST_F(NoteLengths, WithoutADatabaseOnlyTheBannerIsLeft) {
  s.compositionDb = CompositionDb{};
  s.log.Reset("old text");
  Run();
  EXPECT_EQ(s.log.text(), "------------------音長進行生成フェーズ------------------\n");
  ASSERT_EQ(ts.platform.messages.size(), 1u);
  EXPECT_EQ(ts.platform.messages[0].text, "旋律スタイルを設定してください。");
  EXPECT_EQ(ts.platform.messages[0].icon, MessageIcon::kStop);
}

}  // namespace
}  // namespace vema
