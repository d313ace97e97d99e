// Re-making bars A-B of finished songs, over the shipped forms x seeds x selections: every note
// outside the re-made bars stays, the re-made bars follow the form's ties, every bar still fills
// 192 ticks, the joins rarely fall a fourth or more, a draw is made again exactly, and the trace
// tells how every bar was made.
#include <gtest/gtest.h>

#include <random>

#include "app/scripted_platform.h"
#include "app/session.h"
#include "critic/bar_reroll.h"
#include "critic/melody_choice.h"
#include "editors/custom_form_store.h"
#include "melody/note_length_generator.h"
#include "melody/pitch_generator.h"
#include "support/test_support.h"

namespace vema {
namespace {

using Cells = std::vector<std::vector<TrackNote>>;

bool Same(const TrackNote& a, const TrackNote& b) {
  return a.length == b.length && a.pitch == b.pitch && a.octave == b.octave;
}
bool Same(const std::vector<TrackNote>& a, const std::vector<TrackNote>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const TrackNote& x, const TrackNote& y) { return Same(x, y); });
}

// Voice 0 bar by bar, as the bar table counts the notes of each bar.
Cells CellsOf(const Session& s) {
  Cells cells(static_cast<size_t>(s.form.BarCount()));
  int step = 0;
  for (int b = 0; b < s.form.BarCount(); ++b) {
    const BarNotes& notes = s.barNotes[static_cast<size_t>(b)];
    for (int n = 0; n < kBarEntries && notes[static_cast<size_t>(n)].length != -1; ++n) {
      cells[static_cast<size_t>(b)].push_back(s.noteTrack.at(step++, 0));
    }
  }
  EXPECT_EQ(s.noteTrack.at(step, 0).length, -1);
  return cells;
}

int KeyOf(const TrackNote& cell) {
  return cell.pitch >= 1 && cell.pitch <= 12 ? cell.octave * 12 + cell.pitch - 1 : -1;
}

// The closure computed plainly: the selection, then every later bar with a source inside.
std::vector<bool> Tied(const SongForm& form, int first, int last) {
  std::vector<bool> in(static_cast<size_t>(form.BarCount()), false);
  for (int b = first; b <= last; ++b) in[static_cast<size_t>(b)] = true;
  for (int b = 0; b < form.BarCount(); ++b) {
    for (const auto* sources : {&form.melodySource, &form.motifSource, &form.noteLengthSource}) {
      const int source = (*sources)[static_cast<size_t>(b)];
      if (source >= 0 && source < b && in[static_cast<size_t>(source)]) in[static_cast<size_t>(b)] = true;
    }
  }
  return in;
}

// A session on the shipped files with stored form `form` and its note lengths composed; true
// when the pitch phase gave it a melody.
bool Compose(Session& s, int form) {
  StartUp(s);
  LoadCustomForm(s.Editors(), form);
  NoteLengthGenerator(s.Melody()).Run();
  return PitchGenerator(s.Melody()).Run() == 1;
}

// Every note of the bars is the same in both tables (up to the end of each bar).
bool SameNotes(const BarNoteTable& a, const BarNoteTable& b, int bars) {
  for (size_t bar = 0; bar < static_cast<size_t>(bars); ++bar) {
    for (size_t n = 0; n < static_cast<size_t>(kBarEntries); ++n) {
      const BarNote &x = a[bar][n], &y = b[bar][n];
      if (x.length != y.length || x.pitch != y.pitch || x.octave != y.octave) return false;
      if (x.length == -1) break;
    }
  }
  return true;
}

TEST(BarRemake, TheFormTiesFollowTheReMadeBars) {
  SongForm form = BlankForm();
  form.lastPeriod = 1;  // 16 bars
  const auto tie = [&form](int bar, int source, int level) {  // 1 lengths, 2 motif, 3 melody
    form.noteLengthSource[static_cast<size_t>(bar)] = source;
    if (level >= 2) form.motifSource[static_cast<size_t>(bar)] = source;
    if (level >= 3) form.melodySource[static_cast<size_t>(bar)] = source;
  };
  tie(4, 2, 3);   // repeats bar 2
  tie(9, 4, 1);   // repeats bar 4's lengths: tied to bar 2 at one remove
  tie(12, 1, 2);  // tied to bar 1 only
  tie(3, 0, 3);   // inside a selection 2-3, but its source lies outside
  const std::vector<std::pair<std::pair<int, int>, std::vector<int>>> cases = {
      {{2, 3}, {2, 3, 4, 9}}, {{1, 1}, {1, 12}}, {{15, 15}, {15}}, {{0, 0}, {0, 3}},
      {{14, 20}, {14, 15}}};
  for (const auto& [selection, bars] : cases) {
    EXPECT_EQ(BarsTiedTo(form, selection.first, selection.second), bars) << selection.first;
  }
}

