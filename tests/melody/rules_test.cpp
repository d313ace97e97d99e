// The melodic rules of the notes: each rule from a known previous note, then the chaining
// that gives every note its rule, with its four steering devices.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "melody/chord.h"
#include "melody/melody_state.h"
#include "melody/pitch_generator.h"
#include "melody_fixture.h"

namespace vema {
namespace {

using testing::UseChainStyle;
using Note = std::tuple<int, int, int>;  // pitch, octave, edu
constexpr int kUp = 2, kDown = 1, kEqual = 0;

class Rules : public ::testing::Test {
 protected:
  testing::TestSession ts{".", 7};
  Session& s = *ts.session;
  PitchGenerator pg{s.Melody()};

  void SetUp() override {  // chord C and the scale of C major, as the engine prepares them
    s.form = BlankForm();
    ASSERT_EQ(ParseChord(s.chordTones, s.platform(), "C"), 0);
    PrepareScale(s.Melody(), 0);
  }

  // Applies the rule of note 1 of bar 0 after the given previous note.
  Note Run(int rule, int pitch, int octave, int edu) {
    pg.tone_bak = static_cast<int8_t>(pitch);
    pg.oct_bak = static_cast<int8_t>(octave);
    pg.edu = static_cast<int8_t>(edu);
    s.barNotes[0][0].octave = octave;  // the song's first note: no direction reset
    s.barNotes[0][1] = {0, 0, 0, rule};
    s.log.Reset("");
    pg.ApplyRule(0, 0, 1);
    return {s.barNotes[0][1].pitch, s.barNotes[0][1].octave, pg.edu};
  }

  // Chains the rules of the first notes of a bar.
  std::vector<int> ChainBar(int bar, int notes) {
    std::vector<int> rules;
    for (int n = 0; n < notes; ++n) {
      pg.ChainRule(1, bar, n);
      rules.push_back(Rule(bar, n));
    }
    return rules;
  }
  int Rule(size_t bar, size_t n) const { return s.barNotes[bar][n].rule; }
};

TEST_F(Rules, EachRuleFromKnownPreviousNotesOverCMajor) {
  const struct { int rule, pitch, octave, edu; Note want; } cases[] = {
      {1, 5, 5, kUp, {8, 5, kUp}},        // e up: nearest chord tone g
      {0, 5, 5, kUp, {1, 6, kUp}},        // g is too near: wraps to c above
      {2, 5, 5, kUp, {6, 5, kUp}},        // one scale step: f
      {5, 5, 5, kUp, {1, 5, kDown}},      // nearest chord tone down: c
      {6, 5, 5, kUp, {3, 5, kDown}},      // one scale step down: d
      {8, 5, 5, kUp, {5, 5, kUp}},        // the same note, direction kept
      {7, 5, 5, kUp, {1, 5, kDown}},      // as rule 4, the reverse leap: c
      {4, 1, 5, kUp, {8, 4, kDown}},      // c down past b: g below
      {0, 8, 5, kDown, {1, 5, kDown}},    // Down turns the searches: e is skipped, c
      {4, 1, 5, kDown, {8, 5, kUp}},      // and the reverse leap goes up
      {2, 1, 5, kDown, {12, 4, kDown}},   // c down a step: b an octave lower
      {6, 12, 4, kDown, {1, 5, kUp}},     // b up a step (reverse): c above
      {2, 12, 4, kUp, {1, 5, kUp}},       // b -> c, next octave
      {2, 2, 5, kUp, {3, 5, kUp}},        // c+ is first moved to c, then d
      {6, 1, 5, kEqual, {12, 5, kUp}},    // no octave change: b counts as a rise
      {1, 3, 5, kUp, {8, 5, kUp}},        // d up: the skipped pitch e is passed over
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.rule, c.pitch, c.octave, c.edu), c.want)
        << "rule " << c.rule << " from " << c.pitch << "/" << c.octave << " edu " << c.edu;
  }
}

