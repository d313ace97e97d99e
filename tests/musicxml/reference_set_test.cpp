// The reference set: a grid of compositions on the shipped files (stored forms x seeds x feels,
// literal best of 1 at melody octave 0, musical best of 16 with instruments and a title), each
// composed by vema-cli compose and exported by vema-cli export in this process.  The SHA-256 of
// every file it writes is compared with reference_set.txt beside this file, and every score is
// checked against the MusicXML 4.0 schema and read back as the notes out.mid plays.
// VEMA_WRITE_REFERENCE=1 writes reference_set.txt anew from this build instead (for a change of
// the output made on purpose).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>

#include "musicxml/score_reading.h"
#include "output/musicxml_writer.h"
#include "song/sha256.h"
#include "support/child_process.h"
#include "support/test_support.h"

namespace vema {
namespace {

const std::string kManifest = std::string(VEMA_SOURCE_DIR) + "/tests/musicxml/reference_set.txt";

// "CELL FILE" -> hex digest, one line each: "form 4 seed 7 rock best-of-16 out.mid 3f2a...".
using Digests = std::map<std::string, std::string>;

Digests ReadManifest() {
  Digests digests;
  std::ifstream in(kManifest, std::ios::binary);
  EXPECT_TRUE(in) << "no manifest " << kManifest << " (VEMA_WRITE_REFERENCE=1 writes it)";
  for (std::string line; std::getline(in, line);) {
    const size_t space = line.rfind(' ');
    EXPECT_NE(space, std::string::npos) << "bad manifest line: " << line;
    if (space != std::string::npos) digests[line.substr(0, space)] = line.substr(space + 1);
  }
  return digests;
}

TEST(ReferenceSet, EveryFileIsTheOneOfTheManifestAndEveryScoreIsValid) {
  const testing::TempDir dir(testing::QuickStorage());
  testing::CopyShippedData(dir.str());
  Digests now;
  std::vector<std::string> scores;
  for (const char* form : {"0", "4", "5", "6"}) {  // major, minor, modulating, 96 bars
    for (const char* seed : {"7", "4000000001"}) {
      for (const char* feel : {"march", "standard", "blues", "rock"}) {
        for (const std::string bestOf : {"1", "16"}) {
          const std::string cell = std::string("form ") + form + " seed " + seed + " " + feel +
                                   " best-of-" + bestOf;
          SCOPED_TRACE(cell);
          std::vector<std::string> compose = {"compose", "--dir", dir.str(), "--seed", seed,
                                              "--feel", feel, "--best-of", bestOf};
          // Form 0 is the one start-up makes current, without a message.
          if (form != std::string("0")) compose.insert(compose.end(), {"--form", form});
          const std::string score = dir.File(cell + ".musicxml");
          std::vector<std::string> exportWords = {"export", "--dir", dir.str(), "--form", form,
                                                  "--musicxml", score};
          if (bestOf == "16") {
            compose.insert(compose.end(), {"--melody-program", "73", "--bass-program", "33",
                                           "--chord-program", "5"});
            exportWords.insert(exportWords.end(), {"--title", "<&\"'> ]]> 夜明け"});
          }
          const testing::CliRun composed = testing::RunCliWords(compose);
          ASSERT_EQ(composed.status, 0) << composed.err;
          if (form == std::string("0")) {
            EXPECT_TRUE(composed.err.starts_with("info: 作曲完了！！\n")) << composed.err;
          }
          const testing::CliRun exported = testing::RunCliWords(exportWords);
          ASSERT_EQ(exported.status, 0) << exported.err;
          for (const std::string file : {"out.mid", "out.mml", "work.txt", "out.xml"}) {
            const auto bytes = testing::ReadAll(file == "out.xml" ? score : dir.File(file));
            now[cell + " " + file] = Sha256Hex(bytes);
          }
          // The score sounds what out.mid plays.
          std::string problem;
          const std::optional<MidiNotes> played =
              ReadMidiNotes(testing::ReadAll(dir.File("out.mid")), problem);
          ASSERT_TRUE(played) << problem;
          pugi::xml_document doc;
          ASSERT_TRUE(doc.load_file(score.c_str()));
          EXPECT_EQ(testing::SoundingNotes(doc, 0), played->melody);
          EXPECT_EQ(testing::SoundingNotes(doc, 1), played->bass);
          EXPECT_EQ(testing::SoundingNotes(doc, 2), testing::Sorted(played->chords));
          scores.push_back(score);
        }
      }
    }
  }
  if (const char* write = std::getenv("VEMA_WRITE_REFERENCE"); write && *write == '1') {
    std::ofstream out(kManifest, std::ios::binary | std::ios::trunc);
    for (const auto& [key, digest] : now) out << key << ' ' << digest << '\n';
    ASSERT_TRUE(out.flush()) << "cannot write " << kManifest;
    std::printf("wrote %zu digests to %s\n", now.size(), kManifest.c_str());
  }
  const Digests expected = ReadManifest();
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
  REQUIRE_TOOL("xmllint", "libxml2-utils");
  const std::string edge = dir.File("edge.musicxml");
  std::ofstream(edge, std::ios::binary) << BuildMusicXml(testing::EdgeCaseScore());
  scores.push_back(edge);
  EXPECT_EQ(testing::Validate(scores), "");
}

}  // namespace
}  // namespace vema
