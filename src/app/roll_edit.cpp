#include "app/roll_edit.h"

#include <algorithm>

#include "app/session.h"
#include "app/song_state.h"

namespace vema {

void RollSelection::SelectBars(const SongScore& song, int from, int to) {
  if (song.bars <= 0) {
    bars_.reset();
    return;
  }
  const int a = std::clamp(std::min(from, to), 0, song.bars - 1);
  const int b = std::clamp(std::max(from, to), 0, song.bars - 1);
  bars_ = BarRange{a, b};
}

void RollSelection::Click(const std::optional<RollNote>& note, bool shift) {
  if (!note || note->part != RollPart::kMelody) {
    if (!shift) notes_.clear();
    return;
  }
  if (!shift) {
    notes_ = {note->start};
  } else if (!notes_.erase(note->start)) {
    notes_.insert(note->start);
  }
}

void RollSelection::Box(const PianoRollLayout& layout, const RollRect& box, bool shift) {
  if (!shift) notes_.clear();
  for (const RollNote& note : layout.Notes()) {
    if (note.part != RollPart::kMelody) continue;
    const RollRect& r = note.rect;
    const bool touches = r.x < box.x + box.width && box.x < r.x + r.width &&
                         r.y < box.y + box.height && box.y < r.y + r.height;
    if (touches) notes_.insert(note.start);
  }
}

void RollSelection::Keep(const std::optional<SongScore>& song) {
  if (!song) {
    bars_.reset();
    notes_.clear();
    return;
  }
  if (bars_ && bars_->last >= song->bars) {
    if (bars_->first >= song->bars) {
      bars_.reset();
    } else {
      bars_->last = song->bars - 1;
    }
  }
  std::set<int32_t> kept;
  for (const ScoreNote& n : song->notes.melody) {
    if (notes_.count(n.start) > 0) kept.insert(n.start);
  }
  notes_ = std::move(kept);
}

RollRect BarBand(const PianoRollLayout& layout, const BarRange& bars) {
  if (!layout.HasSong()) return {};
  const int left = layout.XOfTick(static_cast<int64_t>(bars.first) * kTicksPerBar);
  const int right = layout.XOfTick(static_cast<int64_t>(bars.last + 1) * kTicksPerBar);
  return {left, 0, right - left, layout.Height()};
}

RollRect BoxBetween(int x0, int y0, int x1, int y1) {
  return {std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1, std::abs(y1 - y0) + 1};
}

RollMove ArrowMove(bool up, bool ctrl, bool shift) {
  const int sign = up ? 1 : -1;
  if (shift) return {MelodyEditKind::kOctaves, sign};
  if (ctrl) return {MelodyEditKind::kSemitones, sign};
  return {MelodyEditKind::kScaleSteps, sign};
}

int DragSemitones(const PianoRollLayout& layout, int fromY, int toY) {
  const int height = std::max(1, layout.KeyHeight());
  const int pixels = fromY - toY;
  // Half a row either way still counts as no move.
  return pixels >= 0 ? (pixels + height / 2) / height : -((-pixels + height / 2) / height);
}

std::vector<RollMelodyNote> CurrentMelody(const Session& s) {
  std::vector<RollMelodyNote> melody;
  if (s.midiImage.count == kNoMidiImage || s.midiImage.count < 0) return melody;
  for (const MelodyNoteRef& ref : MelodyNotes(s.noteTrack, s.barNotes, s.midiImage.form)) {
    const TrackNote& cell = s.noteTrack.at(ref.step, 0);
    melody.push_back({ref.bar, ref.note, ref.start, ref.length,
                      !(cell.pitch >= 1 && cell.pitch <= 12)});
  }
  return melody;
}

std::vector<MelodyEdit> EditsOfNotes(const std::vector<RollMelodyNote>& melody,
                                     const std::set<int32_t>& ticks, MelodyEditKind kind,
                                     int amount) {
  std::vector<MelodyEdit> edits;
  for (const RollMelodyNote& n : melody) {
    if (!n.rest && ticks.count(n.start) > 0) edits.push_back({kind, n.bar, n.note, amount});
  }
  return edits;
}

std::optional<MelodyEdit> KeyOfRestAt(const std::vector<RollMelodyNote>& melody, int64_t tick,
                                      int key) {
  for (const RollMelodyNote& n : melody) {
    if (tick >= n.start && tick < n.start + n.length) {
      if (!n.rest) return std::nullopt;
      return MelodyEdit{MelodyEditKind::kKey, n.bar, n.note, key};
    }
  }
  return std::nullopt;
}

bool EditChosenNotes(Session& session, const std::set<int32_t>& ticks, MelodyEditKind kind,
                     int amount, std::string& refusal) {
  refusal.clear();
  const std::vector<MelodyEdit> edits =
      EditsOfNotes(CurrentMelody(session), ticks, kind, amount);
  if (edits.empty()) return false;
  return EditMelodyCommand(session, edits, &refusal);
}

bool GiveRestKey(Session& session, int64_t tick, int key, std::string& refusal) {
  refusal.clear();
  const std::optional<MelodyEdit> edit = KeyOfRestAt(CurrentMelody(session), tick, key);
  if (!edit) return false;
  return EditMelodyCommand(session, std::vector<MelodyEdit>{*edit}, &refusal);
}

}  // namespace vema
