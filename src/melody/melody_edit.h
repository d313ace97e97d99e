// Edits by hand of a finished melody: one note moved by semitones, scale steps or octaves, a
// note made a rest, or a note (or rest) given a key.  They change the song's own tables, voice 0
// of the note track that the MIDI and MML writers read, and trace every change; the bar table
// keeps the notes as the phases decided them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "song/form.h"
#include "song/tables.h"

namespace vema {

enum class MelodyEditKind { kSemitones, kScaleSteps, kOctaves, kRest, kKey };

struct MelodyEdit {
  MelodyEditKind kind = MelodyEditKind::kSemitones;
  int bar = 0;     // 0-based bar of the song
  int note = 0;    // 0-based note (or rest) of the bar, in time order
  int amount = 0;  // semitones, scale steps or octaves up (negative: down); the MIDI key for kKey
  bool operator==(const MelodyEdit&) const = default;
};

// The names of the kinds in the song history and on the command line.
std::string_view EditKindName(MelodyEditKind kind);
std::optional<MelodyEditKind> EditKindNamed(std::string_view name);

inline constexpr int kLowestEditKey = 0;
inline constexpr int kHighestEditKey = 127;

// The note or rest of voice 0 at a bar and index: its step and the bar's first step.
struct MelodyNoteRef {
  int bar = 0;
  int note = 0;
  int step = 0;   // its cell in voice 0
  int start = 0;  // ticks from the start of the song
  int length = 0;
};

// Every note and rest of the melody in order, as the bar table counts the notes of each bar;
// empty when voice 0 holds no melody that matches the bar table.
std::vector<MelodyNoteRef> MelodyNotes(const NoteTrackTable& track, const BarNoteTable& barNotes,
                                       const SongForm& form);
// The note or rest that sounds at a tick of the song (for a click in the piano roll).
std::optional<MelodyNoteRef> MelodyNoteAtTick(const NoteTrackTable& track,
                                              const BarNoteTable& barNotes, const SongForm& form,
                                              int64_t tick);

enum class EditResult { kDone, kNoSuchNote, kNotANote, kOutOfRange, kNothingChanges };

// The cell an edit makes of a cell in a bar of the key `keyIndex` (KeyList).  kNotANote for a
// move or a rest of a rest; kOutOfRange when the key leaves 0..127; kNothingChanges when the
// cell would stay as it is.
EditResult EditCell(const TrackNote& cell, const MelodyEdit& edit, int keyIndex, TrackNote& out);

// Applies an edit to voice 0 and appends its trace line; the track is unchanged unless kDone.
EditResult ApplyMelodyEdit(NoteTrackTable& track, const BarNoteTable& barNotes,
                           const SongForm& form, GenerationLog& log, const MelodyEdit& edit);

}  // namespace vema
