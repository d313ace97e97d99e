// Thousands of compositions over random forms (well formed and damaged), random databases and
// styles and all four feels: no crash or hang, and every composition keeps its invariants.
#include <gtest/gtest.h>

#include <random>

#include "app/compose_command.h"
#include "support/child_process.h"
#include "support/invariants.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::CheckComposition;
using testing::TempDir;

class Dice {
 public:
  explicit Dice(uint32_t seed) : engine_(seed) {}
  int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
  bool Chance(int percent) { return Int(0, 99) < percent; }
  int32_t Any() { return static_cast<int32_t>(engine_()); }

 private:
  std::mt19937 engine_;
};

const char* const kChords[] = {"C",    "Am7",   "F",     "G7",   "Dm7",  "Em",    "B-",
                               "F#m7-5", "C/E", "AmonC", "Gsus4", "E7-9", "Cdim7", "A-",
                               "Cadd9", "X",    "",      "H7",   "Cm7M", "C69"};

SongForm WellFormedForm(Dice& dice) {
  SongForm form = BlankForm();
  form.lastPeriod = dice.Int(0, 11);
  const int bars = form.BarCount();
  for (int b = 0; b < kMaxBars; ++b) {
    form.keyIndex[b] = dice.Int(0, 29);
    form.SetChord(b, kChords[dice.Int(0, 13)]);
  }
  for (int b = 1; b < bars; ++b) {
    const int level = dice.Int(0, 3);  // 0 new, 1 lengths, 2 motif, 3 melody repeated
    if (level == 0) continue;
    const int source = dice.Int(0, b - 1);
    form.noteLengthSource[b] = source;
    if (level >= 2) form.motifSource[b] = source;
    if (level == 3) {
      form.melodySource[b] = source;
      form.keyIndex[b] = form.keyIndex[source];
      form.chordSymbol[b] = form.chordSymbol[source];
    }
  }
  return form;
}

SongForm DamagedForm(Dice& dice) {
  SongForm form = WellFormedForm(dice);
  form.lastPeriod = dice.Chance(20) ? dice.Any() : form.lastPeriod;
  for (int b = 0; b < kMaxBars; ++b) {
    if (dice.Chance(10)) form.melodySource[b] = dice.Chance(50) ? dice.Int(-3, 100) : dice.Any();
    if (dice.Chance(10)) form.motifSource[b] = dice.Int(-3, 100);
    if (dice.Chance(10)) form.noteLengthSource[b] = dice.Int(-3, 100);
    if (dice.Chance(5)) form.keyIndex[b] = dice.Chance(50) ? dice.Int(-5, 40) : dice.Any();
    if (dice.Chance(5)) {
      for (char& c : form.chordSymbol[b]) c = static_cast<char>(dice.Int(0, 255));
    }
    if (dice.Chance(3)) form.SetChord(b, kChords[dice.Int(14, 19)]);
  }
  return form;
}

// Patterns that mostly fill half a bar, some with ties and triplets, some of them broken.
void RandomDatabase(Dice& dice, CompositionDb& db, bool damaged) {
  db = CompositionDb();
  db.loaded = 1;
  db.kind = damaged && dice.Chance(10) ? static_cast<uint8_t>(dice.Int(0, 6)) : 0;
  const int patterns = dice.Int(1, 40);
  static const int kHalves[][8] = {{48, 48, -1}, {24, 24, 48, -1}, {96, -1},
                                   {36, 12, 24, 24, -1}, {32, 32, 32, -1}, {72, 0, 24, -1},
                                   {16, 16, 16, 48, -1}, {24, 48, 0, 24, -1}, {12, 12, 24, 48, -1}};
  for (int p = 0; p < patterns; ++p) {
    int32_t* pattern = &db.noteLengthPatterns[static_cast<size_t>(p) * kPatternLength];
    if (damaged && dice.Chance(20)) {
      for (int i = 0; i < kPatternLength; ++i) pattern[i] = dice.Chance(50) ? dice.Int(-2, 200) : dice.Any();
      if (dice.Chance(50)) pattern[dice.Int(0, kPatternLength - 1)] = -1;
      continue;
    }
    const int* half = kHalves[dice.Int(0, 8)];
    for (int i = 0; i < 8; ++i) {
      pattern[i] = half[i];
      if (half[i] == -1) break;
    }
  }
  for (int k = 0; k < kTransitionKinds; ++k) {
    const int records = damaged && dice.Chance(10) ? 0 : dice.Int(1, 60);
    db.lastTransitionIndex[static_cast<size_t>(k) + 1] = records - 1;
    int from = dice.Int(0, patterns - 1);
    for (int j = 0; j < records; ++j) {
      if (dice.Chance(30)) from = dice.Int(0, patterns - 1);
      Transition& t = db.transitions[static_cast<size_t>(k) * kTransitionsPerKind + j];
      t = {from, dice.Int(0, patterns - 1), dice.Int(1, 9)};
      if (damaged && dice.Chance(5)) t.to = dice.Any();
      if (damaged && dice.Chance(5)) t.from = dice.Any();
    }
  }
  if (damaged && dice.Chance(10)) db.lastTransitionIndex[1] = dice.Int(-1, 999);
  db.BuildTransitionGroups();
}

void RandomStyle(Dice& dice, MelodyStyleDb& style, bool damaged) {
  for (auto& table : style.table) {
    for (int s = 0; s < kRuleSlots; ++s) {
      int left = 100;
      for (int n = 0; n < kRuleCount; ++n) {
        const int v = n == kRuleCount - 1 ? left : dice.Int(0, left);
        table[s][n] = damaged && dice.Chance(5) ? dice.Any() % 1000 : v;
        left -= v;
      }
      table[s][11] = damaged && dice.Chance(5) ? dice.Int(0, 100) : 0;
    }
  }
  style.settings[0] = dice.Int(0, 100);
  style.settings[1] = damaged && dice.Chance(20) ? dice.Int(-300, 300) : dice.Int(0, 60);
  style.settings[2] = damaged && dice.Chance(20) ? dice.Int(-5, 200) : dice.Int(1, 8);
}

TEST(ComposeStress, RandomFormsDatabasesAndStylesKeepTheInvariants) {
  // The outputs are rewritten 10000 times: in memory-backed storage when there is some.
  TempDir dir(testing::QuickStorage());
  constexpr int kCompositions = 10000;
  int melodies = 0;
  for (int i = 0; i < kCompositions; ++i) {
    Dice dice(static_cast<uint32_t>(i) * 2654435761u + 17u);
    const bool damaged = i % 2 == 1;
    ScriptedPlatform platform;
    Session session(platform, SessionOptions{dir.str(), static_cast<uint32_t>(i)});
    session.form = damaged ? DamagedForm(dice) : WellFormedForm(dice);
    RandomDatabase(dice, session.compositionDb, damaged);
    RandomStyle(dice, session.style, damaged);
    platform.feelAnswers.push_back(i % 4);
    ComposeCommand(session);
    const std::string problem = CheckComposition(session);
    ASSERT_EQ(problem, "") << "composition " << i << (damaged ? " (damaged)" : "");
    melodies += session.noteTrack.at(0, 0).length != 0 ? 1 : 0;
  }
  // Most well-formed compositions must get their melody (refused chords stop some).
  RecordProperty("melodies", melodies);
  EXPECT_GT(melodies, kCompositions / 4);
}

}  // namespace
}  // namespace vema
