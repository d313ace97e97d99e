// Chord names, their tones, and the voicing of every bar's chord.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "melody/chord.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::TestSession;

std::vector<int> Tones(const ChordToneTable& table) {
  std::vector<int> out;
  for (int8_t t : table) {
    if (t == -1) break;
    out.push_back(t);
  }
  return out;
}

class ChordNames : public ::testing::Test {
 protected:
  TestSession ts;
  Session& s = *ts.session;

  std::vector<int> Parse(std::string_view name, int expectedResult = 0) {
    EXPECT_EQ(ParseChord(s, name), expectedResult) << name;
    return Tones(s.chordTones);
  }
};

TEST_F(ChordNames, BasicQualitiesYieldTheirTonesRootFirst) {
  EXPECT_EQ(Parse("C"), (std::vector<int>{0, 4, 7}));
  EXPECT_EQ(Parse("F#m7"), (std::vector<int>{6, 9, 1, 4}));
  EXPECT_EQ(Parse("B-"), (std::vector<int>{10, 2, 5}));
  EXPECT_EQ(Parse("C-5"), (std::vector<int>{0, 4, 6}));
  EXPECT_EQ(Parse("B9"), (std::vector<int>{11, 3, 6, 9, 1}));
  EXPECT_EQ(Parse("CmM7"), (std::vector<int>{0, 3, 7, 11}));
  EXPECT_EQ(Parse("Cm7M7"), (std::vector<int>{0, 3, 7, 11}));
  EXPECT_EQ(Parse("G7sus4"), (std::vector<int>{7, 0, 2, 5}));
  EXPECT_EQ(Parse("D7-9"), (std::vector<int>{2, 6, 9, 0, 3}));
  EXPECT_EQ(Parse("E7+5"), (std::vector<int>{4, 8, 0, 2}));
  EXPECT_EQ(Parse("A7-5"), (std::vector<int>{9, 1, 3, 7}));
  EXPECT_EQ(Parse("CM9"), (std::vector<int>{0, 4, 7, 11, 2}));
  EXPECT_EQ(Parse("CM79"), (std::vector<int>{0, 4, 7, 11, 2}));
  EXPECT_EQ(Parse("Cm79"), (std::vector<int>{0, 3, 7, 10, 2}));
  EXPECT_EQ(Parse("Cm69"), (std::vector<int>{0, 3, 7, 9, 2}));
  EXPECT_EQ(Parse("C69"), (std::vector<int>{0, 4, 7, 9, 2}));
  EXPECT_EQ(Parse("Cm7-5"), (std::vector<int>{0, 3, 6, 10}));
  EXPECT_EQ(Parse("Cdim7"), (std::vector<int>{0, 3, 6, 9}));
  EXPECT_EQ(Parse("Caug"), (std::vector<int>{0, 4, 8}));
  EXPECT_EQ(Parse("C+"), (std::vector<int>{0, 4, 8}));
  EXPECT_EQ(Parse("Csus4"), (std::vector<int>{0, 5, 7}));
  EXPECT_EQ(Parse("C#"), (std::vector<int>{1, 5, 8}));
  EXPECT_TRUE(ts.platform.messages.empty());
}

TEST_F(ChordNames, SlashAndOnChordsPutTheBassFirst) {
  EXPECT_EQ(Parse("C/E"), (std::vector<int>{4, 0, 7}));
  EXPECT_EQ(Parse("AmonC"), (std::vector<int>{0, 9, 4}));
  EXPECT_EQ(Parse("C/B-5"), (std::vector<int>{10, 0, 4, 7}));  // "-" is a flat in the bass
  EXPECT_EQ(Parse("C7/G"), (std::vector<int>{7, 0, 4, 10}));
}

TEST_F(ChordNames, LooseReadingsOfUnknownLettersAndShortWords) {
  EXPECT_EQ(Parse("H7"), (std::vector<int>{11, 3, 6, 9}));  // unknown letter: root 11
  EXPECT_EQ(Parse("X#"), (std::vector<int>{0, 4, 7}));
  EXPECT_EQ(Parse("Ca"), (std::vector<int>{0, 4, 8}));   // read as aug
  EXPECT_EQ(Parse("Cd"), (std::vector<int>{0, 3, 6}));   // read as dim
  EXPECT_EQ(Parse("Cdxx7"), (std::vector<int>{0, 3, 6, 9}));
  EXPECT_TRUE(ts.platform.messages.empty());
}

