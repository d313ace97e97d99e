// Key scales, scale and chord lookups, the traced interval and the chord trace of a bar.
#include <gtest/gtest.h>

#include <algorithm>

#include "melody/chord.h"
#include "melody/melody_state.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::TestSession;

TEST(KeyScales, MajorAndMinorScalesStartAtTheTonic) {
  EXPECT_EQ(ScaleOfKey(0), (KeyScale{1, 3, 5, 6, 8, 10, 12}));
  EXPECT_EQ(ScaleOfKey(13), (KeyScale{7, 9, 11, 12, 2, 4, 6}));
  EXPECT_EQ(ScaleOfKey(22), (KeyScale{11, 1, 2, 4, 6, 7, 9}));
  EXPECT_EQ(ScaleOfKey(15), (KeyScale{10, 12, 1, 3, 5, 6, 8}));
  EXPECT_EQ(ScaleOfKey(5), (KeyScale{12, 2, 4, 5, 7, 9, 11}));   // H major
  EXPECT_EQ(ScaleOfKey(9), (KeyScale{11, 1, 3, 4, 6, 8, 10}));   // B flat major
  EXPECT_EQ(ScaleOfKey(27), (KeyScale{11, 1, 2, 4, 6, 7, 9}));   // b flat minor
  // Every relative minor holds the tones of its major key.
  for (int key = 0; key < 15; ++key) {
    KeyScale major = ScaleOfKey(key);
    KeyScale minor = ScaleOfKey(key + 15);
    std::sort(major.begin(), major.end());
    std::sort(minor.begin(), minor.end());
    EXPECT_EQ(major, minor) << key;
  }
}

TEST(KeyScales, KeyOutsideTheListCountsAsC) {
  EXPECT_EQ(ScaleOfKey(30), ScaleOfKey(0));
  EXPECT_EQ(ScaleOfKey(-1), ScaleOfKey(0));
  TestSession ts;
  Session& s = *ts.session;
  EXPECT_EQ(s.keyScale, (KeyScale{10, 12, 1, 3, 5, 6, 8}));  // a minor until prepared
  s.form.keyIndex[4] = 1000;
  PrepareScale(s, 4);
  EXPECT_EQ(s.keyScale, ScaleOfKey(0));
}

TEST(KeyScales, FindScaleDegreePreparesTheBarsScale) {
  TestSession ts;
  Session& s = *ts.session;
  s.form = BlankForm();
  EXPECT_EQ(FindScaleDegree(s, 0, 8), 4);
  EXPECT_EQ(FindScaleDegree(s, 0, 2), -1);
  s.form.keyIndex[3] = 1;  // G major
  EXPECT_EQ(FindScaleDegree(s, 3, 7), 6);  // f+ is the seventh degree
  EXPECT_EQ(s.keyScale, ScaleOfKey(1));
}

TEST(ChordLookup, FindChordPitchUsesPitchNumbers) {
  TestSession ts;
  Session& s = *ts.session;
  ParseChord(s, "C/E");
  EXPECT_EQ(FindChordPitch(s.chordTones, 5), 0);
  EXPECT_EQ(FindChordPitch(s.chordTones, 1), 1);
  EXPECT_EQ(FindChordPitch(s.chordTones, 8), 2);
  EXPECT_EQ(FindChordPitch(s.chordTones, 3), -1);
  EXPECT_EQ(FindChordPitch(s.chordTones, 0), -1);  // a rest is no chord tone
}

TEST(IntervalTrace, UpwardAndDownwardIntervals) {
  TestSession ts;
  Session& s = *ts.session;
  EXPECT_EQ(Interval(s, 3, 1, 6, 5), 14);
  EXPECT_EQ(s.log.text(), "新tone=d[oct: 6] 旧tone=c[oct: 5]：\n音程差[8+M2](14)");
  s.log.Reset("");
  EXPECT_EQ(Interval(s, 1, 5, 5, 5), -4);
  EXPECT_EQ(s.log.text(), "新tone=c[oct: 5] 旧tone=e[oct: 5]：\n音程差[-0+M3](-4)");
  s.log.Reset("");
  EXPECT_EQ(Interval(s, 1, 1, 5, 5), 0);
  EXPECT_EQ(s.log.text(), "新tone=c[oct: 5] 旧tone=c[oct: 5]：\n音程差[0+P1]( 0)");
}

TEST(IntervalTrace, ResultWrapsInEightBits) {
  TestSession ts;
  Session& s = *ts.session;
  EXPECT_EQ(Interval(s, 1, 1, 16, 5), static_cast<int8_t>(132));  // -124
  EXPECT_NE(s.log.text().find("音程差[-80+M3](-124)"), std::string::npos);
}

TEST(BarChordTrace, TracesTheTonesOrTheRefusal) {
  TestSession ts;
  Session& s = *ts.session;
  s.form = BlankForm();
  s.form.SetChord(2, "Am7");
  EXPECT_EQ(LogBarChord(s, 2), 0);
  EXPECT_EQ(s.log.text(), "\n2:\na,c,e,g,\n");
  s.log.Reset("");
  s.form.SetChord(3, "Q7x");
  EXPECT_EQ(LogBarChord(s, 3), -1);
  EXPECT_EQ(s.log.text(), "\n3:\n");
  EXPECT_EQ(ts.platform.StopMessageCount(), 1);
}

}  // namespace
}  // namespace vema
