// The file machinery itself: a write that fails at any byte or any step leaves the old file
// whole and no temporary file; links are followed to the file they lead to; special files are
// neither read nor replaced and never block; the folder lock excludes other processes.
#include "song/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/scripted_platform.h"
#include "support/child_process.h"
#include "support/test_support.h"

namespace vema {
namespace {

namespace fs = std::filesystem;
using testing::Names;
using testing::ReadAll;
using testing::RunInChild;
using testing::TempDir;
using testing::WriteAll;
using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

// Writes in pieces of 7 bytes and completes a 4-byte header at the end, as the WAV renderer does.
bool WriteInPieces(const fs::path& path, const Bytes& bytes) {
  FileReplacement file(path);
  if (!file.Write(Bytes(4))) return false;
  for (size_t at = 4; at < bytes.size(); at += 7) {
    if (!file.Write(std::span(bytes).subspan(at, std::min<size_t>(7, bytes.size() - at)))) return false;
  }
  if (bytes.size() >= 4 && !file.WriteAt(0, std::span(bytes).first(4))) return false;
  return file.Commit();
}

TEST(FileReplacement, AWriteFailingAtAnyByteLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  const std::string target = dir.File("song.bin");
  const Bytes old = Pattern(100, 1), next = Pattern(300, 2);
  for (const bool pieces : {false, true}) {
    for (rlim_t limit = 0; limit <= next.size(); ++limit) {
      WriteAll(target, old);
      const auto end = RunInChild(
          [&] {
            return (pieces ? WriteInPieces(target, next) : WriteFileAtomically(target, next)) ? 0 : 1;
          },
          limit);
      const bool fits = limit >= next.size();
      EXPECT_EQ(end.status, fits ? 0 : 1) << limit;
      EXPECT_EQ(ReadAll(target), fits ? next : old) << "limit " << limit << " pieces " << pieces;
      EXPECT_EQ(Names(dir.path()), std::set<std::string>{"song.bin"}) << limit;
    }
  }
}

// Failing system calls, one step at a time.
ssize_t FailWrite(int, const void*, size_t) { errno = ENOSPC; return -1; }
ssize_t FailPwrite(int, const void*, size_t, off_t) { errno = EIO; return -1; }
int FailFsync(int) { errno = EIO; return -1; }
int FailClose(int fd) { ::close(fd); errno = EIO; return -1; }
int FailRename(const char*, const char*) { errno = EXDEV; return -1; }
// One byte at a time, interrupted before every byte: still every byte arrives where it belongs.
ssize_t ByteAfterInterrupt(int fd, const void* data, size_t) {
  static bool interrupted = false;
  interrupted = !interrupted;
  if (interrupted) { errno = EINTR; return -1; }
  return ::write(fd, data, 1);
}
ssize_t ByteAtAfterInterrupt(int fd, const void* data, size_t, off_t at) {
  static bool interrupted = false;
  interrupted = !interrupted;
  if (interrupted) { errno = EINTR; return -1; }
  return ::pwrite(fd, data, 1, at);
}

TEST(FileReplacement, EveryFailingStepLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  const std::string target = dir.File("out.mid");
  const Bytes old = Pattern(50, 3), next = Pattern(80, 4);
  struct Case { const char* step; FileCalls calls; bool written; };
  const Case cases[] = {
      {"write", {.write = FailWrite}, false},   {"pwrite", {.pwrite = FailPwrite}, false},
      {"fsync", {.fsync = FailFsync}, false},   {"close", {.close = FailClose}, false},
      {"rename", {.rename = FailRename}, false},
      {"interrupted", {.write = ByteAfterInterrupt, .pwrite = ByteAtAfterInterrupt}, true},
  };
  for (const Case& c : cases) {
    WriteAll(target, old);
    bool written = false;
    {
      FileReplacement file(target, c.calls);
      ASSERT_TRUE(file.ok()) << c.step;
      EXPECT_EQ(fs::path(file.temporary()).parent_path(), dir.path()) << c.step;
      written = file.Write(Bytes(2)) && file.Write(std::span(next).subspan(2)) &&
                file.WriteAt(0, std::span(next).first(2)) && file.Commit();
      EXPECT_FALSE(file.ok());
    }
    EXPECT_EQ(written, c.written) << c.step;
    EXPECT_EQ(ReadAll(target), c.written ? next : old) << c.step;
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{"out.mid"}) << c.step;
  }
  // Nothing committed: the temporary goes with the object.
  WriteAll(target, old);
  { FileReplacement file(target); ASSERT_TRUE(file.Write(next)); }
  EXPECT_EQ(ReadAll(target), old);
  EXPECT_EQ(Names(dir.path()), std::set<std::string>{"out.mid"});
}

TEST(FileReplacement, TheNewFileKeepsTheModeOfTheOldOne) {
  TempDir dir;
  const std::string target = dir.File("default.db");
  WriteAll(target, {1});
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(WriteFileAtomically(target, std::string_view("new")));
  EXPECT_EQ(fs::status(target).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const mode_t mask = ::umask(022);
  ASSERT_TRUE(WriteFileAtomically(dir.File("fresh"), std::string_view("new")));
  ::umask(mask);
  EXPECT_EQ(fs::status(dir.File("fresh")).permissions(), static_cast<fs::perms>(0644));
}

// Symbolic links are kept; what they lead to is replaced, created or refused.
TEST(FileReplacement, LinksLeadToTheFileThatIsReplaced) {
  TempDir dir, elsewhere;
  const Bytes next = Pattern(40, 5);
  ::mkfifo(elsewhere.File("fifo").c_str(), 0600);
  fs::create_directory(elsewhere.File("folder"));
  WriteAll(elsewhere.File("real"), {9, 9});
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // name in dir -> where it points
    std::string end;      // the file written ("" when the write is refused)
  };
  const Case cases[] = {
      {"absolute", {{"out.mid", elsewhere.File("real")}}, elsewhere.File("real")},
      {"chain", {{"out.mid", "a"}, {"a", elsewhere.File("real")}}, elsewhere.File("real")},
      {"relative", {{"out.mid", "sub/../b"}, {"b", "c"}}, dir.File("c")},
      {"dangling", {{"out.mid", elsewhere.File("new")}}, elsewhere.File("new")},
      {"loop", {{"out.mid", "x"}, {"x", "out.mid"}}, ""},
      {"fifo", {{"out.mid", elsewhere.File("fifo")}}, ""},
      {"folder", {{"out.mid", elsewhere.File("folder")}}, ""},
      {"device", {{"out.mid", "/dev/null"}}, ""},
      {"missing folder", {{"out.mid", elsewhere.File("none/file")}}, ""},
  };
  fs::create_directory(dir.File("sub"));
  for (const Case& c : cases) {
    for (const auto& [name, to] : c.links) fs::create_symlink(to, dir.File(name));
    if (std::string(c.name) == "relative") WriteAll(dir.File("c"), {1});
    const auto before = Names(dir.path()), beforeElsewhere = Names(elsewhere.path());
    // The probe changes nothing, also where the write would create a file.
    EXPECT_EQ(CanWriteFile(dir.File("out.mid")), !c.end.empty()) << c.name;
    EXPECT_EQ(Names(dir.path()), before) << c.name;
    EXPECT_EQ(Names(elsewhere.path()), beforeElsewhere) << c.name;
    const auto end = RunInChild([&] { return WriteFileAtomically(dir.File("out.mid"), next) ? 0 : 1; },
                                std::nullopt, 10);
    EXPECT_EQ(end.status, c.end.empty() ? 1 : 0) << c.name;  // never hangs on the FIFO
    EXPECT_TRUE(fs::is_symlink(dir.File("out.mid"))) << c.name;
    if (!c.end.empty()) {
      EXPECT_EQ(ReadAll(c.end), next) << c.name;
    }
    EXPECT_EQ(fs::status(elsewhere.File("fifo")).type(), fs::file_type::fifo);
    EXPECT_EQ(ReadAll("/dev/null"), Bytes());
    // No temporary file is left on either side.
    std::set<std::string> expected = before, expectedElsewhere = beforeElsewhere;
    if (!c.end.empty()) {
      (fs::path(c.end).parent_path() == dir.path() ? expected : expectedElsewhere)
          .insert(fs::path(c.end).filename().string());
    }
    EXPECT_EQ(Names(dir.path()), expected) << c.name;
    EXPECT_EQ(Names(elsewhere.path()), expectedElsewhere) << c.name;
    for (const auto& [name, to] : c.links) fs::remove(dir.File(name));
    fs::remove(dir.File("c"));
    fs::remove(elsewhere.File("new"));
  }
  // A folder in the target's place, or a folder that is not there.
  fs::create_directory(dir.File("out.mml"));
  EXPECT_FALSE(CanWriteFile(dir.File("out.mml")));
  EXPECT_FALSE(WriteFileAtomically(dir.File("out.mml"), next));
  EXPECT_FALSE(WriteFileAtomically(dir.File("none/out.mml"), next));
  EXPECT_FALSE(CanWriteFile(dir.File("none/out.mml")));
}

TEST(ReadFileBytes, RegularFilesOnlyAndNeverBlocking) {
  TempDir dir;
  WriteAll(dir.File("data"), Pattern(1000, 6));
  fs::create_symlink(dir.File("data"), dir.File("link"));
  ::mkfifo(dir.File("fifo").c_str(), 0600);
  fs::create_directory(dir.File("folder"));
  EXPECT_EQ(ReadFileBytes(dir.File("data"), 5000), Pattern(1000, 6));
  EXPECT_EQ(ReadFileBytes(dir.File("link"), 10), Pattern(10, 6));
  EXPECT_EQ(ReadFileBytes(dir.File("data"), 0), Bytes());
  const auto end = RunInChild(
      [&] {
        int refused = 0;
        for (const std::string& path : {dir.File("fifo"), dir.File("folder"), dir.File("none"),
                                        std::string("/dev/zero"), std::string("/dev/tty")}) {
          refused += ReadFileBytes(path, 100) ? 0 : 1;
        }
        return refused;
      },
      std::nullopt, 10);
  EXPECT_EQ(end.status, 5);
  EXPECT_EQ(KindOf(dir.File("link")), FileKind::kRegular);
  EXPECT_EQ(KindOf(dir.File("fifo")), FileKind::kOther);
  EXPECT_EQ(KindOf(dir.File("none")), FileKind::kMissing);
}

TEST(CreateEmptyFile, CreatesOnlyWhereNothingIs) {
  TempDir dir, elsewhere;
  EXPECT_FALSE(CreateEmptyFile(dir.File("none/default.db")));  // no such folder
  const mode_t mask = ::umask(022);
  EXPECT_TRUE(CreateEmptyFile(dir.File("default.db")));
  ::umask(mask);
  EXPECT_TRUE(fs::is_regular_file(dir.File("default.db")));
  EXPECT_EQ(fs::status(dir.File("default.db")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
  WriteAll(dir.File("default.db"), {1, 2});
  EXPECT_FALSE(CreateEmptyFile(dir.File("default.db")));  // never empties a file
  EXPECT_EQ(ReadAll(dir.File("default.db")), (Bytes{1, 2}));
  fs::create_symlink(elsewhere.File("store"), dir.File("linked.db"));
  EXPECT_TRUE(CreateEmptyFile(dir.File("linked.db")));  // at the end of the link
  EXPECT_TRUE(fs::is_symlink(dir.File("linked.db")));
  EXPECT_TRUE(fs::is_regular_file(elsewhere.File("store")));
}

// Fails the call of one kind that comes after so many others of that kind, for every kind.
int gCallsBeforeFailure = -1;
bool FailNow() { return gCallsBeforeFailure-- == 0; }
ssize_t WriteFailingOnce(int fd, const void* data, size_t size) {
  if (FailNow()) { errno = ENOSPC; return -1; }
  return ::write(fd, data, size);
}
int FsyncFailingOnce(int fd) {
  if (FailNow()) { errno = EIO; return -1; }
  return ::fsync(fd);
}
int CloseFailingOnce(int fd) {
  const int closed = ::close(fd);
  if (FailNow()) { errno = EIO; return -1; }
  return closed;
}
int RenameFailingOnce(const char* from, const char* to) {
  if (FailNow()) { errno = EXDEV; return -1; }
  return ::rename(from, to);
}

// Three files written as one set, failing at every step of every file: never a mixed set, no
// temporary left, and the failing file named.
TEST(FileSet, AFailureAtAnyStepOfAnyFileReplacesNothingAndLeavesNoTemporary) {
  TempDir dir;
  // The middle file does not exist before: a failure after its rename must remove it again.
  const std::string names[] = {"out.mid", "work.txt", "out.mml"};
  const Bytes old = Pattern(30, 7);
  const auto reset = [&] {
    WriteAll(dir.File("out.mid"), old);
    WriteAll(dir.File("out.mml"), old);
    fs::remove(dir.File("work.txt"));
  };
  const std::set<std::string> oldNames = {"out.mid", "out.mml"};
  struct Step { const char* name; FileCalls calls; };
  const Step steps[] = {{"write", {.write = WriteFailingOnce}},
                        {"fsync", {.fsync = FsyncFailingOnce}},
                        {"close", {.close = CloseFailingOnce}},
                        {"rename", {.rename = RenameFailingOnce}}};
  for (const Step& step : steps) {
    for (int failing = 0; failing < 3; ++failing) {
      SCOPED_TRACE(std::string(step.name) + " fails at file " + std::to_string(failing));
      reset();
      gCallsBeforeFailure = failing;
      FileSet set(step.calls);
      int added = 0;
      for (int f = 0; f < 3; ++f) added += set.Add(dir.File(names[f]), Pattern(40 + f, 9)) ? 1 : 0;
      EXPECT_FALSE(set.Commit());
      EXPECT_EQ(added, std::string(step.name) == "rename" ? 3 : failing);
      EXPECT_TRUE(set.failed());
      EXPECT_EQ(set.failedFile(), dir.File(names[failing]));
      EXPECT_EQ(Names(dir.path()), oldNames);
      EXPECT_EQ(ReadAll(dir.File("out.mid")), old);
      EXPECT_EQ(ReadAll(dir.File("out.mml")), old);
    }
  }
  gCallsBeforeFailure = -1;
  // Without failures every file is new; a file that cannot be written fails the set at once.
  reset();
  FileSet set;
  for (int f = 0; f < 3; ++f) ASSERT_TRUE(set.Add(dir.File(names[f]), Pattern(40 + f, 9)));
  EXPECT_EQ(set.size(), 3u);
  ASSERT_TRUE(set.Commit());
  EXPECT_FALSE(set.failed());
  for (int f = 0; f < 3; ++f) EXPECT_EQ(ReadAll(dir.File(names[f])), Pattern(40 + f, 9));
  EXPECT_EQ(Names(dir.path()), std::set<std::string>(std::begin(names), std::end(names)));
  fs::create_directory(dir.File("folder"));
  FileSet refused;
  EXPECT_TRUE(refused.Add(dir.File("out.mid"), std::string_view("x")));
  EXPECT_FALSE(refused.Add(dir.File("folder"), std::string_view("x")));
  EXPECT_FALSE(refused.Add(dir.File("out.mml"), std::string_view("x")));
  EXPECT_EQ(refused.failedFile(), dir.File("folder"));
  refused.Fail(dir.File("out.mml"));  // the first failure stays the one named
  EXPECT_EQ(refused.failedFile(), dir.File("folder"));
  EXPECT_FALSE(refused.Commit());
  EXPECT_EQ(ReadAll(dir.File("out.mid")), Pattern(40, 9));
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"folder", "out.mid", "out.mml", "work.txt"}));
}

