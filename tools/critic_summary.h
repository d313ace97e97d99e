// The melody critic's measures summed over many songs, the targets the shipped data is tuned
// toward, and the melody of one song of a stored form with a seed and a best-of count, as the
// compose command makes it.  Shared by style_stats and tune_style.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/session.h"
#include "critic/melody_choice.h"
#include "critic/melody_critic.h"
#include "critic/silent_platform.h"
#include "melody/chord.h"
#include "melody/note_length_generator.h"
#include "melody/pitch_generator.h"

namespace vema::tools {

struct CriticSummary {
  int songs = 0;
  int failed = 0;  // songs whose pitch phase failed (not measured)
  Share lastTonic, lastTriad;
  Share sevenths, leaps, reversals, repeats, strongBeats, phraseEnds, degrees;
  std::vector<int> ranges;
  std::array<double, kIntervalBins> intervalShares{};  // each song's shares, summed
  int songsWithMoves = 0;
  int wideSongs = 0;  // songs whose melody spans more than two octaves: no voice sings them
  // Songs with a melody note below key 36 or above 96 (out of reach; tune_style adds single
  // compositions of more seeds).
  int lowOrHighSongs = 0;
  double scoreSum = 0;
  // Register and rhythm.
  Share above, aboveOnBeats13, finalLong, barLineFalls, sparseBars, offGrid;
  std::array<int64_t, kKeys> keys{};       // melody notes per MIDI key
  std::array<int64_t, kKeys> chordKeys{};  // chord voicing keys, once per bar
  Mean phraseEndLongest, otherLongest;
  Mean entropy;  // of every song's note lengths, in bits
  std::array<int64_t, kLengthKinds> lengthClasses{};  // notes per length class

  void Add(const MelodyMeasures& m) {
    ++songs;
    wideSongs += m.range > 24 ? 1 : 0;
    if (m.hasLastNote) {
      lastTonic.Add(m.lastIsTonic);
      lastTriad.Add(m.lastInTonicTriad);
    }
    sevenths.Add(m.seventhsAndNinths);
    leaps.Add(m.leapsBeyondFifth);
    reversals.Add(m.reversals);
    repeats.Add(m.repeatedNotes);
    strongBeats.Add(m.strongBeatChordTones);
    phraseEnds.Add(m.phraseEndChordTones);
    degrees.Add(m.triadDegrees);
    if (m.notes > 0) ranges.push_back(m.range);
    if (m.moves > 0) {
      ++songsWithMoves;
      for (size_t k = 0; k < intervalShares.size(); ++k) {
        intervalShares[k] += static_cast<double>(m.intervals[k]) / m.moves;
      }
    }
    scoreSum += ScoreMelody(m);
    above.Add(m.aboveChords);
    aboveOnBeats13.Add(m.aboveChordsOnBeats13);
    if (m.hasLastNote) finalLong.Add(m.finalLong);
    barLineFalls.Add(m.barLineFalls);
    sparseBars.Add(m.sparseBars);
    offGrid.Add(m.offEighthGrid);
    for (size_t k = 0; k < keys.size(); ++k) keys[k] += m.keys[k];
    phraseEndLongest.Add(m.phraseEndLongest);
    otherLongest.Add(m.otherLongest);
    if (m.notes > 0) entropy.Add(LengthEntropy(m));
    for (size_t k = 0; k < lengthClasses.size(); ++k) lengthClasses[k] += m.lengthClasses[k];
  }

  void Add(const CriticSummary& o) {
    songs += o.songs;
    failed += o.failed;
    lastTonic.Add(o.lastTonic);
    lastTriad.Add(o.lastTriad);
    for (auto [mine, theirs] : {std::pair{&sevenths, &o.sevenths}, {&leaps, &o.leaps},
                                {&reversals, &o.reversals}, {&repeats, &o.repeats},
                                {&strongBeats, &o.strongBeats}, {&phraseEnds, &o.phraseEnds},
                                {&degrees, &o.degrees}}) {
      mine->Add(*theirs);
    }
    ranges.insert(ranges.end(), o.ranges.begin(), o.ranges.end());
    for (size_t k = 0; k < intervalShares.size(); ++k) intervalShares[k] += o.intervalShares[k];
    songsWithMoves += o.songsWithMoves;
    wideSongs += o.wideSongs;
    lowOrHighSongs += o.lowOrHighSongs;
    scoreSum += o.scoreSum;
    for (auto [mine, theirs] :
         {std::pair{&above, &o.above}, {&aboveOnBeats13, &o.aboveOnBeats13},
          {&finalLong, &o.finalLong}, {&barLineFalls, &o.barLineFalls},
          {&sparseBars, &o.sparseBars}, {&offGrid, &o.offGrid}}) {
      mine->Add(*theirs);
    }
    for (size_t k = 0; k < keys.size(); ++k) {
      keys[k] += o.keys[k];
      chordKeys[k] += o.chordKeys[k];
    }
    phraseEndLongest.Add(o.phraseEndLongest);
    otherLongest.Add(o.otherLongest);
    entropy.Add(o.entropy);
    for (size_t k = 0; k < lengthClasses.size(); ++k) lengthClasses[k] += o.lengthClasses[k];
  }

