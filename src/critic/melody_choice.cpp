#include "critic/melody_choice.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <span>

#include "critic/melody_critic.h"
#include "critic/silent_platform.h"
#include "melody/melody_state.h"
#include "melody/note_length_generator.h"
#include "melody/pitch_generator.h"

namespace vema {

namespace {

// What the note-length and pitch phases write, as far as a song of the form can reach: the bar
// tables, voices 0 and 1 of the note track, the chord tones, the key scale and the chain state.
class MelodySnapshot {
 public:
  explicit MelodySnapshot(const MelodyContext& c)
      : barNotes_(c.barNotes),
        patternPairs_(c.patternPairs),
        steps_(std::min(kTrackSteps, c.form.BarCount() * kBarEntries + 1)),
        chordTones_(c.chordTones),
        keyScale_(c.keyScale),
        chain_(c.chain) {
    track_.reserve(static_cast<size_t>(steps_) * 2);
    for (int step = 0; step < steps_; ++step) {
      track_.push_back(c.noteTrack.at(step, 0));
      track_.push_back(c.noteTrack.at(step, 1));
    }
  }

  void Restore(const MelodyContext& c) const {
    c.barNotes = barNotes_;
    c.patternPairs = patternPairs_;
    for (int step = 0; step < steps_; ++step) {
      c.noteTrack.at(step, 0) = track_[static_cast<size_t>(step) * 2];
      c.noteTrack.at(step, 1) = track_[static_cast<size_t>(step) * 2 + 1];
    }
    c.chordTones = chordTones_;
    c.keyScale = keyScale_;
    c.chain = chain_;
  }

 private:
  BarNoteTable barNotes_;
  BarPatternPair patternPairs_;
  int steps_;
  std::vector<TrackNote> track_;  // voices 0 and 1, step by step
  ChordToneTable chordTones_;
  KeyScale keyScale_;
  ChainState chain_;
};

}  // namespace

double ScoreComposedMelody(const MelodyContext& context) {
  return ScoreMelody(
      MeasureMelody(MelodyOfTrack(context.noteTrack), HarmonyOfForm(context.form)));
}

namespace {

// Gives every bar the random source kept for it, in both phases.
class BarStarts : public BarDrawHook {
 public:
  BarStarts(RandomSource& random, const std::vector<RandomSource>& rules,
            const std::vector<RandomSource>& pitches)
      : random_(random), rules_(rules), pitches_(pitches) {}
  void BeforeRules(int bar) override { Set(rules_, bar); }
  void BeforePitches(int bar) override { Set(pitches_, bar); }

 private:
  void Set(const std::vector<RandomSource>& starts, int bar) {
    if (bar < 0 || static_cast<size_t>(bar) >= starts.size()) return;
    Platform* platform = random_.platform();
    random_ = starts[static_cast<size_t>(bar)];
    random_.SetPlatform(platform);
  }

  RandomSource& random_;
  const std::vector<RandomSource>& rules_;
  const std::vector<RandomSource>& pitches_;
};

// What drawing one bar's rules and pitches changes: the generator's state, the chain state, the
// key scale, the chord tones and the bar's own table.
struct BarState {
  BarState(const PitchGenerator& g, const MelodyContext& c, int bar)
      : edu(g.edu),
        nextprogressmode(g.nextprogressmode),
        tone_bak(g.tone_bak),
        oct_bak(g.oct_bak),
        chain(c.chain),
        keyScale(c.keyScale),
        chordTones(c.chordTones),
        notes(c.barNotes[static_cast<size_t>(bar)]) {}

  void Restore(PitchGenerator& g, const MelodyContext& c, int bar) const {
    g.edu = edu;
    g.nextprogressmode = nextprogressmode;
    g.tone_bak = tone_bak;
    g.oct_bak = oct_bak;
    c.chain = chain;
    c.keyScale = keyScale;
    c.chordTones = chordTones;
    c.barNotes[static_cast<size_t>(bar)] = notes;
  }

