// Chord names of arbitrary bytes: parsed alone and as the chords of a composed form.
#include <algorithm>
#include <string_view>

#include "harness.h"
#include "melody/chord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vema::fuzz;
  static Run parser;
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  vema::ParseChord(parser.session->chordTones, parser.session->platform(), name);
  parser.platform.messages.clear();

  // The same bytes as the chords of the eight bars of the blank form (9 bytes each, as typed).
  Run run(1);
  run.session->form = vema::BlankForm();
  for (int bar = 0; bar < 8; ++bar) {
    const size_t start = std::min(size, static_cast<size_t>(bar) * 9);
    run.session->form.SetChord(bar, name.substr(start, 9));
  }
  ComposeAndCheck(run, static_cast<int>(size % 4));
  return 0;
}