TEST_F(Rules, SearchesEndWhenNoChordToneQualifies) {
  s.chordTones = {4, 5, -1};  // e and f only: no tone is 4 away from e
  EXPECT_EQ(std::get<0>(Run(0, 5, 5, kUp)), 6);  // from step 24 on the first chord tone met: f
  s.chordTones.fill(-1);  // empty: the search ends at step 48 on the old pitch
  EXPECT_EQ(std::get<0>(Run(0, 5, 5, kUp)), 5);
  EXPECT_EQ(std::get<0>(Run(10, 3, 4, kUp)), 0);  // and rule 10 gives a rest
  EXPECT_EQ(ts.platform.messages.at(0).text, "Random max error");
}

// --- Rule chaining -------------------------------------------------------------------

TEST_F(Rules, PlainChainTakesTheRuleDrawnAtThePreviousNote) {
  UseChainStyle(s.style, {{10, 8}, {8, 9}, {9, 10}});
  EXPECT_EQ(ChainBar(0, 5), (std::vector<int>{10, 8, 9, 10, 8}));
  EXPECT_EQ(s.chain.otherRun, 5);  // the state accounts for the rule drawn for the next note
  UseChainStyle(s.style, {});  // a row adding up to less than the draw: nothing is drawn
  pg.ChainRule(0, 1, 0);
  EXPECT_EQ(pg.nextprogressmode, 9);
}

TEST_F(Rules, RepetitionEveryOtherNoteWhenAlwaysWantedAndNeverWithZero) {
  UseChainStyle(s.style, {{10, 8}, {8, 9}, {9, 10}}, /*repeat=*/100);
  ChainBar(0, 8);
  EXPECT_EQ(testing::CountOf(s.log.text(), "同一パタンの再現\n"), 3);  // notes 3, 5 and 7 (from 1)
  EXPECT_TRUE(Rule(0, 4) == Rule(0, 2) && Rule(0, 2) == Rule(0, 0));
  UseChainStyle(s.style, {{10, 8}, {8, 9}, {9, 10}}, /*repeat=*/0);
  ChainBar(1, 8);
  EXPECT_EQ(testing::CountOf(s.log.text(), "同一パタンの再現\n"), 3);
}

TEST_F(Rules, RunLimitBreaksALongRunWithRuleTen) {
  UseChainStyle(s.style, {{10, 1}, {1, 2}, {2, 1}}, 0, 0, /*runLimit=*/2);
  EXPECT_EQ(ChainBar(0, 4), (std::vector<int>{10, 1, 2, 10}));
}

TEST_F(Rules, ExpectedPitchFlipsTheFourthRiseIntoItsReverseTwin) {
  UseChainStyle(s.style, {{10, 1}, {1, 1}});
  EXPECT_EQ(ChainBar(0, 3), (std::vector<int>{10, 1, 1}));  // expected pitch 3
  pg.ChainRule(1, 0, 3);
  EXPECT_EQ(pg.nextprogressmode, 5);
  EXPECT_EQ(s.chain.expectedPitch, 2);
}

TEST_F(Rules, ReverseDesireFlipsTheRuleWithinItsBounds) {
  // A repetition accounts the copied rule 1 (desire 120), sees the prospect 150: flipped to 5.
  UseChainStyle(s.style, {}, /*repeat=*/100, /*rate=*/30);
  s.chain.reverseDesire = 90;
  s.barNotes[1][0].rule = s.barNotes[1][1].rule = 1;
  pg.ChainRule(1, 1, 2);
  EXPECT_EQ(Rule(1, 2), 5);
  EXPECT_EQ(s.chain.reverseDesire, 30);
  // After any call the stored desire is at most 100; the rate is its low byte, signed.
  for (const auto& [rate, desire] : {std::pair{127, 100}, std::pair{200, -56}, std::pair{256, 0}}) {
    UseChainStyle(s.style, {{10, 1}}, 0, rate);
    s.chain = ChainState{};
    pg.ChainRule(0, 0, 0);  // the first note accounts the drawn 1
    EXPECT_EQ(s.chain.reverseDesire, desire) << rate;
  }
}

}  // namespace
}  // namespace vema
