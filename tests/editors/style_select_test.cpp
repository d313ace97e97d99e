// The composition style window: choosing .mld and .ton files, bare names, failing loads, and
// its count of candidate melodies, kept in the session and held to 1..1000.
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

TEST_F(StyleSelectTest, FilesFromAnotherFolderLoadAndShowTheirBareNames) {
  MelodyStyleDb style;
  style.onBeat(3, 10, 11) = 42;
  const std::string bytes = style.Encode();
  testing::WriteAll(dir.File("other/ballad.ton"), std::vector<uint8_t>(bytes.begin(), bytes.end()));
  CompositionDb db;
  db.kind = 3;
  db.noteLengthPatterns[0] = 96;
  testing::WriteAll(dir.File("other/waltz.mld"), EncodeCompositionDb(db));

  StyleSelect window(session().Editors());
  platform().fileAnswers = {dir.File("other/ballad.ton"), dir.File("other/waltz.mld")};
  EXPECT_TRUE(window.ChooseDbFile(1));
  EXPECT_TRUE(window.ChooseDbFile(0));
  EXPECT_EQ(session().style, style);
  EXPECT_EQ(session().compositionDb.kind, 3);
  EXPECT_EQ(session().compositionDb.noteLengthPatterns[0], 96);
  EXPECT_EQ(window.nameField[1].text, "ballad.ton");
  EXPECT_EQ(window.nameField[0].text, "waltz.mld");
  EXPECT_EQ(session().dbFiles[1], "ballad.ton");
  EXPECT_EQ(session().dbFiles[0], "waltz.mld");
}

TEST_F(StyleSelectTest, EachDatabaseButtonAsksForItsKindOfFile) {
  const struct {
    const char* extension;
    const char* filter;
    bool shown;  // kinds 2..4 are hidden and load nothing
  } kinds[] = {{"mld", "音長進行 Files (*.mld)|*.mld|", true},
               {"ton", "旋律進行 Files (*.ton)|*.ton|", true},
               {"chd", "コード進行 Files (*.chd)|*.chd|", false},
               {"drm", "ドラム進行 Files (*.drm)|*.drm|", false},
               {"bns", "伴奏進行 Files (*.bns)|*.bns|", false}};
  StyleSelect window(session().Editors());
  for (int k = 0; k < kDbKinds; ++k) {
    const auto& kind = kinds[k];
    platform().messages.clear();
    platform().fileAnswers = {dir.File(std::string("other/missing.") + kind.extension)};
    EXPECT_FALSE(window.ChooseDbFile(k)) << k;
    EXPECT_EQ(window.dbKind, k);
    const FileDialogRequest& request = platform().fileRequests.back();
    EXPECT_FALSE(request.save) << k;
    EXPECT_EQ(request.defaultExtension, kind.extension) << k;
    EXPECT_EQ(request.filter, kind.filter) << k;
    EXPECT_EQ(request.initialName, "") << k;
    EXPECT_EQ(window.nameField[k].enabled, kind.shown) << k;
    EXPECT_EQ(platform().messages.size(), kind.shown ? 1u : 0u) << k;  // the loader's message
  }
  EXPECT_EQ(platform().fileRequests.size(), 5u);
}

TEST_F(StyleSelectTest, AFailingOrCancelledChoiceLeavesEverythingAsItWas) {
  session().style.onBeat(0, 0, 0) = 17;
  session().compositionDb.kind = 5;
  const MelodyStyleDb styleBefore = session().style;
  StyleSelect window(session().Editors());
  const std::string missing = dir.File("other/missing.ton");
  platform().fileAnswers = {missing, dir.File("other/missing.mld"), std::string()};
  EXPECT_FALSE(window.ChooseDbFile(1));
  ASSERT_EQ(platform().messages.size(), 1u);
  EXPECT_EQ(platform().messages[0].text, "ファイルを開けません[" + missing + "]");
  EXPECT_FALSE(window.ChooseDbFile(0));
  EXPECT_FALSE(window.ChooseDbFile(1));  // empty answer
  EXPECT_FALSE(window.ChooseDbFile(1));  // dialog cancelled
  EXPECT_FALSE(window.ChooseDbFile(3));  // a hidden kind
  const size_t asked = platform().fileRequests.size();
  for (int kind : {-1, kDbKinds}) EXPECT_FALSE(window.ChooseDbFile(kind));  // no such kinds
  EXPECT_EQ(platform().fileRequests.size(), asked);
  EXPECT_EQ(session().style, styleBefore);
  EXPECT_EQ(session().compositionDb.kind, 5);
  EXPECT_EQ(window.nameField[0].text, "default.mld");
  EXPECT_EQ(window.nameField[1].text, "default.ton");
  EXPECT_EQ(session().dbFiles[1], "default.ton");
}

TEST_F(StyleSelectTest, TheCountOfCandidatesGoesToTheSessionWithinItsRange) {
  session().bestOf = 7;
  StyleSelect window(session().Editors());
  EXPECT_EQ(window.BestOf(), 7);
  const std::pair<int, int> cases[] = {{16, 16}, {1, 1}, {1000, 1000}, {1001, 1000},
                                       {0, 1},   {-5, 1}, {250, 250}};
  for (const auto& [typed, kept] : cases) {
    EXPECT_EQ(window.SetBestOf(typed), kept) << typed;
    EXPECT_EQ(session().bestOf, kept) << typed;
    EXPECT_EQ(window.BestOf(), kept) << typed;
  }
  EXPECT_TRUE(platform().messages.empty());
}

}  // namespace
}  // namespace vema
