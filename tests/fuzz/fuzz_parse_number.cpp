// Parser only: the text of the style editor's number fields.  A field is a whole number exactly
// when it is blanks, an optional sign, digits and blanks with a value that fits 32 bits, and then
// its value is that number.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "editors/style_editor.h"

namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The value of a sign and digits, saturated far outside 32 bits; nullopt when not of that form.
std::optional<long long> Reference(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && Blank(text[b])) ++b;
  while (e > b && Blank(text[e - 1])) --e;
  bool negative = false;
  if (b < e && (text[b] == '+' || text[b] == '-')) negative = text[b++] == '-';
  if (b == e) return std::nullopt;
  long long value = 0;
  for (size_t i = b; i < e; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = std::min(value * 10 + (text[i] - '0'), 1LL << 40);
  }
  return negative ? -value : value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<long long> expected = Reference(text);
  const bool whole = expected && *expected >= INT32_MIN && *expected <= INT32_MAX;
  if (vema::IsWholeNumber(text) != whole) {
    std::fprintf(stderr, "whole number judged wrongly: \"%s\"\n", text.c_str());
    std::abort();
  }
  if (whole && vema::FieldValue(text) != *expected) {
    std::fprintf(stderr, "value of \"%s\" read as %d\n", text.c_str(), vema::FieldValue(text));
    std::abort();
  }
  return 0;
}
