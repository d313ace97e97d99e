// The random source: a shuffle table of 200 uniform values over a classic linear congruential
// integer generator (values 0..32767).
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace vema {

class Platform;

class RandomSource {
 public:
  // With a seed the sequence is fixed; without one it is seeded from the time in seconds at the
  // first draw.
  explicit RandomSource(std::optional<uint32_t> seed = std::nullopt) : fixedSeed_(seed) {}

  void SetPlatform(Platform* platform) { platform_ = platform; }
  Platform* platform() const { return platform_; }
  void SetSeed(std::optional<uint32_t> seed) { fixedSeed_ = seed; }

  // Uniform value in [0, 1), a multiple of 1/32768.
  double NextUniform();
  // Uniform integer in low..high; an empty range shows "Random max error" and yields low.
  int32_t RandomInRange(int32_t low, int32_t high);

  // Fills the table now unless a draw has done so (what the first draw would do), so that a
  // copy taken afterwards draws the same sequence as the original.
  void Prepare() {
    if (needsFill_) Fill();
  }

  // The integer generator itself: 0..32767, reseeded by SeedIntegerGenerator.
  int32_t NextInteger();
  void SeedIntegerGenerator(uint32_t seed) { state_ = seed; }

  // Everything that decides the coming draws, for keeping a source and making it again exactly.
  // The table holds k / 32768 values: they are kept as their k (0..32767).
  struct State {
    std::array<uint16_t, 200> table{};
    uint32_t integer = 0;   // the integer generator's state
    int32_t lastSlot = 199;
    bool filled = false;    // false: the first draw fills the table (from the seed)
    std::optional<uint32_t> seed;  // the fixed seed, if any
    std::optional<uint32_t> filledWith;  // the seed the table was filled from
    bool operator==(const State&) const = default;
  };
  State Save() const;
  // False (and the source unchanged) for a state no source can be in.
  bool Load(const State& state);
  // The seed the table was filled from; nullopt before the first fill.
  std::optional<uint32_t> filledWith() const { return filledWith_; }

 private:
  void Fill();

  std::optional<uint32_t> fixedSeed_;
  Platform* platform_ = nullptr;
  uint32_t state_ = 0;
  std::array<double, 200> table_{};
  bool needsFill_ = true;
  int32_t lastSlot_ = 199;
  std::optional<uint32_t> filledWith_;
};

}  // namespace vema
