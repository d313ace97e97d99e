// Choosing and editing in the piano roll, without its drawing: the bars chosen on the ruler, the
// melody notes chosen (by the tick where each starts, so that a chosen note stays chosen when its
// pitch changes), and the hand edits that keys, a drag or a double-click make of them.  Only the
// melody is edited; the other parts are shown as they are.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/piano_roll.h"
#include "melody/melody_edit.h"

namespace vema {

struct Session;

// Bars first..last, 0-based, first <= last.
struct BarRange {
  int first = 0, last = 0;
  bool operator==(const BarRange&) const = default;
};

class RollSelection {
 public:
  // The bars between two bars of a drag on the ruler, in either order, kept inside the song.
  void SelectBars(const SongScore& song, int from, int to);
  void ClearBars() { bars_.reset(); }
  const std::optional<BarRange>& bars() const { return bars_; }

  // The start ticks of the chosen melody notes.
  const std::set<int32_t>& notes() const { return notes_; }
  bool Chosen(const RollNote& note) const {
    return note.part == RollPart::kMelody && notes_.count(note.start) > 0;
  }
  // A click on the notes: a melody note becomes the only one chosen, or with Shift is added or
  // taken out; a click on no melody note clears the choice (with Shift it keeps it).
  void Click(const std::optional<RollNote>& note, bool shift);
  // A box dragged over the notes (canvas coordinates): the melody notes it touches become the
  // chosen ones, or with Shift are added to them.
  void Box(const PianoRollLayout& layout, const RollRect& box, bool shift);
  void ClearNotes() { notes_.clear(); }
  bool Empty() const { return !bars_ && notes_.empty(); }

  // After the song changed: the chosen notes that the new song's melody no longer starts are
  // dropped, and so are bars beyond its end.
  void Keep(const std::optional<SongScore>& song);

 private:
  std::optional<BarRange> bars_;
  std::set<int32_t> notes_;
};

// The band of chosen bars across the canvas (its full height); empty without a song.
RollRect BarBand(const PianoRollLayout& layout, const BarRange& bars);
// The box between two canvas points, either corner first.
RollRect BoxBetween(int x0, int y0, int x1, int y1);

// What an arrow key does to the chosen notes: Up/Down a step of the bar's scale, with Ctrl a
// semitone, with Shift an octave.
struct RollMove {
  MelodyEditKind kind = MelodyEditKind::kScaleSteps;
  int amount = 0;
};
RollMove ArrowMove(bool up, bool ctrl, bool shift);
// The semitones of a vertical drag of notes from canvas y `fromY` to `toY` (up is positive).
int DragSemitones(const PianoRollLayout& layout, int fromY, int toY);

// A note or rest of the song's melody, as its tables count it.
struct RollMelodyNote {
  int bar = 0, note = 0;
  int32_t start = 0, length = 0;
  bool rest = false;
};
// The current song's melody (empty when no song was made in this run).
std::vector<RollMelodyNote> CurrentMelody(const Session& session);

// The edits that move (or make rests of) the notes starting at the chosen ticks; ticks where
// no note of the melody starts, and rests, are left out.
std::vector<MelodyEdit> EditsOfNotes(const std::vector<RollMelodyNote>& melody,
                                     const std::set<int32_t>& ticks, MelodyEditKind kind,
                                     int amount);
// The edit that gives the rest sounding at a tick a key; nullopt when a note sounds there or
// the tick lies outside the melody.
std::optional<MelodyEdit> KeyOfRestAt(const std::vector<RollMelodyNote>& melody, int64_t tick,
                                      int key);

// The roll's edits as ONE change of the current song (EditMelodyCommand).  False when there is
// nothing to edit or the song refuses an edit; then `refusal` says why (empty: nothing to say).
bool EditChosenNotes(Session& session, const std::set<int32_t>& ticks, MelodyEditKind kind,
                     int amount, std::string& refusal);
bool GiveRestKey(Session& session, int64_t tick, int key, std::string& refusal);

}  // namespace vema
