// Parser only: CP932 text of arbitrary bytes (names and chords in default.db) and UTF-8 text of
// arbitrary bytes (typed names and titles).  Conversions give well-formed text and respect their
// byte limits; cutting gives a prefix that fits.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "song/text.h"

namespace {

bool IsUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t limit = size == 0 ? 0 : data[0] % 32;

  const std::string utf8 = vema::Cp932ToUtf8(input);
  if (!IsUtf8(utf8)) Fail("CP932 text decoded into malformed UTF-8");
  // Decoded text encodes back into CP932 that decodes to the same text.
  if (vema::Cp932ToUtf8(vema::Utf8ToCp932(utf8)) != utf8) Fail("CP932 round trip changed the text");

  const std::string cp932 = vema::Utf8ToCp932(input, limit);
  if (cp932.size() > limit) Fail("CP932 text longer than its limit");
  const std::string cut = vema::CutUtf8ToCp932Bytes(input, limit);
  if (input.substr(0, cut.size()) != cut) Fail("cut text is no prefix");
  if (vema::Utf8ToCp932(cut).size() > limit) Fail("cut text longer than its limit");
  const std::string_view line = vema::FirstLine(input);
  if (line.find_first_of("\r\n") != std::string_view::npos || input.substr(0, line.size()) != line) {
    Fail("first line wrong");
  }
  return 0;
}
