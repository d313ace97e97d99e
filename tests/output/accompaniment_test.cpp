#include <gtest/gtest.h>

#include <numeric>

#include "accomp/accompaniment.h"
#include "output/midi_reader.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::MidiTrack;
using testing::ParseTrackChunk;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kEnd = -999;

// The event bytes of a chunk: after "MTrk", the length, the program change (3 bytes) and before
// the closing 00 FF 2F 00.
Bytes ProgramTrackEvents(const Bytes& chunk) {
  EXPECT_GE(chunk.size(), 15u);
  return Bytes(chunk.begin() + 11, chunk.end() - 4);
}

VoicingRows Rows(std::initializer_list<std::vector<int32_t>> bars) {
  VoicingRows rows;
  for (std::vector<int32_t> bar : bars) {
    bar.push_back(kEnd);
    rows.push_back(bar);
  }
  rows.push_back({kEnd});
  return rows;
}

Bytes Repeat(const Bytes& part, int times) {
  Bytes all;
  for (int i = 0; i < times; ++i) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// ---- chord track -------------------------------------------------------------------------

TEST(ChordTrack, MarchPlaysTheVoicingOnEachOffBeat) {
  const Bytes chunk = BuildChordTrackChunk(Rows({{60, 64, 67}}), kMarch, 5);
  const Bytes hit = {0x18, 0x91, 0x3C, 0x40, 0x00, 0x40, 0x40, 0x00, 0x43, 0x40,
                     0x18, 0x81, 0x3C, 0x50, 0x00, 0x40, 0x50, 0x00, 0x43, 0x50};
  EXPECT_EQ(ProgramTrackEvents(chunk), Repeat(hit, 4));
  // Head: chunk id, length = events + 7, program change on channel 2.
  EXPECT_EQ(Bytes(chunk.begin(), chunk.begin() + 11),
            (Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 80 + 7, 0x00, 0xC1, 5}));
  EXPECT_EQ(Bytes(chunk.end() - 4, chunk.end()), (Bytes{0x00, 0xFF, 0x2F, 0x00}));
}

TEST(ChordTrack, RockHitsAtBarStartAndAfterADottedQuarter) {
  const Bytes events = ProgramTrackEvents(BuildChordTrackChunk(Rows({{55, 59, 62}}), kRock, 0));
  const Bytes expected = {0x00, 0x91, 0x37, 0x40, 0x00, 0x3B, 0x40, 0x00, 0x3E, 0x40,
                          0x48, 0x81, 0x37, 0x50, 0x00, 0x3B, 0x50, 0x00, 0x3E, 0x50,
                          0x00, 0x91, 0x37, 0x40, 0x00, 0x3B, 0x40, 0x00, 0x3E, 0x40,
                          0x78, 0x81, 0x37, 0x50, 0x00, 0x3B, 0x50, 0x00, 0x3E, 0x50};
  EXPECT_EQ(events, expected);
}

TEST(ChordTrack, BluesPlaysTwelveTripletEighthsWithoutSilences) {
  const MidiTrack track = ParseTrackChunk(BuildChordTrackChunk(Rows({{60, 64, 67}}), kBlues, 0));
  EXPECT_EQ(testing::CountNoteOns(track), 12 * 3);
  for (const auto& e : track.events) {
    if ((e.status & 0xF0) == 0x90) {
      EXPECT_EQ(e.tick % 16, 0);
    }
  }
  EXPECT_EQ(testing::LastNoteOffTick(track), 192);
}

TEST(ChordTrack, StandardHitsAtTheDocumentedTicks) {
  const MidiTrack track = ParseTrackChunk(BuildChordTrackChunk(Rows({{60}}), kStandard, 0));
  std::vector<int64_t> onTicks;
  for (const auto& e : track.events) {
    if ((e.status & 0xF0) == 0x90) onTicks.push_back(e.tick);
  }
  EXPECT_EQ(onTicks, (std::vector<int64_t>{24, 72, 120, 168}));
}

TEST(ChordTrack, EveryFeelCoversExactlyEightBarsOfAnEightBarForm) {
  for (int feel = 0; feel < kFeelCount; ++feel) {
    VoicingRows rows;
    for (int b = 0; b < 8; ++b) rows.push_back({60 + b % 3, 64, 67, 70, kEnd});
    rows.push_back({kEnd});
    const MidiTrack track = ParseTrackChunk(BuildChordTrackChunk(rows, feel, 0));
    EXPECT_EQ(testing::LastNoteOffTick(track), 8 * 192) << "feel " << feel;
    EXPECT_EQ(track.endTick, 8 * 192) << "feel " << feel;
  }
}

