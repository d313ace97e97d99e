// The program's files on disk: readers that take regular files only, the one way every file is
// written, sets of files written as one, and the lock that keeps runs on one folder from writing
// at the same time.
//
// Writing never changes a file in place.  The new contents go into a fresh temporary file beside
// the target (created exclusively, never through a symbolic link), every write and the close are
// checked, the file is synced, renamed over the target and the folder is synced.  So the target is
// at every moment either the old or the new complete file, also after a crash or a power loss,
// and a failure the program sees leaves the old file whole and no temporary file behind.  A target
// that is a symbolic link keeps its link: the file the link leads to is replaced.  A path that
// leads through an open file of a process (/dev/stdout, /dev/fd/N, /proc/self/fd/N) is never
// replaced: what it names is a stream, not a file.
//
// Temporary files are named ".NAME.XXXXXXXX.tmp" and locked (flock) by the run that writes them.
// SIGINT, SIGTERM and SIGHUP remove the temporary files of the run they end; the temporary files
// of runs that ended otherwise are removed by the next run that locks the folder.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "song/platform.h"

namespace vema {

// An open regular file to read from.  Never a special file, and opening it never blocks.
class ReadableFile {
 public:
  // nullopt when the path names no regular file that can be read (missing, a folder, a FIFO, a
  // device).  Symbolic links are followed.
  static std::optional<ReadableFile> Open(const std::filesystem::path& path);
  ReadableFile(ReadableFile&& other) noexcept : fd_(other.fd_), size_(other.size_) { other.fd_ = -1; }
  ReadableFile& operator=(ReadableFile&&) = delete;
  ReadableFile(const ReadableFile&) = delete;
  ~ReadableFile();

  // The size when it was opened.
  uint64_t size() const { return size_; }
  // Reads into the bytes from offset on: the count read, less at the end of the file; -1 after a
  // read error.
  ptrdiff_t ReadAt(uint64_t offset, std::span<uint8_t> into) const;

 private:
  ReadableFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  int fd_;
  uint64_t size_;
};

// Reads at most max_bytes of a regular file (the start of a longer one).  nullopt when the path
// names no regular file (missing, a folder, a FIFO, a device) or reading fails.
std::optional<std::vector<uint8_t>> ReadFileBytes(const std::filesystem::path& path,
                                                  size_t max_bytes);

enum class FileKind { kMissing, kRegular, kOther };

// What a path names once its symbolic links are followed; kMissing also for a link to nothing.
FileKind KindOf(const std::filesystem::path& path);

// The message for an input far larger than any valid file of its kind (largest valid: maxBytes).
std::string TooLargeMessage(const std::string& name, uint64_t size, uint64_t maxBytes);

// Whether a name given for an output means the program's standard output: "-" or "/dev/stdout".
bool IsStandardOutput(std::string_view path);

// Writes all bytes to a file descriptor (a file, a pipe, a terminal), going on after short and
// interrupted writes.  False when a write fails.
bool WriteAll(int fd, std::span<const uint8_t> bytes);
// The same at an offset of a file.
bool WriteAllAt(int fd, uint64_t offset, std::span<const uint8_t> bytes);

// The system calls a replacement makes once its temporary file exists; tests put failing ones in.
struct FileCalls {
  ssize_t (*write)(int, const void*, size_t) = ::write;
  ssize_t (*pwrite)(int, const void*, size_t, off_t) = ::pwrite;
  int (*fsync)(int) = ::fsync;
  int (*close)(int) = ::close;
  int (*rename)(const char*, const char*) = ::rename;
};

// A path removed when a signal (SIGINT, SIGTERM, SIGHUP) ends the program while the object lives:
// a scratch file, or a scratch folder (removed after the files, when it is empty).  Where the
// program has its own handler for a signal, that handler is left alone.
class RemovedOnSignal {
 public:
  RemovedOnSignal() = default;
  explicit RemovedOnSignal(const std::filesystem::path& path, bool folder = false) {
    Set(path, folder);
  }
  ~RemovedOnSignal() { Clear(); }
  RemovedOnSignal(const RemovedOnSignal&) = delete;
  RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;
  // Removed from now on (instead of the path before).
  void Set(const std::filesystem::path& path, bool folder = false);
  // No longer removed.
  void Clear();

 private:
  int slot_ = -1;
};

// A private folder for scratch files (under the system's folder for temporary files), removed
// with the object, and also when a signal ends the program.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  bool ok() const { return !path_.empty(); }
  // The path of a file in the folder (removed on a signal as well).
  std::string File(const std::string& name);

