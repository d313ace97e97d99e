// vema-cli runs side by side and killed halfway: several compositions into one folder leave one
// whole set of out.mid, out.mml and work.txt; a killed one leaves every file old or new; a run
// waits while another holds the folder, and nobody holds it while a message box is open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "accomp/accompaniment.h"
#include "app/compose_command.h"
#include "app/main_window_logic.h"
#include "app/song_history.h"
#include "app/tiny_song_files.h"
#include "support/child_process.h"

extern char** environ;

namespace vema {
namespace {

namespace fs = std::filesystem;
using testing::ReadAll;
using testing::TempDir;
using Bytes = std::vector<uint8_t>;
using FileSet = std::vector<Bytes>;  // out.mid, out.mml, work.txt

const char* const kOutputs[] = {"out.mid", "out.mml", "work.txt"};

FileSet Outputs(const std::string& dir) {
  FileSet set;
  for (const char* name : kOutputs) set.push_back(ReadAll(dir + "/" + name));
  return set;
}

// Starts vema-cli compose in a folder with a seed; its process id.
pid_t StartCompose(const std::string& dir, uint32_t seed) {
  std::vector<std::string> args = {VEMA_CLI, "compose", "--dir", dir, "--seed",
                                   std::to_string(seed), "--feel", "rock"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  posix_spawn(&pid, VEMA_CLI, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int Wait(pid_t pid) {
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

FileSet Reference(uint32_t seed) {
  TempDir dir;
  testing::WriteTinyFolder(dir.str());
  EXPECT_EQ(Wait(StartCompose(dir.str(), seed)), 0);
  return Outputs(dir.str());
}

// The names of a folder other than the tiny folder's, the outputs, the song history and the
// lock file.
std::set<std::string> Strays(const TempDir& dir) {
  std::set<std::string> names = testing::Names(dir.path());
  for (const char* name : {"default.mld", "default.ton", "default.db", "out.mid", "out.mml",
                           "work.txt", ".vema.lock", kHistoryFileName, kHistoryStoreDir}) {
    names.erase(name);
  }
  return names;
}

TEST(ConcurrentRuns, ComposingIntoOneFolderLeavesOneWholeSet) {
  constexpr int kRuns = 4, kRounds = 30;
  std::vector<FileSet> references;
  for (int seed = 1; seed <= kRuns; ++seed) references.push_back(Reference(static_cast<uint32_t>(seed)));
  TempDir dir;
  testing::WriteTinyFolder(dir.str());
  int mixed = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<pid_t> runs;
    for (int seed = 1; seed <= kRuns; ++seed) runs.push_back(StartCompose(dir.str(), static_cast<uint32_t>(seed)));
    for (pid_t pid : runs) EXPECT_EQ(Wait(pid), 0) << "round " << round;
    const FileSet set = Outputs(dir.str());
    const auto found = std::find(references.begin(), references.end(), set);
    mixed += found == references.end() ? 1 : 0;
    EXPECT_TRUE(Strays(dir).empty()) << "round " << round;
    // Every run's song is in the history, and its current song is the one whose files are there.
    const HistoryFile history = LoadHistory(dir.str());
    ASSERT_EQ(history.state, HistoryFileState::kRead);
    EXPECT_EQ(history.history.entries.size(), static_cast<size_t>(kRuns * (round + 1)));
    const HistoryEntry* current = history.history.Find(history.history.current);
    ASSERT_NE(current, nullptr);
    if (found != references.end()) {
      EXPECT_EQ(current->recipe.random.filledWith,
                std::optional<uint32_t>(static_cast<uint32_t>(found - references.begin() + 1)))
          << "round " << round;
    }
  }
  EXPECT_EQ(mixed, 0) << "rounds whose outputs are no set of one run";
}

TEST(KilledRuns, EveryFileIsTheOldOrTheNewOne) {
  const FileSet first = Reference(1), second = Reference(2);
  TempDir dir;
  testing::WriteTinyFolder(dir.str());
  ASSERT_EQ(Wait(StartCompose(dir.str(), 1)), 0);
  // Kill moments spread over a whole run.
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(Wait(StartCompose(dir.str(), 1)), 0);
  const auto runTime = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - started);
  std::mt19937 random(12);
  int killed = 0;
  for (int round = 0; round < 60; ++round) {
    const pid_t pid = StartCompose(dir.str(), round % 2 == 0 ? 2 : 1);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (runTime.count() + 1)));
    killed += ::kill(pid, SIGKILL) == 0 ? 1 : 0;
    Wait(pid);
    const FileSet set = Outputs(dir.str());
    for (size_t f = 0; f < set.size(); ++f) {
      EXPECT_TRUE(set[f] == first[f] || set[f] == second[f]) << kOutputs[f] << " round " << round;
    }
    // A killed run may leave its temporary file, never anything else.
    for (const std::string& name : Strays(dir)) {
      EXPECT_TRUE(name.starts_with(".") && name.ends_with(".tmp")) << name;
      fs::remove(dir.File(name));
    }
  }
  EXPECT_GT(killed, 0);
}

// Holds the folder as another run would.
struct HeldFolder {
  explicit HeldFolder(const std::string& dir)
      : fd(::open((dir + "/.vema.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    ::flock(fd, LOCK_EX);
  }
  ~HeldFolder() { ::close(fd); }
  int fd;
};

// Starts body in a child process that does not share the held folder's lock; its process id.
pid_t StartChild(const std::function<int()>& body, const HeldFolder& held) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(held.fd);
    ::_exit(body());
  }
  return pid;
}

TEST(FolderLock, EveryWriteWaitsWhileAnotherRunHoldsTheFolder) {
  TempDir dir;
  testing::WriteTinyFolder(dir.str());
  ASSERT_EQ(Wait(StartCompose(dir.str(), 1)), 0);
  const std::function<int()> writes[] = {
      [&] { return Wait(StartCompose(dir.str(), 2)); },
      [&] {
        testing::TestSession t(dir.str());
        StartUp(*t.session);
        return WriteCustomFormFile(t.session->Editors()) ? 0 : 1;
      },
      [&] {
        testing::TestSession t(dir.str());
        return t.session->style.Save("default.ton", t.platform, dir.str()) ? 0 : 1;
      },
      [&] {
        testing::TestSession t(dir.str());
        t.session->midiImage = {{'M', 'T', 'h', 'd'}, 4};
        t.platform.fileAnswers = {std::string("out.mid")};
        return SaveSongCommand(*t.session) ? 0 : 1;
      }};
  const char* const targets[] = {"out.mid", "default.db", "default.ton", "out.mid"};
  for (size_t i = 0; i < std::size(writes); ++i) {
    const fs::file_time_type before = fs::last_write_time(dir.File(targets[i]));
    pid_t pid;
    {
      HeldFolder held(dir.str());
      pid = StartChild(writes[i], held);
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      EXPECT_EQ(fs::last_write_time(dir.File(targets[i])), before) << targets[i];
      EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), 0) << "write " << i << " did not wait";
    }
    EXPECT_EQ(Wait(pid), 0) << i;
    EXPECT_NE(fs::last_write_time(dir.File(targets[i])), before) << targets[i];
  }
}

// A platform that checks, whenever a message box opens, whether another run could write now.
struct FolderCheckingPlatform : ScriptedPlatform {
  std::string dir;
  std::vector<bool> folderFree;
  void ShowMessage(const std::string& text, MessageIcon icon) override {
    ScriptedPlatform::ShowMessage(text, icon);
    folderFree.push_back(testing::RunInChild([this] {
                           const int fd = ::open((dir + "/.vema.lock").c_str(), O_RDWR | O_CREAT, 0644);
                           return ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1;
                         }).status == 0);
  }
};

TEST(FolderLock, NoRunHoldsTheFolderWhileAMessageBoxIsOpen) {
  TempDir dir;
  testing::WriteTinyFolder(dir.str());
  fs::create_directory(dir.File("out.mml"));  // for a failure message as well
  FolderCheckingPlatform platform;
  platform.dir = dir.str();
  Session session(platform, SessionOptions{dir.str(), 4});
  StartUp(session);
  platform.feelAnswers = {kBlues};
  ComposeCommand(session);
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[0].text, "作曲完了！！");
  EXPECT_EQ(platform.messages[1].text, "File could not created! ");
  EXPECT_EQ(platform.folderFree, std::vector<bool>({true, true}));
}

}  // namespace
}  // namespace vema