// /dev/stdout, /dev/fd/N and /proc/self/fd/N lead to open files of a process: such a file is a
// stream, and a log it leads to keeps its contents.
TEST(FileReplacement, PathsThroughTheOpenFilesOfAProcessAreNeverReplaced) {
  TempDir dir;
  const std::string log = dir.File("log");
  const Bytes kept = Pattern(20, 1);
  WriteAll(log, kept);
  const auto end = RunInChild([&] {
    const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
    if (fd < 0 || ::dup2(fd, 1) != 1) return 100;
    int refused = 0;
    for (const std::string& path : {std::string("/dev/stdout"), "/dev/fd/" + std::to_string(fd),
                                    "/proc/self/fd/" + std::to_string(fd), std::string("/dev/fd/1")}) {
      refused += !CanWriteFile(path) && !WriteFileAtomically(path, std::string_view("new")) &&
                         !FileReplacement(path).ok()
                     ? 1
                     : 0;
    }
    return refused;
  });
  EXPECT_EQ(end.status, 4);
  EXPECT_EQ(ReadAll(log), kept);
  EXPECT_EQ(Names(dir.path()), std::set<std::string>{"log"});
  EXPECT_TRUE(IsStandardOutput("-"));
  EXPECT_TRUE(IsStandardOutput("/dev/stdout"));
  EXPECT_FALSE(IsStandardOutput("./-"));
  EXPECT_FALSE(IsStandardOutput("/dev/stderr"));
}

