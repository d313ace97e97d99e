// Start-up reads the three default files; each missing database is reported and start-up goes
// on, also with nothing present.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/tiny_song_files.h"

namespace vema {
namespace {

TEST(StartUp, LoadsTheDefaultFilesAndReportsEachMissingDatabase) {
  const std::vector<std::string> cases[] = {
      {}, {"default.mld"}, {"default.ton"}, {"default.mld", "default.ton", "default.db"}};
  for (const std::vector<std::string>& missing : cases) {
    SCOPED_TRACE(::testing::PrintToString(missing));
    testing::TempDir dir;
    testing::WriteTinyFolder(dir.str(), 5);
    for (const std::string& name : missing) std::filesystem::remove(dir.File(name));
    const auto lacks = [&](const char* name) {
      return std::find(missing.begin(), missing.end(), name) != missing.end();
    };
    testing::TestSession t(dir.str());
    Session& s = *t.session;
    StartUp(s);
    std::vector<std::string> messages;
    for (const auto& m : t.platform.messages) {
      EXPECT_EQ(m.icon, MessageIcon::kStop);
      messages.push_back(m.text);
    }
    std::vector<std::string> expected;
    for (const char* name : {"default.mld", "default.ton"}) {
      if (lacks(name)) expected.push_back(std::string("ファイルを開けません[") + name + "]");
    }
    EXPECT_EQ(messages, expected);
    EXPECT_EQ(s.compositionDb.loaded, lacks("default.mld") ? 0 : 1);
    EXPECT_EQ(s.compositionDb.kind, lacks("default.mld") ? 0 : 5);
    EXPECT_EQ(s.style.settings[1], lacks("default.ton") ? 0 : 10);
    EXPECT_EQ(s.dbFiles[0], "default.mld");
    EXPECT_EQ(s.dbFiles[1], "default.ton");
    EXPECT_EQ(s.dbFiles[2], "");
    if (lacks("default.db")) {
      EXPECT_EQ(s.form, BlankForm());
    } else {  // the stored forms, form 0 current
      EXPECT_EQ(s.customForms.count, 2);
      EXPECT_EQ(s.customForms.names[0], "form 0");
      EXPECT_EQ(s.form.Chord(4), "G7");
    }
  }
}

}  // namespace
}  // namespace vema
