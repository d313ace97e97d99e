#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "output/mml_writer.h"
#include "output/output_files.h"
#include "song/text.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::TempDir;
using testing::TestSession;

struct Cell {
  int32_t length;
  int32_t pitch;
  int8_t octave;
};

void SetVoice(Session& session, int voice, const std::vector<Cell>& cells) {
  int step = 0;
  for (const Cell& c : cells) session.noteTrack.at(step++, voice) = {c.length, c.pitch, c.octave};
  session.noteTrack.at(step, voice).length = -1;
}

std::vector<Cell> Repeat(Cell cell, int times) { return std::vector<Cell>(times, cell); }

std::string Length(int ticks, ScriptedPlatform& platform) {
  std::string text;
  AppendMmlLength(platform, ticks, text);
  return text;
}

std::string FileText(const std::string& path) {
  const auto bytes = testing::ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

// ---- lengths ---------------------------------------------------------------------------------

TEST(MmlLength, SingleEntriesPairsAndLongNotes) {
  ScriptedPlatform p;
  EXPECT_EQ(Length(48, p), "4");
  EXPECT_EQ(Length(144, p), "2.");
  EXPECT_EQ(Length(120, p), "2^8");
  EXPECT_EQ(Length(0, p), "^");
  EXPECT_EQ(Length(192, p), "1");
  EXPECT_EQ(Length(60, p), "16^4");
  EXPECT_EQ(Length(240, p), "4^1");
  EXPECT_EQ(Length(5, p), "192^48");
  EXPECT_EQ(Length(432, p), "1^4^1");
  EXPECT_EQ(Length(385, p), "1^192^1");
  EXPECT_EQ(Length(384, p), "1^1");
  EXPECT_TRUE(p.messages.empty());
}

TEST(MmlLength, AnInexpressibleLengthShowsItsMessageAndAppendsNothing) {
  ScriptedPlatform p;
  EXPECT_EQ(Length(1000, p), "1^");
  ASSERT_EQ(p.messages.size(), 1u);
  EXPECT_EQ(p.messages[0].text, "[808]適合音長ＭＭＬが見つかりません");
  EXPECT_EQ(p.messages[0].icon, MessageIcon::kStop);
  EXPECT_EQ(Length(-5, p), "");
  EXPECT_EQ(p.messages.size(), 2u);
}

TEST(MmlLength, TableOrder) {
  ASSERT_EQ(MmlLengthTable.size(), 21u);
  EXPECT_EQ(MmlLengthTable[0].text, "192");
  EXPECT_EQ(MmlLengthTable[19].text, "2^8");
  EXPECT_EQ(MmlLengthTable[19].ticks, 120);
  EXPECT_EQ(MmlLengthTable[20].text, "^");
  EXPECT_EQ(MmlLengthTable[20].ticks, 0);
}

// ---- lines -----------------------------------------------------------------------------------

TEST(MmlLine, OctaveMovesAreRelativeAndTheLineReturnsToItsBase) {
  TestSession t;
  Session& s = *t.session;
  std::vector<Cell> cells = {{48, 1, 5}, {48, 5, 6}};
  for (int i = 0; i < 6; ++i) cells.push_back({48, 8, 6});
  cells.push_back({48, 1, 5});
  SetVoice(s, 0, cells);
  const MmlLine line = FormatMmlLine(s, 0, 0);
  EXPECT_EQ(line.text, "c4>e4g4g4g4g4g4g4<");
  EXPECT_EQ(line.next, 8);
  const MmlLine rest = FormatMmlLine(s, line.next, 0);
  EXPECT_EQ(rest.text, "c4");
  EXPECT_EQ(rest.next, 9);
}

TEST(MmlLine, BassLineOfSixteenEighths) {
  TestSession t;
  SetVoice(*t.session, 1, Repeat({24, 1, 3}, 20));
  const MmlLine line = FormatMmlLine(*t.session, 0, 1);
  EXPECT_EQ(line.text, "c8c8c8c8c8c8c8c8c8c8c8c8c8c8c8c8");
  EXPECT_EQ(line.next, 16);
}

TEST(MmlLine, RestsAndUnsetPitches) {
  TestSession t;
  SetVoice(*t.session, 0, {{96, 0, 5}, {24, -1, 5}, {24, 3, 4}, {240, 1, 5}});
  EXPECT_EQ(FormatMmlLine(*t.session, 0, 0).text, "r2r8<d8>c4^1");
}

TEST(MmlLine, ANoteCrossingTheSecondBarLineStaysWhole) {
  TestSession t;
  SetVoice(*t.session, 0, {{192, 1, 5}, {144, 3, 5}, {96, 5, 5}, {48, 6, 5}});
  const MmlLine line = FormatMmlLine(*t.session, 0, 0);
  EXPECT_EQ(line.text, "c1d2.e2");
  EXPECT_EQ(line.next, 3);
}

TEST(MmlLine, ATieMarkRightAfterTwoFullBarsGetsACaret) {
  TestSession t;
  SetVoice(*t.session, 0, {{192, 1, 5}, {192, 3, 5}, {0, 3, 5}, {48, 3, 5}});
  EXPECT_EQ(FormatMmlLine(*t.session, 0, 0).text, "c1d1^");
}

TEST(MmlLine, ALongLineIsNotCut) {
  TestSession t;
  // 64 notes of 6 ticks with octave jumps: far more than 255 characters.
  std::vector<Cell> cells;
  for (int i = 0; i < 64; ++i) cells.push_back({6, 2, static_cast<int8_t>(i % 2 ? 1 : 9)});
  SetVoice(*t.session, 0, cells);
  const MmlLine line = FormatMmlLine(*t.session, 0, 0);
  EXPECT_GT(line.text.size(), 255u);
  EXPECT_EQ(line.next, 64);
  EXPECT_EQ(line.text.substr(0, 17), ">>>>c+32<<<<<<<<c");
  EXPECT_TRUE(line.text.ends_with("c+32>>>>"));
}

TEST(MmlLine, AVoiceWithoutEndMarkEndsAtTheLastStep) {
  TestSession t;
  for (int step = 0; step < kTrackSteps; ++step) t.session->noteTrack.at(step, 0) = {0, 0, 5};
  const MmlLine line = FormatMmlLine(*t.session, 2990, 0);
  EXPECT_EQ(line.next, kTrackSteps);
  EXPECT_EQ(line.text, std::string(10, '^'));
}

// ---- files -----------------------------------------------------------------------------------

class MmlFilesTest : public ::testing::Test {
 protected:
  TempDir dir;
  TestSession t{dir.str()};
  Session& s = *t.session;

  void EightBarSong() {
    s.log.Reset("------------------音長進行生成フェーズ------------------\n");
    SetVoice(s, 0, Repeat({96, 1, 5}, 16));
    SetVoice(s, 1, Repeat({24, 8, 3}, 64));
  }
};

TEST_F(MmlFilesTest, OutMmlLayoutWithCrLf) {
  EightBarSong();
  WriteMmlFile(s);
  const std::string mml = FileText(dir.File("out.mml"));
  std::string expected =
      ";VEMA2 ver 0.1 programed by ORUNAK\r\n"
      ";PMD MML data*********************************\r\n"
      ";#Include FM.FF\r\n"
      "A C1@25BS64o4v110l16_0 t120\r\n"
      "B C2@37BS64o2v80l16_0 t120\r\n"
      ";*********************************************\r\n"
      "\r\n";
  for (int bar : {1, 3, 5, 7}) {
    expected += ";bar=" + std::string(bar < 10 ? " " : "") + std::to_string(bar) +
                " ---------------\r\nA c2c2c2c2  \r\n\r\n";
  }
  expected += "\r\n";
  for (int bar : {1, 3, 5, 7}) {
    expected += ";bar= " + std::to_string(bar) + " ---------------\r\nB " +
                std::string("g8g8g8g8g8g8g8g8g8g8g8g8g8g8g8g8") + "  \r\n\r\n";
  }
  EXPECT_EQ(mml, expected);
  EXPECT_TRUE(t.platform.messages.empty());
}

TEST_F(MmlFilesTest, WorkTxtIsTheWholeLogInCp932WithTheT100Lines) {
  EightBarSong();
  WriteMmlFile(s);
  const std::string work = FileText(dir.File("work.txt"));
  // Every LF is preceded by CR.
  for (size_t i = 0; i < work.size(); ++i) {
    if (work[i] == '\n') {
      ASSERT_EQ(work[i - 1], '\r') << i;
    }
  }
  EXPECT_TRUE(work.starts_with(
      Utf8ToCp932("------------------音長進行生成フェーズ------------------\r\n")));
  EXPECT_NE(work.find("A C1@00BS64o5v110l16_0 t100\r\nB C1@00BS64o3v110l16_0 t100\r\n"),
            std::string::npos);
  EXPECT_EQ(work.find("t120"), std::string::npos);
  // The MML lines in the log: no two blanks before the line end, no extra empty line.
  EXPECT_NE(work.find(";bar= 1 ---------------\r\nA c2c2c2c2\r\n;bar= 3"), std::string::npos);
  // Back from CP932 the file is the log with CR LF line ends.
  std::string log = s.log.text();
  std::string withCr;
  for (char c : log) {
    if (c == '\n') withCr += '\r';
    withCr += c;
  }
  EXPECT_EQ(Cp932ToUtf8(work), withCr);
}

TEST_F(MmlFilesTest, ALongLogIsWrittenWhole) {
  std::string banner;
  for (int i = 0; i < 3000; ++i) banner += "音高 60 音長 48 小節***********************\n";
  s.log.Reset(banner);
  SetVoice(s, 0, Repeat({96, 1, 5}, 16));
  SetVoice(s, 1, Repeat({24, 8, 3}, 64));
  WriteMmlFile(s);
  EXPECT_EQ(Cp932ToUtf8(FileText(dir.File("work.txt"))).size(),
            s.log.text().size() + static_cast<size_t>(std::count(s.log.text().begin(),
                                                                 s.log.text().end(), '\n')));
}

TEST_F(MmlFilesTest, NothingGeneratedYetGivesEmptyParts) {
  WriteMmlFile(s);
  const std::string mml = FileText(dir.File("out.mml"));
  EXPECT_EQ(mml.find(";bar="), std::string::npos);
  EXPECT_TRUE(mml.ends_with(";*********************************************\r\n\r\n\r\n"));
  EXPECT_TRUE(t.platform.messages.empty());
}

TEST_F(MmlFilesTest, AnOutMmlThatCannotBeCreatedStillLeavesWorkTxt) {
  EightBarSong();
  std::filesystem::create_directory(dir.File("out.mml"));
  WriteMmlFile(s);
  ASSERT_EQ(t.platform.messages.size(), 1u);
  EXPECT_EQ(t.platform.messages[0].text, "File could not created! ");
  EXPECT_EQ(t.platform.messages[0].icon, MessageIcon::kStop);
  const std::string work = Cp932ToUtf8(FileText(dir.File("work.txt")));
  EXPECT_NE(work.find("A c2c2c2c2\r\n"), std::string::npos);  // the MML lines are in the log
}

TEST_F(MmlFilesTest, AWorkTxtThatCannotBeCreatedStillLeavesOutMml) {
  EightBarSong();
  std::filesystem::create_directory(dir.File("work.txt"));
  WriteMmlFile(s);
  ASSERT_EQ(t.platform.messages.size(), 1u);
  EXPECT_EQ(t.platform.messages[0].text, "File could not created! ");
  EXPECT_NE(FileText(dir.File("out.mml")).find("A c2c2c2c2  \r\n"), std::string::npos);
}

TEST_F(MmlFilesTest, InMemoryBytesMatchTheFiles) {
  EightBarSong();
  TestSession other(dir.str());
  other.session->log.Reset(s.log.text());
  for (int v = 0; v < 2; ++v) {
    for (int step = 0; step < 70; ++step) other.session->noteTrack.at(step, v) = s.noteTrack.at(step, v);
  }
  const MmlFiles files = BuildMmlFiles(*other.session);
  WriteMmlFile(s);
  EXPECT_EQ(files.mml, FileText(dir.File("out.mml")));
  EXPECT_EQ(files.work, FileText(dir.File("work.txt")));
}

TEST(TextFile, Cp932AndCrLf) {
  EXPECT_EQ(ToCp932TextFile("a\nb\n"), "a\r\nb\r\n");
  EXPECT_EQ(ToCp932TextFile("→"), "\x81\xA8");
  EXPECT_EQ(ToCp932TextFile("音長の自動生成　　　").size(), 20u);
  EXPECT_EQ(ToCp932TextFile("x音y音z"), Utf8ToCp932("x音y音z"));
}

}  // namespace
}  // namespace vema
