// The eleven melodic rules, each from a known previous note.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "melody/chord.h"
#include "melody/melody_state.h"
#include "melody/pitch_generator.h"
#include "melody_fixture.h"

namespace vema {
namespace {

using testing::CountOf;
using testing::TestSession;

struct Note {
  int pitch;
  int octave;
  int edu;
  bool operator==(const Note&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Note& n) {
  return out << "{" << n.pitch << "," << n.octave << ",edu " << n.edu << "}";
}

class Rules : public ::testing::Test {
 protected:
  TestSession ts{".", 7};
  Session& s = *ts.session;
  PitchGenerator pg{s};

  void SetUp() override {
    s.form = BlankForm();
    Prepare("C", 0);
  }

  // The chord of bar 0 is parsed and its scale prepared, as the engine does before a rule.
  void Prepare(const std::string& chord, int key) {
    s.form.SetChord(0, chord);
    s.form.keyIndex[0] = key;
    ASSERT_EQ(ParseChord(s, chord), 0);
    PrepareScale(s, 0);
  }

  Note Run(int rule, int pitch, int octave, int edu) {
    pg.tone_bak = static_cast<int8_t>(pitch);
    pg.oct_bak = static_cast<int8_t>(octave);
    pg.edu = static_cast<int8_t>(edu);
    BarNote& note = s.barNotes[0][1];
    note.rule = rule;
    note.pitch = 0;
    note.octave = 0;
    s.log.Reset("");
    switch (rule) {
      case 0: pg.ProgressLeChord(0, 0, 1); break;
      case 1: pg.ProgressSeChord(0, 0, 1); break;
      case 2: pg.ProgressSequal(0, 0, 1); break;
      case 3: pg.ProgressLe(0, 0, 1); break;
      case 4: pg.ProgressLrChord(0, 0, 1); break;
      case 5: pg.ProgressSrChord(0, 0, 1); break;
      case 6: pg.ProgressSreverse(0, 0, 1); break;
      case 7: pg.ProgressLr(0, 0, 1); break;
      case 8: pg.ProgressEqual(0, 0, 1); break;
      case 9: pg.ProgressGap(0, 0, 1); break;
      default: pg.ProgressAnyChord(0, 0, 1); break;
    }
    return {note.pitch, note.octave, pg.edu};
  }
};

constexpr int kUp = 2;
constexpr int kDown = 1;
constexpr int kEqual = 0;

TEST_F(Rules, FromEInOctaveFiveGoingUpOverCMajor) {
  EXPECT_EQ(Run(1, 5, 5, kUp), (Note{8, 5, kUp}));    // nearest chord tone up: g
  EXPECT_EQ(Run(0, 5, 5, kUp), (Note{1, 6, kUp}));    // g is too near; wraps to c above
  EXPECT_EQ(Run(2, 5, 5, kUp), (Note{6, 5, kUp}));    // one scale step: f
  EXPECT_EQ(Run(5, 5, 5, kUp), (Note{1, 5, kDown}));  // nearest chord tone down: c
  EXPECT_EQ(Run(6, 5, 5, kUp), (Note{3, 5, kDown}));  // one scale step down: d
  EXPECT_EQ(Run(8, 5, 5, kUp), (Note{5, 5, kUp}));    // the same note, direction kept
}

TEST_F(Rules, TracesOfTheChordRules) {
  Run(1, 5, 5, kUp);
  EXPECT_EQ(s.log.text(),
            "ProgressSeChord-------------\n前音：tone_bak=e  oct_bak=5\n// tone=g oct=5\n");
  Run(0, 5, 5, kUp);
  // g examined (twice traced, distance 3), then c (distance -4) taken.
  EXPECT_EQ(s.log.text(),
            "ProgressLeChord-------------\n"
            "新tone=g[oct: 5] 旧tone=e[oct: 5]：\n音程差[0+m3]( 3)"
            "新tone=g[oct: 5] 旧tone=e[oct: 5]：\n音程差[0+m3]( 3)"
            "新tone=c[oct: 5] 旧tone=e[oct: 5]：\n音程差[-0+M3](-4)"
            "新tone=c[oct: 5] 旧tone=e[oct: 5]：\n音程差[-0+M3](-4)"
            " tone=c oct=6\n");
  Run(3, 5, 5, kUp);
  EXPECT_EQ(s.log.text().rfind("ProgressLe---------------\nProgressLeChord-------------\n", 0),
            0u);
  Run(7, 5, 5, kUp);
  EXPECT_EQ(s.log.text().rfind("ProgressLr---------------\nProgressLrChord-------------\n", 0),
            0u);
  Run(8, 5, 5, kUp);
  EXPECT_EQ(s.log.text(), "ProgressEqual---------------\n tone=e oct=5\n");
  Run(2, 5, 5, kUp);
  EXPECT_EQ(s.log.text(), "ProgressSequal--------------\n tone=f oct=5\n");
  Run(6, 5, 5, kUp);
  EXPECT_EQ(s.log.text(), "ProgressSreverse------------\n tone=d oct=5\n");
}

TEST_F(Rules, ReverseLeapFromEGoingUp) {
  // Down from e: d+, d, c+ are no tones, c (distance -4 in pitch numbers) is taken.
  EXPECT_EQ(Run(4, 5, 5, kUp), (Note{1, 5, kDown}));
  // From c going up, the reverse leap searches down: b, a+, a are no tones, g+ no, g: -5.
  // Crossing below c lowers the octave only for edu Down in the same direction; reverse
  // rules lower it when edu is Up and the pitch number rises.
  EXPECT_EQ(Run(4, 1, 5, kUp), (Note{8, 4, kDown}));
}

TEST_F(Rules, DirectionDownTurnsTheSearches) {
  // Same-direction leap with edu Down steps down; reverse leap steps up.
  EXPECT_EQ(Run(0, 8, 5, kDown), (Note{1, 5, kDown}));   // g down: e is the skipped pitch, c
  EXPECT_EQ(Run(4, 1, 5, kDown), (Note{8, 5, kUp}));     // c up: e is the skipped pitch, g
  EXPECT_EQ(Run(2, 1, 5, kDown), (Note{12, 4, kDown}));  // c down a step: b, an octave lower
  EXPECT_EQ(Run(6, 12, 4, kDown), (Note{1, 5, kUp}));    // b up a step (reverse): c above
}

TEST_F(Rules, ScaleStepWrapsAndMovesOffScaleNotesDown) {
  EXPECT_EQ(Run(2, 12, 4, kUp), (Note{1, 5, kUp}));  // b -> c, next octave
  EXPECT_EQ(Run(2, 2, 5, kUp), (Note{3, 5, kUp}));   // c+ is first moved to c, then d
  EXPECT_EQ(Run(2, 0, 5, kUp), (Note{1, 5, kUp}));   // a rest: down from 0 is b, then c
  // Equal: the reverse step goes down without an octave change, so b in the same octave
  // counts as a rise.
  EXPECT_EQ(Run(6, 1, 5, kEqual), (Note{12, 5, kUp}));
}

TEST_F(Rules, SkippedPitchIsPassedOverInTheFirstTwelveSteps) {
  // In C major the pitch just below the fourth degree is e: from d going up, rule 1 skips it.
  EXPECT_EQ(Run(1, 3, 5, kUp), (Note{8, 5, kUp}));
  // The scale is the one prepared last: with a minor prepared, c+ is skipped instead and e
  // is found.
  s.keyScale = ScaleOfKey(15);
  EXPECT_EQ(Run(1, 3, 5, kUp), (Note{5, 5, kUp}));
}

TEST_F(Rules, NearChordToneReturnsToThePreviousPitchOnlyAfterAFullTurn) {
  ASSERT_EQ(ParseChord(s, "Esus4"), 0);  // e, a, b
  s.keyScale = ScaleOfKey(0);
  // From e up: f, f+, g, g+ are no tones; a is.
  EXPECT_EQ(Run(1, 5, 5, kUp), (Note{10, 5, kUp}));
  // A chord whose only tone is the skipped pitch: found again after a full turn, at step 12.
  s.chordTones.fill(-1);
  s.chordTones[0] = 4;  // e
  EXPECT_EQ(Run(1, 5, 5, kUp), (Note{5, 5, kUp}));
}

TEST_F(Rules, LeapSearchEndsWhenNoToneIsFarEnough) {
  // Only e and f are chord tones; from e the distances are 1 and 0: from step 24 on the
  // first chord tone met is taken.
  s.chordTones.fill(-1);
  s.chordTones[0] = 4;
  s.chordTones[1] = 5;
  s.keyScale = ScaleOfKey(0);
  const Note n = Run(0, 5, 5, kUp);
  EXPECT_EQ(n.pitch, 6);  // step 24 is the first move again: f
  // Chord tones examined: steps 0 (f), 12 (f), 23 (e), 24 (f): two traces each; at step 11
  // e is still the skipped pitch and gets none.
  EXPECT_EQ(CountOf(s.log.text(), "新tone="), 8);
  // An empty chord table cannot be searched: the note stays on the previous pitch.
  s.chordTones.fill(-1);
  EXPECT_EQ(Run(0, 5, 5, kUp).pitch, 5);
  EXPECT_EQ(Run(1, 5, 5, kUp).pitch, 5);
}

TEST_F(Rules, AnyChordDrawsEveryToneInThePreviousOctave) {
  std::map<int, int> seen;
  for (int i = 0; i < 3000; ++i) {
    const Note n = Run(10, 3, 4, kUp);
    EXPECT_EQ(n.octave, 4);
    ++seen[n.pitch];
  }
  ASSERT_EQ(seen.size(), 3u);
  for (int pitch : {1, 5, 8}) {
    EXPECT_GT(seen[pitch], 850) << pitch;
    EXPECT_LT(seen[pitch], 1150) << pitch;
  }
  Run(9, 3, 4, kUp);
  EXPECT_EQ(s.log.text().rfind("ProgressGap---------------\nProgressAnyChord------------\n", 0),
            0u);
}

TEST_F(Rules, AnyChordOnAnEmptyTableGivesARest) {
  s.chordTones.fill(-1);
  const Note n = Run(10, 3, 4, kUp);
  EXPECT_EQ(n.pitch, 0);
  EXPECT_EQ(ts.platform.messages.size(), 1u);
  EXPECT_EQ(ts.platform.messages[0].text, "Random max error");
}

}  // namespace
}  // namespace vema
