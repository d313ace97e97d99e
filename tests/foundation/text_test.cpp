// CP932 text: known byte forms, round trips, characters and bytes without a form, byte limits
// that never split a double-byte character, and first lines.
#include <gtest/gtest.h>

#include "song/text.h"

namespace vema {
namespace {

TEST(Cp932, ConversionsBothWaysAndByteLimitsThatNeverSplitACharacter) {
  const struct {
    std::string utf8;
    size_t limit;
    std::string cp932;
  } encoded[] = {{"→", std::string::npos, "\x81\xA8"},
                 {"ABC", std::string::npos, "ABC"},
                 {"a😀b", std::string::npos, "a?b"},  // no CP932 form
                 {"한", std::string::npos, "?"},
                 {"\xFF", std::string::npos, "?"},  // not even UTF-8
                 {"あいう", 5, Utf8ToCp932("あい")},
                 {"aあ", 2, "a"}};
  for (const auto& c : encoded) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(Utf8ToCp932(c.utf8, c.limit), c.cp932);
  }
  EXPECT_EQ(Utf8ToCp932("音長の自動生成　　　").size(), 20u);
  EXPECT_EQ(Utf8ToCp932("ｷｬﾝｾﾙ").size(), 5u);
  for (const char* text : {"カスタムフォームＮｏ  0", "①～㈱ｱｲｳ", "同方向へ跳躍和声進行", "C/E"}) {
    EXPECT_EQ(Cp932ToUtf8(Utf8ToCp932(text)), text);
  }
  const std::pair<std::string, std::string> decoded[] = {
      {"\x81", "?"},  // a lead byte at the end
      {"A\x81\x20"
       "B",
       "A? B"},
      {std::string("\xA0", 1), "?"}};
  for (const auto& [cp932, utf8] : decoded) EXPECT_EQ(Cp932ToUtf8(cp932), utf8) << utf8;
  EXPECT_EQ(CutUtf8ToCp932Bytes("aあいう", 4), "aあ");
  EXPECT_EQ(CutUtf8ToCp932Bytes("ｱｲｳｴｵ", 3), "ｱｲｳ");
  EXPECT_EQ(CutUtf8ToCp932Bytes(std::string(300, 'x'), 255).size(), 255u);
  for (const char* text : {"one\ntwo", "one\r\ntwo"}) EXPECT_EQ(FirstLine(text), "one");
  EXPECT_EQ(FirstLine("single"), "single");
  EXPECT_EQ(FirstLine(""), "");
}

}  // namespace
}  // namespace vema
