// What the windows show and say about playback, without a window: the output list of the
// instrument window, the playing mark and the player's notices.
#include <gtest/gtest.h>

#include "app/playback.h"
#include "support/recording_player.h"
#include "support/test_support.h"

namespace vema {
namespace {

TEST(OutputList, TheSynthesizerFirstThenThePortsWithAMissingChoiceKeptAndMarked) {
  struct Case {
    const char* what;
    std::vector<std::string> ports;
    std::string chosen;
    std::vector<std::string> entries, chooses;
    int selected;
  };
  const Case cases[] = {
      {"no ports", {}, "", {kBuiltInSynthesizer}, {""}, 0},
      {"a port chosen",
       {"a:in", "", "b:in"},
       "b:in",
       {kBuiltInSynthesizer, "a:in", "b:in"},
       {"", "a:in", "b:in"},
       2},
      {"the synthesizer chosen", {"a:in"}, "", {kBuiltInSynthesizer, "a:in"}, {"", "a:in"}, 0},
      {"a port gone",
       {"a:in"},
       "gone:in",
       {kBuiltInSynthesizer, "a:in", "gone:in（見つかりません）"},
       {"", "a:in", "gone:in"},
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const OutputList list = MakeOutputList(c.ports, c.chosen);
    EXPECT_EQ(list.entries, c.entries);
    EXPECT_EQ(list.ports, c.chooses);
    EXPECT_EQ(list.selected, c.selected);
  }
}

TEST(LookAtPlayback, TheMarkWhileTheSongPlaysAndEachNoticeOnceInTheWordsOfTheWindow) {
  testing::TestSession t;
  testing::RecordingPlayer player;
  EXPECT_FALSE(LookAtPlayback(*t.session, nullptr).sounding);
  player.Command(kPlayerPlay);
  player.tick = 12;
  EXPECT_FALSE(LookAtPlayback(*t.session, &player).sounding) << "no PLAY pressed";
  t.session->playing = 1;
  EXPECT_TRUE(LookAtPlayback(*t.session, &player).sounding);
  player.tick = -1;
  EXPECT_FALSE(LookAtPlayback(*t.session, &player).sounding) << "at the song's end";

  player.notices = {{PlayerNotice::Kind::kPortMissing, "a:in"}, {PlayerNotice::Kind::kPortLost, "b:in"}};
  const PlaybackView missing = LookAtPlayback(*t.session, &player);
  EXPECT_EQ(missing.message, "MIDI出力「a:in」が見つかりません。内蔵シンセサイザーで演奏します。");
  EXPECT_FALSE(missing.error);
  const PlaybackView lost = LookAtPlayback(*t.session, &player);
  EXPECT_EQ(lost.message, "MIDI出力「b:in」が使えなくなったため、演奏を止めました。");
  EXPECT_TRUE(lost.error);
  EXPECT_EQ(LookAtPlayback(*t.session, &player).message, "");
}

}  // namespace
}  // namespace vema
