// Running code and programs where their faults cannot hurt the test: a forked child with a file
// size limit (a full disk) and a time limit (a hang), and shell commands with their output.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>

namespace vema::testing {

// How a child ended: its exit status, or -1 when a signal ended it (a hang is ended by SIGALRM).
struct ChildEnd {
  int status = -1;
  int signal = 0;
};

// Runs body in a forked child whose files may grow to at most fileSizeLimit bytes (writes past
// it fail with EFBIG, SIGXFSZ being ignored), killed after seconds.  The status is body's result.
inline ChildEnd RunInChild(const std::function<int()>& body,
                           std::optional<rlim_t> fileSizeLimit = std::nullopt,
                           unsigned seconds = 30) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(seconds);
    if (fileSizeLimit) {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{*fileSizeLimit, *fileSizeLimit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    const int status = body();
    std::fflush(nullptr);
    ::_exit(status);
  }
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  if (WIFEXITED(raw)) return {WEXITSTATUS(raw), 0};
  return {-1, WIFSIGNALED(raw) ? WTERMSIG(raw) : 0};
}

// The output (stdout and stderr) and exit status of a shell command.
struct ShellResult {
  std::string output;
  int status = -1;
};

inline ShellResult Shell(const std::string& command) {
  ShellResult result;
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  for (int c; (c = std::fgetc(pipe)) != EOF;) result.output += static_cast<char>(c);
  const int raw = ::pclose(pipe);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return result;
}

// Where many files can be written quickly: memory-backed storage when there is some.
inline std::filesystem::path QuickStorage() {
  std::error_code error;
  if (std::filesystem::is_directory("/dev/shm", error)) return "/dev/shm";
  return std::filesystem::temp_directory_path();
}

// The names in a folder.
inline std::set<std::string> Names(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

}  // namespace vema::testing
