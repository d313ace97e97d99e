// The eleven melodic rules: each derives the pitch and octave of a note from the note before
// it (tone_bak, oct_bak), the direction of the last move (edu), the bar's chord and its scale.
#include <cstdlib>
#include <string_view>

#include "melody/melody_state.h"
#include "melody/pitch_generator.h"

namespace vema {

namespace {

// A chord-tone search that has not ended by this step stops: only an empty chord table gets
// there (from step 24 on the first chord tone met is taken).
constexpr int kSearchSteps = 48;
constexpr int kSkipSteps = 12;       // the skipped pitch is passed over in steps 0..11
constexpr int kDistanceSteps = 24;   // from this step on the leap's distance is not required

int StepUp(int t) { return t >= 12 || t < 0 ? 1 : t + 1; }
int StepDown(int t) { return t <= 1 || t > 12 ? 12 : t - 1; }

void AppendName(GenerationLog& log, const char* format, int pitch, int octave) {
  const std::string_view name = PitchName(pitch);
  log.Appendf(format, static_cast<int>(name.size()), name.data(), octave);
}

}  // namespace

void PitchGenerator::AdjustOctave(int pitch, int32_t& octave, bool reverse) const {
  if (!reverse) {
    if (edu == 1 && pitch > tone_bak) --octave;
    else if (edu == 2 && pitch < tone_bak) ++octave;
  } else {
    if (edu == 2 && pitch > tone_bak) --octave;
    else if (edu == 1 && pitch < tone_bak) ++octave;
  }
}

void PitchGenerator::SetDirection(int pitch, int octave) {
  if (octave > oct_bak || (octave == oct_bak && pitch > tone_bak)) {
    edu = 2;
  } else if (octave < oct_bak || (octave == oct_bak && pitch < tone_bak)) {
    edu = 1;
  }
}

void PitchGenerator::TraceTone(int pitch, int octave) {
  AppendName(context_.log, " tone=%.*s oct=%d\n", pitch, octave);
}

void PitchGenerator::LeapToChordTone(int period, int barInPeriod, int note, bool reverse) {
  MelodyContext& s = context_;
  BarNote& current = s.barNotes[static_cast<size_t>(period * 8 + barInPeriod)]
                               [static_cast<size_t>(note)];
  s.log.Append(reverse ? "ProgressLrChord-------------\n" : "ProgressLeChord-------------\n");
  current.octave = oct_bak;
  const bool up = reverse ? edu == 1 : edu != 1;
  int t = tone_bak;
  int chosen = tone_bak;
  for (int step = 0; step < kSearchSteps; ++step) {
    t = up ? StepUp(t) : StepDown(t);
    if (step < kSkipSteps && s.keyScale[3] - t == 1) continue;
    if (FindChordPitch(s.chordTones, t) == -1) continue;
    const int8_t x = Interval(s, t, tone_bak, oct_bak, oct_bak);
    Interval(s, t, tone_bak, oct_bak, oct_bak);
    if (std::abs(static_cast<int>(x)) > 3 || step >= kDistanceSteps) {
      chosen = t;
      break;
    }
  }
  current.pitch = chosen;
  AdjustOctave(chosen, current.octave, reverse);
  TraceTone(current.pitch, current.octave);
  SetDirection(current.pitch, current.octave);
}

void PitchGenerator::NearChordTone(int period, int barInPeriod, int note, bool reverse) {
  MelodyContext& s = context_;
  BarNote& current = s.barNotes[static_cast<size_t>(period * 8 + barInPeriod)]
                               [static_cast<size_t>(note)];
  s.log.Append(reverse ? "ProgressSrChord-------------\n" : "ProgressSeChord-------------\n");
  current.octave = oct_bak;
  const bool up = reverse ? edu == 1 : edu != 1;
  int t = tone_bak;
  int chosen = tone_bak;
  for (int step = 0; step < kSearchSteps; ++step) {
    t = up ? StepUp(t) : StepDown(t);
    if (step < kSkipSteps && s.keyScale[3] - t == 1) continue;
    if (FindChordPitch(s.chordTones, t) == -1) continue;
    chosen = t;
    break;
  }
  current.pitch = chosen;
  AdjustOctave(chosen, current.octave, reverse);
  AppendName(s.log, "前音：tone_bak=%.*s  oct_bak=%d\n", tone_bak, oct_bak);
  AppendName(s.log, "// tone=%.*s oct=%d\n", current.pitch, current.octave);
  SetDirection(current.pitch, current.octave);
}

void PitchGenerator::ScaleStep(int period, int barInPeriod, int note, bool reverse) {
  MelodyContext& s = context_;
  const int bar = period * 8 + barInPeriod;
  BarNote& current = s.barNotes[static_cast<size_t>(bar)][static_cast<size_t>(note)];
  s.log.Append(reverse ? "ProgressSreverse------------\n" : "ProgressSequal--------------\n");
  current.octave = oct_bak;
  int t = tone_bak;
  int degree = FindScaleDegree(s, bar, t);
  // A previous note outside the scale first moves down to the nearest scale tone.
  for (int guard = 0; degree == -1 && guard < kSearchSteps; ++guard) {
    t = StepDown(t);
    degree = FindScaleDegree(s, bar, t);
  }
  if (degree == -1) degree = 0;
  const bool up = reverse ? edu == 1 : edu != 1;
  degree = up ? (degree + 1) % 7 : (degree == 0 ? 6 : degree - 1);
  current.pitch = s.keyScale[static_cast<size_t>(degree)];
  AdjustOctave(current.pitch, current.octave, reverse);
  TraceTone(current.pitch, current.octave);
  SetDirection(current.pitch, current.octave);
}

void PitchGenerator::ProgressLeChord(int period, int barInPeriod, int note) {
  LeapToChordTone(period, barInPeriod, note, false);
}

void PitchGenerator::ProgressSeChord(int period, int barInPeriod, int note) {
  NearChordTone(period, barInPeriod, note, false);
}

void PitchGenerator::ProgressSequal(int period, int barInPeriod, int note) {
  ScaleStep(period, barInPeriod, note, false);
}

void PitchGenerator::ProgressLe(int period, int barInPeriod, int note) {
  context_.log.Append("ProgressLe---------------\n");
  ProgressLeChord(period, barInPeriod, note);
}

void PitchGenerator::ProgressLrChord(int period, int barInPeriod, int note) {
  LeapToChordTone(period, barInPeriod, note, true);
}

void PitchGenerator::ProgressSrChord(int period, int barInPeriod, int note) {
  NearChordTone(period, barInPeriod, note, true);
}

void PitchGenerator::ProgressSreverse(int period, int barInPeriod, int note) {
  ScaleStep(period, barInPeriod, note, true);
}

void PitchGenerator::ProgressLr(int period, int barInPeriod, int note) {
  context_.log.Append("ProgressLr---------------\n");
  ProgressLrChord(period, barInPeriod, note);
}

void PitchGenerator::ProgressEqual(int period, int barInPeriod, int note) {
  MelodyContext& s = context_;
  BarNote& current = s.barNotes[static_cast<size_t>(period * 8 + barInPeriod)]
                               [static_cast<size_t>(note)];
  s.log.Append("ProgressEqual---------------\n");
  current.pitch = tone_bak;
  current.octave = oct_bak;
  TraceTone(current.pitch, current.octave);
}

void PitchGenerator::ProgressGap(int period, int barInPeriod, int note) {
  context_.log.Append("ProgressGap---------------\n");
  ProgressAnyChord(period, barInPeriod, note);
}

void PitchGenerator::ProgressAnyChord(int period, int barInPeriod, int note) {
  MelodyContext& s = context_;
  BarNote& current = s.barNotes[static_cast<size_t>(period * 8 + barInPeriod)]
                               [static_cast<size_t>(note)];
  s.log.Append("ProgressAnyChord------------\n");
  int tones = 0;
  while (tones < static_cast<int>(s.chordTones.size()) &&
         s.chordTones[static_cast<size_t>(tones)] != -1) {
    ++tones;
  }
  const int j = s.random.RandomInRange(0, tones - 1);
  const int index = j >= 0 && j < static_cast<int>(s.chordTones.size()) ? j : 0;
  current.pitch = s.chordTones[static_cast<size_t>(index)] + 1;
  current.octave = oct_bak;
  TraceTone(current.pitch, current.octave);
  SetDirection(current.pitch, current.octave);
}

}  // namespace vema
