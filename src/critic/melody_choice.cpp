#include "critic/melody_choice.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <span>

#include "critic/hidden_context.h"
#include "critic/melody_critic.h"
#include "critic/silent_platform.h"
#include "melody/chord.h"
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

// Gives every bar the random source kept for it, in all three phases.
class BarStarts : public BarDrawHook, public LengthDrawHook {
 public:
  BarStarts(RandomSource& random, const MelodyChoice& choice)
      : random_(random),
        lengths_(choice.lengthStarts),
        rules_(choice.ruleStarts),
        pitches_(choice.pitchStarts) {}
  void BeforeLengths(int bar) override { Set(lengths_, bar); }
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
  const std::vector<RandomSource>& lengths_;
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

// Chooses the note lengths of every bar of the form, the best of `draws` (1 or more) draws where
// the bar's lengths are new, as the length phase writes them; fills the random sources each
// chosen bar began with and the fits.
void ChooseLengthBars(const MelodyContext& c, int draws, MelodyChoice& kept) {
  kept.lengthStarts.clear();
  kept.lengthFits.clear();
  NoteLengthGenerator g(c);
  if (c.compositionDb.loaded == 0) {
    g.Run();  // its message goes to the silent person; there is nothing to choose from
    return;
  }
  const std::vector<LengthRole> roles = LengthRolesOfForm(c.form);
  const int bars = c.form.BarCount();
  kept.lengthStarts.reserve(static_cast<size_t>(bars));
  kept.lengthFits.reserve(static_cast<size_t>(bars));
  std::vector<RandomSource> starts(static_cast<size_t>(draws));
  LengthFit fit;
  for (int b = 0; b < bars; ++b) {
    const size_t bar = static_cast<size_t>(b);
    kept.lengthStarts.push_back(c.random);
    if (EarlierBar(c.form.noteLengthSource[bar], b) != -1) {
      g.GenerateCopyBar(b);
      kept.lengthFits.push_back(fit.Add(c.barNotes[bar], roles[bar]));
      continue;
    }
    // A draw writes the bar's pattern pair and lengths whole, from the bars before it.
    const LengthFit fitBefore = fit;
    PatternPair bestPair = c.patternPairs[bar];
    BarNotes bestNotes = c.barNotes[bar];
    LengthFit bestFit;
    double best = 0;
    int bestDraw = 0;
    for (int k = 0; k < draws; ++k) {
      fit = fitBefore;
      starts[static_cast<size_t>(k)] = c.random;
      g.GenerateNewBar(b);
      const double value = fit.Add(c.barNotes[bar], roles[bar]);
      if (k == 0 || value > best) {  // the first of equal fits
        best = value;
        bestDraw = k;
        bestFit = fit;
        if (draws > 1) {
          bestPair = c.patternPairs[bar];
          bestNotes = c.barNotes[bar];
        }
      }
    }
    // Go on from the chosen draw; the random source runs on past every draw.
    fit = bestFit;
    if (bestDraw != draws - 1) {
      c.patternPairs[bar] = bestPair;
      c.barNotes[bar] = bestNotes;
    }
    kept.lengthStarts.back() = starts[static_cast<size_t>(bestDraw)];
    kept.lengthFits.push_back(best);
  }
}

// The first note of bar `bar` (MIDI key as composed, before the octave correction) when the
// bars before it fix it: a repeated melody starts as its model, a repeated motif on the same
// position of its own chord as the model's first note, in the model's octave; else -1.
int KnownFirstKey(const MelodyContext& c, std::span<const ChordToneTable> tones, int bar) {
  if (bar <= 0 || bar >= c.form.BarCount()) return -1;
  auto keyOf = [](int pitch, int octave) {
    return pitch >= 1 && pitch <= 12 && octave >= 0 ? octave * 12 + pitch - 1 : -1;
  };
  const int source = EarlierBar(c.form.melodySource[static_cast<size_t>(bar)], bar);
  if (source != -1) {
    const BarNote& model = c.barNotes[static_cast<size_t>(source)][0];
    return keyOf(model.pitch, model.octave);
  }
  const int motif = EarlierBar(c.form.motifSource[static_cast<size_t>(bar)], bar);
  if (motif == -1) return -1;
  const BarNote& model = c.barNotes[static_cast<size_t>(motif)][0];
  const int position = FindChordPitch(tones[static_cast<size_t>(motif)], model.pitch);
  if (position < 0) return -1;
  // With fewer tones in its own chord the entry is the end mark and the note a rest.
  const int tone = tones[static_cast<size_t>(bar)][static_cast<size_t>(position)];
  return tone < 0 ? -1 : keyOf(tone + 1, model.octave);
}

// Chooses every bar of the melody whose note lengths are in the context, the best of `draws`
// (1 or more) draws where the bar's melody is new; fills the random sources each chosen bar began with.
// False when a bar could not be decided.
bool ChooseBars(const MelodyContext& c, std::span<const BarHarmony> harmony,
                std::span<const ChordToneTable> tones, int draws, MelodyChoice& kept) {
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
                       (b + 1) % 4 == 0, b + 1 == bars, KnownFirstKey(c, tones, b + 1))
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

int BarFit::Corrected(int pitch, int octave) const {
  const int x = static_cast<int8_t>(12 * (octave - firstOctave) + pitch - firstPitch);
  return octave * 12 + pitch - 1 + (x < -4 ? 12 : x > 12 ? -12 : 0);
}

double BarFit::Add(const BarNotes& notes, const BarHarmony& harmony, bool phraseEnd,
                   bool lastBar, int nextKey) {
  // The weights count in notes: a chord tone on a strong beat is worth three notes on degrees
  // 1-3-5.
  // A note more than a major third above the song's first note costs a fifth of a note per
  // semitone: lifted over the chords, the melody then keeps below the top of a voice.
  constexpr double kStrongChord = 3, kDegree = 1, kSeventh = 6, kLeap = 3, kTurn = 1.5, kFifth = 1,
                   kRepeat = -1, kPhraseEnd = 3, kTonicEnd = 8, kReach = 10, kSeamFall = 6,
                   kHigh = 0.2;
  constexpr int kHighFrom = 4;
  double value = 0;
  int t = 0;
  int last = -1;
  bool seam = true;  // the bar's first note is still to come
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
    const int key = Corrected(note.pitch, note.octave);
    if (harmony.chordKnown && Has(harmony.chord, key)) {
      for (int beat : {0, kTicksPerBar / 2}) {
        if (start <= beat && beat < t) value += kStrongChord;
      }
    }
    if (Has(harmony.triad, key)) value += kDegree;
    if (key < 40 || key > 92) value -= kReach;
    {
      const int above = key - (firstOctave * 12 + firstPitch - 1) - kHighFrom;
      if (above > 0) value -= kHigh * above;
    }
    if (previous >= 0) {
      const int move = key - previous;
      const int size = std::abs(move);
      if (size == 10 || size == 11 || size == 13 || size == 14) value -= kSeventh;
      if (size > 7) value -= kLeap;
      if (size == 7) value -= kFifth;
      if (move == 0) value += kRepeat;
      if (move != 0 && previousMove != 0 && (move > 0) != (previousMove > 0)) value -= kTurn;
      if (seam && move <= -5) value -= kSeamFall;
      if (move != 0) previousMove = move;
    }
    previous = key;
    last = key;
    seam = false;
  }
  if (last >= 0 && phraseEnd && harmony.chordKnown && Has(harmony.chord, last)) {
    value += kPhraseEnd;
  }
  if (last >= 0 && started && nextKey >= 0 &&
      Corrected(nextKey % 12 + 1, nextKey / 12) - last <= -5) {
    value -= kSeamFall;
  }
  if (last >= 0 && lastBar) {
    value += last % 12 == harmony.tonic ? kTonicEnd : Has(harmony.triad, last) ? kTonicEnd / 3 : 0;
  }
  return value;
}

