// The compose command: its steps and status texts, refusals, playback and the feel; the whole
// composition as python3-mido reads it.
#include "app/compose_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "accomp/accompaniment.h"
#include "app/playback.h"
#include "app/tiny_song_files.h"
#include "output/midi_writer.h"
#include "support/child_process.h"

namespace vema {
namespace {

const std::vector<std::string> kAllStatuses = {"音長の自動生成　　　", "音階の自動生成　　　",
                                               "伴奏データの自動生成", "MIDIデータの自動生成",
                                               "MMLデータの自動生成 ", std::string(20, ' ')};

struct Composer {
  explicit Composer(uint8_t kind = 0) : t(dir.str(), 7) {
    testing::WriteTinyFolder(dir.str(), kind);
    StartUp(*t.session);
  }
  Session& s() { return *t.session; }
  ScriptedPlatform& p() { return t.platform; }
  testing::TempDir dir;
  testing::TestSession t;
};

// python3-mido's view of a file: "tracks N", then "notes M end T" (T: the end of track) a track.
std::string MidoSummary(const std::string& path) {
  return testing::Shell(
             "/usr/bin/python3 -c \"import sys, mido\n"
             "m = mido.MidiFile(sys.argv[1], charset='cp932')\n"
             "print('tracks', len(m.tracks))\n"
             "for t in m.tracks: print('notes', sum(e.type == 'note_on' and e.velocity > 0 for e in t),"
             " 'end', sum(e.time for e in t))\" '" + path + "'")
      .output;
}

TEST(ComposeCommand, ReportsEveryStatusInOrderWritesTheFilesAndStopsPlayingFirst) {
  Composer c;
  ComposeCommand(c.s());
  EXPECT_EQ(c.p().statuses, kAllStatuses);
  ASSERT_EQ(c.p().StopMessageCount(), 0);
  EXPECT_EQ(c.p().messages.back().text, "作曲完了！！");
  EXPECT_EQ(testing::ReadAll(c.dir.File("out.mid")), c.s().midiImage.bytes);
  EXPECT_TRUE(c.p().playerCommands.empty());
  PlayCommand(c.s());
  c.p().playerCommands.clear();
  ComposeCommand(c.s());
  EXPECT_EQ(c.p().playerCommands,
            (std::vector<std::string>{"stop tada", "seek tada to start", "close tada"}));
  EXPECT_EQ(c.s().playing, 0);
}

TEST(ComposeCommand, OnlyMelodyDatabaseKindsGoPastTheNoteLengths) {
  for (uint8_t kind : {3, 5}) {
    Composer c(kind);
    ComposeCommand(c.s());
    EXPECT_EQ(c.p().statuses, kAllStatuses) << int(kind);
  }
  Composer c(2);
  testing::WriteAll(c.dir.File("out.mid"), {1, 2, 3});
  ComposeCommand(c.s());
  EXPECT_EQ(c.p().statuses.size(), 2u);
  ASSERT_EQ(c.p().messages.size(), 1u);
  EXPECT_EQ(c.p().messages[0].text, "現在使用中のＤＢではこの関数は使用できません。");
  EXPECT_EQ(c.p().messages[0].icon, MessageIcon::kStop);
  EXPECT_EQ(testing::ReadAll(c.dir.File("out.mid")), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_FALSE(std::filesystem::exists(c.dir.File("out.mml")));
}

TEST(ComposeCommand, AFailedPitchPhaseLeavesNoMelodyOfThePreviousSong) {
  // Chord names refused at bar 18: CP932 text, and bytes that CP932 does not decode (shown as
  // U+FFFD in the message).
  const std::pair<std::string, std::string> names[] = {
      {"\x83\x68", "ド"},
      {"\xFE"
       "C",
       "\uFFFDC"},
      {"\x80\xA0\xFD\xFF", "\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"C\x81", "C\uFFFD"}};  // a lead byte without its trail byte
  for (const auto& [bytes, shown] : names) {
    SCOPED_TRACE(shown);
    Composer c;
    ComposeCommand(c.s());
    ASSERT_EQ(c.s().midiImage.bytes.at(11), 5);  // conductor, melody, chords, bass and drums
    c.s().form.lastPeriod = 2;
    c.s().form.SetChord(17, bytes);
    c.p().messages.clear();
    ComposeCommand(c.s());
    EXPECT_EQ(c.s().noteTrack.at(0, 0).length, 0);
    EXPECT_EQ(c.s().midiImage.bytes.at(11), 4);  // the accompaniment alone
    ASSERT_FALSE(c.p().messages.empty());
    EXPECT_EQ(c.p().messages[0].text, "コード解析error\n[" + shown + "]は誤りまたは未対応です");
    const auto has = [&](const std::string& text) {
      return std::any_of(c.p().messages.begin(), c.p().messages.end(),
                         [&](const auto& m) { return m.text == text; });
    };
    EXPECT_TRUE(has(kNoMelodyMessage));
    EXPECT_TRUE(has("作曲完了！！"));
    // work.txt holds the name's own CP932 bytes.
    const auto work = testing::ReadAll(c.dir.File("work.txt"));
    EXPECT_NE(std::string(work.begin(), work.end()).find("ato=" + bytes + "mae="),
              std::string::npos);
  }
}

TEST(WholeComposition, ACancelledFeelDialogKeepsTheLastFeelAndMidoReadsTheSong) {
  Composer c;
  c.p().feelAnswers = {std::nullopt, kBlues, std::nullopt, 7, kStandard, kRock};
  for (int feel : {kMarch, kBlues, kBlues, kBlues, kStandard, kRock}) {
    ComposeCommand(c.s());
    // The file ends with the feel's drum bar (after its first delta) and 00 FF 2F 00.
    const auto bar = DrumBar(feel);
    const auto mid = testing::ReadAll(c.dir.File("out.mid"));
    EXPECT_TRUE(std::equal(bar.begin() + 1, bar.end(), mid.end() - 3 - long(bar.size()))) << feel;
  }
  int melodyNotes = 0;
  for (int step = 0; c.s().noteTrack.at(step, 0).length > 0; ++step) {
    melodyNotes += c.s().noteTrack.at(step, 0).pitch != 0 ? 1 : 0;
  }
  EXPECT_GT(melodyNotes, 16);
  // Eight bars of rock: two chord hits a bar, C, F and C voiced with three notes, G7 with four;
  // eight bass roots a bar; the drums end at their last hit.
  EXPECT_EQ(MidoSummary(c.dir.File("out.mid")),
            "tracks 5\nnotes 0 end 384\nnotes " + std::to_string(melodyNotes) +
                " end 1536\nnotes 52 end 1536\nnotes 64 end 1536\nnotes 112 end 1512\n");
}

}  // namespace
}  // namespace vema
