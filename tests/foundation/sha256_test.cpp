// SHA-256, the names of the song history's copies: the standard's test vectors, and the same
// digest with and without the processor's SHA instructions for every length around the block
// boundaries and for input added piece by piece.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "song/random.h"
#include "song/sha256.h"

namespace vema {
namespace {

std::string Hex(const std::array<uint8_t, 32>& digest) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : digest) out += {kHex[b >> 4], kHex[b & 15]};
  return out;
}

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(Sha256, StandardVectorsAndEveryLengthWithAndWithoutTheInstructions) {
  const std::pair<std::string, const char*> vectors[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}};
  for (const auto& [text, digest] : vectors) {
    EXPECT_EQ(Sha256Hex(Bytes(text)), digest) << text.size();
    Sha256 plain(false);
    plain.Add(Bytes(text));
    EXPECT_EQ(Hex(plain.Finish()), digest) << text.size();
  }
  std::mt19937 dice(5);
  std::vector<uint8_t> data(300);
  for (uint8_t& b : data) b = static_cast<uint8_t>(dice());
  for (size_t size = 0; size <= data.size(); ++size) {
    Sha256 fast, plain(false), pieces;
    fast.Add({data.data(), size});
    plain.Add({data.data(), size});
    for (size_t at = 0; at < size;) {
      const size_t piece = std::min(size - at, static_cast<size_t>(dice() % 70));
      pieces.Add({data.data() + at, piece});
      at += piece;
    }
    const std::string expected = Hex(plain.Finish());
    ASSERT_EQ(Hex(fast.Finish()), expected) << size;
    ASSERT_EQ(Hex(pieces.Finish()), expected) << size;
  }
}

TEST(RandomSource, AKeptStateDrawsOnAsTheSourceAndImpossibleStatesAreRefused) {
  RandomSource source(31u);
  for (int i = 0; i < 777; ++i) source.NextUniform();
  RandomSource copy;
  ASSERT_TRUE(copy.Load(source.Save()));
  EXPECT_EQ(copy.Save(), source.Save());
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(copy.NextUniform(), source.NextUniform());
  RandomSource::State bad = source.Save();
  bad.lastSlot = 200;
  EXPECT_FALSE(copy.Load(bad));
  bad = source.Save();
  bad.table[7] = 32768;
  EXPECT_FALSE(copy.Load(bad));
  EXPECT_EQ(copy.Save(), source.Save());  // a refused state leaves the source as it was
}

}  // namespace
}  // namespace vema
