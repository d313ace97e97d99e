#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "accomp/accompaniment.h"
#include "app/compose_command.h"
#include "app/playback.h"
#include "app/tiny_song_files.h"
#include "song/text.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::ReadAll;
using testing::TempDir;
using testing::TestSession;

const std::vector<std::string> kAllStatuses = {
    "音長の自動生成　　　", "音階の自動生成　　　", "伴奏データの自動生成",
    "MIDIデータの自動生成", "MMLデータの自動生成 ", std::string(20, ' ')};

struct Composer {
  TempDir dir;
  std::unique_ptr<TestSession> t;
  explicit Composer(uint8_t kind = 0, uint32_t seed = 7) {
    testing::WriteTinyFolder(dir.str(), kind);
    t = std::make_unique<TestSession>(dir.str(), seed);
    StartUp(*t->session);
  }
  Session& s() { return *t->session; }
  ScriptedPlatform& p() { return t->platform; }
};

// Output of a command (stdout), or "" when it could not run.
std::string Run(const std::string& command) {
  std::string output;
  if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    ::pclose(pipe);
  }
  return output;
}

// What python3-mido reads from a file: "tracks N" then per track "notes M end T" (the absolute
// tick of its end of track), then "ticks_per_beat D".
std::string MidoSummary(const std::string& path) {
  const std::string script =
      "import sys, mido\n"
      "m = mido.MidiFile(sys.argv[1], charset='cp932')\n"
      "print('tracks', len(m.tracks))\n"
      "for t in m.tracks:\n"
      "    print('notes', sum(1 for e in t if e.type == 'note_on' and e.velocity > 0),"
      " 'end', sum(e.time for e in t))\n"
      "print('ticks_per_beat', m.ticks_per_beat)\n";
  return Run("/usr/bin/python3 -c \"" + script + "\" '" + path + "' 2>&1");
}

// ---- order and status ----------------------------------------------------------------------

TEST(ComposeCommand, ReportsEveryStatusInOrderAndEndsBlank) {
  Composer c;
  ComposeCommand(c.s());
  EXPECT_EQ(c.p().statuses, kAllStatuses);
  EXPECT_EQ(c.s().statusText, std::string(20, ' '));
  for (const std::string& status : kAllStatuses) EXPECT_EQ(Utf8ToCp932(status).size(), 20u);
  EXPECT_EQ(c.p().feelDialogsShown, 1);
  EXPECT_EQ(c.p().StopMessageCount(), 0);
  ASSERT_FALSE(c.p().messages.empty());
  EXPECT_EQ(c.p().messages.back().text, "作曲完了！！");
  for (const char* name : {"out.mid", "out.mml", "work.txt"}) {
    EXPECT_TRUE(std::filesystem::exists(c.dir.File(name))) << name;
  }
}

