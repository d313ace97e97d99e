// The reference set: a grid of compositions on the shipped files (stored forms x seeds x feels,
// literal best of 1 at melody octave 0, musical best of 16 with instruments), each composed by
// vema-cli compose and exported by vema-cli export in this process, and the SHA-256 of every
// file it writes compared with reference_set.txt beside this file.  VEMA_WRITE_REFERENCE=1
// writes that file anew from this build instead (for a change of the output made on purpose).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "song/sha256.h"
#include "support/test_support.h"

namespace vema {
namespace {

namespace fs = std::filesystem;

const std::string kManifest = std::string(VEMA_SOURCE_DIR) + "/tests/output/reference_set.txt";

// "CELL FILE" -> hex digest, one line each: "form 3 seed 7 rock best-of-16 out.mid 3f2a...".
using Digests = std::map<std::string, std::string>;

Digests ComposeGrid(const testing::TempDir& dir) {
  for (const char* name : {"default.db", "default.mld", "default.ton"}) {
    fs::copy_file(testing::DataDir() + "/" + name, dir.File(name));
  }
  Digests digests;
  for (const char* form : {"0", "3", "6"}) {
    for (const char* seed : {"7", "4000000001"}) {
      for (const char* feel : {"march", "standard", "blues", "rock"}) {
        for (const char* bestOf : {"1", "16"}) {
          const std::string cell = std::string("form ") + form + " seed " + seed + " " + feel +
                                   " best-of-" + bestOf;
          std::vector<std::string> words = {"compose", "--dir", dir.str(), "--form", form,
                                            "--seed", seed, "--feel", feel, "--best-of", bestOf};
          if (std::string_view(bestOf) == "16") {  // the musical cells with their own instruments
            words.insert(words.end(), {"--melody-program", "73", "--bass-program", "33",
                                       "--chord-program", "5"});
          }
          const testing::CliRun compose = testing::RunCliWords(words);
          EXPECT_EQ(compose.status, 0) << cell << "\n" << compose.err;
          const testing::CliRun exported = testing::RunCliWords(
              {"export", "--dir", dir.str(), "--form", form, "--musicxml", dir.File("out.xml")});
          EXPECT_EQ(exported.status, 0) << cell << "\n" << exported.err;
          for (const char* file : {"out.mid", "out.mml", "work.txt", "out.xml"}) {
            digests[cell + " " + file] = Sha256Hex(testing::ReadAll(dir.File(file)));
          }
        }
      }
    }
  }
  return digests;
}

TEST(ReferenceSet, EveryFileOfTheGridIsTheOneOfTheManifest) {
  std::error_code error;
  const testing::TempDir dir(fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm")
                                                                 : fs::temp_directory_path());
  const Digests now = ComposeGrid(dir);
  if (const char* write = std::getenv("VEMA_WRITE_REFERENCE"); write && *write == '1') {
    std::ofstream out(kManifest, std::ios::binary | std::ios::trunc);
    for (const auto& [key, digest] : now) out << key << ' ' << digest << '\n';
    ASSERT_TRUE(out.flush()) << "cannot write " << kManifest;
    GTEST_SKIP() << "wrote " << now.size() << " digests to " << kManifest;
  }
  Digests expected;
  std::ifstream in(kManifest, std::ios::binary);
  ASSERT_TRUE(in) << "no manifest " << kManifest << " (VEMA_WRITE_REFERENCE=1 writes it)";
  for (std::string line; std::getline(in, line);) {
    const size_t space = line.rfind(' ');
    ASSERT_NE(space, std::string::npos) << "bad manifest line: " << line;
    expected[line.substr(0, space)] = line.substr(space + 1);
  }
  for (const auto& [key, digest] : expected) {
    const auto it = now.find(key);
    if (it == now.end()) {
      ADD_FAILURE() << key << ": in the manifest, not in the grid";
    } else if (it->second != digest) {
      ADD_FAILURE() << key << " changed: " << it->second << ", manifest " << digest;
    }
  }
  for (const auto& [key, digest] : now) {
    if (!expected.contains(key)) ADD_FAILURE() << key << ": not in the manifest";
  }
}

}  // namespace
}  // namespace vema
