// The accompaniment where the reference set does not reach (rows after the end, how the bass's
// fifth leans, unknown feels); the instrument window's logic.
#include "accomp/accompaniment.h"

#include <gtest/gtest.h>

#include <string>

#include "accomp/instrument_settings.h"
#include "critic/melody_choice.h"

namespace vema {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr int32_t kEnd = -999;

// The bytes of every feel's tracks over real chords are pinned by the reference set; here what
// it does not reach.
TEST(ChordTrack, RowsAfterTheEndRowAreNeverRead) {
  EXPECT_EQ(BuildChordTrackChunk({{55, 59, 62, kEnd}, {kEnd}, {70, kEnd}}, kRock, 0),
            BuildChordTrackChunk({{55, 59, 62, kEnd}, {kEnd}}, kRock, 0));
}

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
}

TEST(DrumTrack, AnUnknownFeelPlaysTheMarch) {
  EXPECT_EQ(BuildDrumTrackChunk(9, 2), BuildDrumTrackChunk(kMarch, 2));
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
