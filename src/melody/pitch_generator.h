// The second phase of a composition: the rule of every note, then its pitch and octave, the
// flattened melody (voice 0), the bass line (voice 1) and the octave correction.
#pragma once

#include <cstdint>

namespace vema {

struct Session;

class PitchGenerator {
 public:
  explicit PitchGenerator(Session& session) : session_(session) {}

  // 1 on success, 0 when a period could not be decided.
  int Run();

  // Melody state (see the trace): direction of the last move 0 Equal, 1 Down, 2 Up.
  int8_t edu = 0;
  int32_t noteCount = 0;
  int32_t nextprogressmode = 10;
  int8_t tone_bak = 1;
  int8_t oct_bak = 5;

 private:
  Session& session_;
};

}  // namespace vema
