// The custom form dialog: round trips through "default.db", names, the mended cases.
#include "editors/custom_form_dialog.h"

#include <gtest/gtest.h>

#include "editors/custom_form_store.h"
#include "support/test_support.h"

namespace vema {
namespace {

class CustomFormDialogTest : public ::testing::Test {
 protected:
  CustomFormDialogTest() : ts(dir.str()) {
    StartUpStore();
    form() = SampleForm();
  }
  Session& session() { return *ts.session; }
  SongForm& form() { return session().form; }
  ScriptedPlatform& platform() { return ts.platform; }
  void StartUpStore() { ReadCustomFormFile(session()); }

  static SongForm SampleForm() {
    SongForm f = BlankForm();
    f.lastPeriod = 1;
    f.periodSource[1] = 0;
    for (int b = 0; b < 8; ++b) {
      f.melodySource[8 + b] = f.motifSource[8 + b] = f.noteLengthSource[8 + b] = b;
      f.keyIndex[b] = f.keyIndex[8 + b] = 16;
      f.SetChord(b, "Em" + std::to_string(b));
      f.SetChord(8 + b, "Em" + std::to_string(b));
    }
    f.melodySource[5] = f.motifSource[5] = f.noteLengthSource[5] = 1;
    f.motifSource[6] = f.noteLengthSource[6] = 2;
    f.SetChord(7, "Cmaj7add9");
    return f;
  }

