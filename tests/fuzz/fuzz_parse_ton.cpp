// Parser only: a melody style of arbitrary bytes.  What was read is written back byte for byte.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "melody/melody_style_db.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vema::MelodyStyleDb style;
  style.Decode({reinterpret_cast<const char*>(data), size});
  const std::string written = style.Encode();
  // Bytes past the file's end keep the zeros of a fresh style; bytes past the layout are ignored.
  const size_t compared = std::min(size, written.size());
  if (written.size() != vema::kTonFileBytes ||
      (compared > 0 && std::memcmp(written.data(), data, compared) != 0) ||
      written.find_first_not_of('\0', compared) != std::string::npos) {
    std::fprintf(stderr, "style of %zu bytes not written back as read\n", size);
    std::abort();
  }
  return 0;
}
