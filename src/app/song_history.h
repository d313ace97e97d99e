// The song history of a working folder: every song composed or re-made there, as what makes it
// again exactly (the form, the data files, the instruments, the feel, the number of candidates,
// the random source and the melody state before it, and every re-roll and hand edit after), kept
// in the small versioned text file "vema-history.txt", with content-addressed copies of the
// forms and data files it needs in the hidden folder ".vema-history".
//
// The file:
//   vema song history 1
//   current=N            the entry of the current song (0: none)
//   next=N               the number the next entry gets
//   entry=N              then the entry's lines, up to "end"
//   time=SECONDS  made=WHAT  from=N  title=TEXT  form-name=TEXT  bars=N  score=X|-
//   form=HASH  programs=A B C  feel=F  random=STATE  melody-state=INTS
//   best-of=N  mld=HASH|-  ton=HASH       (the settings, see kSettingFields)
//   op=melody SETTINGS random=STATE | op=bars A B SETTINGS random=STATE | op=feel F |
//   op=edit KIND BAR NOTE AMOUNT
//   end
// Texts are UTF-8 with bytes below 0x21, 0x7f and '%' written as %XX.  A file that is not
// exactly this (damaged, cut short, of another version or program) is never changed: it is set
// aside under another name and a new history begins.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "melody/melody_edit.h"
#include "song/random.h"
#include "song/tables.h"

namespace vema {

inline constexpr const char* kHistoryFileName = "vema-history.txt";
inline constexpr const char* kHistoryStoreDir = ".vema-history";
inline constexpr std::string_view kHistoryHeader = "vema song history 1";
inline constexpr size_t kKeptEntries = 200;  // the oldest beyond these are dropped
inline constexpr size_t kMaxHistoryBytes = 32u << 20;
inline constexpr size_t kMaxSongChanges = 2000;  // re-rolls and edits of one entry

// What a composition or a re-roll draws with.  Adding a setting: a field here and a row in
// kSettingFields (song_history.cpp); a file without it reads as its default.
struct SongSettings {
  int32_t bestOf = 1;
  int32_t melodyOctave = 0;  // -1..2, or kAutoMelodyOctave
  std::string mld;  // content hash of the note-length database; empty when none was loaded
  std::string ton;  // content hash of the melody style
  bool operator==(const SongSettings&) const = default;
};

// The melody state that a composition starts from and leaves for the next.
struct MelodyState {
  ChainState chain;
  KeyScale keyScale = kInitialKeyScale;
  ChordToneTable chordTones{};
};

enum class SongOpKind { kMelody, kBars, kFeel, kEdit };

// One change of a song after its composition.
struct SongOp {
  SongOpKind kind = SongOpKind::kMelody;
  SongSettings settings;        // kMelody, kBars
  RandomSource::State random;   // kMelody, kBars: the random source as the op began
  int firstBar = 0, lastBar = 0;  // kBars (0-based)
  int feel = 0;                 // kFeel
  MelodyEdit edit;              // kEdit
};

// What makes a song again: its composition, then its changes in order.
struct SongRecipe {
  std::string form;  // content hash of the form record
  SongSettings settings;
  std::array<int32_t, 3> programs{};
  int feel = 0;
  RandomSource::State random;
  MelodyState melody;
  std::vector<SongOp> ops;
};

struct HistoryEntry {
  int number = 0;
  int64_t time = 0;      // seconds since 1970
  std::string made;      // "compose", "melody", "rhythm", "feel", "bars"
  int from = 0;          // the entry it was made from (0: none)
  std::string title;     // the song's title (UTF-8)
  std::string formName;  // the stored form the song's form was, if any
  int bars = 8;          // the bars of the form
  std::optional<double> score;
  SongRecipe recipe;
};

struct SongHistory {
  int current = 0;
  int next = 1;
  std::vector<HistoryEntry> entries;  // numbers increasing

  HistoryEntry* Find(int number);
  const HistoryEntry* Find(int number) const;
  // Appends an entry with the next number (returned) and makes it current; drops the oldest
  // entries beyond kKeptEntries (never the current one).
  int Add(HistoryEntry entry);
  // Puts an entry back under its number (replacing one of that number) and makes it current.
  void Restore(const HistoryEntry& entry);
};

std::string FormatHistory(const SongHistory& history);
// nullopt with a reason when the text is not a history file of this version.
std::optional<SongHistory> ParseHistory(std::string_view text, std::string* problem = nullptr);

// The steps of a recipe as text, its composition first and then every change: two recipes make
// the same song when their steps are equal, and one goes on from another when the other's steps
// begin it.
std::vector<std::string> RecipeSteps(const SongRecipe& recipe);

std::string FormatRandomState(const RandomSource::State& state);
std::optional<RandomSource::State> ParseRandomState(std::string_view text);

// The file of a folder.
enum class HistoryFileState { kRead, kMissing, kSetAside, kUnusable };
struct HistoryFile {
  SongHistory history;
  HistoryFileState state = HistoryFileState::kMissing;
  std::string problem;    // why the file was set aside (or could not be)
  std::string setAsideAs;  // the name it was set aside under
};
// Reads the folder's history.  A file that is not a regular file (a link, a FIFO, a folder) or
// not a history of this version is renamed to "vema-history.txt.set-aside-N" and an empty
// history is returned; when even that fails the state is kUnusable (the history must not be
// written).
HistoryFile LoadHistory(const std::string& dir);
bool SaveHistory(const std::string& dir, const SongHistory& history);

// The content-addressed copies: "<hash>.<kind>" in the hidden folder.  PutData writes the copy
// of bytes whose hash is given when none of the right size is there; GetData reads and checks
// one.
bool PutData(const std::string& dir, std::string_view kind, const std::string& hash,
             const std::vector<uint8_t>& bytes);
std::optional<std::vector<uint8_t>> GetData(const std::string& dir, std::string_view kind,
                                            const std::string& hash);
// Removes the copies that no entry names any more, and copies cut short (call it with the
// folder locked).
void DropUnusedData(const std::string& dir, const SongHistory& history);

// One line of `vema-cli history`: number, time, what made it, form, seed and score.
std::string HistoryListLine(const HistoryEntry& entry, bool current);

}  // namespace vema