 private:
  std::filesystem::path path_;
  RemovedOnSignal removed_;
  std::vector<std::unique_ptr<RemovedOnSignal>> files_;
};

// Copies a regular file to an output stream.  False when it cannot be read or the stream fails.
bool CopyFileToStream(const std::filesystem::path& path, std::ostream& out);

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

  // The two halves of Commit for a set of files: Finish syncs and closes the new file, Replace
  // renames it over the target (the folder is not synced).
  bool Finish();
  bool Replace();
  // Gives the new file up: the temporary file is removed.
  void Abandon();

  // The open temporary file, for writers that write on their own (WriteAll, WriteAllAt); -1 once
  // it has failed or is finished.
  int fd() const { return fd_; }
  // The file being replaced (the end of the target's links) and the temporary file.
  const std::filesystem::path& target() const { return target_; }
  const std::filesystem::path& temporary() const { return temporary_; }

 private:
  FileCalls calls_;
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  RemovedOnSignal removed_;
  int fd_ = -1;
  int lockFd_ = -1;  // holds the temporary's lock from its creation until it is renamed or gone
};

// Replaces the file by the bytes as described above.  False when it could not (the old file is
// then unchanged).  Every file the program writes goes through here, FileReplacement or FileSet.
bool WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes);
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Files replaced as one set: each new file is written whole and synced as it is added, and only
// when all of them are ready are they renamed over their targets, after which each folder is
// synced once.  When any file cannot be written, or a rename fails, no target changes (targets
// renamed already are put back) and every temporary file is removed.  A crash during the renames
// themselves can still leave some targets new and others old.
class FileSet {
 public:
  explicit FileSet(const FileCalls& calls = {}) : calls_(calls) {}
  ~FileSet() { Abandon(); }
  FileSet(const FileSet&) = delete;
  FileSet& operator=(const FileSet&) = delete;

  // Writes the new contents of a target into a temporary file beside it.  False when that fails
  // or the set has failed before (nothing is written then).
  bool Add(const std::filesystem::path& target, std::span<const uint8_t> bytes);
  bool Add(const std::filesystem::path& target, std::string_view bytes);
  // Marks the set as failed at a file that the caller found it cannot write.
  void Fail(const std::filesystem::path& target);
  // Replaces every target.  False when the set had failed or a rename fails.
  bool Commit();
  // Gives every new file up.
  void Abandon();

  bool failed() const { return failed_; }
  // The file at which the set failed, as it was given ("" when it has not failed).
  const std::filesystem::path& failedFile() const { return failedFile_; }
  size_t size() const { return files_.size(); }

 private:
  void FailAt(const std::filesystem::path& target);

  FileCalls calls_;
  std::vector<std::unique_ptr<FileReplacement>> files_;
  std::vector<std::filesystem::path> given_;  // the targets as they were given
  bool failed_ = false;
  std::filesystem::path failedFile_;
};

// True when WriteFileAtomically may succeed on this path: it names (through its links) a
// writable regular file or nothing, in a folder the program may write.  Creates nothing.
bool CanWriteFile(const std::filesystem::path& path);

// Creates an empty file where nothing exists yet (at the end of the path's links); never
// replaces or empties anything.  False when nothing was created.
bool CreateEmptyFile(const std::filesystem::path& path);

// Removes the temporary files of our naming in a folder whose writers are gone (no run holds
// their lock).  The number removed.
int RemoveStaleTemporaries(const std::filesystem::path& folder);

// The lock file of a working folder.
inline constexpr const char* kFolderLockFile = ".vema.lock";

// An exclusive advisory lock (flock) on the lock file of a folder, held from construction until
// Release or destruction, so that runs on one folder write their files one after another; the
// folder itself is locked too where its file system allows, so that a lock file removed under a
// run lets no second run in.  While
// another run holds it, the platform shows the wait and says how long to wait; a lock file that
// cannot be made or locked (a symbolic link, a folder, a FIFO, no permission) is never skipped:
// the platform says why and nothing may be written.  Once it is had, the stale temporary files
// of the folder are removed.
class FolderLock {
 public:
  FolderLock(const std::string& dir, Platform& platform);
  ~FolderLock() { Release(); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool held() const { return fd_ >= 0; }
  // True when the lock was not had and the platform has said why: nothing may be written.  A
  // folder that does not exist, or in which no file can be made, is not refused: the writes
  // into it fail on their own.
  bool refused() const { return refused_; }
  // True while the lock is held: on the folder, or else on the file that the lock file's name
  // leads to now (it has not been removed or replaced since).
  bool StillHeld() const;
  void Release();

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  int folderFd_ = -1;
  bool refused_ = false;
};

}  // namespace vema
