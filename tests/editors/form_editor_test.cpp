// The form editor: every handler's changes to the form and to the enabled state of the
// controls it touches, the source lists, period copies and resets, and damaged forms.
#include "editors/form_editor.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "song/text.h"
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

// ---- the bar handlers ---------------------------------------------------------------------

// Column 4 of period 2 (bar 12, flat index 11); bar i has key 10 + i and chord "c<i>".
TEST_F(FormEditorTest, EachBarHandlerChangesItsBarAndEnablesTheControlsOfItsColumn) {
  using Action = std::function<void(FormEditor&)>;
  const struct Case {
    const char* name;
    Action action;
    int melody, motif, noteLength, key;
    const char* chord;
    std::array<bool, 5> enabled;  // melody, motif, note length, key, chord
  } cases[] = {
      {"melody repeats bar 5", [](FormEditor& e) { e.OnMelodyChanged(3, 5); },
       4, 4, 4, 14, "c4", {true, false, false, false, false}},
      {"melody repeats bar 1", [](FormEditor& e) { e.OnMelodyChanged(3, 1); },
       0, 0, 0, 10, "c0", {true, false, false, false, false}},
      {"melody repeats bar 5, shown again",
       [](FormEditor& e) { e.OnMelodyChanged(3, 5), e.SelectTab(0), e.SelectTab(1); },
       4, 4, 4, 14, "c4", {true, false, false, false, false}},
      {"melody new again: key and chord of the first bar",
       [](FormEditor& e) { e.OnMelodyChanged(3, 5), e.OnMelodyChanged(3, 0); },
       -1, -1, -1, 10, "c0", {true, true, true, true, true}},
      {"last position of the list", [](FormEditor& e) { e.OnMelodyChanged(3, 11); },
       10, 10, 10, 20, "c10", {true, false, false, false, false}},
      {"motif repeats bar 1", [](FormEditor& e) { e.OnMotifChanged(3, 1); },
       -1, 0, 0, 21, "c11", {true, true, false, true, true}},
      {"motif repeats bar 1, shown again",
       [](FormEditor& e) { e.OnMotifChanged(3, 1), e.SelectTab(0), e.SelectTab(1); },
       -1, 0, 0, 21, "c11", {true, true, false, true, true}},
      {"motif new again", [](FormEditor& e) { e.OnMotifChanged(3, 4), e.OnMotifChanged(3, 0); },
       -1, -1, -1, 21, "c11", {true, true, true, true, true}},
      {"note lengths repeat bar 7", [](FormEditor& e) { e.OnNoteLengthChanged(3, 7); },
       -1, -1, 6, 21, "c11", {true, true, true, true, true}},
      {"key", [](FormEditor& e) { e.OnKeyChanged(3, 29); },
       -1, -1, -1, 29, "c11", {true, true, true, true, true}},
      {"chord", [](FormEditor& e) { e.OnChordChanged(3, "Am7"); },
       -1, -1, -1, 21, "Am7", {true, true, true, true, true}},
      {"positions past the lists change nothing",
       [](FormEditor& e) {
         e.OnMelodyChanged(3, 12), e.OnMotifChanged(3, 12), e.OnNoteLengthChanged(3, 12);
         e.OnMelodyChanged(3, -1), e.OnMotifChanged(3, -1), e.OnNoteLengthChanged(3, -1);
         e.OnKeyChanged(3, 30), e.OnKeyChanged(3, -1), e.OnChordChanged(8, "X");
       },
       -1, -1, -1, 21, "c11", {true, true, true, true, true}},
  };
  for (const Case& c : cases) {
    form() = BlankForm();
    form().lastPeriod = 1;
    for (int i = 0; i < 16; ++i) {
      form().keyIndex[i] = 10 + i;
      form().SetChord(i, "c" + std::to_string(i));
    }
    FormEditor e(ts.session->Editors());
    e.Initialise();
    e.SelectTab(1);
    SCOPED_TRACE(c.name);
    c.action(e);
    const int bar = 11;
    const std::string chord = c.chord;
    EXPECT_EQ(std::tuple(form().melodySource[bar], form().motifSource[bar],
                         form().noteLengthSource[bar], form().keyIndex[bar], form().Chord(bar)),
              std::tuple(c.melody, c.motif, c.noteLength, c.key, chord));
    // The lists show the stored values, the chord edit the stored text.
    EXPECT_EQ(std::tuple(e.melody[3].selection, e.motif[3].selection, e.noteLength[3].selection,
                         e.key[3].selection, e.chord[3].text),
              std::tuple(c.melody + 1, c.motif + 1, c.noteLength + 1, c.key, chord));
    const std::array<bool, 5> enabled = {e.melody[3].enabled, e.motif[3].enabled,
                                         e.noteLength[3].enabled, e.key[3].enabled,
                                         e.chord[3].enabled};
    EXPECT_EQ(enabled, c.enabled);
    // Each source list offers new, the eight bars of period 1 and bars 1..3 of period 2.
    for (const ListState* list : {&e.melody[3], &e.motif[3], &e.noteLength[3]}) {
      EXPECT_EQ(list->items.size(), 12u);
    }
    // The other columns keep their values.
    EXPECT_EQ(std::tuple(e.key[2].selection, e.chord[4].text), std::tuple(20, "c12"));
  }
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
    EXPECT_EQ(std::tuple(form().Chord(bar), form().keyIndex[bar]), std::tuple(std::string("E"), 5))
        << bar;
  }
  editor.OnKeyChanged(1, 27);
  editor.OnChordChanged(1, "Gsus4");
  for (int bar : {1, 3, 8, 13}) {
    EXPECT_EQ(std::tuple(form().Chord(bar), form().keyIndex[bar]),
              std::tuple(std::string("Gsus4"), 27))
        << bar;
  }
  EXPECT_EQ(std::tuple(editor.chord[3].text, editor.key[3].selection),
            std::tuple(std::string("Gsus4"), 27));
  EXPECT_EQ(std::tuple(form().Chord(2), form().keyIndex[2]), std::tuple(std::string("C"), 0));
}

