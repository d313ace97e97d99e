// Runs a fuzz target over the files given and every file of the folders given (missing ones are
// skipped), so the findings kept as regression inputs are checked by every test run.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int inputs = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_regular_file(argv[i], error)) files.emplace_back(argv[i]);
    if (std::filesystem::is_directory(argv[i], error)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    }
    for (const auto& file : files) {
      std::ifstream in(file, std::ios::binary);
      const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                       std::istreambuf_iterator<char>()};
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++inputs;
    }
  }
  // Always exercise the empty input too.
  LLVMFuzzerTestOneInput(nullptr, 0);
  std::printf("%d passed, 0 failed\n", inputs + 1);
  return 0;
}
