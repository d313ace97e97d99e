// The shipped default files: what the program starts with must be usable as it stands.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/scripted_platform.h"
#include "app/session.h"
#include "critic/silent_platform.h"
#include "critic_summary.h"
#include "editors/custom_form_store.h"
#include "melody/chord.h"
#include "melody/note_length_generator.h"
#include "melody/pitch_generator.h"
#include "song/binary_io.h"
#include "song/composition_db.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::DataDir;

std::string DataFile(const std::string& name) { return DataDir() + "/" + name; }

CompositionDb LoadMld() {
  ScriptedPlatform platform;
  CompositionDb db;
  EXPECT_TRUE(CompositionDbLoader(DataFile("default.mld")).Load(db, platform));
  EXPECT_TRUE(platform.messages.empty());
  return db;
}

MelodyStyleDb LoadTon() {
  ScriptedPlatform platform;
  MelodyStyleDb style;
  EXPECT_TRUE(style.Load(DataFile("default.ton"), platform));
  return style;
}

CustomFormTable LoadForms() {
  CustomFormTable table;
  const auto bytes = ReadFileBytes(DataFile("default.db"), kCustomFormFileBytes);
  EXPECT_TRUE(bytes.has_value());
  if (bytes) DecodeCustomForms(*bytes, table);
  return table;
}

// ---------------------------------------------------------------------------------------------
// default.ton

TEST(DefaultTon, RowsAddUpToAHundredAndSettingsLieInTheirRanges) {
  EXPECT_EQ(std::filesystem::file_size(DataFile("default.ton")), kTonFileBytes);
  const MelodyStyleDb style = LoadTon();
  for (int k = 0; k < kStyleTables; ++k) {
    for (int source = 0; source < kRuleSlots; ++source) {
      int sum = 0;
      for (int next = 0; next < kRuleSlots; ++next) {
        const int32_t value = style.table[static_cast<size_t>(k)][static_cast<size_t>(source)]
                                         [static_cast<size_t>(next)];
        EXPECT_GE(value, 0);
        if (source == 11 || next == 11) {
          EXPECT_EQ(value, 0) << "table " << k << " row " << source;
        }
        sum += value;
      }
      if (source < kRuleCount) {
        EXPECT_EQ(sum, 100) << "table " << k << " row " << source;
      }
    }
  }
  const int32_t highest[8] = {100, 100, 11, 0, 0, 0, 0, 0};
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_TRUE(style.settings[i] >= 0 && style.settings[i] <= highest[i]) << "setting " << i;
  }
}

// ---------------------------------------------------------------------------------------------
// default.db

TEST(DefaultDb, OffersShortLongRepeatedAabaMinorAndModulatingForms) {
  const CustomFormTable table = LoadForms();
  const SongForm& first = table.forms[0];
  EXPECT_EQ(first.BarCount(), 16) << "the form the program starts with";
  bool eight = false, repeated16 = false, aaba = false, minor = false, modulating = false,
       full = false;
  for (int f = 0; f < table.Count(); ++f) {
    const SongForm& form = table.forms[static_cast<size_t>(f)];
    const auto& ps = form.periodSource;
    eight |= form.lastPeriod == 0;
    repeated16 |= form.lastPeriod == 1 && ps[1] == 0;
    aaba |= form.lastPeriod == 3 && ps[1] == 0 && ps[2] == -1 && ps[3] == 0;
    full |= form.lastPeriod == 11;
    std::set<int32_t> keys(form.keyIndex.begin(), form.keyIndex.begin() + form.BarCount());
    minor |= std::all_of(keys.begin(), keys.end(), [](int32_t k) { return k >= 15; });
    modulating |= keys.size() >= 2;
  }
  EXPECT_TRUE(eight);
  EXPECT_TRUE(repeated16);
  EXPECT_TRUE(aaba);
  EXPECT_TRUE(minor);
  EXPECT_TRUE(modulating);
  EXPECT_TRUE(full);
}

// ---------------------------------------------------------------------------------------------
// The three files together.

