// The second phase of a composition: the rule of every note, then its pitch and octave, the
// flattened melody (voice 0), the bass line (voice 1) and the octave correction.
#pragma once

#include <cstdint>

#include "melody/melody_context.h"

namespace vema {

// What a composition may do before the random draws of each bar: in the rule phase (the
// rules of every note) and in the pitch phase.  A single composition has none; choosing bar by
// bar gives each bar the random source of its chosen draw.
class BarDrawHook {
 public:
  virtual ~BarDrawHook() = default;
  virtual void BeforeRules(int bar) = 0;
  virtual void BeforePitches(int bar) = 0;
};

class PitchGenerator {
 public:
  explicit PitchGenerator(const MelodyContext& context) : context_(context) {}

  // 1 on success, 0 when a period could not be decided.
  int Run();

  // Melody state (see the trace): direction of the last move 0 Equal, 1 Down, 2 Up.
  int8_t edu = 0;
  int32_t noteCount = 0;
  int32_t nextprogressmode = 10;
  int8_t tone_bak = 1;
  int8_t oct_bak = 5;

  BarDrawHook* barDraws = nullptr;  // not owned; none for a single composition

  // The steps of Run, in calling order.
  void MergeTies(int bar);
  void RunMotifPhase();
  void CopyMotifBar(int bar);
  void GenerateMotifBar(int bar);
  int GeneratePeriod(int period);
  void CopyBarMelody(int bar);
  int DecideBarNotes(int period, int barInPeriod);  // 1 done, 0 failed
  void ApplyRule(int period, int barInPeriod, int note);
  void FlattenMelody();
  void BuildBassVoice();
  void CorrectOctaves();

  // Rule chaining: sets the rule of note n of bar b and nextprogressmode; `table` is the
  // length class on the beat (0..3) or 4 + the class off the beat.
  void ChainRule(int table, int bar, int note);

  // The eleven melodic rules; each decides the pitch and octave of one note.
  void ProgressLeChord(int period, int barInPeriod, int note);   // 0
  void ProgressSeChord(int period, int barInPeriod, int note);   // 1
  void ProgressSequal(int period, int barInPeriod, int note);    // 2
  void ProgressLe(int period, int barInPeriod, int note);        // 3
  void ProgressLrChord(int period, int barInPeriod, int note);   // 4
  void ProgressSrChord(int period, int barInPeriod, int note);   // 5
  void ProgressSreverse(int period, int barInPeriod, int note);  // 6
  void ProgressLr(int period, int barInPeriod, int note);        // 7
  void ProgressEqual(int period, int barInPeriod, int note);     // 8
  void ProgressGap(int period, int barInPeriod, int note);       // 9
  void ProgressAnyChord(int period, int barInPeriod, int note);  // 10

 private:
  void LeapToChordTone(int period, int barInPeriod, int note, bool reverse);
  void NearChordTone(int period, int barInPeriod, int note, bool reverse);
  void ScaleStep(int period, int barInPeriod, int note, bool reverse);
  void AdjustOctave(int pitch, int32_t& octave, bool reverse) const;
  void SetDirection(int pitch, int octave);
  void TraceTone(int pitch, int octave);

  MelodyContext context_;
};

// True when the bar's lengths are all positive and end exactly at 192 ticks.
bool FillsBar(const BarNotes& notes);

// The length class of a note length: 2 for 16 and 32, else 0 from 48, 1 from 24, else 3.
int LengthClass(int32_t length);

}  // namespace vema