TEST_F(FormEditorTest, TheChordFieldHoldsWhatIsStoredWithoutHalfACharacter) {
  const std::pair<const char*, const char*> cases[] = {
      {"Cmaj7add9b13", "Cmaj7add9"},
      {"あいうえおかきくけこ", "あいうえ"},  // the fifth kana would be bytes 9 and 10
      {"aあいうえお", "aあいうえ"},
      {"", ""}};
  editor.Initialise();
  for (const auto& [typed, kept] : cases) {
    editor.OnChordChanged(2, typed);
    EXPECT_EQ(editor.chord[2].text, kept) << typed;
    EXPECT_EQ(form().Chord(2), Utf8ToCp932(kept)) << typed;
  }
}

// ---- the period handlers ------------------------------------------------------------------

// Four periods; every case starts from a freshly opened editor.
TEST_F(FormEditorTest, EachPeriodHandlerChangesThePeriodAndEnablesItsControls) {
  using Action = std::function<void(FormEditor&, SongForm&)>;
  const struct Case {
    const char* name;
    Action action;
    int period;
    size_t tabs;
    bool copyEnabled, copyChecked;
    std::vector<std::string> sources;
    int source;  // selection of the copy-source list, also the stored period source
    int firstBarSource;
  } cases[] = {
      {"opened", [](FormEditor&, SongForm&) {}, 0, 4, false, false, {}, -1, -1},
      {"tab 3", [](FormEditor& e, SongForm&) { e.SelectTab(2); },
       2, 4, true, false, {" 1", " 2"}, -1, -1},
      {"copy in period 3", [](FormEditor& e, SongForm&) { e.SelectTab(2), e.PressCopyPeriod(); },
       2, 4, true, true, {" 1", " 2"}, 0, 0},
      {"copy of period 2",
       [](FormEditor& e, SongForm&) { e.SelectTab(2), e.PressCopyPeriod(), e.SelectCopySource(1); },
       2, 4, true, true, {" 1", " 2"}, 1, 8},
      {"edits of the source reach the copy when it is shown again",
       [](FormEditor& e, SongForm&) {
         e.SelectTab(2), e.PressCopyPeriod(), e.SelectCopySource(1), e.SelectTab(1);
         e.OnChordChanged(4, "F#m7"), e.OnKeyChanged(4, 16), e.SelectTab(2);
       },
       2, 4, true, true, {" 1", " 2"}, 1, 8},
      {"copy of period 1 again",
       [](FormEditor& e, SongForm&) {
         e.SelectTab(2), e.PressCopyPeriod(), e.SelectCopySource(1), e.SelectCopySource(0);
       },
       2, 4, true, true, {" 1", " 2"}, 0, 0},
      {"new again keeps the bars",
       [](FormEditor& e, SongForm&) {
         e.SelectTab(2), e.PressCopyPeriod(), e.SelectCopySource(1), e.PressNewPeriod();
       },
       2, 4, true, false, {" 1", " 2"}, -1, 8},
      {"period 1 after a copied period shows no source",
       [](FormEditor& e, SongForm&) { e.SelectTab(2), e.PressCopyPeriod(), e.SelectTab(0); },
       0, 4, false, false, {}, -1, -1},
      {"nothing to copy in period 1", [](FormEditor& e, SongForm&) { e.PressCopyPeriod(); },
       0, 4, false, false, {}, -1, -1},
      {"sources that are not earlier periods, tabs that do not exist",
       [](FormEditor& e, SongForm&) {
         e.SelectTab(2), e.SelectCopySource(0), e.PressCopyPeriod(), e.SelectCopySource(2);
         e.SelectCopySource(-1), e.SelectTab(4), e.SelectTab(-1);
       },
       2, 4, true, true, {" 1", " 2"}, 0, 0},
      {"two periods", [](FormEditor& e, SongForm&) { e.SelectTab(2), e.SelectPeriodCount(2); },
       0, 2, false, false, {}, -1, -1},
      {"one period", [](FormEditor& e, SongForm&) { e.SelectPeriodCount(1); },
       0, 1, false, false, {}, -1, -1},
      {"no such counts",
       [](FormEditor& e, SongForm&) { e.SelectPeriodCount(0), e.SelectPeriodCount(13); },
       0, 4, false, false, {}, -1, -1},
      {"a loaded form of six periods",
       [](FormEditor& e, SongForm& f) {
         e.SelectTab(3), f.lastPeriod = 5, e.AfterCustomFormLoad();
       },
       0, 6, false, false, {}, -1, -1},
      {"after saving, the shown period stays",
       [](FormEditor& e, SongForm& f) { e.SelectTab(3), f.periodSource[3] = 1, e.AfterCustomFormSave(); },
       3, 4, true, true, {" 1", " 2", " 3"}, 1, 8},
  };
  for (const Case& c : cases) {
    form() = BlankForm();
    form().lastPeriod = 3;
    for (int i = 0; i < 24; ++i) {
      form().keyIndex[i] = i % 30;
      form().SetChord(i, "c" + std::to_string(i));
    }
    FormEditor e(ts.session->Editors());
    e.Initialise();
    SCOPED_TRACE(c.name);
    c.action(e, form());
    EXPECT_EQ(e.currentPeriod, c.period);
    EXPECT_EQ(e.periodLabel.text,
              "楽節 " + std::string(c.period < 9 ? " " : "") + std::to_string(c.period + 1));
    EXPECT_EQ(std::tuple(e.tabs.size(), form().PeriodCount()),
              std::tuple(c.tabs, static_cast<int>(c.tabs)));
    for (size_t n = 0; n < e.periodCount.size(); ++n)
      EXPECT_EQ(e.periodCount[n].checked, n + 1 == c.tabs) << n;
    EXPECT_EQ(
        std::tuple(e.copyPeriod.enabled, e.copyPeriod.checked, e.newPeriod.checked,
                   e.copySource.enabled, e.copySourceLabel.enabled),
        std::tuple(c.copyEnabled, c.copyChecked, !c.copyChecked, c.copyChecked, c.copyChecked));
    EXPECT_EQ(e.copySource.items, c.sources);
    EXPECT_EQ(std::tuple(e.copySource.selection, form().periodSource[static_cast<size_t>(c.period)],
                         form().melodySource[static_cast<size_t>(c.period * 8)]),
              std::tuple(c.source, c.source, c.firstBarSource));
    // A copy repeats every bar of its source, with its key and chord.
    for (int b = 0; c.copyChecked && b < 8; ++b) {
      const size_t to = static_cast<size_t>(c.period * 8 + b);
      const size_t from = static_cast<size_t>(c.source * 8 + b);
      const int key = form().keyIndex[from];
      const std::string chord(form().Chord(from));
      EXPECT_EQ(std::tuple(form().motifSource[to], form().noteLengthSource[to], form().keyIndex[to],
                           form().Chord(to), e.key[b].selection, e.chord[b].text),
                std::tuple(static_cast<int>(from), static_cast<int>(from), key, chord, key, chord))
          << b;
    }
    // A copied period has every bar control disabled; a new one its melody lists.
    EXPECT_EQ(e.melody[0].enabled, !c.copyChecked);
    EXPECT_EQ(e.chord[7].enabled, !c.copyChecked && c.firstBarSource < 0);
  }
}

