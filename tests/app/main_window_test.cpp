// The main window's logic: tool-window toggling, the shown title, naming the song and saving.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/help_text.h"
#include "app/main_window_logic.h"
#include "app/name_prompt.h"
#include "app/piano_roll.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::ReadAll;
using testing::TempDir;
using testing::TestSession;

TEST(MainWindow, ToolWindowToggleAndTheShownTitle) {
  int shown = 0;
  EXPECT_EQ(ToggleToolWindow(false, shown), ToolWindowAction::kCreate);
  EXPECT_EQ(ToggleToolWindow(true, shown), ToolWindowAction::kHide);
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(ToggleToolWindow(true, shown), ToolWindowAction::kShow);
  EXPECT_EQ(shown, 1);
  shown = 0;  // the tool window's own close button clears the flag: the next press shows it
  EXPECT_EQ(ToggleToolWindow(true, shown), ToolWindowAction::kShow);
  // The first 26 bytes; "a" + 13 kana are 27 CP932 bytes: the last kana does not fit.
  EXPECT_EQ(ShownTitle(std::string(40, 'x')), std::string(26, 'x'));
  EXPECT_EQ(ShownTitle("aあいうえおかきくけこさしすせ"), "aあいうえおかきくけこさし");
}

TEST(MainWindow, TheSongHistoryControlsAndKeys) {
  // The history and roll buttons on the background, apart from every other button, the
  // history text clear of them.
  std::vector<PictureButtonPlace> all(kMainButtons.begin(), kMainButtons.end());
  all.push_back(kRollButton);
  all.insert(all.end(), kHistoryButtons.begin(), kHistoryButtons.end());
  const auto apart = [](int x, int y, int w, int h, const PictureButtonPlace& b) {
    return x + w <= b.x || b.x + b.width <= x || y + h <= b.y || b.y + b.height <= y;
  };
  for (size_t i = kMainButtons.size(); i < all.size(); ++i) {
    const PictureButtonPlace& button = all[i];
    EXPECT_TRUE(button.x >= 0 && button.y >= 0 && button.x + button.width <= kBackgroundWidth &&
                button.y + button.height <= kBackgroundHeight) << button.caption;
    for (size_t j = 0; j < all.size(); ++j) {
      if (j == i) continue;
      EXPECT_NE(button.id, all[j].id);
      EXPECT_TRUE(apart(button.x, button.y, button.width, button.height, all[j]))
          << button.caption << " " << all[j].caption;
    }
  }
  const TextArea& text = kHistoryArea;
  for (const PictureButtonPlace& other : all) {
    EXPECT_TRUE(apart(text.left, text.top, text.right - text.left, text.bottom - text.top, other))
        << other.caption;
  }
  EXPECT_EQ(HistoryPlaceText(3, 12), "3/12");
  EXPECT_EQ(HistoryPlaceText(0, 12), "-/12");
  EXPECT_EQ(HistoryPlaceText(0, 0), "");

  struct Case {
    int key;
    bool alt, control, shift;
    SongKey what;
  };
  const Case cases[] = {
      {kLeftKey, true, false, false, SongKey::kBack},  {kRightKey, true, false, false, SongKey::kForward},
      {kLeftKey, false, false, false, SongKey::kNone}, {kLeftKey, true, true, false, SongKey::kNone},
      {'Z', false, true, false, SongKey::kUndo},       {'Z', false, true, true, SongKey::kRedo},
      {'Y', false, true, false, SongKey::kRedo},       {'Y', false, true, true, SongKey::kNone},
      {'Z', false, false, false, SongKey::kNone},      {'Z', true, true, false, SongKey::kNone},
      {'X', false, true, false, SongKey::kNone}};
  for (const Case& c : cases) {
    EXPECT_EQ(SongKeyOf(c.key, c.alt, c.control, c.shift), c.what)
        << c.key << c.alt << c.control << c.shift;
  }
}

TEST(NamePrompt, FirstLineAtMost255BytesCancelShowsTheTextConfirmedLast) {
  TestSession t;
  std::string kana;  // 128 kana are 256 bytes; 127 of them fit
  for (int i = 0; i < 128; ++i) kana += "ア";
  // clang-format off
  const std::pair<std::optional<std::string>, std::string> steps[] = {
      {std::nullopt, ""}, {"曲名\r\n二行目", "曲名"}, {std::nullopt, "曲名"},
      {std::string(300, 'z'), std::string(255, 'z')}, {kana, kana.substr(0, 127 * 3)}, {"", ""}};
  // clang-format on
  for (const auto& [answer, text] : steps) {
    t.platform.promptAnswers.push_back(answer);
    NameSongCommand(*t.session);
    EXPECT_EQ(t.session->inputText, text);
    EXPECT_EQ(t.session->title, text);
  }
}

