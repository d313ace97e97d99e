// Parser only: song files of arbitrary bytes, judged as the player judges them before playing.
// A file judged whole stays whole with bytes appended, and stops being whole when its last
// track is cut.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "song/song_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  if (!vema::IsCompleteSmf(bytes)) return 0;
  std::vector<uint8_t> longer(data, data + size);
  longer.insert(longer.end(), {0x4D, 0x54, 0x72, 0x6B, 0xFF});
  if (!vema::IsCompleteSmf(longer)) {
    std::fprintf(stderr, "a whole file judged damaged with bytes appended\n");
    std::abort();
  }
  // The header alone (with its track count) is never a whole file.
  if (vema::IsCompleteSmf(bytes.first(14))) {
    std::fprintf(stderr, "a header alone judged whole\n");
    std::abort();
  }
  return 0;
}