  testing::TempDir dir;
  testing::TestSession ts;
};

TEST_F(CustomFormDialogTest, StoredFormComesBackIdenticalAfterARestart) {
  CustomFormDialog save(session(), CustomFormMode::kSave);
  save.Show();
  platform().promptAnswers.push_back("ＡＢメロ16小節");
  EXPECT_TRUE(save.AddCustomForm());
  EXPECT_EQ(platform().messages.back().text, "カスタムフォーム保存完了");
  EXPECT_EQ(testing::ReadAll(dir.File("default.db")).size(), kCustomFormFileBytes);

  // A new run of the program.
  testing::TestSession again(dir.str());
  ReadCustomFormFile(*again.session);
  again.session->form = BlankForm();
  CustomFormDialog load(*again.session, CustomFormMode::kLoad);
  load.Show();
  EXPECT_EQ(load.list.items, std::vector<std::string>{"ＡＢメロ16小節"});
  load.SelectEntry(0);
  load.PressLoad();
  EXPECT_EQ(again.session->form, SampleForm());
  EXPECT_EQ(again.platform.messages.back().text, "カスタムフォーム読み込み完了");
  EXPECT_EQ(again.platform.messages.back().icon, MessageIcon::kPlain);
}

TEST_F(CustomFormDialogTest, ShowingSetsTitleButtonsAndList) {
  CustomFormDialog save(session(), CustomFormMode::kSave);
  save.Show();
  EXPECT_EQ(save.title, "カスタムフォームの保存");
  EXPECT_FALSE(save.load.enabled);
  EXPECT_TRUE(save.add.enabled);
  EXPECT_FALSE(save.overwrite.enabled);  // empty table
  EXPECT_TRUE(save.list.items.empty());

  platform().promptAnswers.push_back("one");
  save.PressAdd();
  EXPECT_EQ(save.list.items, std::vector<std::string>{"one"});
  EXPECT_FALSE(save.overwrite.enabled);  // until the dialog is shown again
  save.Show();
  EXPECT_TRUE(save.overwrite.enabled);

  CustomFormDialog load(session(), CustomFormMode::kLoad);
  load.Show();
  EXPECT_EQ(load.title, "カスタムフォームの読み込み");
  EXPECT_TRUE(load.load.enabled);
  EXPECT_FALSE(load.add.enabled);
  EXPECT_FALSE(load.overwrite.enabled);
}

TEST_F(CustomFormDialogTest, EmptyNamesGetNumberedDefaultNames) {
  CustomFormDialog save(session(), CustomFormMode::kSave);
  save.Show();
  for (int i = 0; i < 11; ++i) {
    platform().promptAnswers.push_back("");
    save.PressAdd();
  }
  ASSERT_EQ(save.list.items.size(), 11u);
  EXPECT_EQ(save.list.items[0], "カスタムフォームＮｏ  0");
  EXPECT_EQ(save.list.items[10], "カスタムフォームＮｏ 10");
  EXPECT_EQ(session().customForms.count, 11);
}

TEST_F(CustomFormDialogTest, NameIsTheFirstLineCutTo255Bytes) {
  CustomFormDialog save(session(), CustomFormMode::kSave);
  save.Show();
  platform().promptAnswers.push_back(std::string("first\nsecond"));
  save.PressAdd();
  EXPECT_EQ(session().customForms.names[0], "first");
  EXPECT_EQ(session().inputText, "first");
  std::string longName;
  for (int i = 0; i < 200; ++i) longName += "あ";  // 400 CP932 bytes
  platform().promptAnswers.push_back(longName);
  save.PressAdd();
  EXPECT_EQ(session().customForms.names[1].size(), 127u * 3);  // 127 characters, 254 bytes
}

TEST_F(CustomFormDialogTest, CancellingTheNameStoresAndWritesNothing) {
  CustomFormDialog save(session(), CustomFormMode::kSave);
  save.Show();
  platform().promptAnswers.push_back("kept");
  save.PressAdd();
  const auto fileBefore = testing::ReadAll(dir.File("default.db"));
  const size_t messagesBefore = platform().messages.size();
  form().SetChord(0, "Zz");

  platform().promptAnswers.push_back(std::nullopt);
  EXPECT_FALSE(save.AddCustomForm());
  EXPECT_EQ(session().customForms.count, 1);

  save.Show();
  save.SelectEntry(0);
  platform().promptAnswers.push_back(std::nullopt);
  save.PressOverwrite();
  EXPECT_EQ(session().customForms.forms[0], SampleForm());
  EXPECT_EQ(session().customForms.names[0], "kept");
  EXPECT_EQ(testing::ReadAll(dir.File("default.db")), fileBefore);
  EXPECT_EQ(platform().messages.size(), messagesBefore);
  EXPECT_EQ(session().inputText, "kept");
}

TEST_F(CustomFormDialogTest, OverwriteReplacesTheSelectedEntryOnly) {
  CustomFormDialog save(session(), CustomFormMode::kSave);
  save.Show();
  platform().promptAnswers = {"a", "b", "c"};
  save.PressAdd();
  save.PressAdd();
  save.PressAdd();
  save.Show();
  form().SetChord(0, "Dm9");
  save.SelectEntry(1);
  platform().promptAnswers.push_back("");
  save.PressOverwrite();
  EXPECT_EQ(session().customForms.count, 3);
  EXPECT_EQ(save.list.items, (std::vector<std::string>{"a", "カスタムフォームＮｏ  1", "c"}));
  EXPECT_EQ(session().customForms.forms[1].Chord(0), "Dm9");
  EXPECT_EQ(session().customForms.forms[0].Chord(0), "Em0");
  // And on disk.
  testing::TestSession again(dir.str());
  ReadCustomFormFile(*again.session);
  EXPECT_EQ(again.session->customForms.forms[1].Chord(0), "Dm9");
  EXPECT_EQ(again.session->customForms.names[1], "カスタムフォームＮｏ  1");
}

TEST_F(CustomFormDialogTest, LoadAndOverwriteWithoutASelectionDoNothing) {
  CustomFormDialog save(session(), CustomFormMode::kSave);
  save.Show();
  platform().promptAnswers.push_back("x");
  save.PressAdd();
  save.Show();
  const auto fileBefore = testing::ReadAll(dir.File("default.db"));
  const size_t messagesBefore = platform().messages.size();
  platform().promptAnswers.push_back("y");
  save.PressOverwrite();
  EXPECT_EQ(platform().promptAnswers.size(), 1u);  // not even asked

  CustomFormDialog load(session(), CustomFormMode::kLoad);
  load.Show();
  form() = BlankForm();
  load.PressLoad();
  EXPECT_EQ(form(), BlankForm());
  EXPECT_EQ(platform().messages.size(), messagesBefore);
  EXPECT_EQ(testing::ReadAll(dir.File("default.db")), fileBefore);
}

TEST_F(CustomFormDialogTest, DoubleClickLoadsInLoadModeAndOverwritesInSaveMode) {
  CustomFormDialog save(session(), CustomFormMode::kSave);
  save.Show();
  platform().promptAnswers = {"a", "b"};
  save.PressAdd();
  save.PressAdd();
  form() = BlankForm();
  save.Show();
  platform().promptAnswers.push_back("renamed");
  save.DoubleClick(1);
  EXPECT_EQ(session().customForms.names[1], "renamed");
  EXPECT_EQ(session().customForms.forms[1], BlankForm());

  CustomFormDialog load(session(), CustomFormMode::kLoad);
  load.Show();
  load.DoubleClick(0);
  EXPECT_EQ(form(), SampleForm());
  load.DoubleClick(5);  // no such entry
  EXPECT_EQ(form(), SampleForm());
}

TEST_F(CustomFormDialogTest, The201stFormIsRefusedAndNothingChanges) {
  CustomFormTable& table = session().customForms;
  table.count = kMaxCustomForms;
  for (int i = 0; i < kMaxCustomForms; ++i) table.names[i] = "f" + std::to_string(i);
  ASSERT_TRUE(WriteCustomFormFile(session()));
  const auto fileBefore = testing::ReadAll(dir.File("default.db"));
  const CustomFormTable before = table;

  CustomFormDialog save(session(), CustomFormMode::kSave);
  save.Show();
  platform().promptAnswers.push_back("one too many");
  save.PressAdd();
  EXPECT_EQ(platform().StopMessageCount(), 1);
  EXPECT_EQ(platform().messages.back().text, kCustomFormsFullMessage);
  EXPECT_EQ(platform().promptAnswers.size(), 1u);
  EXPECT_EQ(table.count, kMaxCustomForms);
  EXPECT_EQ(table.names, before.names);
  EXPECT_EQ(table.forms, before.forms);
  EXPECT_EQ(testing::ReadAll(dir.File("default.db")), fileBefore);
  // Overwriting the last one still works.
  save.SelectEntry(199);
  platform().promptAnswers.front() = "last";
  save.PressOverwrite();
  EXPECT_EQ(table.names[199], "last");
}

TEST_F(CustomFormDialogTest, AFailedWriteIsNotReportedAsSaved) {
  std::filesystem::remove(dir.File("default.db"));  // vanished since start-up
  CustomFormDialog save(session(), CustomFormMode::kSave);
  save.Show();
  platform().promptAnswers.push_back("lost?");
  save.PressAdd();
  ASSERT_EQ(platform().messages.size(), 1u);
  EXPECT_EQ(platform().messages[0].text, "File not Created! ");
  EXPECT_EQ(platform().messages[0].icon, MessageIcon::kStop);
  // The table in memory keeps the form and the list shows it.
  EXPECT_EQ(session().customForms.count, 1);
  EXPECT_EQ(save.list.items, std::vector<std::string>{"lost?"});
}

}  // namespace
}  // namespace vema