double RegisterFit(std::span<const CriticNote> melody, std::span<const BarHarmony> bars,
                   int octaves) {
  const int64_t songEnd = static_cast<int64_t>(bars.size()) * kTicksPerBar;
  std::array<int, kKeys> keys{};
  Share above;
  for (const CriticNote& note : melody) {
    if (note.start >= songEnd) break;
    if (note.key < 0) continue;
    const int key = note.key + 12 * octaves;
    ++keys[static_cast<size_t>(std::clamp(key, 0, kKeys - 1))];
    const int top = bars[static_cast<size_t>(note.start / kTicksPerBar)].chordTop;
    if (top >= 0) above.Add(key > top);
  }
  const int median = MedianKey(keys);
  if (median < 0) return 0;
  constexpr int kLow = 67, kHigh = 75, kMiddle = 72;
  const int outside = median < kLow ? kLow - median : median > kHigh ? median - kHigh : 0;
  return 100.0 * above.Value() - 6.0 * outside - 0.5 * std::abs(median - kMiddle);
}

namespace {

// Whether every note of the melody, shifted by `octaves`, lies within the keys a voice reaches.
bool WithinReach(std::span<const CriticNote> melody, int octaves) {
  return std::all_of(melody.begin(), melody.end(), [octaves](const CriticNote& n) {
    return n.key < 0 ||
           (n.key + 12 * octaves >= kLowestMelodyKey && n.key + 12 * octaves <= kHighestMelodyKey);
  });
}

}  // namespace

