// The custom form dialog: every handler's changes to the store, the list and the buttons'
// enabled states; round trips through "default.db"; failed writes.
#include "editors/custom_form_dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "editors/custom_form_store.h"
#include "support/test_support.h"

namespace vema {
namespace {

class CustomFormDialogTest : public ::testing::Test {
 protected:
  CustomFormDialogTest() : ts(dir.str()) { ReadCustomFormFile(session().Editors()); }
  Session& session() { return *ts.session; }
  SongForm& form() { return session().form; }
  ScriptedPlatform& platform() { return ts.platform; }
  std::vector<uint8_t> StoreFile() { return testing::ReadAll(dir.File("default.db")); }

  // Two periods, the second a copy, with repeated bars and a chord of the full nine bytes.
  static SongForm SampleForm() {
    SongForm f = BlankForm();
    f.lastPeriod = 1;
    f.periodSource[1] = 0;
    for (int i = 0; i < 16; ++i) f.keyIndex[i] = 16 + i % 8;
    f.melodySource[13] = f.motifSource[13] = f.noteLengthSource[13] = 5;
    f.motifSource[6] = f.noteLengthSource[6] = 2;
    f.SetChord(7, "Cmaj7add9");
    return f;
  }

  testing::TempDir dir;
  testing::TestSession ts;
};

// A store of two forms "a" (blank, 1 period) and "b" (3 periods); the current form is the sample.
TEST_F(CustomFormDialogTest, EachHandlerChangesTheStoreTheListAndTheButtons) {
  std::string longName = "AB";
  for (int i = 0; i < 200; ++i) longName += "あ";  // 402 CP932 bytes
  using Mode = CustomFormMode;
  using Action = std::function<void(CustomFormDialog&)>;
  const struct Case {
    const char* name;
    Mode mode;
    std::vector<std::optional<std::string>> prompts;
    Action action;
    std::vector<std::string> names;  // the list, also the stored names
    int selection;
    bool load, add, overwrite;
    const char* message;  // the last message, nullptr: none
    int currentPeriods;   // periods of the current form afterwards
  } cases[] = {
      {"save shown", Mode::kSave, {}, [](CustomFormDialog&) {},
       {"a", "b"}, -1, false, true, false, nullptr, 2},
      {"save, an entry selected", Mode::kSave, {}, [](CustomFormDialog& d) { d.SelectEntry(1); },
       {"a", "b"}, 1, false, true, true, nullptr, 2},
      {"save, no such entry", Mode::kSave, {},
       [](CustomFormDialog& d) { d.SelectEntry(1), d.SelectEntry(2); },
       {"a", "b"}, -1, false, true, false, nullptr, 2},
      {"load shown", Mode::kLoad, {}, [](CustomFormDialog&) {},
       {"a", "b"}, -1, false, false, false, nullptr, 2},
      {"load, an entry selected", Mode::kLoad, {}, [](CustomFormDialog& d) { d.SelectEntry(0); },
       {"a", "b"}, 0, true, false, false, nullptr, 2},
      {"load", Mode::kLoad, {},
       [](CustomFormDialog& d) { d.SelectEntry(1), d.PressLoad(); },
       {"a", "b"}, 1, true, false, false, "カスタムフォーム読み込み完了", 3},
      {"load by a double-click", Mode::kLoad, {}, [](CustomFormDialog& d) { d.DoubleClick(1); },
       {"a", "b"}, 1, true, false, false, "カスタムフォーム読み込み完了", 3},
      {"add", Mode::kSave, {"c"}, [](CustomFormDialog& d) { d.PressAdd(); },
       {"a", "b", "c"}, -1, false, true, false, "カスタムフォーム保存完了", 2},
      {"add, the name's first line cut to 255 bytes", Mode::kSave, {longName + "\nsecond"},
       [](CustomFormDialog& d) { d.PressAdd(); },
       {"a", "b", longName.substr(0, 2 + 126 * 3)}, -1, false, true, false,
       "カスタムフォーム保存完了", 2},
      {"add without a name", Mode::kSave, {""}, [](CustomFormDialog& d) { d.PressAdd(); },
       {"a", "b", "カスタムフォームＮｏ  2"}, -1, false, true, false, "カスタムフォーム保存完了", 2},
      {"overwrite", Mode::kSave, {"B2"},
       [](CustomFormDialog& d) { d.SelectEntry(1), d.PressOverwrite(); },
       {"a", "B2"}, -1, false, true, false, "カスタムフォーム保存完了", 2},
      {"overwrite by a double-click", Mode::kSave, {"A2"},
       [](CustomFormDialog& d) { d.DoubleClick(0); },
       {"A2", "b"}, -1, false, true, false, "カスタムフォーム保存完了", 2},
      {"buttons of the other mode, nothing selected, a cancelled name", Mode::kSave,
       {std::nullopt, "never asked"},
       [](CustomFormDialog& d) {
         d.PressLoad(), d.PressOverwrite(), d.PressAdd(), d.DoubleClick(-1), d.DoubleClick(5);
       },
       {"a", "b"}, -1, false, true, false, nullptr, 2},
      {"load mode stores nothing", Mode::kLoad, {"x"},
       [](CustomFormDialog& d) { d.PressAdd(), d.SelectEntry(0), d.PressOverwrite(); },
       {"a", "b"}, 0, true, false, false, nullptr, 2},
  };
  for (const Case& c : cases) {
    CustomFormTable& table = session().customForms;
    table.count = 2;
    table.names[0] = "a";
    table.names[1] = "b";
    table.forms[0] = BlankForm();
    table.forms[1] = BlankForm();
    table.forms[1].lastPeriod = 2;
    ASSERT_TRUE(WriteCustomFormFile(session().Editors()));
    form() = SampleForm();
    platform().messages.clear();
    platform().promptAnswers.assign(c.prompts.begin(), c.prompts.end());
    CustomFormDialog d(session().Editors(), c.mode);
    d.Show();
    SCOPED_TRACE(c.name);
    c.action(d);
    EXPECT_EQ(d.title,
              c.mode == Mode::kSave ? "カスタムフォームの保存" : "カスタムフォームの読み込み");
    EXPECT_EQ(std::tuple(d.list.items, d.list.selection, d.load.enabled, d.add.enabled,
                         d.overwrite.enabled, form().PeriodCount()),
              std::tuple(c.names, c.selection, c.load, c.add, c.overwrite, c.currentPeriods));
    EXPECT_EQ(platform().messages.empty() ? "" : platform().messages.back().text,
              c.message ? c.message : "");
    // What the list shows is what the file holds.
    CustomFormTable stored;
    DecodeCustomForms(StoreFile(), stored);
    const auto first = [&](const CustomFormTable& t) {
      return std::vector<std::string>(t.names.begin(), t.names.begin() + t.Count());
    };
    EXPECT_EQ(first(stored), c.names);
    EXPECT_EQ(first(table), c.names);
    if (std::string(c.message ? c.message : "") == "カスタムフォーム保存完了") {
      const size_t changed = c.names == std::vector<std::string>{"A2", "b"} ? 0
                             : c.names[1] == "B2"                        ? 1
                                                                         : 2;
      EXPECT_EQ(stored.forms[changed], SampleForm());
    }
  }
}

TEST_F(CustomFormDialogTest, The201stFormIsRefusedAndNothingChanges) {
  CustomFormTable& table = session().customForms;
  table.count = kMaxCustomForms;
  for (int i = 0; i < kMaxCustomForms; ++i) table.names[i] = "f" + std::to_string(i);
  ASSERT_TRUE(WriteCustomFormFile(session().Editors()));
  const auto fileBefore = StoreFile();
  CustomFormDialog save(session().Editors(), CustomFormMode::kSave);
  save.Show();
  platform().promptAnswers.push_back("one too many");
  EXPECT_FALSE(save.AddCustomForm());
  EXPECT_EQ(platform().messages.back().text, kCustomFormsFullMessage);
  EXPECT_EQ(platform().promptAnswers.size(), 1u);
  EXPECT_EQ(table.count, kMaxCustomForms);
  EXPECT_EQ(StoreFile(), fileBefore);
}

TEST_F(CustomFormDialogTest, TheFirstFormOfAnEmptyStoreIsOverwrittenAfterTheNextShowing) {
  CustomFormDialog save(session().Editors(), CustomFormMode::kSave);
  save.Show();
  platform().promptAnswers = {std::nullopt, "first", "again"};
  EXPECT_FALSE(save.OverwriteCustomForm(0));  // no such entry yet: nothing asked
  EXPECT_FALSE(save.AddCustomForm());         // the name was cancelled
  EXPECT_TRUE(save.AddCustomForm());
  EXPECT_FALSE(save.OverwriteCustomForm(1));
  EXPECT_FALSE(save.OverwriteCustomForm(-1));
  save.SelectEntry(0);
  EXPECT_FALSE(save.overwrite.enabled);  // the count was 0 when the dialog was shown
  save.Show();
  save.SelectEntry(0);
  EXPECT_TRUE(save.overwrite.enabled);
  save.PressOverwrite();
  EXPECT_EQ(save.list.items, std::vector<std::string>{"again"});
}

// The table keeps what the last good write put on disk, so that the next write restores it.
TEST_F(CustomFormDialogTest, AfterAFailedWriteTheTableAndTheListShowWhatIsOnDisk) {
  const struct {
    const char* name;
    bool inMissingFolder;  // default.db missing and impossible to create
    bool overwrite;
    const char* message;
  } cases[] = {{"added, store vanished since start-up", false, false, "File not Created! "},
               {"overwritten, store vanished", false, true, "File not Created! "},
               {"added, store cannot be created", true, false, "File could not created! "}};
  for (const auto& c : cases) {
    testing::TestSession t(c.inMissingFolder ? dir.File("no/such/folder") : dir.str());
    std::filesystem::remove(dir.File("default.db"));
    CustomFormTable& table = t.session->customForms;
    table.count = 1;
    table.names[0] = "kept";
    const CustomFormTable before = table;
    t.session->form = SampleForm();
    CustomFormDialog save(t.session->Editors(), CustomFormMode::kSave);
    save.Show();
    t.platform.promptAnswers = {"lost?"};
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(c.overwrite ? save.OverwriteCustomForm(0) : save.AddCustomForm());
    ASSERT_EQ(t.platform.messages.size(), 1u);
    EXPECT_EQ(t.platform.messages[0].text, c.message);
    EXPECT_EQ(std::tuple(table.count, table.names, save.list.items),
              std::tuple(1, before.names, std::vector<std::string>{"kept"}));
    EXPECT_EQ(table.forms, before.forms);
  }
}

}  // namespace
}  // namespace vema
