// Taking the song elsewhere: SAVE's file types (MIDI as before, MusicXML, WAV through a
// renderer, atomic and refusing cleanly), the song in memory, and vema-cli export.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/cli.h"
#include "app/compose_command.h"
#include "app/export_command.h"
#include "app/main_window_logic.h"
#include "app/tiny_song_files.h"
#include "output/midi_writer.h"
#include "song/file_io.h"
#include "song/smf_bytes.h"

namespace vema {
namespace {

using testing::ReadAll;
using testing::WriteAll;

TEST(SaveTypes, FilterExtensionsAndTheTypeAFileIsWrittenAs) {
  EXPECT_EQ(FilterExtension(kSaveFilter, 0), "mid");
  EXPECT_EQ(FilterExtension(kSaveFilter, 1), "musicxml");
  EXPECT_EQ(FilterExtension(kSaveFilter, 2), "wav");
  EXPECT_EQ(FilterExtension(kSaveFilter, 3), "");
  EXPECT_EQ(FilterExtension("All (*.*)|*.*|", 0), "*");
  EXPECT_EQ(FilterExtension("Styles (*.ton;*.txt)|*.ton;*.txt", 0), "ton");
  EXPECT_EQ(FilterExtension("", 0), "");
  EXPECT_EQ(FilterExtension("MIDI|*.mid|", -1), "");
  const struct {
    const char* path;
    int type;
    SaveKind kind;
  } cases[] = {{"a.mid", 1, SaveKind::kMidi},
               {"a.MID", 2, SaveKind::kMidi},
               {"a.musicxml", 0, SaveKind::kMusicXml},
               {"a.MusicXML", 2, SaveKind::kMusicXml},
               {"a.xml", 0, SaveKind::kMusicXml},
               {"a.wav", 0, SaveKind::kWav},
               {"a.txt", 1, SaveKind::kMusicXml},
               {"a", 2, SaveKind::kWav},
               {"a", 0, SaveKind::kMidi},
               {"dir.wav/a", 0, SaveKind::kMidi},
               {"a", 7, SaveKind::kMidi}};
  for (const auto& c : cases) EXPECT_EQ(SaveKindOf(c.path, c.type), c.kind) << c.path;
  EXPECT_EQ(FilterIndexOf(kSaveFilter, "x.MusicXML"), 1);
  EXPECT_EQ(FilterIndexOf(kSaveFilter, "x.wav"), 2);
  EXPECT_EQ(FilterIndexOf(kSaveFilter, "x.xml"), -1);
  EXPECT_EQ(FilterIndexOf(kSaveFilter, "mid"), -1);
}

// The file type chosen in the save dialog sets the extension; left as it opened, the name
// keeps the extension typed.
TEST(SaveTypes, TheChosenTypeSetsTheExtension) {
  const struct {
    const char* name;
    int opened, chosen;
    const char* saved;
  } cases[] = {{"/d/vema01.mid", 0, 1, "/d/vema01.musicxml"},
               {"/d/vema01.mid", 0, 2, "/d/vema01.wav"},
               {"/d/vema01.MID", 0, 1, "/d/vema01.musicxml"},
               {"/d/x.wav", 2, 0, "/d/x.mid"},
               {"/d/x", 0, 0, "/d/x.mid"},
               {"/d/x", 0, 1, "/d/x.musicxml"},
               {"/d/x.", 0, 0, "/d/x.mid"},
               {"/d/x.wav", 0, 0, "/d/x.wav"},  // typed over the proposal, type left alone
               {"/d/x.xml", 1, 1, "/d/x.xml"},
               {"/d/my.song", 0, 0, "/d/my.song"},
               {"/d/my.song", 0, 2, "/d/my.song.wav"},
               {"/d.ir/x", 0, 0, "/d.ir/x.mid"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.chosen));
    EXPECT_EQ(SavedFileName(c.name, kSaveFilter, c.opened, c.chosen, "mid"), c.saved);
  }
  EXPECT_EQ(SavedFileName("style01", "TONE Files (*.ton)|*.ton|", 0, 0, "ton"), "style01.ton");
  EXPECT_EQ(SavedFileName("a", "All (*.*)|*.*|", 0, 0, "mid"), "a.mid");
}

struct Composed : ::testing::Test {
  void SetUp() override {
    testing::WriteTinyFolder(dir.str());
    StartUp(s());
    t.platform.feelAnswers = {2};
    ComposeCommand(s());
    ASSERT_NE(s().midiImage.count, kNoMidiImage);
  }
  Session& s() { return *t.session; }
  // SAVE answered with a file name and a file type.
  bool Save(const std::string& name, int type, const WavOutput& wav = {}) {
    t.platform.fileAnswers.push_back(dir.File(name));
    t.platform.fileTypeAnswers.push_back(type);
    return SaveSongCommand(s(), wav);
  }
  std::string Text(const std::string& name) {
    const std::vector<uint8_t> bytes = ReadAll(dir.File(name));
    return std::string(bytes.begin(), bytes.end());
  }
  testing::TempDir dir;
  testing::TestSession t{dir.str(), 5};
};

TEST_F(Composed, SaveOffersThreeTypesMidiFirstAndWritesEach) {
  ASSERT_TRUE(Save("a.mid", 0));
  const FileDialogRequest& request = t.platform.fileRequests.back();
  EXPECT_EQ(request.filter,
            "MIDI (*.mid)|*.mid|MusicXML (*.musicxml)|*.musicxml|WAV (*.wav)|*.wav|");
  EXPECT_EQ(request.defaultExtension, "mid");
  EXPECT_EQ(request.initialName, "vema01.mid");
  EXPECT_EQ(ReadAll(dir.File("a.mid")), ReadAll(dir.File("out.mid")));
  ASSERT_TRUE(Save("b.musicxml", 1));
  ASSERT_TRUE(Save("c.xml", 0));  // the extension decides
  EXPECT_NE(Text("b.musicxml").find("<score-partwise version=\"4.0\">"), std::string::npos);
  EXPECT_EQ(Text("b.musicxml"), Text("c.xml"));
  EXPECT_EQ(t.platform.StopMessageCount(), 0);
}

TEST_F(Composed, TheScoreIsTheSongComposedEvenWhenTheFormChangedSince) {
  s().title = "夕暮れ";
  std::string error;
  const std::optional<SongScore> before = ScoreOfLastSong(s(), error);
  ASSERT_TRUE(before) << error;
  EXPECT_EQ(before->bars, 8);
  EXPECT_EQ(before->chords[1], "C");
  EXPECT_EQ(before->title, "夕暮れ");
  s().form.SetChord(1, "Am");
  s().form.keyIndex[1] = 15;
  s().form.lastPeriod = 3;
  const std::optional<SongScore> after = ScoreOfLastSong(s(), error);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->chords, before->chords);
  EXPECT_EQ(after->keys, before->keys);
  EXPECT_EQ(after->bars, 8);
  EXPECT_EQ(after->notes.melody, before->notes.melody);
  // Four quarter notes a bar, eight bars.
  EXPECT_EQ(before->notes.melody.size(), 32u);
  EXPECT_EQ(before->notes.melody.back().start, 7 * 192 + 144);
}

