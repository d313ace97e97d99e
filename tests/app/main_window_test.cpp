// The main window's logic: tool-window toggling, the shown title, naming the song and saving.
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "app/main_window_logic.h"
#include "app/name_prompt.h"
#include "song/text.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::ReadAll;
using testing::TempDir;
using testing::TestSession;
using testing::WriteAll;

TEST(ToolWindowToggle, FirstPressCreatesThenPressesAlternate) {
  int shown = 0;
  EXPECT_EQ(ToggleToolWindow(false, shown), ToolWindowAction::kCreate);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(ToggleToolWindow(true, shown), ToolWindowAction::kHide);
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(ToggleToolWindow(true, shown), ToolWindowAction::kShow);
  EXPECT_EQ(shown, 1);
}

TEST(ToolWindowToggle, WindowClosedByItselfIsShownByTheNextPress) {
  int shown = 0;
  ToggleToolWindow(false, shown);
  shown = 0;  // the tool window's own close button clears the flag
  EXPECT_EQ(ToggleToolWindow(true, shown), ToolWindowAction::kShow);
  EXPECT_EQ(shown, 1);
}

// Width and height from a PNG file's header; {0, 0} when it is no PNG file.
std::pair<int, int> PngSize(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadAll(path);
  if (bytes.size() < 24 || bytes[1] != 'P' || bytes[2] != 'N' || bytes[3] != 'G') return {0, 0};
  auto be32 = [&](size_t at) {
    return (bytes[at] << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3];
  };
  return {be32(16), be32(20)};
}

TEST(MainWindowPictures, EveryButtonHasUpAndDownPicturesOfItsSize) {
  const std::string dir = std::string(VEMA_SOURCE_DIR) + "/res/images/";
  for (const PictureButtonSpec& button : kMainButtons) {
    for (const char* state : {"U", "D"}) {
      const std::string name = std::string(button.caption) + state;
      EXPECT_EQ(PngSize(dir + name + ".png"), std::make_pair(button.width, button.height))
          << name;
    }
  }
  EXPECT_EQ(PngSize(dir + "BACKGROUND.png"),
            std::make_pair(kBackgroundWidth, kBackgroundHeight));
}

TEST(ShownTitle, LongAsciiTitleShowsItsFirst26Bytes) {
  const std::string title(40, 'x');
  EXPECT_EQ(ShownTitle(title), std::string(26, 'x'));
  EXPECT_EQ(ShownTitle("short"), "short");
}

TEST(ShownTitle, JapaneseTitleIsCutWithoutSplittingACharacter) {
  // "a" + 13 kana = 27 CP932 bytes: the last kana does not fit into 26 bytes.
  const std::string title = "aあいうえおかきくけこさしすせ";
  const std::string shown = ShownTitle(title);
  EXPECT_EQ(shown, "aあいうえおかきくけこさし");
  EXPECT_EQ(Utf8ToCp932(shown).size(), 25u);
}

TEST(NamePrompt, OkTakesTheFirstLineOnly) {
  TestSession t;
  t.platform.promptAnswers.push_back(std::string("曲名\r\n二行目"));
  NameSongCommand(*t.session);
  EXPECT_EQ(t.session->inputText, "曲名");
  EXPECT_EQ(t.session->title, "曲名");
}

TEST(NamePrompt, LongFieldKeepsAtMost255Bytes) {
  TestSession t;
  t.platform.promptAnswers.push_back(std::string(300, 'z'));
  NameSongCommand(*t.session);
  EXPECT_EQ(t.session->inputText, std::string(255, 'z'));
  // Double-byte characters: 128 kana are 256 bytes; 127 of them fit.
  std::string kana;
  for (int i = 0; i < 128; ++i) kana += "ア";
  t.platform.promptAnswers.push_back(kana);
  NameSongCommand(*t.session);
  EXPECT_EQ(Utf8ToCp932(t.session->inputText).size(), 254u);
}

