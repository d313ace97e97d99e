// Reading fields in bulk gives what reading them byte by byte gives, for files cut anywhere.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "song/binary_io.h"

namespace vema {
namespace {

TEST(FieldReader, BulkIntegersAndTextsEqualTheByteByBytePathAtEveryCut) {
  std::vector<uint8_t> file(1 + 4 * 7 + 5);
  std::iota(file.begin(), file.end(), uint8_t{0x81});
  for (size_t cut = 0; cut <= file.size(); ++cut) {
    const std::span<const uint8_t> bytes(file.data(), cut);
    std::vector<int32_t> bulk(7, -0x12345678), bytewise = bulk;  // previous values
    std::vector<char> text(5, 'z'), text2 = text;
    uint8_t kind = 9, kind2 = 9;
    FieldReader a(bytes), b(bytes);
    a.Byte(kind);
    a.Int32s(bulk);
    a.Chars(text);
    b.Byte(kind2);
    b.Int32sByBytes(bytewise);
    for (char& c : text2) {  // one character at a time
      b.Chars({&c, 1});
    }
    EXPECT_EQ(bulk, bytewise) << "cut at " << cut;
    EXPECT_EQ(text, text2) << "cut at " << cut;
    EXPECT_EQ(a.offset(), b.offset());
    EXPECT_EQ(a.offset(), file.size());
  }
  // Little-endian: the first integer of the whole file is bytes 1..4, lowest first.
  std::vector<int32_t> values(1);
  FieldReader in(file);
  in.Skip(1);
  in.Int32sByBytes(values);
  EXPECT_EQ(static_cast<uint32_t>(values[0]), 0x85848382u);
  // A cut in the middle of an integer replaces only the bytes present.
  values = {0x11223344};
  FieldReader cut(std::span<const uint8_t>(file.data(), 3));
  cut.Skip(1);
  cut.Int32s(values);
  EXPECT_EQ(static_cast<uint32_t>(values[0]), 0x11228382u);
}

}  // namespace
}  // namespace vema