TEST_F(Composed, WavGoesThroughTheRendererAndReplacesTheFileInOneStep) {
  std::vector<double> reported;
  std::string renderedFrom;
  WavOutput wav;
  wav.render = [&](const std::string& midi, const std::string& file, std::string&,
                   const RenderProgress& progress) {
    renderedFrom = midi;
    EXPECT_EQ(ReadAll(midi), ReadAll(dir.File("out.mid")));  // the song in memory
    for (double share : {0.25, 0.5}) {
      if (!progress(share)) return false;
    }
    WriteAll(file, {'R', 'I', 'F', 'F'});
    return true;
  };
  wav.progress = [&](double share) {
    reported.push_back(share);
    return true;
  };
  WriteAll(dir.File("song.wav"), std::vector<uint8_t>(100, 7));
  ASSERT_TRUE(Save("song.wav", 0, wav));
  EXPECT_EQ(ReadAll(dir.File("song.wav")), (std::vector<uint8_t>{'R', 'I', 'F', 'F'}));
  EXPECT_EQ(reported, (std::vector<double>{0, 0.25, 0.5}));  // 0 before the rendering starts
  EXPECT_FALSE(std::filesystem::exists(renderedFrom));  // the scratch files are gone
  ASSERT_TRUE(Save("typed", 2, wav));                   // the type chosen in the dialog
  EXPECT_EQ(ReadAll(dir.File("typed")), ReadAll(dir.File("song.wav")));
  EXPECT_EQ(t.platform.StopMessageCount(), 0);
}