TEST_F(ChordNames, RefusedNamesShowTheMessageAndKeepTheRootAlone) {
  EXPECT_EQ(Parse("Cm7M", -1), (std::vector<int>{0}));
  ASSERT_EQ(ts.platform.messages.size(), 1u);
  EXPECT_EQ(ts.platform.messages[0].text, "コード解析error\n[Cm7M]は誤りまたは未対応です");
  EXPECT_EQ(ts.platform.messages[0].icon, MessageIcon::kStop);

  ts.platform.messages.clear();
  EXPECT_EQ(Parse("Dxyz/E", -1), (std::vector<int>{2}));
  ASSERT_EQ(ts.platform.messages.size(), 1u);
  EXPECT_EQ(ts.platform.messages[0].text, "コード解析error\n[Dxyz]は誤りまたは未対応です");

  ts.platform.messages.clear();
  EXPECT_EQ(Parse("Cs", -1), (std::vector<int>{0}));  // "sus" needs its "4"
  EXPECT_EQ(Parse("C7x", -1), (std::vector<int>{0}));
  EXPECT_EQ(Parse("CM", -1), (std::vector<int>{0}));
  EXPECT_EQ(Parse("C7+", -1), (std::vector<int>{0}));
  EXPECT_EQ(ts.platform.messages.size(), 4u);
}

TEST_F(ChordNames, AddChordsShowBothMessages) {
  EXPECT_EQ(Parse("Cadd9", -1), (std::vector<int>{0}));
  ASSERT_EQ(ts.platform.messages.size(), 2u);
  EXPECT_EQ(ts.platform.messages[0].text, "アドコード[Cadd9]は未対応です");
  EXPECT_EQ(ts.platform.messages[0].icon, MessageIcon::kStop);
  EXPECT_EQ(ts.platform.messages[1].text, "コード解析error\n[Cadd9]は誤りまたは未対応です");
  ts.platform.messages.clear();
  Parse("C+d", -1);
  EXPECT_EQ(ts.platform.messages.size(), 2u);
}

TEST_F(ChordNames, EmptyNameIsRefusedWithRootEleven) {
  EXPECT_EQ(Parse("", -1), (std::vector<int>{11}));
  ASSERT_EQ(ts.platform.messages.size(), 1u);
  EXPECT_EQ(ts.platform.messages[0].text, "コード解析error\n[]は誤りまたは未対応です");
}

TEST_F(ChordNames, NeverReadsPastTheNameOrItsTenBytes) {
  // A view that ends early: the characters after it must not be read.
  const std::string backing = "Cs  4";
  EXPECT_EQ(ParseChord(s, std::string_view(backing).substr(0, 2)), -1);
  const std::string dim7 = "Cdim7";
  EXPECT_EQ(ParseChord(s, std::string_view(dim7).substr(0, 4)), 0);
  EXPECT_EQ(Tones(s.chordTones), (std::vector<int>{0, 3, 6}));
  // An embedded NUL ends the name.
  const std::string withNul("C\0m7", 4);
  EXPECT_EQ(ParseChord(s, withNul), 0);
  EXPECT_EQ(Tones(s.chordTones), (std::vector<int>{0, 4, 7}));
  // Ten bytes with no NUL: only the ten count.
  const std::string eleven = "Cm7M7xxxxxY";
  EXPECT_EQ(ParseChord(s, eleven), -1);
  EXPECT_NE(ts.platform.messages.back().text.find("[Cm7M7xxxxx]"), std::string::npos);
}

TEST_F(ChordNames, FindChordToneLooksBeforeTheEndMark) {
  ParseChord(s, "Am");
  EXPECT_EQ(FindChordTone(s.chordTones, 9), 0);
  EXPECT_EQ(FindChordTone(s.chordTones, 4), 2);
  EXPECT_EQ(FindChordTone(s.chordTones, 5), -1);
  ChordToneTable empty;
  empty.fill(-1);
  EXPECT_EQ(FindChordTone(empty, 0), -1);
  ChordToneTable stale{};  // zeros after the end mark are not tones
  stale.fill(0);
  stale[0] = 4;
  stale[1] = -1;
  EXPECT_EQ(FindChordTone(stale, 0), -1);
}