TEST(SaveSong, RefusesBeforeTheFirstSongWritesExactlyTheSongOrReportsTheFailure) {
  TempDir dir;
  TestSession t(dir.str());
  EXPECT_FALSE(SaveSongCommand(*t.session));
  EXPECT_EQ(t.platform.messages.at(0).text, "曲が生成されていません。");
  EXPECT_TRUE(t.platform.fileRequests.empty());
  t.session->midiImage = {{'M', 'T', 'h', 'd', 9, 9}, 4};  // only the counted bytes are the song
  EXPECT_FALSE(SaveSongCommand(*t.session));               // cancelled
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  testing::WriteAll(dir.File("song.mid"), std::vector<uint8_t>(1000, 0xAA));
  for (const std::string& name : {dir.File("song.mid"), std::string("mine.mid")}) {
    t.platform.fileAnswers.push_back(name);  // a longer file; a name in the working directory
    EXPECT_TRUE(SaveSongCommand(*t.session));
  }
  EXPECT_EQ(ReadAll(dir.File("mine.mid")), (std::vector<uint8_t>{'M', 'T', 'h', 'd'}));
  EXPECT_EQ(ReadAll(dir.File("song.mid")), ReadAll(dir.File("mine.mid")));
  EXPECT_EQ(t.platform.fileRequests.back().initialName, "vema01.mid");
  // The status line says where the song went.
  EXPECT_EQ(t.session->statusText, "保存しました\nmine.mid");
  EXPECT_EQ(t.platform.statuses.back(), t.session->statusText);
  EXPECT_EQ(t.platform.fileRequests.back().filter,
            "MIDI (*.mid)|*.mid|MusicXML (*.musicxml)|*.musicxml|WAV (*.wav)|*.wav|");
  for (const std::string& target : {dir.File("missing-folder/x.mid"), dir.str()}) {
    t.platform.fileAnswers.push_back(target);
    EXPECT_FALSE(SaveSongCommand(*t.session));
    EXPECT_EQ(t.platform.messages.back().text, "File could not created! ");
    EXPECT_EQ(t.platform.messages.back().icon, MessageIcon::kStop);
  }
  EXPECT_EQ(t.platform.messages.size(), 3u);
}

TEST(SaveSong, ProposesTheTitleOrTheNextFreeNameAndSaysWhereTheSongWent) {
  TempDir dir;
  TestSession t(dir.str());
  EXPECT_EQ(SaveSuggestion(*t.session), "vema01.mid");
  // A file of any of SAVE's types takes its number.
  for (const char* taken : {"vema01.mid", "vema02.wav", "vema03.musicxml", "vema05.mid"}) {
    testing::WriteAll(dir.File(taken), {1});
  }
  EXPECT_EQ(SaveSuggestion(*t.session), "vema04.mid");
  const std::pair<std::string, std::string> titles[] = {
      {"夏の歌", "夏の歌.mid"},
      {"a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j.mid"},
      {"  .hidden. ", "hidden.mid"},
      {"two\nlines", "two.mid"},
      {"tab\there", "tab_here.mid"},
      {" ... ", "vema04.mid"},
      {std::string(150, 'x'), std::string(kSaveNameBytes, 'x') + ".mid"}};
  for (const auto& [title, name] : titles) {
    t.session->title = title;
    EXPECT_EQ(SaveSuggestion(*t.session), name) << title;
  }
  // Where the file went: its name in the working directory, else the end of its path.
  std::filesystem::create_directories(dir.File("a-folder-with-a-rather-long-name"));
  EXPECT_EQ(SavedStatus(*t.session, dir.File("song.mid")), "保存しました\nsong.mid");
  EXPECT_EQ(SavedStatus(*t.session, "song.mid"), "保存しました\nsong.mid");
  EXPECT_EQ(SavedStatus(*t.session, dir.File("a-folder-with-a-rather-long-name/s.mid")),
            "保存しました\n…h-a-rather-long-name/s.mid");  // 28 half-width columns
}

TEST(HelpText, JapaneseMayBreakBetweenCharactersButNotAroundPunctuationOrInsideTags) {
  const std::pair<std::string, std::string> cases[] = {
      {"<body>あいう</body>", "<body>あ<wbr>い<wbr>う</body>"},
      {"<body>押すと、1&nbsp;行目</body>", "<body>押<wbr>す<wbr>と、1&nbsp;行<wbr>目</body>"},
      {"<body>「OK」を。（表示）コード</body>",
       "<body>「OK」<wbr>を。<wbr>（表<wbr>示）<wbr>コー<wbr>ド</body>"},
      {"<body>ちょっとァッ</body>", "<body>ちょっ<wbr>とァッ</body>"},
      {"<head><title>使い方</title></head><body><b>楽式</b>の<a href=\"あい.htm\">リンク</a></body>",
       "<head><title>使い方</title></head><body><b>楽<wbr>式</b>の<a href=\"あい.htm\">リ<wbr>ン"
       "<wbr>ク</a></body>"},
      {"VEMA は短い", "VEMA は<wbr>短<wbr>い"},  // no body: all of it is text
      {"<body>éè§</body>", "<body>éè§</body>"},  // two-byte letters are no Japanese
      {"<body>a\xE3\x81", "<body>a\xE3\x81"}};  // a character cut off at the end
  for (const auto& [page, marked] : cases) EXPECT_EQ(MarkJapaneseLineBreaks(page), marked) << page;
}

}  // namespace
}  // namespace vema
