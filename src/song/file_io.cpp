#include "song/file_io.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <ostream>
#include <set>

namespace vema {
namespace {

constexpr int kMaxLinkHops = 40;
constexpr int kMaxNameTries = 100;
constexpr size_t kMaxShownNameBytes = 200;  // of the target's name inside the temporary's
constexpr size_t kReadChunk = 1 << 16;
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// ---- Paths removed by a signal ----
//
// The one piece of state outside a Session: a signal handler can reach nothing else.  Slots are
// taken and given back with atomic stores, so that the handler only ever reads whole paths.
constexpr int kRemovedSlots = 64;
enum SlotState : int { kFree, kFilling, kInUse };
struct RemovedSlot {
  std::atomic<int> state{kFree};
  bool folder = false;
  char path[PATH_MAX] = {};
};
RemovedSlot gRemoved[kRemovedSlots];

extern "C" void RemoveOnSignal(int signal) {
  // Files first, then the folders they were in.  unlink, rmdir, signal and raise are
  // async-signal-safe.
  for (const bool folders : {false, true}) {
    for (RemovedSlot& slot : gRemoved) {
      if (slot.state.load(std::memory_order_acquire) != kInUse || slot.folder != folders) continue;
      if (folders) {
        ::rmdir(slot.path);
      } else {
        ::unlink(slot.path);
      }
    }
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);  // ends the program as the signal would have, once this handler returns
}

// Takes over the signals that would end the program without a word (checked whenever a path
// is added); a handler of the program's own stays, and so does an ignored signal.
void InstallSignalHandlers() {
  for (const int signal : kCleanupSignals) {
    struct sigaction old {};
    if (::sigaction(signal, nullptr, &old) != 0) continue;
    if ((old.sa_flags & SA_SIGINFO) != 0 || old.sa_handler != SIG_DFL) continue;
    struct sigaction ours {};
    ours.sa_handler = RemoveOnSignal;
    sigemptyset(&ours.sa_mask);
    for (const int other : kCleanupSignals) sigaddset(&ours.sa_mask, other);
    ::sigaction(signal, &ours, nullptr);
  }
}

// Blocks the cleanup signals while it lives (the renames of a set are not torn apart by them).
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kCleanupSignals) sigaddset(&set, signal);
    ::pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t old_;
};

// ---- Links ----

// The end of a path's chain of symbolic links.
struct LinkEnd {
  std::filesystem::path path;
  bool exists = false;
  struct stat status {};
};