// --- Voicing -----------------------------------------------------------------------------

class Voicing : public ::testing::Test {
 protected:
  TestSession ts;
  Session& s = *ts.session;
  std::vector<std::vector<int32_t>> voicings;
  std::vector<int32_t> bass;

  void Voice(const std::vector<std::string>& chords) {
    s.form = BlankForm();
    for (size_t b = 0; b < chords.size(); ++b) s.form.SetChord(static_cast<int>(b), chords[b]);
    BuildChordVoicing(s, voicings, bass);
  }
};

TEST_F(Voicing, StacksUpwardFromTheFirstTone) {
  Voice({"C7", "G7", "C9", "C", "C", "C", "C", "C"});
  ASSERT_EQ(voicings.size(), 9u);
  ASSERT_EQ(bass.size(), 9u);
  EXPECT_EQ(voicings[0], (std::vector<int32_t>{60, 64, 67, 70, -999}));
  EXPECT_EQ(voicings[1], (std::vector<int32_t>{55, 59, 62, 65, -999}));
  EXPECT_EQ(voicings[2], (std::vector<int32_t>{60, 64, 67, 70, 74, -999}));
  EXPECT_EQ(bass[0], 48);
  EXPECT_EQ(bass[1], 43);
  EXPECT_EQ(voicings[8], (std::vector<int32_t>{-999}));
  EXPECT_EQ(bass[8], -999);
}

TEST_F(Voicing, RefusedNameIsVoicedAsItsRootAlone) {
  Voice({"", "Dxx", "C", "C", "C", "C", "C", "C"});
  EXPECT_EQ(voicings[0], (std::vector<int32_t>{59, -999}));
  EXPECT_EQ(bass[0], 47);
  EXPECT_EQ(voicings[1], (std::vector<int32_t>{62, -999}));
  EXPECT_EQ(bass[1], 50);
  EXPECT_EQ(ts.platform.StopMessageCount(), 2);
}

TEST_F(Voicing, FirstBarKeepsItsClashLaterBarsDropOneNote) {
  Voice({"C/B", "C/B", "C", "CM7/D-", "C", "C", "C", "C"});
  EXPECT_EQ(voicings[0], (std::vector<int32_t>{59, 60, 64, 67, -999}));
  EXPECT_EQ(bass[0], 47);
  // The lower note of the clash has the first note's pitch class: it goes.
  EXPECT_EQ(voicings[1], (std::vector<int32_t>{60, 64, 67, -999}));
  EXPECT_EQ(bass[1], 47);
  // C#, C, E, G, B stack as 61, 72, 76, 79, 83: no clash.
  EXPECT_EQ(voicings[3], (std::vector<int32_t>{61, 72, 76, 79, 83, -999}));
  EXPECT_EQ(s.log.text(),
            "mae=C/B,ato=C/Bmae=C/B,ato=Cmae=C,ato=CM7/D-mae=CM7/D-,ato=Cmae=C,ato=C"
            "mae=C,ato=Cmae=C,ato=C");
}

TEST(ClashRemoval, OnlyTheFirstClashIsTreated) {
  // No chord name stacks into this case; the rule itself is checked on a hand-made voicing.
  std::vector<int32_t> v = {60, 64, 65, 70, 71};
  RemoveSemitoneClash(v);
  EXPECT_EQ(v, (std::vector<int32_t>{60, 64, 70, 71}));  // 64 is not a C: the upper note goes
  v = {62, 73, 74, 78};
  RemoveSemitoneClash(v);
  EXPECT_EQ(v, (std::vector<int32_t>{62, 73, 78}));  // 73 is not a D: 74 goes
  v = {50, 61, 62, 73, 74};
  RemoveSemitoneClash(v);
  EXPECT_EQ(v, (std::vector<int32_t>{50, 61, 73, 74}));
  v = {61, 62, 64};
  RemoveSemitoneClash(v);
  EXPECT_EQ(v, (std::vector<int32_t>{62, 64}));  // the lower note is the first: it goes
  v = {60, 64, 67};
  RemoveSemitoneClash(v);
  EXPECT_EQ(v, (std::vector<int32_t>{60, 64, 67}));
}

}  // namespace
}  // namespace vema
