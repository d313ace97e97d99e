// The form editor: source lists, period copies and resets, the bar handlers and damaged forms.
#include "editors/form_editor.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace vema {
namespace {

class FormEditorTest : public ::testing::Test {
 protected:
  FormEditorTest() : ts(dir.str()), editor(ts.session->Editors()) { form() = BlankForm(); }
  SongForm& form() { return ts.session->form; }

  testing::TempDir dir;
  testing::TestSession ts;
  FormEditor editor;
};

// ---- source lists of each bar -------------------------------------------------------------

TEST_F(FormEditorTest, EachBarListsNewAndEveryEarlierBarInOrder) {
  form().lastPeriod = 2;
  form().keyIndex[3] = 14;
  editor.Initialise();
  EXPECT_EQ(editor.melody[0].items, std::vector<std::string>{" 新規"});
  EXPECT_EQ(editor.key[3].SelectedText(), "Ces(Mb7)");
  editor.SelectTab(1);
  EXPECT_EQ(editor.noteLength[2].items,
            (std::vector<std::string>{" 新規", " 1- 1", " 1- 2", " 1- 3", " 1- 4", " 1- 5",
                                      " 1- 6", " 1- 7", " 1- 8", " 2- 1", " 2- 2"}));
  EXPECT_EQ(editor.melody[2].items, editor.noteLength[2].items);
  editor.SelectTab(2);
  EXPECT_EQ(editor.periodLabel.text, "楽節  3");
  EXPECT_EQ(editor.melody[0].items.size(), 17u);
}

// ---- period copies and resets -----------------------------------------------------------

TEST_F(FormEditorTest, CopyingAPeriodTakesSourcesKeysAndChordsOfTheChosenPeriod) {
  form().lastPeriod = 2;
  for (int i = 0; i < 16; ++i) {
    form().keyIndex[i] = i + 1;
    form().SetChord(i, "c" + std::to_string(i));
  }
  const auto expectCopyOf = [this](int period) {
    EXPECT_EQ(form().periodSource[2], period);
    for (int b = 0; b < 8; ++b) {
      const int from = period * 8 + b;
      EXPECT_EQ(form().melodySource[16 + b], from);
      EXPECT_EQ(form().noteLengthSource[16 + b], from);
      EXPECT_EQ(form().keyIndex[16 + b], form().keyIndex[from]);
      EXPECT_EQ(form().Chord(16 + b), form().Chord(from));
      EXPECT_FALSE(editor.melody[b].enabled);
    }
  };
  editor.Initialise();
  EXPECT_FALSE(editor.copyPeriod.enabled);  // period 1 has nothing to copy
  editor.SelectTab(2);
  editor.PressCopyPeriod();
  EXPECT_EQ(editor.copySource.items, (std::vector<std::string>{" 1", " 2"}));
  expectCopyOf(0);
  editor.SelectCopySource(1);
  expectCopyOf(1);
  // Edits of the source period reach the copy when it is shown again.
  editor.SelectTab(1);
  editor.OnChordChanged(4, "F#m7");
  editor.OnKeyChanged(4, 16);
  editor.SelectTab(2);
  expectCopyOf(1);
  EXPECT_EQ(editor.chord[4].text, "F#m7");
  // Back to a new period: the bars stay and the melody lists can be edited again.
  editor.PressNewPeriod();
  EXPECT_EQ(form().periodSource[2], -1);
  EXPECT_EQ(form().melodySource[17], 9);
  EXPECT_TRUE(editor.melody[1].enabled);
}

TEST_F(FormEditorTest, LoweringAndRaisingThePeriodCountBringsBackEmptyPeriods) {
  form().lastPeriod = 3;
  form().SetChord(0, "Dm");
  for (int b = 0; b < 8; ++b) form().keyIndex[b] = 15 + b;
  editor.Initialise();
  editor.SelectTab(2);
  editor.PressCopyPeriod();
  editor.SelectTab(3);
  editor.OnChordChanged(0, "E7");
  editor.OnMelodyChanged(2, 5);

  editor.SelectPeriodCount(2);
  editor.SelectPeriodCount(4);
  EXPECT_EQ(editor.tabs, (std::vector<std::string>{"楽式01", "楽式02", "楽式03", "楽式04"}));
  for (int p = 2; p < 12; ++p) {
    EXPECT_EQ(form().periodSource[p], -1) << p;
    for (int i = p * 8; i < p * 8 + 8; ++i) {
      EXPECT_EQ(form().melodySource[i], -1) << i;
      EXPECT_EQ(form().keyIndex[i], 15 + i % 8) << i;
      EXPECT_EQ(form().Chord(i), "Dm") << i;
    }
  }
}

// ---- the bar handlers ---------------------------------------------------------------------

TEST_F(FormEditorTest, MelodyRepeatCopiesKeyAndChordAndNewTakesThoseOfTheFirstBar) {
  form().keyIndex[0] = 3;
  form().SetChord(0, "A");
  form().keyIndex[2] = 7;
  form().SetChord(2, "Bb7");
  editor.Initialise();
  editor.OnMelodyChanged(4, 3);  // bar 5 repeats bar 3
  EXPECT_EQ(form().motifSource[4], 2);
  EXPECT_EQ(form().noteLengthSource[4], 2);
  EXPECT_EQ(form().keyIndex[4], 7);
  EXPECT_EQ(form().Chord(4), "Bb7");
  EXPECT_FALSE(editor.chord[4].enabled);
  editor.OnMelodyChanged(4, 0);  // new again
  EXPECT_EQ(form().keyIndex[4], 3);
  EXPECT_EQ(form().Chord(4), "A");
  EXPECT_TRUE(editor.chord[4].enabled);
  editor.OnMotifChanged(6, 2);  // a motif repeat repeats the note lengths too
  EXPECT_EQ(form().noteLengthSource[6], 1);
  EXPECT_FALSE(editor.noteLength[6].enabled);
}

TEST_F(FormEditorTest, MelodyKeyAndChordChangesReachEveryBarThatRepeatsTheBar) {
  form().lastPeriod = 1;
  form().keyIndex[1] = 5;
  form().SetChord(1, "E");
  editor.Initialise();
  editor.SelectTab(1);
  editor.OnMelodyChanged(0, 4);  // bar 9 repeats bar 4
  editor.OnMelodyChanged(5, 9);  // bar 14 repeats bar 9
  editor.SelectTab(0);
  editor.OnMelodyChanged(3, 2);  // bar 4 now repeats bar 2
  for (int bar : {3, 8, 13}) {
    EXPECT_EQ(form().Chord(bar), "E") << bar;
    EXPECT_EQ(form().keyIndex[bar], 5) << bar;
  }
  editor.OnKeyChanged(1, 27);
  editor.OnChordChanged(1, "Gsus4");
  for (int bar : {1, 3, 8, 13}) {
    EXPECT_EQ(form().keyIndex[bar], 27) << bar;
    EXPECT_EQ(form().Chord(bar), "Gsus4") << bar;
  }
  EXPECT_EQ(editor.chord[3].text, "Gsus4");
  EXPECT_EQ(form().Chord(2), "C");
}

TEST_F(FormEditorTest, ChordTextIsCutToNineCharacters) {
  editor.Initialise();
  editor.OnChordChanged(2, "Cmaj7add9b13");
  EXPECT_EQ(form().Chord(2), "Cmaj7add9");
  EXPECT_EQ(editor.chord[2].text, "Cmaj7add9b13");  // the field keeps what is typed
}

TEST_F(FormEditorTest, EventsWhileRefreshingOrOutsideTheListsChangeNothing) {
  editor.Initialise();
  const SongForm before = form();
  editor.refreshing = 1;
  editor.OnMelodyChanged(3, 1);
  editor.OnChordChanged(3, "X");
  editor.refreshing = 0;
  editor.OnMelodyChanged(2, 3);  // bar 3 lists only positions 0..2
  editor.OnKeyChanged(1, 30);
  editor.OnNoteLengthChanged(8, 0);
  EXPECT_EQ(form(), before);
}

// ---- forms from a damaged store -----------------------------------------------------------

TEST_F(FormEditorTest, DamagedFormsAreShownWithImpossibleValuesAsNew) {
  SongForm& f = form();
  f = SongForm{};  // the all-zero form: bar 0 refers to itself
  f.lastPeriod = 40;
  f.periodSource[0] = 0;   // the first period marked as a copy
  f.periodSource[1] = 2;   // a later period
  f.melodySource[3] = 7;   // a later bar
  f.noteLengthSource[5] = 1000;  // far outside the list
  f.keyIndex[6] = 99;
  for (auto& c : f.chordSymbol) c.fill('\x81');  // half a character, no NUL
  editor.Initialise();
  EXPECT_EQ(editor.tabs.size(), 12u);
  EXPECT_TRUE(editor.newPeriod.checked);
  EXPECT_EQ(editor.melody[3].selection, 0);
  EXPECT_EQ(editor.noteLength[5].selection, 0);
  EXPECT_EQ(editor.key[6].selection, -1);
  editor.SelectTab(1);
  EXPECT_TRUE(editor.newPeriod.checked);
  f.lastPeriod = -3;
  editor.AfterCustomFormLoad();
  EXPECT_EQ(editor.tabs.size(), 1u);
  editor.OnChordChanged(0, "Am");  // editing still works
  EXPECT_EQ(f.Chord(0), "Am");
}

}  // namespace
}  // namespace vema