int MelodyOctaveFor(int32_t setting, std::span<const CriticNote> melody,
                    std::span<const BarHarmony> bars) {
  if (setting == kAutoMelodyOctave) {
    int best = 0;
    double bestFit = -std::numeric_limits<double>::max();
    // Nearest to 0 first, so that an equal fit keeps the smaller shift.
    for (int octaves : {0, 1, -1, 2}) {
      if (!WithinReach(melody, octaves)) continue;
      const double fit = RegisterFit(melody, bars, octaves);
      if (fit > bestFit) {
        bestFit = fit;
        best = octaves;
      }
    }
    return best;
  }
  int octaves = std::clamp(setting, kMinMelodyOctave, kMaxMelodyOctave);
  while (octaves != 0 && !WithinReach(melody, octaves)) octaves += octaves > 0 ? -1 : 1;
  return octaves;
}

void ShiftMelody(NoteTrackTable& track, int octaves) {
  if (octaves == 0) return;
  for (int step = 0; step < kTrackSteps; ++step) {
    TrackNote& cell = track.at(step, 0);
    if (cell.length <= 0) break;
    if (cell.pitch >= 1 && cell.pitch <= 12) cell.octave = static_cast<int8_t>(cell.octave + octaves);
  }
}

int ApplyMelodyOctave(const MelodyContext& context, int32_t setting) {
  if (setting == 0) return 0;
  const std::vector<CriticNote> melody = MelodyOfTrack(context.noteTrack);
  const int octaves = MelodyOctaveFor(setting, melody, HarmonyOfForm(context.form));
  ShiftMelody(context.noteTrack, octaves);
  return octaves;
}

std::vector<LengthRole> LengthRolesOfForm(const SongForm& form) {
  const int bars = form.BarCount();
  std::vector<LengthRole> roles(static_cast<size_t>(bars));
  // From the last bar back: a bar passes its roles on to the bar whose lengths it repeats.
  for (int b = bars - 1; b >= 0; --b) {
    LengthRole& role = roles[static_cast<size_t>(b)];
    role.phraseEnd = role.phraseEnd || (b + 1) % 4 == 0;
    role.lastBar = role.lastBar || b + 1 == bars;
    const int source = EarlierBar(form.noteLengthSource[static_cast<size_t>(b)], b);
    if (source == -1) continue;
    LengthRole& from = roles[static_cast<size_t>(source)];
    from.phraseEnd = from.phraseEnd || role.phraseEnd;
    from.lastBar = from.lastBar || role.lastBar;
  }
  return roles;
}

