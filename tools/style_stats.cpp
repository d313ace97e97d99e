// style_stats: statistics of the melodies that a note-length database and a melody style give.
//
//   style_stats [--dir DIR] [--ton FILE] [--mld FILE] [--songs N] [--seed S]
//               [--best-of B[,B...]] [--melody-octave auto|-1|0|1|2] [--chain]
//               [--show R [--trace]]
//
// Loads "default.mld", "default.ton" and "default.db" from DIR (default "data"; --ton and --mld
// name other files), composes N songs (default 200) over every stored form with the seeds
// S, S+1, ... (default 1), each the best of B melodies (default 1, the single composition) as
// the compose command makes it, with the melody octave of vema-cli's default (auto with B above
// 1, else 0) unless --melody-octave gives one, each in a fresh session unless --chain keeps one
// session per form (as the program does between compositions), and prints per form and overall
// (for each B of a list, then the critic's measures of all forms side by side):
//   - every measure of the melody critic (critic/melody_critic.h) with the human value: the
//     ending, the moves, the chord tones, the register over the chords, the rhythm and the
//     seams; the song-averaged shares of the signed intervals and of the note-length classes,
//     the mean score, and at the end every target of the shipped data with whether it is met;
//   - the melodic moves: repeated notes, steps (1-2 semitones), thirds (3-4), fourths and
//     fifths (5-7), leaps beyond a fifth (8-12) and beyond an octave (13 and more), and where
//     the leaps beyond a fifth come from (onto the first note of a bar; a note moved by the
//     final octave correction; else the rule of the note);
//   - the share of moves that go on in the direction of the move before (a run up or down the
//     scale) rather than turn back (repeated notes are passed over);
//   - the share of notes that the final octave correction moved up or down;
//   - the range of a song in semitones (lowest to highest melody note): mean, median, 90th
//     percentile and largest, and the share of songs that keep within 18 semitones;
//   - the spread of the bar means (highest minus lowest mean pitch of a bar): how far a
//     melody wanders as a whole;
//   - the share of chord tones among the notes that start on beats 1 and 3, on any beat, and
//     among all notes;
//   - the note lengths: notes per bar, the share of notes of a quarter or longer.
// --show R prints the melody (MIDI keys, "|" between bars) of every song whose range exceeds R
// semitones, with its form and seed, before the final octave correction (with the rule of
// every note in brackets) and after it; --trace adds the generation log of those songs.
// Nothing is written; messages of the program (a refused chord, for example) are counted.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/scripted_platform.h"
#include "app/session.h"
#include "critic_summary.h"
#include "editors/custom_form_store.h"
#include "melody/chord.h"
#include "melody/note_length_generator.h"
#include "melody/pitch_generator.h"
#include "song/binary_io.h"
#include "song/composition_db.h"

namespace {

struct Stats {
  long moves[6] = {};         // repeat, step, third, fourth/fifth, beyond a fifth, beyond an octave
  long leapsIntoBar = 0;      // moves beyond a fifth onto the first note of a bar
  long leapsCorrected = 0;    // ... where one of the two notes was moved by the octave correction
  long leapsByRule[11] = {};  // ... inside a bar, without correction, by the rule of the note
  long raised = 0, lowered = 0;  // notes that the octave correction moved up / down
  long turns = 0, onwards = 0;   // moves against / along the direction of the move before
  long strongBeats = 0, strongChord = 0;
  long beats = 0, beatChord = 0;
  long notes = 0, chordNotes = 0, longNotes = 0;
  long bars = 0;
  long songs = 0, failed = 0, messages = 0;
  std::vector<int> ranges;
  std::vector<int> driftSpans;  // spread of the bar means: how far the melody wanders