TEST(DefaultFiles, EveryStoredFormComposesAMelodyOfWholeBarsInAPlayableRange) {
  const CompositionDb db = LoadMld();
  const MelodyStyleDb style = LoadTon();
  const CustomFormTable table = LoadForms();
  for (int f = 0; f < table.Count(); ++f) {
    for (uint32_t seed = 1; seed <= 20; ++seed) {
      testing::TestSession t(".", seed);
      Session& s = *t.session;
      s.compositionDb = db;
      s.style = style;
      s.form = table.forms[static_cast<size_t>(f)];
      NoteLengthGenerator(s.Melody()).Run();
      ASSERT_EQ(PitchGenerator(s.Melody()).Run(), 1) << "form " << f << " seed " << seed;
      ASSERT_TRUE(t.platform.messages.empty()) << t.platform.messages.front().text;
      // Voice 0 holds whole bars of notes with real pitches.
      int ticks = 0, notes = 0, low = 127, high = 0;
      for (int step = 0; step < kTrackSteps; ++step) {
        const TrackNote& note = s.noteTrack.at(step, 0);
        if (note.length == -1) break;
        ASSERT_GT(note.length, 0);
        ASSERT_GE(note.pitch, 1) << "a rest in form " << f << " seed " << seed;
        ASSERT_LE(note.pitch, 12);
        const int key = note.octave * 12 + note.pitch - 1;
        low = std::min(low, key);
        high = std::max(high, key);
        ticks += note.length;
        ++notes;
      }
      EXPECT_EQ(ticks, s.form.BarCount() * kTicksPerBar) << "form " << f << " seed " << seed;
      EXPECT_GE(notes, s.form.BarCount());
      EXPECT_LE(notes, s.form.BarCount() * 19);
      // The melody stays where a voice sings: within three octaves around middle C.
      EXPECT_GE(low, 36) << "form " << f << " seed " << seed;
      EXPECT_LE(high, 96) << "form " << f << " seed " << seed;
    }
  }
}

// The musical mode over the shipped data (best of 16, the melody octave auto), as style_stats
// measures it: every target of the melody critic is met on the report seeds and on fresh ones.
TEST(DefaultFiles, TheMusicalModeMeetsEveryTargetOnTwoSetsOfSeeds) {
  tools::ComposerData data;
  data.db = LoadMld();
  data.style = LoadTon();
  data.forms = LoadForms();
  SilentPlatform platform;
  for (uint32_t first : {1u, 501u}) {
    tools::CriticSummary all;
    for (int f = 0; f < data.forms.Count(); ++f) {
      for (uint32_t seed = first; seed < first + 30; ++seed) {
        const std::unique_ptr<Session> s = tools::SongSession(platform, data, f, seed);
        ASSERT_TRUE(tools::ComposeMelody(*s, 16)) << "form " << f << " seed " << seed;
        tools::AddSong(all, *s);
      }
    }
    EXPECT_EQ(all.lowOrHighSongs, 0);
    for (const tools::TargetRow& row : tools::TargetRows(all)) {
      EXPECT_TRUE(row.Met()) << "seeds from " << first << ": " << row.name << " " << row.value;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// the help book

// The help viewer breaks lines at blanks only: a blank between a number and the word after it
// would let "1 行目" come out as "1" at the end of one line and "行目" on the next.
TEST(HelpBook, NumbersStayOnTheLineOfTheWordAfterThem) {
  int pages = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(VEMA_SOURCE_DIR) + "/res/help")) {
    if (entry.path().extension() != ".htm") continue;
    ++pages;
    const auto bytes = testing::ReadAll(entry.path().string());
    const std::string text(bytes.begin(), bytes.end());
    for (size_t i = 0; i + 2 < text.size(); ++i) {
      const bool split = text[i] >= '0' && text[i] <= '9' && text[i + 1] == ' ' &&
                         static_cast<unsigned char>(text[i + 2]) >= 0x80;
      EXPECT_FALSE(split) << entry.path().filename() << ": " << text.substr(i, 12);
    }
  }
  EXPECT_GE(pages, 7);
}

}  // namespace
}  // namespace vema
