// The output files where the reference set does not reach: delta times and keys at their
// limits, a file without a melody, MML lengths and two-bar lines, CR LF and CP932 for every kind
// of text, and files that cannot be created.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "output/midi_writer.h"
#include "output/mml_writer.h"
#include "output/output_files.h"
#include "song/smf_bytes.h"
#include "song/text.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::TestSession;
using Bytes = std::vector<uint8_t>;
constexpr int32_t kEnd = -999;

void SetVoice(Session& session, int voice, const std::vector<TrackNote>& notes) {
  int step = 0;
  for (const TrackNote& n : notes) session.noteTrack.at(step++, voice) = n;
  session.noteTrack.at(step, voice).length = -1;
}

std::string FileText(const std::string& path) {
  const auto bytes = testing::ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

// clang-format off
TEST(SmfBytes, DeltaTimesAndKeys) {
  const std::pair<int64_t, Bytes> deltas[] = {
      {0, {0x00}}, {127, {0x7F}}, {128, {0x81, 0x00}}, {192, {0x81, 0x40}}, {16383, {0xFF, 0x7F}},
      {16384, {0x81, 0x80, 0x00}}, {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
      {int64_t{1} << 40, {0xFF, 0xFF, 0xFF, 0x7F}}};
  for (const auto& [ticks, bytes] : deltas) {
    Bytes out;
    AppendDeltaTime(out, ticks);
    EXPECT_EQ(out, bytes) << ticks;
  }
  // Keys move by octaves into 1..127; key 0 (a c in octave 0) must not become a rest.
  const std::pair<int64_t, int> keys[] = {{60, 60}, {1, 1}, {127, 127}, {0, 12}, {-1, 11},
      {-13, 11}, {128, 116}, {139, 127}, {140, 116}, {1535, 119}};
  for (const auto& [key, moved] : keys) EXPECT_EQ(KeyIntoMidiRange(key), moved) << key;
}
// clang-format on

// Rests (which no composition of the shipped data draws) wait as delta times; a trailing rest
// is left out.
// clang-format off
TEST(MidiFile, MelodyNotesRestsDeltasAndTheTrace) {
  TestSession t;
  t.session->instrumentPrograms[0] = 73;
  SetVoice(*t.session, 0, {{96, 0, 5}, {192, 1, 5}, {48, 5, 6}, {96, 0, 4}, {96, 0, 4}, {24, 8, 4},
                           {96, 0, 5}});
  MidiWriter writer(t.session->Writers());
  ASSERT_EQ(writer.BuildMelodyTrack(), 1);
  EXPECT_EQ(writer.melodyTrack, (Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 26 + 7, 0x00, 0xC0, 73,
                                       0x60, 0x90, 60, 0x60, 0x81, 0x40, 0x80, 60, 0x00,  // r 96, c 192
                                       0x00, 0x90, 76, 0x60, 0x30, 0x80, 76, 0x00,        // e 48
                                       0x81, 0x40, 0x90, 55, 0x60, 0x18, 0x80, 55, 0x00,  // r r, g 24
                                       0x00, 0xFF, 0x2F, 0x00}));  // the trailing rest is left out
  EXPECT_EQ(t.session->log.text(), "音高 60 音長 192\n音高 76 音長 48\n音高 55 音長 24\n");
}
// clang-format on

// The bytes of whole songs are pinned by the reference set; a song without a melody (which no
// composition writes) has four tracks, no melody chunk, and says so.
TEST(MidiFile, WithoutAMelodyTheFileHoldsTheAccompanimentAndSaysSo) {
  TestSession t;
  MidiWriter writer(t.session->Writers());
  writer.voicings.assign(8, {60, 64, 67, kEnd});
  writer.voicings.push_back({kEnd});
  writer.bassNotes = {48, 48, 48, 48, 48, 48, 48, 48, kEnd};
  const Bytes file = writer.AssembleFile(kMarch);
  ASSERT_GT(file.size(), 58u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 14),
            (Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 4, 0, 0x30}));
  Bytes tracks;
  for (const Bytes& chunk : {BuildChordTrackChunk(writer.voicings, kMarch, 0),
                             BuildBassTrackChunk(writer.bassNotes, kMarch, 0),
                             BuildDrumTrackChunk(kMarch, 8)}) {
    tracks.insert(tracks.end(), chunk.begin(), chunk.end());
  }
  EXPECT_EQ(Bytes(file.begin() + 58, file.end()), tracks);  // after the conductor track
  ASSERT_EQ(t.platform.messages.size(), 1u);
  EXPECT_EQ(t.platform.messages[0].text,
            "メロディーはまだ生成されていません。\n伴奏パタンのみ作成します。");
}

TEST(MidiFile, AFileThatCannotBeCreatedKeepsTheImage) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir.File("out.mid"));  // a folder in the file's place
  TestSession t(dir.str());
  t.session->midiImage = {{1, 2, 3}, 3};
  SetVoice(*t.session, 0, {{192, 1, 5}});
  EXPECT_FALSE(MidiWriter(t.session->Writers()).Write(kMarch));
  EXPECT_EQ(t.session->midiImage.bytes, (Bytes{1, 2, 3}));
  EXPECT_EQ(t.platform.messages.back().text, "File could not created! ");
  EXPECT_EQ(t.platform.messages.back().icon, MessageIcon::kStop);
}