// SIGINT, SIGTERM and SIGHUP end the run as they would, without its temporary files, scratch
// files and scratch folders; a handler of the program's own, or an ignored signal, stays.
TEST(Signals, EndingARunRemovesItsTemporaryFiles) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    TempDir dir;
    const auto end = RunInChild([&] {
      std::signal(signal, SIG_DFL);  // as in a program started in the foreground
      FileSet set;
      set.Add(dir.File("out.mid"), std::string_view("song"));
      FileReplacement wav(dir.File("song.wav"));
      wav.Write(Pattern(100, 3));
      ScratchFolder scratch;
      const std::string song = scratch.File("song.mid");
      WriteAll(song, {1, 2, 3});
      WriteAll(dir.File("scratch"), Bytes(song.begin(), song.end()));
      std::raise(signal);
      return 0;
    });
    EXPECT_EQ(end.signal, signal);
    const Bytes scratchFile = ReadAll(dir.File("scratch"));
    const fs::path scratch(std::string(scratchFile.begin(), scratchFile.end()));
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{"scratch"});
    EXPECT_FALSE(fs::exists(scratch.parent_path()));
  }
  static volatile std::sig_atomic_t handled = 0;
  const auto end = RunInChild([] {
    std::signal(SIGTERM, [](int) { handled = 1; });
    std::signal(SIGHUP, SIG_IGN);
    const FileReplacement file(fs::temp_directory_path() / "vema-signal-test");
    std::raise(SIGTERM);
    std::raise(SIGHUP);
    return handled == 1 && fs::exists(file.temporary()) ? 0 : 1;
  });
  EXPECT_EQ(end.status, 0);
}

