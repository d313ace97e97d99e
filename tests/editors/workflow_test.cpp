// A person's whole round: a 16-bar form with a copied period and repeated bars is built,
// stored under a name, reloaded after a restart; the style is edited, saved as a .ton file and
// loaded again.
#include <gtest/gtest.h>

#include "editors/custom_form_dialog.h"
#include "editors/form_editor.h"
#include "editors/style_editor.h"
#include "editors/style_select.h"
#include "support/test_support.h"

namespace vema {
namespace {

void CopyDefaults(const testing::TempDir& dir) {
  for (const char* name : {"default.mld", "default.ton", "default.db"}) {
    std::filesystem::copy_file(testing::DataDir() + "/" + name, dir.File(name));
  }
}

TEST(EditorsWorkflow, FormAndStyleSurviveARestart) {
  testing::TempDir dir;
  CopyDefaults(dir);
  testing::TestSession first(dir.str());
  Session& s = *first.session;
  StartUp(s);
  const int storedBefore = s.customForms.Count();
  ASSERT_LT(storedBefore, kMaxCustomForms);

  FormEditor editor(s);
  editor.Initialise();
  editor.SelectPeriodCount(2);
  const char* chords[] = {"C", "Am", "Dm7", "G7", "C", "F", "G7", "C"};
  for (int c = 0; c < 8; ++c) {
    editor.OnMelodyChanged(c, 0);
    editor.OnChordChanged(c, chords[c]);
  }
  editor.OnMelodyChanged(4, 1);    // bar 5 repeats bar 1
  editor.OnMotifChanged(6, 3);     // bar 7 repeats the motif of bar 3
  editor.OnNoteLengthChanged(7, 2);  // bar 8 repeats the note lengths of bar 2
  editor.OnKeyChanged(0, 8);       // F major, carried to bar 5
  editor.SelectTab(1);
  editor.PressCopyPeriod();        // period 2 copies period 1 ...
  editor.PressNewPeriod();         // ... and its last bar gets its own melody
  editor.OnMelodyChanged(7, 0);
  editor.OnChordChanged(7, "F");
  const SongForm built = s.form;
  EXPECT_EQ(built.lastPeriod, 1);
  EXPECT_EQ(built.melodySource[4], 0);
  EXPECT_EQ(built.keyIndex[4], 8);
  EXPECT_EQ(built.melodySource[12], 4);
  EXPECT_EQ(built.melodySource[15], -1);
  EXPECT_EQ(built.Chord(15), "F");

  CustomFormDialog save(s, CustomFormMode::kSave);
  save.Show();
  first.platform.promptAnswers.push_back("ＡＢ１６小節");
  save.PressAdd();

  StyleEditor styleEditor(s);
  for (int n = 0; n < 11; ++n) styleEditor.EditOnBeat(n, n == 2 ? "100" : "0");
  styleEditor.EditSetting(2, "4");
  first.platform.fileAnswers.push_back(dir.File("mine.ton"));
  ASSERT_TRUE(styleEditor.PressSave());
  const MelodyStyleDb edited = s.style;
  EXPECT_EQ(first.platform.StopMessageCount(), 0);

  // Restart: the defaults come back, then the stored form and the saved style are loaded.
  testing::TestSession second(dir.str());
  Session& t = *second.session;
  StartUp(t);
  EXPECT_NE(t.style, edited);
  ASSERT_EQ(t.customForms.Count(), storedBefore + 1);
  CustomFormDialog load(t, CustomFormMode::kLoad);
  load.Show();
  EXPECT_EQ(load.list.items.back(), "ＡＢ１６小節");
  load.SelectEntry(storedBefore);
  load.PressLoad();
  EXPECT_EQ(t.form, built);

  StyleSelect window(t);
  second.platform.fileAnswers.push_back(dir.File("mine.ton"));
  ASSERT_TRUE(window.ChooseDbFile(1));
  EXPECT_EQ(window.nameField[1].text, "mine.ton");
  EXPECT_EQ(t.style, edited);
  EXPECT_EQ(second.platform.StopMessageCount(), 0);

  // The form editor shows the loaded form as it was built.
  FormEditor again(t);
  again.Initialise();
  EXPECT_EQ(again.tabs.size(), 2u);
  EXPECT_EQ(again.melody[4].selection, 1);
  EXPECT_FALSE(again.chord[4].enabled);
  again.SelectTab(1);
  EXPECT_TRUE(again.newPeriod.checked);
  EXPECT_EQ(again.chord[7].text, "F");
  // Showing changes nothing in the song's bars (later periods are only brought into their
  // reset state).
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(t.form.melodySource[i], built.melodySource[i]);
    EXPECT_EQ(t.form.motifSource[i], built.motifSource[i]);
    EXPECT_EQ(t.form.noteLengthSource[i], built.noteLengthSource[i]);
    EXPECT_EQ(t.form.keyIndex[i], built.keyIndex[i]);
    EXPECT_EQ(t.form.Chord(i), built.Chord(i));
  }
  EXPECT_EQ(t.form.periodSource[1], -1);
}

}  // namespace
}  // namespace vema
