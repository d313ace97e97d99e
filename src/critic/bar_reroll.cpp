#include "critic/bar_reroll.h"

#include <algorithm>
#include <cstdlib>

#include "critic/melody_choice.h"
#include "critic/melody_critic.h"
#include "critic/hidden_context.h"
#include "melody/melody_state.h"
#include "melody/note_length_generator.h"
#include "melody/pitch_generator.h"

namespace vema {

namespace {

constexpr double kFailed = -1e9;
// The joins: a fall of a fourth or more across a bar line costs more than any other leap.
constexpr double kBarLineFall = 8, kSeventh = 6, kLeap = 3, kFifth = 1, kTurn = 1.5;

int NotesOfBar(const BarNotes& notes) {
  int n = 0;
  while (n < kBarEntries && notes[static_cast<size_t>(n)].length != -1) ++n;
  return n;
}

int KeyOf(const TrackNote& cell) {
  return cell.pitch >= 1 && cell.pitch <= 12 ? cell.octave * 12 + cell.pitch - 1 : -1;
}

using CellsByBar = std::vector<std::vector<TrackNote>>;

// The cells of voice 0 bar by bar, as the bar table counts the notes of each bar; nullopt when
// the voice holds no melody or does not match the bar table (a pitch phase that failed).
std::optional<CellsByBar> SplitMelody(const MelodyContext& c) {
  const int bars = c.form.BarCount();
  if (c.noteTrack.at(0, 0).length <= 0) return std::nullopt;
  CellsByBar cells(static_cast<size_t>(bars));
  int step = 0;
  for (int b = 0; b < bars; ++b) {
    const BarNotes& notes = c.barNotes[static_cast<size_t>(b)];
    for (int n = 0; n < NotesOfBar(notes); ++n, ++step) {
      if (step >= kTrackSteps - 1) return std::nullopt;
      const TrackNote& cell = c.noteTrack.at(step, 0);
      if (cell.length != notes[static_cast<size_t>(n)].length || cell.length <= 0) {
        return std::nullopt;
      }
      cells[static_cast<size_t>(b)].push_back(cell);
    }
  }
  if (c.noteTrack.at(step, 0).length != -1) return std::nullopt;
  return cells;
}

// What one draw changes besides voice 0: the bar tables and the melody state.
struct Snapshot {
  explicit Snapshot(const MelodyContext& c)
      : barNotes(c.barNotes),
        patternPairs(c.patternPairs),
        chordTones(c.chordTones),
        keyScale(c.keyScale),
        chain(c.chain) {}
  void Restore(const MelodyContext& c) const {
    c.barNotes = barNotes;
    c.patternPairs = patternPairs;
    c.chordTones = chordTones;
    c.keyScale = keyScale;
    c.chain = chain;
  }
  BarNoteTable barNotes;
  BarPatternPair patternPairs;
  ChordToneTable chordTones;
  KeyScale keyScale;
  ChainState chain;
};

// The melody state at the start of bar `bar` as the bar table leaves it: the bar before's last
// note, and the direction of the move onto it.
void StateBefore(const MelodyContext& c, PitchGenerator& g, int bar) {
  if (bar == 0) return;
  std::vector<const BarNote*> last;
  for (int b = bar - 1; b >= 0 && last.size() < 2; --b) {
    const BarNotes& notes = c.barNotes[static_cast<size_t>(b)];
    for (int n = NotesOfBar(notes) - 1; n >= 0 && last.size() < 2; --n) {
      last.push_back(&notes[static_cast<size_t>(n)]);
    }
  }
  if (last.empty()) return;
  g.tone_bak = static_cast<int8_t>(last[0]->pitch);
  g.oct_bak = static_cast<int8_t>(last[0]->octave);
  if (last.size() == 2) {
    const int now = last[0]->octave * 12 + last[0]->pitch;
    const int before = last[1]->octave * 12 + last[1]->pitch;
    g.edu = now > before ? 2 : now < before ? 1 : 0;
  }
}

// One draw of the re-made bars through the phases of a composition (note lengths, rules,
// pitches), each over the re-made bars only.  False when a bar could not be decided.
bool DrawBars(const MelodyContext& c, const std::vector<int>& bars) {
  NoteLengthGenerator lengths(c);
  for (int b : bars) lengths.GenerateCopyBar(b);  // a bar without a source is drawn anew
  PitchGenerator g(c);
  for (int b : bars) g.MergeTies(b);
  for (int b : bars) {
    c.log.Appendf("%2d小節***********************\n", b);
    if (EarlierBar(c.form.motifSource[static_cast<size_t>(b)], b) == -1) {
      g.GenerateMotifBar(b);
    } else {
      g.CopyMotifBar(b);
    }
  }
  c.log.Append("------------------モチーフ音長フェーズ------------------\n");
  for (int b : bars) {
    const BarNotes& notes = c.barNotes[static_cast<size_t>(b)];
    c.log.Appendf("%2d小節：", b);
    for (int n = 0; n < NotesOfBar(notes); ++n) {
      c.log.Appendf("%d(%d)→", notes[static_cast<size_t>(n)].length,
                    notes[static_cast<size_t>(n)].rule);
    }
    c.log.Append("\n");
  }
  if (c.compositionDb.loaded == 0) return false;
  int previous = -2;
  for (int b : bars) {
    if (b != previous + 1) StateBefore(c, g, b);
    previous = b;
    if (EarlierBar(c.form.melodySource[static_cast<size_t>(b)], b) != -1) {
      if (!FillsBar(c.barNotes[static_cast<size_t>(b)])) return false;
      g.CopyBarMelody(b);
    } else if (g.DecideBarNotes(b / kBarsPerPeriod, b % kBarsPerPeriod) == 0) {
      return false;
    }
  }
  return true;
}

// The re-made bars as voice 0 will hold them: flattened and corrected against the song's first
// note as the pitch phase corrects every note (traced when the context's log is live).
void FinishBars(const MelodyContext& c, const std::vector<int>& bars, CellsByBar& cells) {
  const BarNote& first = c.barNotes[0][0];
  const int8_t firstOctave = static_cast<int8_t>(first.octave);
  for (int b : bars) {
    std::vector<TrackNote>& out = cells[static_cast<size_t>(b)];
    out.clear();
    const BarNotes& notes = c.barNotes[static_cast<size_t>(b)];
    for (int n = 0; n < NotesOfBar(notes); ++n) {
      const BarNote& note = notes[static_cast<size_t>(n)];
      TrackNote cell{note.length, note.pitch, static_cast<int8_t>(note.octave)};
      const int x = Interval(c, cell.pitch, first.pitch, cell.octave, firstOctave);
      if (x < -4) cell.octave = static_cast<int8_t>(cell.octave + 1);
      if (x > 12) cell.octave = static_cast<int8_t>(cell.octave - 1);
      out.push_back(cell);
    }
  }
}

// The penalty of a move across a join, in the bar fit's units.
double JoinCost(int from, int to, int moveBefore) {
  const int move = to - from;
  const int size = std::abs(move);
  double cost = 0;
  if (size == 10 || size == 11 || size == 13 || size == 14) cost += kSeventh;
  if (size > 7) cost += kLeap;
  if (size == 7) cost += kFifth;
  if (FallsAFourthOrMore(from, to)) cost += kBarLineFall;
  if (move != 0 && moveBefore != 0 && (move > 0) != (moveBefore > 0)) cost += kTurn;
  return cost;
}

// The fit of a draw: the bar fit of every re-made bar, each stretch started from the notes before
// it, and the joins into and out of every stretch.
double FitOfDraw(const MelodyContext& c, const std::vector<int>& bars, const CellsByBar& cells,
                 const std::vector<BarHarmony>& harmony) {
  const int count = c.form.BarCount();
  std::vector<bool> remade(static_cast<size_t>(count), false);
  for (int b : bars) remade[static_cast<size_t>(b)] = true;
  // Every note's key in song order, with the bar it is in.
  std::vector<std::pair<int, int>> keys;  // (key, bar)
  for (int b = 0; b < count; ++b) {
    for (const TrackNote& cell : cells[static_cast<size_t>(b)]) {
      if (KeyOf(cell) >= 0) keys.emplace_back(KeyOf(cell), b);
    }
  }
  const BarNote& first = c.barNotes[0][0];
  BarFit fit;
  fit.started = true;
  fit.firstPitch = first.pitch;
  fit.firstOctave = first.octave;
  double total = 0;
  size_t k = 0;  // the first key of the bar being scored
  for (int b = 0; b < count; ++b) {
    while (k < keys.size() && keys[k].second < b) ++k;
    if (!remade[static_cast<size_t>(b)]) continue;
    const bool starts = b == 0 || !remade[static_cast<size_t>(b - 1)];
    if (starts) {
      // The notes before the stretch, as the song has them.
      fit.previous = k >= 1 ? keys[k - 1].first : -1;
      fit.previousMove = k >= 2 ? keys[k - 1].first - keys[k - 2].first : 0;
      if (k >= 1 && k < keys.size() && keys[k].second == b &&
          FallsAFourthOrMore(keys[k - 1].first, keys[k].first)) {
        total -= kBarLineFall;
      }
    }
    total += fit.Add(c.barNotes[static_cast<size_t>(b)], harmony[static_cast<size_t>(b)],
                     (b + 1) % 4 == 0, b + 1 == count);
    const bool ends = b + 1 < count && !remade[static_cast<size_t>(b + 1)];
    if (ends) {
      // The join out of the stretch: its last note to the next note kept.
      size_t next = k;
      while (next < keys.size() && keys[next].second <= b) ++next;
      if (next >= 1 && next < keys.size() && keys[next - 1].second == b) {
        const int moveBefore = next >= 2 ? keys[next - 1].first - keys[next - 2].first : 0;
        total -= JoinCost(keys[next - 1].first, keys[next].first, moveBefore);
      }
    }
  }
  return total;
}

void TraceHowBarsWereMade(const MelodyContext& c, int first, int last,
                          const std::vector<int>& bars, int chosen) {
  const int count = c.form.BarCount();
  std::vector<bool> remade(static_cast<size_t>(count), false);
  for (int b : bars) remade[static_cast<size_t>(b)] = true;
  c.log.Append("各小節の作り方（1から数えて）：\n");
  for (int b = 0; b < count; ++b) {
    if (!remade[static_cast<size_t>(b)]) {
      c.log.Appendf("%2d小節：そのまま\n", b + 1);
      continue;
    }
    const char* how = b >= first && b <= last ? "選んだ小節" : "形式で結ばれた小節";
    const int melody = EarlierBar(c.form.melodySource[static_cast<size_t>(b)], b);
    const int lengths = EarlierBar(c.form.noteLengthSource[static_cast<size_t>(b)], b);
    c.log.Appendf("%2d小節：作り直し（%s、%d番目の候補", b + 1, how, chosen + 1);
    if (melody != -1) {
      c.log.Appendf("、%d小節の旋律の繰り返し", melody + 1);
    } else if (lengths != -1) {
      c.log.Appendf("、%d小節の音長の繰り返し", lengths + 1);
    }
    c.log.Append("）\n");
  }
}

}  // namespace

std::vector<int> BarsTiedTo(const SongForm& form, int first, int last) {
  const int count = form.BarCount();
  std::vector<bool> in(static_cast<size_t>(count), false);
  for (int b = std::max(0, first); b <= last && b < count; ++b) in[static_cast<size_t>(b)] = true;
  std::vector<int> bars;
  for (int b = 0; b < count; ++b) {
    const auto tied = [&](const std::array<int32_t, kMaxBars>& sources) {
      const int s = EarlierBar(sources[static_cast<size_t>(b)], b);
      return s != -1 && in[static_cast<size_t>(s)];
    };
    if (tied(form.melodySource) || tied(form.motifSource) || tied(form.noteLengthSource)) {
      in[static_cast<size_t>(b)] = true;
    }
    if (in[static_cast<size_t>(b)]) bars.push_back(b);
  }
  return bars;
}

int RemakeDraws(int bestOf) { return std::clamp(4 * bestOf, 4, 256); }

std::optional<BarRemake> RemakeBars(const MelodyContext& context, int first, int last, int draws) {
  const int count = context.form.BarCount();
  if (first < 0 || last < first || last >= count) return std::nullopt;
  std::optional<CellsByBar> kept = SplitMelody(context);
  if (!kept) return std::nullopt;
  BarRemake remake;
  remake.bars = BarsTiedTo(context.form, first, last);
  const std::vector<BarHarmony> harmony = HarmonyOfForm(context.form);

  // The draws, out of sight, each from where the one before left the random source.
  context.random.Prepare();
  const Snapshot start(context);
  HiddenContext out(context);
  RandomSource& random = out.random;
  const MelodyContext& hidden = out.context;
  std::vector<RandomSource> starts;
  const int n = std::max(1, draws);
  for (int k = 0; k < n; ++k) {
    if (k > 0) start.Restore(context);
    starts.push_back(random);
    double fit = kFailed;
    if (DrawBars(hidden, remake.bars)) {
      CellsByBar cells = *kept;
      FinishBars(hidden, remake.bars, cells);
      fit = FitOfDraw(hidden, remake.bars, cells, harmony);
    }
    remake.fits.push_back(fit);
    if (fit > remake.fits[static_cast<size_t>(remake.chosen)]) remake.chosen = k;
  }
  start.Restore(context);
  Platform* person = context.random.platform();
  const RandomSource end = random;
  if (remake.fits[static_cast<size_t>(remake.chosen)] <= kFailed) {
    context.random = end;
    context.random.SetPlatform(person);
    return std::nullopt;
  }

  // The kept draw again, traced, from the random source it began with.
  GenerationLog& log = context.log;
  if (!log.text().empty() && log.text().back() != '\n') log.Append("\n");
  log.Append("------------------小節の作り直しフェーズ------------------\n");
  log.Appendf("選んだ小節（1から数えて）：%2d～%2d\n", first + 1, last + 1);
  log.Append("作り直す小節：");
  for (int b : remake.bars) log.Appendf("%2d,", b + 1);
  log.Append("\n");
  for (size_t k = 0; k < remake.fits.size(); ++k) {
    if (remake.fits[k] <= kFailed) {
      log.Appendf("候補%3zu：決まらず\n", k + 1);
    } else {
      log.Appendf("候補%3zu：つなぎ目を含む適合度 %.2f\n", k + 1, remake.fits[k]);
    }
  }
  log.Appendf("選んだ候補：%d\n", remake.chosen + 1);
  context.random = starts[static_cast<size_t>(remake.chosen)];
  context.random.SetPlatform(person);
  DrawBars(context, remake.bars);
  context.random = end;
  context.random.SetPlatform(person);
  log.Append("------------------作り直した小節のオクターブ補正------------------\n");
  FinishBars(context, remake.bars, *kept);
  log.Append("\n");
  TraceHowBarsWereMade(context, first, last, remake.bars, remake.chosen);

  // Voice 0: the kept cells of every other bar, the new cells of the re-made ones.
  int step = 0;
  for (const std::vector<TrackNote>& bar : *kept) {
    for (const TrackNote& cell : bar) {
      if (step >= kTrackSteps - 1) break;
      context.noteTrack.at(step++, 0) = cell;
    }
  }
  context.noteTrack.at(step, 0).length = -1;
  return remake;
}

}  // namespace vema