// Temporary files of runs that are gone are removed; those being written, and every other name
// and kind of file, stay.
TEST(RemoveStaleTemporaries, OnlyUnlockedRegularFilesOfOurNaming) {
  TempDir dir, elsewhere;
  const std::set<std::string> stale = {".out.mid.abcd1234.tmp", ".work.txt.zz99yy88.tmp"};
  std::set<std::string> kept = {".out.mid.ABCD1234.tmp", "out.mid.abcd1234.tmp", ".out.mid.abc.tmp",
                                ".out.mid.abcd1234.txt", ".abcd1234.tmp", ".x.abcd_234.tmp",
                                "default.db"};
  for (const std::string& name : stale) WriteAll(dir.File(name), {1});
  for (const std::string& name : kept) WriteAll(dir.File(name), {1});
  fs::create_directory(dir.File(".folder.abcdefgh.tmp"));
  WriteAll(elsewhere.File("target"), {2});
  fs::create_symlink(elsewhere.File("target"), dir.File(".link.abcdefgh.tmp"));
  kept.insert({".folder.abcdefgh.tmp", ".link.abcdefgh.tmp"});
  FileReplacement live(dir.File("out.mml"));
  ASSERT_TRUE(live.ok());
  kept.insert(live.temporary().filename().string());
  EXPECT_EQ(RemoveStaleTemporaries(dir.path()), 2);
  EXPECT_EQ(Names(dir.path()), kept);
  EXPECT_EQ(ReadAll(elsewhere.File("target")), Bytes{2});
  EXPECT_EQ(RemoveStaleTemporaries(dir.File("none")), 0);
  ASSERT_TRUE(live.Write(Bytes{3}) && live.Commit());
}

