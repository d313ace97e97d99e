#include "output/output_files.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "song/text.h"

namespace vema {

namespace {

// The index of the first byte of text at or after `from` that is not ASCII, or text.size();
// eight bytes are looked at a time.
size_t FindNonAscii(std::string_view text, size_t from) {
  size_t i = from;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if ((word & 0x8080808080808080ULL) != 0) break;
  }
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}

// Length of the UTF-8 sequence that starts with byte b, as the CP932 conversion counts it.
size_t SequenceLength(unsigned char b) {
  if ((b & 0xE0) == 0xC0) return 2;
  if ((b & 0xF0) == 0xE0) return 3;
  if ((b & 0xF8) == 0xF0) return 4;
  return 1;
}

}  // namespace

std::string ToCp932TextFile(std::string_view utf8) {
  // CR LF adds a byte to a line feed; a character of two or more UTF-8 bytes has at most two
  // in CP932 ("?" for one without a form), so the text never grows beyond twice its size.
  const auto buffer = std::make_unique_for_overwrite<char[]>(2 * utf8.size() + 1);
  char* out = buffer.get();
  std::unordered_map<std::string_view, std::string> runs;
  size_t i = 0;
  while (i < utf8.size()) {
    const size_t ascii = FindNonAscii(utf8, i);
    // ASCII is the same in CP932; only its line feeds become CR LF.
    while (i < ascii) {
      const void* feed = std::memchr(utf8.data() + i, '\n', ascii - i);
      const size_t end =
          feed != nullptr ? static_cast<size_t>(static_cast<const char*>(feed) - utf8.data())
                          : ascii;
      std::memcpy(out, utf8.data() + i, end - i);
      out += end - i;
      i = end;
      if (feed != nullptr) {
        *out++ = '\r';
        *out++ = '\n';
        ++i;
      }
    }
    // A run of non-ASCII characters: the trace repeats a few dozen words thousands of times,
    // so each distinct run is converted once.
    size_t end = i;
    while (end < utf8.size() && static_cast<unsigned char>(utf8[end]) >= 0x80) ++end;
    if (end == i) continue;
    const std::string_view run = utf8.substr(i, end - i);
    if (const auto known = runs.find(run); known != runs.end()) {
      out = std::copy(known->second.begin(), known->second.end(), out);
      i = end;
      continue;
    }
    // Each character of the run; a sequence cut short ends where the run ends.
    char* const runStart = out;
    while (i < end) {
      const size_t n = SequenceLength(static_cast<unsigned char>(utf8[i]));
      const size_t k = std::min(n, end - i);
      const std::string converted = Utf8ToCp932(utf8.substr(i, k));
      out = std::copy(converted.begin(), converted.end(), out);
      i += k;
    }
    runs.emplace(run, std::string(runStart, out));
  }
  return std::string(buffer.get(), out);
}

}  // namespace vema
