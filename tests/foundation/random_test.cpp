// The random source: the classic integer sequence, the shuffle table of draws, ranges.
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
  for (int expected : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(random.NextInteger(), expected);
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

// A value in a range is the truncated draw modulo the span; an empty range says so, never
// garbage.
TEST(RandomSource, RangeValuesAndEmptyRanges) {
  ScriptedPlatform platform;
  RandomSource random(3u), model(3u);
  random.SetPlatform(&platform);
  std::set<int> seen;
  for (int i = 0; i < 3000; ++i) {
    EXPECT_EQ(random.RandomInRange(0, 0), 0);
    model.NextUniform();
    const int v = random.RandomInRange(0, 6);
    ASSERT_EQ(v, static_cast<int>(model.NextUniform() * 32767.0) % 7);
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 7u);
  EXPECT_TRUE(platform.messages.empty());

  EXPECT_EQ(random.RandomInRange(0, -1), 0);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "Random max error");
  EXPECT_EQ(platform.messages[0].icon, MessageIcon::kPlain);
  EXPECT_EQ(random.RandomInRange(0, -5), 0);
  EXPECT_EQ(platform.messages.size(), 2u);
}

}  // namespace
}  // namespace vema
