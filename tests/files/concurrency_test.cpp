// vema-cli runs side by side, killed or interrupted halfway: several compositions into one folder
// leave one whole set of out.mid, out.mml and work.txt, also when the lock file is broken or
// removed under them; a killed run leaves every file old or new and its temporary files go with
// the next run; an interrupted one leaves none; a run waits a bounded time while another holds
// the folder, and nobody holds it while a message box is open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "accomp/accompaniment.h"
#include "app/compose_command.h"
#include "app/main_window_logic.h"
#include "app/song_history.h"
#include "app/tiny_song_files.h"
#include "support/child_process.h"
#include "support/test_support.h"

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
                                   std::to_string(seed), "--feel", "rock", "--wait", "60"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // The ending signals as in a program started in the foreground (a test run in the background
  // would pass on an ignored SIGINT).
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  posix_spawn(&pid, VEMA_CLI, &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
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

// The lock file removed at random moments while 2 to 8 runs compose, or a link, a FIFO or a
// folder in its place: every round ends with the whole set of one run.
TEST(ConcurrentRuns, ABrokenOrVanishingLockFileNeverMixesTheSets) {
  constexpr int kMostRuns = 8, kRoundsPerKind = 60;
  std::vector<FileSet> references;
  for (int seed = 1; seed <= kMostRuns; ++seed) references.push_back(Reference(static_cast<uint32_t>(seed)));
  TempDir dir, elsewhere;
  testing::WriteTinyFolder(dir.str());
  ASSERT_EQ(Wait(StartCompose(dir.str(), 1)), 0);
  const std::string lockFile = dir.File(".vema.lock");
  struct Kind {
    const char* name;
    std::function<void()> make;
  };
  const Kind kinds[] = {
      {"removed while they run", [] {}},
      {"a link", [&] { fs::create_symlink(elsewhere.File("lock"), lockFile); }},
      {"a link to a file", [&] { fs::create_symlink(dir.File("out.mml"), lockFile); }},
      {"a FIFO", [&] { ::mkfifo(lockFile.c_str(), 0600); }},
      {"a folder", [&] { fs::create_directory(lockFile); }},
  };
  std::mt19937 random(5);
  int rounds = 0, mixed = 0;
  for (const Kind& kind : kinds) {
    fs::remove(lockFile);
    kind.make();
    const FileSet before = Outputs(dir.str());
    const bool broken = std::string(kind.name) != "removed while they run";
    for (int round = 0; round < kRoundsPerKind; ++round, ++rounds) {
      const int runs = 2 + static_cast<int>(random() % (kMostRuns - 1));
      std::vector<pid_t> pids;
      for (int seed = 1; seed <= runs; ++seed) pids.push_back(StartCompose(dir.str(), static_cast<uint32_t>(seed)));
      if (!broken) {
        for (int removal = 0; removal < 2; ++removal) {
          std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
          fs::remove(lockFile);
        }
      }
      for (pid_t pid : pids) EXPECT_EQ(Wait(pid), broken ? 1 : 0) << kind.name << " round " << round;
      const FileSet set = Outputs(dir.str());
      mixed += std::find(references.begin(), references.end(), set) == references.end() ? 1 : 0;
      std::set<std::string> strays = Strays(dir);
      strays.erase("lock");
      EXPECT_TRUE(strays.empty()) << kind.name << " round " << round;
    }
    if (broken) {
      EXPECT_TRUE(Outputs(dir.str()) == before) << kind.name;  // nothing written
    }
  }
  EXPECT_GE(rounds, 300);
  EXPECT_EQ(mixed, 0) << "rounds whose outputs are no set of one run";
  EXPECT_FALSE(fs::exists(elsewhere.File("lock")));  // never created through the link
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
    // A killed run may leave its temporary files, never anything else; the next run that
    // locks the folder removes them.
    for (const std::string& name : Strays(dir)) {
      EXPECT_TRUE(name.starts_with(".") && name.ends_with(".tmp")) << name;
    }
  }
  EXPECT_GT(killed, 0);
  ASSERT_EQ(Wait(StartCompose(dir.str(), 1)), 0);
  EXPECT_TRUE(Strays(dir).empty());
}

// SIGINT, SIGTERM and SIGHUP at any moment of a run: the set is the old or the new one, whole,
// and no temporary file is left.
TEST(SignalledRuns, LeaveAWholeSetAndNoTemporaryFile) {
  const FileSet first = Reference(1), second = Reference(2);
  TempDir dir;
  testing::WriteTinyFolder(dir.str());
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(Wait(StartCompose(dir.str(), 1)), 0);
  const auto runTime = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - started);
  std::mt19937 random(13);
  int signalled = 0;
  for (int round = 0; round < 90; ++round) {
    const int signal = std::array{SIGINT, SIGTERM, SIGHUP}[static_cast<size_t>(round % 3)];
    const pid_t pid = StartCompose(dir.str(), round % 2 == 0 ? 2 : 1);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (runTime.count() + 1)));
    ::kill(pid, signal);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    signalled += WIFSIGNALED(raw) && WTERMSIG(raw) == signal ? 1 : 0;
    const FileSet set = Outputs(dir.str());
    EXPECT_TRUE(set == first || set == second) << "round " << round;
    EXPECT_EQ(Strays(dir), std::set<std::string>()) << "round " << round;
  }
  EXPECT_GT(signalled, 0);
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

// A run that finds the folder held waits as long as it was told, says so once, then gives up:
// exit status 1 and nothing written.
TEST(FolderLock, ARunGivesUpAfterItsWaitAndChangesNothing) {
  TempDir dir;
  testing::WriteTinyFolder(dir.str());
  ASSERT_EQ(Wait(StartCompose(dir.str(), 1)), 0);
  const FileSet before = Outputs(dir.str());
  HeldFolder held(dir.str());
  for (const char* wait : {"0", "0.5"}) {
    const testing::CliRun run = testing::RunCliWords(
        {"compose", "--dir", dir.str(), "--seed", "2", "--wait", wait});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "info: another run is writing in " + dir.str() + "; waiting up to " + wait +
                           " s for it to finish\nerror: another run kept writing in " + dir.str() +
                           "; nothing was written (waited " + wait +
                           " s; --wait SECONDS waits longer)\n");
    EXPECT_EQ(Outputs(dir.str()), before);
    EXPECT_TRUE(Strays(dir).empty());
  }
  EXPECT_EQ(testing::RunCliWords({"compose", "--dir", dir.str(), "--wait", "-1"}).status, 2);
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
  // The set is not written: the failing file is named, and nothing is said to be done.
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "File could not created! " + dir.File("out.mml"));
  EXPECT_EQ(platform.folderFree, std::vector<bool>({true}));
}

}  // namespace
}  // namespace vema
