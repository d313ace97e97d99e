#include <gtest/gtest.h>

#include "song/text.h"

namespace vema {
namespace {

TEST(Cp932, KnownByteForms) {
  EXPECT_EQ(Utf8ToCp932("→"), "\x81\xA8");
  EXPECT_EQ(Utf8ToCp932("音長の自動生成　　　").size(), 20u);
  EXPECT_EQ(Utf8ToCp932("ｷｬﾝｾﾙ").size(), 5u);
  EXPECT_EQ(Utf8ToCp932("ABC"), "ABC");
}

TEST(Cp932, RoundTripsJapaneseAndWindowsCharacters) {
  for (const char* text : {"カスタムフォームＮｏ  0", "①～㈱ｱｲｳ", "同方向へ跳躍和声進行", "C/E"}) {
    EXPECT_EQ(Cp932ToUtf8(Utf8ToCp932(text)), text);
  }
}

TEST(Cp932, CharactersWithoutACp932FormBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp932("a😀b"), "a?b");
  EXPECT_EQ(Utf8ToCp932("한"), "?");
  EXPECT_EQ(Utf8ToCp932("\xFF"), "?");  // not even UTF-8
}

TEST(Cp932, InvalidBytesDecodeAsQuestionMarks) {
  EXPECT_EQ(Cp932ToUtf8("\x81"), "?");        // lead byte at the end
  EXPECT_EQ(Cp932ToUtf8("A\x81\x20" "B"), "A? B");
  EXPECT_EQ(Cp932ToUtf8(std::string("\xA0", 1)), "?");
}

TEST(Cp932, ByteLimitsNeverSplitADoubleByteCharacter) {
  EXPECT_EQ(Utf8ToCp932("あいう", 5), Utf8ToCp932("あい"));
  EXPECT_EQ(Utf8ToCp932("aあ", 2), "a");
  EXPECT_EQ(CutUtf8ToCp932Bytes("aあいう", 4), "aあ");
  EXPECT_EQ(CutUtf8ToCp932Bytes("ｱｲｳｴｵ", 3), "ｱｲｳ");
  const std::string long_text(300, 'x');
  EXPECT_EQ(CutUtf8ToCp932Bytes(long_text, 255).size(), 255u);
}

TEST(Text, FirstLine) {
  EXPECT_EQ(FirstLine("one\ntwo"), "one");
  EXPECT_EQ(FirstLine("one\r\ntwo"), "one");
  EXPECT_EQ(FirstLine("single"), "single");
  EXPECT_EQ(FirstLine(""), "");
}

}  // namespace
}  // namespace vema