  int8_t edu;
  int32_t nextprogressmode;
  int8_t tone_bak;
  int8_t oct_bak;
  ChainState chain;
  KeyScale keyScale;
  ChordToneTable chordTones;
  BarNotes notes;
};

// Draws the rules and pitches of one bar, as the rule phase and the pitch phase do; keeps the
// random source as the pitches began.  1 on success.
int DrawBar(PitchGenerator& g, const MelodyContext& c, int bar, RandomSource& pitchStart) {
  if (EarlierBar(c.form.motifSource[static_cast<size_t>(bar)], bar) == -1) {
    g.GenerateMotifBar(bar);
  } else {
    g.CopyMotifBar(bar);
  }
  pitchStart = c.random;
  if (EarlierBar(c.form.melodySource[static_cast<size_t>(bar)], bar) != -1) {
    g.CopyBarMelody(bar);
    return 1;
  }
  return g.DecideBarNotes(bar / kBarsPerPeriod, bar % kBarsPerPeriod);
}

// Chooses every bar of the melody whose note lengths are in the context, the best of `draws`
// (1 or more) draws where the bar's melody is new; fills the random sources each chosen bar began with.
// False when a bar could not be decided.
bool ChooseBars(const MelodyContext& c, std::span<const BarHarmony> harmony, int draws,
                MelodyChoice& kept) {
  PitchGenerator g(c);
  const int bars = c.form.BarCount();
  for (int b = 0; b < bars; ++b) g.MergeTies(b);
  kept.ruleStarts.clear();
  kept.pitchStarts.clear();
  kept.barFits.clear();
  kept.ruleStarts.reserve(static_cast<size_t>(bars));
  kept.pitchStarts.reserve(static_cast<size_t>(bars));
  BarFit fit;
  // The random source as each draw of a bar began its rules (even entries) and its pitches.
  std::vector<RandomSource> starts(static_cast<size_t>(2 * draws));
  for (int b = 0; b < bars; ++b) {
    const bool newMelody = EarlierBar(c.form.melodySource[static_cast<size_t>(b)], b) == -1;
    const int tries = newMelody ? draws : 1;
    const BarState before(g, c, b);
    BarState chosen = before;  // the state after the chosen draw
    const BarFit fitBefore = fit;
    BarFit bestFit;
    double best = 0;
    int bestOk = 0, bestDraw = 0;
    for (int k = 0; k < tries; ++k) {
      if (k > 0) before.Restore(g, c, b);
      fit = fitBefore;
      starts[static_cast<size_t>(2 * k)] = c.random;
      const int ok = DrawBar(g, c, b, starts[static_cast<size_t>(2 * k + 1)]);
      const double value =
          ok ? fit.Add(c.barNotes[static_cast<size_t>(b)], harmony[static_cast<size_t>(b)],
                       (b + 1) % 4 == 0, b + 1 == bars)
             : -std::numeric_limits<double>::max();
      if (k == 0 || value > best) {  // the first of equal fits
        best = value;
        bestOk = ok;
        bestDraw = k;
        bestFit = fit;
        if (tries > 1) chosen = BarState(g, c, b);
      }
    }
    if (bestOk == 0) return false;
    kept.ruleStarts.push_back(starts[static_cast<size_t>(2 * bestDraw)]);
    kept.pitchStarts.push_back(starts[static_cast<size_t>(2 * bestDraw + 1)]);
    kept.barFits.push_back(best);
    // Go on from the chosen draw; the random source runs on past every draw.
    fit = bestFit;
    if (bestDraw != tries - 1) chosen.Restore(g, c, b);
  }
  return true;
}

bool Has(uint16_t mask, int key) { return (mask >> (((key % 12) + 12) % 12)) & 1u; }

}  // namespace

int DefaultBarDraws(int candidates) { return candidates > 1 ? 4 : 0; }

double BarFit::Add(const BarNotes& notes, const BarHarmony& harmony, bool phraseEnd,
                   bool lastBar) {
  // The weights count in notes: a chord tone on a strong beat is worth three notes on degrees
  // 1-3-5.
  constexpr double kStrongChord = 3, kDegree = 1, kSeventh = 6, kLeap = 3, kTurn = 1.5, kFifth = 1,
                   kRepeat = -1, kPhraseEnd = 3, kTonicEnd = 8, kReach = 10;
  double value = 0;
  int t = 0;
  int last = -1;
  for (const BarNote& note : notes) {
    if (note.length <= 0) break;
    const int start = t;
    t += note.length;
    if (note.pitch < 1 || note.pitch > 12) continue;
    if (!started) {
      started = true;
      firstPitch = note.pitch;
      firstOctave = note.octave;
    }
    // The final octave correction, as it will treat this note.
    const int x = static_cast<int8_t>(12 * (note.octave - firstOctave) + note.pitch - firstPitch);
    const int key = note.octave * 12 + note.pitch - 1 + (x < -4 ? 12 : x > 12 ? -12 : 0);
    if (harmony.chordKnown && Has(harmony.chord, key)) {
      for (int beat : {0, kTicksPerBar / 2}) {
        if (start <= beat && beat < t) value += kStrongChord;
      }
    }
    if (Has(harmony.triad, key)) value += kDegree;
    if (key < 40 || key > 92) value -= kReach;
    if (previous >= 0) {
      const int move = key - previous;
      const int size = std::abs(move);
      if (size == 10 || size == 11 || size == 13 || size == 14) value -= kSeventh;
      if (size > 7) value -= kLeap;
      if (size == 7) value -= kFifth;
      if (move == 0) value += kRepeat;
      if (move != 0 && previousMove != 0 && (move > 0) != (previousMove > 0)) value -= kTurn;
      if (move != 0) previousMove = move;
    }
    previous = key;
    last = key;
  }
  if (last >= 0 && phraseEnd && harmony.chordKnown && Has(harmony.chord, last)) {
    value += kPhraseEnd;
  }
  if (last >= 0 && lastBar) {
    value += last % 12 == harmony.tonic ? kTonicEnd : Has(harmony.triad, last) ? kTonicEnd / 3 : 0;
  }
  return value;
}

int RunChosenPitches(const MelodyContext& context, const MelodyChoice& choice) {
  PitchGenerator generator(context);
  BarStarts starts(context.random, choice.ruleStarts, choice.pitchStarts);
  if (!choice.ruleStarts.empty()) generator.barDraws = &starts;
  return generator.Run();
}

namespace {

// ChooseMelody, or with newLengths false ChoosePitches.
MelodyChoice Choose(const MelodyContext& context, int candidates, int barDraws, bool newLengths) {
  MelodyChoice choice;
  // The first draw of a session fills the random table; done now, every copy replays exactly.
  context.random.Prepare();
  const MelodySnapshot start(context);
  SilentPlatform silent;
  GenerationLog quiet;
  quiet.Mute();
  RandomSource random = context.random;
  random.SetPlatform(&silent);
  const MelodyContext hidden{silent,           context.form,       context.compositionDb,
                             context.style,    context.barNotes,   context.patternPairs,
                             context.noteTrack, quiet,             context.chordTones,
                             context.keyScale, context.chain,      random};
  const std::vector<BarHarmony> harmony = HarmonyOfForm(context.form);
  const bool barWise = barDraws > 0;
  MelodyChoice candidate;
  for (int i = 0; i < std::max(1, candidates); ++i) {
    if (i > 0) start.Restore(context);
    const RandomSource before = random;
    if (newLengths) NoteLengthGenerator(hidden).Run();
    double score = -1;
    bool decided = true;
    if (barWise) {
      decided = ChooseBars(hidden, harmony, barDraws, candidate);
      // The candidate is the composition with those bars, made as the command will make it.
      const RandomSource after = random;
      start.Restore(context);
      random = before;
      if (newLengths) NoteLengthGenerator(hidden).Run();
      decided = decided && RunChosenPitches(hidden, candidate) != 0;
      random = after;
    } else {
      decided = PitchGenerator(hidden).Run() != 0;
    }
    if (decided) score = ScoreMelody(MeasureMelody(MelodyOfTrack(context.noteTrack), harmony));
    choice.scores.push_back(score);
    if (i == 0 || score > choice.score) {
      choice.chosen = i;
      choice.score = score;
      choice.chosenStart = before;
      choice.ruleStarts.swap(candidate.ruleStarts);
      choice.pitchStarts.swap(candidate.pitchStarts);
      choice.barFits.swap(candidate.barFits);
    }
  }
  start.Restore(context);
  choice.end = random;
  choice.chosenStart.SetPlatform(context.random.platform());
  choice.end.SetPlatform(context.random.platform());
  for (auto* starts : {&choice.ruleStarts, &choice.pitchStarts}) {
    for (RandomSource& r : *starts) r.SetPlatform(context.random.platform());
  }
  return choice;
}

}  // namespace

MelodyChoice ChooseMelody(const MelodyContext& context, int candidates, int barDraws) {
  return Choose(context, candidates, barDraws, true);
}

MelodyChoice ChoosePitches(const MelodyContext& context, int candidates, int barDraws) {
  return Choose(context, candidates, barDraws, false);
}

}  // namespace vema
