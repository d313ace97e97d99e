// The melody style editor: the working copy, apply / cancel / save, the run-limit check.
#include "editors/style_editor.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace vema {
namespace {

class StyleEditorTest : public ::testing::Test {
 protected:
  StyleEditorTest() : ts(dir.str()) {
    int v = 0;
    for (auto& k : session().style.table)
      for (auto& row : k)
        for (auto& x : row) x = v++ % 97;
    before = session().style;
  }
  Session& session() { return *ts.session; }
  ScriptedPlatform& platform() { return ts.platform; }

  testing::TempDir dir;
  testing::TestSession ts;
  MelodyStyleDb before;
};

TEST_F(StyleEditorTest, ApplyChangesExactlyTheEditedValuesOfTheShownRuleAndCancelNone) {
  {
    StyleEditor cancelled(session().Editors());
    cancelled.EditOnBeat(3, "30");
    cancelled.EditSetting(0, "77");
  }  // ｷｬﾝｾﾙ: the editor goes away
  EXPECT_EQ(session().style, before);

  StyleEditor editor(session().Editors());
  editor.SelectTab(1);
  editor.Scroll(ScrollStep::kLineLeft);
  EXPECT_EQ(editor.sourceRule, 0);
  for (int i = 0; i < 14; ++i) editor.Scroll(ScrollStep::kPageRight);  // stops at rule 10
  editor.Scroll(ScrollStep::kLineLeft);
  EXPECT_EQ(editor.onBeat[5].text, std::to_string(before.onBeat(1, 9, 5)));
  editor.EditOnBeat(3, "30");
  editor.EditOffBeat(10, "-4");
  editor.EditSetting(1, "200");
  EXPECT_EQ(editor.PressApply(), std::nullopt);
  MelodyStyleDb expected = before;
  expected.onBeat(1, 9, 3) = 30;
  expected.offBeat(1, 9, 10) = -4;
  expected.settings[1] = 200;
  EXPECT_EQ(session().style, expected);
}

TEST_F(StyleEditorTest, ApplyChecksTheFieldsAndStaysOpenOnTheFirstBadOne) {
  using Column = StyleField::Column;
  const struct {
    Column column;
    const char* text;
    const char* message;  // nullptr: accepted
  } cases[] = {{Column::kOffBeat, "ab", kNotANumberMessage},
               {Column::kSetting, "12", kRunLimitRangeMessage},
               {Column::kSetting, "-1", kRunLimitRangeMessage},
               {Column::kSetting, "11", nullptr},
               {Column::kSetting, "0", nullptr}};
  for (const auto& c : cases) {
    StyleEditor editor(session().Editors());
    platform().messages.clear();
    const StyleField field{c.column, c.column == Column::kSetting ? 2 : 5};
    (c.column == Column::kSetting ? editor.EditSetting(2, c.text) : editor.EditOffBeat(5, c.text));
    EXPECT_EQ(editor.PressApply(), c.message ? std::optional(field) : std::nullopt) << c.text;
    EXPECT_EQ(platform().messages.size(), c.message ? 1u : 0u) << c.text;
    const auto& shown = platform().messages;
    EXPECT_EQ(shown.empty() ? "" : shown[0].text, c.message ? c.message : "") << c.text;
  }
  // What was typed is applied all the same (text that is no number as 0).
  EXPECT_EQ(session().style.offBeat(0, 0, 5), 0);
  EXPECT_EQ(session().style.settings[2], 0);
}

TEST_F(StyleEditorTest, SaveWritesAndAppliesOnlyWhenTheFileIsWritten) {
  StyleEditor editor(session().Editors());
  editor.EditOnBeat(0, "55");
  EXPECT_FALSE(editor.PressSave());  // dialog cancelled
  platform().fileAnswers.push_back(dir.File("no/such/folder/x.ton"));
  EXPECT_FALSE(editor.PressSave());
  EXPECT_EQ(platform().messages.back().text, "File could not created! ");
  EXPECT_EQ(session().style, before);

  const std::string path = dir.File("mine.ton");
  platform().fileAnswers.push_back(path);
  EXPECT_TRUE(editor.PressSave());
  EXPECT_EQ(session().style.onBeat(0, 0, 0), 55);
  MelodyStyleDb loaded;
  ASSERT_TRUE(loaded.Load(path, platform()));
  EXPECT_EQ(loaded, session().style);
}

}  // namespace
}  // namespace vema