TEST(BarRemake, NotesOutsideStayTiesFollowAndTheJoinsRarelyFall) {
  ScriptedPlatform platform;
  std::mt19937 dice(7);
  int cases = 0, joins = 0, falls = 0, barLines = 0, barLineFalls = 0;
  for (int formIndex = 0; formIndex < 7; ++formIndex) {
    for (uint32_t seed = 1; seed <= 5; ++seed) {
      Session s(platform, SessionOptions{testing::DataDir(), seed});
      if (!Compose(s, formIndex)) continue;
      const int bars = s.form.BarCount();
      for (int pick = 0; pick < 3; ++pick) {
        SCOPED_TRACE("form " + std::to_string(formIndex) + " seed " + std::to_string(seed) +
                     " pick " + std::to_string(pick));
        const int first = std::uniform_int_distribution<int>(0, bars - 1)(dice);
        const int last = std::min(bars - 1, first + std::uniform_int_distribution<int>(0, 7)(dice));
        const Cells before = CellsOf(s);
        const BarNoteTable tableBefore = s.barNotes;
        const RandomSource randomBefore = s.random;
        const ChainState chainBefore = s.chain;
        const BarPatternPair pairsBefore = s.patternPairs;
        const KeyScale scaleBefore = s.keyScale;
        const ChordToneTable tonesBefore = s.chordTones;
        const size_t traceBefore = s.log.text().size();
        const std::optional<BarRemake> remake = RemakeBars(s.Melody(), first, last, RemakeDraws(16));
        ASSERT_TRUE(remake);
        ++cases;
        const std::vector<bool> tied = Tied(s.form, first, last);
        std::vector<int> expected;
        for (int b = 0; b < bars; ++b) {
          if (tied[static_cast<size_t>(b)]) expected.push_back(b);
        }
        ASSERT_EQ(remake->bars, expected);
        const Cells after = CellsOf(s);
        const std::string_view trace = s.log.text().substr(traceBefore);
        for (int b = 0; b < bars; ++b) {
          const auto i = static_cast<size_t>(b);
          int ticks = 0;
          for (const TrackNote& cell : after[i]) ticks += cell.length;
          EXPECT_EQ(ticks, kTicksPerBar) << "bar " << b;
          char line[64];
          std::snprintf(line, sizeof line, "%2d小節：そのまま\n", b + 1);
          EXPECT_EQ(trace.find(line) != std::string_view::npos, !tied[i]) << "bar " << b;
          if (!tied[i]) {
            EXPECT_TRUE(Same(after[i], before[i])) << "kept bar " << b;
            continue;
          }
          // A re-made bar that repeats another bar's melody or lengths still does.
          const int melody = s.form.melodySource[i], lengths = s.form.noteLengthSource[i];
          if (melody >= 0 && melody < b) {
            EXPECT_TRUE(Same(after[i], after[static_cast<size_t>(melody)])) << "bar " << b;
          }
          if (lengths >= 0 && lengths < b) {
            ASSERT_EQ(after[i].size(), after[static_cast<size_t>(lengths)].size()) << "bar " << b;
            for (size_t n = 0; n < after[i].size(); ++n) {
              EXPECT_EQ(after[i][n].length, after[static_cast<size_t>(lengths)][n].length);
            }
          }
        }
        // The joins into and out of every stretch: from the last note before to the first after.
        std::vector<std::pair<int, int>> keys;  // (key, bar)
        for (int b = 0; b < bars; ++b) {
          for (const TrackNote& cell : after[static_cast<size_t>(b)]) {
            if (KeyOf(cell) >= 0) keys.emplace_back(KeyOf(cell), b);
          }
        }
        // A re-made bar that repeats the melody of a kept bar is that bar's again: its joins
        // are the song's own, and no draw can change them.
        std::vector<bool> drawn(tied);
        for (int b = 0; b < bars; ++b) {
          const int melody = s.form.melodySource[static_cast<size_t>(b)];
          if (melody >= 0 && melody < b) drawn[static_cast<size_t>(b)] = drawn[static_cast<size_t>(melody)];
        }
        for (size_t k = 1; k < keys.size(); ++k) {
          if (keys[k].second == keys[k - 1].second) continue;
          const auto here = static_cast<size_t>(keys[k].second);
          const auto there = static_cast<size_t>(keys[k - 1].second);
          const bool join = tied[here] != tied[there] && (drawn[here] || drawn[there]);
          const bool fall = FallsAFourthOrMore(keys[k - 1].first, keys[k].first);
          if (join) {
            ++joins;
            falls += fall ? 1 : 0;
          } else if (tied[static_cast<size_t>(keys[k].second)]) {
            ++barLines;
            barLineFalls += fall ? 1 : 0;
          }
        }
        // The same draws from the same state make the same bars.
        Session again(platform, SessionOptions{testing::DataDir(), seed});
        again.form = s.form;
        again.compositionDb = s.compositionDb;
        again.style = s.style;
        again.barNotes = tableBefore;
        again.patternPairs = pairsBefore;
        again.chain = chainBefore;
        again.keyScale = scaleBefore;
        again.chordTones = tonesBefore;
        again.random = randomBefore;
        int step = 0;
        for (const auto& bar : before) {
          for (const TrackNote& cell : bar) again.noteTrack.at(step++, 0) = cell;
        }
        again.noteTrack.at(step, 0).length = -1;
        const std::optional<BarRemake> twice = RemakeBars(again.Melody(), first, last, RemakeDraws(16));
        ASSERT_TRUE(twice);
        EXPECT_EQ(twice->chosen, remake->chosen);
        const Cells afterAgain = CellsOf(again);
        for (int b = 0; b < bars; ++b) {
          EXPECT_TRUE(Same(afterAgain[static_cast<size_t>(b)], after[static_cast<size_t>(b)]));
        }
        EXPECT_EQ(again.log.text(), trace.substr(trace.starts_with("\n") ? 1 : 0));
      }
    }
  }
  std::printf("%d re-makes: %d of %d joins fall a fourth or more (%.1f %%); inside the re-made "
              "stretches %d of %d bar lines (%.1f %%)\n",
              cases, falls, joins, 100.0 * falls / std::max(1, joins), barLineFalls, barLines,
              100.0 * barLineFalls / std::max(1, barLines));
  EXPECT_GE(cases, 60);
  // With the tuned data of the musical mode 16 of 223 joins fall (7.2 %); neither a heavier fall
  // cost nor twice the draws lowers that, so those falls come from bars the draws cannot change.
  EXPECT_LE(falls * 100, joins * 8);
}

