// The composition style window: choosing .mld and .ton files, bare names, failing loads.
#include "editors/style_select.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace vema {
namespace {

class StyleSelectTest : public ::testing::Test {
 protected:
  StyleSelectTest() : ts(dir.str()) {
    session().dbFiles[0] = "default.mld";
    session().dbFiles[1] = "default.ton";
    std::filesystem::create_directory(dir.File("other"));
  }
  Session& session() { return *ts.session; }
  ScriptedPlatform& platform() { return ts.platform; }

  testing::TempDir dir;
  testing::TestSession ts;
};

TEST_F(StyleSelectTest, OpeningShowsTheNamesInUse) {
  StyleSelect window(session());
  EXPECT_EQ(window.nameField[0].text, "default.mld");
  EXPECT_EQ(window.nameField[1].text, "default.ton");
  EXPECT_EQ(window.nameField[2].text, "");
  EXPECT_FALSE(kDbKindInfo[2].shown);
  EXPECT_FALSE(kDbKindInfo[4].shown);
  EXPECT_TRUE(kDbKindInfo[1].shown);
}

TEST_F(StyleSelectTest, TonFromAnotherFolderLoadsAndShowsItsBareName) {
  MelodyStyleDb style;
  style.onBeat(3, 10, 11) = 42;
  style.settings[7] = -9;
  const std::string path = dir.File("other/ballad.ton");
  const std::string bytes = style.Encode();
  testing::WriteAll(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));

  StyleSelect window(session());
  platform().fileAnswers.push_back(path);
  EXPECT_TRUE(window.ChooseDbFile(1));
  EXPECT_EQ(window.dbKind, 1);
  EXPECT_EQ(session().style, style);
  EXPECT_EQ(window.nameField[1].text, "ballad.ton");
  EXPECT_EQ(session().dbFiles[1], "ballad.ton");
  ASSERT_EQ(platform().fileRequests.size(), 1u);
  EXPECT_FALSE(platform().fileRequests[0].save);
  EXPECT_EQ(platform().fileRequests[0].defaultExtension, "ton");
  EXPECT_EQ(platform().fileRequests[0].filter, "旋律進行 Files (*.ton)|*.ton|");
  EXPECT_EQ(platform().fileRequests[0].initialName, "");
}

TEST_F(StyleSelectTest, MldFromAnotherFolderLoadsAndShowsItsBareName) {
  CompositionDb db;
  db.kind = 3;
  db.noteLengthPatterns[0] = 96;
  db.noteLengthPatterns[1] = -1;
  const std::string path = dir.File("other/waltz.mld");
  testing::WriteAll(path, EncodeCompositionDb(db));

  StyleSelect window(session());
  platform().fileAnswers.push_back(path);
  EXPECT_TRUE(window.ChooseDbFile(0));
  EXPECT_EQ(session().compositionDb.kind, 3);
  EXPECT_EQ(session().compositionDb.noteLengthPatterns[0], 96);
  EXPECT_EQ(window.nameField[0].text, "waltz.mld");
  EXPECT_EQ(session().dbFiles[0], "waltz.mld");
  EXPECT_EQ(platform().fileRequests[0].filter, "音長進行 Files (*.mld)|*.mld|");
}

TEST_F(StyleSelectTest, AFailingLoadLeavesEverythingAsItWas) {
  session().style.onBeat(0, 0, 0) = 17;
  session().compositionDb.kind = 5;
  const MelodyStyleDb styleBefore = session().style;
  StyleSelect window(session());
  const std::string missing = dir.File("other/missing.ton");
  platform().fileAnswers.push_back(missing);
  EXPECT_FALSE(window.ChooseDbFile(1));
  ASSERT_EQ(platform().messages.size(), 1u);
  EXPECT_EQ(platform().messages[0].text, "ファイルを開けません[" + missing + "]");
  EXPECT_EQ(platform().messages[0].icon, MessageIcon::kStop);
  platform().fileAnswers.push_back(dir.File("other/missing.mld"));
  EXPECT_FALSE(window.ChooseDbFile(0));
  EXPECT_EQ(session().style, styleBefore);
  EXPECT_EQ(session().compositionDb.kind, 5);
  EXPECT_EQ(window.nameField[0].text, "default.mld");
  EXPECT_EQ(window.nameField[1].text, "default.ton");
  EXPECT_EQ(session().dbFiles[1], "default.ton");
}

TEST_F(StyleSelectTest, CancelledOrEmptyChoiceChangesNothing) {
  StyleSelect window(session());
  EXPECT_FALSE(window.ChooseDbFile(1));
  platform().fileAnswers.push_back(std::string());
  EXPECT_FALSE(window.ChooseDbFile(0));
  EXPECT_TRUE(platform().messages.empty());
  EXPECT_EQ(window.nameField[1].text, "default.ton");
}

TEST_F(StyleSelectTest, HiddenKindsLoadNothing) {
  const std::string path = dir.File("other/x.drm");
  testing::WriteAll(path, {1, 2, 3});
  StyleSelect window(session());
  platform().fileAnswers.push_back(path);
  EXPECT_FALSE(window.ChooseDbFile(3));
  EXPECT_EQ(window.dbKind, 3);
  EXPECT_EQ(platform().fileRequests[0].defaultExtension, "drm");
  EXPECT_EQ(window.nameField[3].text, "");
  EXPECT_EQ(session().dbFiles[3], "");
  EXPECT_FALSE(window.ChooseDbFile(7));
  EXPECT_EQ(platform().fileRequests.size(), 1u);
}

}  // namespace
}  // namespace vema
