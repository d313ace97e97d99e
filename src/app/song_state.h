// The current song and what changes it: every composition and every re-roll becomes an entry of
// the song history (app/song_history.h); stepping through the history, re-rolling a part or a
// stretch of bars, editing a note, undo and redo each make a song current, write its out.mid,
// out.mml and work.txt again (atomically, with the folder locked, as every composition does) and
// keep the history file up to date.  A song is always made again from its entry, so that the
// files are byte for byte those of when it was made.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/song_history.h"

namespace vema {

struct Session;
struct SongCache;

// What a session keeps of the song history between commands.
class SongState {
 public:
  SongState();
  ~SongState();
  SongState(const SongState&) = delete;
  SongState& operator=(const SongState&) = delete;

  // The entry of the current song, once one was made or recalled in this run (before that the
  // history file's current entry is the current song).
  std::optional<HistoryEntry> current;
  // The entries that were current before each change (undo) and after each undone one (redo).
  std::vector<HistoryEntry> undo;
  std::vector<HistoryEntry> redo;
  // Messages in English (vema-cli) instead of Japanese (the windows).
  bool english = false;
  // The entry numbers of the history as last read or written, and its current entry then (for
  // the main window's "N/M").
  std::vector<int> numbers;
  int fileCurrent = 0;

  SongCache& cache() { return *cache_; }

 private:
  std::unique_ptr<SongCache> cache_;
};

inline constexpr size_t kUndoSteps = 100;

// COMP: ComposeCommand, and the song recorded as a new entry of the history (made "compose").
std::optional<double> ComposeAndRecord(Session& session);

// Makes history entry `number` the current song again.  False, with a message, when there is no
// such entry or it cannot be made again (its data is missing).
bool RecallEntry(Session& session, int number);

// The entry before (step -1) or after (+1) the current one made current; false without a
// message at either end of the history.
bool StepHistory(Session& session, int step);

// Re-rolls of the current song, each a new entry made from it:
// "new melody, same rhythm": the rules and pitches drawn again over the song's note lengths
// (best of the session's candidates), the accompaniment unchanged.
bool RerollMelody(Session& session);
// "new rhythm and melody": the song's form composed again with the session's data and number of
// candidates, keeping the song's instruments and feel.
bool RerollRhythm(Session& session);
// "another feel": the accompaniment written again with `feel` (0..3), the melody unchanged.
bool RerollFeel(Session& session, int feel);
// "re-make these bars": new note lengths and pitches for bars first..last (0-based) and the
// bars the form ties to them, the joins chosen by the bar fit; every other note stays.
bool RemakeBarsCommand(Session& session, int first, int last);

// A hand edit of one melody note of the current song: the current entry gets the edit (recall
// makes it again), the files are written again, and it is one undo step.  False, with a message,
// when the edit cannot be made (no such note, a rest moved, a key out of range).
bool EditMelodyCommand(Session& session, const MelodyEdit& edit);
// Several hand edits as ONE change (one undo step; the entry holds them in order).  When one
// of them cannot be made nothing changes; with `refusal` given, why is put there (in the
// session's language) instead of in a message, for a window's status line.
bool EditMelodyCommand(Session& session, const std::vector<MelodyEdit>& edits,
                       std::string* refusal = nullptr);

// The session's title kept as the current song's (after TITLE): recall brings it back.  No
// file but the history is written, and it is no undo step.
void KeepTitleOfCurrentSong(Session& session);

// Undo and redo over every change of the current song (compose, re-roll, step, recall, edit).
bool UndoSongChange(Session& session);
bool RedoSongChange(Session& session);

// Where the current song stands in the history, as last read: its place 1..count (0 when it is
// not there) and the count.
struct HistoryPlace {
  int index = 0;
  int count = 0;
};
HistoryPlace PlaceInHistory(const Session& session);

// The current song's entry: this run's, else the history file's current one (nullopt: none).
std::optional<HistoryEntry> CurrentSongEntry(Session& session);

// Reads the folder's history (setting a damaged one aside with a message) for listing.
SongHistory ReadHistoryForList(Session& session);

}  // namespace vema
