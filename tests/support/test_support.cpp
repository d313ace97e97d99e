#include "support/test_support.h"

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "app/cli.h"

namespace vema::testing {

TempDir::TempDir() : TempDir(std::filesystem::temp_directory_path()) {}

TempDir::TempDir(const std::filesystem::path& base) {
  std::random_device device;
  for (;;) {
    path_ = base / ("vema-test-" + std::to_string(device()));
    if (std::filesystem::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

TestSession::TestSession(const std::string& dir, std::optional<uint32_t> seed)
    : session(std::make_unique<Session>(platform, SessionOptions{dir, seed})) {}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string DataDir() { return std::string(VEMA_SOURCE_DIR) + "/data"; }

void CopyShippedData(const std::string& dir) {
  for (const char* name : {"default.mld", "default.ton", "default.db"}) {
    std::filesystem::copy_file(DataDir() + "/" + name, dir + "/" + name);
  }
}

CliRun RunCliWords(std::vector<std::string> words, const SongPlayerFactory& players,
                   const DefaultFolder& defaultFolder) {
  words.insert(words.begin(), "vema-cli");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  std::ostringstream out, err;
  const int status =
      RunCli(static_cast<int>(argv.size()), argv.data(), out, err, players, defaultFolder);
  return {status, out.str(), err.str()};
}

}  // namespace vema::testing