TEST(MmlLength, TableEntriesTiesAndTheInexpressible) {
  ScriptedPlatform p;
  const std::pair<int, const char*> cases[] = {
      {48, "4"},    {144, "2."},   {120, "2^8"}, {0, "^"},       {192, "1"},       {60, "16^4"},
      {240, "4^1"}, {5, "192^48"}, {384, "1^1"}, {432, "1^4^1"}, {385, "1^192^1"}, {1000, "1^"}};
  for (const auto& [ticks, text] : cases) {
    std::string out;
    AppendMmlLength(p, ticks, out);
    EXPECT_EQ(out, text) << ticks;
  }
  ASSERT_EQ(p.messages.size(), 1u);  // for 1000 only
  EXPECT_EQ(p.messages[0].text, "[808]適合音長ＭＭＬが見つかりません");
  EXPECT_EQ(p.messages[0].icon, MessageIcon::kStop);
}

TEST(MmlLine, TwoBarsWithRelativeOctavesRestsAndTies) {
  const std::tuple<std::vector<TrackNote>, const char*, int> cases[] = {
      {{{48, 1, 5}, {48, 5, 6}, {192, 8, 6}, {96, 8, 6}, {48, 1, 5}}, "c4>e4g1g2<", 4},
      {{{96, 0, 5}, {24, -1, 5}, {24, 3, 4}, {240, 1, 5}}, "r2r8<d8>c4^1", 4},
      {{{192, 1, 5}, {144, 3, 5}, {96, 5, 5}, {48, 6, 5}}, "c1d2.e2", 3},  // crosses bar 2
      {{{192, 1, 5}, {192, 3, 5}, {0, 3, 5}, {48, 3, 5}}, "c1d1^", 0},
  };
  for (const auto& [notes, text, next] : cases) {
    TestSession t;
    SetVoice(*t.session, 0, notes);
    const MmlLine line = FormatMmlLine(t.session->Writers(), 0, 0);
    EXPECT_EQ(line.text, text);
    EXPECT_TRUE(next == 0 || line.next == next) << text << " " << line.next;
  }
}

struct MmlFilesTest : ::testing::Test {
  void SetUp() override {
    s.log.Reset("------------------音長進行生成フェーズ------------------\n");
    SetVoice(s, 0, std::vector<TrackNote>(16, TrackNote{96, 1, 5}));
    SetVoice(s, 1, std::vector<TrackNote>(64, TrackNote{24, 8, 3}));
  }
  testing::TempDir dir;
  TestSession t{dir.str()};
  Session& s = *t.session;
};

TEST_F(MmlFilesTest, AFileThatCannotBeCreatedLeavesTheOther) {
  for (const char* blocked : {"out.mml", "work.txt"}) {
    std::filesystem::remove_all(dir.path());
    std::filesystem::create_directories(dir.File(blocked));
    WriteMmlFile(s.Writers());
    EXPECT_EQ(t.platform.messages.back().text, "File could not created! ");
    EXPECT_EQ(t.platform.messages.back().icon, MessageIcon::kStop);
    const std::string kept = blocked[0] == 'o' ? "work.txt" : "out.mml";
    EXPECT_NE(FileText(dir.File(kept)).find("A c2c2c2c2"), std::string::npos) << kept;
  }
  EXPECT_EQ(t.platform.messages.size(), 2u);
}

// Text files in CP932: each character as the converter gives it, line feeds as CR LF, also for
// broken UTF-8 and for characters without a CP932 form.
// The plain reading: ASCII as it is (LF as CR LF), every run of other bytes converted whole.
std::string Reference(std::string_view utf8) {
  std::string out;
  size_t i = 0;
  while (i < utf8.size()) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      if (utf8[i] == '\n') out += '\r';
      out += utf8[i++];
      continue;
    }
    size_t end = i;
    while (end < utf8.size() && static_cast<unsigned char>(utf8[end]) >= 0x80) ++end;
    out += Utf8ToCp932(utf8.substr(i, end - i));
    i = end;
  }
  return out;
}

TEST(TextFile, EveryCharacterAsTheConverterGivesIt) {
  EXPECT_EQ(ToCp932TextFile("a\n音長→\nb"), "a\r\n\x89\xB9\x92\xB7\x81\xA8\r\nb");
  // A CP932 byte kept undecoded in the trace is written as that byte.
  EXPECT_EQ(ToCp932TextFile("ato=" + Cp932ToUtf8("\xFE"
                                                 "C",
                                                 Undecodable::kKeepByte) +
                            "\n"),
            "ato=\xFE"
            "C\r\n");
  const std::vector<std::string> pieces = {
      "a", "\n", " ", "音", "長", "→", "ｷ", "①", "😀", "한", "\xE9", "\xE9\x9F", "\xFF", "\x80",
      "\xC3\xA9", "abcdefghij", "\n\n", "旋律スタイル", "\uF7FE", "\uF780"};
  std::mt19937 random(12);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 40);
    for (int k = 0; k < count; ++k) text += pieces[random() % pieces.size()];
    EXPECT_EQ(ToCp932TextFile(text), Reference(text)) << text;
  }
}

}  // namespace
}  // namespace vema
