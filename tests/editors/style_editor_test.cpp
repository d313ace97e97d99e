// The melody style editor: the working copy, apply / cancel / save, the run-limit check.
#include "editors/style_editor.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace vema {
namespace {

MelodyStyleDb SampleStyle() {
  MelodyStyleDb db;
  int v = 0;
  for (auto& k : db.table) {
    for (auto& row : k) {
      for (auto& x : row) x = v++ % 97;
    }
  }
  for (size_t i = 0; i < db.settings.size(); ++i) db.settings[i] = static_cast<int32_t>(i) + 3;
  return db;
}

class StyleEditorTest : public ::testing::Test {
 protected:
  StyleEditorTest() : ts(dir.str()) { session().style = SampleStyle(); }
  Session& session() { return *ts.session; }
  ScriptedPlatform& platform() { return ts.platform; }

  testing::TempDir dir;
  testing::TestSession ts;
};

TEST_F(StyleEditorTest, OpeningShowsClassZeroRuleZeroAndBlankCaptions) {
  StyleEditor editor(session());
  EXPECT_EQ(editor.tabs, (std::vector<std::string>{"４分音符以上", "(付点)８分音符", "３連符",
                                                   "その他（短い音長）"}));
  EXPECT_EQ(editor.sourceRuleField.text, "0");
  for (int n = 0; n < 11; ++n) {
    EXPECT_EQ(editor.onBeat[n].text, std::to_string(session().style.onBeat(0, 0, n)));
    EXPECT_EQ(editor.offBeat[n].text, std::to_string(session().style.offBeat(0, 0, n)));
    EXPECT_EQ(editor.onCaption[n].text, "");
  }
  EXPECT_EQ(editor.setting[2].text, "5");
}

TEST_F(StyleEditorTest, ScrollingStaysWithinRulesZeroToTen) {
  StyleEditor editor(session());
  editor.Scroll(ScrollStep::kLineLeft);
  EXPECT_EQ(editor.sourceRule, 0);
  for (int i = 0; i < 14; ++i) editor.Scroll(ScrollStep::kPageRight);
  EXPECT_EQ(editor.sourceRule, 10);
  EXPECT_EQ(editor.sourceRuleField.text, "10");
  EXPECT_EQ(editor.onCaption[0].text, "10");
  editor.Scroll(ScrollStep::kThumbTrack);
  editor.Scroll(ScrollStep::kOther);
  EXPECT_EQ(editor.sourceRule, 10);
  editor.Scroll(ScrollStep::kLineLeft);
  EXPECT_EQ(editor.sourceRule, 9);
  EXPECT_EQ(editor.offCaption[10].text, " 9");
}

TEST_F(StyleEditorTest, TripletTabWithRuleFourShowsThatRow) {
  StyleEditor editor(session());
  for (int i = 0; i < 4; ++i) editor.Scroll(ScrollStep::kLineRight);
  editor.SelectTab(2);
  EXPECT_EQ(editor.currentClass, 2);
  for (int n = 0; n < 11; ++n) {
    EXPECT_EQ(editor.onBeat[n].text, std::to_string(session().style.onBeat(2, 4, n)));
    EXPECT_EQ(editor.offBeat[n].text, std::to_string(session().style.offBeat(2, 4, n)));
  }
}

TEST_F(StyleEditorTest, CancelDropsTheWorkingCopy) {
  const MelodyStyleDb before = session().style;
  {
    StyleEditor editor(session());
    editor.SelectTab(1);
    editor.Scroll(ScrollStep::kLineRight);
    editor.Scroll(ScrollStep::kLineRight);
    editor.EditOnBeat(3, "30");
    editor.EditSetting(0, "77");
  }  // ｷｬﾝｾﾙ: the editor goes away
  EXPECT_EQ(session().style, before);
}

TEST_F(StyleEditorTest, ApplyChangesExactlyTheEditedValues) {
  MelodyStyleDb expected = session().style;
  StyleEditor editor(session());
  editor.SelectTab(1);
  editor.Scroll(ScrollStep::kLineRight);
  editor.Scroll(ScrollStep::kLineRight);
  editor.EditOnBeat(3, "30");
  editor.EditOffBeat(10, "-4");
  editor.EditSetting(1, "200");
  EXPECT_EQ(editor.PressApply(), std::nullopt);
  expected.onBeat(1, 2, 3) = 30;
  expected.offBeat(1, 2, 10) = -4;
  expected.settings[1] = 200;
  EXPECT_EQ(session().style, expected);
  EXPECT_TRUE(platform().messages.empty());
}

TEST_F(StyleEditorTest, NonNumericTextCountsAsZero) {
  EXPECT_EQ(FieldValue("abc"), 0);
  EXPECT_EQ(FieldValue(""), 0);
  EXPECT_EQ(FieldValue(" 12x"), 12);
  EXPECT_EQ(FieldValue("-7"), -7);
  EXPECT_EQ(FieldValue("99999999999999"), 2147483647);
  EXPECT_TRUE(IsWholeNumber(" 42 "));
  EXPECT_TRUE(IsWholeNumber("+5"));
  EXPECT_FALSE(IsWholeNumber("4 2"));
  EXPECT_FALSE(IsWholeNumber(""));
  EXPECT_FALSE(IsWholeNumber("3000000000"));
}

TEST_F(StyleEditorTest, ApplyWithTextThatIsNoNumberStaysOpenButApplies) {
  StyleEditor editor(session());
  editor.EditOffBeat(5, "ab");
  const auto failing = editor.PressApply();
  ASSERT_TRUE(failing.has_value());
  EXPECT_EQ(*failing, (StyleField{StyleField::Column::kOffBeat, 5}));
  EXPECT_EQ(platform().StopMessageCount(), 1);
  EXPECT_EQ(session().style.offBeat(0, 0, 5), 0);
}

TEST_F(StyleEditorTest, RunLimitOutsideZeroToElevenIsReportedYetApplied) {
  StyleEditor editor(session());
  editor.EditSetting(2, "12");
  const auto failing = editor.PressApply();
  ASSERT_TRUE(failing.has_value());
  EXPECT_EQ(*failing, (StyleField{StyleField::Column::kSetting, 2}));
  EXPECT_EQ(platform().messages.back().text, kRunLimitRangeMessage);
  EXPECT_EQ(session().style.settings[2], 12);
  editor.EditSetting(2, "-1");
  EXPECT_TRUE(editor.PressApply().has_value());
  editor.EditSetting(2, "11");
  EXPECT_EQ(editor.PressApply(), std::nullopt);
  editor.EditSetting(2, "0");
  EXPECT_EQ(editor.PressApply(), std::nullopt);
}

TEST_F(StyleEditorTest, SaveWritesAppliesAndSurvivesCancel) {
  StyleEditor editor(session());
  editor.EditOnBeat(0, "55");
  const std::string path = dir.File("mine.ton");
  platform().fileAnswers.push_back(path);
  EXPECT_TRUE(editor.PressSave());
  ASSERT_EQ(platform().fileRequests.size(), 1u);
  const FileDialogRequest& request = platform().fileRequests[0];
  EXPECT_TRUE(request.save);
  EXPECT_EQ(request.initialName, "style01.ton");
  EXPECT_EQ(request.defaultExtension, "ton");
  EXPECT_EQ(request.filter, "TONE Files (*.ton)|*.ton|");
  EXPECT_EQ(session().style.onBeat(0, 0, 0), 55);
  EXPECT_EQ(testing::ReadAll(path).size(), kTonFileBytes);
  // ｷｬﾝｾﾙ afterwards does not undo what SAVE applied; the file loads back identical.
  MelodyStyleDb loaded;
  ASSERT_TRUE(loaded.Load(path, platform()));
  EXPECT_EQ(loaded, session().style);
}

TEST_F(StyleEditorTest, SaveCancelledOrUnwritableChangesNothing) {
  const MelodyStyleDb before = session().style;
  StyleEditor editor(session());
  editor.EditOnBeat(0, "55");
  EXPECT_FALSE(editor.PressSave());  // dialog cancelled
  platform().fileAnswers.push_back(dir.File("no/such/folder/x.ton"));
  EXPECT_FALSE(editor.PressSave());
  EXPECT_EQ(platform().messages.back().text, "File could not created! ");
  EXPECT_EQ(platform().messages.back().icon, MessageIcon::kStop);
  EXPECT_EQ(session().style, before);
}

TEST_F(StyleEditorTest, ColumnSumsAreMarkedWhenNotHundred) {
  StyleEditor editor(session());
  for (int n = 0; n < 11; ++n) {
    editor.EditOnBeat(n, n < 10 ? "10" : "0");
    editor.EditOffBeat(n, n < 10 ? "12" : "0");
  }
  EXPECT_EQ(editor.OnBeatSum(), 100);
  EXPECT_FALSE(StyleEditor::SumMarked(editor.OnBeatSum()));
  EXPECT_EQ(editor.OffBeatSum(), 120);
  EXPECT_TRUE(StyleEditor::SumMarked(editor.OffBeatSum()));
  EXPECT_EQ(StyleEditor::SumText(100), "合計 100％");
  EXPECT_EQ(StyleEditor::SumText(90), "合計 90％ ≠100");
  // Sums follow the shown class and rule; huge values do not overflow.
  editor.Scroll(ScrollStep::kLineRight);
  for (int n = 0; n < 11; ++n) editor.EditOnBeat(n, "2147483647");
  EXPECT_EQ(editor.OnBeatSum(), int64_t{2147483647} * 11);
  // Percentages that do not add up are accepted.
  EXPECT_EQ(editor.PressApply(), std::nullopt);
}

}  // namespace
}  // namespace vema