TEST_F(Composed, FailedOrStoppedWritesLeaveTheOldFileAndSayWhatHappened) {
  const std::vector<uint8_t> old(50, 1);
  WriteAll(dir.File("keep.wav"), old);
  WavOutput failing;
  failing.render = [](const std::string&, const std::string& file, std::string& error,
                      const RenderProgress&) {
    FileReplacement half(file);  // a renderer replaces the file only when the sound is whole
    half.Write(std::vector<uint8_t>{'R'});
    error = "no General MIDI soundfont";
    return false;
  };
  EXPECT_FALSE(Save("keep.wav", 0, failing));
  EXPECT_EQ(t.platform.messages.back().text, "WAVファイルを作れません：no General MIDI soundfont");
  WavOutput stopped = failing;
  stopped.render = [](const std::string&, const std::string&, std::string& error,
                      const RenderProgress& progress) {
    if (!progress(0.1)) error = "stopped";
    return false;
  };
  stopped.progress = [](double) { return false; };  // the user cancelled
  const size_t messages = t.platform.messages.size();
  EXPECT_FALSE(Save("keep.wav", 0, stopped));
  EXPECT_EQ(t.platform.messages.size(), messages);  // a stop is no failure
  EXPECT_FALSE(Save("keep.wav", 0, WavOutput{}));   // a program without sound
  EXPECT_EQ(t.platform.messages.back().icon, MessageIcon::kStop);
  EXPECT_EQ(ReadAll(dir.File("keep.wav")), old);
  for (const std::string& target : {std::string("missing/x.musicxml"), std::string("sub")}) {
    std::filesystem::create_directory(dir.File("sub"));
    EXPECT_FALSE(Save(target, 1));
    EXPECT_EQ(t.platform.messages.back().text, "File could not created! ");
  }
  // Nothing but the files written on purpose is left in the folder.
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name.starts_with("default.") || name.starts_with("out.") || name == "work.txt" ||
                name == "keep.wav" || name == "sub" || name == kFolderLockFile)
        << name;
  }
}

