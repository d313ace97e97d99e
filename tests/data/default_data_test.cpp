// The shipped default files: what the program starts with must be usable as it stands.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/scripted_platform.h"
#include "app/session.h"
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

// The lengths of pattern p up to its end mark.
std::vector<int32_t> PatternLengths(const CompositionDb& db, int32_t p) {
  std::vector<int32_t> lengths;
  const int32_t* pattern = db.Pattern(p);
  for (int i = 0; i < kPatternLength && pattern[i] != -1; ++i) lengths.push_back(pattern[i]);
  return lengths;
}

// The records of kind k.
std::vector<Transition> Records(const CompositionDb& db, int k) {
  const int last = db.LastIndex(k);
  return {db.transitions.begin() + k * kTransitionsPerKind,
          db.transitions.begin() + k * kTransitionsPerKind + last + 1};
}

bool HasGroup(const CompositionDb& db, int k, int32_t from) {
  for (const Transition& t : Records(db, k)) {
    if (t.from == from) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// default.mld

TEST(DefaultMld, IsAWholeFileOfKindZeroWithTransitionsOfEveryKind) {
  EXPECT_EQ(std::filesystem::file_size(DataFile("default.mld")), kMldFileBytes);
  const CompositionDb db = LoadMld();
  EXPECT_EQ(db.kind, 0);
  for (int k = 0; k < kTransitionKinds; ++k) EXPECT_GE(db.LastIndex(k), 1) << "kind " << k;
}

TEST(DefaultMld, EveryBarItCanBuildFillsOneBarWithinNineteenLengths) {
  const CompositionDb db = LoadMld();
  auto ticks = [](const std::vector<int32_t>& lengths) {
    int sum = 0;
    for (int32_t l : lengths) sum += l;
    return sum;
  };
  for (int k : {0, 2}) {
    for (const Transition& t : Records(db, k)) {
      const auto first = PatternLengths(db, t.from);
      const auto second = PatternLengths(db, t.to);
      ASSERT_FALSE(first.empty());
      ASSERT_FALSE(second.empty());
      EXPECT_EQ(ticks(first), 96) << "pattern " << t.from;
      EXPECT_EQ(ticks(second), 96) << "pattern " << t.to;
      EXPECT_LE(first.size() + second.size(), 19u) << t.from << " -> " << t.to;
      EXPECT_NE(first.front(), 0) << "a bar starting with a tie mark: pattern " << t.from;
      EXPECT_NE(second.back(), 0) << "a bar ending with a tie mark: pattern " << t.to;
      for (const auto* half : {&first, &second}) {
        for (size_t i = 0; i + 1 < half->size(); ++i) {
          EXPECT_FALSE((*half)[i] == 0 && (*half)[i + 1] == 0) << "two tie marks in a row";
        }
        for (int32_t l : *half) EXPECT_GE(l, 0);
      }
    }
  }
}

TEST(DefaultMld, EveryPatternReachedHasAGroupToGoOnWithAndGroupsStandTogether) {
  const CompositionDb db = LoadMld();
  for (int k = 0; k < kTransitionKinds; ++k) {
    // The records of one `from` form one run: a second run would never be found.
    std::set<int32_t> finished;
    int32_t previous = -1;
    for (const Transition& t : Records(db, k)) {
      if (t.from != previous) {
        EXPECT_TRUE(finished.insert(t.from).second)
            << "kind " << k << ": pattern " << t.from << " in two runs";
        previous = t.from;
      }
    }
  }
  // Second halves go on into either kind of bar (the next bar can repeat another one);
  // first halves chosen for an odd bar need kind 2, for an even bar kind 0.
  for (int k : {0, 2}) {
    for (const Transition& t : Records(db, k)) {
      EXPECT_TRUE(HasGroup(db, 1, t.to)) << "pattern " << t.to << " has no kind 1 records";
      EXPECT_TRUE(HasGroup(db, 3, t.to)) << "pattern " << t.to << " has no kind 3 records";
    }
  }
  for (const Transition& t : Records(db, 1)) EXPECT_TRUE(HasGroup(db, 2, t.to)) << t.to;
  for (const Transition& t : Records(db, 3)) EXPECT_TRUE(HasGroup(db, 0, t.to)) << t.to;
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
  EXPECT_GE(style.settings[0], 0);
  EXPECT_LE(style.settings[0], 100);
  EXPECT_GE(style.settings[1], 0);
  EXPECT_LE(style.settings[1], 100);
  EXPECT_GE(style.settings[2], 0);
  EXPECT_LE(style.settings[2], 11);
  for (size_t i = 3; i < 8; ++i) EXPECT_EQ(style.settings[i], 0);
}

// ---------------------------------------------------------------------------------------------
// default.db

// The rules the generators rely on, for one stored form; empty when all hold.
std::string CheckForm(const SongForm& form) {
  if (form.lastPeriod < 0 || form.lastPeriod > 11) return "lastPeriod out of range";
  const int bars = form.BarCount();
  for (int b = 0; b < kMaxBars; ++b) {
    const size_t i = static_cast<size_t>(b);
    const std::string at = "bar " + std::to_string(b) + ": ";
    if (form.keyIndex[i] < 0 || form.keyIndex[i] >= kKeyCount) return at + "key out of range";
    if (form.Chord(b).empty()) return at + "no chord";
    const int32_t melody = form.melodySource[i], motif = form.motifSource[i],
                  length = form.noteLengthSource[i];
    for (int32_t s : {melody, motif, length}) {
      if (s < -1 || s >= b) return at + "a source that is not an earlier bar";
    }
    if (melody >= 0 && (motif != melody || length != melody))
      return at + "melody source not nested";
    if (motif >= 0 && length != motif) return at + "motif source not nested";
    if (melody >= 0 && (form.keyIndex[static_cast<size_t>(melody)] != form.keyIndex[i] ||
                        form.Chord(melody) != form.Chord(b))) {
      return at + "repeated melody over another key or chord";
    }
    if (b >= bars) {
      if (melody != -1 || motif != -1 || length != -1) return at + "unused period not reset";
      if (form.keyIndex[i] != form.keyIndex[static_cast<size_t>(b % 8)])
        return at + "unused period key";
      if (form.Chord(b) != form.Chord(0)) return at + "unused period chord";
    }
  }
  for (int p = 0; p < kMaxPeriods; ++p) {
    const int32_t q = form.periodSource[static_cast<size_t>(p)];
    if (q < -1 || q >= p || (p > form.lastPeriod && q != -1))
      return "period " + std::to_string(p) + ": bad source";
    if (q < 0) continue;
    for (int i = 0; i < 8; ++i) {
      const int b = p * 8 + i, s = q * 8 + i;
      if (form.melodySource[static_cast<size_t>(b)] != s || form.Chord(b) != form.Chord(s) ||
          form.keyIndex[static_cast<size_t>(b)] != form.keyIndex[static_cast<size_t>(s)]) {
        return "period " + std::to_string(p) + ": not a copy of period " + std::to_string(q);
      }
    }
  }
  return "";
}

TEST(DefaultDb, HoldsAtLeastSixNamedFormsThatKeepTheFormRules) {
  EXPECT_EQ(std::filesystem::file_size(DataFile("default.db")), kCustomFormFileBytes);
  const CustomFormTable table = LoadForms();
  ASSERT_GE(table.count, 6);
  ASSERT_LE(table.count, kMaxCustomForms);
  std::set<std::string> names;
  for (int f = 0; f < table.count; ++f) {
    const std::string& name = table.names[static_cast<size_t>(f)];
    EXPECT_FALSE(name.empty()) << "form " << f;
    EXPECT_EQ(name.find('?'), std::string::npos)
        << "form " << f << " name lost characters: " << name;
    EXPECT_TRUE(names.insert(name).second) << "two forms named " << name;
    EXPECT_EQ(CheckForm(table.forms[static_cast<size_t>(f)]), "")
        << "form " << f << " (" << name << ")";
  }
}

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

TEST(DefaultDb, EveryChordIsOneTheChordParserAccepts) {
  const CustomFormTable table = LoadForms();
  testing::TestSession t;
  for (int f = 0; f < table.Count(); ++f) {
    const SongForm& form = table.forms[static_cast<size_t>(f)];
    for (int b = 0; b < kMaxBars; ++b) {
      EXPECT_EQ(ParseChord(*t.session, form.Chord(b)), 0) << "form " << f << " bar " << b;
    }
  }
  EXPECT_TRUE(t.platform.messages.empty());
}

// ---------------------------------------------------------------------------------------------
// The three files together.

TEST(DefaultFiles, StartUpMakesFormZeroTheCurrentFormWithoutAMessage) {
  testing::TempDir dir;
  for (const char* name : {"default.mld", "default.ton", "default.db"}) {
    std::filesystem::copy_file(DataFile(name), dir.File(name));
  }
  testing::TestSession t(dir.str());
  StartUp(*t.session);
  EXPECT_TRUE(t.platform.messages.empty());
  EXPECT_EQ(t.session->compositionDb.loaded, 1);
  EXPECT_EQ(t.session->form, LoadForms().forms[0]);
}

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
      NoteLengthGenerator(s).Run();
      ASSERT_EQ(PitchGenerator(s).Run(), 1) << "form " << f << " seed " << seed;
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

}  // namespace
}  // namespace vema