TEST(BarRemake, NewPitchesOverTheSameLengthsComposeExactlyWhatWasChosen) {
  ScriptedPlatform platform;
  Session s(platform, SessionOptions{testing::DataDir(), 11u});
  ASSERT_TRUE(Compose(s, 6));
  const BarNoteTable before = s.barNotes;
  const MelodyChoice choice = ChoosePitches(s.Melody(), 4);
  EXPECT_TRUE(SameNotes(before, s.barNotes, s.form.BarCount()));  // the choice left the song
  ASSERT_GE(choice.score, 0);
  s.random = choice.chosenStart;
  ASSERT_EQ(RunChosenPitches(s.Melody(), choice), 1);
  EXPECT_DOUBLE_EQ(ScoreComposedMelody(s.Melody()), choice.score);
  int changed = 0;
  for (int b = 0; b < s.form.BarCount(); ++b) {
    for (int n = 0; n < kBarEntries; ++n) {
      const BarNote& x = before[static_cast<size_t>(b)][static_cast<size_t>(n)];
      const BarNote& y = s.barNotes[static_cast<size_t>(b)][static_cast<size_t>(n)];
      ASSERT_EQ(x.length, y.length) << b << " " << n;  // every note length stays
      if (x.length == -1) break;
      changed += x.pitch != y.pitch || x.octave != y.octave ? 1 : 0;
    }
  }
  EXPECT_GT(changed, 0);
}

TEST(BarRemake, ASelectionOutsideTheSongOrASongWithoutMelodyChangesNothing) {
  ScriptedPlatform platform;
  Session s(platform, SessionOptions{testing::DataDir(), 3u});
  StartUp(s);
  EXPECT_FALSE(RemakeBars(s.Melody(), 0, 1, 4));  // no melody yet
  NoteLengthGenerator(s.Melody()).Run();
  ASSERT_EQ(PitchGenerator(s.Melody()).Run(), 1);
  const Cells before = CellsOf(s);
  for (const auto& [first, last] : {std::pair{-1, 2}, {3, 2}, {0, s.form.BarCount()}}) {
    EXPECT_FALSE(RemakeBars(s.Melody(), first, last, 4)) << first << "-" << last;
  }
  const Cells after = CellsOf(s);
  for (size_t b = 0; b < before.size(); ++b) EXPECT_TRUE(Same(before[b], after[b]));
}

}  // namespace
}  // namespace vema
