// The lock of a working folder (declared in file_io.h).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "song/file_io.h"

namespace vema {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(100);

constexpr int kNoFolder = -2;

// The lock file opened (created when missing, never through a link), or -1 when it cannot be: a
// regular file is required.  A lock file the program may only read can still be locked.
// kNoFolder when there is no lock file and none can be made: no folder, or one without write
// permission.
int OpenLockFile(const std::filesystem::path& path) {
  constexpr int kFlags = O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = ::open(path.c_str(), O_RDWR | kFlags, 0666);
  if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | kFlags, 0666);
  if (fd < 0) {
    const int error = errno;
    struct stat status {};
    const bool nothing = ::lstat(path.c_str(), &status) != 0 && errno == ENOENT;
    return nothing && (error == ENOENT || error == ENOTDIR || error == EACCES || error == EROFS)
               ? kNoFolder
               : -1;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Whether the name leads to the file that fd has open.
bool NameLeadsTo(const std::filesystem::path& path, int fd) {
  struct stat named {}, opened {};
  return ::lstat(path.c_str(), &named) == 0 && ::fstat(fd, &opened) == 0 &&
         named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

// The folder itself, locked as well where its file system allows, so that a lock file removed
// under a run does not let a second run in.  -1 when it cannot be opened or locked at all.
int OpenFolder(const std::filesystem::path& folder) {
  return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

FolderLock::FolderLock(const std::string& dir, Platform& platform)
    : path_(std::filesystem::path(dir.empty() ? "." : dir) / kFolderLockFile) {
  const auto started = std::chrono::steady_clock::now();
  std::unique_ptr<FolderWait> wait;
  FolderProblem problem = FolderProblem::kLockFile;
  int fd = -1;
  const int folder = OpenFolder(path_.parent_path());
  bool fileLocked = false;
  for (;;) {
    if (fd < 0) fd = OpenLockFile(path_);
    if (fd == kNoFolder) {
      // Nothing can be written there, by this run or another: the writes say so themselves.
      if (folder >= 0) ::close(folder);
      return;
    }
    if (fd < 0) break;
    if (!fileLocked && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      // Removed or replaced while this run waited: the lock must be on the file of that name.
      if (!NameLeadsTo(path_, fd)) {
        ::close(fd);
        fd = -1;
        continue;
      }
      fileLocked = true;
    }
    if (fileLocked) {
      if (folder < 0 || ::flock(folder, LOCK_EX | LOCK_NB) == 0) {
        fd_ = fd;
        folderFd_ = folder;
        break;
      }
      if (errno != EWOULDBLOCK && errno != EINTR) {
        // A file system without locks on folders: the lock file alone.
        fd_ = fd;
        ::close(folder);
        break;
      }
    } else if (errno != EWOULDBLOCK && errno != EINTR) {
      break;
    }
    if (!wait) wait = platform.WaitForFolder(dir);
    const double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!wait->KeepWaiting(waited)) {
      problem = FolderProblem::kBusy;
      break;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  wait.reset();  // the wait is over before anything else is shown
  if (fd_ < 0) {
    if (fd >= 0) ::close(fd);
    if (folder >= 0) ::close(folder);
    refused_ = true;
    platform.ShowFolderProblem(problem, dir);
    return;
  }
  RemoveStaleTemporaries(path_.parent_path());
}

bool FolderLock::StillHeld() const {
  return fd_ >= 0 && (folderFd_ >= 0 || NameLeadsTo(path_, fd_));
}

void FolderLock::Release() {
  if (fd_ < 0) return;
  if (folderFd_ >= 0) ::close(folderFd_);  // closing lets go of the lock
  ::close(fd_);
  fd_ = -1;
  folderFd_ = -1;
}

}  // namespace vema
