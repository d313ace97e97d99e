// The piano roll without its drawing: where the bars, the notes of every part, the drum hits,
// the bar numbers, chord names and key changes, the keyboard and the playback cursor of a song
// go on the canvas at a zoom level, and how the view scrolls to follow the cursor or a zoom.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window_logic.h"
#include "output/song_score.h"

namespace vema {

// The main window's button for the piano roll, in the gap of the bottom row between TONE and
// PLAY; its pictures are "ROLLU" and "ROLLD".
inline constexpr int kIdRoll = 1011;
inline constexpr PictureButtonPlace kRollButton = {kIdRoll, "ROLL", 289, 126, 36, 32};

struct RollRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const RollRect&) const = default;
};

enum class RollPart { kChords, kBass, kMelody };  // drawn in this order, the melody in front

struct RollNote {
  RollRect rect;
  RollPart part;
  int key;
};

struct RollLabel {
  RollRect rect;  // the text starts at its top-left corner and is clipped to it
  std::string text;
  int bar;
};

struct RollKey {
  int key;
  RollRect rect;  // the row of the key across the keyboard
  bool black;
  std::string name;  // "C4", "C#4", ... (key 60 is C4)
};

class PianoRollLayout {
 public:
  static constexpr int kKeyboardWidth = 44;  // the keyboard at the left, outside the bars
  static constexpr int kRowHeight = 16;      // each of the three rows of the header
  static constexpr int kHeaderHeight = 3 * kRowHeight + 2;  // bar numbers, chords, keys
  static constexpr int kKeyHeight = 10;                     // one semitone
  static constexpr int kDrumGap = 4;
  static constexpr int kDrumHeight = 16;  // the strip of drum hits below the keys
  static constexpr int kRightMargin = 24;
  static constexpr std::array<int, 8> kZoomLevels = {4, 6, 8, 12, 16, 24, 32, 48};  // px/quarter
  static constexpr int kDefaultZoom = 4;  // 16 pixels to the quarter note

  PianoRollLayout() { SetSong(std::nullopt); }

  // The song to show (nullopt: none yet).  The zoom level stays.
  void SetSong(std::optional<SongScore> score);
  bool HasSong() const { return score_.has_value(); }
  const std::optional<SongScore>& song() const { return score_; }

  int zoomLevel() const { return zoom_; }
  int PixelsPerQuarter() const { return kZoomLevels[static_cast<size_t>(zoom_)]; }
  int BarWidth() const { return PixelsPerQuarter() * 4; }
  // One step in or out; false at the end of the scale.
  bool ZoomIn();
  bool ZoomOut();

  // The size of the whole canvas.
  int Width() const;
  int Height() const;
  int lowKey() const { return low_; }
  int highKey() const { return high_; }

  int XOfTick(int64_t tick) const;
  // The tick under a canvas x (0 left of the bars).
  int64_t TickAtX(int x) const;
  // The top of the row of a key.
  int YOfKey(int key) const;

  std::vector<int> BarLines() const;   // x of every bar line, the song's end included
  std::vector<int> BeatLines() const;  // x of the beats inside the bars
  // The notes of the chords, the bass and the melody, in drawing order.
  std::vector<RollNote> Notes() const;
  std::vector<RollRect> DrumHits() const;
  RollRect DrumStrip() const;
  std::vector<RollLabel> BarNumbers() const;  // every bar, or every 2nd, 4th ... when narrow
  std::vector<RollLabel> ChordLabels() const;
  std::vector<RollLabel> KeyMarks() const;  // the first bar's key and every change
  std::vector<RollKey> Keyboard() const;    // from the highest key down

  // The x of the playback cursor at a tick of the song; nullopt outside the song.
  std::optional<int> CursorX(int64_t tick) const;
  // Where the view's left edge goes so that the cursor stays in sight: unchanged while the
  // cursor is inside the visible bars, else a page on, with the cursor a quarter into the view.
  int FollowCursor(int64_t tick, int viewLeft, int viewWidth) const;
  // The view's left edge that keeps a tick under the same view x after a zoom.
  int KeepTickAt(int64_t tick, int viewX) const;

 private:
  std::optional<SongScore> score_;
  int zoom_ = kDefaultZoom;
  int low_ = 48, high_ = 84;
};

// The name of a MIDI key 0..127 as the keyboard shows it: "C4", "C#4", ... (key 60 is C4).
std::string KeyName(int key);

}  // namespace vema
