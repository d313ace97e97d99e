// The piano roll's layout: where a known small song's notes, labels, key changes and drum hits
// go, the keyboard, the playback cursor, zooming and following the cursor; and its button's
// place on the main window.
#include "app/piano_roll.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vema {
namespace {

// Two bars: C major then G major, chords C and G7; melody C4 E4 | G4 (a whole bar); a bass
// note, one chord and two drum hits.
SongScore SmallSong(int bars = 2) {
  SongScore s;
  s.bars = bars;
  s.keys.assign(static_cast<size_t>(bars), 1);
  s.keys[0] = 0;
  s.chords.assign(static_cast<size_t>(bars), "G7");
  s.chords[0] = "C";
  s.notes.melody = {{0, 48, 60}, {48, 48, 64}, {192, 192, 67}};
  s.notes.bass = {{0, 96, 48}};
  s.notes.chords = {{24, 24, 55}, {24, 24, 59}};
  s.notes.drums = {{0, 0, 36}, {48, 0, 42}, {96, 0, 35}};
  return s;
}

TEST(PianoRoll, NotesSitAtTheirTickAndKeyWithTheMelodyInFront) {
  PianoRollLayout roll;
  roll.SetSong(SmallSong());
  // Keys 46..69: two below the lowest note (48), two above the highest (67); 24 keys at least.
  EXPECT_EQ(roll.lowKey(), 46);
  EXPECT_EQ(roll.highKey(), 69);
  ASSERT_EQ(roll.PixelsPerQuarter(), 16);
  const int top = PianoRollLayout::kHeaderHeight, row = PianoRollLayout::kKeyHeight;
  const int left = PianoRollLayout::kKeyboardWidth;
  const std::vector<RollNote> notes = roll.Notes();
  ASSERT_EQ(notes.size(), 6u);
  const struct {
    RollPart part;
    int key;
    RollRect rect;
  } expected[] = {{RollPart::kChords, 55, {left + 8, top + 14 * row, 7, row}},
                  {RollPart::kChords, 59, {left + 8, top + 10 * row, 7, row}},
                  {RollPart::kBass, 48, {left, top + 21 * row, 31, row}},
                  {RollPart::kMelody, 60, {left, top + 9 * row, 15, row}},
                  {RollPart::kMelody, 64, {left + 16, top + 5 * row, 15, row}},
                  {RollPart::kMelody, 67, {left + 64, top + 2 * row, 63, row}}};
  for (size_t i = 0; i < notes.size(); ++i) {
    EXPECT_EQ(notes[i].part, expected[i].part) << i;
    EXPECT_EQ(notes[i].key, expected[i].key) << i;
    EXPECT_EQ(notes[i].rect, expected[i].rect) << i;
  }
  EXPECT_EQ(roll.BarLines(), (std::vector<int>{left, left + 64, left + 128}));
  EXPECT_EQ(roll.BeatLines().size(), 6u);
  EXPECT_EQ(roll.Width(), left + 128 + PianoRollLayout::kRightMargin);
  // The drum strip lies under the lowest key; a bass drum fills it, other hits half of it.
  const RollRect strip = roll.DrumStrip();
  EXPECT_EQ(strip.y, top + 24 * row + PianoRollLayout::kDrumGap);
  EXPECT_EQ(strip.x, left);
  EXPECT_EQ(strip.width, 128);
  EXPECT_EQ(roll.Height(), strip.y + strip.height + PianoRollLayout::kDrumGap);
  EXPECT_EQ(roll.DrumHits(),
            (std::vector<RollRect>{{left, strip.y, 2, strip.height},
                                   {left + 16, strip.y + strip.height / 2, 2, strip.height / 2},
                                   {left + 32, strip.y, 2, strip.height}}));
}

TEST(PianoRoll, BarNumbersChordNamesAndKeyChangesInTheHeader) {
  PianoRollLayout roll;
  SongScore song = SmallSong(4);
  song.keys = {0, 1, 1, 16};  // C, G, G, e minor
  song.chords = {"C", "", "G7", "Em"};
  roll.SetSong(song);
  const auto texts = [](const std::vector<RollLabel>& labels) {
    std::vector<std::string> out;
    for (const RollLabel& l : labels) {
      out.push_back(std::to_string(l.bar) + ":" + l.text + "@" + std::to_string(l.rect.x) + "," +
                    std::to_string(l.rect.y) + "+" + std::to_string(l.rect.width));
    }
    return out;
  };
  EXPECT_EQ(texts(roll.BarNumbers()), (std::vector<std::string>{"0:1@47,1+61", "1:2@111,1+61",
                                                                "2:3@175,1+61", "3:4@239,1+61"}));
  EXPECT_EQ(texts(roll.ChordLabels()),  // a bar without a chord name has no label
            (std::vector<std::string>{"0:C@47,17+61", "2:G7@175,17+61", "3:Em@239,17+61"}));
  // The first key, then each change, each running until the next.
  EXPECT_EQ(texts(roll.KeyMarks()),
            (std::vector<std::string>{"0:調 C@47,33+61", "1:調 G(M#1)@111,33+125",
                                      "3:調 e(m#1)@239,33+61"}));
  // Narrow bars number every second bar.
  while (roll.ZoomOut()) {
  }
  EXPECT_EQ(roll.BarWidth(), 16);
  EXPECT_EQ(texts(roll.BarNumbers()), (std::vector<std::string>{"0:1@47,1+29", "2:3@79,1+29"}));
}

TEST(PianoRoll, KeyboardNamesEveryKeyFromTheTop) {
  PianoRollLayout roll;
  roll.SetSong(SmallSong());
  const std::vector<RollKey> keys = roll.Keyboard();
  ASSERT_EQ(keys.size(), 24u);
  EXPECT_EQ(keys.front().name, "A4");
  EXPECT_EQ(keys.back().name, "A#2");
  EXPECT_TRUE(keys.back().black);
  EXPECT_EQ(keys[9].name, "C4");  // key 60
  EXPECT_FALSE(keys[9].black);
  EXPECT_EQ(keys[9].rect, (RollRect{0, roll.YOfKey(60), PianoRollLayout::kKeyboardWidth,
                                    PianoRollLayout::kKeyHeight}));
  EXPECT_EQ(KeyName(0), "C-1");
  EXPECT_EQ(KeyName(127), "G9");
  // Without a song: an empty canvas of the default keys.
  PianoRollLayout empty;
  EXPECT_FALSE(empty.HasSong());
  EXPECT_TRUE(empty.Notes().empty());
  EXPECT_TRUE(empty.BarLines().empty());
  EXPECT_TRUE(empty.BarNumbers().empty());
  EXPECT_TRUE(empty.ChordLabels().empty());
  EXPECT_TRUE(empty.KeyMarks().empty());
  EXPECT_TRUE(empty.DrumHits().empty());
  EXPECT_EQ(empty.Keyboard().size(), 41u);  // 46..86 around the default 48..84
  EXPECT_FALSE(empty.CursorX(0));
  // Keys near the ends of the range still show 24 keys.
  // Key 3: the margin stops at key 1, and the range still grows down to 0.
  for (const auto& [key, low, high] :
       {std::tuple{126, 104, 127}, std::tuple{1, 0, 23}, std::tuple{3, 0, 23}}) {
    SongScore edge = SmallSong();
    edge.notes.melody = {{0, 48, key}};
    edge.notes.bass.clear();
    edge.notes.chords.clear();
    PianoRollLayout r;
    r.SetSong(edge);
    EXPECT_EQ(r.lowKey(), low) << key;
    EXPECT_EQ(r.highKey(), high) << key;
  }
}

TEST(PianoRoll, CursorZoomAndFollowingThePlayback) {
  PianoRollLayout roll;
  roll.SetSong(SmallSong(16));
  const int left = PianoRollLayout::kKeyboardWidth;
  EXPECT_EQ(roll.CursorX(0), left);
  EXPECT_EQ(roll.CursorX(96), left + 32);
  EXPECT_EQ(roll.CursorX(16 * 192), left + 16 * 64);  // the song's end
  EXPECT_FALSE(roll.CursorX(16 * 192 + 1));
  EXPECT_FALSE(roll.CursorX(-1));
  EXPECT_EQ(roll.TickAtX(left + 32), 96);
  EXPECT_EQ(roll.TickAtX(0), 0);

  // A 300-pixel view: the cursor inside the visible bars leaves it; past them the view moves
  // on, with the cursor a quarter into the bars; never past the canvas.
  EXPECT_EQ(roll.FollowCursor(96, 0, 300), 0);
  EXPECT_EQ(roll.FollowCursor(960, 0, 300), 256);
  EXPECT_EQ(roll.FollowCursor(960, 256, 300), 256);
  EXPECT_EQ(roll.FollowCursor(0, 256, 300), 0);
  EXPECT_EQ(roll.FollowCursor(16 * 192, 0, 300), roll.Width() - 300);
  EXPECT_EQ(roll.FollowCursor(-1, 77, 300), 77);

  // Zoom in steps; the tick under the view's x stays there.
  EXPECT_TRUE(roll.ZoomIn());
  EXPECT_EQ(roll.PixelsPerQuarter(), 24);
  EXPECT_EQ(roll.KeepTickAt(480, 200), left + 240 - 200);
  EXPECT_EQ(roll.KeepTickAt(0, 200), 0);
  EXPECT_TRUE(roll.ZoomIn());
  EXPECT_TRUE(roll.ZoomIn());
  EXPECT_FALSE(roll.ZoomIn());
  EXPECT_EQ(roll.PixelsPerQuarter(), 48);
  for (int i = 0; i < 7; ++i) EXPECT_TRUE(roll.ZoomOut());
  EXPECT_FALSE(roll.ZoomOut());
  EXPECT_EQ(roll.PixelsPerQuarter(), 4);
  // A new song keeps the zoom.
  roll.SetSong(SmallSong());
  EXPECT_EQ(roll.PixelsPerQuarter(), 4);
}

TEST(PianoRoll, ItsButtonLiesOnTheBackgroundBesideEveryOtherButton) {
  const PictureButtonPlace& roll = kRollButton;
  EXPECT_GE(roll.x, 0);
  EXPECT_GE(roll.y, 0);
  EXPECT_LE(roll.x + roll.width, kBackgroundWidth);
  EXPECT_LE(roll.y + roll.height, kBackgroundHeight);
  for (const PictureButtonPlace& other : kMainButtons) {
    const bool apart = roll.x + roll.width <= other.x || other.x + other.width <= roll.x ||
                       roll.y + roll.height <= other.y || other.y + other.height <= roll.y;
    EXPECT_TRUE(apart) << other.caption;
    EXPECT_NE(roll.id, other.id);
  }
}

}  // namespace
}  // namespace vema