TEST(ChordTrack, StopsAtTheRowThatStartsWithTheEndMark) {
  VoicingRows rows = Rows({{60, 64, 67}, {62, 65, 69}});
  rows.push_back({70, 74, kEnd});  // after the end row: never read
  const MidiTrack track = ParseTrackChunk(BuildChordTrackChunk(rows, kRock, 0));
  EXPECT_EQ(testing::CountNoteOns(track), 2 * 2 * 3);
}

// ---- bass track ----------------------------------------------------------------------------

std::vector<std::pair<int, int64_t>> BassNotesOf(const Bytes& chunk) {
  const MidiTrack track = ParseTrackChunk(chunk);
  std::vector<std::pair<int, int64_t>> notes;  // key, length
  int64_t onTick = 0;
  for (const auto& e : track.events) {
    if (e.status == 0x92) onTick = e.tick;
    if (e.status == 0x82) notes.emplace_back(e.data[0], e.tick - onTick);
  }
  return notes;
}

TEST(BassTrack, MarchTakesTheFifthNearerTheNextBass) {
  const std::vector<int32_t> bass = {48, 43, kEnd};
  const auto notes = BassNotesOf(BuildBassTrackChunk(bass, kMarch, 33));
  ASSERT_EQ(notes.size(), 8u);
  const std::vector<std::pair<int, int64_t>> firstBar = {{48, 48}, {43, 48}, {48, 48}, {43, 48}};
  EXPECT_EQ(std::vector(notes.begin(), notes.begin() + 4), firstBar);
  // The last bar's fifth is the root minus 5.
  EXPECT_EQ(notes[5].first, 38);
  EXPECT_EQ(notes[7].first, 38);
}

TEST(BassTrack, ATieBetweenTheFifthsTakesTheUpperOne) {
  const std::vector<int32_t> bass = {48, 49, kEnd};
  const auto notes = BassNotesOf(BuildBassTrackChunk(bass, kMarch, 0));
  EXPECT_EQ(notes[1].first, 55);
}

TEST(BassTrack, EventBytesRepeatTheirStatus) {
  const Bytes chunk = BuildBassTrackChunk(std::vector<int32_t>{48, kEnd}, kStandard, 33);
  const Bytes expected = {'M', 'T', 'r', 'k', 0, 0, 0, 3 * 8 + 7, 0x00, 0xC2, 33,
                          0x00, 0x92, 48, 0x40, 0x60, 0x82, 48, 0x40,   // root 96
                          0x00, 0x92, 48, 0x40, 0x30, 0x82, 48, 0x40,   // root 48
                          0x00, 0x92, 43, 0x40, 0x30, 0x82, 43, 0x40,   // fifth 48 (last bar)
                          0x00, 0xFF, 0x2F, 0x00};
  EXPECT_EQ(chunk, expected);
}

TEST(BassTrack, BluesAndRockPatterns) {
  const std::vector<int32_t> bass = {40, 45, kEnd};
  const auto blues = BassNotesOf(BuildBassTrackChunk(bass, kBlues, 0));
  ASSERT_EQ(blues.size(), 8u);
  const std::vector<std::pair<int, int64_t>> bluesBar = {{40, 80}, {47, 16}, {40, 48}, {47, 48}};
  EXPECT_EQ(std::vector(blues.begin(), blues.begin() + 4), bluesBar);
  const auto rock = BassNotesOf(BuildBassTrackChunk(bass, kRock, 0));
  ASSERT_EQ(rock.size(), 16u);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(rock[i], (std::pair<int, int64_t>{40, 24}));
  for (int i = 8; i < 16; ++i) EXPECT_EQ(rock[i], (std::pair<int, int64_t>{45, 24}));
}

TEST(BassTrack, EveryFeelCoversExactlyEightBars) {
  std::vector<int32_t> bass = {48, 43, 45, 41, 48, 43, 45, 41, kEnd};
  for (int feel = 0; feel < kFeelCount; ++feel) {
    const MidiTrack track = ParseTrackChunk(BuildBassTrackChunk(bass, feel, 0));
    EXPECT_EQ(track.endTick, 8 * 192) << "feel " << feel;
  }
}