// ---- source lists, copies and resets ------------------------------------------------------

TEST_F(FormEditorTest, EachBarListsNewAndEveryEarlierBarInOrder) {
  form().lastPeriod = 2;
  form().keyIndex[3] = 14;
  editor.Initialise();
  EXPECT_EQ(editor.melody[0].items, std::vector<std::string>{" 新規"});
  EXPECT_EQ(editor.key[3].SelectedText(), "Ces(Mb7)");
  EXPECT_EQ(editor.key[3].items.size(), 30u);
  editor.SelectTab(1);
  EXPECT_EQ(editor.noteLength[2].items,
            (std::vector<std::string>{" 新規", " 1- 1", " 1- 2", " 1- 3", " 1- 4", " 1- 5",
                                      " 1- 6", " 1- 7", " 1- 8", " 2- 1", " 2- 2"}));
  EXPECT_EQ(editor.melody[2].items, editor.noteLength[2].items);
  editor.SelectTab(2);
  EXPECT_EQ(editor.melody[0].items.size(), 17u);
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
      EXPECT_EQ(std::tuple(form().melodySource[i], form().motifSource[i],
                           form().noteLengthSource[i], form().keyIndex[i], form().Chord(i)),
                std::tuple(-1, -1, -1, 15 + i % 8, std::string("Dm")))
          << i;
    }
  }
}

TEST_F(FormEditorTest, EventsWhileRefreshingChangeNothing) {
  form().lastPeriod = 2;
  editor.Initialise();
  const SongForm before = form();
  editor.refreshing = 1;
  editor.OnMelodyChanged(3, 1);
  editor.OnMotifChanged(3, 1);
  editor.OnNoteLengthChanged(3, 1);
  editor.OnKeyChanged(3, 4);
  editor.OnChordChanged(3, "X");
  editor.SelectPeriodCount(1);
  editor.SelectTab(1);
  editor.PressNewPeriod();
  editor.currentPeriod = 1;
  editor.PressCopyPeriod();
  editor.SelectCopySource(0);
  EXPECT_EQ(form(), before);
  EXPECT_EQ(editor.currentTab, 0);
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
