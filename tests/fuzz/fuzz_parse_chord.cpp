// Parser only: chord names of arbitrary bytes.  The chord-tone table holds pitch classes 0..11,
// root first, closed by 255; a refused name leaves the root and a message.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/scripted_platform.h"
#include "melody/chord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static vema::ScriptedPlatform platform;
  vema::ChordToneTable table{};
  table.fill(0x55);
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  const int result = vema::ParseChord(table, platform, name);
  const size_t messages = platform.messages.size();
  platform.messages.clear();
  if (result != 0 && result != -1) std::abort();
  // A refusal says so (an add chord also names its kind); an accepted name says nothing.
  if ((result == -1) != (messages > 0) || messages > 2) {
    std::fprintf(stderr, "result %d with %zu messages\n", result, messages);
    std::abort();
  }
  size_t n = 0;
  while (n < table.size() && static_cast<uint8_t>(table[n]) != 255) {
    if (table[n] < 0 || table[n] > 11) {
      std::fprintf(stderr, "tone %d at %zu\n", table[n], n);
      std::abort();
    }
    ++n;
  }
  if (n == 0 || n == table.size()) {
    std::fprintf(stderr, "%zu tones before the end mark\n", n);
    std::abort();
  }
  return 0;
}