// Holds a folder's lock as another run would, until released.
struct HeldLock {
  explicit HeldLock(const std::string& lockFile)
      : fd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    ::flock(fd, LOCK_EX);
  }
  ~HeldLock() { Release(); }
  void Release() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  int fd;
};

TEST(FolderLock, ExcludesOtherRunsWaitsABoundedTimeAndCleansUp) {
  TempDir dir;
  const std::string lockFile = dir.File(kFolderLockFile);
  // Whether another process could take the lock now.
  const auto otherCanLock = [&] {
    return RunInChild([&] {
             const int fd = ::open(lockFile.c_str(), O_RDONLY);
             return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1;
           }).status == 0;
  };
  ScriptedPlatform platform;
  WriteAll(dir.File(".out.mid.abcd1234.tmp"), {1});  // left by a killed run
  {
    const mode_t mask = ::umask(022);
    FolderLock lock(dir.str(), platform);
    ::umask(mask);
    EXPECT_EQ(fs::status(lockFile).permissions(), static_cast<fs::perms>(0644));
    EXPECT_TRUE(lock.held());
    EXPECT_FALSE(lock.refused());
    EXPECT_TRUE(lock.StillHeld());
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{kFolderLockFile});
    EXPECT_FALSE(otherCanLock());
    lock.Release();
    EXPECT_FALSE(lock.StillHeld());
    EXPECT_TRUE(otherCanLock());
  }
  EXPECT_EQ(platform.folderWaits, 0);
  // No folder: nothing to lock and nothing refused; the writes there fail on their own.
  const FolderLock none(dir.File("none"), platform);
  EXPECT_FALSE(none.held() || none.refused());
  EXPECT_TRUE(platform.messages.empty());
  // Held by another run for longer than this one waits: one wait, one message, no lock.
  platform.folderWaitSeconds = 0.2;
  const auto openFiles = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
  };
  const auto openBefore = openFiles();
  {
    HeldLock other(lockFile);
    FolderLock lock(dir.str(), platform);
    EXPECT_FALSE(lock.held());
    EXPECT_TRUE(lock.refused());
    EXPECT_FALSE(lock.StillHeld());
  }
  EXPECT_EQ(openFiles(), openBefore);  // a run that gave up keeps nothing open
  EXPECT_EQ(platform.folderWaits, 1);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, FolderProblemText(FolderProblem::kBusy, dir.str()));
  EXPECT_EQ(platform.messages[0].icon, MessageIcon::kStop);
  // Released during the wait, or removed and released: the lock is taken on the file that
  // the name leads to then.
  platform.folderWaitSeconds = 20;
  for (const bool removed : {false, true}) {
    HeldLock other(lockFile);
    std::thread release([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
      if (removed) fs::remove(lockFile);
      other.Release();
    });
    FolderLock lock(dir.str(), platform);
    release.join();
    EXPECT_TRUE(lock.held()) << removed;
    EXPECT_TRUE(lock.StillHeld()) << removed;
    // A lock file removed under a run: the run still holds the folder, and no other comes in.
    fs::remove(lockFile);
    EXPECT_TRUE(lock.StillHeld());
    EXPECT_EQ(RunInChild([&] {
                ScriptedPlatform quick;
                quick.folderWaitSeconds = 0.2;
                return FolderLock(dir.str(), quick).held() ? 1 : 0;
              }).status,
              0);
  }
  EXPECT_EQ(platform.folderWaits, 3);
  EXPECT_EQ(platform.messages.size(), 1u);
}

