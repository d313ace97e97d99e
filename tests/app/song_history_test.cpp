// The song history: its file (written and read back exactly; damaged, foreign, FIFO, linked or
// folder files set aside with a message and nothing lost), recall byte for byte over random
// histories, re-roll by part, hand edits, undo and redo, and the command line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "app/compose_command.h"
#include "critic/bar_reroll.h"
#include "critic/melody_choice.h"
#include "app/session.h"
#include "app/roll_edit.h"
#include "app/song_state.h"
#include "editors/custom_form_store.h"
#include "melody/melody_edit.h"
#include "output/song_score.h"
#include "song/text.h"
#include "app/tiny_song_files.h"
#include "support/child_process.h"

namespace vema {
namespace {

namespace fs = std::filesystem;
using testing::ReadAll;
using testing::WriteAll;
using Bytes = std::vector<uint8_t>;

struct SongFiles {
  Bytes mid, mml, work;
  bool operator==(const SongFiles&) const = default;
};

SongFiles FilesOf(const std::string& dir) {
  return {ReadAll(dir + "/out.mid"), ReadAll(dir + "/out.mml"), ReadAll(dir + "/work.txt")};
}

// A working folder with the shipped data, in memory when the system has such a folder (the
// tests write many files).
struct Folder {
  Folder() : dir(testing::QuickStorage()) { testing::CopyShippedData(dir.str()); }
  std::string str() const { return dir.str(); }
  std::string File(const std::string& name) const { return dir.File(name); }
  testing::TempDir dir;
};

// A started session of the window kind (Japanese messages) over a folder.
struct Started {
  Started(const std::string& dir, uint32_t seed, int form = 0) : t(dir, seed) {
    StartUp(s());
    LoadCustomForm(s().Editors(), form);
    p().messages.clear();
  }
  Session& s() { return *t.session; }
  ScriptedPlatform& p() { return t.platform; }
  testing::TestSession t;
};

HistoryEntry SampleEntry(int number) {
  HistoryEntry e;
  e.number = number;
  e.time = 1800000000 + number;
  e.made = "bars";
  e.from = number - 1;
  e.title = "曲 %20 name\nnext";
  e.formName = "さわやかな16小節";
  e.bars = 16;
  e.score = 84.25;
  SongRecipe& r = e.recipe;
  r.form = std::string(64, 'a');
  r.settings = {16, kAutoMelodyOctave, std::string(64, 'b'), std::string(64, 'c')};
  r.programs = {0, 33, 127};
  r.feel = 2;
  RandomSource random(7u);
  for (int i = 0; i < 11 * number; ++i) random.NextUniform();
  r.random = random.Save();
  r.melody.chain.reverseDesire = -70000;
  r.melody.chordTones = {0, 4, 7, -1, 0, 0, 0, 0, 0, 0, 0, 0};
  SongOp melody, feel, edit;
  melody.settings = {3, -1, "", std::string(64, 'd')};
  melody.random = RandomSource().Save();
  SongOp bars = melody;
  bars.kind = SongOpKind::kBars, bars.firstBar = 3, bars.lastBar = 5;
  feel.kind = SongOpKind::kFeel, feel.feel = 3;
  edit.kind = SongOpKind::kEdit, edit.edit = {MelodyEditKind::kScaleSteps, 4, 2, -3};
  r.ops = {melody, bars, feel, edit};
  return e;
}

TEST(SongHistoryFile, WrittenAndReadBackExactly) {
  SongHistory h;
  h.Add(SampleEntry(1));
  h.Add(SampleEntry(2));
  h.entries[1].score.reset();
  h.current = 1;
  const std::string text = FormatHistory(h);
  std::string problem;
  const std::optional<SongHistory> back = ParseHistory(text, &problem);
  ASSERT_TRUE(back) << problem;
  EXPECT_EQ(FormatHistory(*back), text);
  EXPECT_EQ(back->entries[0].title, "曲 %20 name\nnext");
  EXPECT_EQ(RecipeSteps(back->entries[0].recipe), RecipeSteps(h.entries[0].recipe));
  EXPECT_EQ(back->current, 1);
  EXPECT_EQ(back->next, 3);

  // A random source kept and loaded again draws what the original draws.
  RandomSource original(99u);
  for (int i = 0; i < 1234; ++i) original.NextUniform();
  const std::optional<RandomSource::State> state =
      ParseRandomState(FormatRandomState(original.Save()));
  ASSERT_TRUE(state);
  RandomSource copy;
  ASSERT_TRUE(copy.Load(*state));
  for (int i = 0; i < 500; ++i) ASSERT_EQ(copy.NextUniform(), original.NextUniform()) << i;
  EXPECT_EQ(copy.filledWith(), std::optional<uint32_t>(99u));

  // The oldest entries give way to new ones; the current one stays.
  SongHistory many;
  for (size_t i = 0; i < kKeptEntries + 5; ++i) many.Add(SampleEntry(1));
  EXPECT_EQ(many.entries.size(), kKeptEntries);
  EXPECT_EQ(many.entries.front().number, 6);
  EXPECT_EQ(many.current, static_cast<int>(kKeptEntries + 5));
}

TEST(SongHistoryFile, AnythingButAWholeHistoryOfThisVersionIsRefused) {
  SongHistory h;
  h.Add(SampleEntry(1));
  const std::string good = FormatHistory(h);
  ASSERT_TRUE(ParseHistory(good));
  // Every shorter text is refused: a history is never read from a file cut short.
  for (size_t size = 0; size < good.size(); ++size) {
    ASSERT_FALSE(ParseHistory(good.substr(0, size))) << size;
  }
  const auto replaced = [&good](const std::string& from, const std::string& to) {
    std::string text = good;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"another program's text", "not a history\n"},
      {"another version", replaced("history 1", "history 2")},
      {"an unknown key", replaced("feel=2", "feel=2\nmood=happy")},
      {"a key twice", replaced("feel=2", "feel=2\nfeel=1")},
      {"a feel out of range", replaced("feel=2", "feel=4")},
      {"a number spelled twice over", replaced("feel=2", "feel=02")},
      {"a program out of range", replaced("programs=0 33 127", "programs=0 33 128")},
      {"a hash cut short", replaced(std::string(64, 'a'), std::string(63, 'a'))},
      {"a hash in capitals", replaced(std::string(64, 'a'), std::string(64, 'A'))},
      {"a random slot past 32767", replaced("random=1:", "random=1:ffff:")},
      {"a random state without its table", replaced(":7:", ":7:x")},
      {"an unknown change", replaced("op=feel 3", "op=dance 3")},
      {"bars backwards", replaced("op=bars 3 5", "op=bars 5 3")},
      {"an edit of an unknown kind", replaced("op=edit steps", "op=edit leaps")},
      {"a current entry that is not there", replaced("current=1", "current=7")},
      {"an entry beyond next", replaced("next=2", "next=1")},
      {"a title with a raw control byte", replaced("title=", std::string("title=\x01"))},
      {"a title that is not UTF-8", replaced("title=", "title=%FF")},
      {"an entry without its end", replaced("end\n", "")},
      {"an entry without a random source", replaced("\nrandom=", "\nrandomly=")},
      {"CR LF lines", replaced("\ncurrent=", "\r\ncurrent=")},
      {"two empty lines before an entry", replaced("\n\nentry=", "\n\n\nentry=")},
      {"a title escaped where it need not be", replaced("title=", "title=%41")},
      {"a score spelled otherwise", replaced("score=84.2500", "score=84.25")},
      {"minus zero", replaced("feel=2", "feel=-0")}};
  for (const auto& [what, text] : cases) {
    SCOPED_TRACE(what);
    std::string problem;
    EXPECT_FALSE(ParseHistory(text, &problem));
    EXPECT_FALSE(problem.empty());
  }
}

// What a folder's history file can be that the program cannot use: made from the text of a
// history cut in half, and of which type it stays when set aside.
TEST(SongHistoryFile, WhatCannotBeReadIsSetAsideAndTheSongIsStillWritten) {
  using Make = std::function<void(const std::string& path, const Bytes& damaged)>;
  const struct {
    const char* name;
    mode_t type;
    Make make;
  } cases[] = {
      {"damaged", S_IFREG, [](auto& path, auto& damaged) { WriteAll(path, damaged); }},
      {"foreign", S_IFREG, [](auto& path, auto&) { WriteAll(path, {'M', 'T', 'h', 'd', 0, 0, 0, 6}); }},
      {"empty", S_IFREG, [](auto& path, auto&) { WriteAll(path, {}); }},
      {"FIFO", S_IFIFO, [](auto& path, auto&) { fs::remove(path);
         ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }},
      {"link", S_IFLNK, [](auto& path, auto&) { fs::remove(path);
         fs::create_symlink(fs::path(path).parent_path() / "precious.txt", path); }},
      {"folder", S_IFDIR, [](auto& path, auto&) { fs::remove(path), fs::create_directory(path); }}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Folder folder;
    const std::string path = folder.File(kHistoryFileName);
    const std::string other = folder.File("precious.txt");
    testing::WriteAll(other, {'k', 'e', 'e', 'p'});
    std::string damaged;
    {
      Started run(folder.str(), 1);
      ComposeAndRecord(run.s());
      damaged = FormatHistory(ReadHistoryForList(run.s()));
    }
    damaged.resize(damaged.size() / 2);
    c.make(path, Bytes(damaged.begin(), damaged.end()));
    const Bytes written = c.type == S_IFREG ? ReadAll(path) : Bytes();
    Started run(folder.str(), 2);
    ComposeAndRecord(run.s());
    // One message naming where the file went; the song's files are there.
    const std::string aside = std::string(kHistoryFileName) + ".set-aside-1";
    bool told = false;
    for (const auto& m : run.p().messages) told |= m.text.find(aside) != std::string::npos;
    EXPECT_TRUE(told);
    EXPECT_EQ(run.p().StopMessageCount(), 0);
    EXPECT_FALSE(ReadAll(folder.File("out.mid")).empty());
    // Nothing is lost: the file is there under its new name as it was; a new history began.
    const std::string moved = folder.File(aside);
    struct stat st {};
    ASSERT_EQ(::lstat(moved.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IFMT, c.type);
    if (c.type == S_IFREG) {
      EXPECT_EQ(ReadAll(moved), written);
    }
    EXPECT_EQ(ReadAll(other), (Bytes{'k', 'e', 'e', 'p'}));
    const SongHistory now = ReadHistoryForList(run.s());
    ASSERT_EQ(now.entries.size(), 1u);
    EXPECT_EQ(now.current, now.entries[0].number);
  }
}

TEST(SongHistory, ComposingThroughTheHistoryWritesTheSameFiles) {
  // With no history file, a composition recorded in the history writes exactly the files of
  // the plain compose command, in the literal and the musical mode.
  for (const int bestOf : {1, 16}) {
    SCOPED_TRACE(bestOf);
    Folder plain, recorded;
    Started a(plain.str(), 5, 6), b(recorded.str(), 5, 6);
    a.s().bestOf = b.s().bestOf = bestOf;
    a.p().feelAnswers = b.p().feelAnswers = {2};
    ComposeCommand(a.s());
    ComposeAndRecord(b.s());
    EXPECT_EQ(FilesOf(plain.str()), FilesOf(recorded.str()));
    EXPECT_EQ(a.p().messages.size(), b.p().messages.size());
    EXPECT_FALSE(fs::exists(plain.File(kHistoryFileName)));
    EXPECT_TRUE(fs::exists(recorded.File(kHistoryFileName)));
  }
}

// A random well-formed form of one or two periods.
SongForm RandomForm(std::mt19937& dice) {
  static const char* const kChords[] = {"C", "Am", "F", "G7", "Dm7", "Em", "E7", "C/E", "G"};
  const auto pick = [&dice](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(dice);
  };
  SongForm form = BlankForm();
  form.lastPeriod = pick(0, 1);
  const int key = pick(0, 1) == 0 ? 0 : 15;
  for (int b = 0; b < kMaxBars; ++b) {
    form.keyIndex[static_cast<size_t>(b)] = key;
    form.SetChord(b, kChords[pick(0, 8)]);
  }
  for (int b = 1; b < form.BarCount(); ++b) {
    const int level = pick(0, 5);  // 0..2 new, 3 note lengths, 4 motif, 5 melody repeated
    if (level < 3) continue;
    const auto source = static_cast<size_t>(pick(0, b - 1));
    const auto bar = static_cast<size_t>(b);
    form.noteLengthSource[bar] = static_cast<int32_t>(source);
    if (level >= 4) form.motifSource[bar] = static_cast<int32_t>(source);
    if (level == 5) {
      form.melodySource[bar] = static_cast<int32_t>(source);
      form.chordSymbol[bar] = form.chordSymbol[source];
    }
  }
  return form;
}

// Random histories: compositions of random forms, seeds, feels and candidate counts, every kind
// of re-roll, edits, steps, recalls, undo and redo, all in one session as in the window.  After
// each change the current entry's files are noted; every entry recalled afterwards in a fresh
// session (as vema-cli recall) gives exactly those files.
TEST(SongHistory, RecallGivesEveryEntryByteForByteOverRandomHistories) {
  constexpr int kHistories = 1000;
  Folder folder;
  std::mt19937 dice(2024);
  const auto pick = [&dice](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(dice);
  };
  int recalled = 0, changes = 0;
  std::map<std::string, int> kinds;
  for (int h = 0; h < kHistories; ++h) {
    SCOPED_TRACE("history " + std::to_string(h));
    fs::remove(folder.File(kHistoryFileName));
    std::map<int, SongFiles> expected;
    {
      Started run(folder.str(), static_cast<uint32_t>(pick(1, 1 << 30)));
      Session& s = run.s();
      const int steps = pick(2, 6);
      for (int step = 0; step < steps; ++step) {
        bool made = false;
        int what = step == 0 ? 0 : pick(0, 9);
        std::string kind;
        switch (what) {
          case 0:
            s.form = RandomForm(dice);
            s.bestOf = pick(1, 3);
            s.instrumentPrograms = {pick(0, 127), pick(0, 127), pick(0, 127)};
            run.p().feelAnswers = {pick(0, 3)};
            s.title = pick(0, 1) ? "" : "曲" + std::to_string(h);
            ComposeAndRecord(s);
            made = true, kind = "compose";
            break;
          case 1: made = RerollMelody(s), kind = "melody"; break;
          case 2: made = RerollRhythm(s), kind = "rhythm"; break;
          case 3: made = RerollFeel(s, pick(0, 3)), kind = "feel"; break;
          case 4:
          case 5: {
            const int bars = s.song.current ? s.song.current->bars : 8;
            const int first = pick(0, bars - 1);
            made = RemakeBarsCommand(s, first, std::min(bars - 1, first + pick(0, 3)));
            kind = "bars";
            break;
          }
          case 6: {
            const std::vector<MelodyNoteRef> notes =
                MelodyNotes(s.noteTrack, s.barNotes, s.midiImage.form);
            if (notes.empty()) break;
            const MelodyNoteRef& n = notes[static_cast<size_t>(pick(0, static_cast<int>(notes.size()) - 1))];
            MelodyEdit edit{static_cast<MelodyEditKind>(pick(0, 4)), n.bar, n.note, pick(-3, 3)};
            if (edit.kind == MelodyEditKind::kKey) edit.amount = pick(55, 80);
            made = EditMelodyCommand(s, edit), kind = "edit";
            break;
          }
          case 7: made = StepHistory(s, pick(0, 1) ? 1 : -1), kind = "step"; break;
          case 8: made = UndoSongChange(s), kind = "undo"; break;
          case 9: made = RedoSongChange(s), kind = "redo"; break;
        }
        if (!made || !s.song.current) continue;
        ++changes;
        ++kinds[kind];
        expected[s.song.current->number] = FilesOf(folder.str());
      }
    }
    Started fresh(folder.str(), 1);
    fresh.s().song.english = true;
    for (const auto& [number, files] : expected) {
      ASSERT_TRUE(RecallEntry(fresh.s(), number)) << number;
      ASSERT_TRUE(FilesOf(folder.str()) == files) << "entry " << number;
      ++recalled;
    }
    ASSERT_EQ(fresh.p().StopMessageCount(), 0);
  }
  std::ostringstream counts;
  for (const auto& [kind, n] : kinds) counts << kind << " " << n << ", ";
  std::printf("%d histories, %d changes (%s), %d recalls byte for byte\n", kHistories, changes,
              counts.str().c_str(), recalled);
  EXPECT_GE(recalled, kHistories);
  for (const char* kind : {"compose", "melody", "rhythm", "feel", "bars", "edit", "step", "undo", "redo"}) {
    EXPECT_GT(kinds[kind], 0) << kind;
  }
}

MidiNotes NotesOf(const std::string& dir) { return testing::NotesOfFile(dir + "/out.mid"); }

std::string WorkText(const std::string& dir) {
  const Bytes bytes = ReadAll(dir + "/work.txt");
  return Cp932ToUtf8(std::string(bytes.begin(), bytes.end()));
}

// The melody's notes and rests as voice 0 holds them, bar by bar.
std::vector<std::vector<TrackNote>> MelodyByBar(const Session& s) {
  std::vector<std::vector<TrackNote>> bars(static_cast<size_t>(s.midiImage.form.BarCount()));
  for (const MelodyNoteRef& n : MelodyNotes(s.noteTrack, s.barNotes, s.midiImage.form)) {
    bars[static_cast<size_t>(n.bar)].push_back(s.noteTrack.at(n.step, 0));
  }
  return bars;
}

bool SameCells(const std::vector<TrackNote>& a, const std::vector<TrackNote>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.length == y.length && x.pitch == y.pitch && x.octave == y.octave;
  });
}

