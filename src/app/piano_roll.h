// The piano roll without its drawing: where the bars, the notes of every part, the drum hits,
// the bar numbers, chord names and keys, the keyboard and the playback cursor of a song go at a
// zoom level in a view of a given size; how the view scrolls (the header with the bar ruler stays
// at the top, the keyboard at the left), zooms and follows the cursor; and what lies under a
// point and what a click there does.
//
// Two kinds of coordinates: the canvas holds the whole song (x 0 is the left edge of the
// keyboard, y 0 the top of the header); the view is the part of it on the screen, scrolled by
// scrollX() and scrollY(), except the header (never scrolled up or down) and the keyboard (never
// scrolled sideways).
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
  bool Contains(int px, int py) const {
    return px >= x && px < x + width && py >= y && py < y + height;
  }
  bool operator==(const RollRect&) const = default;
};

// The four parts; the notes are drawn chords first, the melody in front; the drums have a strip
// of their own below the keys.
enum class RollPart { kChords, kBass, kMelody, kDrums };
inline constexpr std::array<RollPart, 4> kRollParts = {RollPart::kMelody, RollPart::kBass,
                                                       RollPart::kChords, RollPart::kDrums};
// The part's name as the legend and the score show it ("旋律", "ベース", "コード", "ドラム").
const char* PartName(RollPart part);
// The MIDI channel of the part in the song's file, counted from 0: melody 0, chords 1, bass 2,
// drums 9.
int PartChannel(RollPart part);

struct RollNote {
  RollRect rect;
  RollPart part;
  int key;
  int32_t start = 0, length = 0;  // ticks (a drum hit has length 0)
};

struct RollLabel {
  RollRect rect;  // the text is centred on its height, starts at its left and is clipped to it
  std::string text;
  int bar;
};

struct RollKey {
  int key;
  RollRect rect;  // the row of the key across the keyboard
  bool black;
  std::string name;  // "C4", "C#4", ... (key 60 is C4)
  bool labelled;     // the name is written on the key: every C, every white key when rows are high
};

// Where a point of the view lies.
enum class RollArea { kNone, kCorner, kRuler, kKeyboard, kNotes };

// What a click does: sound a note, or move the playing position (starting PLAY there when no
// song plays).
struct RollClick {
  enum class Kind { kNone, kSound, kSeek };
  Kind kind = Kind::kNone;
  RollPart part = RollPart::kMelody;
  int channel = 0, program = 0, key = 0, velocity = 0, milliseconds = 0;  // kSound
  int64_t tick = 0;                                                       // kSeek
};

class PianoRollLayout {
 public:
  static constexpr int kKeyboardWidth = 52;  // the keyboard at the left, outside the bars
  static constexpr int kRowHeight = 20;      // each of the three rows of the header
  static constexpr int kHeaderHeight = 3 * kRowHeight + 2;  // bar numbers, chords, keys
  static constexpr int kMinKeyHeight = 12;  // one semitone; rows grow to fill a high view
  static constexpr int kMaxKeyHeight = 24;
  static constexpr int kDrumGap = 4;
  static constexpr int kDrumHeight = 20;  // the strip of drum hits below the keys
  static constexpr int kRightMargin = 16;
  static constexpr std::array<int, 8> kZoomLevels = {4, 6, 8, 12, 16, 24, 32, 48};  // px/quarter
  static constexpr int kDefaultZoom = 4;  // 16 pixels to the quarter note

  PianoRollLayout() { SetSong(std::nullopt); }

  // The song to show (nullopt: none yet).  The zoom and the parts shown stay; the view goes
  // back to the song's beginning.
  void SetSong(std::optional<SongScore> score);
  bool HasSong() const { return score_.has_value(); }
  const std::optional<SongScore>& song() const { return score_; }

  // The size of the view (the drawing area of the window).  The song never takes less than
  // the view's width and the keys grow to fill its height; the scroll position stays inside.
  void SetViewSize(int width, int height);
  int viewWidth() const { return viewWidth_; }
  int viewHeight() const { return viewHeight_; }

  // Zoom: one step in or out of kZoomLevels (false at the end); zoomed out as far as it goes,
  // the whole song fits the view's width.  The tick under the view's x stays under it.
  bool ZoomIn(int anchorViewX);
  bool ZoomOut(int anchorViewX);
  // The whole song in the view's width (one key); false when it already is.
  bool ZoomToFit();
  bool CanZoomIn() const;
  bool CanZoomOut() const { return !WholeSongInView(); }
  bool WholeSongInView() const;
  double PixelsPerQuarter() const;
  int BarWidth() const;  // pixels of the first bar (later bars may be a pixel wider)

