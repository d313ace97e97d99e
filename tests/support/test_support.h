// Shared helpers of the test programs.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/scripted_platform.h"
#include "app/song_player.h"
#include "app/session.h"

namespace vema::testing {

// A fresh temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  // A folder under base (for example a memory-backed one for tests that write a lot).
  explicit TempDir(const std::filesystem::path& base);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A session over a scripted platform, working in a folder.
struct TestSession {
  explicit TestSession(const std::string& dir = ".", std::optional<uint32_t> seed = 1);
  ScriptedPlatform platform;
  std::unique_ptr<Session> session;
};

std::vector<uint8_t> ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes);
// The folder of the shipped default files.
std::string DataDir();

// A working folder with a copy of the shipped default files.
void CopyShippedData(const std::string& dir);

// vema-cli run in this process on the words of a command line (without the program name).
struct CliRun {
  int status;
  std::string out, err;
};
// defaultFolder: where the commands work without --dir (none: the current folder).
CliRun RunCliWords(std::vector<std::string> words, const SongPlayerFactory& players = {},
                   const DefaultFolder& defaultFolder = {});

}  // namespace vema::testing