  static int Median(const std::array<int64_t, kKeys>& counts) {
    int64_t total = 0, seen = 0;
    for (int64_t n : counts) total += n;
    for (int key = 0; key < kKeys && total > 0; ++key) {
      seen += counts[static_cast<size_t>(key)];
      if (2 * seen >= total) return key;
    }
    return -1;
  }
  int MedianKey() const { return Median(keys); }
  int MedianChordKey() const { return Median(chordKeys); }
  double Lengthening() const { return PhraseEndLengthening(phraseEndLongest, otherLongest); }

  double MedianRange() const {
    if (ranges.empty()) return 0;
    std::vector<int> sorted = ranges;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2.0;
  }

  // The song-averaged shares of the signed intervals, in percent.
  std::array<double, kIntervalBins> IntervalPercent() const {
    std::array<double, kIntervalBins> out{};
    for (size_t k = 0; k < out.size(); ++k) {
      out[k] = songsWithMoves > 0 ? 100.0 * intervalShares[k] / songsWithMoves : 0.0;
    }
    return out;
  }

  double Divergence() const {
    const std::array<double, kIntervalBins> mine = IntervalPercent();
    return JensenShannon(mine, kHumanIntervalPercent);
  }

  double MeanScore() const { return songs > failed ? scoreSum / (songs - failed) : 0.0; }
};

// One target: a measure in percent (or semitones, or a divergence), its bound and whether the
// bound is a floor or a ceiling; the measure also has the human value for comparison.
inline constexpr double kNoHuman = -1;  // no human value to compare with

struct TargetRow {
  const char* name;
  double value;
  double low;   // the target is value >= low (-inf: no floor)
  double high;  // ... and value <= high (+inf: no ceiling)
  double human;
  double scale;  // how far off counts as one unit when tuning