TEST(NamePrompt, CancelShowsTheTextConfirmedLast) {
  TestSession t;
  t.platform.promptAnswers.push_back(std::nullopt);
  NameSongCommand(*t.session);
  EXPECT_EQ(t.session->title, "");

  t.session->inputText = "保存した楽式";  // e.g. confirmed in the custom form dialog
  t.platform.promptAnswers.push_back(std::nullopt);
  NameSongCommand(*t.session);
  EXPECT_EQ(t.session->title, "保存した楽式");
}

TEST(NamePrompt, ConfirmingAnEmptyFieldEmptiesTheText) {
  TestSession t;
  t.session->inputText = "old";
  t.platform.promptAnswers.push_back(std::string());
  NameSongCommand(*t.session);
  EXPECT_EQ(t.session->inputText, "");
  EXPECT_EQ(t.session->title, "");
}

TEST(SaveSong, RefusesBeforeTheFirstSong) {
  TestSession t;
  EXPECT_FALSE(SaveSongCommand(*t.session));
  ASSERT_EQ(t.platform.messages.size(), 1u);
  EXPECT_EQ(t.platform.messages[0].text, "曲が生成されていません。");
  EXPECT_EQ(t.platform.messages[0].icon, MessageIcon::kStop);
  EXPECT_TRUE(t.platform.fileRequests.empty());
}

TEST(SaveSong, ProposesVema01EveryTimeAndCancelWritesNothing) {
  TempDir dir;
  TestSession t(dir.str());
  t.session->midiImage.bytes = {1, 2, 3};
  t.session->midiImage.count = 3;
  EXPECT_FALSE(SaveSongCommand(*t.session));
  EXPECT_FALSE(SaveSongCommand(*t.session));
  ASSERT_EQ(t.platform.fileRequests.size(), 2u);
  for (const auto& r : t.platform.fileRequests) {
    EXPECT_TRUE(r.save);
    EXPECT_EQ(r.initialName, "vema01.mid");
    EXPECT_EQ(r.defaultExtension, "mid");
    EXPECT_EQ(r.filter, "MIDI Files (*.mid)|*.mid|");
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  EXPECT_TRUE(t.platform.messages.empty());
}

TEST(SaveSong, OverwritingALongerFileLeavesExactlyTheSong) {
  TempDir dir;
  TestSession t(dir.str());
  const std::string target = dir.File("song.mid");
  WriteAll(target, std::vector<uint8_t>(1000, 0xAA));
  t.session->midiImage.bytes = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 9, 9};
  t.session->midiImage.count = 8;  // only the counted bytes belong to the song
  t.platform.fileAnswers.push_back(target);
  EXPECT_TRUE(SaveSongCommand(*t.session));
  EXPECT_EQ(ReadAll(target), (std::vector<uint8_t>{'M', 'T', 'h', 'd', 0, 0, 0, 6}));
  EXPECT_TRUE(t.platform.messages.empty());
}

TEST(SaveSong, RelativeNameIsAFileOfTheWorkingDirectory) {
  TempDir dir;
  TestSession t(dir.str());
  t.session->midiImage.bytes = {7, 8};
  t.session->midiImage.count = 2;
  t.platform.fileAnswers.push_back(std::string("mine.mid"));
  EXPECT_TRUE(SaveSongCommand(*t.session));
  EXPECT_EQ(ReadAll(dir.File("mine.mid")), (std::vector<uint8_t>{7, 8}));
}

TEST(SaveSong, UnwritableTargetIsReportedAndNothingIsWritten) {
  TempDir dir;
  TestSession t(dir.str());
  t.session->midiImage.bytes = {1};
  t.session->midiImage.count = 1;
  t.platform.fileAnswers.push_back(dir.File("missing-folder/x.mid"));
  EXPECT_FALSE(SaveSongCommand(*t.session));
  t.platform.fileAnswers.push_back(dir.str());  // a folder, not a file
  EXPECT_FALSE(SaveSongCommand(*t.session));
  ASSERT_EQ(t.platform.messages.size(), 2u);
  for (const auto& m : t.platform.messages) {
    EXPECT_EQ(m.text, "File could not created! ");
    EXPECT_EQ(m.icon, MessageIcon::kStop);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing-folder")));
}

}  // namespace
}  // namespace vema