// A lock file that is no regular file, or that cannot be opened, is never skipped: no lock, one
// message, the thing left as it was and no hang.  A lock file that may only be read still locks.
TEST(FolderLock, ALockFileThatCannotBeLockedRefusesTheWrite) {
  TempDir dir, elsewhere;
  fs::permissions(dir.path(), static_cast<fs::perms>(0777));
  const std::string lockFile = dir.File(kFolderLockFile);
  WriteAll(elsewhere.File("real"), {7});
  struct Case {
    const char* name;
    std::function<void()> make;
    bool held;
  };
  const Case cases[] = {
      {"link", [&] { fs::create_symlink(elsewhere.File("real"), lockFile); }, false},
      {"dangling link", [&] { fs::create_symlink(elsewhere.File("none"), lockFile); }, false},
      {"fifo", [&] { ::mkfifo(lockFile.c_str(), 0666); }, false},
      {"folder", [&] { fs::create_directory(lockFile); }, false},
      {"unreadable", [&] { WriteAll(lockFile, {}); ::chmod(lockFile.c_str(), 0); }, false},
      {"read-only", [&] { WriteAll(lockFile, {}); ::chmod(lockFile.c_str(), 0444); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.make();
    const fs::file_type type = fs::symlink_status(lockFile).type();
    // Permissions bind a user other than root: the lock is taken as nobody where the tests run
    // as root.
    const auto end = RunInChild(
        [&] {
          if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 100;
          ScriptedPlatform platform;
          const FolderLock lock(dir.str(), platform);
          const bool told = platform.messages.size() == 1 &&
                            platform.messages[0].text ==
                                FolderProblemText(FolderProblem::kLockFile, dir.str());
          if (lock.held()) return platform.messages.empty() && !lock.refused() ? 1 : 101;
          return told && lock.refused() ? 0 : 102;
        },
        std::nullopt, 10);
    EXPECT_EQ(end.status, c.held ? 1 : 0);
    EXPECT_EQ(fs::symlink_status(lockFile).type(), type);
    fs::remove(lockFile);
  }
  EXPECT_EQ(ReadAll(elsewhere.File("real")), Bytes{7});
}

}  // namespace
}  // namespace vema
