// SHA-256 (FIPS 180-4): the names of the content-addressed copies of the files a song was made
// with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vema {

class Sha256 {
 public:
  // Uses the processor's SHA instructions where it has them, unless told not to (for tests).
  explicit Sha256(bool mayAccelerate = true);
  void Add(std::span<const uint8_t> bytes);
  // The digest of everything added; the object is spent afterwards.
  std::array<uint8_t, 32> Finish();

 private:
  void Blocks(const uint8_t* data, size_t count);
  void Block(const uint8_t* block);

  std::array<uint32_t, 8> h_;
  bool accelerated_ = false;
  std::array<uint8_t, 64> buffer_{};
  size_t buffered_ = 0;
  uint64_t length_ = 0;
};

// The digest of bytes as 64 lower-case hex digits.
std::string Sha256Hex(std::span<const uint8_t> bytes);

}  // namespace vema
