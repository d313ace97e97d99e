#include "song/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace vema {
namespace {

constexpr int kMaxLinkHops = 40;
constexpr int kMaxNameTries = 100;
constexpr size_t kMaxShownNameBytes = 200;  // of the target's name inside the temporary's
constexpr size_t kReadChunk = 1 << 16;

// The end of a path's chain of symbolic links.
struct LinkEnd {
  std::filesystem::path path;
  bool exists = false;
  struct stat status {};
};

// nullopt when the chain cannot be followed (a loop, a component that is no folder).
std::optional<LinkEnd> FollowLinks(const std::filesystem::path& path) {
  LinkEnd end;
  end.path = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    if (::lstat(end.path.c_str(), &end.status) != 0) {
      if (errno != ENOENT) return std::nullopt;
      end.exists = false;
      return end;
    }
    if (!S_ISLNK(end.status.st_mode)) {
      end.exists = true;
      return end;
    }
    std::error_code error;
    const std::filesystem::path link = std::filesystem::read_symlink(end.path, error);
    if (error) return std::nullopt;
    end.path = link.is_absolute() ? link : end.path.parent_path() / link;
  }
  return std::nullopt;
}

std::filesystem::path FolderOf(const std::filesystem::path& file) {
  const std::filesystem::path folder = file.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

// Makes a rename or a creation in the folder durable.  A file system that cannot sync folders
// says so with an error that changes nothing about the file, which is in place by then.
void SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Eight letters and digits, different in every call.
std::string RandomSuffix() {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  uint8_t random[8];
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    // Without the kernel's source: the clock and the address of the stack, then exclusive
    // creation sorts out a clash.
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t mix = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 30) ^
                   reinterpret_cast<uintptr_t>(&now) ^ static_cast<uint64_t>(::getpid());
    for (uint8_t& r : random) {
      mix = mix * 6364136223846793005ULL + 1442695040888963407ULL;
      r = static_cast<uint8_t>(mix >> 56);
    }
  }
  std::string suffix;
  for (uint8_t r : random) suffix += kAlphabet[r % (sizeof kAlphabet - 1)];
  return suffix;
}

bool MayWrite(const LinkEnd& end) {
  return S_ISREG(end.status.st_mode) && ::access(end.path.c_str(), W_OK) == 0;
}

}  // namespace

std::optional<std::vector<uint8_t>> ReadFileBytes(const std::filesystem::path& path,
                                                  size_t max_bytes) {
  struct stat status {};
  // Special files are not even opened (opening some has effects); the check after the open
  // catches a file swapped in between.
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::vector<uint8_t> bytes(std::min(max_bytes, static_cast<size_t>(status.st_size)));
  size_t got = 0;
  for (;;) {
    if (got == bytes.size()) {
      if (got >= max_bytes) break;
      bytes.resize(std::min(max_bytes, got + kReadChunk));  // the file has grown
    }
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(got);
  return bytes;
}

FileKind KindOf(const std::filesystem::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return errno == ENOENT ? FileKind::kMissing : FileKind::kOther;
  return S_ISREG(status.st_mode) ? FileKind::kRegular : FileKind::kOther;
}

FileReplacement::FileReplacement(const std::filesystem::path& target, const FileCalls& calls)
    : calls_(calls) {
  const std::optional<LinkEnd> end = FollowLinks(target);
  if (!end || (end->exists && !MayWrite(*end))) return;
  target_ = end->path;
  const std::string name = target_.filename().string();
  if (name.empty()) return;
  const std::string shown = name.substr(0, kMaxShownNameBytes);
  for (int attempt = 0; attempt < kMaxNameTries; ++attempt) {
    std::filesystem::path candidate =
        target_.parent_path() / ("." + shown + "." + RandomSuffix() + ".tmp");
    // O_EXCL never follows a link and never opens what exists.
    const int fd = ::open(candidate.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      temporary_ = std::move(candidate);
      break;
    }
    if (errno != EEXIST) return;
  }
  // The new file keeps the permissions of the one it replaces.
  if (fd_ >= 0 && end->exists) ::fchmod(fd_, end->status.st_mode & 0777);
}

FileReplacement::~FileReplacement() { Abandon(); }

void FileReplacement::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

bool FileReplacement::Write(std::span<const uint8_t> bytes) {
  if (fd_ < 0) return false;
  while (!bytes.empty()) {
    const ssize_t n = calls_.write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Abandon();
      return false;
    }
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
  return true;
}

bool FileReplacement::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (fd_ < 0) return false;
  while (!bytes.empty()) {
    const ssize_t n = calls_.pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Abandon();
      return false;
    }
    bytes = bytes.subspan(static_cast<size_t>(n));
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool FileReplacement::Commit() {
  if (fd_ < 0) return false;
  if (calls_.fsync(fd_) != 0) {
    Abandon();
    return false;
  }
  const int fd = fd_;
  fd_ = -1;  // closed from here on, whatever close reports
  if (calls_.close(fd) != 0 || calls_.rename(temporary_.c_str(), target_.c_str()) != 0) {
    Abandon();
    return false;
  }
  temporary_.clear();
  SyncFolder(FolderOf(target_));
  return true;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  FileReplacement file(path);
  return file.Write(bytes) && file.Commit();
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  return WriteFileAtomically(
      path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

bool CanWriteFile(const std::filesystem::path& path) {
  const std::optional<LinkEnd> end = FollowLinks(path);
  if (!end || end->path.filename().empty() || (end->exists && !MayWrite(*end))) return false;
  const std::filesystem::path folder = FolderOf(end->path);
  struct stat status {};
  return ::stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool CreateEmptyFile(const std::filesystem::path& path) {
  const std::optional<LinkEnd> end = FollowLinks(path);
  if (!end || end->exists) return false;
  const int fd =
      ::open(end->path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  if (::close(fd) != 0) {
    ::unlink(end->path.c_str());
    return false;
  }
  SyncFolder(FolderOf(end->path));
  return true;
}

FolderLock::FolderLock(const std::string& dir) {
  const std::filesystem::path path =
      std::filesystem::path(dir.empty() ? "." : dir) / kFolderLockFile;
  constexpr int kFlags = O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = ::open(path.c_str(), O_RDWR | kFlags, 0666);
  if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | kFlags, 0666);
  if (fd < 0) return;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return;
  }
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd);
      return;
    }
  }
  fd_ = fd;
}

void FolderLock::Release() {
  if (fd_ < 0) return;
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}

}  // namespace vema
