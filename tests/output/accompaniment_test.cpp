// The accompaniment: chord hits, bass roots and fifths and drum bars as bytes; the instrument
// window's logic.
#include "accomp/accompaniment.h"

#include <gtest/gtest.h>

#include <string>

#include "accomp/instrument_settings.h"
#include "critic/melody_choice.h"

namespace vema {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr int32_t kEnd = -999;

// The bytes of the parts one after another.
Bytes Join(std::initializer_list<Bytes> parts, int times = 1) {
  Bytes all;
  for (int i = 0; i < times; ++i) {
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

// clang-format off
TEST(ChordTrack, MarchAndRockHitBytes) {
  const Bytes march = BuildChordTrackChunk({{60, 64, 67, kEnd}, {kEnd}}, kMarch, 5);
  EXPECT_EQ(march, Join({{'M', 'T', 'r', 'k', 0, 0, 0, 80 + 7, 0x00, 0xC1, 5},
                         Join({{0x18, 0x91, 0x3C, 0x40, 0x00, 0x40, 0x40, 0x00, 0x43, 0x40},
                               {0x18, 0x81, 0x3C, 0x50, 0x00, 0x40, 0x50, 0x00, 0x43, 0x50}}, 4),
                         {0x00, 0xFF, 0x2F, 0x00}}));
  // Rock: at the bar start and after a dotted quarter; rows after the end row are never read.
  const Bytes rock = BuildChordTrackChunk({{55, 59, 62, kEnd}, {kEnd}, {70, kEnd}}, kRock, 0);
  const Bytes on = {0x91, 0x37, 0x40, 0x00, 0x3B, 0x40, 0x00, 0x3E, 0x40};
  const Bytes off = {0x81, 0x37, 0x50, 0x00, 0x3B, 0x50, 0x00, 0x3E, 0x50};
  EXPECT_EQ(Bytes(rock.begin() + 11, rock.end() - 4),
            Join({{0x00}, on, {0x48}, off, {0x00}, on, {0x78}, off}));
}
// clang-format on

// The bass notes as "key/length ..." (every event carries its status and a one-byte delta).
std::string BassNotes(std::vector<int32_t> bass, int feel) {
  const Bytes chunk = BuildBassTrackChunk(bass, feel, 0);
  std::string notes;
  for (size_t at = 11; at + 8 <= chunk.size(); at += 4) {
    if (chunk[at + 1] == 0x82)
      notes += std::to_string(chunk[at + 2]) + "/" + std::to_string(chunk[at]) + " ";
  }
  return notes;
}

TEST(BassTrack, FifthsLeanToTheNextBassAndTheLastBarFallsAFourth) {
  // Fifths of 48: 55 and 43; the next bass 43 is nearer the lower one.
  EXPECT_EQ(BassNotes({48, 43, kEnd}, kMarch), "48/48 43/48 48/48 43/48 43/48 38/48 43/48 38/48 ");
  EXPECT_EQ(BassNotes({48, 43, kEnd}, kBlues), "48/80 43/16 48/48 43/48 43/80 38/16 43/48 38/48 ");
  std::string rock;  // eight roots a bar
  for (int i = 0; i < 16; ++i) rock += i < 8 ? "48/24 " : "43/24 ";
  EXPECT_EQ(BassNotes({48, 43, kEnd}, kRock), rock);
  // 49 is six from both fifths of 48: the upper one.
  EXPECT_EQ(BassNotes({48, 49, kEnd}, kMarch).substr(0, 12), "48/48 55/48 ");
  // clang-format off
  // Standard: root 96, root 48, fifth 48; every event repeats its status.
  EXPECT_EQ(BuildBassTrackChunk(std::vector<int32_t>{48, kEnd}, kStandard, 33),
            (Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 3 * 8 + 7, 0x00, 0xC2, 33,
                   0x00, 0x92, 48, 0x40, 0x60, 0x82, 48, 0x40,
                   0x00, 0x92, 48, 0x40, 0x30, 0x82, 48, 0x40,
                   0x00, 0x92, 43, 0x40, 0x30, 0x82, 43, 0x40,
                   0x00, 0xFF, 0x2F, 0x00}));
  // clang-format on
}

TEST(DrumTrack, BarSizesClosingDeltasAndEightBarsOfBlues) {
  const size_t sizes[] = {37, 70, 70, 43};
  const int closing[] = {24, 24, 16, 24};
  for (int feel = 0; feel < kFeelCount; ++feel) {
    EXPECT_EQ(DrumBar(feel).size(), sizes[feel]) << feel;
    EXPECT_EQ(DrumClosingDelta(feel), closing[feel]) << feel;
  }
  const Bytes chunk = BuildDrumTrackChunk(kBlues, 8);
  ASSERT_EQ(chunk.size(), 8u + 8 * 70 + 8);
  EXPECT_EQ(Bytes(chunk.begin() + 4, chunk.begin() + 12),
            (Bytes{0, 0, 0x02, 0x38, 0x00, 0xB9, 0x07, 0x64}));  // 568 bytes of events
  EXPECT_EQ(chunk[12], 0x00);                                    // the first bar starts at once,
  EXPECT_EQ(chunk[12 + 70], 0x10);  // the next ones after the closing delta
  EXPECT_EQ(Bytes(chunk.end() - 4, chunk.end()), (Bytes{0x00, 0xFF, 0x2F, 0x00}));
  EXPECT_EQ(BuildDrumTrackChunk(9, 2), BuildDrumTrackChunk(kMarch, 2));  // unknown: march
}

TEST(InstrumentSettings, The128NamesAndEachTabsOwnInstrument) {
  const auto& names = GmProgramNames();
  EXPECT_EQ(names[85], "| 086: Slolo Vox   ");
  EXPECT_EQ(names[127], "| 128: Gun Shot    ");
  for (int i = 0; i < kGmProgramCount; ++i) {
    EXPECT_EQ(names[i].size(), 19u) << i;
    EXPECT_EQ(std::stoi(names[i].substr(2, 3)), i + 1);
  }
  std::array<int32_t, 3> programs{};
  int shown = 1;
  InstrumentSettings settings{programs, &shown};
  EXPECT_EQ(settings.OnShown(), 0);            // untouched: piano
  settings.OnSelectionChanged(40);             // melody: violin, stored at once
  EXPECT_EQ(settings.OnTabChanged(2, 40), 0);  // chords: still piano
  settings.OnSelectionChanged(19);
  settings.OnSelectionChanged(128);             // out of range: nothing
  EXPECT_EQ(settings.OnTabChanged(0, 19), 40);  // back to the melody's violin
  EXPECT_EQ(settings.OnTabChanged(1, 40), 0);
  settings.OnSelectionChanged(33);
  settings.OnCancel();  // cancel keeps the choices and the tab
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(programs, (std::array<int32_t, 3>{40, 33, 19}));
  EXPECT_EQ(settings.OnShown(), 33);
  // The melody octave choice: auto, -1, 0, +1, +2; anything else shows (and means) auto.
  const std::vector<std::pair<int, int32_t>> octaves = {
      {0, kAutoMelodyOctave}, {1, -1}, {2, 0}, {3, 1}, {4, 2}};
  for (const auto& [entry, setting] : octaves) {
    EXPECT_EQ(MelodyOctaveOfEntry(entry), setting) << entry;
    EXPECT_EQ(MelodyOctaveEntry(setting), entry) << entry;
  }
  EXPECT_EQ(std::string(kMelodyOctaveLabels[3]), "+1");
  EXPECT_EQ(MelodyOctaveEntry(3), 0);
  EXPECT_EQ(MelodyOctaveOfEntry(5), kAutoMelodyOctave);
  EXPECT_EQ(MelodyOctaveOfEntry(-1), kAutoMelodyOctave);
}

}  // namespace
}  // namespace vema