  bool Met() const { return value >= low && value <= high; }
  // How far outside the target, in units of scale (0 when met).
  double Miss() const {
    if (value < low) return (low - value) / scale;
    if (value > high) return (value - high) / scale;
    return 0.0;
  }
};

inline std::vector<TargetRow> TargetRows(const CriticSummary& s) {
  constexpr double kNone = 1e9;
  auto pct = [](const Share& share) { return 100.0 * share.Value(); };
  return {
      {"last note is the tonic (%)", pct(s.lastTonic), 85, kNone, 92, 5},
      {"last note in the tonic triad (%)", pct(s.lastTriad), 95, kNone, 95, 2},
      {"moves of a 7th or 9th (%)", pct(s.sevenths), -kNone, 1.0, 0.6, 0.3},
      {"leaps beyond a fifth (%)", pct(s.leaps), -kNone, 4.0, 3.5, 1},
      {"direction reversals (%)", pct(s.reversals), -kNone, 60, 49, 3},
      {"repeated notes (%)", pct(s.repeats), 8, kNone, 9.9, 1},
      {"chord tones on beats 1 and 3 (%)", pct(s.strongBeats), 85, kNone, 87, 2},
      {"last note of bars 4k a chord tone (%)", pct(s.phraseEnds), 80, kNone, 80, 3},
      {"notes on degrees 1-3-5 (%)", pct(s.degrees), 52, kNone, 55, 2},
      {"median range (semitones)", s.MedianRange(), 12, 18, 17, 1},
      {"interval divergence from human (JS)", s.Divergence(), -kNone, 0.02, 0, 0.005},
      {"notes above the chord track's top (%)", pct(s.above), 80, kNone, kNoHuman, 3},
      {"median melody key", static_cast<double>(s.MedianKey()), 67, 76, 72, 1},
      {"final note long, on beat 1 or 3 (%)", pct(s.finalLong), 90, kNone, 40, 3},
      {"falls of a 4th+ at bar lines (%)", pct(s.barLineFalls), -kNone, 7, 5.3, 1},
      {"bars with 1-2 notes (%)", pct(s.sparseBars), 9, kNone, 12.3, 1},
      {"notes off the eighth grid (%)", pct(s.offGrid), -kNone, 3, 1.9, 0.5},
      {"phrase-end lengthening (ratio)", s.Lengthening(), 1.2, kNone, 1.12, 0.03},
      {"note-length entropy (bits)", s.entropy.Value(), -kNone, 1.45, 1.13, 0.05},
  };
}

// Measures shown beside the targets, without a target of their own.
inline std::vector<TargetRow> InfoRows(const CriticSummary& s) {
  constexpr double kNone = 1e9;
  auto pct = [](const Share& share) { return 100.0 * share.Value(); };
  return {
      {"  ... of them on beats 1 and 3 (%)", pct(s.aboveOnBeats13), -kNone, kNone, kNoHuman, 1},
      {"median chord key", static_cast<double>(s.MedianChordKey()), -kNone, kNone, kNoHuman,
       1},
  };
}

// The loaded files a song is composed from.
struct ComposerData {
  CompositionDb db;
  MelodyStyleDb style;
  CustomFormTable forms;
};

// A fresh session (as the program is after start-up) over the data, with stored form `form`
// and the random seed; its trace is kept only when asked for.
inline std::unique_ptr<Session> SongSession(Platform& platform, const ComposerData& data,
                                            int form, uint32_t seed, bool keepTrace = false) {
  auto s = std::make_unique<Session>(platform, SessionOptions{".", seed});
  s->compositionDb = data.db;
  s->style = data.style;
  s->form = data.forms.forms[static_cast<size_t>(form)];
  if (!keepTrace) s->log.Mute();
  return s;
}

// Puts a session made by SongSession back into the state of a fresh one with another seed,
// without allocating: everything the melody phases read from an earlier composition is
// cleared (the bar tables, the note track as far as a song of the form reaches, the chord
// tones, the key scale and the chain state) and the random source starts anew.
inline void RestartSession(Session& s, uint32_t seed) {
  Platform* platform = s.random.platform();
  s.random = RandomSource(seed);
  s.random.SetPlatform(platform);
  s.barNotes = {};
  s.patternPairs = {};
  const int steps = std::min(kTrackSteps, s.form.BarCount() * kBarEntries + 1);
  for (int step = 0; step < steps; ++step) s.noteTrack.at(step, 0) = s.noteTrack.at(step, 1) = {};
  s.chordTones = {};
  s.keyScale = kInitialKeyScale;
  s.chain = {};
}

// The melody octave setting that goes with a best-of count by default (as on the command line).
inline int32_t DefaultMelodyOctave(int bestOf) { return bestOf > 1 ? kAutoMelodyOctave : 0; }

// The melody phases of a composition as the compose command runs them with a best-of count and
// a melody octave: the note lengths and pitches of the chosen melody, shifted.  True when the
// pitch phase succeeded.
inline bool ComposeMelody(Session& s, int bestOf, int32_t melodyOctave) {
  std::optional<MelodyChoice> choice;
  if (bestOf > 1) {
    choice = ChooseMelody(s.Melody(), bestOf);
    s.random = choice->chosenStart;
    RunChosenLengths(s.Melody(), *choice);
  } else {
    NoteLengthGenerator(s.Melody()).Run();
  }
  const bool ok = (choice ? RunChosenPitches(s.Melody(), *choice)
                          : PitchGenerator(s.Melody()).Run()) != 0;
  if (choice) s.random = choice->end;
  if (ok) ApplyMelodyOctave(s.Melody(), melodyOctave);
  return ok;
}
inline bool ComposeMelody(Session& s, int bestOf) {
  return ComposeMelody(s, bestOf, DefaultMelodyOctave(bestOf));
}

// Whether a melody note of a composed song lies out of a voice's reach (below key 36 or above
// 96).
inline bool OutOfReach(std::span<const CriticNote> melody) {
  return std::any_of(melody.begin(), melody.end(), [](const CriticNote& n) {
    return n.key >= 0 && (n.key < 36 || n.key > 96);
  });
}

// Adds the measures of the melody of a composed song to the summary.
inline void AddSong(CriticSummary& summary, const Session& s) {
  const std::vector<CriticNote> melody = MelodyOfTrack(s.noteTrack);
  summary.Add(MeasureMelody(melody, HarmonyOfForm(s.form)));
  summary.lowOrHighSongs += OutOfReach(melody) ? 1 : 0;
  // The chord track's keys, as the MIDI writer voices them.
  SilentPlatform silent;
  GenerationLog quiet;
  quiet.Mute();
  ChordToneTable tones{};
  std::vector<std::vector<int32_t>> voicings;
  std::vector<int32_t> bassNotes;
  BuildChordVoicing(s.form, tones, silent, quiet, voicings, bassNotes);
  for (const std::vector<int32_t>& bar : voicings) {
    for (int32_t key : bar) {
      if (key == kListEnd) break;
      if (key >= 0 && key < kKeys) ++summary.chordKeys[static_cast<size_t>(key)];
    }
  }
}

}  // namespace vema::tools