  void Add(const Stats& o) {
    for (int i = 0; i < 6; ++i) moves[i] += o.moves[i];
    leapsIntoBar += o.leapsIntoBar;
    leapsCorrected += o.leapsCorrected;
    for (int i = 0; i < 11; ++i) leapsByRule[i] += o.leapsByRule[i];
    raised += o.raised;
    turns += o.turns;
    onwards += o.onwards;
    lowered += o.lowered;
    strongBeats += o.strongBeats;
    strongChord += o.strongChord;
    beats += o.beats;
    beatChord += o.beatChord;
    notes += o.notes;
    chordNotes += o.chordNotes;
    longNotes += o.longNotes;
    bars += o.bars;
    songs += o.songs;
    failed += o.failed;
    messages += o.messages;
    ranges.insert(ranges.end(), o.ranges.begin(), o.ranges.end());
    driftSpans.insert(driftSpans.end(), o.driftSpans.begin(), o.driftSpans.end());
  }
};

int MoveClass(int semitones) {
  const int d = std::abs(semitones);
  if (d == 0) return 0;
  if (d <= 2) return 1;
  if (d <= 4) return 2;
  if (d <= 7) return 3;
  if (d <= 12) return 4;
  return 5;
}

// Adds the melody of the session's last composition to the statistics; returns its range.
int Measure(vema::Session& session, Stats& stats) {
  const vema::SongForm& form = session.form;
  const int bars = form.BarCount();
  // Chord tones of every bar.
  std::vector<vema::ChordToneTable> chords(static_cast<size_t>(bars));
  for (int b = 0; b < bars; ++b) {
    vema::ParseChord(session.chordTones, session.platform(), form.Chord(b));
    chords[static_cast<size_t>(b)] = session.chordTones;
  }
  // The bar table's notes in voice order: their rules, and whether the octave correction moved
  // them.
  std::vector<int> rules;
  std::vector<bool> corrected;
  for (int b = 0; b < bars; ++b) {
    for (int n = 0; n < vema::kBarEntries; ++n) {
      const vema::BarNote& note = session.barNotes[static_cast<size_t>(b)][static_cast<size_t>(n)];
      if (note.length == -1) break;
      const vema::TrackNote& cell = session.noteTrack.at(static_cast<int>(rules.size()), 0);
      rules.push_back(note.rule);
      corrected.push_back(cell.octave != static_cast<int8_t>(note.octave));
      stats.raised += cell.octave > static_cast<int8_t>(note.octave);
      stats.lowered += cell.octave < static_cast<int8_t>(note.octave);
    }
  }
  int tick = 0;
  int previousKey = -1;
  int previousMove = 0;
  bool previousCorrected = false;
  int low = 1000, high = -1000;
  std::vector<long> barSum(static_cast<size_t>(bars), 0), barCount(static_cast<size_t>(bars), 0);
  for (int step = 0; step < vema::kTrackSteps - 1; ++step) {
    const vema::TrackNote& note = session.noteTrack.at(step, 0);
    if (note.length <= 0) break;
    const int bar = tick / vema::kTicksPerBar;
    const int position = tick % vema::kTicksPerBar;
    tick += note.length;
    if (bar >= bars) break;
    if (note.pitch < 1 || note.pitch > 12) continue;  // a rest
    const int key = note.octave * 12 + note.pitch - 1;
    low = std::min(low, key);
    high = std::max(high, key);
    barSum[static_cast<size_t>(bar)] += key;
    ++barCount[static_cast<size_t>(bar)];
    if (previousKey >= 0) {
      const int move = MoveClass(key - previousKey);
      if (key != previousKey) {
        if (previousMove != 0) {
          const bool sameWay = (key > previousKey) == (previousMove > 0);
          stats.onwards += sameWay;
          stats.turns += !sameWay;
        }
        previousMove = key - previousKey;
      }
      ++stats.moves[move];
      const bool correctedHere =
          static_cast<size_t>(step) < corrected.size() && corrected[static_cast<size_t>(step)];
      if (move >= 4) {
        if (position == 0) {
          ++stats.leapsIntoBar;
        } else if (correctedHere || previousCorrected) {
          ++stats.leapsCorrected;
        } else if (static_cast<size_t>(step) < rules.size() &&
                   rules[static_cast<size_t>(step)] >= 0 &&
                   rules[static_cast<size_t>(step)] <= 10) {
          ++stats.leapsByRule[rules[static_cast<size_t>(step)]];
        }
      }
    }
    previousCorrected =
        static_cast<size_t>(step) < corrected.size() && corrected[static_cast<size_t>(step)];
    previousKey = key;
    const bool chordTone =
        vema::FindChordTone(chords[static_cast<size_t>(bar)], note.pitch - 1) >= 0;
    ++stats.notes;
    stats.chordNotes += chordTone;
    stats.longNotes += note.length >= 48;
    if (position % 48 == 0) {
      ++stats.beats;
      stats.beatChord += chordTone;
    }
    if (position % 96 == 0) {
      ++stats.strongBeats;
      stats.strongChord += chordTone;
    }
  }
  if (high >= low) stats.ranges.push_back(high - low);
  double lowMean = 1000, highMean = -1000;
  for (int b = 0; b < bars; ++b) {
    if (barCount[static_cast<size_t>(b)] == 0) continue;
    const double mean = static_cast<double>(barSum[static_cast<size_t>(b)]) /
                        static_cast<double>(barCount[static_cast<size_t>(b)]);
    lowMean = std::min(lowMean, mean);
    highMean = std::max(highMean, mean);
  }
  if (highMean >= lowMean) stats.driftSpans.push_back(static_cast<int>(highMean - lowMean + 0.5));
  stats.bars += bars;
  return high - low;
}

void ShowMelody(const vema::Session& session) {
  std::printf("\n  before the octave correction:");
  for (int b = 0; b < session.form.BarCount(); ++b) {
    if (b > 0) std::printf(" |");
    for (int n = 0; n < vema::kBarEntries; ++n) {
      const vema::BarNote& note = session.barNotes[static_cast<size_t>(b)][static_cast<size_t>(n)];
      if (note.length == -1) break;
      std::printf(" %d(%d)", note.pitch == 0 ? 0 : note.octave * 12 + note.pitch - 1, note.rule);
    }
  }
  std::printf("\n  after:");
  int tick = 0;
  for (int step = 0; step < vema::kTrackSteps - 1; ++step) {
    const vema::TrackNote& note = session.noteTrack.at(step, 0);
    if (note.length <= 0) break;
    if (tick > 0 && tick % vema::kTicksPerBar == 0) std::printf(" |");
    std::printf(" %d", note.pitch == 0 ? 0 : note.octave * 12 + note.pitch - 1);
    tick += note.length;
  }
  std::printf("\n");
}

double Share(long part, long whole) {
  return whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

void Print(const char* title, Stats s) {
  long moves = 0;
  for (long m : s.moves) moves += m;
  std::sort(s.ranges.begin(), s.ranges.end());
  std::sort(s.driftSpans.begin(), s.driftSpans.end());
  double rangeMean = 0;
  long within = 0;
  for (int r : s.ranges) {
    rangeMean += r;
    within += r <= 18;
  }
  if (!s.ranges.empty()) rangeMean /= static_cast<double>(s.ranges.size());
  auto percentile = [](const std::vector<int>& v, double p) {
    return v.empty()
               ? 0
               : v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
  };
  std::printf("%s\n", title);
  std::printf(
      "  songs %ld (failed %ld, messages %ld), notes per bar %.2f, quarter or longer %.1f%%\n",
      s.songs, s.failed, s.messages,
      s.bars ? static_cast<double>(s.notes) / static_cast<double>(s.bars) : 0.0,
      Share(s.longNotes, s.notes));
  std::printf(
      "  moves: repeat %.1f%%  step %.1f%%  third %.1f%%  4th-5th %.1f%%  >5th %.1f%%  >octave "
      "%.1f%%\n",
      Share(s.moves[0], moves), Share(s.moves[1], moves), Share(s.moves[2], moves),
      Share(s.moves[3], moves), Share(s.moves[4], moves), Share(s.moves[5], moves));
  const long leaps = s.moves[4] + s.moves[5];
  std::printf(
      "  moves beyond a fifth: onto a bar's first note %.1f%%, by the octave correction %.1f%%, by "
      "rule:",
      Share(s.leapsIntoBar, leaps), Share(s.leapsCorrected, leaps));
  for (int r = 0; r <= 10; ++r) {
    if (s.leapsByRule[r] != 0) std::printf(" %d:%.1f%%", r, Share(s.leapsByRule[r], leaps));
  }
  std::printf("\n");
  std::printf("  moves that go on in the direction of the move before: %.1f%%\n",
              Share(s.onwards, s.onwards + s.turns));
  std::printf("  notes moved by the octave correction: raised %.1f%%  lowered %.1f%%\n",
              Share(s.raised, s.notes), Share(s.lowered, s.notes));
  std::printf("  range (semitones): mean %.1f  median %d  90%% %d  max %d  within 18: %.1f%%\n",
              rangeMean, percentile(s.ranges, 0.5), percentile(s.ranges, 0.9),
              s.ranges.empty() ? 0 : s.ranges.back(),
              Share(within, static_cast<long>(s.ranges.size())));
  std::printf("  spread of bar means: median %d  90%% %d  max %d\n", percentile(s.driftSpans, 0.5),
              percentile(s.driftSpans, 0.9), s.driftSpans.empty() ? 0 : s.driftSpans.back());
  std::printf("  chord tones: beats 1 and 3 %.1f%%  all beats %.1f%%  all notes %.1f%%\n",
              Share(s.strongChord, s.strongBeats), Share(s.beatChord, s.beats),
              Share(s.chordNotes, s.notes));
}

// The critic's measures of a set of songs, one line each.
void PrintCritic(const vema::tools::CriticSummary& c) {
  std::printf("  critic (%d songs measured, mean score %.1f):\n", c.songs - c.failed,
              c.MeanScore());
  for (const auto& rows : {vema::tools::TargetRows(c), vema::tools::InfoRows(c)}) {
    for (const vema::tools::TargetRow& row : rows) {
      if (row.human == vema::tools::kNoHuman) {
        std::printf("    %-40s %7.3f\n", row.name, row.value);
      } else {
        std::printf("    %-40s %7.3f   (human %.3g)\n", row.name, row.value, row.human);
      }
    }
  }
  std::printf("    songs whose melody spans more than two octaves: %d\n", c.wideSongs);
  std::printf("    songs with a melody note below key 36 or above 96: %d\n", c.lowOrHighSongs);
  std::printf("    note lengths (%%): 16th, 8th, dotted 8th, quarter, dotted quarter, half, dotted half, "
              "whole+, other:");
  int64_t lengths = 0;
  for (int64_t n : c.lengthClasses) lengths += n;
  for (int64_t n : c.lengthClasses) {
    std::printf(" %.1f", lengths > 0 ? 100.0 * static_cast<double>(n) / lengths : 0.0);
  }
  std::printf("\n");
  std::printf("    signed intervals -12..+12 (%%):");
  for (double share : c.IntervalPercent()) std::printf(" %.1f", share);
  std::printf("\n");
}

// Every target with its bound and whether it is met.
void PrintTargets(const vema::tools::CriticSummary& c) {
  std::printf("targets (all forms):\n");
  int missed = 0;
  for (const vema::tools::TargetRow& row : vema::tools::TargetRows(c)) {
    char bound[48];
    if (row.low > -1e8 && row.high < 1e8) {
      std::snprintf(bound, sizeof bound, "%g..%g", row.low, row.high);
    } else if (row.low > -1e8) {
      std::snprintf(bound, sizeof bound, ">= %g", row.low);
    } else {
      std::snprintf(bound, sizeof bound, "<= %g", row.high);
    }
    std::printf("  %-40s %7.3f  %-10s %s\n", row.name, row.value, bound,
                row.Met() ? "met" : "MISSED");
    missed += row.Met() ? 0 : 1;
  }
  std::printf("  %d of %zu targets missed\n", missed, vema::tools::TargetRows(c).size());
}

int Usage() {
  std::fprintf(
      stderr,
      "usage: style_stats [--dir DIR] [--ton FILE] [--mld FILE] [--songs N] [--seed S]"
      " [--best-of N[,N...]] [--melody-octave auto|-1|0|1|2] [--chain] [--show R [--trace]]\n");
  return 2;
}

struct Options {
  std::optional<int32_t> melodyOctave;  // none: vema-cli's default for the best-of count
  int songs = 200;
  uint32_t seed = 1;
  bool chain = false;
  int show = 1000;
  bool trace = false;
};

// Every statistic of the songs of every stored form, each the best of `bestOf`; returns the
// critic's summary of all forms.
vema::tools::CriticSummary Report(const vema::tools::ComposerData& data, const Options& o,
                                  int bestOf) {
  std::printf("=== best of %d, seeds %u..%u\n", bestOf, o.seed,
              o.seed + static_cast<uint32_t>(o.songs) - 1);
  Stats total;
  vema::tools::CriticSummary criticTotal;
  for (int f = 0; f < data.forms.Count(); ++f) {
    Stats stats;
    vema::tools::CriticSummary critic;
    vema::ScriptedPlatform platform;
    std::unique_ptr<vema::Session> session;
    for (int n = 0; n < o.songs; ++n) {
      const uint32_t songSeed = o.seed + static_cast<uint32_t>(n);
      if (!o.chain || !session) {
        platform.messages.clear();
        session = vema::tools::SongSession(platform, data, f, songSeed, o.trace);
      }
      const size_t before = platform.messages.size();
      const bool ok = vema::tools::ComposeMelody(
          *session, bestOf, o.melodyOctave.value_or(vema::tools::DefaultMelodyOctave(bestOf)));
      ++stats.songs;
      stats.failed += ok ? 0 : 1;
      stats.messages += static_cast<long>(platform.messages.size() - before);
      if (!ok) {
        ++critic.songs;
        ++critic.failed;
        continue;
      }
      vema::tools::AddSong(critic, *session);
      if (Measure(*session, stats) > o.show) {
        std::printf("form %d seed %u:", f, songSeed);
        ShowMelody(*session);
        if (o.trace) {
          const std::string_view trace = session->log.text();
          std::printf("%.*s\n", static_cast<int>(trace.size()), trace.data());
        }
      }
    }
    const std::string title =
        "form " + std::to_string(f) + " (" +
        std::to_string(data.forms.forms[static_cast<size_t>(f)].BarCount()) + " bars)";
    Print(title.c_str(), stats);
    PrintCritic(critic);
    total.Add(stats);
    criticTotal.Add(critic);
  }
  Print("all forms", total);
  PrintCritic(criticTotal);
  PrintTargets(criticTotal);
  return criticTotal;
}

// The critic's measures of all forms side by side for every best-of count.
void PrintSideBySide(const std::vector<int>& counts,
                     const std::vector<vema::tools::CriticSummary>& summaries) {
  std::printf("=== all forms side by side\n  %-40s %8s", "measure", "human");
  for (int count : counts) std::printf("  best of %-4d", count);
  std::printf("\n");
  for (auto rowsOf : {vema::tools::TargetRows, vema::tools::InfoRows}) {
    const size_t rows = rowsOf(summaries.front()).size();
    for (size_t r = 0; r < rows; ++r) {
      const vema::tools::TargetRow first = rowsOf(summaries.front())[r];
      if (first.human == vema::tools::kNoHuman) {
        std::printf("  %-40s %8s", first.name, "-");
      } else {
        std::printf("  %-40s %8.3g", first.name, first.human);
      }
      for (const vema::tools::CriticSummary& s : summaries) {
        const vema::tools::TargetRow row = rowsOf(s)[r];
        std::printf("  %8.3f %-4s", row.value, row.Met() ? "" : "(x)");
      }
      std::printf("\n");
    }
  }
  std::printf("  %-40s %8s", "mean score", "");
  for (const vema::tools::CriticSummary& s : summaries) std::printf("  %8.1f     ", s.MeanScore());
  std::printf("\n  (x): the target is missed\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = "data";
  std::string ton, mld;
  Options o;
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--dir" && hasValue) {
      dir = argv[++i];
    } else if (arg == "--ton" && hasValue) {
      ton = argv[++i];
    } else if (arg == "--mld" && hasValue) {
      mld = argv[++i];
    } else if (arg == "--songs" && hasValue) {
      o.songs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--seed" && hasValue) {
      o.seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--show" && hasValue) {
      o.show = std::atoi(argv[++i]);
    } else if (arg == "--trace") {
      o.trace = true;
    } else if (arg == "--best-of" && hasValue) {
      // A list: "1,16".
      for (const char* p = argv[++i]; *p != '\0';) {
        char* end = nullptr;
        const long count = std::strtol(p, &end, 10);
        if (end == p) return Usage();
        counts.push_back(static_cast<int>(std::clamp<long>(count, vema::kMinBestOf,
                                                           vema::kMaxBestOf)));
        p = *end == ',' ? end + 1 : end;
        if (*end != ',' && *end != '\0') return Usage();
      }
    } else if (arg == "--melody-octave" && hasValue) {
      const std::string value = argv[++i];
      if (value == "auto") {
        o.melodyOctave = vema::kAutoMelodyOctave;
      } else {
        char* end = nullptr;
        const long octave = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || octave < vema::kMinMelodyOctave ||
            octave > vema::kMaxMelodyOctave) {
          return Usage();
        }
        o.melodyOctave = static_cast<int32_t>(octave);
      }
    } else if (arg == "--chain") {
      o.chain = true;
    } else {
      return Usage();
    }
  }
  if (counts.empty()) counts.push_back(1);
  if (ton.empty()) ton = dir + "/default.ton";
  if (mld.empty()) mld = dir + "/default.mld";

  vema::ScriptedPlatform loadPlatform;
  vema::tools::ComposerData data;
  const auto formBytes = vema::ReadFileBytes(dir + "/default.db", vema::kCustomFormFileBytes);
  if (!vema::CompositionDbLoader(mld).Load(data.db, loadPlatform) ||
      !data.style.Load(ton, loadPlatform) || !formBytes) {
    std::fprintf(stderr, "cannot read the files in %s\n", dir.c_str());
    return 1;
  }
  vema::DecodeCustomForms(*formBytes, data.forms);

  std::vector<vema::tools::CriticSummary> summaries;
  for (int count : counts) summaries.push_back(Report(data, o, count));
  if (counts.size() > 1) PrintSideBySide(counts, summaries);
  return 0;
}
