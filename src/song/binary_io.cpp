#include "song/binary_io.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vema {

void FieldReader::Byte(uint8_t& value) {
  if (offset_ < bytes_.size()) value = bytes_[offset_];
  offset_ += 1;
}

void FieldReader::Int32(int32_t& value) {
  uint32_t bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) {
    const size_t at = offset_ + static_cast<size_t>(i);
    if (at >= bytes_.size()) break;
    bits &= ~(0xFFu << (8 * i));
    bits |= static_cast<uint32_t>(bytes_[at]) << (8 * i);
  }
  value = static_cast<int32_t>(bits);
  offset_ += 4;
}

void FieldReader::Int32s(std::span<int32_t> values) {
  // The integers wholly inside the buffer, then the one cut by its end; the rest keep their values.
  const size_t whole = offset_ >= bytes_.size() ? 0 : (bytes_.size() - offset_) / 4;
  const size_t n = std::min(values.size(), whole);
  if constexpr (std::endian::native == std::endian::little) {
    // The file's byte order is the machine's: the integers are the bytes.
    if (n > 0) std::memcpy(values.data(), bytes_.data() + offset_, 4 * n);
  } else {
    for (size_t k = 0; k < n; ++k) {
      const uint8_t* b = bytes_.data() + offset_ + 4 * k;
      values[k] = static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                       static_cast<uint32_t>(b[2]) << 16 |
                                       static_cast<uint32_t>(b[3]) << 24);
    }
  }
  offset_ += 4 * n;
  if (n < values.size()) Int32(values[n]);  // advances past it
  offset_ += 4 * (values.size() - std::min(values.size(), n + 1));
}

void FieldReader::Chars(std::span<char> values) {
  const size_t available = offset_ >= bytes_.size() ? 0 : bytes_.size() - offset_;
  const size_t n = std::min(available, values.size());
  if (n > 0) std::memcpy(values.data(), bytes_.data() + offset_, n);
  offset_ += values.size();
}

void FieldWriter::Int32(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void FieldWriter::Int32s(std::span<const int32_t> values) {
  for (int32_t v : values) Int32(v);
}

void FieldWriter::Chars(std::span<const char> values) {
  for (char c : values) bytes_.push_back(static_cast<uint8_t>(c));
}

}  // namespace vema
