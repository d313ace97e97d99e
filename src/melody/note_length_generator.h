// The first phase of a composition: the note lengths of every bar.
#pragma once

#include <cstdint>

#include "melody/melody_context.h"

namespace vema {

// What a composition may do before the random draws of each bar's note lengths.  A single
// composition has none; choosing bar by bar gives each bar the random source of its chosen draw.
class LengthDrawHook {
 public:
  virtual ~LengthDrawHook() = default;
  virtual void BeforeLengths(int bar) = 0;
};

class NoteLengthGenerator {
 public:
  explicit NoteLengthGenerator(const MelodyContext& context) : context_(context) {}

  LengthDrawHook* barDraws = nullptr;  // not owned; none for a single composition

  // Resets the log, writes the lengths of every bar into BarNoteTable and the pattern pair of
  // every bar into BarPatternPair, and traces the result.
  void Run();

  int GenerateCopyBar(int bar);
  int GenerateNewBar(int bar);
  void ChoosePattern(int bar, int kind);
  void LogPatterns();

 private:
  MelodyContext context_;
  int bar_ = 0;  // the bar being generated
};

// The pick rule among n candidates with one draw r: the first i at which the running sum of
// (i+1)/n reaches r; 0 for an empty list.
int PickCandidate(double r, int n);

}  // namespace vema