TEST(ComposeCommand, ARefusedDatabaseKindStopsAfterTheNoteLengths) {
  Composer c(2);
  testing::WriteAll(c.dir.File("out.mid"), {1, 2, 3});
  ComposeCommand(c.s());
  EXPECT_EQ(c.p().statuses, std::vector<std::string>(kAllStatuses.begin(), kAllStatuses.begin() + 2));
  EXPECT_EQ(c.s().statusText, "音階の自動生成　　　");
  ASSERT_EQ(c.p().messages.size(), 1u);
  EXPECT_EQ(c.p().messages[0].text, "現在使用中のＤＢではこの関数は使用できません。");
  EXPECT_EQ(c.p().messages[0].icon, MessageIcon::kStop);
  EXPECT_EQ(c.p().feelDialogsShown, 0);
  EXPECT_EQ(ReadAll(c.dir.File("out.mid")), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_FALSE(std::filesystem::exists(c.dir.File("out.mml")));
  EXPECT_FALSE(std::filesystem::exists(c.dir.File("work.txt")));
  // The lengths and their trace are there.
  EXPECT_EQ(c.s().barNotes[0][0].length, 48);
  EXPECT_NE(c.s().log.text().find("音長進行生成フェーズ"), std::string::npos);
  EXPECT_EQ(c.s().midiImage.count, kNoMidiImage);
}

TEST(ComposeCommand, DatabaseKindsThreeAndFiveAreAccepted) {
  for (uint8_t kind : {3, 5}) {
    Composer c(kind);
    ComposeCommand(c.s());
    EXPECT_EQ(c.p().statuses.size(), kAllStatuses.size()) << int(kind);
    EXPECT_EQ(c.p().StopMessageCount(), 0) << int(kind);
  }
  EXPECT_TRUE(IsMelodyDbKind(0));
  EXPECT_FALSE(IsMelodyDbKind(1));
  EXPECT_FALSE(IsMelodyDbKind(255));
}

TEST(ComposeCommand, StopsAPlayingSongBeforeAnythingElse) {
  Composer c;
  PlayCommand(c.s());
  ASSERT_EQ(c.s().playing, 1);
  c.p().playerCommands.clear();
  c.p().statuses.clear();
  ComposeCommand(c.s());
  EXPECT_EQ(c.p().playerCommands,
            (std::vector<std::string>{"stop tada", "seek tada to start", "close tada"}));
  EXPECT_EQ(c.s().playing, 0);
  EXPECT_EQ(c.p().statuses.front(), kAllStatuses.front());
}

TEST(ComposeCommand, IdleCompositionSendsNoPlayerCommand) {
  Composer c;
  ComposeCommand(c.s());
  EXPECT_TRUE(c.p().playerCommands.empty());
  EXPECT_EQ(c.s().playing, 0);
}

// ---- feel --------------------------------------------------------------------------------------

int DrumFeelOf(const std::vector<uint8_t>& file) {
  // The drum track is the last chunk; its first bar follows 00 B9 07 64.
  for (size_t i = file.size() - 4; i-- > 0;) {
    if (file[i] == 0xB9 && file[i + 1] == 0x07 && file[i + 2] == 0x64) {
      for (int feel = 0; feel < 4; ++feel) {
        const auto bar = DrumBar(feel);
        if (i + 3 + bar.size() <= file.size() &&
            std::equal(bar.begin(), bar.end(), file.begin() + static_cast<long>(i + 3))) {
          return feel;
        }
      }
    }
  }
  return -1;
}

TEST(ComposeCommand, CancellingTheFeelDialogKeepsTheLastConfirmedFeel) {
  Composer c;
  c.p().feelAnswers = {std::nullopt, 2, std::nullopt};
  ComposeCommand(c.s());
  EXPECT_EQ(DrumFeelOf(ReadAll(c.dir.File("out.mid"))), kMarch);
  ComposeCommand(c.s());
  EXPECT_EQ(DrumFeelOf(ReadAll(c.dir.File("out.mid"))), kBlues);
  ComposeCommand(c.s());
  EXPECT_EQ(DrumFeelOf(ReadAll(c.dir.File("out.mid"))), kBlues);
  EXPECT_EQ(c.p().feelDialogsShown, 3);
}

// ---- whole composition ---------------------------------------------------------------------

TEST(WholeComposition, AnIndependentReaderSeesTheSong) {
  Composer c;
  c.p().feelAnswers = {kRock};
  ComposeCommand(c.s());
  const std::string path = c.dir.File("out.mid");
  EXPECT_EQ(ReadAll(path), c.s().midiImage.bytes);
  EXPECT_EQ(static_cast<size_t>(c.s().midiImage.count), c.s().midiImage.bytes.size());
  int melodyNotes = 0;
  for (int step = 0; c.s().noteTrack.at(step, 0).length > 0; ++step) {
    melodyNotes += c.s().noteTrack.at(step, 0).pitch != 0 ? 1 : 0;
  }
  EXPECT_GT(melodyNotes, 8 * testing::kTinyNotesPerBar / 2);
  std::ostringstream expected;
  expected << "tracks 5\n"
           << "notes 0 end 384\n"
           << "notes " << melodyNotes << " end 1536\n"
           // rock: two hits a bar; C, F and C are voiced with three notes, G7 with four
           << "notes " << 2 * (6 * 3 + 2 * 4) << " end 1536\n"
           << "notes " << 8 * 8 << " end 1536\n"  // eight roots a bar
           << "notes " << 8 * 14 << " end " << 1536 - 24 << "\n"
           << "ticks_per_beat 48\n";
  EXPECT_EQ(MidoSummary(path), expected.str());
}

TEST(WholeComposition, TheSameSeedGivesTheSameFiles) {
  Composer a(0, 99);
  Composer b(0, 99);
  ComposeCommand(a.s());
  ComposeCommand(b.s());
  for (const char* name : {"out.mid", "out.mml", "work.txt"}) {
    EXPECT_EQ(ReadAll(a.dir.File(name)), ReadAll(b.dir.File(name))) << name;
  }
}

TEST(WholeComposition, TheLongestFormIsWrittenWhole) {
  Composer c;
  LoadCustomForm(c.s(), 2);
  ASSERT_EQ(c.s().form.BarCount(), 96);
  c.p().feelAnswers = {kBlues};
  ComposeCommand(c.s());
  EXPECT_EQ(c.p().StopMessageCount(), 0);
  const std::string summary = MidoSummary(c.dir.File("out.mid"));
  EXPECT_NE(summary.find("tracks 5\nnotes 0 end 384\nnotes "), std::string::npos) << summary;
  EXPECT_NE(summary.find("notes " + std::to_string(12 * (72 * 3 + 24 * 4)) + " end 18432\n"),
            std::string::npos)
      << summary;
  // out.mml: 48 blocks per part, the last bar comment 95.
  const auto mml = ReadAll(c.dir.File("out.mml"));
  const std::string text(mml.begin(), mml.end());
  EXPECT_NE(text.find(";bar=95 ---------------\r\nA "), std::string::npos);
  EXPECT_NE(text.find(";bar=95 ---------------\r\nB "), std::string::npos);
}

TEST(WholeComposition, TheWorkFileHoldsEveryPhaseInCp932) {
  Composer c;
  ComposeCommand(c.s());
  const auto bytes = ReadAll(c.dir.File("work.txt"));
  const std::string work = Cp932ToUtf8(std::string(bytes.begin(), bytes.end()));
  const size_t lengths = work.find("------------------音長進行生成フェーズ");
  const size_t pitches = work.find("音高 ");
  const size_t mml = work.find("A C1@00BS64o5v110l16_0 t100\r\n");
  EXPECT_EQ(lengths, 0u);
  ASSERT_NE(pitches, std::string::npos);
  ASSERT_NE(mml, std::string::npos);
  EXPECT_LT(lengths, pitches);
  EXPECT_LT(pitches, mml);
  EXPECT_NE(work.find(";bar= 7 ---------------\r\nB "), std::string::npos);
}

TEST(WholeComposition, WithoutADatabaseTheAccompanimentIsStillWritten) {
  TempDir dir;
  testing::WriteTinyStyle(dir.str());
  testing::WriteTinyForms(dir.str());
  TestSession t(dir.str(), 3);
  StartUp(*t.session);
  t.platform.messages.clear();
  ComposeCommand(*t.session);
  // The note-length phase refuses, the pitch phase has nothing, the writer has no melody.
  bool noMelody = false;
  for (const auto& m : t.platform.messages) {
    noMelody = noMelody || m.text.starts_with("メロディーはまだ生成されていません。");
  }
  EXPECT_TRUE(noMelody);
  const std::string summary = MidoSummary(dir.File("out.mid"));
  EXPECT_TRUE(summary.starts_with("tracks 4\n")) << summary;
  EXPECT_EQ(t.platform.statuses, kAllStatuses);
}

}  // namespace
}  // namespace vema
