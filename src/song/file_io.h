// The program's files on disk: readers that take regular files only, the one way every file is
// written, and the lock that keeps runs on one folder from writing at the same time.
//
// Writing never changes a file in place.  The new contents go into a fresh temporary file beside
// the target (created exclusively, never through a symbolic link), every write and the close are
// checked, the file is synced, renamed over the target and the folder is synced.  So the target is
// at every moment either the old or the new complete file, also after a crash or a power loss,
// and a failure the program sees leaves the old file whole and no temporary file behind.  A target
// that is a symbolic link keeps its link: the file the link leads to is replaced.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vema {

// Reads at most max_bytes of a regular file (symbolic links are followed).  nullopt when the path
// names no regular file (missing, a folder, a FIFO, a device) or reading fails.  Never blocks on
// a special file: the file is opened without blocking and looked at before anything is read.
std::optional<std::vector<uint8_t>> ReadFileBytes(const std::filesystem::path& path,
                                                  size_t max_bytes);

enum class FileKind { kMissing, kRegular, kOther };

// What a path names once its symbolic links are followed; kMissing also for a link to nothing.
FileKind KindOf(const std::filesystem::path& path);

// The system calls a replacement makes once its temporary file exists; tests put failing ones in.
struct FileCalls {
  ssize_t (*write)(int, const void*, size_t) = ::write;
  ssize_t (*pwrite)(int, const void*, size_t, off_t) = ::pwrite;
  int (*fsync)(int) = ::fsync;
  int (*close)(int) = ::close;
  int (*rename)(const char*, const char*) = ::rename;
};

// One file being replaced, for contents written piece by piece.  The target must be a regular
// file the program may write, or not exist yet (its folder must).  Without Commit, or when any
// step fails, the temporary file is removed and the target stays as it was.
class FileReplacement {
 public:
  explicit FileReplacement(const std::filesystem::path& target, const FileCalls& calls = {});
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // False once any step has failed.
  bool ok() const { return fd_ >= 0; }
  // Appends bytes to the new contents.
  bool Write(std::span<const uint8_t> bytes);
  // Overwrites bytes already written (a header completed at the end).
  bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes);
  // Syncs, closes and renames the new file over the target, then syncs the folder.
  bool Commit();

  // The file being replaced (the end of the target's links) and the temporary file.
  const std::filesystem::path& target() const { return target_; }
  const std::filesystem::path& temporary() const { return temporary_; }

 private:
  void Abandon();

  FileCalls calls_;
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  int fd_ = -1;
};

// Replaces the file by the bytes as described above.  False when it could not (the old file is
// then unchanged).  Every file the program writes goes through here or FileReplacement.
bool WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes);
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// True when WriteFileAtomically may succeed on this path: it names (through its links) a
// writable regular file or nothing, in a folder the program may write.  Creates nothing.
bool CanWriteFile(const std::filesystem::path& path);

// Creates an empty file where nothing exists yet (at the end of the path's links); never
// replaces or empties anything.  False when nothing was created.
bool CreateEmptyFile(const std::filesystem::path& path);

// The lock file of a working folder.
inline constexpr const char* kFolderLockFile = ".vema.lock";

// An exclusive advisory lock (flock) on the lock file of a folder, held from construction until
// Release or destruction, so that runs on one folder write their files one after another.  When
// the lock file cannot be made (a read-only folder) the writes go ahead without it: they fail or
// succeed on their own.
class FolderLock {
 public:
  explicit FolderLock(const std::string& dir);
  ~FolderLock() { Release(); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool held() const { return fd_ >= 0; }
  void Release();

 private:
  int fd_ = -1;
};

}  // namespace vema
