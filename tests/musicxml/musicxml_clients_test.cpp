// The MusicXML export read by MuseScore 3: it opens the scores, prints them and writes back the
// same notes (skipped with a line that says so where it is missing).  The schema check of the
// songs of the shipped forms is part of the reference set.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/compose_command.h"
#include "app/export_command.h"
#include "app/session.h"
#include "editors/custom_form_store.h"
#include "musicxml/score_reading.h"
#include "output/musicxml_writer.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::EdgeCaseScore;
using testing::SoundingNotes;
using testing::Shell;
using testing::TempDir;

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

pugi::xml_document Load(const std::string& path) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_file(path.c_str())) << path;
  return doc;
}

// A composition of the shipped data: stored form `form`, a seed and a feel, in its own folder.
struct ShippedSong {
  ShippedSong(int form, uint32_t seed, int feel) : t(dir.str(), seed) {
    for (const char* name : {"default.mld", "default.ton", "default.db"}) {
      std::filesystem::copy_file(testing::DataDir() + "/" + name, dir.File(name));
    }
    StartUp(*t.session);
    LoadCustomForm(t.session->Editors(), form);
    t.platform.feelAnswers = {feel};
    ComposeCommand(*t.session);
  }
  SongScore Score() {
    std::string error;
    std::optional<SongScore> score = ScoreOfLastSong(*t.session, error);
    EXPECT_TRUE(score) << error;
    return score.value_or(SongScore{});
  }
  TempDir dir;
  testing::TestSession t;
};

// MuseScore's reading of a score: it prints it, and its own MusicXML holds the same notes.
void RoundTrip(const std::string& file, const SongScore& score, const TempDir& dir) {
  const std::string pdf = dir.File("score.pdf"), back = dir.File("back.musicxml");
  const auto [printed, printStatus] =
      Shell("QT_QPA_PLATFORM=offscreen timeout 120 mscore3 -o '" + pdf + "' '" + file + "'");
  EXPECT_EQ(printStatus, 0) << printed;
  std::ifstream in(pdf, std::ios::binary);
  std::string head(4, '\0');
  in.read(head.data(), 4);
  EXPECT_EQ(head, "%PDF");
  const auto [written, writeStatus] =
      Shell("QT_QPA_PLATFORM=offscreen timeout 120 mscore3 -o '" + back + "' '" + file + "'");
  ASSERT_EQ(writeStatus, 0) << written;
  const pugi::xml_document doc = Load(back);
  EXPECT_EQ(SoundingNotes(doc, 0), score.notes.melody);
  EXPECT_EQ(SoundingNotes(doc, 1), score.notes.bass);
  EXPECT_EQ(SoundingNotes(doc, 2), testing::Sorted(score.notes.chords));
  // Its chord symbols: one a bar where the form names a chord it reads.
  EXPECT_EQ(doc.select_nodes("//part[1]/measure/harmony").size(),
            Load(file).select_nodes("//part[1]/measure/harmony").size());
}

TEST(MusicXmlClients, MuseScoreReadsBackASongWithKeyChangesTripletsAndTies) {
  REQUIRE_TOOL("mscore3", "musescore3");
  // Form 5 modulates; seed 25 draws triplets and ties in the melody.
  ShippedSong song(5, 25, 1);
  const std::string file = song.dir.File("song.musicxml");
  ASSERT_TRUE(ExportMusicXml(*song.t.session, file));
  const pugi::xml_document doc = Load(file);
  EXPECT_GE(doc.select_nodes("//part[1]//time-modification").size(), 3u);
  EXPECT_GE(doc.select_nodes("//part[1]//tie[@type='start']").size(), 3u);
  EXPECT_GE(doc.select_nodes("//part[1]/measure/attributes/key").size(), 3u);
  RoundTrip(file, song.Score(), song.dir);
}

TEST(MusicXmlClients, MuseScoreReadsBackTiesAcrossBarLinesSyncopesAndOddChords) {
  REQUIRE_TOOL("mscore3", "musescore3");
  TempDir dir;
  const std::string file = dir.File("edge.musicxml");
  WriteText(file, BuildMusicXml(EdgeCaseScore()));
  RoundTrip(file, EdgeCaseScore(), dir);
}

}  // namespace
}  // namespace vema