  // The parts shown; a hidden part is neither drawn nor clicked.
  void ShowPart(RollPart part, bool shown);
  bool PartShown(RollPart part) const { return shown_[static_cast<size_t>(part)]; }

  // Scrolling, in canvas pixels, kept inside the canvas.
  void ScrollTo(int x, int y);
  int scrollX() const { return scrollX_; }
  int scrollY() const { return scrollY_; }
  int MaxScrollX() const;
  int MaxScrollY() const;

  // The size of the whole canvas.
  int Width() const;
  int Height() const;
  int KeyHeight() const { return keyHeight_; }
  int lowKey() const { return low_; }
  int highKey() const { return high_; }

  int XOfTick(int64_t tick) const;
  // The tick under a canvas x (0 left of the bars).
  int64_t TickAtX(int x) const;
  // The top of the row of a key.
  int YOfKey(int key) const;

  std::vector<int> BarLines() const;   // x of every bar line, the song's end included
  std::vector<int> BeatLines() const;  // x of the beats inside the bars
  // The notes of the chords, the bass and the melody that are shown, in drawing order.
  std::vector<RollNote> Notes() const;
  std::vector<RollNote> DrumHits() const;  // none while the drums are hidden
  RollRect DrumStrip() const;
  std::vector<RollLabel> BarNumbers() const;  // every bar, or every 2nd, 4th ... when narrow
  std::vector<RollLabel> ChordLabels() const;  // as a musician writes them ("B♭", "F♯m7")
  std::vector<RollLabel> KeyMarks() const;  // the first bar's key and every change ("ニ短調")
  std::vector<RollKey> Keyboard() const;    // from the highest key down

  // Hit-testing, in canvas coordinates.
  // The note in front under a point (melody, bass, chords, then the drum strip), of the shown
  // parts only.
  std::optional<RollNote> NoteAt(int x, int y) const;
  // The key of the row under a canvas y, nullopt outside the keys.
  std::optional<int> KeyAtY(int y) const;
  // The bar under a canvas x (the first and last bar beyond the ends); -1 without a song.
  int BarAtX(int x) const;
  // Where playing starts for a click on the ruler at a canvas x: the beat it lies in.
  int64_t SeekTickAtX(int x) const;

  // Where a point of the view lies, and its canvas coordinates (the fixed header and keyboard
  // are not scrolled).
  RollArea AreaAt(int viewX, int viewY) const;
  int CanvasX(int viewX) const { return viewX < kKeyboardWidth ? viewX : viewX + scrollX_; }
  int CanvasY(int viewY) const { return viewY < kHeaderHeight ? viewY : viewY + scrollY_; }
  // What a click at a point of the view does.
  RollClick ClickAt(int viewX, int viewY) const;

  // The canvas x of the playback cursor at a tick of the song; nullopt outside the song.
  std::optional<int> CursorX(int64_t tick) const;
  // Keeps the cursor in sight: the view stays while the cursor is inside the visible bars,
  // else it moves a page on, with the cursor a quarter into the view.  True when it moved.
  bool FollowCursor(int64_t tick);

 private:
  struct Scale {  // pixels per tick = pixels / ticks
    int64_t pixels, ticks;
  };
  Scale LevelScale(int level) const;
  std::optional<Scale> FitScale() const;
  void Rescale(int anchorViewX);
  void UpdateKeyHeight();
  static bool Below(Scale a, Scale b) { return a.pixels * b.ticks < b.pixels * a.ticks; }

  std::optional<SongScore> score_;
  int level_ = kDefaultZoom;
  bool fitWhole_ = false;  // zoomed out to the whole song
  Scale scale_ = {16, kTicksPerQuarter};
  std::array<bool, 4> shown_ = {true, true, true, true};
  int viewWidth_ = 0, viewHeight_ = 0;
  int scrollX_ = 0, scrollY_ = 0;
  int keyHeight_ = kMinKeyHeight;
  int low_ = 48, high_ = 84;
};

// The name of a MIDI key 0..127 as the keyboard shows it: "C4", "C#4", ... (key 60 is C4).
std::string KeyName(int key);

}  // namespace vema
