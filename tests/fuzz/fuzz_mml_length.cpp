// MML lengths of arbitrary tick counts: every length that gets a text reads back as the same
// number of ticks; every other one gets the message and no text.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "harness.h"
#include "output/mml_writer.h"

namespace {

// Ticks of an MML length text such as "1^2^8" or "4.".
long long ReadBack(const std::string& text) {
  long long ticks = 0;
  size_t at = 0;
  while (at <= text.size()) {
    const size_t end = std::min(text.find('^', at), text.size());
    const std::string part = text.substr(at, end - at);
    if (!part.empty()) {
      const bool dotted = part.back() == '.';
      const long long n = std::atoll(part.c_str());
      if (n <= 0 || 192 % n != 0) return -1;
      ticks += dotted ? 192 / n * 3 / 2 : 192 / n;
    }
    at = end + 1;
  }
  return ticks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vema::ScriptedPlatform platform;
  for (size_t at = 0; at + 4 <= size; at += 4) {
    int32_t length;
    std::memcpy(&length, data + at, 4);
    if (at / 4 % 2 == 1) length %= 2000;  // half of them in the range songs use
    std::string text;
    const size_t messages = platform.messages.size();
    vema::AppendMmlLength(platform, length, text);
    if (platform.messages.size() == messages) {
      if (ReadBack(text) != length) {
        std::fprintf(stderr, "length %d written as \"%s\"\n", length, text.c_str());
        std::abort();
      }
    } else if (!text.empty() && text != "1^") {
      std::fprintf(stderr, "length %d got a message and the text \"%s\"\n", length, text.c_str());
      std::abort();
    }
  }
  return 0;
}