TEST(SongHistory, EachReRollKeepsWhatItDoesNotName) {
  Folder folder;
  Started run(folder.str(), 8, 0);
  Session& s = run.s();
  s.bestOf = 4;
  s.instrumentPrograms = {10, 20, 30};
  run.p().feelAnswers = {1};
  ComposeAndRecord(s);
  const MidiNotes composed = NotesOf(folder.str());
  const auto lengths = [](const Session& session) {
    std::vector<int> out;
    for (const auto& bar : MelodyByBar(session)) {
      for (const TrackNote& cell : bar) out.push_back(cell.length);
    }
    return out;
  };
  const std::vector<int> rhythm = lengths(s);

  // New melody, same rhythm: every note length stays, the accompaniment too.
  ASSERT_TRUE(RerollMelody(s));
  const MidiNotes melody = NotesOf(folder.str());
  EXPECT_EQ(lengths(s), rhythm);
  EXPECT_NE(melody.melody, composed.melody);
  EXPECT_EQ(melody.chords, composed.chords);
  EXPECT_EQ(melody.bass, composed.bass);
  EXPECT_EQ(melody.drums, composed.drums);
  EXPECT_EQ(melody.programs, composed.programs);
  EXPECT_NE(WorkText(folder.str()).find("旋律の作り直しフェーズ"), std::string::npos);

  // Another feel: the melody stays, the drums change.
  ASSERT_TRUE(RerollFeel(s, 3));
  const MidiNotes rock = NotesOf(folder.str());
  EXPECT_EQ(rock.melody, melody.melody);
  EXPECT_NE(rock.drums, melody.drums);
  EXPECT_NE(WorkText(folder.str()).find("伴奏の作り直し：ロック風"), std::string::npos);

  // Re-made bars: every note outside them and the bars the form ties to them stays.
  const auto before = MelodyByBar(s);
  ASSERT_TRUE(RemakeBarsCommand(s, 4, 6));
  const auto after = MelodyByBar(s);
  const std::vector<int> tied = BarsTiedTo(s.midiImage.form, 4, 6);
  int changed = 0;
  for (size_t b = 0; b < before.size(); ++b) {
    const bool remade = std::find(tied.begin(), tied.end(), static_cast<int>(b)) != tied.end();
    if (!remade) {
      EXPECT_TRUE(SameCells(before[b], after[b])) << "bar " << b;
    }
    changed += remade && !SameCells(before[b], after[b]) ? 1 : 0;
  }
  EXPECT_GT(changed, 0);
  EXPECT_EQ(NotesOf(folder.str()).drums, rock.drums);

  // New rhythm and melody: the song's form, instruments and latest feel, whatever the form
  // editor holds now.
  LoadCustomForm(s.Editors(), 6);
  ASSERT_TRUE(RerollRhythm(s));
  const MidiNotes rhythmAgain = NotesOf(folder.str());
  EXPECT_EQ(rhythmAgain.chords, rock.chords);  // the chords of the form, in the rock feel
  EXPECT_EQ(rhythmAgain.drums, rock.drums);
  EXPECT_EQ(rhythmAgain.programs, composed.programs);
  EXPECT_NE(lengths(s), rhythm);

  // Each re-roll is an entry made from the one before.
  const SongHistory h = ReadHistoryForList(s);
  ASSERT_EQ(h.entries.size(), 5u);
  const std::vector<std::string> made = {"compose", "melody", "feel", "bars", "rhythm"};
  for (size_t i = 0; i < made.size(); ++i) {
    EXPECT_EQ(h.entries[i].made, made[i]);
    EXPECT_EQ(h.entries[i].from, static_cast<int>(i));
  }
  EXPECT_EQ(h.current, 5);
  EXPECT_EQ(run.p().StopMessageCount(), 0);
}

