#include "critic/melody_choice.h"

#include <algorithm>

#include "critic/melody_critic.h"
#include "critic/silent_platform.h"
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

MelodyChoice ChooseMelody(const MelodyContext& context, int candidates) {
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
  for (int i = 0; i < std::max(1, candidates); ++i) {
    if (i > 0) start.Restore(context);
    const RandomSource before = random;
    NoteLengthGenerator(hidden).Run();
    double score = -1;
    if (PitchGenerator(hidden).Run() != 0) {
      score = ScoreMelody(MeasureMelody(MelodyOfTrack(context.noteTrack), harmony));
    }
    choice.scores.push_back(score);
    if (i == 0 || score > choice.score) {
      choice.chosen = i;
      choice.score = score;
      choice.chosenStart = before;
    }
  }
  start.Restore(context);
  choice.end = random;
  choice.chosenStart.SetPlatform(context.random.platform());
  choice.end.SetPlatform(context.random.platform());
  return choice;
}

}  // namespace vema
