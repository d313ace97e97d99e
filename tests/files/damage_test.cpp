// What the program does when its files meet a full disk, links at temporary names, special
// files, a linked or damaged form store: the previous files stay whole, nothing outside the
// folder is written, nothing hangs, and the messages say what happened.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "accomp/accompaniment.h"
#include "app/cli.h"
#include "app/compose_command.h"
#include "app/export_command.h"
#include "app/main_window_logic.h"
#include "app/tiny_song_files.h"
#include "song/file_io.h"
#include "support/child_process.h"

namespace vema {
namespace {

namespace fs = std::filesystem;
using testing::ComposeIn;
using testing::Names;
using testing::ReadAll;
using testing::RunInChild;
using testing::TempDir;
using testing::WriteAll;
using Bytes = std::vector<uint8_t>;
using FileSet = std::map<std::string, Bytes>;

const char* const kOutputs[] = {"out.mid", "out.mml", "work.txt"};
const std::set<std::string> kTinyFolder = {"default.mld", "default.ton", "default.db"};

FileSet Outputs(const TempDir& dir) {
  FileSet set;
  for (const char* name : kOutputs) set[name] = ReadAll(dir.File(name));
  return set;
}

// The names of a folder that are neither expected nor the folder's lock file.
std::set<std::string> Leftovers(const TempDir& dir, std::set<std::string> expected) {
  std::set<std::string> names = Names(dir.path());
  expected.insert(".vema.lock");
  for (const std::string& name : expected) names.erase(name);
  return names;
}

// The outputs of one seed in a fresh tiny folder.
FileSet Reference(uint32_t seed) {
  TempDir dir;
  testing::WriteTinyFolder(dir.str());
  ComposeIn(dir.str(), seed);
  return Outputs(dir);
}

using CliResult = testing::CliRun;
constexpr auto Cli = [](const std::vector<std::string>& words) { return testing::RunCliWords(words); };

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A full disk at any byte of the outputs: the outputs are the whole previous set or, when every
// file fits, the whole new one; never a fragment or a mixed set, one message names the first
// file that did not fit, and no temporary file stays behind.
TEST(FullDisk, ACompositionThatCannotBeWrittenLeavesThePreviousOutputs) {
  const FileSet next = Reference(2);
  TempDir dir(testing::QuickStorage());  // hundreds of compositions
  testing::WriteTinyFolder(dir.str());
  ComposeIn(dir.str(), 1);
  const FileSet old = Outputs(dir);
  size_t largest = 0;
  for (const auto& [name, bytes] : next) largest = std::max(largest, bytes.size());
  // Every byte of the first 256, every 53rd byte after, and one short of each file and exact.
  std::set<rlim_t> limits;
  for (rlim_t n = 0; n < 256; ++n) limits.insert(n);
  for (rlim_t n = 256; n <= largest + 53; n += 53) limits.insert(n);
  for (const auto& [name, bytes] : next) limits.insert({bytes.size() - 1, bytes.size()});
  for (const rlim_t limit : limits) {
    // The child's status: 0 without a failure, else 1 + the index of the one file named.
    const auto end = RunInChild(
        [&] {
          int status = 0;
          for (const auto& m : ComposeIn(dir.str(), 2)) {
            if (m.text.starts_with("File could not created! ")) {
              if (status != 0) return 99;
              for (int f = 0; f < 3; ++f) {
                if (m.text == "File could not created! " + dir.File(kOutputs[f])) status = 1 + f;
              }
            }
            if (m.text == "作曲完了！！" && status != 0) return 98;
          }
          return status;
        },
        limit);
    int firstTooLarge = -1;
    for (int f = 2; f >= 0; --f) firstTooLarge = next.at(kOutputs[f]).size() > limit ? f : firstTooLarge;
    EXPECT_EQ(end.status, firstTooLarge + 1) << limit;
    for (const char* name : kOutputs) {
      EXPECT_EQ(ReadAll(dir.File(name)), firstTooLarge < 0 ? next.at(name) : old.at(name))
          << name << " with files of at most " << limit << " bytes";
      WriteAll(dir.File(name), old.at(name));
    }
    EXPECT_EQ(Leftovers(dir, kTinyFolder), std::set<std::string>({"out.mid", "out.mml", "work.txt"}))
        << limit;
  }
}

// SAVE as MIDI, MusicXML and WAV, and vema-cli export, on a disk that fills at any of a range of
// bytes: the file saved before stays whole, a failure is said, and no temporary file is left.
TEST(FullDisk, SavesAndExportsThatCannotBeWrittenLeaveThePreviousFile) {
  TempDir dir;
  testing::WriteTinyFolder(dir.str());
  ComposeIn(dir.str(), 1);
  const Bytes song = ReadAll(dir.File("out.mid"));
  // A renderer that "renders" the song into its own bytes: the sound is as long as the song.
  WavOutput wav;
  wav.render = [](const std::string& midi, const std::string& file, std::string& error,
                  const RenderProgress&) {
    if (WriteFileAtomically(file, ReadAll(midi))) return true;
    error = "full";
    return false;
  };
  // Saves the song as name; 0 when it was written, 1 when it was not.
  const auto save = [&](const std::string& name) {
    if (name == "cli.musicxml") {
      return Cli({"export", "--dir", dir.str(), "--musicxml", dir.File(name)}).status == 0 ? 0 : 1;
    }
    testing::TestSession t(dir.str());
    StartUp(*t.session);
    t.session->midiImage = {song, static_cast<int32_t>(song.size()), t.session->form};
    t.platform.fileAnswers = {name};
    const bool saved = SaveSongCommand(*t.session, wav);
    return saved == (t.platform.StopMessageCount() == 0) ? (saved ? 0 : 1) : 99;
  };
  for (const std::string name : {"song.mid", "song.musicxml", "song.wav", "cli.musicxml"}) {
    ASSERT_EQ(save(name), 0) << name;
    const Bytes written = ReadAll(dir.File(name));
    const Bytes old(written.size() / 2, 'o');
    std::set<rlim_t> limits = {0, 1, written.size() / 3, written.size() - 1};
    for (rlim_t n = 2; n < written.size(); n *= 3) limits.insert(n);
    for (const rlim_t limit : limits) {
      WriteAll(dir.File(name), old);
      EXPECT_EQ(RunInChild([&] { return save(name); }, limit).status, 1) << name << limit;
      EXPECT_EQ(ReadAll(dir.File(name)), old) << name << " at most " << limit << " bytes";
      EXPECT_EQ(Leftovers(dir, {"default.mld", "default.ton", "default.db", "out.mid", "out.mml",
                                "work.txt", name}),
                std::set<std::string>())
          << name << limit;
    }
    fs::remove(dir.File(name));
  }
}

// Links planted at the fixed temporary names of earlier versions lead nowhere: every write goes
// to a fresh name, and the files the links point to stay as they were.
TEST(TemporaryNames, LinksAtFixedTemporaryNamesAreNeverFollowed) {
  TempDir dir, elsewhere;
  testing::WriteTinyFolder(dir.str());
  const std::vector<std::string> names = {"out.mid.tmp", "out.mml.tmp", "work.txt.tmp",
                                          "default.db.tmp", "style01.ton.tmp", "vema01.mid.tmp",
                                          "vema01.musicxml.tmp"};
  for (const std::string& name : names) {
    WriteAll(elsewhere.File(name), {'k', 'e', 'e', 'p'});
    fs::create_symlink(elsewhere.File(name), dir.File(name));
  }
  testing::TestSession t(dir.str(), 5);
  Session& s = *t.session;
  StartUp(s);
  t.platform.feelAnswers = {kStandard};
  ComposeCommand(s);
  s.customForms.count = 3;
  s.customForms.names[2] = "三つ目";
  s.customForms.forms[2] = s.form;
  EXPECT_TRUE(WriteCustomFormFile(s.Editors()));
  EXPECT_TRUE(s.style.Save("style01.ton", t.platform, dir.str()));
  t.platform.fileAnswers = {std::string("vema01.mid")};
  EXPECT_TRUE(SaveSongCommand(s));
  t.platform.fileAnswers = {std::string("vema01.musicxml")};
  EXPECT_TRUE(SaveSongCommand(s));

  EXPECT_EQ(t.platform.StopMessageCount(), 0);
  for (const std::string& name : names) {
    EXPECT_EQ(ReadAll(elsewhere.File(name)), (Bytes{'k', 'e', 'e', 'p'})) << name;
  }
  for (const char* name : {"out.mid", "out.mml", "work.txt", "default.db", "style01.ton",
                           "vema01.mid", "vema01.musicxml"}) {
    EXPECT_EQ(fs::symlink_status(dir.File(name)).type(), fs::file_type::regular) << name;
  }
  EXPECT_EQ(ReadAll(dir.File("vema01.mid")), ReadAll(dir.File("out.mid")));
  EXPECT_EQ(fs::file_size(dir.File("default.db")), kCustomFormFileBytes);
  EXPECT_EQ(fs::file_size(dir.File("style01.ton")), kTonFileBytes);
}

// A FIFO in place of an input or an output: the same message as for a file that cannot be
// opened or created (an output is named), the FIFO left alone, and no hang; the outputs are
// one set, so none of the others is written either.
TEST(SpecialFiles, AFifoInPlaceOfAnyFileGetsAMessageAndNoHang) {
  for (const std::string fifo :
       {"default.mld", "default.ton", "default.db", "out.mid", "out.mml", "work.txt"}) {
    TempDir dir;
    testing::WriteTinyFolder(dir.str());
    fs::remove(dir.File(fifo));
    ASSERT_EQ(::mkfifo(dir.File(fifo).c_str(), 0600), 0);
    const auto run = testing::Shell("timeout 20 " + std::string(VEMA_CLI) + " compose --dir " +
                                    dir.str() + " --seed 3 --feel standard");
    const bool input = fifo.starts_with("default");
    const std::string message = input ? "error: ファイルを開けません[" + fifo + "]\n"
                                      : "error: File could not created! " + dir.File(fifo) + "\n";
    EXPECT_EQ(run.status, 1) << fifo << ": " << run.output;  // 124 after a hang
    EXPECT_EQ(Count(run.output, message), 1u) << fifo << ": " << run.output;
    EXPECT_EQ(fs::status(dir.File(fifo)).type(), fs::file_type::fifo) << fifo;
    if (!input) {
      EXPECT_EQ(Leftovers(dir, kTinyFolder), std::set<std::string>{fifo});
    }
  }
  // The saves, into a FIFO: refused at once.
  TempDir dir;
  testing::WriteTinyFolder(dir.str());
  for (const char* fifo : {"style.ton", "song.mid", "default.db"}) {
    fs::remove(dir.File(fifo));
    ::mkfifo(dir.File(fifo).c_str(), 0600);
  }
  const auto end = RunInChild(
      [&] {
        testing::TestSession t(dir.str(), 1);
        Session& s = *t.session;
        s.midiImage = {{'M', 'T', 'h', 'd'}, 4};
        t.platform.fileAnswers = {std::string("song.mid")};
        const bool any = s.style.Save("style.ton", t.platform, dir.str()) || SaveSongCommand(s) ||
                         WriteCustomFormFile(s.Editors());
        return any ? 99 : t.platform.StopMessageCount();
      },
      std::nullopt, 20);
  EXPECT_EQ(end.status, 3);
}

// A form store reached through a link stays reached through it: the save replaces the file the
// link points to, and the next start reads the new form from there.
TEST(LinkedFormStore, SavingAFormKeepsTheLinkAndWritesTheRealStore) {
  TempDir dir, elsewhere;
  testing::WriteTinyFolder(dir.str());
  fs::rename(dir.File("default.db"), elsewhere.File("forms.db"));
  fs::create_symlink(elsewhere.File("forms.db"), dir.File("default.db"));
  {
    testing::TestSession t(dir.str());
    StartUp(*t.session);
    ASSERT_EQ(t.session->customForms.Count(), 2);
    t.session->customForms.count = 3;
    t.session->customForms.names[2] = "linked";
    t.session->customForms.forms[2] = t.session->form;
    EXPECT_TRUE(WriteCustomFormFile(t.session->Editors()));
  }
  EXPECT_TRUE(fs::is_symlink(dir.File("default.db")));
  EXPECT_EQ(fs::file_size(elsewhere.File("forms.db")), kCustomFormFileBytes);
  EXPECT_EQ(Names(elsewhere.path()), std::set<std::string>{"forms.db"});
  testing::TestSession again(dir.str());
  StartUp(*again.session);
  EXPECT_EQ(again.session->customForms.Count(), 3);
  EXPECT_EQ(again.session->customForms.names[2], "linked");
}

// out.mid as a link to a file not there yet: the song is written where the link points and the
// link stays; when nothing can be written, nothing is created there.
TEST(LinkedOutput, ADanglingLinkIsWrittenThroughAndTheProbeCreatesNothing) {
  TempDir dir, elsewhere;
  testing::WriteTinyFolder(dir.str());
  fs::create_symlink(elsewhere.File("song.mid"), dir.File("out.mid"));
  const auto end = RunInChild([&] { return static_cast<int>(ComposeIn(dir.str(), 2).size()); }, 0);
  EXPECT_GT(end.status, 0);
  EXPECT_TRUE(Names(elsewhere.path()).empty());
  ComposeIn(dir.str(), 2);
  EXPECT_TRUE(fs::is_symlink(dir.File("out.mid")));
  EXPECT_EQ(ReadAll(elsewhere.File("song.mid")), Reference(2).at("out.mid"));
}

// Inputs that cannot be read say so, once, and nothing is reported as done that was not.
TEST(Messages, SayWhatHappenedToTheInputs) {
  {  // a folder in place of the note-length database
    TempDir dir;
    testing::WriteTinyFolder(dir.str());
    fs::remove(dir.File("default.mld"));
    fs::create_directory(dir.File("default.mld"));
    const auto messages = ComposeIn(dir.str(), 1);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0].text, "ファイルを開けません[default.mld]");
    for (const auto& m : messages) EXPECT_EQ(m.text.find("音長合成ERROR"), std::string::npos);
  }
  {  // a form store that cannot be read, and a form asked for from it
    TempDir dir;
    testing::WriteTinyFolder(dir.str());
    fs::remove(dir.File("default.db"));
    fs::create_directory(dir.File("default.db"));
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"compose", "--seed", "1"}, {"export", "--musicxml", "x.xml"}}) {
      std::vector<std::string> args = command;
      args.insert(args.end(), {"--dir", dir.str(), "--form", "1"});
      const CliResult r = Cli(args);
      EXPECT_EQ(r.status, 1) << command[0] << r.err;
      EXPECT_EQ(Count(r.err, "error: ファイルを開けません[default.db]\n"), 1u) << r.err;
      EXPECT_EQ(r.err.find("is not a stored form"), std::string::npos) << r.err;
      EXPECT_EQ(Count(r.err, "--form 1 is not among the stored forms that could be read (there "
                             "are 0)\n"),
                1u)
          << r.err;
    }
  }
  // A store cut to 1000 bytes holds no whole form: one error, and no form is said to be loaded.
  for (const std::vector<std::string>& form : {std::vector<std::string>{}, {"--form", "0"}}) {
    TempDir dir;
    testing::WriteTinyFolder(dir.str());
    Bytes store = ReadAll(dir.File("default.db"));
    store.resize(1000);
    WriteAll(dir.File("default.db"), store);
    std::vector<std::string> args = {"compose", "--dir", dir.str(), "--seed", "1"};
    args.insert(args.end(), form.begin(), form.end());
    const CliResult r = Cli(args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(Count(r.err, "error: "), 1u) << r.err;
    EXPECT_EQ(Count(r.err, "[default.db]"), 1u) << r.err;
    EXPECT_EQ(r.err.find("カスタムフォーム読み込み完了"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("is not a stored form"), std::string::npos) << r.err;
    EXPECT_EQ(Count(r.err, "--form 0 is not among the stored forms that could be read"),
              form.empty() ? 0u : 1u)
        << r.err;
  }
  // A store whose readable part ends after its first form: --form 1 says it was not among them.
  {
    TempDir dir;
    testing::WriteTinyFolder(dir.str());
    Bytes store = ReadAll(dir.File("default.db"));
    store.resize(4 + 51200 + 2548 + 100);
    WriteAll(dir.File("default.db"), store);
    for (const char* form : {"0", "1"}) {
      const CliResult r = Cli({"compose", "--dir", dir.str(), "--seed", "1", "--form", form});
      EXPECT_EQ(Count(r.err, "[default.db]"), 1u) << r.err;
      if (form[0] == '0') {
        EXPECT_EQ(r.err.find("--form"), std::string::npos) << r.err;
      } else {
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(Count(r.err, "vema-cli: --form 1 is not among the stored forms that could be "
                               "read (there are 1)\n"),
                  1u)
            << r.err;
      }
    }
  }
}

}  // namespace
}  // namespace vema