bool OnProcFs(const std::filesystem::path& path) {
  struct statfs fs {};
  return ::statfs(path.c_str(), &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

std::filesystem::path FolderOf(const std::filesystem::path& file) {
  const std::filesystem::path folder = file.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

// nullopt when the chain cannot be followed (a loop, a component that is no folder) or leads
// through an open file of a process (the links of /proc/PID/fd, which /dev/stdout and /dev/fd/N
// are), whose end is a stream or a file the program must not replace.
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
    if (OnProcFs(FolderOf(end.path))) return std::nullopt;
    std::error_code error;
    const std::filesystem::path link = std::filesystem::read_symlink(end.path, error);
    if (error) return std::nullopt;
    end.path = link.is_absolute() ? link : end.path.parent_path() / link;
  }
  return std::nullopt;
}

// Makes a rename or a creation in the folder durable.  A file system that cannot sync folders
// says so with an error that changes nothing about the file, which is in place by then.
void SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

constexpr char kSuffixAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kSuffixLength = 8;
constexpr std::string_view kTemporaryEnd = ".tmp";

// Eight letters and digits, different in every call.
std::string RandomSuffix() {
  uint8_t random[kSuffixLength];
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
  for (uint8_t r : random) suffix += kSuffixAlphabet[r % (sizeof kSuffixAlphabet - 1)];
  return suffix;
}

// A fresh name of our naming for a temporary file beside target: ".NAME.XXXXXXXX.tmp".
std::filesystem::path TemporaryName(const std::filesystem::path& target) {
  const std::string shown = target.filename().string().substr(0, kMaxShownNameBytes);
  return target.parent_path() / ("." + shown + "." + RandomSuffix() + std::string(kTemporaryEnd));
}

// Whether a name is one of our temporary files.
bool IsTemporaryName(std::string_view name) {
  constexpr size_t kTail = 1 + kSuffixLength + kTemporaryEnd.size();  // ".XXXXXXXX.tmp"
  if (name.size() < 2 + kTail || name[0] != '.' || !name.ends_with(kTemporaryEnd)) return false;
  const std::string_view suffix = name.substr(name.size() - kTail);
  return suffix[0] == '.' &&
         suffix.substr(1, kSuffixLength).find_first_not_of(kSuffixAlphabet) == std::string_view::npos;
}

bool MayWrite(const LinkEnd& end) {
  return S_ISREG(end.status.st_mode) && ::access(end.path.c_str(), W_OK) == 0;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

// ---- Reading ----

std::optional<ReadableFile> ReadableFile::Open(const std::filesystem::path& path) {
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
  return ReadableFile(fd, static_cast<uint64_t>(status.st_size));
}

ReadableFile::~ReadableFile() {
  if (fd_ >= 0) ::close(fd_);
}

ptrdiff_t ReadableFile::ReadAt(uint64_t offset, std::span<uint8_t> into) const {
  size_t got = 0;
  while (got < into.size()) {
    const ssize_t n = ::pread(fd_, into.data() + got, into.size() - got,
                              static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<ptrdiff_t>(got);
}

std::optional<std::vector<uint8_t>> ReadFileBytes(const std::filesystem::path& path,
                                                  size_t max_bytes) {
  const std::optional<ReadableFile> file = ReadableFile::Open(path);
  if (!file) return std::nullopt;
  std::vector<uint8_t> bytes(std::min<uint64_t>(max_bytes, file->size()));
  size_t got = 0;
  for (;;) {
    if (got == bytes.size()) {
      if (got >= max_bytes) break;
      bytes.resize(std::min(max_bytes, got + kReadChunk));  // the file has grown
    }
    const ptrdiff_t n = file->ReadAt(got, std::span(bytes).subspan(got));
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

FileKind KindOf(const std::filesystem::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return errno == ENOENT ? FileKind::kMissing : FileKind::kOther;
  return S_ISREG(status.st_mode) ? FileKind::kRegular : FileKind::kOther;
}

std::string TooLargeMessage(const std::string& name, uint64_t size, uint64_t maxBytes) {
  const auto shown = [](uint64_t bytes) {
    constexpr uint64_t kMega = 1 << 20, kKilo = 1 << 10;
    if (bytes >= kMega) return std::to_string((bytes + kMega / 2) / kMega) + " MB";
    return std::to_string((bytes + kKilo - 1) / kKilo) + " KB";
  };
  return "ファイルが大きすぎます[" + name + "]\nこの種類のファイルは大きくても " + shown(maxBytes) +
         " ですが、これは " + shown(size) + " あります。";
}

// ---- Writing ----

bool IsStandardOutput(std::string_view path) { return path == "-" || path == "/dev/stdout"; }

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
  return true;
}

bool WriteAllAt(int fd, uint64_t offset, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes = bytes.subspan(static_cast<size_t>(n));
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

void RemovedOnSignal::Set(const std::filesystem::path& path, bool folder) {
  Clear();
  const std::string& text = path.native();
  if (text.size() >= PATH_MAX) return;  // left to the next run's clean-up
  InstallSignalHandlers();
  for (int i = 0; i < kRemovedSlots; ++i) {
    int expected = kFree;
    if (!gRemoved[i].state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(gRemoved[i].path, text.c_str(), text.size() + 1);
    gRemoved[i].folder = folder;
    gRemoved[i].state.store(kInUse, std::memory_order_release);
    slot_ = i;
    return;
  }
}

void RemovedOnSignal::Clear() {
  if (slot_ >= 0) gRemoved[slot_].state.store(kFree, std::memory_order_release);
  slot_ = -1;
}

ScratchFolder::ScratchFolder() {
  std::error_code error;
  std::string pattern = (std::filesystem::temp_directory_path(error) / "vema-XXXXXX").string();
  if (error) pattern = "/tmp/vema-XXXXXX";
  const SignalsHeld held;  // a signal finds the folder in the list of what it removes
  if (::mkdtemp(pattern.data()) == nullptr) return;
  path_ = pattern;
  removed_.Set(path_, true);
}

ScratchFolder::~ScratchFolder() {
  std::error_code error;
  if (!path_.empty()) std::filesystem::remove_all(path_, error);
}

std::string ScratchFolder::File(const std::string& name) {
  const std::filesystem::path file = path_ / name;
  files_.push_back(std::make_unique<RemovedOnSignal>(file));
  return file.string();
}

bool CopyFileToStream(const std::filesystem::path& path, std::ostream& out) {
  const std::optional<ReadableFile> file = ReadableFile::Open(path);
  if (!file) return false;
  std::vector<uint8_t> chunk(kReadChunk);
  for (uint64_t at = 0;;) {
    const ptrdiff_t n = file->ReadAt(at, chunk);
    if (n < 0) return false;
    if (n == 0) break;
    out.write(reinterpret_cast<const char*>(chunk.data()), n);
    at += static_cast<uint64_t>(n);
  }
  out.flush();
  return static_cast<bool>(out);
}

FileReplacement::FileReplacement(const std::filesystem::path& target, const FileCalls& calls)
    : calls_(calls) {
  const std::optional<LinkEnd> end = FollowLinks(target);
  if (!end || (end->exists && !MayWrite(*end))) return;
  target_ = end->path;
  if (target_.filename().empty()) return;
  // From its creation on, a signal finds the temporary file in the list of files it removes.
  const SignalsHeld held;
  for (int attempt = 0; attempt < kMaxNameTries; ++attempt) {
    std::filesystem::path candidate = TemporaryName(target_);
    // O_EXCL never follows a link and never opens what exists.
    const int fd = ::open(candidate.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return;
    }
    // The lock tells other runs that the file is being written.  A run that cleaned up stale
    // temporaries between the creation and the lock has removed this one: a new name then.
    struct stat status {};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &status) != 0 || status.st_nlink == 0) {
      ::close(fd);
      continue;
    }
    lockFd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    fd_ = fd;
    temporary_ = std::move(candidate);
    removed_.Set(temporary_);
    break;
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
  removed_.Clear();
  if (lockFd_ >= 0) ::close(lockFd_);
  lockFd_ = -1;
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

bool FileReplacement::Finish() {
  if (fd_ < 0) return false;
  if (calls_.fsync(fd_) != 0) {
    Abandon();
    return false;
  }
  const int fd = fd_;
  fd_ = -1;  // closed from here on, whatever close reports
  if (calls_.close(fd) != 0) {
    Abandon();
    return false;
  }
  return true;
}

bool FileReplacement::Replace() {
  if (temporary_.empty() || fd_ >= 0) return false;  // not finished, or given up
  if (calls_.rename(temporary_.c_str(), target_.c_str()) != 0) {
    Abandon();
    return false;
  }
  temporary_.clear();
  Abandon();  // lets go of the lock and the signal's clean-up
  return true;
}

bool FileReplacement::Commit() {
  if (!Finish() || !Replace()) return false;
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

// ---- Sets ----

bool FileSet::Add(const std::filesystem::path& target, std::span<const uint8_t> bytes) {
  if (failed_) return false;
  auto file = std::make_unique<FileReplacement>(target, calls_);
  if (!file->Write(bytes) || !file->Finish()) {
    FailAt(target);
    return false;
  }
  files_.push_back(std::move(file));
  given_.push_back(target);
  return true;
}

bool FileSet::Add(const std::filesystem::path& target, std::string_view bytes) {
  return Add(target,
             std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

void FileSet::Fail(const std::filesystem::path& target) {
  if (!failed_) FailAt(target);
}

void FileSet::FailAt(const std::filesystem::path& target) {
  failed_ = true;
  failedFile_ = target;
  Abandon();
}

void FileSet::Abandon() {
  files_.clear();  // each removes its temporary file
  given_.clear();
}

bool FileSet::Commit() {
  if (failed_) return false;
  // The old file of each target is kept under a second name until every rename has succeeded,
  // so that a failing rename can put the earlier ones back.  Signals wait until the set is
  // whole again.
  struct Renamed {
    std::filesystem::path backup;  // empty: the target had no old file (or no second name)
    bool existed = false;
  };
  std::vector<Renamed> renamed;
  const auto removeBackups = [&renamed] {
    for (const Renamed& r : renamed) {
      if (!r.backup.empty()) ::unlink(r.backup.c_str());
    }
  };
  const SignalsHeld held;
  for (size_t i = 0; i < files_.size(); ++i) {
    FileReplacement& file = *files_[i];
    Renamed r;
    struct stat status {};
    r.existed = ::lstat(file.target().c_str(), &status) == 0;
    for (int attempt = 0; r.existed && attempt < kMaxNameTries; ++attempt) {
      std::filesystem::path backup = TemporaryName(file.target());
      if (::link(file.target().c_str(), backup.c_str()) == 0) {
        r.backup = std::move(backup);
        break;
      }
      if (errno != EEXIST) break;  // a file system without hard links: no way back for it
    }
    if (!file.Replace()) {
      for (size_t j = renamed.size(); j-- > 0;) {
        const std::filesystem::path& target = files_[j]->target();
        if (!renamed[j].backup.empty()) {
          if (::rename(renamed[j].backup.c_str(), target.c_str()) == 0) renamed[j].backup.clear();
        } else if (!renamed[j].existed) {
          ::unlink(target.c_str());
        }
      }
      if (!r.backup.empty()) ::unlink(r.backup.c_str());
      removeBackups();
      const std::filesystem::path failed = given_[i];
      FailAt(failed);
      return false;
    }
    renamed.push_back(std::move(r));
  }
  removeBackups();
  std::set<std::filesystem::path> folders;
  for (const auto& file : files_) folders.insert(FolderOf(file->target()));
  for (const std::filesystem::path& folder : folders) SyncFolder(folder);
  files_.clear();
  given_.clear();
  return true;
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

int RemoveStaleTemporaries(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) return 0;
  int removed = 0;
  for (const std::filesystem::directory_entry& entry : entries) {
    const std::filesystem::path& path = entry.path();
    if (!IsTemporaryName(path.filename().native())) continue;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat opened {}, named {};
    // Only a regular file that nobody is writing, and still the one of that name.
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::lstat(path.c_str(), &named) == 0 && SameFile(opened, named) &&
        ::unlink(path.c_str()) == 0) {
      ++removed;
    }
    ::close(fd);
  }
  return removed;
}

}  // namespace vema