TEST(SongHistory, StepsUndoRedoAndEditsMakeEachSongAgain) {
  Folder folder;
  Started run(folder.str(), 3, 0);
  Session& s = run.s();
  std::vector<SongFiles> files;
  ComposeAndRecord(s);
  files.push_back(FilesOf(folder.str()));
  ComposeAndRecord(s);
  files.push_back(FilesOf(folder.str()));
  ASSERT_TRUE(RerollMelody(s));
  files.push_back(FilesOf(folder.str()));
  const auto now = [&] { return FilesOf(folder.str()); };

  // Back twice, then nothing before the first song; each undo takes back a step, redo again.
  const std::pair<std::function<bool()>, int> moves[] = {
      {[&] { return StepHistory(s, -1); }, 1}, {[&] { return StepHistory(s, -1); }, 0},
      {[&] { return !StepHistory(s, -1); }, 0}, {[&] { return UndoSongChange(s); }, 1},
      {[&] { return UndoSongChange(s); }, 2},   {[&] { return RedoSongChange(s); }, 1}};
  for (const auto& [move, song] : moves) {
    ASSERT_TRUE(move());
    EXPECT_TRUE(now() == files[static_cast<size_t>(song)]) << song;
    EXPECT_EQ(PlaceInHistory(s).index, song + 1);
    EXPECT_EQ(PlaceInHistory(s).count, 3);
  }
  EXPECT_EQ(s.song.current->number, 2);

  // A hand edit: only that note changes, the trace says so, the entry keeps it.
  const auto cells = MelodyByBar(s);
  size_t note = 0;
  while (note < cells[1].size() && cells[1][note].pitch == 0) ++note;
  ASSERT_LT(note, cells[1].size());
  const MidiNotes unedited = NotesOf(folder.str());
  ASSERT_TRUE(EditMelodyCommand(s, {MelodyEditKind::kSemitones, 1, static_cast<int>(note), 2}));
  const SongFiles edited = now();
  const MidiNotes editedNotes = NotesOf(folder.str());
  ASSERT_EQ(editedNotes.melody.size(), unedited.melody.size());
  int moved = 0;
  for (size_t i = 0; i < unedited.melody.size(); ++i) {
    if (editedNotes.melody[i] == unedited.melody[i]) continue;
    ++moved;
    EXPECT_EQ(editedNotes.melody[i].key, unedited.melody[i].key + 2);
  }
  EXPECT_EQ(moved, 1);
  EXPECT_NE(WorkText(folder.str()).find("手で直した音（1から数えて）： 2小節の" +
                                        std::to_string(note + 1) + "番目"),
            std::string::npos);
  SongHistory h = ReadHistoryForList(s);
  ASSERT_EQ(h.entries.size(), 3u);
  EXPECT_EQ(h.Find(2)->recipe.ops.size(), 1u);

  // Edits that cannot be made change nothing and are no undo step.
  const size_t undoSteps = s.song.undo.size();
  const std::vector<std::pair<MelodyEdit, std::string>> refused = {
      {{MelodyEditKind::kKey, 1, 99, 60}, "その音はありません。"},
      {{MelodyEditKind::kOctaves, 1, static_cast<int>(note), 20}, "その高さには動かせません。"}};
  for (const auto& [edit, message] : refused) {
    run.p().messages.clear();
    EXPECT_FALSE(EditMelodyCommand(s, edit));
    ASSERT_EQ(run.p().messages.size(), 1u);
    EXPECT_EQ(run.p().messages[0].text, message);
  }
  EXPECT_TRUE(now() == edited);
  EXPECT_EQ(s.song.undo.size(), undoSteps);

  // Two notes moved from the roll: one change and one undo step; a refused move says why
  // without a message box and changes nothing.
  std::set<int32_t> starts;
  for (const RollMelodyNote& n : CurrentMelody(s)) {
    if (!n.rest && n.bar > 0 && starts.size() < 2) starts.insert(n.start);
  }
  int sounding = 0;
  for (const RollMelodyNote& n : CurrentMelody(s)) sounding += n.rest ? 0 : 1;
  EXPECT_EQ(sounding, static_cast<int>(editedNotes.melody.size()));
  std::string why;
  run.p().messages.clear();
  EXPECT_FALSE(EditChosenNotes(s, starts, MelodyEditKind::kOctaves, 20, why));
  EXPECT_EQ(why, "その高さには動かせません。");
  EXPECT_TRUE(run.p().messages.empty());
  EXPECT_TRUE(now() == edited);
  ASSERT_TRUE(EditChosenNotes(s, starts, MelodyEditKind::kOctaves, -1, why));
  EXPECT_EQ(why, "");
  const MidiNotes twoMoved = NotesOf(folder.str());
  ASSERT_EQ(twoMoved.melody.size(), editedNotes.melody.size());
  for (size_t i = 0; i < twoMoved.melody.size(); ++i) {
    const bool chosen = starts.count(editedNotes.melody[i].start) > 0;
    EXPECT_EQ(twoMoved.melody[i].key, editedNotes.melody[i].key - (chosen ? 12 : 0)) << i;
  }
  EXPECT_EQ(ReadHistoryForList(s).Find(2)->recipe.ops.size(), 3u);
  ASSERT_TRUE(UndoSongChange(s));
  EXPECT_TRUE(now() == edited);

  ASSERT_TRUE(UndoSongChange(s));
  EXPECT_TRUE(now() == files[1]);
  EXPECT_TRUE(ReadHistoryForList(s).Find(2)->recipe.ops.empty());
  ASSERT_TRUE(RedoSongChange(s));
  EXPECT_TRUE(now() == edited);

  // A title given after composing stays with the song.
  s.title = "夜の曲";
  KeepTitleOfCurrentSong(s);
  ASSERT_TRUE(StepHistory(s, 1));
  EXPECT_EQ(s.title, "");
  ASSERT_TRUE(StepHistory(s, -1));
  EXPECT_EQ(s.title, "夜の曲");
  EXPECT_EQ(ReadHistoryForList(s).Find(2)->title, "夜の曲");

  // Another run recalls the edited song.
  Started other(folder.str(), 1);
  ASSERT_TRUE(StepHistory(other.s(), -1));
  EXPECT_TRUE(now() == files[0]);
  ASSERT_TRUE(RecallEntry(other.s(), 2));
  EXPECT_TRUE(now() == edited);

  // With the data it was made with damaged, no entry is made again and nothing changes.
  for (const auto& item : fs::directory_iterator(folder.File(kHistoryStoreDir))) {
    if (item.path().extension() == ".ton") testing::WriteAll(item.path().string(), {1, 2, 3});
  }
  Started fresh(folder.str(), 1);
  fresh.s().song.english = true;
  EXPECT_FALSE(RecallEntry(fresh.s(), 1));
  ASSERT_EQ(fresh.p().messages.size(), 1u);
  EXPECT_EQ(fresh.p().messages[0].text,
            "entry 1 cannot be made again: the ton data it was made with is missing or damaged "
            "in .vema-history");
  EXPECT_FALSE(RecallEntry(fresh.s(), 7));
  EXPECT_EQ(fresh.p().messages.back().text, "the history has no entry 7");
  EXPECT_TRUE(now() == edited);
  EXPECT_EQ(ReadHistoryForList(fresh.s()).current, 2);
}

