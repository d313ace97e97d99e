#include "app/help_text.h"

namespace vema {
namespace {

// The code point of the UTF-8 character at text[i] and its length (a stray byte is itself).
char32_t Decode(std::string_view text, size_t i, size_t& length) {
  const auto b = static_cast<unsigned char>(text[i]);
  size_t n = 1;
  if ((b & 0xE0) == 0xC0) n = 2;
  if ((b & 0xF0) == 0xE0) n = 3;
  if ((b & 0xF8) == 0xF0) n = 4;
  if (i + n > text.size()) n = 1;
  char32_t c = n == 1 ? b : b & (0x7F >> n);
  for (size_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  length = n;
  return c;
}

// Kana, CJK ideographs and punctuation, full-width forms.
bool IsJapanese(char32_t c) { return c >= 0x2E80 && c < 0x10000; }

bool Among(char32_t c, std::u32string_view set) { return set.find(c) != std::u32string_view::npos; }

constexpr std::u32string_view kNoBreakBefore =
    U"、。，．）」』】〕〉》！？：；・ー～…々ゝゞぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ";
constexpr std::u32string_view kNoBreakAfter = U"（「『【〔〈《";

}  // namespace

std::string MarkJapaneseLineBreaks(std::string_view html) {
  std::string out;
  out.reserve(html.size() + html.size() / 4);
  // Only the body is text to be shown; the head holds the title.
  const size_t body = html.find("<body");
  size_t i = body == std::string_view::npos ? 0 : body;
  out.append(html.substr(0, i));
  bool inTag = false;
  char32_t previous = 0;  // the Japanese character just copied, 0 after anything else
  while (i < html.size()) {
    size_t length = 1;
    const char32_t c = Decode(html, i, length);
    if (inTag || c == '<') {
      inTag = c != '>';
      previous = 0;
    } else if (IsJapanese(c)) {
      if (previous != 0 && !Among(previous, kNoBreakAfter) && !Among(c, kNoBreakBefore)) {
        out.append(kLineBreakMark);
      }
      previous = c;
    } else {
      previous = 0;
    }
    out.append(html.substr(i, length));
    i += length;
  }
  return out;
}

}  // namespace vema
