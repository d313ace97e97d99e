// Note-length generation: new and copied bars, the pick rule, the look-ahead and damaged
// databases.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "melody/note_length_generator.h"
#include "melody_fixture.h"

namespace vema {
namespace {

using testing::Lengths;
using testing::SetPattern;
using testing::SetTransitions;

class NoteLengths : public ::testing::Test {
 protected:
  testing::TestSession ts{".", 11};
  Session& s = *ts.session;

  void SetUp() override {
    s.form = BlankForm();
    testing::UseSimpleDb(s.compositionDb);
  }
  void Run() { NoteLengthGenerator(s.Melody()).Run(); }

  // How often each second pattern of `bar` comes out of `form` with seeds 1..seeds.
  std::map<int, int> SecondPatterns(const SongForm& form, int bar, int seeds = 40) {
    std::map<int, int> seen;
    for (int seed = 1; seed <= seeds; ++seed) {
      testing::TestSession t(".", static_cast<uint32_t>(seed));
      t.session->compositionDb = s.compositionDb;
      t.session->form = form;
      NoteLengthGenerator(t.session->Melody()).Run();
      ++seen[t.session->patternPairs[static_cast<size_t>(bar)].second];
    }
    return seen;
  }
};

TEST_F(NoteLengths, CopiedBarRepeatsItsSourceAndTheChainGoesOnFromIt) {
  SetPattern(s.compositionDb, 2, {192});
  SetPattern(s.compositionDb, 3, {144, 0, 48});
  SetTransitions(s.compositionDb, 3, {{1, 0}, {2, 3}});  // 2 -> 3 -> 1
  SetTransitions(s.compositionDb, 0, {{0, 1}, {3, 1}});
  s.form.noteLengthSource[3] = 1;
  NoteLengthGenerator gen(s.Melody());
  s.patternPairs[1] = {0, 2};
  testing::SetLengths(s, 1, {192});
  gen.GenerateCopyBar(3);
  gen.GenerateNewBar(4);
  EXPECT_EQ(Lengths(s, 3), (std::vector<int32_t>{192}));
  EXPECT_EQ(s.patternPairs[4].first, 3);  // from the copied second pattern, 2
  EXPECT_EQ(Lengths(s, 4), (std::vector<int32_t>{144, 0, 48, 48, 48}));  // ties are kept here
}

TEST_F(NoteLengths, PickRuleGivesCandidateIProbabilityIPlusOneOverN) {
  const struct { double r; int n; int picked; } cases[] = {
      {1.0 / 3.0, 3, 0}, {0.3334, 3, 1}, {0.99997, 3, 1}, {0.26, 4, 1}, {0.76, 4, 2}, {0.5, 0, 0}};
  for (const auto& c : cases) EXPECT_EQ(PickCandidate(c.r, c.n), c.picked) << c.r << " " << c.n;
  SetTransitions(s.compositionDb, 0, {{0, 20}, {0, 21}, {0, 22}});
  const auto counts = SecondPatterns(BlankForm(), 0, 600);  // 1/3, 2/3 and never the third
  EXPECT_TRUE(counts.size() == 2 && counts.at(20) > 160 && counts.at(20) < 240);
}

TEST_F(NoteLengths, LookAheadLeadsIntoTheBarTheNextBarRepeatsButNotPastTheForm) {
  // Pattern 0 leads (kind 0) to 1, 2 or 3; only 2 leads on (kind 1) to pattern 0.
  SetTransitions(s.compositionDb, 0, {{0, 1}, {0, 2}, {0, 3}});
  SetTransitions(s.compositionDb, 1, {{1, 5}, {2, 0}, {3, 6}});
  for (int p : {2, 3, 5, 6}) SetPattern(s.compositionDb, p, {96});
  SongForm form = BlankForm();
  form.noteLengthSource[1] = 0;  // bar 1 repeats bar 0, whose first pattern is 0
  EXPECT_EQ(SecondPatterns(form, 0), (std::map<int, int>{{2, 40}}));  // the plain pick: 1 or 2
  // Bar 7 (kinds 1 and 2): only 3 leads on (kind 3) to pattern 0.  The stale source of bar 8
  // lies outside the form and is not looked at; with one more period it is.
  form.noteLengthSource[1] = -1;
  SetTransitions(s.compositionDb, 2, {{0, 1}, {0, 2}, {0, 3}});
  SetTransitions(s.compositionDb, 3, {{1, 9}, {2, 9}, {3, 0}});
  SetTransitions(s.compositionDb, 1, {{1, 0}, {2, 0}, {3, 0}, {9, 0}});
  SetTransitions(s.compositionDb, 0, {{0, 1}, {9, 1}});
  form.noteLengthSource[8] = 0;
  EXPECT_EQ(SecondPatterns(form, 7).count(3), 0u);
  form.lastPeriod = 1;
  EXPECT_EQ(SecondPatterns(form, 7), (std::map<int, int>{{3, 40}}));
}

TEST_F(NoteLengths, DamagedDatabasesStayInBounds) {
  std::fill_n(s.compositionDb.noteLengthPatterns.begin(), kPatternLength, 6);
  Run();  // pattern 0 has no end mark: the bar keeps nineteen lengths
  EXPECT_EQ(Lengths(s, 0), std::vector<int32_t>(19, 6));
  testing::UseSimpleDb(s.compositionDb);
  SetTransitions(s.compositionDb, 0, {{0, 1500}});
  SetTransitions(s.compositionDb, 3, {{1500, -3}});
  SetTransitions(s.compositionDb, 1, {{1500, 0}});
  Run();  // patterns outside 0..1499 are empty
  EXPECT_EQ(Lengths(s, 0), (std::vector<int32_t>{96}));
  EXPECT_EQ(Lengths(s, 2), (std::vector<int32_t>{}));
  s.compositionDb = CompositionDb{};  // none loaded: only the banner line
  Run();
  EXPECT_EQ(s.log.text(), "------------------音長進行生成フェーズ------------------\n");
}

}  // namespace
}  // namespace vema