TEST(SongHistory, ANewSongIsHeardAsItIsMadeASongMadeAgainIsNot) {
  Folder folder;
  Started run(folder.str(), 6, 0);
  Session& s = run.s();
  s.form.SetChord(2, "\x83\x68");  // "ド": a chord the parser refuses; the pitch phase stops
  ComposeAndRecord(s);
  const auto chordMessages = [&run] {
    int n = 0;
    for (const auto& m : run.p().messages) n += m.text.starts_with("コード解析error") ? 1 : 0;
    return n;
  };
  // The pitch phase says it once, and the MIDI writer's chord voicing once more whenever the
  // files are written.
  const int composed = chordMessages();
  ASSERT_TRUE(RerollFeel(s, 2));  // the melody made again unheard; the files written
  const int written = chordMessages() - composed;
  EXPECT_EQ(written, 1);
  EXPECT_EQ(composed, 2);
  ASSERT_TRUE(RerollMelody(s));  // a new pitch phase: heard
  EXPECT_EQ(chordMessages(), composed + written + composed);
  ASSERT_TRUE(RerollRhythm(s));
  EXPECT_EQ(chordMessages(), 3 * composed + written);
  ASSERT_TRUE(StepHistory(s, -1));
  ASSERT_TRUE(UndoSongChange(s));
  EXPECT_EQ(chordMessages(), 3 * composed + 3 * written);
  EXPECT_EQ(run.p().feelDialogsShown, 1);  // only COMP asked for the feel
}

