// Chord names and their tones, the voicing of every bar's chord, key scales and the traced
// interval between two notes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "melody/chord.h"
#include "melody/melody_state.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::TestSession;

std::vector<int> Tones(const ChordToneTable& table) {
  std::vector<int> out;
  for (size_t i = 0; i < table.size() && table[i] != -1; ++i) out.push_back(table[i]);
  return out;
}

TEST(ChordNames, AcceptedNamesYieldTheirTonesBassFirst) {
  const struct { const char* name; std::vector<int> tones; } cases[] = {
      {"C", {0, 4, 7}},          {"F#m7", {6, 9, 1, 4}},      {"B-", {10, 2, 5}},
      {"C-5", {0, 4, 6}},        {"B9", {11, 3, 6, 9, 1}},    {"CmM7", {0, 3, 7, 11}},
      {"G7sus4", {7, 0, 2, 5}},  {"D7-9", {2, 6, 9, 0, 3}},   {"Cdim7", {0, 3, 6, 9}},
      {"C/E", {4, 0, 7}},        {"AmonC", {0, 9, 4}},        {"C/B-5", {10, 0, 4, 7}},
      {"H7", {11, 3, 6, 9}}};  // an unknown letter is read as root 11
  TestSession ts;
  for (const auto& c : cases) {
    EXPECT_EQ(ParseChord(ts.session->chordTones, ts.session->platform(), c.name), 0) << c.name;
    EXPECT_EQ(Tones(ts.session->chordTones), c.tones) << c.name;
  }
  EXPECT_TRUE(ts.platform.messages.empty());
}

TEST(ChordNames, RefusedNamesLeaveTheRootAloneAndSayWhy) {
  const std::string bad = "コード解析error\n[", tail = "]は誤りまたは未対応です";
  const struct { std::string name; int root; std::vector<std::string> messages; } cases[] = {
      {"Cm7M", 0, {bad + "Cm7M" + tail}},
      {"", 11, {bad + tail}},
      {"Dxyz/E", 2, {bad + "Dxyz" + tail}},
      {"Cadd9", 0, {"アドコード[Cadd9]は未対応です", bad + "Cadd9" + tail}},
      {"Cm7M7xxxxxY", 0, {bad + "Cm7M7xxxxx" + tail}},  // only ten bytes are read
      // Japanese names are shown as typed (the parser reads their CP932 bytes).
      {"\x83\x68", 11, {bad + "ド" + tail}},
      {"\x82\x62", 11, {bad + "Ｃ" + tail}}};
  for (const auto& c : cases) {
    TestSession ts;
    EXPECT_EQ(ParseChord(ts.session->chordTones, ts.session->platform(), c.name), -1) << c.name;
    EXPECT_EQ(Tones(ts.session->chordTones), std::vector<int>{c.root}) << c.name;
    std::vector<std::string> texts;
    for (const auto& m : ts.platform.messages) texts.push_back(m.text);
    EXPECT_EQ(texts, c.messages) << c.name;
  }
}

TEST(Voicing, StacksUpwardAndLaterBarsLoseOneNoteOfAClash) {
  TestSession ts;
  Session& s = *ts.session;
  s.form = BlankForm();
  const char* chords[] = {"C/B", "C7", "G7", "C/B", "", "C", "C", "\x83\x68"};
  for (int b = 0; b < 8; ++b) s.form.SetChord(b, chords[b]);
  std::vector<std::vector<int32_t>> v;
  std::vector<int32_t> bass;
  BuildChordVoicing(s.form, s.chordTones, s.platform(), s.log, v, bass);
  ASSERT_EQ(v.size(), 9u);
  EXPECT_EQ(v[0], (std::vector<int32_t>{59, 60, 64, 67, -999}));  // bar 0 keeps its clash
  EXPECT_EQ(v[1], (std::vector<int32_t>{60, 64, 67, 70, -999}));
  EXPECT_EQ(v[2], (std::vector<int32_t>{55, 59, 62, 65, -999}));
  EXPECT_EQ(v[3], (std::vector<int32_t>{60, 64, 67, -999}));  // 59 has the first note's class
  EXPECT_EQ(v[4], (std::vector<int32_t>{59, -999}));          // refused: the root alone
  EXPECT_EQ(v[8], (std::vector<int32_t>{-999}));
  EXPECT_EQ(bass, (std::vector<int32_t>{47, 48, 43, 47, 47, 48, 48, 47, -999}));
  // The trace is UTF-8 text: a Japanese name is converted, not copied byte for byte.
  EXPECT_NE(s.log.text().find("mae=C,ato=ド"), std::string::npos) << s.log.text();
  // No chord name stacks into a clash above the first note; when it happens the upper note goes.
  std::vector<int32_t> keys = {60, 64, 65, 70, 71};
  RemoveSemitoneClash(keys);
  EXPECT_EQ(keys, (std::vector<int32_t>{60, 64, 70, 71}));  // and only the first clash
}

TEST(KeyScales, ScalesIntervalsAndKeysOutsideTheList) {
  EXPECT_EQ(ScaleOfKey(0), (KeyScale{1, 3, 5, 6, 8, 10, 12}));
  EXPECT_EQ(ScaleOfKey(13), (KeyScale{7, 9, 11, 12, 2, 4, 6}));
  EXPECT_EQ(ScaleOfKey(22), (KeyScale{11, 1, 2, 4, 6, 7, 9}));
  EXPECT_EQ(ScaleOfKey(30), ScaleOfKey(0));
  EXPECT_EQ(ScaleOfKey(-1), ScaleOfKey(0));
  TestSession ts;
  Session& s = *ts.session;
  s.form = BlankForm();
  EXPECT_EQ(FindScaleDegree(s.Melody(), 0, 8), 4);
  EXPECT_EQ(FindScaleDegree(s.Melody(), 0, 2), -1);
  EXPECT_EQ(Interval(s.Melody(), 3, 1, 6, 5), 14);
  EXPECT_EQ(s.log.text(), "新tone=d[oct: 6] 旧tone=c[oct: 5]：\n音程差[8+M2](14)");
  s.log.Reset("");
  EXPECT_EQ(Interval(s.Melody(), 1, 5, 5, 5), -4);
  EXPECT_EQ(s.log.text(), "新tone=c[oct: 5] 旧tone=e[oct: 5]：\n音程差[-0+M3](-4)");
}

}  // namespace
}  // namespace vema
