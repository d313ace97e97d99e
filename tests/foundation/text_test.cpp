// CP932 text: known byte forms, round trips, characters and bytes without a form, byte limits
// that never split a double-byte character, and first lines.
#include <gtest/gtest.h>
#include <iconv.h>

#include <array>
#include <string>
#include <vector>

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
  // Bytes that start no CP932 character: "?", U+FFFD for messages, or kept for files (a
  // stand-in that goes back to the byte itself).
  const std::array<std::string, 3> decoded[] = {
      {"\x81", "?", "\uFFFD"},  // a lead byte at the end
      {"A\x81\x20"
       "B",
       "A? B", "A\uFFFD B"},
      {"\xA0", "?", "\uFFFD"},
      {"\x80\xFD\xFE\xFF", "????", "\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\xFE"
       "C\x83\x68",
       "?Cド", "\uFFFDCド"}};
  for (const auto& [cp932, question, replaced] : decoded) {
    SCOPED_TRACE(question);
    EXPECT_EQ(Cp932ToUtf8(cp932), question);
    EXPECT_EQ(Cp932ToUtf8(cp932, Undecodable::kReplacement), replaced);
    const std::string kept = Cp932ToUtf8(cp932, Undecodable::kKeepByte);
    EXPECT_EQ(Utf8ToCp932(kept), cp932);
  }
  // The stand-ins are characters no CP932 byte decodes into, and only they turn into bytes.
  EXPECT_EQ(Cp932ToUtf8("\xFE", Undecodable::kKeepByte), "\uF7FE");
  EXPECT_EQ(Utf8ToCp932("\uF77F\uF800"), "??");
  EXPECT_EQ(CutUtf8ToCp932Bytes("aあいう", 4), "aあ");
  EXPECT_EQ(CutUtf8ToCp932Bytes("ｱｲｳｴｵ", 3), "ｱｲｳ");
  EXPECT_EQ(CutUtf8ToCp932Bytes(std::string(300, 'x'), 255).size(), 255u);
  for (const char* text : {"one\ntwo", "one\r\ntwo"}) EXPECT_EQ(FirstLine(text), "one");
  EXPECT_EQ(FirstLine("single"), "single");
  EXPECT_EQ(FirstLine(""), "");
}

// The converter's own answer for one character, "?" when it has none.
std::string Iconv(iconv_t cd, const std::string& character) {
  char buffer[16];
  char* in = const_cast<char*>(character.data());
  size_t inLeft = character.size();
  char* out = buffer;
  size_t outLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) return "?";
  return std::string(buffer, static_cast<size_t>(out - buffer));
}

std::string EncodeUtf8(char32_t c) {
  std::string s;
  if (c < 0x800) {
    s += static_cast<char>(0xC0 | (c >> 6));
  } else {
    s += static_cast<char>(0xE0 | (c >> 12));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  }
  s += static_cast<char>(0x80 | (c & 0x3F));
  return s;
}

TEST(Cp932, EncoderKeepsEveryCharacterItConvertedWhenThousandsShareItsTable) {
  const iconv_t cd = iconv_open("CP932", "UTF-8");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::vector<std::string> characters;
  for (char32_t c = 0x80; c < 0xD800; c += (c >= 0x3000 && c < 0xA000) ? 1 : 5) {
    characters.push_back(EncodeUtf8(c));
  }
  characters.insert(characters.end(), {"\xE9", "\xE9\x9F", "\xFF", "\x80", "\xF0\x9F\x98\x80"});
  Cp932Encoder encoder;
  for (int pass = 0; pass < 2; ++pass) {  // the second pass finds them kept, or converts anew
    for (const std::string& character : characters) {
      ASSERT_EQ(encoder.Convert(character), Iconv(cd, character)) << pass << " " << character;
      char written[4] = {'x', 'x', 'x', 'x'};
      const std::string_view expected = encoder.Convert(character);
      ASSERT_EQ(std::string_view(written, encoder.Write(character, written)), expected);
      ASSERT_EQ(written[3], 'x');
    }
  }
  iconv_close(cd);
}

}  // namespace
}  // namespace vema
