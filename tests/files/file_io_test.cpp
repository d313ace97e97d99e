// The file machinery itself: a write that fails at any byte or any step leaves the old file
// whole and no temporary file; links are followed to the file they lead to; special files are
// neither read nor replaced and never block; the folder lock excludes other processes.
#include "song/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

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
  EXPECT_TRUE(CreateEmptyFile(dir.File("default.db")));
  EXPECT_TRUE(fs::is_regular_file(dir.File("default.db")));
  WriteAll(dir.File("default.db"), {1, 2});
  EXPECT_FALSE(CreateEmptyFile(dir.File("default.db")));  // never empties a file
  EXPECT_EQ(ReadAll(dir.File("default.db")), (Bytes{1, 2}));
  fs::create_symlink(elsewhere.File("store"), dir.File("linked.db"));
  EXPECT_TRUE(CreateEmptyFile(dir.File("linked.db")));  // at the end of the link
  EXPECT_TRUE(fs::is_symlink(dir.File("linked.db")));
  EXPECT_TRUE(fs::is_regular_file(elsewhere.File("store")));
}

TEST(FolderLock, ExcludesOtherProcessesUntilReleased) {
  TempDir dir;
  const std::string lockFile = dir.File(kFolderLockFile);
  // Whether another process could take the lock now.
  const auto otherCanLock = [&] {
    return RunInChild([&] {
             const int fd = ::open(lockFile.c_str(), O_RDONLY);
             return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1;
           }).status == 0;
  };
  {
    FolderLock lock(dir.str());
    EXPECT_TRUE(lock.held());
    EXPECT_FALSE(otherCanLock());
    lock.Release();
    EXPECT_TRUE(otherCanLock());
  }
  // A FIFO in the lock file's place: no hang, no lock, the writes go ahead.
  fs::remove(lockFile);
  ::mkfifo(lockFile.c_str(), 0600);
  EXPECT_EQ(RunInChild([&] { return FolderLock(dir.str()).held() ? 1 : 0; }, std::nullopt, 10).status, 0);
}

}  // namespace
}  // namespace vema
