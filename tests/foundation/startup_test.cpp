#include <gtest/gtest.h>

#include "song/binary_io.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::TempDir;
using testing::TestSession;
using testing::WriteAll;

// A folder holding small but valid default files.
void WriteDefaults(const TempDir& dir) {
  CompositionDb db;
  db.kind = 5;
  db.noteLengthPatterns[0] = 96;
  db.noteLengthPatterns[1] = -1;
  WriteAll(dir.File("default.mld"), EncodeCompositionDb(db));
  MelodyStyleDb style;
  style.settings[2] = 3;
  const std::string ton = style.Encode();
  WriteAll(dir.File("default.ton"), std::vector<uint8_t>(ton.begin(), ton.end()));
  CustomFormTable forms;
  forms.count = 1;
  forms.names[0] = "最初";
  forms.forms[0] = BlankForm();
  forms.forms[0].lastPeriod = 3;
  forms.forms[0].SetChord(4, "Dm7");
  WriteAll(dir.File("default.db"), EncodeCustomForms(forms));
}

TEST(StartUp, LoadsTheThreeDefaultFiles) {
  TempDir dir;
  WriteDefaults(dir);
  TestSession t(dir.str());
  Session& s = *t.session;
  StartUp(s);
  EXPECT_TRUE(t.platform.messages.empty());
  EXPECT_EQ(s.compositionDb.loaded, 1);
  EXPECT_EQ(s.compositionDb.kind, 5);
  EXPECT_EQ(s.style.settings[2], 3);
  EXPECT_EQ(s.customForms.count, 1);
  EXPECT_EQ(s.customForms.names[0], "最初");
  EXPECT_EQ(s.form.lastPeriod, 3);
  EXPECT_EQ(s.form.Chord(4), "Dm7");
  EXPECT_EQ(s.dbFiles[0], "default.mld");
  EXPECT_EQ(s.dbFiles[1], "default.ton");
  EXPECT_EQ(s.dbFiles[2], "");
}

TEST(StartUp, EachMissingDatabaseIsReportedAndStartUpGoesOn) {
  for (const char* missing : {"default.mld", "default.ton"}) {
    TempDir dir;
    WriteDefaults(dir);
    std::filesystem::remove(dir.File(missing));
    TestSession t(dir.str());
    StartUp(*t.session);
    ASSERT_EQ(t.platform.messages.size(), 1u) << missing;
    EXPECT_EQ(t.platform.messages[0].text, std::string("ファイルを開けません[") + missing + "]");
    EXPECT_EQ(t.platform.messages[0].icon, MessageIcon::kStop);
    EXPECT_EQ(t.session->dbFiles[0], "default.mld");
    EXPECT_EQ(t.session->dbFiles[1], "default.ton");
    EXPECT_EQ(t.session->form.lastPeriod, 3);  // the stored form is still loaded
    EXPECT_EQ(t.session->compositionDb.loaded, std::string(missing) == "default.mld" ? 0 : 1);
  }
}

TEST(StartUp, NothingPresentStillStarts) {
  TempDir dir;
  TestSession t(dir.str());
  StartUp(*t.session);
  EXPECT_EQ(t.platform.messages.size(), 2u);
  EXPECT_EQ(t.session->compositionDb.loaded, 0);
  EXPECT_EQ(t.session->form, BlankForm());
}

}  // namespace
}  // namespace vema