TEST(SaveTypes, NothingToExportBeforeTheFirstSong) {
  testing::TempDir dir;
  testing::TestSession t(dir.str());
  std::string error;
  EXPECT_FALSE(ScoreOfLastSong(*t.session, error));
  EXPECT_EQ(error, "曲が生成されていません。");
  EXPECT_FALSE(ExportMusicXml(*t.session, dir.File("x.musicxml")));
  EXPECT_FALSE(ExportWav(*t.session, dir.File("x.wav"), {}));
  EXPECT_EQ(t.platform.StopMessageCount(), 2);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// ---------------------------------------------------------------------------------------------
// vema-cli export

using testing::CliRun;
constexpr auto Cli = [](const std::vector<std::string>& words) { return testing::RunCliWords(words); };

TEST(CliExport, UsageErrorsExitWithTwo) {
  testing::TempDir dir;
  testing::WriteTinyFolder(dir.str());
  const std::vector<std::vector<std::string>> bad = {
      {"export", "--dir", dir.str()},  // no --musicxml
      {"export", "--dir", dir.str(), "--musicxml", ""},
      {"export", "--dir", dir.File("none"), "--musicxml", "x"},
      {"export", "--dir", dir.str(), "--musicxml", "x", "--form", "-1"},
      {"export", "--dir", dir.str(), "--musicxml", "x", "--form", "2"},  // two stored forms
      {"export", "--dir", dir.str(), "--musicxml", "x", "--seed", "1"}};
  for (const auto& args : bad) {
    const CliRun run = Cli(args);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
    EXPECT_TRUE(run.err.starts_with("vema-cli: ")) << run.err;
  }
  const CliRun help = Cli({"export", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--musicxml"), std::string::npos);
  EXPECT_NE(help.out.find("composed there last"), std::string::npos);
}

TEST(CliExport, ExportsTheSongOfTheFolderWithTheFormItWasComposedWith) {
  testing::TempDir dir;
  testing::WriteTinyFolder(dir.str());
  const std::string file = dir.File("song.musicxml");
  const std::vector<std::string> exportArgs = {"export", "--dir", dir.str(), "--musicxml", file};
  CliRun run = Cli(exportArgs);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "error: ファイルを開けません[out.mid]\n");

  ASSERT_EQ(Cli({"compose", "--dir", dir.str(), "--seed", "3", "--form", "1"}).status, 0);
  const std::vector<uint8_t> midi = ReadAll(dir.File("out.mid"));
  run = Cli(exportArgs);  // form 0 has 8 bars, the song 16
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "error: out.mid was not composed with form 0 of default.db (the song has 16 "
            "bars, the form 8); name the form with --form\n");
  EXPECT_FALSE(std::filesystem::exists(file));

  std::vector<std::string> withForm = exportArgs;
  withForm.insert(withForm.end(), {"--form", "1", "--title", "朝"});
  run = Cli(withForm);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, file + "\n");
  EXPECT_EQ(run.err, "");
  const std::vector<uint8_t> bytes = ReadAll(file);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("<work-title>朝</work-title>"), std::string::npos);
  EXPECT_NE(text.find("<measure number=\"16\">"), std::string::npos);
  EXPECT_EQ(text.find("<measure number=\"17\">"), std::string::npos);
  EXPECT_NE(text.find("<mode>minor</mode>"), std::string::npos);  // A minor
  EXPECT_EQ(text.find("<mode>major</mode>"), std::string::npos);
  EXPECT_EQ(ReadAll(dir.File("out.mid")), midi);  // the folder's song is left as it was

  // An existing file is replaced whole; a folder in its place is refused.
  WriteAll(file, std::vector<uint8_t>(bytes.size() * 2, ' '));
  EXPECT_EQ(Cli(withForm).status, 0);
  EXPECT_EQ(ReadAll(file), bytes);
  std::filesystem::create_directory(dir.File("folder.musicxml"));
  withForm[4] = dir.File("folder.musicxml");
  run = Cli(withForm);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.starts_with("error: File could not created! ")) << run.err;
  // "-" and /dev/stdout are standard output: the score goes there as it is.
  for (const char* out : {"-", "/dev/stdout"}) {
    withForm[4] = out;
    run = Cli(withForm);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, text);
    EXPECT_EQ(run.err, "");
  }
}

TEST_F(Composed, AFormWhoseChordsTheSongDoesNotSoundIsNamed) {
  std::string error;
  const std::optional<MidiNotes> notes = ReadMidiNotes(s().midiImage.bytes, error);
  ASSERT_TRUE(notes) << error;
  EXPECT_EQ(MismatchWithForm(*notes, s().form), "");
  SongForm other = s().form;
  other.SetChord(5, "Dm");
  EXPECT_EQ(MismatchWithForm(*notes, other), "bar 6 does not sound the chord \"Dm\"");
  other = s().form;
  other.lastPeriod = 1;
  EXPECT_EQ(MismatchWithForm(*notes, other), "the song has 8 bars, the form 16");
  EXPECT_EQ(MismatchWithForm(MidiNotes{}, s().form), "the song has 0 bars, the form 8");
}

