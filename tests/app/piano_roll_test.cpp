// The piano roll without a display: where a known small song's notes, labels, keys and drum hits
// go, the keyboard, filling a view of any size, zooming (to the whole song), scrolling with the
// fixed ruler and keyboard, following the cursor, what lies under a point and what a click does;
// playing from a tick; and the roll button's place on the main window.
#include "app/piano_roll.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "app/playback.h"
#include "app/roll_edit.h"
#include "app/session.h"
#include "app/song_player.h"
#include "support/recording_player.h"
#include "support/test_support.h"

namespace vema {
namespace {

// Two bars: C major then G major, chords C and G7; melody C4 E4 | G4 (a whole bar); a bass
// note, two chord notes and three drum hits.
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
  s.notes.programs = {73, 33, 48};
  return s;
}

constexpr int kLeft = PianoRollLayout::kKeyboardWidth;
constexpr int kTop = PianoRollLayout::kHeaderHeight;

std::vector<std::string> Texts(const std::vector<RollLabel>& labels) {
  std::vector<std::string> out;
  for (const RollLabel& l : labels) {
    out.push_back(std::to_string(l.bar) + ":" + l.text + "@" + std::to_string(l.rect.x) + "," +
                  std::to_string(l.rect.y) + "+" + std::to_string(l.rect.width));
  }
  return out;
}

TEST(PianoRoll, NotesSitAtTheirTickAndKeyWithTheMelodyInFront) {
  PianoRollLayout roll;
  roll.SetSong(SmallSong());
  // Keys 46..69: two below the lowest note (48), two above the highest (67); 24 keys at least.
  EXPECT_EQ(roll.lowKey(), 46);
  EXPECT_EQ(roll.highKey(), 69);
  ASSERT_EQ(roll.PixelsPerQuarter(), 16);
  // No view yet: the rows are as low as they go.
  const int row = roll.KeyHeight();
  ASSERT_EQ(row, PianoRollLayout::kMinKeyHeight);
  const std::vector<RollNote> notes = roll.Notes();
  ASSERT_EQ(notes.size(), 6u);
  const struct {
    RollPart part;
    int key;
    RollRect rect;
  } expected[] = {{RollPart::kChords, 55, {kLeft + 8, kTop + 14 * row, 7, row}},
                  {RollPart::kChords, 59, {kLeft + 8, kTop + 10 * row, 7, row}},
                  {RollPart::kBass, 48, {kLeft, kTop + 21 * row, 31, row}},
                  {RollPart::kMelody, 60, {kLeft, kTop + 9 * row, 15, row}},
                  {RollPart::kMelody, 64, {kLeft + 16, kTop + 5 * row, 15, row}},
                  {RollPart::kMelody, 67, {kLeft + 64, kTop + 2 * row, 63, row}}};
  for (size_t i = 0; i < notes.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(notes[i].part, expected[i].part);
    EXPECT_EQ(notes[i].key, expected[i].key);
    EXPECT_EQ(notes[i].rect, expected[i].rect);
  }
  EXPECT_EQ(roll.BarLines(), (std::vector<int>{kLeft, kLeft + 64, kLeft + 128}));
  EXPECT_EQ(roll.BeatLines().size(), 6u);
  EXPECT_EQ(roll.Width(), kLeft + 128 + PianoRollLayout::kRightMargin);
  // The drum strip lies under the lowest key; a bass drum fills it, other hits half of it.
  const RollRect strip = roll.DrumStrip();
  EXPECT_EQ(strip, (RollRect{kLeft, kTop + 24 * row + PianoRollLayout::kDrumGap, 128,
                             PianoRollLayout::kDrumHeight}));
  EXPECT_EQ(roll.Height(), strip.y + strip.height + PianoRollLayout::kDrumGap);
  std::vector<RollRect> hits;
  for (const RollNote& hit : roll.DrumHits()) {
    EXPECT_EQ(hit.part, RollPart::kDrums);
    hits.push_back(hit.rect);
  }
  const int h = strip.height;
  EXPECT_EQ(hits, (std::vector<RollRect>{{kLeft, strip.y, 3, h},
                                         {kLeft + 16, strip.y + h / 2, 3, h / 2},
                                         {kLeft + 32, strip.y, 3, h}}));
  // A hidden part is not drawn; the others stay where they were.
  roll.ShowPart(RollPart::kChords, false);
  roll.ShowPart(RollPart::kDrums, false);
  ASSERT_EQ(roll.Notes().size(), 4u);
  EXPECT_EQ(roll.Notes()[0].part, RollPart::kBass);
  EXPECT_EQ(roll.Notes()[3].rect, expected[5].rect);
  EXPECT_TRUE(roll.DrumHits().empty());
  EXPECT_EQ(roll.DrumStrip(), strip);
  EXPECT_FALSE(roll.PartShown(RollPart::kChords));
  EXPECT_TRUE(roll.PartShown(RollPart::kMelody));
}

TEST(PianoRoll, HeaderShowsBarNumbersChordsAndKeysAsAMusicianWritesThem) {
  PianoRollLayout roll;
  SongScore song = SmallSong(4);
  song.keys = {0, 1, 1, 23};  // C, G, G, d minor
  song.chords = {"B-", "", "F#m7-5", "AmonC"};
  roll.SetSong(song);
  EXPECT_EQ(Texts(roll.BarNumbers()), (std::vector<std::string>{"0:1@56,0+60", "1:2@120,0+60",
                                                                "2:3@184,0+60", "3:4@248,0+60"}));
  EXPECT_EQ(Texts(roll.ChordLabels()),  // a bar without a chord name has no label
            (std::vector<std::string>{"0:B♭@56,20+60", "2:F♯m7(♭5)@184,20+60",
                                      "3:Am/C@248,20+60"}));
  // The first key, then each change, each running until the next.
  EXPECT_EQ(Texts(roll.KeyMarks()), (std::vector<std::string>{
                                        "0:ハ長調@56,40+60", "1:ト長調@120,40+124",
                                        "3:ニ短調@248,40+60"}));
  // Narrow bars number every second bar.
  while (roll.ZoomOut(0)) {
  }
  EXPECT_EQ(roll.BarWidth(), 16);
  EXPECT_EQ(Texts(roll.BarNumbers()), (std::vector<std::string>{"0:1@56,0+28", "2:3@88,0+28"}));
}

TEST(PianoRoll, KeyboardNamesTheCsOrEveryWhiteKeyWhenTheRowsAreHigh) {
  PianoRollLayout roll;
  roll.SetSong(SmallSong());
  const auto labelled = [&roll] {
    std::string out;
    for (const RollKey& k : roll.Keyboard()) {
      if (k.labelled) out += k.name + " ";
    }
    return out;
  };
  const std::vector<RollKey> keys = roll.Keyboard();
  ASSERT_EQ(keys.size(), 24u);
  EXPECT_EQ(keys.front().name, "A4");
  EXPECT_EQ(keys.back().name, "A#2");
  EXPECT_TRUE(keys.back().black);
  EXPECT_EQ(keys[9].name, "C4");  // key 60
  EXPECT_FALSE(keys[9].black);
  EXPECT_EQ(keys[9].rect, (RollRect{0, roll.YOfKey(60), kLeft, roll.KeyHeight()}));
  EXPECT_EQ(labelled(), "C4 C3 ");
  // A high view: the rows grow (to a limit) and every white key is named.
  roll.SetViewSize(800, 600);
  EXPECT_EQ(roll.KeyHeight(), (600 - kTop - 2 * PianoRollLayout::kDrumGap -
                               PianoRollLayout::kDrumHeight) / 24);
  EXPECT_EQ(labelled(), "A4 G4 F4 E4 D4 C4 B3 A3 G3 F3 E3 D3 C3 B2 ");
  EXPECT_EQ(roll.Height(), roll.DrumStrip().y + PianoRollLayout::kDrumHeight +
                               PianoRollLayout::kDrumGap);
  EXPECT_LE(roll.Height(), 600);
  roll.SetViewSize(800, 5000);
  EXPECT_EQ(roll.KeyHeight(), PianoRollLayout::kMaxKeyHeight);
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
  EXPECT_EQ(empty.ClickAt(10, 200).kind, RollClick::Kind::kNone);
  // Keys near the ends of the range still show 24 keys.
  // Key 3: the margin stops at key 1, and the range still grows down to 0.
  for (const auto& [key, low, high] :
       {std::tuple{126, 104, 127}, std::tuple{1, 0, 23}, std::tuple{3, 0, 23}}) {
    SCOPED_TRACE(key);
    SongScore edge = SmallSong();
    edge.notes.melody = {{0, 48, key}};
    edge.notes.bass.clear();
    edge.notes.chords.clear();
    PianoRollLayout r;
    r.SetSong(edge);
    EXPECT_EQ(r.lowKey(), low);
    EXPECT_EQ(r.highKey(), high);
  }
}

TEST(PianoRoll, TheSongFillsTheViewAndZoomsOutToTheWholeSong) {
  // A short song in a large window: stretched to the window's width, nothing to zoom out to.
  PianoRollLayout roll;
  roll.SetSong(SmallSong());
  roll.SetViewSize(1270, 850);
  EXPECT_EQ(roll.Width(), 1270);
  EXPECT_EQ(roll.XOfTick(2 * 192), 1270 - PianoRollLayout::kRightMargin);
  EXPECT_EQ(roll.MaxScrollX(), 0);
  EXPECT_EQ(roll.KeyHeight(), PianoRollLayout::kMaxKeyHeight);
  EXPECT_TRUE(roll.WholeSongInView());
  EXPECT_FALSE(roll.CanZoomOut());
  EXPECT_FALSE(roll.ZoomOut(600));
  EXPECT_FALSE(roll.ZoomToFit());
  EXPECT_FALSE(roll.CanZoomIn());  // already wider than the largest step
  EXPECT_FALSE(roll.ZoomIn(600));

  // Sixteen bars in 600 pixels: 16 px to the quarter, scrolling; out in steps until the whole
  // song fits (8.3125 px), in again by the steps.
  roll.SetSong(SmallSong(16));
  roll.SetViewSize(600, 400);
  EXPECT_EQ(roll.PixelsPerQuarter(), 16);
  EXPECT_EQ(roll.Width(), kLeft + 16 * 64 + PianoRollLayout::kRightMargin);
  EXPECT_EQ(roll.MaxScrollX(), roll.Width() - 600);
  EXPECT_TRUE(roll.ZoomOut(kLeft));
  EXPECT_EQ(roll.PixelsPerQuarter(), 12);
  EXPECT_TRUE(roll.ZoomOut(kLeft));
  EXPECT_DOUBLE_EQ(roll.PixelsPerQuarter(), 8.3125);
  EXPECT_EQ(roll.Width(), 600);
  EXPECT_TRUE(roll.WholeSongInView());
  EXPECT_FALSE(roll.ZoomOut(kLeft));
  EXPECT_TRUE(roll.ZoomIn(kLeft));
  EXPECT_EQ(roll.PixelsPerQuarter(), 12);
  EXPECT_TRUE(roll.ZoomToFit());
  EXPECT_EQ(roll.Width(), 600);
  EXPECT_FALSE(roll.ZoomToFit());
  // The whole song stays whole when the window grows, and keeps the steps when it shrinks.
  roll.SetViewSize(900, 400);
  EXPECT_EQ(roll.Width(), 900);
  roll.SetViewSize(600, 400);
  EXPECT_EQ(roll.Width(), 600);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(roll.ZoomIn(kLeft));
  EXPECT_EQ(roll.PixelsPerQuarter(), 24);

  // The tick under the anchor stays under it while zooming; a new song keeps the zoom and
  // starts at its beginning.
  roll.ScrollTo(300, 0);
  const int64_t tick = roll.TickAtX(352 + roll.scrollX());
  EXPECT_TRUE(roll.ZoomIn(352));
  EXPECT_EQ(roll.PixelsPerQuarter(), 32);
  EXPECT_EQ(roll.TickAtX(352 + roll.scrollX()), tick);
  EXPECT_TRUE(roll.ZoomIn(352));
  EXPECT_FALSE(roll.ZoomIn(352));
  EXPECT_EQ(roll.PixelsPerQuarter(), 48);
  EXPECT_EQ(roll.TickAtX(352 + roll.scrollX()), tick);
  roll.SetSong(SmallSong(16));
  EXPECT_EQ(roll.PixelsPerQuarter(), 48);
  EXPECT_EQ(roll.scrollX(), 0);
}

TEST(PianoRoll, ScrollingKeepsTheRulerAndTheKeyboardInPlace) {
  PianoRollLayout roll;
  roll.SetSong(SmallSong(16));
  roll.SetViewSize(600, 300);  // too low for the keys: they scroll too
  ASSERT_EQ(roll.KeyHeight(), PianoRollLayout::kMinKeyHeight);
  EXPECT_EQ(roll.MaxScrollY(), roll.Height() - 300);
  roll.ScrollTo(-5, 100000);
  EXPECT_EQ(roll.scrollX(), 0);
  EXPECT_EQ(roll.scrollY(), roll.MaxScrollY());
  roll.ScrollTo(100000, 40);
  EXPECT_EQ(roll.scrollX(), roll.MaxScrollX());
  EXPECT_EQ(roll.scrollY(), 40);
  roll.ScrollTo(200, 40);
  const struct {
    int x, y;
    RollArea area;
    int canvasX, canvasY;
  } points[] = {{10, 10, RollArea::kCorner, 10, 10},
                {100, 10, RollArea::kRuler, 300, 10},  // the ruler moves sideways only
                {10, 100, RollArea::kKeyboard, 10, 140},  // the keyboard up and down only
                {100, 100, RollArea::kNotes, 300, 140},
                {-1, 10, RollArea::kNone, 0, 0},
                {600, 100, RollArea::kNone, 0, 0},
                {100, 300, RollArea::kNone, 0, 0}};
  for (const auto& p : points) {
    SCOPED_TRACE(std::to_string(p.x) + "," + std::to_string(p.y));
    EXPECT_EQ(roll.AreaAt(p.x, p.y), p.area);
    if (p.area == RollArea::kNone) continue;
    EXPECT_EQ(roll.CanvasX(p.x), p.canvasX);
    EXPECT_EQ(roll.CanvasY(p.y), p.canvasY);
  }
  // A larger view shows more keys; the scroll position stays inside the canvas.
  roll.SetViewSize(600, 2000);
  EXPECT_EQ(roll.scrollY(), 0);
}

TEST(PianoRoll, WhatLiesUnderAPointAndWhatAClickDoes) {
  SongScore song = SmallSong(8);
  song.notes.melody.push_back({400, 6, 55});  // a short melody note over a chord note
  song.notes.chords.push_back({384, 48, 55});
  song.notes.bass.push_back({192, 96, 48});
  song.notes.microsecondsPerQuarter = 500000;  // 120 to the minute
  PianoRollLayout roll;
  roll.SetSong(song);
  roll.SetViewSize(300, 500);
  ASSERT_EQ(roll.PixelsPerQuarter(), 16);
  const int row = roll.KeyHeight();
  // In canvas coordinates.
  const int y55 = roll.YOfKey(55) + row / 2;
  EXPECT_EQ(roll.NoteAt(roll.XOfTick(401), y55)->part, RollPart::kMelody);
  EXPECT_EQ(roll.NoteAt(roll.XOfTick(420), y55)->part, RollPart::kChords);
  EXPECT_FALSE(roll.NoteAt(roll.XOfTick(700), y55));
  roll.ShowPart(RollPart::kMelody, false);
  EXPECT_EQ(roll.NoteAt(roll.XOfTick(401), y55)->part, RollPart::kChords);
  roll.ShowPart(RollPart::kChords, false);
  EXPECT_FALSE(roll.NoteAt(roll.XOfTick(401), y55));
  roll.ShowPart(RollPart::kMelody, true);
  roll.ShowPart(RollPart::kChords, true);
  EXPECT_EQ(roll.KeyAtY(roll.YOfKey(60)), 60);
  EXPECT_EQ(roll.KeyAtY(roll.YOfKey(60) + row - 1), 60);
  EXPECT_FALSE(roll.KeyAtY(kTop - 1));
  EXPECT_FALSE(roll.KeyAtY(roll.YOfKey(roll.lowKey()) + row));
  EXPECT_EQ(roll.BarAtX(kLeft + 100), 1);
  EXPECT_EQ(roll.BarAtX(0), 0);
  EXPECT_EQ(roll.BarAtX(100000), 7);
  EXPECT_EQ(roll.SeekTickAtX(kLeft + 100), 288);  // tick 300 lies in the beat from 288
  EXPECT_EQ(roll.SeekTickAtX(100000), 8 * 192 - 48);
  const RollRect strip = roll.DrumStrip();
  EXPECT_EQ(roll.NoteAt(roll.XOfTick(48) + 3, strip.y + strip.height - 1)->key, 42);
  EXPECT_FALSE(roll.NoteAt(roll.XOfTick(48) + 3, strip.y + 1));  // above the short hit

  // Clicks, in view coordinates, scrolled by a bar.
  roll.ScrollTo(64, 0);
  const auto at = [&](int64_t tick, int key) {
    return std::pair{roll.XOfTick(tick) - roll.scrollX(),
                     roll.YOfKey(key) - roll.scrollY() + row / 2};
  };
  struct Case {
    const char* what;
    std::pair<int, int> point;
    RollClick::Kind kind;
    int channel, program, key, milliseconds;
    int64_t tick;
  };
  const Case cases[] = {
      {"melody note", at(250, 67), RollClick::Kind::kSound, 0, 73, 67, 2000, 0},
      {"short melody note", at(400, 55), RollClick::Kind::kSound, 0, 73, 55, 150, 0},
      {"chord note", at(420, 55), RollClick::Kind::kSound, 1, 48, 55, 500, 0},
      {"bass note", at(200, 48), RollClick::Kind::kSound, 2, 33, 48, 1000, 0},
      {"note scrolled away", at(0, 60), RollClick::Kind::kNone, 0, 0, 0, 0, 0},
      {"keyboard", {10, roll.YOfKey(62) + 2}, RollClick::Kind::kSound, 0, 73, 62, 600, 0},
      {"ruler", {kLeft + 100, 5}, RollClick::Kind::kSeek, 0, 0, 0, 0, 480},  // tick 492
      {"chord row", {kLeft + 1, 30}, RollClick::Kind::kSeek, 0, 0, 0, 0, 192},
      {"empty place", at(500, 50), RollClick::Kind::kNone, 0, 0, 0, 0, 0},
      {"corner", {10, 10}, RollClick::Kind::kNone, 0, 0, 0, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RollClick click = roll.ClickAt(c.point.first, c.point.second);
    EXPECT_EQ(click.kind, c.kind);
    if (click.kind == RollClick::Kind::kSound) {
      EXPECT_EQ(click.channel, c.channel);
      EXPECT_EQ(click.program, c.program);
      EXPECT_EQ(click.key, c.key);
      EXPECT_EQ(click.milliseconds, c.milliseconds);
      EXPECT_EQ(click.velocity, 100);
    }
    if (click.kind == RollClick::Kind::kSeek) {
      EXPECT_EQ(click.tick, c.tick);
    }
  }
  // Drum hits sound on the drum channel; none with the drums hidden.
  roll.ScrollTo(0, 0);
  const std::pair<int, int> snare = {roll.XOfTick(48) + 1, strip.y + strip.height - 2};
  const RollClick drum = roll.ClickAt(snare.first, snare.second);
  EXPECT_EQ(drum.kind, RollClick::Kind::kSound);
  EXPECT_EQ(drum.channel, 9);
  EXPECT_EQ(drum.key, 42);
  roll.ShowPart(RollPart::kDrums, false);
  EXPECT_EQ(roll.ClickAt(snare.first, snare.second).kind, RollClick::Kind::kNone);
  EXPECT_EQ(PartChannel(RollPart::kChords), 1);
  EXPECT_STREQ(PartName(RollPart::kBass), "ベース");
}

TEST(PianoRoll, TheCursorFollowsThePlaybackPageByPage) {
  PianoRollLayout roll;
  roll.SetSong(SmallSong(16));
  roll.SetViewSize(300, 400);
  EXPECT_EQ(roll.CursorX(0), kLeft);
  EXPECT_EQ(roll.CursorX(96), kLeft + 32);
  EXPECT_EQ(roll.CursorX(16 * 192), kLeft + 16 * 64);  // the song's end
  EXPECT_FALSE(roll.CursorX(16 * 192 + 1));
  EXPECT_FALSE(roll.CursorX(-1));
  EXPECT_EQ(roll.TickAtX(kLeft + 32), 96);
  EXPECT_EQ(roll.TickAtX(0), 0);
  // A 300-pixel view: the cursor inside the visible bars leaves it; past them the view moves
  // on, with the cursor a quarter into the bars; never past the canvas.
  // (300 - 52) / 4 = 62 pixels of the view lie left of the cursor after a page turn.
  const int last = roll.MaxScrollX();
  EXPECT_EQ(last, kLeft + 16 * 64 + PianoRollLayout::kRightMargin - 300);
  const struct {
    int from;
    int64_t tick;
    bool moved;
    int to;
  } steps[] = {{0, 96, false, 0},      {0, 960, true, 320 - 62}, {258, 960, false, 258},
               {258, 0, true, 0},      {0, 16 * 192, true, last}, {77, -1, false, 77},
               {0, 16 * 192 + 1, false, 0}};
  for (const auto& s : steps) {
    SCOPED_TRACE(s.tick);
    roll.ScrollTo(s.from, 0);
    EXPECT_EQ(roll.FollowCursor(s.tick), s.moved);
    EXPECT_EQ(roll.scrollX(), s.to);
  }
}

// A player whose seeks join the platform's commands, in order; playing when its tick is set.
struct SeekingPlayer : testing::RecordingPlayer {
  explicit SeekingPlayer(std::vector<std::string>& log) : log(log) { tick = -1; }
  int PlayingTick() override { return tick; }
  void Seek(int64_t to) override { log.push_back("Seek " + std::to_string(to)); }
  std::vector<std::string>& log;
};

TEST(PianoRoll, TheRulerPlaysFromItsTickOrMovesThePlayingSong) {
  testing::TestSession t;
  std::vector<std::string>& commands = t.platform.playerCommands;
  SeekingPlayer player(commands);
  // Nothing plays: open, the position, play.
  PlayFromCommand(*t.session, &player, 480);
  EXPECT_EQ(commands, (std::vector<std::string>{kPlayerOpen, "Seek 480", kPlayerPlay}));
  EXPECT_EQ(t.session->playing, 1);
  // While it plays: only the position.
  commands.clear();
  player.tick = 500;
  PlayFromCommand(*t.session, &player, 960);
  EXPECT_EQ(commands, (std::vector<std::string>{"Seek 960"}));
  // Played to its end: as from the start.
  commands.clear();
  player.tick = -1;
  PlayFromCommand(*t.session, &player, 192);
  EXPECT_EQ(commands,
            (std::vector<std::string>{kPlayerStop, kPlayerSeekStart, kPlayerClose, kPlayerOpen,
                                      "Seek 192", kPlayerPlay}));
  // Without a player, as PLAY.
  commands.clear();
  t.session->playing = 0;
  PlayFromCommand(*t.session, nullptr, 192);
  EXPECT_EQ(commands, (std::vector<std::string>{kPlayerOpen, kPlayerPlay}));
}

TEST(PianoRoll, ChoosingBarsAndMelodyNotesAndTheEditsTheyMake) {
  SongScore song = SmallSong(4);  // melody C4 at 0, E4 at 48, G4 at 192
  PianoRollLayout roll;
  roll.SetSong(song);
  roll.SetViewSize(600, 500);
  RollSelection chosen;
  // Bars: a drag either way, kept inside the song; the band covers exactly those bars.
  chosen.SelectBars(song, 3, 1);
  EXPECT_EQ(chosen.bars(), (BarRange{1, 3}));
  chosen.SelectBars(song, -2, 9);
  EXPECT_EQ(chosen.bars(), (BarRange{0, 3}));
  chosen.SelectBars(SmallSong(1), 0, 3);
  EXPECT_EQ(chosen.bars(), (BarRange{0, 0}));
  chosen.SelectBars(song, 2, 2);
  const RollRect band = BarBand(roll, *chosen.bars());
  EXPECT_EQ(band.x, roll.XOfTick(2 * kTicksPerBar));
  EXPECT_EQ(band.x + band.width, roll.XOfTick(3 * kTicksPerBar));
  EXPECT_EQ(roll.BarAtX(band.x), 2);
  EXPECT_EQ(roll.BarAtX(band.x + band.width - 1), 2);

  // Notes: click, Shift+click adds and takes out, only melody notes count, a click beside
  // them clears unless Shift is held.
  const auto note = [&](int tick, int key) { return roll.NoteAt(roll.XOfTick(tick) + 1, roll.YOfKey(key) + 2); };
  chosen.Click(note(0, 60), false);
  EXPECT_EQ(chosen.notes(), (std::set<int32_t>{0}));
  chosen.Click(note(192, 67), true);
  EXPECT_EQ(chosen.notes(), (std::set<int32_t>{0, 192}));
  chosen.Click(note(0, 60), true);
  EXPECT_EQ(chosen.notes(), (std::set<int32_t>{192}));
  chosen.Click(note(0, 48), true);  // the bass note: nothing changes
  chosen.Click(std::nullopt, true);
  EXPECT_EQ(chosen.notes(), (std::set<int32_t>{192}));
  chosen.Click(note(0, 48), false);
  EXPECT_TRUE(chosen.notes().empty());
  // A box over the first two melody notes (and the bass and chord notes under them), dragged
  // from its lower right corner; with Shift it adds.
  chosen.Box(roll, BoxBetween(roll.XOfTick(95), roll.YOfKey(48), roll.XOfTick(0), roll.YOfKey(64)), false);
  EXPECT_EQ(chosen.notes(), (std::set<int32_t>{0, 48}));
  chosen.Box(roll, BoxBetween(roll.XOfTick(200), roll.YOfKey(67), roll.XOfTick(201), roll.YOfKey(67)), true);
  EXPECT_EQ(chosen.notes(), (std::set<int32_t>{0, 48, 192}));
  EXPECT_TRUE(chosen.Chosen(*note(48, 64)));
  // The song changes: notes it no longer starts and bars past its end go.
  song.bars = 2;
  song.notes.melody = {{0, 48, 62}, {96, 96, 64}, {192, 192, 67}};
  chosen.SelectBars(SmallSong(4), 1, 3);
  chosen.Keep(song);
  EXPECT_EQ(chosen.notes(), (std::set<int32_t>{0, 192}));
  EXPECT_EQ(chosen.bars(), (BarRange{1, 1}));
  chosen.Keep(std::nullopt);
  EXPECT_TRUE(chosen.Empty());

  // Keys and drags: a scale step, a semitone with Ctrl, an octave with Shift; rows of a drag.
  EXPECT_EQ(ArrowMove(true, false, false).kind, MelodyEditKind::kScaleSteps);
  EXPECT_EQ(ArrowMove(false, true, false).kind, MelodyEditKind::kSemitones);
  EXPECT_EQ(ArrowMove(false, true, false).amount, -1);
  EXPECT_EQ(ArrowMove(true, true, true).kind, MelodyEditKind::kOctaves);
  const int row = roll.KeyHeight();
  EXPECT_EQ(DragSemitones(roll, 300, 300 - 3 * row), 3);
  EXPECT_EQ(DragSemitones(roll, 300, 300 + 2 * row + row / 3), -2);
  EXPECT_EQ(DragSemitones(roll, 300, 300 + row / 3), 0);

  // The edits: the chosen notes by bar and index, rests left out; a rest given a key.
  const std::vector<RollMelodyNote> melody = {
      {0, 0, 0, 96, false}, {0, 1, 96, 96, true}, {1, 0, 192, 48, false}, {1, 1, 240, 144, false}};
  EXPECT_EQ(EditsOfNotes(melody, {96, 192, 240, 500}, MelodyEditKind::kSemitones, 2),
            (std::vector<MelodyEdit>{{MelodyEditKind::kSemitones, 1, 0, 2},
                                     {MelodyEditKind::kSemitones, 1, 1, 2}}));
  EXPECT_EQ(KeyOfRestAt(melody, 150, 65), (MelodyEdit{MelodyEditKind::kKey, 0, 1, 65}));
  EXPECT_FALSE(KeyOfRestAt(melody, 200, 65));
  EXPECT_FALSE(KeyOfRestAt(melody, 384, 65));
}

}  // namespace
}  // namespace vema
