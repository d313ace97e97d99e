// Text files in CP932: each character as the converter gives it, line feeds as CR LF, also for
// broken UTF-8 and for characters without a CP932 form.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "output/output_files.h"
#include "song/text.h"

namespace vema {
namespace {

// The plain reading: ASCII as it is (LF as CR LF), every run of other bytes converted whole.
std::string Reference(std::string_view utf8) {
  std::string out;
  size_t i = 0;
  while (i < utf8.size()) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      if (utf8[i] == '\n') out += '\r';
      out += utf8[i++];
      continue;
    }
    size_t end = i;
    while (end < utf8.size() && static_cast<unsigned char>(utf8[end]) >= 0x80) ++end;
    out += Utf8ToCp932(utf8.substr(i, end - i));
    i = end;
  }
  return out;
}

TEST(TextFile, EveryCharacterAsTheConverterGivesIt) {
  EXPECT_EQ(ToCp932TextFile("a\n音長→\nb"), "a\r\n\x89\xB9\x92\xB7\x81\xA8\r\nb");
  const std::vector<std::string> pieces = {
      "a", "\n", " ", "音", "長", "→", "ｷ", "①", "😀", "한", "\xE9", "\xE9\x9F", "\xFF", "\x80",
      "\xC3\xA9", "abcdefghij", "\n\n", "旋律スタイル"};
  std::mt19937 random(12);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 40);
    for (int k = 0; k < count; ++k) text += pieces[random() % pieces.size()];
    EXPECT_EQ(ToCp932TextFile(text), Reference(text)) << text;
  }
}

}  // namespace
}  // namespace vema
