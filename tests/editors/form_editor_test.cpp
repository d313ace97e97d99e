// The form editor: source lists, period copies and resets, the bar handlers and damaged forms.
#include "editors/form_editor.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace vema {
namespace {

class FormEditorTest : public ::testing::Test {
 protected:
  FormEditorTest() : ts(dir.str()), editor(*ts.session) {
    form() = BlankForm();
  }
  SongForm& form() { return ts.session->form; }

  testing::TempDir dir;
  testing::TestSession ts;
  FormEditor editor;
};

// ---- source lists of each bar -------------------------------------------------------------

TEST_F(FormEditorTest, FirstBarOfFirstPeriodOffersOnlyNew) {
  editor.Initialise();
  EXPECT_EQ(editor.melody[0].items, std::vector<std::string>{" 新規"});
  EXPECT_EQ(editor.melody[0].selection, 0);
  EXPECT_EQ(editor.melody[7].items.size(), 8u);
  EXPECT_EQ(editor.melody[7].items.back(), " 1- 7");
}

TEST_F(FormEditorTest, ThirdBarOfSecondPeriodListsEarlierBarsInOrder) {
  form().lastPeriod = 1;
  editor.Initialise();
  editor.SelectTab(1);
  const std::vector<std::string> expected = {" 新規", " 1- 1", " 1- 2", " 1- 3", " 1- 4", " 1- 5",
                                             " 1- 6", " 1- 7", " 1- 8", " 2- 1", " 2- 2"};
  EXPECT_EQ(editor.melody[2].items, expected);
  EXPECT_EQ(editor.motif[2].items, expected);
  EXPECT_EQ(editor.noteLength[2].items, expected);
}

TEST_F(FormEditorTest, KeyListsHoldTheThirtyKeysAndSelectTheStoredKey) {
  form().keyIndex[3] = 14;
  editor.Initialise();
  ASSERT_EQ(editor.key[3].items.size(), 30u);
  EXPECT_EQ(editor.key[3].items[0], "C  ");
  EXPECT_EQ(editor.key[3].items[29], "as(mb7)");
  EXPECT_EQ(editor.key[3].SelectedText(), "Ces(Mb7)");
}

TEST_F(FormEditorTest, TabsAndLabelFollowThePeriodCount) {
  editor.Initialise();
  editor.SelectPeriodCount(3);
  EXPECT_EQ(editor.tabs, (std::vector<std::string>{"楽式01", "楽式02", "楽式03"}));
  EXPECT_EQ(form().lastPeriod, 2);
  EXPECT_TRUE(editor.periodCount[2].checked);
  EXPECT_FALSE(editor.periodCount[0].checked);
  editor.SelectTab(2);
  EXPECT_EQ(editor.periodLabel.text, "楽節  3");
  EXPECT_EQ(editor.melody[0].items.size(), 17u);
}

// ---- period copies and resets -----------------------------------------------------------

TEST_F(FormEditorTest, CopyButtonIsDisabledInTheFirstPeriod) {
  form().lastPeriod = 2;
  editor.Initialise();
  EXPECT_FALSE(editor.copyPeriod.enabled);
  editor.PressCopyPeriod();
  EXPECT_EQ(form().periodSource[0], -1);
  editor.SelectTab(1);
  EXPECT_TRUE(editor.copyPeriod.enabled);
}

TEST_F(FormEditorTest, CopyingAPeriodWritesSourcesKeysAndChordsAndDisablesTheBars) {
  form().lastPeriod = 2;
  for (int b = 0; b < 8; ++b) {
    form().keyIndex[b] = b + 1;
    form().keyIndex[8 + b] = 20 + b;
    form().SetChord(b, "Am" + std::to_string(b));
    form().SetChord(8 + b, "G" + std::to_string(b));
  }
  editor.Initialise();
  editor.SelectTab(2);
  editor.PressCopyPeriod();
  EXPECT_TRUE(editor.copyPeriod.checked);
  EXPECT_FALSE(editor.newPeriod.checked);
  EXPECT_TRUE(editor.copySource.enabled);
  EXPECT_EQ(editor.copySource.items, (std::vector<std::string>{" 1", " 2"}));
  EXPECT_EQ(editor.copySource.selection, 0);
  for (int b = 0; b < 8; ++b) {
    EXPECT_EQ(form().melodySource[16 + b], b);
    EXPECT_EQ(form().motifSource[16 + b], b);
    EXPECT_EQ(form().noteLengthSource[16 + b], b);
    EXPECT_EQ(form().keyIndex[16 + b], b + 1);
    EXPECT_EQ(form().Chord(16 + b), "Am" + std::to_string(b));
    EXPECT_FALSE(editor.melody[b].enabled);
    EXPECT_FALSE(editor.motif[b].enabled);
    EXPECT_FALSE(editor.noteLength[b].enabled);
    EXPECT_FALSE(editor.key[b].enabled);
    EXPECT_FALSE(editor.chord[b].enabled);
    EXPECT_EQ(editor.melody[b].selection, b + 1);
  }
  EXPECT_EQ(form().periodSource[2], 0);

  editor.SelectCopySource(1);
  EXPECT_EQ(form().periodSource[2], 1);
  for (int b = 0; b < 8; ++b) {
    EXPECT_EQ(form().melodySource[16 + b], 8 + b);
    EXPECT_EQ(form().keyIndex[16 + b], 20 + b);
    EXPECT_EQ(form().Chord(16 + b), "G" + std::to_string(b));
  }
}

TEST_F(FormEditorTest, ShowingACopiedPeriodBringsItUpToDateWithItsSource) {
  form().lastPeriod = 1;
  editor.Initialise();
  editor.SelectTab(1);
  editor.PressCopyPeriod();
  editor.SelectTab(0);
  editor.OnChordChanged(4, "F#m7");
  editor.OnKeyChanged(4, 16);
  editor.SelectTab(1);
  EXPECT_EQ(form().Chord(12), "F#m7");
  EXPECT_EQ(form().keyIndex[12], 16);
  EXPECT_EQ(editor.chord[4].text, "F#m7");
}

TEST_F(FormEditorTest, NewPeriodAfterACopyKeepsTheBarsAndEnablesThem) {
  form().lastPeriod = 1;
  editor.Initialise();
  editor.SelectTab(1);
  editor.PressCopyPeriod();
  editor.PressNewPeriod();
  EXPECT_EQ(form().periodSource[1], -1);
  EXPECT_TRUE(editor.newPeriod.checked);
  EXPECT_FALSE(editor.copySource.enabled);
  EXPECT_FALSE(editor.copySourceLabel.enabled);
  EXPECT_EQ(form().melodySource[9], 1);
  EXPECT_TRUE(editor.melody[1].enabled);
  EXPECT_EQ(editor.melody[1].selection, 2);
  EXPECT_FALSE(editor.motif[1].enabled);
  EXPECT_FALSE(editor.chord[1].enabled);
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
  editor.OnKeyChanged(1, 9);
  editor.OnMelodyChanged(2, 5);

  editor.SelectPeriodCount(2);
  editor.SelectPeriodCount(4);
  EXPECT_EQ(editor.currentPeriod, 0);
  EXPECT_EQ(editor.currentTab, 0);
  EXPECT_EQ(editor.tabs.size(), 4u);
  for (int p = 2; p < 12; ++p) {
    EXPECT_EQ(form().periodSource[p], -1) << p;
    for (int b = 0; b < 8; ++b) {
      const int i = p * 8 + b;
      EXPECT_EQ(form().melodySource[i], -1);
      EXPECT_EQ(form().motifSource[i], -1);
      EXPECT_EQ(form().noteLengthSource[i], -1);
      EXPECT_EQ(form().keyIndex[i], 15 + b);
      EXPECT_EQ(form().Chord(i), "Dm");
    }
  }
}

// ---- the bar handlers ---------------------------------------------------------------------

TEST_F(FormEditorTest, MelodyRepeatCopiesSourcesKeyAndChordAndDisablesTheColumn) {
  form().keyIndex[2] = 7;
  form().SetChord(2, "Bb7");
  editor.Initialise();
  editor.OnMelodyChanged(4, 3);
  EXPECT_EQ(form().melodySource[4], 2);
  EXPECT_EQ(form().motifSource[4], 2);
  EXPECT_EQ(form().noteLengthSource[4], 2);
  EXPECT_EQ(form().keyIndex[4], 7);
  EXPECT_EQ(form().Chord(4), "Bb7");
  EXPECT_TRUE(editor.melody[4].enabled);
  EXPECT_EQ(editor.melody[4].selection, 3);
  EXPECT_FALSE(editor.motif[4].enabled);
  EXPECT_EQ(editor.motif[4].selection, 3);
  EXPECT_FALSE(editor.noteLength[4].enabled);
  EXPECT_FALSE(editor.key[4].enabled);
  EXPECT_EQ(editor.key[4].selection, 7);
  EXPECT_FALSE(editor.chord[4].enabled);
  EXPECT_EQ(editor.chord[4].text, "Bb7");
}

TEST_F(FormEditorTest, ChoosingNewAgainTakesKeyAndChordOfTheFirstBar) {
  form().keyIndex[0] = 3;
  form().SetChord(0, "A");
  form().keyIndex[2] = 7;
  form().SetChord(2, "Bb7");
  editor.Initialise();
  editor.OnMelodyChanged(4, 3);
  editor.OnMelodyChanged(4, 0);
  EXPECT_EQ(form().melodySource[4], -1);
  EXPECT_EQ(form().motifSource[4], -1);
  EXPECT_EQ(form().noteLengthSource[4], -1);
  EXPECT_EQ(form().keyIndex[4], 3);
  EXPECT_EQ(form().Chord(4), "A");
  EXPECT_TRUE(editor.motif[4].enabled);
  EXPECT_TRUE(editor.noteLength[4].enabled);
  EXPECT_TRUE(editor.key[4].enabled);
  EXPECT_TRUE(editor.chord[4].enabled);
  EXPECT_EQ(editor.chord[4].text, "A");
}

TEST_F(FormEditorTest, MelodyChangePropagatesToBarsThatRepeatTheBar) {
  form().lastPeriod = 1;
  form().keyIndex[1] = 5;
  form().SetChord(1, "E");
  editor.Initialise();
  editor.OnMelodyChanged(3, 0);   // bar 3 new
  editor.SelectTab(1);
  editor.OnMelodyChanged(0, 4);   // bar 8 repeats bar 3
  editor.OnMelodyChanged(5, 9);   // bar 13 repeats bar 8
  editor.SelectTab(0);
  editor.OnMelodyChanged(3, 2);   // bar 3 now repeats bar 1
  EXPECT_EQ(form().Chord(3), "E");
  EXPECT_EQ(form().Chord(8), "E");
  EXPECT_EQ(form().Chord(13), "E");
  EXPECT_EQ(form().keyIndex[3], 5);
  EXPECT_EQ(form().keyIndex[8], 5);
  EXPECT_EQ(form().keyIndex[13], 5);
}

TEST_F(FormEditorTest, MotifRepeatSetsNoteLengthsAndDisablesTheirList) {
  editor.Initialise();
  editor.OnMotifChanged(6, 2);
  EXPECT_EQ(form().melodySource[6], -1);
  EXPECT_EQ(form().motifSource[6], 1);
  EXPECT_EQ(form().noteLengthSource[6], 1);
  EXPECT_FALSE(editor.noteLength[6].enabled);
  EXPECT_EQ(editor.noteLength[6].selection, 2);
  editor.OnMotifChanged(6, 0);
  EXPECT_EQ(form().noteLengthSource[6], -1);
  EXPECT_TRUE(editor.noteLength[6].enabled);
  editor.OnNoteLengthChanged(6, 5);
  EXPECT_EQ(form().noteLengthSource[6], 4);
  EXPECT_EQ(form().motifSource[6], -1);
}

TEST_F(FormEditorTest, KeyChangeReachesRepeatingBarsAndTheirLists) {
  form().lastPeriod = 1;
  editor.Initialise();
  editor.OnMelodyChanged(5, 2);  // bar 5 repeats bar 1
  editor.SelectTab(1);
  editor.OnMelodyChanged(7, 6);  // bar 15 repeats bar 5
  editor.SelectTab(0);
  editor.OnKeyChanged(1, 27);
  EXPECT_EQ(form().keyIndex[1], 27);
  EXPECT_EQ(form().keyIndex[5], 27);
  EXPECT_EQ(form().keyIndex[15], 27);
  EXPECT_EQ(editor.key[5].selection, 27);
  EXPECT_EQ(form().keyIndex[2], 0);
}

TEST_F(FormEditorTest, ChordTypedIntoABarChangesEveryBarThatRepeatsIt) {
  form().lastPeriod = 2;
  editor.Initialise();
  editor.OnMelodyChanged(4, 2);  // bar 4 repeats bar 1
  editor.SelectTab(2);
  editor.OnMelodyChanged(0, 5);  // bar 16 repeats bar 4
  editor.SelectTab(0);
  editor.OnChordChanged(1, "Gsus4");
  EXPECT_EQ(form().Chord(1), "Gsus4");
  EXPECT_EQ(form().Chord(4), "Gsus4");
  EXPECT_EQ(form().Chord(16), "Gsus4");
  EXPECT_EQ(editor.chord[4].text, "Gsus4");
  EXPECT_EQ(form().Chord(2), "C");
}

TEST_F(FormEditorTest, ChordTextIsCutToNineCharacters) {
  editor.Initialise();
  editor.OnChordChanged(2, "Cmaj7add9b13");
  EXPECT_EQ(form().Chord(2), "Cmaj7add9");
  EXPECT_EQ(editor.chord[2].text, "Cmaj7add9b13");  // the field keeps what is typed
  editor.OnChordChanged(2, "");
  EXPECT_EQ(form().Chord(2), "");
}

TEST_F(FormEditorTest, HandlersDoNothingWhileTheEditorRefreshes) {
  editor.Initialise();
  const SongForm before = form();
  editor.refreshing = 1;
  editor.OnMelodyChanged(3, 1);
  editor.OnMotifChanged(3, 1);
  editor.OnNoteLengthChanged(3, 1);
  editor.OnKeyChanged(3, 4);
  editor.OnChordChanged(3, "X");
  EXPECT_EQ(form(), before);
}

TEST_F(FormEditorTest, PositionsOutsideTheListAreIgnored) {
  editor.Initialise();
  const SongForm before = form();
  editor.OnMelodyChanged(2, 3);  // bar 3 lists only positions 0..2
  editor.OnMotifChanged(0, -1);
  editor.OnKeyChanged(1, 30);
  editor.OnNoteLengthChanged(8, 0);
  editor.SelectTab(5);
  editor.SelectCopySource(0);
  EXPECT_EQ(form(), before);
}

// ---- forms from a damaged store -----------------------------------------------------------

TEST_F(FormEditorTest, SourcesThatAreNotEarlierBarsAreShownAsNew) {
  SongForm& f = form();
  f = SongForm{};  // the all-zero form: bar 0 refers to itself
  f.melodySource[3] = 7;   // a later bar
  f.motifSource[4] = -5;
  f.noteLengthSource[5] = 1000;
  f.keyIndex[6] = 99;
  f.periodSource[0] = 0;   // the first period marked as a copy
  for (auto& c : f.chordSymbol) c.fill('X');  // no NUL
  editor.Initialise();
  EXPECT_TRUE(editor.newPeriod.checked);
  EXPECT_EQ(editor.melody[0].selection, 0);
  EXPECT_TRUE(editor.motif[0].enabled);
  EXPECT_EQ(editor.melody[3].selection, 0);
  EXPECT_TRUE(editor.key[3].enabled);
  EXPECT_EQ(editor.motif[4].selection, 0);
  EXPECT_EQ(editor.noteLength[5].selection, 0);
  EXPECT_EQ(editor.key[6].selection, -1);
  EXPECT_EQ(editor.chord[1].text, "XXXXXXXXXX");
  // Editing still works and writes only sound values.
  editor.OnChordChanged(0, "Am");
  editor.OnKeyChanged(0, 2);
  EXPECT_EQ(f.Chord(0), "Am");
  EXPECT_EQ(f.melodySource[3], 7);
  EXPECT_EQ(f.Chord(3), "XXXXXXXXXX");
}

TEST_F(FormEditorTest, APeriodCopyingALaterPeriodIsShownAsNew) {
  form().lastPeriod = 2;
  form().periodSource[1] = 2;
  form().periodSource[2] = 11;
  form().melodySource[9] = 9;
  editor.Initialise();
  editor.SelectTab(1);
  EXPECT_TRUE(editor.newPeriod.checked);
  EXPECT_FALSE(editor.copySource.enabled);
  EXPECT_TRUE(editor.melody[1].enabled);
  EXPECT_EQ(editor.melody[1].selection, 0);
  editor.SelectTab(2);
  EXPECT_TRUE(editor.newPeriod.checked);
}

TEST_F(FormEditorTest, AnOutOfRangePeriodCountIsShownClamped) {
  form().lastPeriod = 40;
  editor.Initialise();
  EXPECT_EQ(editor.tabs.size(), 12u);
  EXPECT_TRUE(editor.periodCount[11].checked);
  form().lastPeriod = -3;
  editor.AfterCustomFormLoad();
  EXPECT_EQ(editor.tabs.size(), 1u);
  EXPECT_TRUE(editor.periodCount[0].checked);
}

}  // namespace
}  // namespace vema
