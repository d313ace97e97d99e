#include "melody/melody_edit.h"

#include <algorithm>
#include <array>

#include "melody/melody_state.h"

namespace vema {

namespace {

constexpr std::array<std::string_view, 5> kKindNames = {"semitones", "steps", "octaves", "rest",
                                                        "key"};

bool IsNote(const TrackNote& cell) { return cell.pitch >= 1 && cell.pitch <= 12; }
int KeyOf(const TrackNote& cell) { return cell.octave * 12 + cell.pitch - 1; }

bool InScale(const KeyScale& scale, int key) {
  const int pitch = ((key % 12) + 12) % 12 + 1;
  return std::find(scale.begin(), scale.end(), pitch) != scale.end();
}

}  // namespace

std::string_view EditKindName(MelodyEditKind kind) {
  return kKindNames[static_cast<size_t>(kind)];
}

std::optional<MelodyEditKind> EditKindNamed(std::string_view name) {
  for (size_t i = 0; i < kKindNames.size(); ++i) {
    if (kKindNames[i] == name) return static_cast<MelodyEditKind>(i);
  }
  return std::nullopt;
}

std::vector<MelodyNoteRef> MelodyNotes(const NoteTrackTable& track, const BarNoteTable& barNotes,
                                       const SongForm& form) {
  std::vector<MelodyNoteRef> notes;
  if (track.at(0, 0).length <= 0) return notes;
  int step = 0;
  for (int b = 0; b < form.BarCount(); ++b) {
    const BarNotes& bar = barNotes[static_cast<size_t>(b)];
    int t = b * kTicksPerBar;
    for (int n = 0; n < kBarEntries && bar[static_cast<size_t>(n)].length != -1; ++n, ++step) {
      const TrackNote& cell = track.at(step, 0);
      if (step >= kTrackSteps - 1 || cell.length != bar[static_cast<size_t>(n)].length ||
          cell.length <= 0) {
        return {};
      }
      notes.push_back({b, n, step, t, cell.length});
      t += cell.length;
    }
  }
  if (track.at(step, 0).length != -1) return {};
  return notes;
}

std::optional<MelodyNoteRef> MelodyNoteAtTick(const NoteTrackTable& track,
                                              const BarNoteTable& barNotes, const SongForm& form,
                                              int64_t tick) {
  for (const MelodyNoteRef& note : MelodyNotes(track, barNotes, form)) {
    if (tick >= note.start && tick < note.start + note.length) return note;
  }
  return std::nullopt;
}

EditResult EditCell(const TrackNote& cell, const MelodyEdit& edit, int keyIndex, TrackNote& out) {
  out = cell;
  int key = 0;
  switch (edit.kind) {
    case MelodyEditKind::kSemitones:
    case MelodyEditKind::kOctaves:
      if (!IsNote(cell)) return EditResult::kNotANote;
      key = KeyOf(cell) + edit.amount * (edit.kind == MelodyEditKind::kOctaves ? 12 : 1);
      break;
    case MelodyEditKind::kScaleSteps: {
      if (!IsNote(cell)) return EditResult::kNotANote;
      if (edit.amount > 127 || edit.amount < -127) return EditResult::kOutOfRange;
      const KeyScale scale = ScaleOfKey(keyIndex);
      key = KeyOf(cell);
      const int direction = edit.amount > 0 ? 1 : -1;
      for (int i = 0; i < std::abs(edit.amount); ++i) {
        do {
          key += direction;
        } while (key >= kLowestEditKey && key <= kHighestEditKey && !InScale(scale, key));
      }
      break;
    }
    case MelodyEditKind::kRest:
      if (!IsNote(cell)) return EditResult::kNotANote;
      out.pitch = 0;  // the octave stays: the MML text moves between octaves for rests too
      return EditResult::kDone;
    case MelodyEditKind::kKey:
      key = edit.amount;
      break;
  }
  if (key < kLowestEditKey || key > kHighestEditKey) return EditResult::kOutOfRange;
  out.pitch = key % 12 + 1;
  out.octave = static_cast<int8_t>(key / 12);
  if (out.pitch == cell.pitch && out.octave == cell.octave) return EditResult::kNothingChanges;
  return EditResult::kDone;
}

EditResult ApplyMelodyEdit(NoteTrackTable& track, const BarNoteTable& barNotes,
                           const SongForm& form, GenerationLog& log, const MelodyEdit& edit) {
  if (edit.bar < 0 || edit.bar >= form.BarCount() || edit.note < 0) return EditResult::kNoSuchNote;
  const std::vector<MelodyNoteRef> notes = MelodyNotes(track, barNotes, form);
  const auto it = std::find_if(notes.begin(), notes.end(), [&](const MelodyNoteRef& n) {
    return n.bar == edit.bar && n.note == edit.note;
  });
  if (it == notes.end()) return EditResult::kNoSuchNote;
  TrackNote& cell = track.at(it->step, 0);
  TrackNote edited;
  const EditResult result =
      EditCell(cell, edit, form.keyIndex[static_cast<size_t>(edit.bar)], edited);
  if (result != EditResult::kDone) return result;
  const std::string_view before = PitchName(cell.pitch);
  const std::string_view after = PitchName(edited.pitch);
  log.Appendf("手で直した音（1から数えて）：%2d小節の%d番目 %.*s%d→%.*s%d\n", edit.bar + 1, edit.note + 1,
              static_cast<int>(before.size()), before.data(), cell.octave,
              static_cast<int>(after.size()), after.data(), edited.octave);
  cell = edited;
  return EditResult::kDone;
}

}  // namespace vema
