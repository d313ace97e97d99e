#include "app/song_state.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>

#include "accomp/feel_choice.h"
#include "app/compose_command.h"
#include "app/folder_writes.h"
#include "app/playback.h"
#include "app/session.h"
#include "critic/bar_reroll.h"
#include "critic/melody_choice.h"
#include "critic/silent_platform.h"
#include "melody/pitch_generator.h"
#include "output/midi_writer.h"
#include "song/binary_io.h"
#include "song/file_io.h"
#include "song/sha256.h"

namespace vema {

// The session's data as last hashed, the copies read from the folder's store, and the song made
// last.
struct SongCache {
  struct Data {
    std::vector<uint8_t> bytes;
    std::string hash;
    void Set(std::vector<uint8_t> now) {
      hash = Sha256Hex(now);
      bytes = std::move(now);
    }
  };
  Data form, mld, ton;
  // What form, mld and ton were made from: hashed again only when the session's data changes.
  SongForm formSource;
  CompositionDb mldSource;
  MelodyStyleDb tonSource;
  // Copies read from the store and checked, by kind and hash.
  std::map<std::string, std::vector<uint8_t>> stored;

  SilentPlatform silent;
  std::unique_ptr<Session> made;  // the song made last (its trace without the writers' lines)
  std::vector<std::string> steps;   // its recipe's steps
  std::string madeMld, madeTon;     // the data it holds now
};

SongState::SongState() : cache_(std::make_unique<SongCache>()) {}
SongState::~SongState() = default;

namespace {

// ---- messages ----

void Say(Session& s, const std::string& japanese, const std::string& english, MessageIcon icon) {
  s.platform().ShowMessage(s.song.english ? english : japanese, icon);
}

void SayNoSong(Session& s) {
  Say(s, "曲が生成されていません。", "there is no song yet: compose one first", MessageIcon::kStop);
}

// A message shown once the folder is free again.
struct Note {
  std::string japanese, english;
  MessageIcon icon;
};

void Show(Session& s, const std::vector<Note>& notes) {
  for (const Note& n : notes) Say(s, n.japanese, n.english, n.icon);
}

void NoteNumbers(Session& s, const SongHistory& h) {
  s.song.numbers.clear();
  for (const HistoryEntry& e : h.entries) s.song.numbers.push_back(e.number);
  s.song.fileCurrent = h.current;
}

// The history of the folder, with a note when it had to be set aside or cannot be used.
HistoryFile Load(Session& s, std::vector<Note>& notes) {
  HistoryFile file = LoadHistory(s.dir);
  if (file.state == HistoryFileState::kSetAside) {
    notes.push_back({"履歴ファイル " + std::string(kHistoryFileName) +
                         " が読めないため（壊れているか、別の版やほかのプログラムのものです）、" +
                         file.setAsideAs + " に移して新しい履歴を始めます。",
                     "the song history " + std::string(kHistoryFileName) + " could not be read (" +
                         file.problem + "); it was set aside as " + file.setAsideAs +
                         " and a new history begins",
                     MessageIcon::kPlain});
  } else if (file.state == HistoryFileState::kUnusable) {
    notes.push_back({"履歴ファイル " + std::string(kHistoryFileName) +
                         " が読めず、移すこともできないため、曲の履歴は残せません。",
                     "the song history " + std::string(kHistoryFileName) + " could not be read (" +
                         file.problem + ") nor set aside: the song is not kept in the history",
                     MessageIcon::kStop});
  }
  if (file.state != HistoryFileState::kUnusable) NoteNumbers(s, file.history);
  return file;
}

// The history read with the folder locked (a file set aside is renamed by one run only).
HistoryFile LoadLocked(Session& s) {
  std::vector<Note> notes;
  HistoryFile file;
  {
    const FolderLock lock(s.dir, s.platform());
    // Another run that keeps the folder: the platform has said so; the history is left alone.
    if (lock.refused()) {
      file.state = HistoryFileState::kUnusable;
      return file;
    }
    file = Load(s, notes);
  }
  Show(s, notes);
  return file;
}

// ---- the data a song is made with ----

std::vector<uint8_t> FormBytes(const SongForm& form) {
  FieldWriter out;
  EncodeForm(form, out);
  return std::move(out.bytes());
}

std::vector<uint8_t> TonBytes(const MelodyStyleDb& style) {
  const std::string bytes = style.Encode();
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

bool SameDb(const CompositionDb& a, const CompositionDb& b) {
  const auto same = [](const Transition& x, const Transition& y) {
    return x.from == y.from && x.to == y.to && x.weight == y.weight;
  };
  const auto sameGroup = [](const TransitionGroup& x, const TransitionGroup& y) {
    return x.first == y.first && x.total == y.total && x.count == y.count;
  };
  if (a.kind != b.kind || a.loaded != b.loaded || a.lastTransitionIndex != b.lastTransitionIndex ||
      a.noteLengthPatterns != b.noteLengthPatterns ||
      !std::equal(a.transitions.begin(), a.transitions.end(), b.transitions.begin(),
                  b.transitions.end(), same)) {
    return false;
  }
  for (size_t k = 0; k < a.transitionGroups.size(); ++k) {
    if (!std::equal(a.transitionGroups[k].begin(), a.transitionGroups[k].end(),
                    b.transitionGroups[k].begin(), sameGroup)) {
      return false;
    }
  }
  return true;
}

// The hash of the session's form, noted with its bytes.
const std::string& FormHash(Session& s) {
  SongCache& c = s.song.cache();
  if (c.form.hash.empty() || !(c.formSource == s.form)) {
    c.form.Set(FormBytes(s.form));
    c.formSource = s.form;
  }
  return c.form.hash;
}

SongSettings SettingsOf(Session& s) {
  SongCache& c = s.song.cache();
  SongSettings settings;
  settings.bestOf = s.bestOf;
  settings.melodyOctave = s.melodyOctave;
  if (s.compositionDb.loaded != 0) {
    if (c.mld.hash.empty() || !SameDb(c.mldSource, s.compositionDb)) {
      c.mld.Set(EncodeCompositionDb(s.compositionDb));
      c.mldSource = s.compositionDb;
    }
    settings.mld = c.mld.hash;
  }
  if (c.ton.hash.empty() || !(c.tonSource == s.style)) {
    c.ton.Set(TonBytes(s.style));
    c.tonSource = s.style;
  }
  settings.ton = c.ton.hash;
  return settings;
}

MelodyState MelodyStateOf(const Session& s) { return {s.chain, s.keyScale, s.chordTones}; }

// The bytes of a hash: the session's own data when they have it, else the folder's copy (read
// and checked once a session).
const std::vector<uint8_t>* DataBytes(Session& s, std::string_view kind, const std::string& hash) {
  SongCache& c = s.song.cache();
  const SongCache::Data& own = kind == "form" ? c.form : kind == "mld" ? c.mld : c.ton;
  if (!hash.empty() && hash == own.hash) return &own.bytes;
  const std::string key = std::string(kind) + hash;
  if (const auto it = c.stored.find(key); it != c.stored.end()) return &it->second;
  std::optional<std::vector<uint8_t>> bytes = GetData(s.dir, kind, hash);
  if (!bytes) return nullptr;
  return &c.stored.emplace(key, std::move(*bytes)).first->second;
}

// Stores a copy of every file a recipe needs in the folder; false when one cannot be written.
bool PutRecipeData(Session& s, const SongRecipe& r) {
  std::vector<std::pair<std::string, std::string>> needed = {{"form", r.form},
                                                             {"ton", r.settings.ton}};
  if (!r.settings.mld.empty()) needed.push_back({"mld", r.settings.mld});
  for (const SongOp& op : r.ops) {
    if (op.kind != SongOpKind::kMelody && op.kind != SongOpKind::kBars) continue;
    needed.push_back({"ton", op.settings.ton});
    if (!op.settings.mld.empty()) needed.push_back({"mld", op.settings.mld});
  }
  for (const auto& [kind, hash] : needed) {
    const std::vector<uint8_t>* bytes = DataBytes(s, kind, hash);
    if (bytes == nullptr) return false;
    if (!PutData(s.dir, kind, hash, *bytes)) return false;
  }
  return true;
}

// ---- making a song again ----

struct MakeFailure {
  enum Kind { kData, kDbKind, kNoMelody, kBars, kEdit } kind = kData;
  std::string detail;  // the data kind missing
  EditResult edit = EditResult::kDone;
  int first = 0, last = 0;
};

// Gives the made session the data of a setting (decoded only when it changes).
bool UseData(Session& s, Session& made, const SongSettings& settings, MakeFailure& failure) {
  SongCache& c = s.song.cache();
  if (settings.mld != c.madeMld) {
    made.compositionDb = CompositionDb();
    if (!settings.mld.empty() && settings.mld == c.mld.hash && SameDb(c.mldSource, s.compositionDb)) {
      made.compositionDb = s.compositionDb;  // the session's own, decoded already
    } else if (!settings.mld.empty()) {
      const std::vector<uint8_t>* bytes = DataBytes(s, "mld", settings.mld);
      if (bytes == nullptr) {
        failure = {MakeFailure::kData, "mld"};
        return false;
      }
      DecodeCompositionDb(*bytes, made.compositionDb);
      made.compositionDb.loaded = 1;
    }
    c.madeMld = settings.mld;
  }
  if (settings.ton != c.madeTon) {
    const std::vector<uint8_t>* bytes = DataBytes(s, "ton", settings.ton);
    if (bytes == nullptr) {
      failure = {MakeFailure::kData, "ton"};
      return false;
    }
    made.style = MelodyStyleDb();
    made.style.Decode(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    c.madeTon = settings.ton;
  }
  made.bestOf = settings.bestOf;
  made.melodyOctave = settings.melodyOctave;
  return true;
}

void LoadRandom(Session& made, const RandomSource::State& state) {
  made.random.Load(state);
  made.random.SetPlatform(&made.platform());
}

// A section of the trace begins on a line of its own.
void EndLine(GenerationLog& log) {
  if (!log.text().empty() && log.text().back() != '\n') log.Append("\n");
}

bool ApplyOp(Session& s, Session& made, const SongOp& op, MakeFailure& failure) {
  switch (op.kind) {
    case SongOpKind::kMelody: {
      if (!UseData(s, made, op.settings, failure)) return false;
      if (!IsMelodyDbKind(made.compositionDb.kind)) {
        failure.kind = MakeFailure::kDbKind;
        return false;
      }
      LoadRandom(made, op.random);
      EndLine(made.log);
      made.log.Append("------------------旋律の作り直しフェーズ（音長はそのまま）------------------\n");
      int pitches = 0;
      if (made.bestOf > 1) {
        const MelodyChoice choice = ChoosePitches(made.Melody(), made.bestOf);
        made.random = choice.chosenStart;
        pitches = RunChosenPitches(made.Melody(), choice);
        made.random = choice.end;
      } else {
        pitches = PitchGenerator(made.Melody()).Run();
      }
      if (pitches == 0) made.noteTrack.ClearVoice(0);
      made.melodyShift = pitches != 0 ? ApplyMelodyOctave(made.Melody(), made.melodyOctave) : 0;
      return true;
    }
    case SongOpKind::kBars: {
      if (!UseData(s, made, op.settings, failure)) return false;
      if (!IsMelodyDbKind(made.compositionDb.kind)) {
        failure.kind = MakeFailure::kDbKind;
        return false;
      }
      if (made.noteTrack.at(0, 0).length <= 0) {
        failure.kind = MakeFailure::kNoMelody;
        return false;
      }
      LoadRandom(made, op.random);
      // The bars are drawn where the pitch phase draws, then the melody goes back to its octave.
      ShiftMelody(made.noteTrack, -made.melodyShift);
      const bool remade =
          op.lastBar < made.form.BarCount() &&
          RemakeBars(made.Melody(), op.firstBar, op.lastBar, RemakeDraws(op.settings.bestOf));
      ShiftMelody(made.noteTrack, made.melodyShift);
      if (!remade) {
        failure = {MakeFailure::kBars, "", EditResult::kDone, op.firstBar, op.lastBar};
        return false;
      }
      return true;
    }
    case SongOpKind::kFeel:
      made.accompanimentFeel = static_cast<int8_t>(op.feel);
      EndLine(made.log);
      made.log.Appendf("------------------伴奏の作り直し：%s------------------\n",
                       kFeelLabels[static_cast<size_t>(op.feel)]);
      return true;
    case SongOpKind::kEdit: {
      EndLine(made.log);
      const EditResult result =
          ApplyMelodyEdit(made.noteTrack, made.barNotes, made.form, made.log, op.edit);
      if (result != EditResult::kDone) {
        failure.kind = MakeFailure::kEdit;
        failure.edit = result;
        return false;
      }
      return true;
    }
  }
  return false;
}

// The person while a new song is made: messages and the status line reach them, questions are
// answered "closed" (the feel stays the song's).
class Listener : public SilentPlatform {
 public:
  explicit Listener(Platform& person) : person_(person) {}
  void ShowMessage(const std::string& text, MessageIcon icon) override {
    person_.ShowMessage(text, icon);
  }
  void ShowStatus(const std::string& status) override { person_.ShowStatus(status); }

 private:
  Platform& person_;
};

// Makes the song of a recipe in the cache's session: the composition, then every change.  Goes
// on from the song made last when the recipe goes on from its recipe.  The steps from
// `speakFrom` on (0: the composition, i: change i) are made now for the first time: the person
// hears their messages; the others were heard when they were made.
Session* MakeSong(Session& s, const SongRecipe& recipe, MakeFailure& failure,
                  size_t speakFrom = SIZE_MAX) {
  SongCache& c = s.song.cache();
  Listener listener(s.platform());
  const std::vector<std::string> steps = RecipeSteps(recipe);
  size_t done = 0;
  if (c.made && c.steps.size() <= steps.size() &&
      std::equal(c.steps.begin(), c.steps.end(), steps.begin())) {
    done = c.steps.size();
  } else {
    c.steps.clear();
    c.made = std::make_unique<Session>(c.silent, SessionOptions{s.dir, std::nullopt});
    c.madeMld = c.madeTon = "-";
    Session& made = *c.made;
    const std::vector<uint8_t>* form = DataBytes(s, "form", recipe.form);
    if (form == nullptr) {
      c.made.reset();
      failure = {MakeFailure::kData, "form"};
      return nullptr;
    }
    FieldReader in(*form);
    DecodeForm(in, made.form);
    if (!UseData(s, made, recipe.settings, failure)) {
      c.made.reset();
      return nullptr;
    }
    made.instrumentPrograms = recipe.programs;
    made.accompanimentFeel = static_cast<int8_t>(recipe.feel);
    LoadRandom(made, recipe.random);
    made.chain = recipe.melody.chain;
    made.keyScale = recipe.melody.keyScale;
    made.chordTones = recipe.melody.chordTones;
    if (speakFrom == 0) made.SetPlatform(listener);
    const bool composed = Compose(made, false).composed;
    made.SetPlatform(c.silent);
    if (!composed) {
      c.made.reset();
      failure.kind = MakeFailure::kDbKind;
      return nullptr;
    }
    done = 1;
  }
  Session& made = *c.made;
  for (size_t i = done; i < steps.size(); ++i) {
    if (i >= speakFrom) made.SetPlatform(listener);
    const bool applied = ApplyOp(s, made, recipe.ops[i - 1], failure);
    made.SetPlatform(c.silent);
    if (!applied) {
      c.made.reset();
      c.steps.clear();
      return nullptr;
    }
  }
  c.steps = steps;
  return &made;
}

// Why an edit was refused, in the session's language (empty when nothing would change).
std::string EditRefusal(const Session& s, EditResult result) {
  const auto say = [&](const char* japanese, const char* english) {
    return std::string(s.song.english ? english : japanese);
  };
  switch (result) {
    case EditResult::kNoSuchNote:
      return say("その音はありません。", "the song has no such melody note");
    case EditResult::kNotANote:
      return say("休符は動かせません。", "a rest cannot be moved or made a rest (give it a key)");
    case EditResult::kOutOfRange:
      return say("その高さには動かせません。", "the note would leave the keys 0..127");
    default:
      return {};
  }
}

void SayFailure(Session& s, const MakeFailure& f, int number) {
  const std::string n = number > 0 ? std::to_string(number) : std::string("?");
  switch (f.kind) {
    case MakeFailure::kData:
      Say(s,
          n + "番の曲を作ったデータ（" + f.detail + "）が " + kHistoryStoreDir +
              " に見つからないか、壊れているため、その曲は作り直せません。",
          "entry " + n + " cannot be made again: the " + f.detail + " data it was made with is " +
              "missing or damaged in " + kHistoryStoreDir,
          MessageIcon::kStop);
      break;
    case MakeFailure::kDbKind:
      Say(s, kWrongDbKindMessage,
          "the note-length database in use cannot make melodies (its kind is not 0, 3 or 5)",
          MessageIcon::kStop);
      break;
    case MakeFailure::kNoMelody:
      Say(s, "曲にメロディーがないため、小節を作り直せません。",
          "the song has no melody whose bars could be re-made", MessageIcon::kStop);
      break;
    case MakeFailure::kBars: {
      char ja[160], en[160];
      std::snprintf(ja, sizeof ja, "%d～%d小節を作り直せませんでした（どの候補も小節に収まりません）。",
                    f.first + 1, f.last + 1);
      std::snprintf(en, sizeof en, "bars %d-%d could not be re-made (no draw filled its bars)",
                    f.first + 1, f.last + 1);
      Say(s, ja, en, MessageIcon::kStop);
      break;
    }
    case MakeFailure::kEdit:
      if (const std::string why = EditRefusal(s, f.edit); !why.empty()) {
        s.platform().ShowMessage(why, MessageIcon::kStop);
      }
      break;
  }
}

// ---- writing a made song ----

// The person of a write: everything passes except "作曲完了！！" when the write only makes a song
// again.
class WritePerson : public Platform {
 public:
  WritePerson(Platform& person, bool announce) : person_(person), announce_(announce) {}
  void ShowMessage(const std::string& text, MessageIcon icon) override {
    if (!announce_ && text == kComposedMessage) return;
    person_.ShowMessage(text, icon);
  }
  void ShowStatus(const std::string& status) override { person_.ShowStatus(status); }
  std::optional<std::string> PromptLine() override { return person_.PromptLine(); }
  std::optional<int> ChooseFeel() override { return person_.ChooseFeel(); }
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
    return person_.ChooseFile(request);
  }
  void SendPlayerCommand(const std::string& command) override {
    person_.SendPlayerCommand(command);
  }

 private:
  Platform& person_;
  bool announce_;
};

// What a change does to the history once the song is written; false when it must not be saved.
using HistoryUpdate = std::function<bool(SongHistory&)>;

void SaveUpdated(Session& s, const HistoryUpdate& update, std::vector<Note>& notes) {
  HistoryFile file = Load(s, notes);
  if (file.state == HistoryFileState::kUnusable) return;
  const std::vector<int> before = s.song.numbers;
  if (!update(file.history) || !SaveHistory(s.dir, file.history)) {
    notes.push_back({"曲の履歴を書けませんでした（" + std::string(kHistoryFileName) + "）。",
                     "the song history could not be written (" + std::string(kHistoryFileName) +
                         ")",
                     MessageIcon::kStop});
    return;
  }
  NoteNumbers(s, file.history);
  // Entries dropped from the history may leave copies that no entry needs any more.
  const bool dropped = std::any_of(before.begin(), before.end(), [&](int n) {
    return file.history.Find(n) == nullptr;
  });
  if (dropped) DropUnusedData(s.dir, file.history);
}

// Makes the made song the session's, writes its files and, when out.mid was written, the
// history.  True when out.mid was written.
bool WriteMadeSong(Session& s, Session& made, bool announce, const HistoryUpdate& update) {
  if (s.playing == 1) StopCommand(s);
  s.barNotes = made.barNotes;
  s.patternPairs = made.patternPairs;
  s.noteTrack = made.noteTrack;
  s.log.Reset(made.log.text());
  s.chordTones = made.chordTones;
  s.keyScale = made.keyScale;
  s.chain = made.chain;

  // The writers see the song's form, instruments and feel; the session keeps its own.
  SongForm form = made.form;
  std::array<int32_t, 3> programs = made.instrumentPrograms;
  int8_t feel = made.accompanimentFeel;
  std::swap(s.form, form);
  std::swap(s.instrumentPrograms, programs);
  std::swap(s.accompanimentFeel, feel);
  WritePerson person(s.platform(), announce);
  Platform& before = s.SetPlatform(person);
  std::vector<Note> notes;
  bool written = false;
  {
    FolderWrites writes(s);
    written = WriteSongFiles(s, writes, [&] { SaveUpdated(s, update, notes); });
  }
  s.SetPlatform(before);
  std::swap(s.form, form);
  std::swap(s.instrumentPrograms, programs);
  std::swap(s.accompanimentFeel, feel);
  s.playing = 0;
  s.statusText = kBlankStatus;
  s.platform().ShowStatus(s.statusText);
  Show(s, notes);
  return written;
}

std::optional<double> ScoreOf(Session& made) {
  if (made.noteTrack.at(0, 0).length <= 0) return std::nullopt;
  return ScoreComposedMelody(made.Melody());
}

// The current song's entry: this run's, else the history file's current one.
std::optional<HistoryEntry> CurrentEntry(Session& s) {
  if (s.song.current) return s.song.current;
  HistoryFile file = LoadLocked(s);
  if (const HistoryEntry* e = file.history.Find(file.history.current)) return *e;
  return std::nullopt;
}

// Two entries of one song (an entry and an edited or undone state of it).
bool SameSong(const HistoryEntry& a, const HistoryEntry& b) {
  return a.number == b.number && a.time == b.time && a.made == b.made && a.from == b.from &&
         RecipeSteps(a.recipe).front() == RecipeSteps(b.recipe).front();
}

// Puts an entry back as the current one: under its number when that is still this song's,
// else as a new entry.
bool RestoreEntry(Session& s, HistoryEntry& entry, SongHistory& h) {
  if (!PutRecipeData(s, entry.recipe)) return false;
  const HistoryEntry* there = h.Find(entry.number);
  if ((there != nullptr && SameSong(*there, entry)) ||
      (there == nullptr && entry.number < h.next && entry.number > 0)) {
    h.Restore(entry);
  } else {
    entry.number = h.Add(entry);
  }
  return true;
}

void PushUndo(Session& s, const std::optional<HistoryEntry>& before) {
  if (!before) return;
  s.song.undo.push_back(*before);
  if (s.song.undo.size() > kUndoSteps) s.song.undo.erase(s.song.undo.begin());
  s.song.redo.clear();
}

// Makes an entry's song and writes it as the current one (nothing is added to the history).
bool MakeCurrent(Session& s, HistoryEntry entry, bool restore) {
  MakeFailure failure;
  Session* made = MakeSong(s, entry.recipe, failure);
  if (made == nullptr) {
    SayFailure(s, failure, entry.number);
    return false;
  }
  const bool written = WriteMadeSong(s, *made, false, [&](SongHistory& h) {
    if (restore) return RestoreEntry(s, entry, h);
    if (h.Find(entry.number) == nullptr) return RestoreEntry(s, entry, h);
    h.current = entry.number;
    return true;
  });
  if (!written) return false;
  s.title = entry.title;
  s.song.current = entry;
  return true;
}

// A new entry made from the current song by a change: made, written, recorded, one undo step.
bool TooManyChanges(Session& s, const SongRecipe& recipe) {
  if (recipe.ops.size() <= kMaxSongChanges) return false;
  Say(s, "この曲はこれ以上変えられません（変更が多すぎます）。COMP で作り直してください。",
      "the song has too many changes to take another; compose it again", MessageIcon::kStop);
  return true;
}

bool MakeNewEntry(Session& s, const HistoryEntry& base, SongRecipe recipe, std::string made,
                  bool announce) {
  if (TooManyChanges(s, recipe)) return false;
  MakeFailure failure;
  // A new composition is heard whole; a change of the song from its last step on.
  const size_t newSteps = made == "rhythm" ? 0 : recipe.ops.size();
  Session* song = MakeSong(s, recipe, failure, newSteps);
  if (song == nullptr) {
    SayFailure(s, failure, 0);
    return false;
  }
  // The session's random source runs on past the draws of the change.
  const RandomSource::State after = song->random.Save();
  HistoryEntry entry;
  entry.time = static_cast<int64_t>(std::time(nullptr));
  entry.made = std::move(made);
  entry.from = base.number;
  entry.title = s.title;
  entry.formName = base.formName;
  entry.bars = song->form.BarCount();
  entry.score = ScoreOf(*song);
  entry.recipe = std::move(recipe);
  const bool written = WriteMadeSong(s, *song, announce, [&](SongHistory& h) {
    if (!PutRecipeData(s, entry.recipe)) return false;
    entry.number = h.Add(entry);
    return true;
  });
  s.random.Load(after);
  if (!written) return false;
  PushUndo(s, base);
  s.song.current = entry;
  return true;
}

SongOp DrawOp(Session& s, SongOpKind kind) {
  s.random.Prepare();
  SongOp op;
  op.kind = kind;
  op.settings = SettingsOf(s);
  op.random = s.random.Save();
  return op;
}

// The name of the stored form that the form is, if any.
std::string StoredFormName(const Session& s, const SongForm& form) {
  for (int i = 0; i < s.customForms.Count(); ++i) {
    if (s.customForms.forms[static_cast<size_t>(i)] == form) {
      return s.customForms.names[static_cast<size_t>(i)];
    }
  }
  return "";
}

}  // namespace

std::optional<double> ComposeAndRecord(Session& s) {
  // The song before, for undo: this run's, else the history file's current one, read below
  // with the files' lock (a folder kept by another run is waited for once).
  std::optional<HistoryEntry> before = s.song.current;
  s.random.Prepare();  // what the first draw would do; the state before the song is known
  HistoryEntry entry;
  SongRecipe& r = entry.recipe;
  r.form = FormHash(s);
  r.settings = SettingsOf(s);
  r.programs = s.instrumentPrograms;
  r.random = s.random.Save();
  r.melody = MelodyStateOf(s);
  entry.formName = StoredFormName(s, s.form);
  entry.bars = s.form.BarCount();
  const Composition composition = Compose(s, false);
  if (!composition.composed) return composition.score;

  // The files, then the entry, while no other run writes here: the history's current song is
  // the one whose files are in the folder.
  r.feel = s.accompanimentFeel;
  entry.time = static_cast<int64_t>(std::time(nullptr));
  entry.made = "compose";
  entry.title = s.title;
  entry.score = ScoreOf(s);
  std::vector<Note> notes;
  bool recorded = false;
  {
    FolderWrites writes(s);
    WriteSongFiles(s, writes, [&] {
      SaveUpdated(s, [&](SongHistory& h) {
        if (!PutRecipeData(s, entry.recipe)) return false;
        if (const HistoryEntry* e = h.Find(h.current); !before && e != nullptr) before = *e;
        entry.number = h.Add(entry);
        recorded = true;
        return true;
      }, notes);
    });
  }
  s.playing = 0;
  s.statusText = kBlankStatus;
  s.platform().ShowStatus(s.statusText);
  Show(s, notes);
  if (recorded) {
    PushUndo(s, before);
    s.song.current = entry;
  }
  return composition.score;
}

bool RecallEntry(Session& s, int number) {
  const HistoryFile file = LoadLocked(s);
  const HistoryEntry* entry = file.history.Find(number);
  if (entry == nullptr) {
    Say(s, "履歴に" + std::to_string(number) + "番の曲はありません。",
        "the history has no entry " + std::to_string(number), MessageIcon::kStop);
    return false;
  }
  const std::optional<HistoryEntry> before = CurrentEntry(s);
  if (!MakeCurrent(s, *entry, false)) return false;
  PushUndo(s, before);
  return true;
}

bool StepHistory(Session& s, int step) {
  const HistoryFile file = LoadLocked(s);
  const std::vector<HistoryEntry>& entries = file.history.entries;
  const std::optional<HistoryEntry> current = CurrentEntry(s);
  const int number = current ? current->number : file.history.current;
  auto it = std::find_if(entries.begin(), entries.end(),
                         [&](const HistoryEntry& e) { return e.number == number; });
  if (it == entries.end()) {
    // Not in the history (set aside, or dropped): the newest entry is the step back.
    if (step >= 0 || entries.empty()) return false;
    it = entries.end();
  }
  const long index = (it - entries.begin()) + step;
  if (index < 0 || index >= static_cast<long>(entries.size())) return false;
  const std::optional<HistoryEntry> before = current;
  if (!MakeCurrent(s, entries[static_cast<size_t>(index)], false)) return false;
  PushUndo(s, before);
  return true;
}

bool RerollMelody(Session& s) {
  const std::optional<HistoryEntry> base = CurrentEntry(s);
  if (!base) {
    SayNoSong(s);
    return false;
  }
  SongRecipe recipe = base->recipe;
  recipe.ops.push_back(DrawOp(s, SongOpKind::kMelody));
  return MakeNewEntry(s, *base, std::move(recipe), "melody", true);
}

bool RerollRhythm(Session& s) {
  const std::optional<HistoryEntry> base = CurrentEntry(s);
  if (!base) {
    SayNoSong(s);
    return false;
  }
  s.random.Prepare();
  SongRecipe recipe;
  recipe.form = base->recipe.form;
  recipe.settings = SettingsOf(s);
  recipe.programs = base->recipe.programs;
  recipe.feel = base->recipe.feel;
  for (auto it = base->recipe.ops.rbegin(); it != base->recipe.ops.rend(); ++it) {
    if (it->kind == SongOpKind::kFeel) {
      recipe.feel = it->feel;
      break;
    }
  }
  recipe.random = s.random.Save();
  recipe.melody = MelodyStateOf(s);
  return MakeNewEntry(s, *base, std::move(recipe), "rhythm", true);
}

bool RerollFeel(Session& s, int feel) {
  const std::optional<HistoryEntry> base = CurrentEntry(s);
  if (!base) {
    SayNoSong(s);
    return false;
  }
  SongRecipe recipe = base->recipe;
  SongOp op;
  op.kind = SongOpKind::kFeel;
  op.feel = std::clamp(feel, 0, 3);
  recipe.ops.push_back(op);
  return MakeNewEntry(s, *base, std::move(recipe), "feel", true);
}

bool RemakeBarsCommand(Session& s, int first, int last) {
  const std::optional<HistoryEntry> base = CurrentEntry(s);
  if (!base) {
    SayNoSong(s);
    return false;
  }
  if (first < 0 || last < first || last >= base->bars) {
    char ja[160], en[160];
    std::snprintf(ja, sizeof ja, "%d～%d小節は曲の中にありません（曲は%d小節です）。", first + 1,
                  last + 1, base->bars);
    std::snprintf(en, sizeof en, "bars %d-%d are not in the song (it has %d bars)", first + 1,
                  last + 1, base->bars);
    Say(s, ja, en, MessageIcon::kStop);
    return false;
  }
  SongRecipe recipe = base->recipe;
  SongOp op = DrawOp(s, SongOpKind::kBars);
  op.firstBar = first;
  op.lastBar = last;
  recipe.ops.push_back(op);
  return MakeNewEntry(s, *base, std::move(recipe), "bars", true);
}

bool EditMelodyCommand(Session& s, const MelodyEdit& edit) {
  return EditMelodyCommand(s, std::vector<MelodyEdit>{edit});
}

bool EditMelodyCommand(Session& s, const std::vector<MelodyEdit>& edits, std::string* refusal) {
  if (refusal != nullptr) refusal->clear();
  const std::optional<HistoryEntry> base = CurrentEntry(s);
  if (!base) {
    SayNoSong(s);
    return false;
  }
  if (edits.empty()) return false;
  HistoryEntry entry = *base;
  const size_t firstEdit = entry.recipe.ops.size() + 1;
  for (const MelodyEdit& edit : edits) {
    SongOp op;
    op.kind = SongOpKind::kEdit;
    op.edit = edit;
    entry.recipe.ops.push_back(op);
  }
  if (TooManyChanges(s, entry.recipe)) return false;
  MakeFailure failure;
  Session* made = MakeSong(s, entry.recipe, failure, firstEdit);
  if (made == nullptr) {
    if (refusal != nullptr && failure.kind == MakeFailure::kEdit) {
      *refusal = EditRefusal(s, failure.edit);
    } else {
      SayFailure(s, failure, entry.number);
    }
    return false;
  }
  entry.score = ScoreOf(*made);
  const bool written = WriteMadeSong(s, *made, false, [&](SongHistory& h) {
    return RestoreEntry(s, entry, h);
  });
  if (!written) return false;
  PushUndo(s, base);
  s.song.current = entry;
  return true;
}

void KeepTitleOfCurrentSong(Session& s) {
  if (!s.song.current || s.song.current->title == s.title) return;
  s.song.current->title = s.title;
  std::vector<Note> notes;
  {
    const FolderLock lock(s.dir, s.platform());
    if (lock.refused()) return;  // the platform has said why; the title stays in this run
    SaveUpdated(s, [&](SongHistory& h) {
      // An entry no longer in the history keeps its title in this run only.
      HistoryEntry* e = h.Find(s.song.current->number);
      if (e != nullptr && SameSong(*e, *s.song.current)) e->title = s.title;
      return true;
    }, notes);
  }
  Show(s, notes);
}

bool UndoSongChange(Session& s) {
  if (s.song.undo.empty()) return false;
  const HistoryEntry target = s.song.undo.back();
  const std::optional<HistoryEntry> now = s.song.current;
  std::vector<HistoryEntry> redo = s.song.redo;
  if (!MakeCurrent(s, target, true)) return false;
  s.song.undo.pop_back();
  if (now) redo.push_back(*now);
  s.song.redo = std::move(redo);
  return true;
}

bool RedoSongChange(Session& s) {
  if (s.song.redo.empty()) return false;
  const HistoryEntry target = s.song.redo.back();
  const std::optional<HistoryEntry> now = s.song.current;
  if (!MakeCurrent(s, target, true)) return false;
  s.song.redo.pop_back();
  if (now) s.song.undo.push_back(*now);
  return true;
}

HistoryPlace PlaceInHistory(const Session& s) {
  HistoryPlace place;
  place.count = static_cast<int>(s.song.numbers.size());
  const int current = s.song.current ? s.song.current->number : s.song.fileCurrent;
  const auto it = std::find(s.song.numbers.begin(), s.song.numbers.end(), current);
  if (it != s.song.numbers.end()) place.index = static_cast<int>(it - s.song.numbers.begin()) + 1;
  return place;
}

SongHistory ReadHistoryForList(Session& s) { return LoadLocked(s).history; }

std::optional<HistoryEntry> CurrentSongEntry(Session& s) { return CurrentEntry(s); }

}  // namespace vema