// The MIDI file of one track of events (format 1, the given ticks to the quarter note).
std::vector<uint8_t> SongOfEvents(std::vector<uint8_t> events, uint16_t division) {
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1,
                               static_cast<uint8_t>(division >> 8), static_cast<uint8_t>(division)};
  events.insert(events.end(), {0x00, 0xFF, 0x2F, 0x00});
  const std::vector<uint8_t> track = MakeTrackChunk(events);
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

// Appends a delta time and an event.
void Event(std::vector<uint8_t>& events, uint32_t delta, std::initializer_list<uint8_t> bytes) {
  AppendDeltaTime(events, delta);
  events.insert(events.end(), bytes);
}

// out.mid files that no composition makes, crafted to crash or to take quadratic time and
// memory: each is refused with its reason before a score is built, and nothing is written.
TEST(HostileSongs, ImpossibleSongsAreRefusedBeforeAnyScoreIsBuilt) {
  testing::TempDir dir;
  testing::WriteTinyFolder(dir.str());
  std::vector<uint8_t> crafted;  // 8 bars of one chord note, then one at tick 100 000 000
  Event(crafted, 0, {0x91, 64, 64});
  Event(crafted, 64, {0x81, 64, 0});  // 64 ticks of 2 to the quarter note: 8 bars
  Event(crafted, 100000000 - 64, {0x91, 65, 64});
  Event(crafted, 1, {0x81, 65, 0});
  std::vector<uint8_t> sameKey;  // 200 000 overlapping notes of one key
  for (int i = 0; i < 200000; ++i) Event(sameKey, 1, {0x90, 60, 64});
  for (int i = 0; i < 200000; ++i) Event(sameKey, 0, {0x80, 60, 0});
  std::vector<uint8_t> chords;  // a chord of all 128 keys on every tick
  for (int tick = 0; tick < 100; ++tick) {
    for (uint8_t key = 0; key < 128; ++key) Event(chords, key == 0 ? 1 : 0, {0x91, key, 64});
    for (uint8_t key = 0; key < 128; ++key) Event(chords, 0, {0x81, key, 0});
  }
  std::vector<uint8_t> drums;  // thirteen hits at once
  for (uint8_t key = 35; key < 48; ++key) Event(drums, 0, {0x99, key, 64});
  std::vector<uint8_t> many;  // two bass notes at once on every tick: more notes than ticks
  for (int tick = 0; tick < 9300; ++tick) {
    Event(many, 0, {0x92, 40, 64});
    Event(many, 0, {0x92, 52, 64});
    Event(many, 2, {0x82, 40, 0});  // one tick of 48 to the quarter note
    Event(many, 0, {0x82, 52, 0});
  }
  const std::string tooMany = " notes at once on channel ";
  const struct {
    const char* name;
    std::vector<uint8_t> song;
    std::string reason;
  } cases[] = {
      {"crafted", SongOfEvents(crafted, 2),
       "the song has notes after bar 96, more bars than any form has"},
      {"one key", SongOfEvents(sameKey, 48),
       "the song sounds more than 12" + tooMany + "1, more than any chord of this program has"},
      {"chords", SongOfEvents(chords, 48),
       "the song sounds more than 12" + tooMany + "2, more than any chord of this program has"},
      {"drums", SongOfEvents(drums, 48),
       "the song sounds more than 12" + tooMany + "10, more than any chord of this program has"},
      {"many", SongOfEvents(many, 96),
       "the song has more than 18432 notes on channel 3, more than any song of this program has"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteAll(dir.File("out.mid"), c.song);
    const CliRun run = Cli({"export", "--dir", dir.str(), "--musicxml", dir.File("x.musicxml")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: " + c.reason + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.musicxml")));
  }
}

}  // namespace
}  // namespace vema
