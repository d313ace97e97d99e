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

 private:
  void Fill();

  std::optional<uint32_t> fixedSeed_;
  Platform* platform_ = nullptr;
  uint32_t state_ = 0;
  std::array<double, 200> table_{};
  bool needsFill_ = true;
  int32_t lastSlot_ = 199;
};

}  // namespace vema
