// The melody style editor: every handler's changes to the fields and the working copy, the
// reading of numbers, apply / cancel / save and the run-limit check.
#include "editors/style_editor.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <tuple>

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
    for (size_t k = 0; k < session().style.settings.size(); ++k) {
      session().style.settings[k] = static_cast<int32_t>(k) + 3;
    }
    before = session().style;
  }
  Session& session() { return *ts.session; }
  ScriptedPlatform& platform() { return ts.platform; }

  testing::TempDir dir;
  testing::TestSession ts;
  MelodyStyleDb before;
};

TEST_F(StyleEditorTest, EachHandlerShowsItsRuleAndChangesOnlyTheWorkingCopy) {
  using Action = std::function<void(StyleEditor&)>;
  const auto right = [](int n) {
    return [n](StyleEditor& e) {
      for (int i = 0; i < n; ++i) e.Scroll(ScrollStep::kLineRight);
    };
  };
  const struct Case {
    const char* name;
    Action action;
    int lengthClass, rule;
    const char* caption;  // of the rows
    std::function<void(MelodyStyleDb&)> edits;  // expected in the working copy
  } cases[] = {
      {"opened", [](StyleEditor&) {}, 0, 0, " 0", nullptr},
      {"tab ３連符", [](StyleEditor& e) { e.SelectTab(2); }, 2, 0, " 0", nullptr},
      {"back to the first tab", [](StyleEditor& e) { e.SelectTab(2), e.SelectTab(0); }, 0, 0, " 0",
       nullptr},
      {"no such tabs", [](StyleEditor& e) { e.SelectTab(4), e.SelectTab(-1); }, 0, 0, " 0", nullptr},
      {"one step right", right(1), 0, 1, " 1", nullptr},
      {"a page right", [](StyleEditor& e) { e.Scroll(ScrollStep::kPageRight); }, 0, 1, " 1",
       nullptr},
      {"right stops at rule 10", right(14), 0, 10, "10", nullptr},
      {"left stops at rule 0",
       [](StyleEditor& e) { e.Scroll(ScrollStep::kLineLeft), e.Scroll(ScrollStep::kPageLeft); },
       0, 0, " 0", nullptr},
      {"back left", [&](StyleEditor& e) { right(3)(e), e.Scroll(ScrollStep::kLineLeft); }, 0, 2,
       " 2", nullptr},
      {"a page left", [&](StyleEditor& e) { right(3)(e), e.Scroll(ScrollStep::kPageLeft); }, 0, 2,
       " 2", nullptr},
      {"thumb and other codes change nothing",
       [&](StyleEditor& e) {
         right(1)(e), e.Scroll(ScrollStep::kThumbTrack), e.Scroll(ScrollStep::kOther);
       },
       0, 1, " 1", nullptr},
      {"tab ３連符 with source rule 4", [&](StyleEditor& e) { right(4)(e), e.SelectTab(2); }, 2, 4,
       " 4", nullptr},
      {"on-beat field", [](StyleEditor& e) { e.SelectTab(1), e.EditOnBeat(3, "30"); }, 1, 0, " 0",
       [](MelodyStyleDb& s) { s.onBeat(1, 0, 3) = 30; }},
      {"off-beat fields",
       [&](StyleEditor& e) { right(9)(e), e.EditOffBeat(10, " -4 "), e.EditOffBeat(0, "7"); }, 0,
       9, " 9", [](MelodyStyleDb& s) { s.offBeat(0, 9, 10) = -4, s.offBeat(0, 9, 0) = 7; }},
      {"setting", [](StyleEditor& e) { e.EditSetting(1, "200"); }, 0, 0, " 0",
       [](MelodyStyleDb& s) { s.settings[1] = 200; }},
      {"text that is no number counts as 0",
       [](StyleEditor& e) { e.EditOnBeat(0, "12abc"), e.EditOffBeat(1, " -3x"), e.EditSetting(2, ""); },
       0, 0, " 0",
       [](MelodyStyleDb& s) { s.onBeat(0, 0, 0) = s.offBeat(0, 0, 1) = s.settings[2] = 0; }},
      {"fields that do not exist",
       [](StyleEditor& e) {
         e.EditOnBeat(11, "1"), e.EditOnBeat(-1, "1"), e.EditOffBeat(11, "1");
         e.EditOffBeat(-1, "1"), e.EditSetting(3, "1"), e.EditSetting(-1, "1");
       },
       0, 0, " 0", nullptr},
  };
  for (const Case& c : cases) {
    StyleEditor e(session().Editors());
    EXPECT_EQ(e.tabs, (std::vector<std::string>{"４分音符以上", "(付点)８分音符", "３連符",
                                                "その他（短い音長）"}));
    SCOPED_TRACE(c.name);
    c.action(e);
    MelodyStyleDb expected = before;
    if (c.edits) c.edits(expected);
    EXPECT_EQ(e.working, expected);
    EXPECT_EQ(session().style, before);  // nothing handed back yet
    EXPECT_EQ(std::tuple(e.currentClass, e.sourceRule, e.sourceRuleField.text),
              std::tuple(c.lengthClass, c.rule, std::to_string(c.rule)));
    int64_t onSum = 0, offSum = 0;
    for (int n = 0; n < kRuleCount; ++n) {
      const size_t i = static_cast<size_t>(n);
      const int32_t on = expected.onBeat(c.lengthClass, c.rule, n);
      const int32_t off = expected.offBeat(c.lengthClass, c.rule, n);
      // A field shows the working copy, or what was typed into it.
      EXPECT_EQ(std::tuple(e.onCaption[i].text, e.offCaption[i].text, FieldValue(e.onBeat[i].text),
                           FieldValue(e.offBeat[i].text)),
                std::tuple(c.caption, c.caption, on, off))
          << n;
      onSum += on;
      offSum += off;
    }
    for (size_t k = 0; k < 3; ++k) EXPECT_EQ(FieldValue(e.setting[k].text), expected.settings[k]);
    EXPECT_EQ(std::tuple(e.OnBeatSum(), e.OffBeatSum()), std::tuple(onSum, offSum));
  }
}