double LengthFit::Add(const BarNotes& notes, LengthRole role) {
  // The weights count in notes of a rare length; a new length class costs about half a note.
  const double kRare = 1, kOdd = 2, kOffGrid = 2, kLongEnd = 3, kBreath = 2, kFinal = 10,
               kHeld = 0.5;
  constexpr double kSurprise = 0.2;  // per bit
  // The notes as the pitch phase will merge the tie marks.
  std::array<int, kBarEntries> lengths{};
  int count = 0;
  bool tie = false;
  for (const BarNote& note : notes) {
    if (note.length == -1) break;
    if (note.length == 0) {
      tie = true;
      continue;
    }
    if (tie && count > 0) {
      lengths[static_cast<size_t>(count - 1)] += note.length;
    } else {
      lengths[static_cast<size_t>(count++)] = note.length;
    }
    tie = false;
  }
  double value = 0;
  int t = 0, lastStart = 0, lastLength = 0, longest = 0;
  for (int i = 0; i < count; ++i) {
    const int length = lengths[static_cast<size_t>(i)];
    const int kind = LengthClassOf(length);
    // The bits this length costs among the song's lengths so far (each class starts with half
    // a note).
    int total = 0;
    for (int n : used) total += n;
    value -= kSurprise * std::log2((total + 0.5 * kLengthKinds) /
                                   (used[static_cast<size_t>(kind)] + 0.5));
    ++used[static_cast<size_t>(kind)];
    switch (kind) {
      case 0:  // a sixteenth
      case 2:  // a dotted eighth
        value -= kRare;
        break;
      case 8:  // a triplet or an odd tied length
        value -= kOdd;
        break;
      default:
        break;
    }
    if (t % (kTicksPerBar / 8) != 0) value -= kOffGrid;
    lastStart = t;
    lastLength = length;
    longest = std::max(longest, length);
    t += length;
  }
  if (count == 0) return value;
  if (role.phraseEnd) {
    value += lastLength >= 96 ? kLongEnd : lastLength >= 72 ? kLongEnd / 2 : 0;
    if (count <= 2) value += kBreath;
  } else {
    // Inside a phrase the tune moves on: no breath, and rather no held note.
    if (count <= 2) value -= kBreath / 2;
    if (longest >= kTicksPerBar / 2) value -= kHeld;
  }
  if (role.lastBar && lastStart % (kTicksPerBar / 2) == 0 && lastLength >= kTicksPerBar / 2) {
    value += kFinal;
  }
  return value;
}

void RunChosenLengths(const MelodyContext& context, const MelodyChoice& choice) {
  NoteLengthGenerator generator(context);
  BarStarts starts(context.random, choice);
  if (!choice.lengthStarts.empty()) generator.barDraws = &starts;
  generator.Run();
}

int FirstNoteFixedByRepeat(const MelodyContext& context, int bar) {
  if (bar <= 0 || bar >= context.form.BarCount()) return -1;
  SilentPlatform silent;
  std::vector<ChordToneTable> tones(static_cast<size_t>(bar) + 1);
  for (size_t b = 0; b < tones.size(); ++b) {
    ParseChord(tones[b], silent, context.form.Chord(static_cast<int>(b)));
  }
  return KnownFirstKey(context, tones, bar);
}

int RunChosenPitches(const MelodyContext& context, const MelodyChoice& choice) {
  PitchGenerator generator(context);
  BarStarts starts(context.random, choice);
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
  HiddenContext out(context);
  SilentPlatform& silent = out.silent;
  RandomSource& random = out.random;
  const MelodyContext& hidden = out.context;
  const std::vector<BarHarmony> harmony = HarmonyOfForm(context.form);
  std::vector<ChordToneTable> tones(static_cast<size_t>(context.form.BarCount()));
  for (int b = 0; b < context.form.BarCount(); ++b) {
    ParseChord(tones[static_cast<size_t>(b)], silent, context.form.Chord(b));
  }
  const bool barWise = barDraws > 0;
  MelodyChoice candidate;
  for (int i = 0; i < std::max(1, candidates); ++i) {
    if (i > 0) start.Restore(context);
    const RandomSource before = random;
    double score = -1;
    bool decided = true;
    if (barWise) {
      // Without new lengths the song's own stay: no length starts are kept.
      if (newLengths) {
        ChooseLengthBars(hidden, barDraws, candidate);
      } else {
        candidate.lengthStarts.clear();
        candidate.lengthFits.clear();
      }
      decided = ChooseBars(hidden, harmony, tones, barDraws, candidate);
      // The candidate is the composition with those bars, made as the command will make it.
      const RandomSource after = random;
      start.Restore(context);
      random = before;
      if (newLengths) RunChosenLengths(hidden, candidate);
      decided = decided && RunChosenPitches(hidden, candidate) != 0;
      random = after;
    } else {
      if (newLengths) NoteLengthGenerator(hidden).Run();
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
      choice.lengthStarts.swap(candidate.lengthStarts);
      choice.lengthFits.swap(candidate.lengthFits);
    }
  }
  start.Restore(context);
  choice.end = random;
  choice.chosenStart.SetPlatform(context.random.platform());
  choice.end.SetPlatform(context.random.platform());
  for (auto* starts : {&choice.lengthStarts, &choice.ruleStarts, &choice.pitchStarts}) {
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