// ---- drum track ----------------------------------------------------------------------------

TEST(DrumTrack, BarSizesAndClosingDeltas) {
  const size_t sizes[] = {37, 70, 70, 43};
  const int closing[] = {24, 24, 16, 24};
  for (int feel = 0; feel < kFeelCount; ++feel) {
    EXPECT_EQ(DrumBar(feel).size(), sizes[feel]);
    EXPECT_EQ(DrumClosingDelta(feel), closing[feel]);
    // The deltas of a bar and its closing delta add up to one bar.
    const Bytes chunk = BuildDrumTrackChunk(feel, 1);
    const MidiTrack track = ParseTrackChunk(chunk);
    EXPECT_EQ(track.endTick + closing[feel], 192) << "feel " << feel;
  }
}

TEST(DrumTrack, EightBarsOfBlues) {
  const Bytes chunk = BuildDrumTrackChunk(kBlues, 8);
  ASSERT_EQ(chunk.size(), 8u + 8 * 70 + 8);
  EXPECT_EQ(testing::BigEndian32(chunk, 4), 568u);
  EXPECT_EQ(Bytes(chunk.begin() + 8, chunk.begin() + 12), (Bytes{0x00, 0xB9, 0x07, 0x64}));
  EXPECT_EQ(chunk[12], 0x00);        // first bar starts with delta 00
  EXPECT_EQ(chunk[12 + 70], 0x10);   // the second with the closing delta
  EXPECT_EQ(chunk[12 + 71], 0x99);
  const MidiTrack track = ParseTrackChunk(chunk);
  // The track ends at the last hit of the last bar.
  EXPECT_EQ(track.endTick, 8 * 192 - 16);
}

TEST(DrumTrack, HitsOfTheMarchBar) {
  const MidiTrack track = ParseTrackChunk(BuildDrumTrackChunk(kMarch, 1));
  std::vector<std::tuple<int64_t, int, int>> hits;
  for (const auto& e : track.events) {
    if (e.status == 0x99) hits.emplace_back(e.tick, e.data[0], e.data[1]);
  }
  const std::vector<std::tuple<int64_t, int, int>> expected = {
      {0, 36, 64},  {0, 49, 30},  {24, 24, 64},  {48, 36, 64},  {48, 49, 30},  {72, 24, 64},
      {96, 36, 64}, {96, 49, 30}, {120, 24, 64}, {144, 36, 64}, {144, 49, 30}, {168, 24, 64}};
  EXPECT_EQ(hits, expected);
}

// ---- feel choice -----------------------------------------------------------------------------

TEST(FeelDialog, ConfirmedChoiceIsStoredAndCancelKeepsThePreviousFeel) {
  testing::TestSession t;
  Session& session = *t.session;
  EXPECT_EQ(session.accompanimentFeel, 0);
  t.platform.feelAnswers = {std::nullopt, 2, std::nullopt, 0};
  ChooseAccompanimentFeel(session);
  EXPECT_EQ(session.accompanimentFeel, 0);  // first composition, closed: march
  ChooseAccompanimentFeel(session);
  EXPECT_EQ(session.accompanimentFeel, 2);
  ChooseAccompanimentFeel(session);
  EXPECT_EQ(session.accompanimentFeel, 2);  // closed: blues again
  ChooseAccompanimentFeel(session);
  EXPECT_EQ(session.accompanimentFeel, 0);
  EXPECT_EQ(t.platform.feelDialogsShown, 4);
}

TEST(FeelDialog, AnAnswerOutsideTheFourFeelsIsIgnored) {
  testing::TestSession t;
  t.session->accompanimentFeel = 3;
  t.platform.feelAnswers = {7, -1};
  ChooseAccompanimentFeel(*t.session);
  ChooseAccompanimentFeel(*t.session);
  EXPECT_EQ(t.session->accompanimentFeel, 3);
}

TEST(FeelDialog, BuildersReadAnUnknownFeelAsMarch) {
  EXPECT_EQ(BuildDrumTrackChunk(9, 2), BuildDrumTrackChunk(kMarch, 2));
  EXPECT_EQ(BuildChordTrackChunk(Rows({{60}}), -3, 0), BuildChordTrackChunk(Rows({{60}}), 0, 0));
}

}  // namespace
}  // namespace vema