TEST_F(StyleEditorTest, FieldsAreReadAsWholeNumbersOnly) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  const struct {
    const char* text;
    int32_t value;
    bool whole;
  } cases[] = {{"12", 12, true},           {" -3 ", -3, true},          {"+5", 5, true},
               {"\t8\n", 8, true},         {"0", 0, true},              {"2147483647", kMax, true},
               {"-2147483648", kMin, true}, {"12abc", 0, false},        {" -3x", 0, false},
               {"", 0, false},             {" ", 0, false},             {"-", 0, false},
               {"1 2", 0, false},          {"2147483648", 0, false},    {"-2147483649", 0, false},
               {"99999999999999999999", 0, false}, {"１２", 0, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(FieldValue(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(IsWholeNumber(c.text), c.whole) << '"' << c.text << '"';
  }
  const std::pair<int64_t, const char*> sums[] = {
      {100, "合計 100％"}, {90, "合計 90％ ≠100"}, {120, "合計 120％ ≠100"}, {-5, "合計 -5％ ≠100"}};
  for (const auto& [sum, text] : sums) EXPECT_EQ(StyleEditor::SumText(sum), text);
}

TEST_F(StyleEditorTest, ApplyHandsBackTheWorkingCopyAndStaysOpenOnTheFirstBadField) {
  // A freshly opened editor applies and closes.
  EXPECT_EQ(StyleEditor(session().Editors()).PressApply(), std::nullopt);
  using Column = StyleField::Column;
  const struct {
    Column column;
    int index;
    const char* text;
    const char* message;  // nullptr: accepted, the window closes
    int32_t applied;
  } cases[] = {{Column::kOnBeat, 0, "ab", kNotANumberMessage, 0},
               {Column::kOffBeat, 0, "x", kNotANumberMessage, 0},
               {Column::kOffBeat, 5, "12abc", kNotANumberMessage, 0},
               {Column::kOffBeat, 10, "-4", nullptr, -4},
               {Column::kSetting, 0, "x", kNotANumberMessage, 0},
               {Column::kSetting, 2, "12", kRunLimitRangeMessage, 12},
               {Column::kSetting, 2, "-1", kRunLimitRangeMessage, -1},
               {Column::kSetting, 2, "11", nullptr, 11},
               {Column::kSetting, 2, "0", nullptr, 0}};
  for (const auto& c : cases) {
    session().style = before;
    session().style.settings[2] = 5;
    StyleEditor editor(session().Editors());
    platform().messages.clear();
    editor.SelectTab(3);
    editor.Scroll(ScrollStep::kLineRight);
    if (c.column == Column::kOnBeat) editor.EditOnBeat(c.index, c.text);
    if (c.column == Column::kOffBeat) editor.EditOffBeat(c.index, c.text);
    if (c.column == Column::kSetting) editor.EditSetting(c.index, c.text);
    const std::optional<StyleField> failing = editor.PressApply();
    EXPECT_EQ(failing, c.message ? std::optional(StyleField{c.column, c.index}) : std::nullopt)
        << c.text;
    ASSERT_EQ(platform().messages.size(), c.message ? 1u : 0u) << c.text;
    EXPECT_EQ(platform().messages.empty() ? "" : platform().messages[0].text,
              c.message ? c.message : "")
        << c.text;
    // Applied whatever the check says: the typed value, or 0 for text that is no number.
    MelodyStyleDb expected = before;
    expected.settings[2] = 5;
    if (c.column == Column::kOnBeat) expected.onBeat(3, 1, c.index) = c.applied;
    if (c.column == Column::kOffBeat) expected.offBeat(3, 1, c.index) = c.applied;
    if (c.column == Column::kSetting) expected.settings[static_cast<size_t>(c.index)] = c.applied;
    EXPECT_EQ(session().style, expected) << c.text;
  }
}

TEST_F(StyleEditorTest, SaveWritesAndAppliesOnlyWhenTheFileIsWritten) {
  StyleEditor editor(session().Editors());
  editor.EditOnBeat(0, "55");
  EXPECT_FALSE(editor.PressSave());  // dialog cancelled
  EXPECT_EQ(platform().fileRequests.at(0).initialName, "style01.ton");
  EXPECT_EQ(platform().fileRequests.at(0).defaultExtension, "ton");
  EXPECT_TRUE(platform().fileRequests.at(0).save);
  platform().fileAnswers = {std::string(), dir.File("no/such/folder/x.ton")};
  EXPECT_FALSE(editor.PressSave());  // empty answer
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
