// The first phase of a composition: the note lengths of every bar.
#pragma once

#include <cstdint>

namespace vema {

struct Session;

class NoteLengthGenerator {
 public:
  explicit NoteLengthGenerator(Session& session) : session_(session) {}

  // Resets the log, writes the lengths of every bar into BarNoteTable and the pattern pair of
  // every bar into BarPatternPair, and traces the result.
  void Run();

  int GenerateCopyBar(int bar);
  int GenerateNewBar(int bar);
  void ChoosePattern(int bar, int kind);
  void LogPatterns();

 private:
  Session& session_;
};

}  // namespace vema
