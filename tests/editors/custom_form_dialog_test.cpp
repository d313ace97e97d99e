// The custom form dialog: round trips through "default.db", names, the mended cases.
#include "editors/custom_form_dialog.h"

#include <gtest/gtest.h>

#include "editors/custom_form_store.h"
#include "support/test_support.h"

namespace vema {
namespace {

class CustomFormDialogTest : public ::testing::Test {
 protected:
  CustomFormDialogTest() : ts(dir.str()), save(session().Editors(), CustomFormMode::kSave) {
    ReadCustomFormFile(session().Editors());
    form() = SampleForm();
    save.Show();
  }
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
  CustomFormDialog save;
};

TEST_F(CustomFormDialogTest, StoredFormsComeBackIdenticalAfterARestart) {
  std::string longName = "AB";
  for (int i = 0; i < 200; ++i) longName += "あ";  // 402 CP932 bytes
  // A name is the first line cut to 255 bytes; no name gives a numbered default name.
  platform().promptAnswers = {longName + "\nsecond line", "b", ""};
  save.PressAdd();
  EXPECT_EQ(platform().messages.back().text, "カスタムフォーム保存完了");
  save.PressAdd();
  form().SetChord(0, "Dm9");
  save.Show();
  save.SelectEntry(1);
  save.PressOverwrite();
  EXPECT_EQ(StoreFile().size(), kCustomFormFileBytes);

  testing::TestSession again(dir.str());  // a new run of the program
  ReadCustomFormFile(again.session->Editors());
  again.session->form = BlankForm();
  CustomFormDialog load(again.session->Editors(), CustomFormMode::kLoad);
  load.Show();
  EXPECT_EQ(load.list.items, (std::vector<std::string>{longName.substr(0, 2 + 126 * 3),
                                                       "カスタムフォームＮｏ  1"}));
  load.SelectEntry(0);
  load.PressLoad();
  EXPECT_EQ(again.session->form, SampleForm());
  EXPECT_EQ(again.platform.messages.back().text, "カスタムフォーム読み込み完了");
  load.DoubleClick(1);
  EXPECT_EQ(again.session->form.Chord(0), "Dm9");
}

TEST_F(CustomFormDialogTest, CancelledNameOrNoSelectionStoresWritesAndShowsNothing) {
  platform().promptAnswers.push_back("kept");
  save.PressAdd();
  save.Show();
  const auto fileBefore = StoreFile();
  const size_t messagesBefore = platform().messages.size();
  form() = BlankForm();
  platform().promptAnswers = {"never asked"};
  save.PressOverwrite();  // nothing selected
  EXPECT_EQ(platform().promptAnswers.size(), 1u);
  platform().promptAnswers = {std::nullopt, std::nullopt};
  save.PressAdd();
  save.SelectEntry(0);
  save.PressOverwrite();
  CustomFormDialog load(session().Editors(), CustomFormMode::kLoad);
  load.Show();
  load.PressLoad();  // nothing selected
  EXPECT_EQ(form(), BlankForm());
  EXPECT_EQ(session().customForms.count, 1);
  EXPECT_EQ(session().customForms.forms[0], SampleForm());
  EXPECT_EQ(session().customForms.names[0], "kept");
  EXPECT_EQ(StoreFile(), fileBefore);
  EXPECT_EQ(platform().messages.size(), messagesBefore);
}

TEST_F(CustomFormDialogTest, The201stFormIsRefusedAndNothingChanges) {
  CustomFormTable& table = session().customForms;
  table.count = kMaxCustomForms;
  for (int i = 0; i < kMaxCustomForms; ++i) table.names[i] = "f" + std::to_string(i);
  ASSERT_TRUE(WriteCustomFormFile(session().Editors()));
  const auto fileBefore = StoreFile();

  save.Show();
  platform().promptAnswers.push_back("one too many");
  save.PressAdd();
  EXPECT_EQ(platform().messages.back().text, kCustomFormsFullMessage);
  EXPECT_EQ(platform().promptAnswers.size(), 1u);
  EXPECT_EQ(table.count, kMaxCustomForms);
  EXPECT_EQ(StoreFile(), fileBefore);
  save.SelectEntry(199);  // overwriting the last one still works
  save.PressOverwrite();
  EXPECT_EQ(table.names[199], "one too many");
}

TEST_F(CustomFormDialogTest, AFailedWriteIsNotReportedAsSaved) {
  std::filesystem::remove(dir.File("default.db"));  // vanished since start-up
  platform().promptAnswers.push_back("lost?");
  save.PressAdd();
  ASSERT_EQ(platform().messages.size(), 1u);
  EXPECT_EQ(platform().messages[0].text, "File not Created! ");
  EXPECT_EQ(session().customForms.count, 1);  // kept in memory and listed
  EXPECT_EQ(save.list.items, std::vector<std::string>{"lost?"});
}

}  // namespace
}  // namespace vema