TEST(SongHistory, TheCommandLine) {
  Folder folder;
  const std::string dir = folder.str();
  const auto cli = [&dir](const std::string& line) {
    return testing::RunCliLine(line + " --dir " + dir);
  };
  testing::CliRun r = cli("history");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "info: the song history of this folder is empty\n");
  r = cli("reroll --melody");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: there is no song yet: compose one first\n");

  ASSERT_EQ(cli("compose --seed 3 --form 0 --best-of 2").status, 0);
  const SongFiles first = FilesOf(dir);
  ASSERT_EQ(cli("compose --seed 4 --form 0").status, 0);
  r = cli("reroll --bars 2-3 --seed 5");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("bars 2-3"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("seed 5 "), std::string::npos) << r.out;
  r = cli("edit --bar 1 --note 1 --semitones 1");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("bars 2-3 +1 edit"), std::string::npos) << r.out;

  r = cli("history");
  EXPECT_EQ(r.status, 0);
  std::vector<std::string> lines;
  std::istringstream out(r.out);
  for (std::string line; std::getline(out, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(0, 5), "    1");
  EXPECT_NE(lines[0].find("compose"), std::string::npos);
  EXPECT_NE(lines[0].find("seed 3 "), std::string::npos);
  EXPECT_NE(lines[0].find("16 bars"), std::string::npos);
  EXPECT_EQ(lines[2].substr(0, 5), "*   3");

  r = cli("recall 1");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, 5), "*   1");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(FilesOf(dir) == first);
  r = cli("recall 9");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: the history has no entry 9\n");

  const std::vector<std::pair<std::string, std::string>> usage = {
      {"reroll", "reroll needs one of --melody, --rhythm, --feel F or --bars A-B"},
      {"reroll --melody --rhythm", "excludes"},
      {"reroll --bars 5-3", "'5-3' is not a bar range"},
      {"reroll --feel polka", "'polka' is not march"},
      {"recall", "N is required"},
      {"recall 0", "is not an entry number"},
      {"edit --bar 1 --note 1", "edit needs one of"},
      {"edit --bar 1 --note 1 --rest --key 60", "excludes"}};
  for (const auto& [line, problem] : usage) {
    SCOPED_TRACE(line);
    r = cli(line);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(problem), std::string::npos) << r.err;
  }
  EXPECT_TRUE(FilesOf(dir) == first);
}

}  // namespace
}  // namespace vema
