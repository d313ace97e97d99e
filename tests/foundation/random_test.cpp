#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "song/random.h"
#include "app/scripted_platform.h"

namespace vema {
namespace {

TEST(RandomSource, IntegerGeneratorFollowsTheClassicSequence) {
  // The well-known first values of this generator for seed 1, and its range.
  RandomSource random;
  random.SeedIntegerGenerator(1);
  EXPECT_EQ(random.NextInteger(), 41);
  EXPECT_EQ(random.NextInteger(), 18467);
  EXPECT_EQ(random.NextInteger(), 6334);
  EXPECT_EQ(random.NextInteger(), 26500);
  EXPECT_EQ(random.NextInteger(), 19169);
  int largest = 0;
  for (int i = 0; i < 1 << 20; ++i) {
    const int v = random.NextInteger();
    ASSERT_GE(v, 0);
    largest = std::max(largest, v);
  }
  EXPECT_EQ(largest, 32767);
}

TEST(RandomSource, ShuffleTableDrawsInTheFixedOrder) {
  // Model of the shuffle: fill 200 slots, then each draw takes the slot chosen by the value that
  // the previous draw refilled (slot 199 for the first draw).
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 214013u + 2531011u;
    return static_cast<int32_t>((state >> 16) & 0x7FFF);
  };
  double table[200];
  for (double& slot : table) slot = next() / 32768.0;
  int last = 199;
  RandomSource random(12345u);
  for (int draw = 0; draw < 5000; ++draw) {
    const int i = static_cast<int>(table[last] * 200.0);
    const double expected = table[i];
    table[i] = next() / 32768.0;
    last = i;
    ASSERT_EQ(random.NextUniform(), expected) << "draw " << draw;
  }
}

TEST(RandomSource, RangeEdges) {
  ScriptedPlatform platform;
  RandomSource random(3u);
  random.SetPlatform(&platform);
  std::set<int> seen;
  for (int i = 0; i < 3000; ++i) {
    EXPECT_EQ(random.RandomInRange(0, 0), 0);
    const int v = random.RandomInRange(0, 2);
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 2);
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_TRUE(platform.messages.empty());

  EXPECT_EQ(random.RandomInRange(0, -1), 0);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "Random max error");
  EXPECT_EQ(platform.messages[0].icon, MessageIcon::kPlain);
  EXPECT_EQ(random.RandomInRange(0, -5), 0);  // any empty range: the message, never garbage
  EXPECT_EQ(platform.messages.size(), 2u);
}

TEST(RandomSource, RangeValueIsTruncatedDrawModuloSpan) {
  RandomSource a(5u), b(5u);
  for (int i = 0; i < 1000; ++i) {
    const double r = a.NextUniform();
    const int n = static_cast<int>(r * 32767.0);
    EXPECT_EQ(b.RandomInRange(0, 6), n % 7);
  }
}

}  // namespace
}  // namespace vema
